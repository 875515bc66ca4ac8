// Upgrade: replaces the installed driver when the carried one is newer (or
// always with "/OVERWRITE") without counting a new installation.
#include "package/drivedb.h"
#include "package/legacy.h"
#include "package/payload.h"
#include "procedures/family.h"
#include "procedures/procedures.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

static bool Upgrade(Family which, bool overwrite) {
  const DriverFamily& family = FamilyOf(which);
  const std::string name = std::string("Upgrade") + family.tag;
  // The NT 4 procedure's lines have always been spelt this way; log readers
  // look for them as they are.
  const std::string prefix = which == Family::NT ? "UpgadeNT: " : name + ": ";
  DebugLog(name);
  bool result = false;

  AdoptUncountedDriver(family, prefix);
  ClearExcludeMiniports();
  InstallDriveDB(true);

  if (!TempDir.empty()) {
    bool extracted = ExtractCarriedFiles(family, prefix);
    bool copy = !extracted ||
                CarriedIsToGoIn(family, prefix, overwrite,
                                which == Family::NT ? "Install copy is newer or overwrite switch used - updating"
                                                    : "Install copy is newer - updating");
    if (copy && CopyDriver(family, prefix, extracted)) {
      RegisterDriver(family, prefix);
      result = true;
    }
    DeleteCarriedFiles(family);
  }
  DebugLog(prefix + "Done");
  return result;
}

bool UpgradeNT(bool overwrite) { return Upgrade(Family::NT, overwrite); }
bool Upgrade2K(bool overwrite) { return Upgrade(Family::W2K, overwrite); }
bool Upgrade9x(bool overwrite) { return Upgrade(Family::W9x, overwrite); }
bool UpgradeForFamily(bool overwrite) { return Upgrade(RunningFamily(), overwrite); }
