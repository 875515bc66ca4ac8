// vqdaction.dll: the custom actions of the example package (burner.wxs) that
// run vqdinst.exe and tell Windows Installer how it went.
//
// Every entry is a deferred action whose CustomActionData is "FOLDER|KEY":
// the product folder, where vqdinst.exe is started (only administrators
// write there: "reboot.txt" and "badinst.txt" land there and are read and
// deleted here), and the product's own key under HKLM, whose REG_DWORD
// "DriverCounted" records that this product holds one install count.
//
//   VqdInstall          "/INSTALL": the record set when it counted
//   VqdCheck            "/CHECK"
//   VqdUpgrade          "/UPGRADE" (a repair of a product holding a count)
//   VqdRemove           "/REMOVE": the record cleared when it gave the count
//                       back; never fails the uninstall
//   VqdInstallRollback  "/REMOVE /NOFLAG", only when the record is there
//   VqdRemoveRollback   "/INSTALL /NOFLAG", only when the record is gone
//   VqdRemoveCommit     the record a failed removal kept, deleted
//
// The rollbacks test the record because Wine's msiexec runs every rollback
// action of the sequence, armed or not: each acts only when its forward
// action changed the record. Each run's exit code goes into the installer's
// log, "vqdinst.exe /INSTALL: 6 (done, restart needed)"; 6 or reboot.txt ask
// for a restart at the end (msiexec then ends with 3010, or restarts the
// machine when it has no user interface and no REBOOT=ReallySuppress); a
// failing action also reports error 25000 (25001 for an uninstall's warning)
// of the Error table, which reaches the event log and a user interface.
//
// The package carries its own vqdinst.exe in this DLL (resource "VQDINST"):
// when the folder's copy is missing it is written there, run and deleted
// (vqdrun.cpp, which also stops a run after 10 minutes).
//
// Imports: kernel32, advapi32 and msi, no C runtime (built -nostdlib with its
// own entry point). None can be a planted copy: kernel32 and advapi32 are
// known DLLs, always the system's; msi.dll is the host's own, already loaded
// in the process that loads this DLL, and a module already loaded is used by
// name before any folder is searched. This DLL itself is written by Windows
// Installer from the package into its own folder and loaded from there.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "app/exitcodes.h"
#include "vqdrun.h"

namespace {

constexpr int kErrorFailed = 25000;
constexpr int kErrorWarning = 25001;

// One message to the installer: TYPE INSTALLMESSAGE_INFO writes TEXT as a
// line of the log (as field 1, so brackets in a path are not taken for
// properties); an error or warning goes out as the Error table's message
// NUMBER with TEXT as its [2].
void Message(MSIHANDLE install, INSTALLMESSAGE type, int number, const char* text) {
  MSIHANDLE record = MsiCreateRecord(2);
  if (record == 0) return;
  if (type == INSTALLMESSAGE_INFO) {
    MsiRecordSetStringA(record, 0, "[1]");
    MsiRecordSetStringA(record, 1, text);
  } else {
    MsiRecordSetInteger(record, 1, number);
    MsiRecordSetStringA(record, 2, text);
  }
  MsiProcessMessage(install, type, record);
  MsiCloseHandle(record);
}

// The record: HKLM\KEY "DriverCounted".
bool Counted(const char* key) {
  HKEY h;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return false;
  bool there = RegQueryValueExA(h, "DriverCounted", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(h);
  return there;
}

void SetCounted(const char* key, bool counted) {
  HKEY h;
  if (counted) {
    DWORD one = 1;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr) != ERROR_SUCCESS) return;
    RegSetValueExA(h, "DriverCounted", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(h);
    return;
  }
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return;
  RegDeleteValueA(h, "DriverCounted");
  DWORD subkeys = 1, values = 1;
  RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(h);
  // The key is the product's own, and its parent the maker's: each goes
  // with its last value or subkey.
  char path[kTextSize];
  path[0] = '\0';
  Append(path, sizeof path, key);
  for (int level = 0; level < 2 && subkeys == 0 && values == 0; ++level) {
    if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, path) != ERROR_SUCCESS) return;
    char* cut = nullptr;
    for (char* p = path; *p != '\0'; ++p)
      if (*p == '\\') cut = p;
    if (cut == nullptr) return;
    *cut = '\0';
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return;
    subkeys = values = 1;
    RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(h);
  }
}

// Splits the action's data into *folder and *key; false (logged) when it is
// not "FOLDER|KEY".
bool ReadData(MSIHANDLE install, char* data, DWORD size, const char** folder, const char** key) {
  if (MsiGetPropertyA(install, "CustomActionData", data, &size) != ERROR_SUCCESS || size == 0) size = kTextSize;
  char* bar = data;
  while (size < kTextSize && *bar != '\0' && *bar != '|') ++bar;
  if (size >= kTextSize || bar == data || *bar != '|' || bar[1] == '\0') {
    Message(install, INSTALLMESSAGE_ERROR, kErrorFailed, "vqdinst.exe: CustomActionData is not FOLDER|KEY");
    return false;
  }
  *bar = '\0';
  *folder = data;
  *key = bar + 1;
  return true;
}

