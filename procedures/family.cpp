#include "procedures/family.h"

#include "package/legacy.h"
#include "package/payload.h"
#include "package/version.h"
#include "platform/platform.h"
#include "procedures/procedures.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/numtext.h"
#include "vqdlib/registry.h"
#include "vqdlib/service.h"
#include "vqdlib/system.h"

bool DriverCopyFailed = false;

namespace {

const DriverFamily Families[3] = {
    {"NT", IsVQDInstalled, IsBremcoInstalled, RemoveBremco,
     {{"VQD", "\\VQD.SYS"}}, 1,
     "\\DRIVERS\\VQD.SYS", "\\DRIVERS\\VQD.DIS", "VQD.SYS", "VQD.DIS", true, false,
     "Found VQD without a counter", "Found BREMCO - deleting", "Extracting VQD",
     "Found previous copy - checking versions", "Didn't find another copy - installing",
     "Found old VQD - uninstalling", true},
    {"2K", IsVQD2KInstalled, IsBremco2KInstalled, RemoveBremco2K,
     {{"VQD2K", "\\VQD2K.SYS"}, {"VQD2KINF", "\\VQD2K.INF"}, {"VQD2KCAT", "\\VQD2K.CAT"}}, 3,
     "\\DRIVERS\\VQD2K.SYS", "\\DRIVERS\\VQD2K.DIS", "VQD2K.SYS", "VQD2K.DIS", true, true,
     "Found VQD2K without counter", "Found BREMCO2K - deleting", "Extracting VQD2K",
     "Found previous version - checking versions", "Didn't find another copy - installing",
     "VQD2K installed - uninstalling", true},
    {"9x", IsVQD9Installed, IsPlovantInstalled, RemovePlovant,
     {{"MERIDAX", "\\MERIDAX.VXD"}}, 1,
     "\\IOSUBSYS\\MERIDAX.VXD", "\\IOSUBSYS\\MERIDAX.DIS", "MERIDAX.VXD", "MERIDAX.DIS", false, false,
     "Found MERIDAX without counter", "Found PLOVANT - deleting", "Extracting MERIDAX",
     "Found previous version of MERIDAX - checking versions", "Didn't find another version - installing",
     "MERIDAX installed - uninstalling", false},
};

}  // namespace

Family RunningFamily() {
  if (IsNT && !Is2K) return Family::NT;
  if (Is2K) return Family::W2K;
  return Family::W9x;
}

const DriverFamily& FamilyOf(Family family) { return Families[static_cast<int>(family)]; }

void AdoptUncountedDriver(const DriverFamily& family, const std::string& prefix) {
  if (family.installedProbe() && GetInstallCount() == 0) {
    DebugLog(prefix + family.withoutCounter);
    SetInstallCount(1);
  }
}

bool ExtractCarriedFiles(const DriverFamily& family, const std::string& prefix) {
  DebugLog(prefix + family.extracting);
  bool all = true;
  for (int i = 0; i < family.carriedCount; ++i)
    all = ResourceToFile(family.carried[i].resource, TempDir + family.carried[i].fileName) && all;
  return all;
}

bool CarriedIsToGoIn(const DriverFamily& family, const std::string& prefix, bool force,
                     const std::string& updateLine) {
  if (!family.installedProbe()) {
    DebugLog(prefix + family.notFound);
    return true;
  }
  DebugLog(prefix + family.foundPrevious);
  std::string carried = GetFileVersion(TempDir + family.carried[0].fileName);
  std::string installed = GetFileVersion(SystemDir + family.installedFile);
  // The comparison runs (and logs) even when the copy is forced.
  bool replace = VerANewer(carried, installed) || force;
  if (replace) DebugLog(prefix + updateLine);
  return replace;
}

void DeleteCarriedFiles(const DriverFamily& family) {
  for (int i = 0; i < family.carriedCount; ++i) DeleteExtractedFile(TempDir + family.carried[i].fileName);
}

bool CopyDriver(const DriverFamily& family, const std::string& prefix, bool extracted) {
  // Without a system directory the target would be a DRIVERS folder in the
  // root of the current drive, which no Windows loads a driver from.
  bool copied = extracted && !SystemDir.empty() &&
                plat::CopyFileA(TempDir + family.carried[0].fileName, SystemDir + family.installedFile, false);
  DebugLog(prefix + "File copy of " + family.driverName + (copied ? " succeeded" : " failed"));
  DriverCopyFailed = DriverCopyFailed || !copied;
  // An "/ENABLE" would otherwise put an older copy back over this one. A
  // newer driver the user disabled stays: it is theirs to enable again.
  const std::string disabled = SystemDir + family.disabledFile;
  const bool vxd = !family.registersService;
  if (copied && FileFound(disabled) &&
      !VerANewer(GetFileVersionAs(disabled, vxd), GetFileVersion(SystemDir + family.installedFile)))
    plat::DeleteFileA(disabled);
  return copied;
}

void RegisterDriver(const DriverFamily& family, const std::string& prefix) {
  if (!family.registersService) return;
  if (!family.registersFilter) {
    RegCreateVQD(true);
    return;
  }
  if (!RegCreateVQD2K(true)) return;
  AddLowerFilter("VQD2K");
  if (plat::SetupCopyOEMInfA(TempDir + "\\VQD2K.INF", nullptr, plat::kSpostNone, plat::kSpCopyDeleteSource))
    DebugLog(prefix + "SetupCopyOEMInf executed successfully.");
  else
    DebugLog(prefix + "SetupCopyOEMInf failed with error: " + DecimalText(plat::GetLastError()));
}
