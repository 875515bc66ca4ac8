// Removal: an unforced removal takes the driver away only at the last
// installation and otherwise lowers the count; a forced one whatever the
// count. A disabled driver is removed like an enabled one.
#include "package/drivedb.h"
#include "platform/platform.h"
#include "procedures/family.h"
#include "procedures/procedures.h"
#include "vqdlib/debuglog.h"
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

// The service key of an NT-family driver, whatever else is left of it.
static bool ServiceKeyPresent(const DriverFamily& family) {
  return family.registersService && (family.registersFilter ? VQD2KKeyPresent() : VQDKeyPresent());
}

static bool RemoveDriver(const DriverFamily& family, const std::string& prefix) {
  bool result = !family.registersService;  // Windows 9x: always a reboot
  if (family.registersFilter) {
    bool filter = RemoveLowerFilter("VQD2K");
    // An entry that stayed would load a driver without service or file and
    // stop every CD-ROM drive: the driver stays as it is, count and drive
    // database included.
    if (LowerFilterListed("VQD2K")) {
      DebugLog(prefix + "VQD2K still in LowerFilters - keeping the driver");
      DebugLog(prefix + "Failed to delete " + family.driverName);
      RemovalIncomplete = true;
      return false;
    }
    InstallDriveDB(false);
    bool service = RegCreateVQD2K(false);
    result = filter || service;
  } else {
    InstallDriveDB(false);
    if (family.registersService) result = RegCreateVQD(false);
  }
  // A service key that stayed still loads the driver.
  if (ServiceKeyPresent(family)) RemovalIncomplete = true;
  DeleteDriverFile(SystemDir + family.installedFile, family.driverName, prefix);
  // On Windows 9x the file is the registration: one that stayed (held open
  // by the loaded driver) loads again at the next start.
  if (!family.registersService && FileFound(SystemDir + family.installedFile)) RemovalIncomplete = true;
  DeleteDriverFile(SystemDir + family.disabledFile, family.disabledName, prefix);
  SetInstallCount(0);
  return result;
}

// Installed and enabled, or anything of it left all the same: its file under
// the active or the disabled name ("/DISABLE"), or its service key. A removal
// that is due takes it away.
static bool DriverPresent(const DriverFamily& family) {
  return !SystemDir.empty() && (family.installedProbe() || FileFound(SystemDir + family.installedFile) ||
                                FileFound(SystemDir + family.disabledFile) || ServiceKeyPresent(family));
}

static bool Uninstall(Family which, bool force) {
  const DriverFamily& family = FamilyOf(which);
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
      DebugLog(prefix + family.forcedRemoval);
      result = RemoveDriver(family, prefix);
    }
  } else {
    DebugLog(prefix + "Not forcing");
    const bool present = DriverPresent(family);
    if (present && GetInstallCount() == 1) {
      DebugLog(prefix + "Install count=1 - uninstalling");
      result = RemoveDriver(family, prefix);
    } else {
      if (family.logsDecrement) DebugLog(prefix + "Install count is >1 - decrementing");
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

bool UnInstNT(bool force) { return Uninstall(Family::NT, force); }
bool UnInst2K(bool force) { return Uninstall(Family::W2K, force); }
bool UnInst9x(bool force) { return Uninstall(Family::W9x, force); }
bool UninstallForFamily(bool force) { return Uninstall(RunningFamily(), force); }
