#include "procedures/steps.h"

#include "package/payload.h"
#include "package/version.h"
#include "platform/platform.h"
#include "procedures/procedures.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/family.h"
#include "vqdlib/numtext.h"
#include "vqdlib/registry.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

bool DriverCopyFailed = false;

namespace {

// Where a carried file is extracted to.
std::string Extracted(const PayloadFile& file) { return TempDir + "\\" + file.fileName; }

}  // namespace

void AdoptUncountedDriver(const Family& family, const std::string& prefix) {
  if (IsDriverInstalled(family) && GetInstallCount() == 0) {
    DebugLog(prefix + family.lines.withoutCounter);
    SetInstallCount(1);
  }
}

bool ExtractCarriedFiles(const Family& family, const std::string& prefix) {
  DebugLog(prefix + family.lines.extracting);
  bool all = true;
  for (const PayloadFile& file : CarriedFiles(family)) all = ResourceToFile(file.resource, Extracted(file)) && all;
  return all;
}

bool CarriedIsToGoIn(const Family& family, const std::string& prefix, bool force, const std::string& updateLine) {
  if (!IsDriverInstalled(family)) {
    DebugLog(prefix + family.lines.notFound);
    return true;
  }
  DebugLog(prefix + family.lines.foundPrevious);
  std::string carried = GetFileVersion(Extracted(family.driver));
  std::string installed = GetFileVersion(ActiveDriverPath(family));
  // The comparison runs (and logs) even when the copy is forced.
  bool replace = VerANewer(carried, installed) || force;
  if (replace) DebugLog(prefix + updateLine);
  return replace;
}

void DeleteCarriedFiles(const Family& family) {
  for (const PayloadFile& file : CarriedFiles(family)) DeleteExtractedFile(Extracted(file));
}

bool CopyDriver(const Family& family, const std::string& prefix, bool extracted) {
  // Without a system directory the target would be a DRIVERS folder in the
  // root of the current drive, which no Windows loads a driver from.
  const std::string active = ActiveDriverPath(family);
  bool copied = extracted && !SystemDir.empty() && plat::CopyFileA(Extracted(family.driver), active, false);
  DebugLog(prefix + "File copy of " + family.driver.fileName + (copied ? " succeeded" : " failed"));
  DriverCopyFailed = DriverCopyFailed || !copied;
  // An "/ENABLE" would otherwise put an older copy back over this one. A
  // newer driver the user disabled stays: it is theirs to enable again.
  const std::string disabled = DisabledDriverPath(family);
  if (copied && FileFound(disabled) &&
      !VerANewer(GetFileVersionAs(disabled, family.vxd), GetFileVersion(active)))
    plat::DeleteFileA(disabled);
  return copied;
}

void RegisterDriver(const Family& family, const std::string& prefix) {
  // A filter entry without its service key would stop every CD-ROM drive.
  if (!family.service || !RegCreateService(family, true) || !family.filter) return;
  AddLowerFilter(family.filter);
  if (plat::SetupCopyOEMInfA(Extracted(family.inf), nullptr, plat::kSpostNone, plat::kSpCopyDeleteSource))
    DebugLog(prefix + "SetupCopyOEMInf executed successfully.");
  else
    DebugLog(prefix + "SetupCopyOEMInf failed with error: " + DecimalText(plat::GetLastError()));
}
