#include "vqdlib/enable.h"

#include "platform/platform.h"
#include "vqdlib/registry.h"
#include "vqdlib/restart.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

namespace {

bool UnregisterVQD() {
  RegCreateVQD(false);
  return true;
}
bool RegisterVQD() {
  RegCreateVQD(true);
  return true;
}
// A filter entry that could not be removed still loads the driver at the
// next start of a drive: its service and file stay, and the disable stops.
bool UnregisterVQD2K() {
  RemoveLowerFilter("VQD2K");
  if (LowerFilterListed("VQD2K")) return false;
  RegCreateVQD2K(false);
  return true;
}
void RegisterVQD2K() {
  RegCreateVQD2K(true);
  AddLowerFilter("VQD2k");
}

// What disabling and enabling do per family. The driver file moves between
// its active and disabled names; the registry entries that load it go before
// the file is disabled and come back before (NT 4) or after (Windows 2000)
// it is enabled. NT 4 and 9x always need a reboot; Windows 2000 restarts the
// CD-ROM devices instead, and their outcome is the result.
struct Family {
  const char* activeFile;  // after SystemDir
  const char* disabledFile;
  bool (*beforeDisable)();  // false: stop, the file stays where it is
  bool (*beforeEnable)();
  void (*afterEnable)();
  bool restartsDevices;
};

const Family kNT4 = {"\\DRIVERS\\VQD.SYS", "\\DRIVERS\\VQD.DIS", UnregisterVQD, RegisterVQD, nullptr, false};
const Family k2K = {"\\DRIVERS\\VQD2K.SYS", "\\DRIVERS\\VQD2K.DIS", UnregisterVQD2K, nullptr, RegisterVQD2K, true};
const Family k9x = {"\\IOSUBSYS\\MERIDAX.VXD", "\\IOSUBSYS\\MERIDAX.DIS", nullptr, nullptr, nullptr, false};

// Moves a driver file to its other name with its three file times, after the
// registry work `before`. False when it stopped before the target was
// touched: no source file, or a source that cannot be opened. The target is
// deleted only once the source has been opened, so a failed enable never
// leaves the system without either file. Every handle is closed before the
// delete and the move: Windows refuses both on a file that is open without
// FILE_SHARE_DELETE.
bool MoveWithFileTimes(const std::string& from, const std::string& to, bool (*before)()) {
  if (SystemDir.empty() || !FileFound(from)) return false;
  if (before && !before()) return false;
  plat::FileHandle source = plat::CreateFileA(from, plat::Access::Read, plat::kFileShareRead,
                                              plat::Disposition::OpenExisting);
  if (source == plat::kInvalidFile) return false;
  plat::FileTime creation = 0, lastAccess = 0, lastWrite = 0;
  bool timesRead = plat::GetFileTime(source, &creation, &lastAccess, &lastWrite);
  plat::CloseHandle(source);

  plat::DeleteFileA(to);
  // MoveFileA does not replace a target that could not be deleted; the times
  // then belong to another file and are left alone.
  if (!plat::MoveFileA(from, to) || !timesRead) return true;
  plat::FileHandle target = plat::CreateFileA(to, plat::Access::Write, plat::kFileShareWrite,
                                              plat::Disposition::OpenExisting);
  if (target != plat::kInvalidFile) {
    plat::SetFileTime(target, &creation, &lastAccess, &lastWrite);
    plat::CloseHandle(target);
  }
  return true;
}

// The reboot-needed answer of a family once its file has moved.
bool RebootNeededAfterMove(const Family& family, bool restartDevices) {
  if (!family.restartsDevices) return true;
  bool deviceFailed = false;
  if (restartDevices) RestartOnWorkerThread(deviceFailed);
  return deviceFailed;
}

bool Disable(const Family& family) {
  if (!MoveWithFileTimes(SystemDir + family.activeFile, SystemDir + family.disabledFile, family.beforeDisable))
    return !family.restartsDevices;
  return RebootNeededAfterMove(family, true);
}

bool Enable(const Family& family, bool restartDevices) {
  const std::string active = SystemDir + family.activeFile;
  if (!MoveWithFileTimes(SystemDir + family.disabledFile, active, family.beforeEnable))
    return !family.restartsDevices;
  if (family.afterEnable) {
    // A class lower filter whose driver file is missing keeps every CD-ROM
    // drive from starting: register only a driver that is there.
    if (!FileFound(active)) return !family.restartsDevices;
    family.afterEnable();
  }
  return RebootNeededAfterMove(family, restartDevices);
}

const Family& RunningFamily() { return Is2K ? k2K : IsNT ? kNT4 : k9x; }

// The shutdown privilege of the process token; false when it could not be
// enabled, also when the call succeeds without assigning it.
bool EnableShutdownPrivilege() {
  plat::TokenHandle token{};
  if (!plat::OpenProcessToken(plat::kTokenAdjustPrivileges | plat::kTokenQuery, &token)) return false;
  plat::Luid shutdown;
  bool enabled = plat::LookupPrivilegeValueA("SeShutdownPrivilege", &shutdown) &&
                 plat::AdjustTokenPrivileges(token, shutdown, plat::kSePrivilegeEnabled) &&
                 plat::GetLastError() == plat::kErrorSuccess;
  plat::CloseHandle(token);
  return enabled;
}

}  // namespace

bool DisableVQD() { return Disable(kNT4); }
bool DisableVQD2K() { return Disable(k2K); }
bool DisableVQD9() { return Disable(k9x); }
bool EnableVQD() { return Enable(kNT4, false); }
bool EnableVQD2K(bool restartDevices) { return Enable(k2K, restartDevices); }
bool EnableVQD9() { return Enable(k9x, false); }

bool DisableDriver() { return Disable(RunningFamily()); }
bool IsDriverDisabled() {
  const Family& family = RunningFamily();
  return !SystemDir.empty() && !FileFound(SystemDir + family.activeFile) && FileFound(SystemDir + family.disabledFile) &&
         !IsDriverRegistered();
}
bool EnableDriver(bool restartDevices) { return Enable(RunningFamily(), restartDevices); }

void RebootSystem() {
  if (IsNT && !EnableShutdownPrivilege()) return;
  plat::ExitWindowsEx(plat::kEwxReboot, 0);
}