enum Kind { kForward, kUninstall, kRollback };

// Runs vqdinst.exe SWITCHES, logs the run and, for a failing forward action,
// reports the error. True when the code is one of OK1, OK2, OK3.
bool Run(MSIHANDLE install, Kind kind, const char* switches, DWORD ok1, DWORD ok2, DWORD ok3) {
  char data[kTextSize];
  const char* folder;
  const char* key;
  if (!ReadData(install, data, sizeof data, &folder, &key)) return false;
  char line[kTextSize + 100] = "";
  DWORD code = 0;
  bool rebootFlag = false, missing = false;
  Outcome outcome = RunOnce(folder, switches, &code, &rebootFlag, &missing);
  if (missing) {
    Append(line, sizeof line, "vqdinst.exe is missing from ");
    Append(line, sizeof line, folder);
    Append(line, sizeof line, ": the copy the package carries runs instead");
    Message(install, INSTALLMESSAGE_INFO, 0, line);
    line[0] = '\0';
  }
  if (outcome == kNotStarted) {
    Append(line, sizeof line, "vqdinst.exe could not be started from ");
    Append(line, sizeof line, folder);
    Append(line, sizeof line, ": error ");
    AppendNumber(line, sizeof line, code);
  } else {
    Append(line, sizeof line, "vqdinst.exe ");
    Append(line, sizeof line, switches);
    Append(line, sizeof line, ": ");
    if (outcome == kTimedOut) {
      Append(line, sizeof line, "no result after 10 minutes, stopped");
    } else {
      AppendNumber(line, sizeof line, code);
      Append(line, sizeof line, " (");
      Append(line, sizeof line, ExitCodeMeaning(code));
      Append(line, sizeof line, ")");
    }
  }
  bool ok = outcome == kRan && (code == ok1 || code == ok2 || code == ok3);
  if (!ok && kind == kForward) Append(line, sizeof line, ": the action fails");
  Message(install, INSTALLMESSAGE_INFO, 0, line);
  if (!ok && kind == kForward) Message(install, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_ICONERROR), kErrorFailed, line);
  if (!ok && kind == kUninstall) Message(install, INSTALLMESSAGE(INSTALLMESSAGE_WARNING | MB_ICONWARNING), kErrorWarning, line);
  if (ok && (code == 6 || rebootFlag)) MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
  return ok;
}

const char* Key(MSIHANDLE install, char* data) {
  const char* folder;
  const char* key = nullptr;
  return ReadData(install, data, kTextSize, &folder, &key) ? key : nullptr;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD, LPVOID) {
  g_module = module;
  return TRUE;
}

extern "C" __declspec(dllexport) UINT WINAPI VqdInstall(MSIHANDLE install) {
  char data[kTextSize];
  const char* key = Key(install, data);
  if (key == nullptr) return ERROR_INSTALL_FAILURE;
  bool ok = Run(install, kForward, "/INSTALL", 0, 6, 6);
  // A product that is installing holds no count before: a record found is
  // one a failed uninstall left, and must not lead the rollback astray.
  SetCounted(key, ok);
  return ok ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT WINAPI VqdCheck(MSIHANDLE install) {
  return Run(install, kForward, "/CHECK", 11, 11, 11) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT WINAPI VqdUpgrade(MSIHANDLE install) {
  return Run(install, kForward, "/UPGRADE", 0, 6, 6) ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

extern "C" __declspec(dllexport) UINT WINAPI VqdRemove(MSIHANDLE install) {
  char data[kTextSize];
  const char* key = Key(install, data);
  // A failed removal keeps the record for the rollback; VqdRemoveCommit
  // deletes it when the uninstall ends.
  if (key != nullptr && Run(install, kUninstall, "/REMOVE", 0, 6, 6)) SetCounted(key, false);
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT WINAPI VqdRemoveCommit(MSIHANDLE install) {
  char data[kTextSize];
  const char* key = Key(install, data);
  if (key != nullptr) SetCounted(key, false);
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT WINAPI VqdInstallRollback(MSIHANDLE install) {
  char data[kTextSize];
  const char* key = Key(install, data);
  if (key == nullptr) return ERROR_SUCCESS;
  if (!Counted(key)) {
    Message(install, INSTALLMESSAGE_INFO, 0, "VqdInstallRollback: this installation counted nothing, nothing to give back");
  } else if (Run(install, kRollback, "/REMOVE /NOFLAG", 0, 6, 6)) {
    SetCounted(key, false);
  }
  return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT WINAPI VqdRemoveRollback(MSIHANDLE install) {
  char data[kTextSize];
  const char* key = Key(install, data);
  if (key == nullptr) return ERROR_SUCCESS;
  if (Counted(key)) {
    Message(install, INSTALLMESSAGE_INFO, 0, "VqdRemoveRollback: this uninstall gave no count back, nothing to take again");
  } else if (Run(install, kRollback, "/INSTALL /NOFLAG", 0, 6, 6)) {
    SetCounted(key, true);
  }
  return ERROR_SUCCESS;
}
