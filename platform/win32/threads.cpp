// Threads, the pause and the message loop on the real system (kernel32 and
// user32, present on every Windows the program runs on).
#include <windows.h>

#include <new>

#include "platform/platform.h"

namespace {

struct ThreadStart {
  plat::ThreadProc proc;
  void* parameter;
};

DWORD WINAPI ThreadEntry(LPVOID start) {
  ThreadStart s = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  return s.proc(s.parameter);
}

}  // namespace

namespace plat {

void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

ThreadHandle CreateThread(ThreadProc proc, void* parameter) {
  ThreadStart* start = new (std::nothrow) ThreadStart{proc, parameter};
  if (!start) return 0;
  DWORD id = 0;  // Windows 9x fails the call without a place for the id
  HANDLE thread = ::CreateThread(nullptr, 0, ThreadEntry, start, 0, &id);
  if (!thread) {
    delete start;
    return 0;
  }
  return reinterpret_cast<ThreadHandle>(thread);
}

uint32_t WaitForSingleObject(ThreadHandle thread, uint32_t milliseconds) {
  return ::WaitForSingleObject(reinterpret_cast<HANDLE>(thread), milliseconds);
}

bool GetExitCodeThread(ThreadHandle thread, uint32_t* exitCode) {
  DWORD code = 0;
  if (!::GetExitCodeThread(reinterpret_cast<HANDLE>(thread), &code)) return false;
  *exitCode = code;
  return true;
}

bool CloseThreadHandle(ThreadHandle thread) { return ::CloseHandle(reinterpret_cast<HANDLE>(thread)) != FALSE; }

void DispatchPendingMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

}  // namespace plat
