/* Stops a program dead right after its debug log gets a given line, for the
 * end-to-end tests of interrupted runs:
 *   killat.exe LINE "COMMAND LINE"
 * starts COMMAND LINE as a debuggee and, once the loader has filled in its
 * imports, points its import of WriteFile at a few instructions written
 * into it: they pass every other write on to WriteFile, and for the bytes
 * LINE CR LF they call WriteFile and then break into this debugger. While a
 * debug event is being handled every thread of the debuggee is frozen, so
 * nothing of the program runs after the line is in the file. (A breakpoint
 * on WriteFile itself would stop the program at every log line, and under
 * Wine 8 each debug event costs some 25 ms.)
 *
 * It then prints "STOPPED" and waits up to 60 s for the process to die: the
 * test kills it from Linux with kill -9, which runs no code of the program,
 * no clean-up and no undo. The debug event is never continued.
 *
 * Exit code 0 when the program was stopped and then died; 1 when it ended
 * without writing the line ("NOLINE <exit code>"); 2 for wrong use or a
 * program that does not start; 3 when its import of WriteFile was never
 * found; 4 when the stopped program did not die in time (it is then
 * terminated). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static HANDLE process;

static int read_at(DWORD at, void* into, DWORD size) {
  SIZE_T n = 0;
  return ReadProcessMemory(process, (LPCVOID)(ULONG_PTR)at, into, size, &n) && n == size;
}

static int write_at(DWORD at, const void* from, DWORD size) {
  SIZE_T n = 0;
  DWORD old;
  int ok;
  VirtualProtectEx(process, (LPVOID)(ULONG_PTR)at, size, PAGE_EXECUTE_READWRITE, &old);
  ok = WriteProcessMemory(process, (LPVOID)(ULONG_PTR)at, from, size, &n) && n == size;
  FlushInstructionCache(process, (LPCVOID)(ULONG_PTR)at, size);
  return ok;
}

/* The slot of the program's import address table that holds writeFile, or
 * 0 while there is none (the loader has not resolved the imports yet). */
static DWORD find_import(DWORD image, DWORD writeFile) {
  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS32 nt;
  IMAGE_IMPORT_DESCRIPTOR d;
  DWORD at, slot, value;
  if (!read_at(image, &dos, sizeof dos) || !read_at(image + dos.e_lfanew, &nt, sizeof nt)) return 0;
  at = image + nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (; read_at(at, &d, sizeof d) && d.FirstThunk; at += sizeof d)
    for (slot = image + d.FirstThunk; read_at(slot, &value, 4) && value; slot += 4)
      if (value == writeFile) return slot;
  return 0;
}

/* The code written into the debuggee; stdcall WriteFile(handle, data, size,
 * written, overlapped), so on entry [esp+4] is the handle.
 *   push esi; push edi; push ecx
 *   mov ecx, [esp+0x18]         ; size
 *   cmp ecx, LENGTH
 *   jne pass
 *   mov esi, [esp+0x14]         ; data
 *   mov edi, LINE
 *   cld; repe cmpsb
 *   jne pass
 *   pop ecx; pop edi; pop esi
 *   push dword [esp+0x14] (5 times: the five arguments again)
 *   call [WRITEFILE]
 *   int3                        ; the line is written: stop here
 *   ret 0x14
 * pass:
 *   pop ecx; pop edi; pop esi
 *   jmp [WRITEFILE] */
static const BYTE kStub[] = {
    0x56, 0x57, 0x51, 0x8B, 0x4C, 0x24, 0x18, 0x81, 0xF9, 0, 0, 0, 0, 0x75, 0x2F, 0x8B, 0x74, 0x24,
    0x14, 0xBF, 0, 0, 0, 0, 0xFC, 0xF3, 0xA6, 0x75, 0x21, 0x59, 0x5F, 0x5E, 0xFF, 0x74, 0x24, 0x14,
    0xFF, 0x74, 0x24, 0x14, 0xFF, 0x74, 0x24, 0x14, 0xFF, 0x74, 0x24, 0x14, 0xFF, 0x74, 0x24, 0x14,
    0xFF, 0x15, 0, 0, 0, 0, 0xCC, 0xC2, 0x14, 0x00, 0x59, 0x5F, 0x5E, 0xFF, 0x25, 0, 0, 0, 0};
