// Installation: adopts an installation without a count, replaces the legacy
// driver, copies the carried driver unless the installed one is as new,
// registers it and raises the install count when the driver is in place.
#include <cstdint>

#include "package/drivedb.h"
#include "package/legacy.h"
#include "package/payload.h"
#include "procedures/procedures.h"
#include "procedures/steps.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/family.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

// One installation more. A count at its largest stays there: wrapping round
// to 0 would delete the count of a driver that is in use. Returns the count
// it found.
static uint32_t RaiseInstallCount() {
  uint32_t count = GetInstallCount();
  SetInstallCount(count == UINT32_MAX ? count : count + 1);
  return count;
}

static bool Install(const Family& family) {
  const std::string name = std::string("Inst") + family.tag;
  const std::string prefix = name + ": ";
  DebugLog(name);
  bool result = false;

  AdoptUncountedDriver(family, prefix);
  bool legacyCounted = false;
  uint32_t countBefore = 0;
  if (IsLegacyInstalled(family)) {
    DebugLog(prefix + family.lines.legacyFound);
    // The replaced driver's installation is counted as one of ours.
    countBefore = RaiseInstallCount();
    legacyCounted = true;
    result = RemoveLegacy(family);
  }
  ClearExcludeMiniports();
  InstallDriveDB(true);

  if (!TempDir.empty()) {
    bool extracted = ExtractCarriedFiles(family, prefix);
    bool copy = !extracted || CarriedIsToGoIn(family, prefix, false, "Install copy is newer - updating");
    bool registerDriver = false;
    if (copy) {
      if (CopyDriver(family, prefix, extracted)) {
        result = true;
        registerDriver = true;
      }
    } else {
      registerDriver = family.registersCurrent;
    }
    if (registerDriver) RegisterDriver(family, prefix);
    DeleteCarriedFiles(family);
  }
  // Only a driver in place counts an installation; when none is, the count
  // the legacy driver brought goes back too.
  if (IsDriverInstalled(family)) {
    if (!TempDir.empty()) RaiseInstallCount();
  } else if (legacyCounted) {
    SetInstallCount(countBefore);
  }
  DebugLog(prefix + "Done");
  return result;
}

bool InstNT() { return Install(FamilyNT); }
bool Inst2K() { return Install(Family2K); }
bool Inst9x() { return Install(Family9x); }
bool InstallForFamily() { return Install(RunningFamily()); }
