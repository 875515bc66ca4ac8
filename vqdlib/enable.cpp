#include "vqdlib/enable.h"

#include "platform/platform.h"
#include "vqdlib/family.h"
#include "vqdlib/registry.h"
#include "vqdlib/restart.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

// Disabling moves the family's driver file from its active name to its
// disabled name, enabling back. The registry entries that load the driver go
// before the file is disabled, and come back when it is enabled: on NT 4
// before the move; on Windows 2000 after it, and only when the file is
// there, because a CD-ROM class lower filter whose driver file is missing
// keeps every CD-ROM drive from starting. NT 4 and 9x always need a reboot;
// Windows 2000 restarts the CD-ROM devices instead, and their outcome is the
// result.

namespace {

// Before the disable. A filter entry that could not be removed still loads
// the driver at the next start of a drive: its service and file stay, and
// the disable stops (false).
bool Unregister(const Family& family) {
  if (family.filter) {
    RemoveLowerFilter(family.filter);
    if (LowerFilterListed(family.filter)) return false;
  }
  if (family.service) RegCreateService(family, false);
  return true;
}

void Register(const Family& family) {
  if (family.service) RegCreateService(family, true);
  if (family.filter) AddLowerFilter(family.enableFilter);
}

bool RegisterBeforeMove(const Family& family) {
  if (!family.filter) Register(family);
  return true;
}

// Moves a driver file to its other name with its three file times, after the
// registry work `before`. False when it stopped before the target was
// touched: no source file, or a source that cannot be opened. The target is
// deleted only once the source has been opened, so a failed enable never
// leaves the system without either file. Every handle is closed before the
// delete and the move: Windows refuses both on a file that is open without
// FILE_SHARE_DELETE.
bool MoveWithFileTimes(const Family& family, const std::string& from, const std::string& to,
                       bool (*before)(const Family&)) {
  if (SystemDir.empty() || !FileFound(from)) return false;
  if (!before(family)) return false;
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
  if (!MoveWithFileTimes(family, ActiveDriverPath(family), DisabledDriverPath(family), Unregister))
    return !family.restartsDevices;
  return RebootNeededAfterMove(family, true);
}

bool Enable(const Family& family, bool restartDevices) {
  const std::string active = ActiveDriverPath(family);
  if (!MoveWithFileTimes(family, DisabledDriverPath(family), active, RegisterBeforeMove))
    return !family.restartsDevices;
  if (family.filter) {
    if (!FileFound(active)) return !family.restartsDevices;
    Register(family);
  }
  return RebootNeededAfterMove(family, restartDevices);
}

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

bool DisableVQD() { return Disable(FamilyNT); }
bool DisableVQD2K() { return Disable(Family2K); }
bool DisableVQD9() { return Disable(Family9x); }
bool EnableVQD() { return Enable(FamilyNT, false); }
bool EnableVQD2K(bool restartDevices) { return Enable(Family2K, restartDevices); }
bool EnableVQD9() { return Enable(Family9x, false); }

bool DisableDriver() { return Disable(RunningFamily()); }
bool IsDriverDisabled() {
  const Family& family = RunningFamily();
  return !SystemDir.empty() && !FileFound(ActiveDriverPath(family)) && FileFound(DisabledDriverPath(family)) &&
         !IsDriverRegistered();
}
bool EnableDriver(bool restartDevices) { return Enable(RunningFamily(), restartDevices); }

void RebootSystem() {
  if (IsNT && !EnableShutdownPrivilege()) return;
  plat::ExitWindowsEx(plat::kEwxReboot, 0);
}
