// Removal: an unforced removal takes the driver away only at the last
// installation and otherwise lowers the count; a forced one whatever the
// count.
#include "package/drivedb.h"
#include "platform/platform.h"
#include "procedures/family.h"
#include "procedures/procedures.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/registry.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

static bool RemoveDriver(const DriverFamily& family, const std::string& prefix) {
  bool result = !family.registersService;  // Windows 9x: always a reboot
  InstallDriveDB(false);
  if (family.registersFilter) {
    bool filter = RemoveLowerFilter("VQD2K");
    // An entry that stayed would load a driver without service or file and
    // stop every CD-ROM drive: the driver stays as it is, count included.
    if (LowerFilterListed("VQD2K")) {
      DebugLog(prefix + "VQD2K still in LowerFilters - keeping the driver");
      DebugLog(prefix + "Failed to delete " + family.driverName);
      return false;
    }
    bool service = RegCreateVQD2K(false);
    result = filter || service;
  } else if (family.registersService) {
    result = RegCreateVQD(false);
  }
  bool deleted = plat::DeleteFileA(SystemDir + family.installedFile);
  DebugLog(prefix + (deleted ? "Deleted " : "Failed to delete ") + family.driverName);
  SetInstallCount(0);
  return result;
}

static bool Uninstall(Family which, bool force) {
  const DriverFamily& family = FamilyOf(which);
  const std::string name = std::string("UnInst") + family.tag;
  const std::string prefix = name + ": ";
  DebugLog(name);
  bool result = false;
  if (force) {
    DebugLog(prefix + "Forcing");
    if (!SystemDir.empty() && family.installedProbe()) {
      DebugLog(prefix + family.forcedRemoval);
      result = RemoveDriver(family, prefix);
    }
  } else {
    DebugLog(prefix + "Not forcing");
    if (!SystemDir.empty() && family.installedProbe() && GetInstallCount() == 1) {
      DebugLog(prefix + "Install count=1 - uninstalling");
      result = RemoveDriver(family, prefix);
    } else {
      if (family.logsDecrement) DebugLog(prefix + "Install count is >1 - decrementing");
      if (GetInstallCount() > 0) SetInstallCount(GetInstallCount() - 1);
    }
  }
  DebugLog(prefix + "Done");
  return result;
}

bool UnInstNT(bool force) { return Uninstall(Family::NT, force); }
bool UnInst2K(bool force) { return Uninstall(Family::W2K, force); }
bool UnInst9x(bool force) { return Uninstall(Family::W9x, force); }
bool UninstallForFamily(bool force) { return Uninstall(RunningFamily(), force); }