enum { kLength = 9, kLine = 20, kCall = 54, kBreak = 58, kJump = 67, kStubSize = sizeof kStub };

int main(int argc, char** argv) {
  STARTUPINFOA start;
  PROCESS_INFORMATION child;
  DEBUG_EVENT ev;
  DWORD writeFile = (DWORD)(ULONG_PTR)GetProcAddress(GetModuleHandleA("kernel32.dll"), "WriteFile");
  DWORD image = 0, stub = 0, slot;
  BYTE code[kStubSize];
  DWORD length, cell, text;
  char* line;

  if (argc != 3) {
    fprintf(stderr, "usage: killat LINE \"COMMAND LINE\"\n");
    return 2;
  }
  length = (DWORD)strlen(argv[1]) + 2;
  line = malloc(length + 1);
  if (!line || !writeFile) return 2;
  sprintf(line, "%s\r\n", argv[1]);

  ZeroMemory(&start, sizeof start);
  start.cb = sizeof start;
  if (!CreateProcessA(NULL, argv[2], NULL, NULL, FALSE, DEBUG_ONLY_THIS_PROCESS, NULL, NULL, &start, &child)) {
    fprintf(stderr, "cannot start %s: %lu\n", argv[2], (unsigned long)GetLastError());
    return 2;
  }
  process = child.hProcess;

  for (;;) {
    DWORD status = DBG_CONTINUE;
    if (!WaitForDebugEvent(&ev, 60000)) {
      fprintf(stderr, "no debug event for 60 s\n");
      TerminateProcess(process, 255);
      return 4;
    }
    if (ev.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
      CloseHandle(ev.u.CreateProcessInfo.hFile);
      image = (DWORD)(ULONG_PTR)ev.u.CreateProcessInfo.lpBaseOfImage;
    } else if (ev.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
      CloseHandle(ev.u.LoadDll.hFile);
    } else if (ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
      printf("NOLINE %lu\n", (unsigned long)ev.u.ExitProcess.dwExitCode);
      return stub ? 1 : 3;
    } else if (ev.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
      DWORD kind = ev.u.Exception.ExceptionRecord.ExceptionCode;
      DWORD at = (DWORD)(ULONG_PTR)ev.u.Exception.ExceptionRecord.ExceptionAddress;
      if (stub && kind == EXCEPTION_BREAKPOINT && (at == stub + kBreak || at == stub + kBreak + 1)) break;
      if (kind != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
    }
    if (!stub && image && (slot = find_import(image, writeFile)) != 0) {
      stub = (DWORD)(ULONG_PTR)VirtualAllocEx(process, NULL, kStubSize + 4 + length, MEM_COMMIT | MEM_RESERVE,
                                              PAGE_EXECUTE_READWRITE);
      /* the code, then a cell with WriteFile's address, then the line */
      cell = stub + kStubSize;
      text = cell + 4;
      memcpy(code, kStub, kStubSize);
      memcpy(code + kLength, &length, 4);
      memcpy(code + kLine, &text, 4);
      memcpy(code + kCall, &cell, 4);
      memcpy(code + kJump, &cell, 4);
      if (!stub || !write_at(stub, code, kStubSize) || !write_at(cell, &writeFile, 4) ||
          !write_at(text, line, length) || !write_at(slot, &stub, 4)) {
        fprintf(stderr, "cannot redirect the import of WriteFile: %lu\n", (unsigned long)GetLastError());
        TerminateProcess(process, 255);
        return 3;
      }
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }

  printf("STOPPED\n");
  fflush(stdout);
  if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) {
    fprintf(stderr, "the stopped program did not die within 60 s\n");
    TerminateProcess(process, 255);
    return 4;
  }
  return 0;
}
