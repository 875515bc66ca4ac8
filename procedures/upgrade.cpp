// Upgrade: replaces the installed driver when the carried one is newer (or
// always with "/OVERWRITE") without counting a new installation.
#include "package/drivedb.h"
#include "package/legacy.h"
#include "package/payload.h"
#include "procedures/procedures.h"
#include "procedures/steps.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/family.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

static bool Upgrade(const Family& family, bool overwrite) {
  const std::string name = std::string("Upgrade") + family.tag;
  const std::string prefix = family.lines.upgradePrefix;
  DebugLog(name);
  bool result = false;

  AdoptUncountedDriver(family, prefix);
  ClearExcludeMiniports();
  InstallDriveDB(true);

  if (!TempDir.empty()) {
    bool extracted = ExtractCarriedFiles(family, prefix);
    bool copy = !extracted || CarriedIsToGoIn(family, prefix, overwrite, family.lines.upgradeNewer);
    if (copy && CopyDriver(family, prefix, extracted)) {
      RegisterDriver(family, prefix);
      result = true;
    }
    DeleteCarriedFiles(family);
  }
  DebugLog(prefix + "Done");
  return result;
}

bool UpgradeNT(bool overwrite) { return Upgrade(FamilyNT, overwrite); }
bool Upgrade2K(bool overwrite) { return Upgrade(Family2K, overwrite); }
bool Upgrade9x(bool overwrite) { return Upgrade(Family9x, overwrite); }
bool UpgradeForFamily(bool overwrite) { return Upgrade(RunningFamily(), overwrite); }
