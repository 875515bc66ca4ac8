// Removal: an unforced removal takes the driver away only at the last
// installation and otherwise lowers the count; a forced one whatever the
// count. A disabled driver is removed like an enabled one.
#include "package/drivedb.h"
#include "platform/platform.h"
#include "procedures/procedures.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/family.h"
#include "vqdlib/registry.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

bool RemovalIncomplete = false;

// Deletes one driver file; the line tells whether it went. A file that was
// not there gets no line.
static void DeleteDriverFile(const std::string& path, const std::string& name, const std::string& prefix) {
  if (plat::DeleteFileA(path))
    DebugLog(prefix + "Deleted " + name);
  else if (FileFound(path))
    DebugLog(prefix + "Failed to delete " + name);
}

static bool RemoveDriver(const Family& family, const std::string& prefix) {
  bool result = !family.service;  // Windows 9x: always a reboot
  if (family.filter) {
    bool filter = RemoveLowerFilter(family.filter);
    // An entry that stayed would load a driver without service or file and
    // stop every CD-ROM drive: the driver stays as it is, count and drive
    // database included.
    if (LowerFilterListed(family.filter)) {
      DebugLog(prefix + family.filter + " still in LowerFilters - keeping the driver");
      DebugLog(prefix + "Failed to delete " + family.driver.fileName);
      RemovalIncomplete = true;
      return false;
    }
    InstallDriveDB(false);
    bool service = RegCreateService(family, false);
    result = filter || service;
  } else {
    InstallDriveDB(false);
    if (family.service) result = RegCreateService(family, false);
  }
  // A service key that stayed still loads the driver.
  if (ServiceKeyPresent(family)) RemovalIncomplete = true;
  const std::string active = ActiveDriverPath(family);
  DeleteDriverFile(active, family.driver.fileName, prefix);
  // On Windows 9x the file is the registration: one that stayed (held open
  // by the loaded driver) loads again at the next start.
  if (!family.service && FileFound(active)) RemovalIncomplete = true;
  DeleteDriverFile(DisabledDriverPath(family), family.disabledName, prefix);
  SetInstallCount(0);
  return result;
}

// Installed and enabled, or anything of it left all the same: its file under
// the active or the disabled name ("/DISABLE"), or its service key. A removal
// that is due takes it away.
static bool DriverPresent(const Family& family) {
  return !SystemDir.empty() && (IsDriverInstalled(family) || FileFound(ActiveDriverPath(family)) ||
                                FileFound(DisabledDriverPath(family)) || ServiceKeyPresent(family));
}

static bool Uninstall(const Family& family, bool force) {
  const std::string name = std::string("UnInst") + family.tag;
  const std::string prefix = name + ": ";
  DebugLog(name);
  // Without a system directory neither the driver nor its count can be
  // found: the removal cannot do what it was asked.
  RemovalIncomplete = SystemDir.empty();
  bool result = false;
  if (force) {
    DebugLog(prefix + "Forcing");
    if (DriverPresent(family)) {
      DebugLog(prefix + family.lines.forcedRemoval);
      result = RemoveDriver(family, prefix);
    }
  } else {
    DebugLog(prefix + "Not forcing");
    const bool present = DriverPresent(family);
    if (present && GetInstallCount() == 1) {
      DebugLog(prefix + "Install count=1 - uninstalling");
      result = RemoveDriver(family, prefix);
    } else {
      if (family.lines.decrementing) DebugLog(prefix + family.lines.decrementing);
      uint32_t count = GetInstallCount();
      // A last count that reads only now (the first read failed) stays:
      // taking it would leave a driver that nothing counts.
      if (present && count == 1)
        RemovalIncomplete = true;
      else if (count > 0)
        SetInstallCount(count - 1);
    }
  }
  DebugLog(prefix + "Done");
  return result;
}

bool UnInstNT(bool force) { return Uninstall(FamilyNT, force); }
bool UnInst2K(bool force) { return Uninstall(Family2K, force); }
bool UnInst9x(bool force) { return Uninstall(Family9x, force); }
bool UninstallForFamily(bool force) { return Uninstall(RunningFamily(), force); }
