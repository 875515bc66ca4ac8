// vqdaction.dll: the custom action of the example package (burner.wxs) that
// runs vqdinst.exe and tells Windows Installer how it went.
//
// RunVqdinst reads its CustomActionData, "FOLDER|SWITCHES[|SWITCHES...]",
// and starts FOLDER\vqdinst.exe once per SWITCHES, in FOLDER (the product
// folder, where only administrators write: "reboot.txt" and "badinst.txt"
// land there and are read and deleted here). Each run's exit code goes into
// the installer's log, "vqdinst.exe /INSTALL: 6 (done, restart needed)":
//   0, 11             the run did what was asked;
//   6, or reboot.txt  done, restart needed: MsiSetMode(MSIRUNMODE_REBOOTATEND),
//                     so msiexec ends with 3010;
//   anything else     ERROR_INSTALL_FAILURE (1603): the install is rolled
//                     back and msiexec ends with 1603.
//
// Imports: kernel32 and msi only, no C runtime (built -nostdlib with its own
// entry point). Neither can be a planted copy: kernel32 is a known DLL,
// always the system's; msi.dll is the host's own, already loaded in the
// process that loads this DLL (msiexec.exe and its custom action server
// import it), and a module already loaded is used by name before any folder
// is searched. This DLL itself is written by Windows Installer from the
// package into its own folder and loaded from there by full path.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "app/exitcodes.h"

// The compiler may turn a structure's zeroing into a call of memset; there
// is no C runtime to provide it.
extern "C" void* memset(void* to, int value, size_t size) {
  volatile unsigned char* p = static_cast<unsigned char*>(to);
  while (size-- > 0) *p++ = static_cast<unsigned char>(value);
  return to;
}

namespace {

constexpr UINT kTextSize = 1024;

// Append TEXT to the zero-ended TO of SIZE bytes; false when cut short.
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

// One line into the installer's log (and to a user interface that shows
// information messages). The text goes in as field 1, so brackets in a path
// are not taken for properties.
void LogLine(MSIHANDLE install, const char* text) {
  MSIHANDLE record = MsiCreateRecord(1);
  if (record == 0) return;
  MsiRecordSetStringA(record, 0, "[1]");
  MsiRecordSetStringA(record, 1, text);
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  MsiCloseHandle(record);
}

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

// Runs FOLDER\vqdinst.exe SWITCHES in FOLDER and waits for it. False (with
// the error in *code) when it could not be started.
bool RunOnce(const char* folder, const char* switches, DWORD* code, bool* rebootFlag) {
  char exe[MAX_PATH];
  char commandLine[kTextSize];
  char reboot[MAX_PATH];
  char badinst[MAX_PATH];
  commandLine[0] = '\0';
  if (!InFolder(exe, sizeof exe, folder, "vqdinst.exe") || !InFolder(reboot, sizeof reboot, folder, "reboot.txt") ||
      !InFolder(badinst, sizeof badinst, folder, "badinst.txt") || !Append(commandLine, sizeof commandLine, "\"") ||
      !Append(commandLine, sizeof commandLine, exe) || !Append(commandLine, sizeof commandLine, "\" ") ||
      !Append(commandLine, sizeof commandLine, switches)) {
    *code = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // The program by its full path, never found by a search.
  if (!CreateProcessA(exe, commandLine, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process)) {
    *code = GetLastError();
    return false;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  if (!GetExitCodeProcess(process.hProcess, code)) *code = GetLastError();
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // Every run deletes the flags of the run before; these are this run's,
  // and none may stay in the folder (it could not be removed).
  *rebootFlag = FileThere(reboot);
  DeleteFileA(reboot);
  DeleteFileA(badinst);
  return true;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

extern "C" __declspec(dllexport) UINT WINAPI RunVqdinst(MSIHANDLE install) {
  char data[kTextSize];
  DWORD size = sizeof data;
  char line[kTextSize + 100];
  if (MsiGetPropertyA(install, "CustomActionData", data, &size) != ERROR_SUCCESS || size >= sizeof data) {
    LogLine(install, "vqdinst.exe: CustomActionData missing or too long");
    return ERROR_INSTALL_FAILURE;
  }
  char* runs = data;
  while (*runs != '\0' && *runs != '|') ++runs;
  if (runs == data || *runs == '\0') {
    LogLine(install, "vqdinst.exe: CustomActionData is not FOLDER|SWITCHES");
    return ERROR_INSTALL_FAILURE;
  }
  *runs++ = '\0';
  const char* folder = data;
  while (*runs != '\0') {
    const char* switches = runs;
    while (*runs != '\0' && *runs != '|') ++runs;
    if (*runs == '|') *runs++ = '\0';
    DWORD code = 0;
    bool rebootFlag = false;
    line[0] = '\0';
    if (!RunOnce(folder, switches, &code, &rebootFlag)) {
      Append(line, sizeof line, "vqdinst.exe could not be started from ");
      Append(line, sizeof line, folder);
      Append(line, sizeof line, ": error ");
      AppendNumber(line, sizeof line, code);
      LogLine(install, line);
      return ERROR_INSTALL_FAILURE;
    }
    Append(line, sizeof line, "vqdinst.exe ");
    Append(line, sizeof line, switches);
    Append(line, sizeof line, ": ");
    AppendNumber(line, sizeof line, code);
    Append(line, sizeof line, " (");
    Append(line, sizeof line, ExitCodeMeaning(code));
    Append(line, sizeof line, ")");
    bool ok = code == 0 || code == 6 || code == 11;
    if (!ok) Append(line, sizeof line, ": the action fails");
    LogLine(install, line);
    if (!ok) return ERROR_INSTALL_FAILURE;
    if (code == 6 || rebootFlag) MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
  }
  return ERROR_SUCCESS;
}
