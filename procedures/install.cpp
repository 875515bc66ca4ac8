// Installation: adopts an installation without a count, replaces the legacy
// driver, copies the carried driver unless the installed one is as new,
// registers it and raises the install count when the driver is in place.
#include <cstdint>

#include "package/drivedb.h"
#include "package/legacy.h"
#include "package/payload.h"
#include "procedures/family.h"
#include "procedures/procedures.h"
#include "vqdlib/debuglog.h"
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

static bool Install(Family which) {
  const DriverFamily& family = FamilyOf(which);
  const std::string name = std::string("Inst") + family.tag;
  const std::string prefix = name + ": ";
  DebugLog(name);
  bool result = false;

  AdoptUncountedDriver(family, prefix);
  bool legacyCounted = false;
  uint32_t countBefore = 0;
  if (family.legacyProbe()) {
    DebugLog(prefix + family.legacyFound);
    // The replaced driver's installation is counted as one of ours.
    countBefore = RaiseInstallCount();
    legacyCounted = true;
    result = family.legacyRemoval();
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
      // Windows 2000 registers again although nothing was copied, so that a
      // changed service key or a lost INF comes back. (A lost filter entry
      // never gets here: without it the driver reads as not installed and is
      // copied and registered above.)
      registerDriver = family.registersFilter;
    }
    if (registerDriver) RegisterDriver(family, prefix);
    DeleteCarriedFiles(family);
  }
  // Only a driver in place counts an installation; when none is, the count
  // the legacy driver brought goes back too.
  if (family.installedProbe()) {
    if (!TempDir.empty()) RaiseInstallCount();
  } else if (legacyCounted) {
    SetInstallCount(countBefore);
  }
  DebugLog(prefix + "Done");
  return result;
}

bool InstNT() { return Install(Family::NT); }
bool Inst2K() { return Install(Family::W2K); }
bool Inst9x() { return Install(Family::W9x); }
bool InstallForFamily() { return Install(RunningFamily()); }
