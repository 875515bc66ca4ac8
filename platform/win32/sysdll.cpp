#include "platform/win32/sysdll.h"

#include <string>

namespace plat {
namespace win32 {

namespace {

const DWORD kSearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

// A function of kernel32 that older systems lack; null there.
FARPROC Kernel32(const char* name) { return ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name); }

}  // namespace

HMODULE LoadSystemLibrary(const char* name) {
  char dir[MAX_PATH + 1];
  UINT n = ::GetSystemDirectoryA(dir, sizeof dir);
  if (n == 0 || n >= sizeof dir) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::string path(dir, n);
  if (path.back() != '\\') path += '\\';
  path += name;
  // Where the system knows the LOAD_LIBRARY_SEARCH flags (it then has
  // SetDefaultDllDirectories), the DLLs it needs come from the system
  // directory only; elsewhere they are looked for beside it first.
  const DWORD flags = Kernel32("SetDefaultDllDirectories") ? kSearchSystem32 : LOAD_WITH_ALTERED_SEARCH_PATH;
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, flags);
  if (!module && ::GetLastError() == 0) ::SetLastError(ERROR_MOD_NOT_FOUND);
  return module;
}

void RestrictDllSearch() {
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
  typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
  SetDefaultDllDirectoriesFunction setDefault = nullptr;
  SetDllDirectoryFunction setDirectory = nullptr;
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  Resolve(kernel, "SetDefaultDllDirectories", &setDefault);
  Resolve(kernel, "SetDllDirectoryA", &setDirectory);
  if (setDefault) setDefault(kSearchSystem32);
  if (setDirectory) setDirectory("");
}

}  // namespace win32
}  // namespace plat
