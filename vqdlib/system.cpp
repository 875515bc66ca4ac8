#include "vqdlib/system.h"

#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/sysinfo.h"

bool IsNT = false;
bool Is2K = false;
bool UnsupportedOS = false;
bool IsWow64 = false;
std::string SystemDir;

void InitLibrary() {
  // Logging off, and a log left open closed: a new log replaces the file by
  // deleting it, which its own open handle would prevent.
  CloseDebugLog();
  UnsupportedOS = false;
  DetectWindows();
  SystemDir = GetSystemDir();
  DebugEnabled = false;
  DebugLogOpen = false;
}

void DetectWindows() {
  DebugLog("DW");
  plat::OsVersionInfo info;
  info.size = 148;
  plat::GetVersionExA(&info);
  IsNT = info.platformId == plat::kPlatformWin32NT;
  Is2K = IsNT && info.majorVersion == 5;
  if (IsNT && info.majorVersion > 5) {
    Is2K = true;
    UnsupportedOS = true;
  }
  if (IsNT && !Is2K) DebugLog("DW: NT");
  if (Is2K) DebugLog("DW: 2K");
  if (!IsNT) DebugLog("DW: 9x");
  // A 32-bit kernel driver cannot load on a 64-bit Windows, whatever its
  // version; a system without the call is a 32-bit one.
  IsWow64 = false;
  plat::IsWow64Process(&IsWow64);
}

bool IsAdmin() {
  DebugLog("IA");
  plat::RegKey key = 0;
  if (plat::RegOpenKeyExA(plat::kHKeyLocalMachine, "SOFTWARE", plat::kKeyAllAccess, &key) == 0) {
    plat::RegCloseKey(key);
    DebugLog("IA: NT/2K: Is an Admin");
    return true;
  }
  DebugLog("IA: NT/2K: Not an Admin");
  return false;
}

std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool FileFound(const std::string& path) {
  plat::FindData found;
  plat::FindHandle find = plat::FindFirstFileA(path, &found);
  if (find == plat::kInvalidFind) return false;
  plat::FindClose(find);
  return !found.directory;
}

std::string GetSystemDir() {
  DebugLog("GSD");
  std::string dir = SystemDirectoryText();
  DebugLog("GSD: " + dir);
  return dir;
}

std::string GetWindowsDir() {
  // Silent while the log is not open: a look-up of the directory does not
  // open the log, the first line of the step that asked for it does.
  if (DebugLogOpen) DebugLog("GWD");
  std::string dir = WindowsDirectoryText();
  if (DebugLogOpen) DebugLog("GWD: " + dir);
  return dir;
}

std::string GetFileVersion(const std::string& path) { return GetFileVersionAs(path, NamedAsVxd(path)); }

std::string GetFileVersionAs(const std::string& path, bool vxd) { return FileVersionText(path, vxd, DebugLog); }
