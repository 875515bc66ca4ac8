// Starting vqdinst.exe for vqdaction.dll (see vqdrun.h).
#include "vqdrun.h"

HINSTANCE g_module;

// The compiler may turn a structure's zeroing into a call of memset; there
// is no C runtime to provide it.
extern "C" void* memset(void* to, int value, size_t size) {
  volatile unsigned char* p = static_cast<unsigned char*>(to);
  while (size-- > 0) *p++ = static_cast<unsigned char>(value);
  return to;
}

bool Append(char* to, UINT size, const char* text) {
  UINT n = 0;
  while (n < size && to[n] != '\0') ++n;
  while (*text != '\0' && n + 1 < size) to[n++] = *text++;
  if (n < size) to[n] = '\0';
  return *text == '\0';
}

bool AppendNumber(char* to, UINT size, DWORD number) {
  char digits[12];
  char* p = digits + sizeof digits - 1;
  *p = '\0';
  do {
    *--p = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  return Append(to, size, p);
}

namespace {

// A run that takes longer is stopped: a hung child would hold every other
// installation on the machine (1618) for as long as it hangs.
constexpr DWORD kWaitMs = 10 * 60 * 1000;

bool FileThere(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// FOLDER\NAME into TO; false when it does not fit.
bool InFolder(char* to, UINT size, const char* folder, const char* name) {
  to[0] = '\0';
  bool fits = Append(to, size, folder);
  UINT n = 0;
  while (to[n] != '\0') ++n;
  if (n > 0 && to[n - 1] != '\\') fits = fits && Append(to, size, "\\");
  return fits && Append(to, size, name);
}

// The copy of vqdinst.exe this DLL carries, written new to EXE (its folder
// made when it is gone, *madeFolder then true).
bool WriteCarriedCopy(const char* exe, const char* folder, bool* madeFolder) {
  HRSRC found = FindResourceA(g_module, "VQDINST", MAKEINTRESOURCEA(10));
  HGLOBAL loaded = found ? LoadResource(g_module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return false;
  *madeFolder = CreateDirectoryA(folder, nullptr) != FALSE;
  HANDLE file = CreateFileA(exe, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = SizeofResource(g_module, found), written = 0;
  bool ok = WriteFile(file, bytes, size, &written, nullptr) && written == size;
  CloseHandle(file);
  if (!ok) DeleteFileA(exe);
  return ok;
}
}  // namespace

Outcome RunOnce(const char* folder, const char* switches, DWORD* code, bool* rebootFlag, bool* missing) {
  char exe[MAX_PATH], reboot[MAX_PATH], badinst[MAX_PATH];
  char commandLine[kTextSize] = "\"";
  if (!InFolder(exe, sizeof exe, folder, "vqdinst.exe") || !InFolder(reboot, sizeof reboot, folder, "reboot.txt") ||
      !InFolder(badinst, sizeof badinst, folder, "badinst.txt") || !Append(commandLine, sizeof commandLine, exe) ||
      !Append(commandLine, sizeof commandLine, "\" ") || !Append(commandLine, sizeof commandLine, switches)) {
    *code = ERROR_FILENAME_EXCED_RANGE;
    *missing = false;
    return kNotStarted;
  }
  bool carried = false, madeFolder = false;
  *missing = !FileThere(exe);
  if (*missing) carried = WriteCarriedCopy(exe, folder, &madeFolder);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  Outcome outcome = kRan;
  // The program by its full path, never found by a search.
  if (!CreateProcessA(exe, commandLine, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process)) {
    *code = GetLastError();
    outcome = kNotStarted;
  } else {
    if (WaitForSingleObject(process.hProcess, kWaitMs) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, ERROR_TIMEOUT);
      WaitForSingleObject(process.hProcess, 5000);
      *code = ERROR_TIMEOUT;
      outcome = kTimedOut;
    } else if (!GetExitCodeProcess(process.hProcess, code)) {
      *code = GetLastError();
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  // Every run deletes the flags of the run before; these are this run's,
  // and none may stay in the folder (it could not be removed).
  *rebootFlag = FileThere(reboot);
  DeleteFileA(reboot);
  DeleteFileA(badinst);
  if (carried) DeleteFileA(exe);
  if (madeFolder) RemoveDirectoryA(folder);
  return outcome;
}
