#include "vqdlib/family.h"

#include "vqdlib/system.h"

namespace {

const ServiceKey kServiceVQD = {"SYSTEM\\CurrentControlSet\\Services\\VQD", "VQD", 0, "RegCreateVQD",
                                "RegCreateVQD: Removed", "RegCreateVQD: Remove Failed"};
const ServiceKey kServiceVQD2K = {"SYSTEM\\CurrentControlSet\\Services\\VQD2K", "VQD2k", 1, "RegCreateVQD2K",
                                  "RegCreateVQD2K: Removed", "RegCreateVQD2K: Removed failed"};

}  // namespace

// Each row: the tag; the files (folder, driver, disabled name, VxD, INF,
// catalog); the registration (service key, filter entry, the entry as
// enabling adds it, device restart, registering a current driver again);
// the probe's lines; the procedures' lines.
const Family FamilyNT = {
    "NT",
    "\\DRIVERS\\", {"VQD", "VQD.SYS"}, "VQD.DIS", false, {}, {},
    &kServiceVQD, nullptr, nullptr, false, false,
    {"IVQD", "IVQD: Found file", "IVQD: Found service key", "IVQD: Found VQD", "IVQD: Didn't find VQD"},
    {"Found VQD without a counter", "Found BREMCO - deleting", "Extracting VQD",
     "Found previous copy - checking versions", "Didn't find another copy - installing",
     "Found old VQD - uninstalling", "Install count is >1 - decrementing",
     "UpgadeNT: ", "Install copy is newer or overwrite switch used - updating"},
};

const Family Family2K = {
    "2K",
    "\\DRIVERS\\", {"VQD2K", "VQD2K.SYS"}, "VQD2K.DIS", false, {"VQD2KINF", "VQD2K.INF"}, {"VQD2KCAT", "VQD2K.CAT"},
    &kServiceVQD2K, "VQD2K", "VQD2k", true, true,
    {"IVQD2K", "IVQD2K: Found file", "IVQD2K: Found service key", "IVQD2K: Found VQD2K", "IVQD: Didn't find VQD2K"},
    {"Found VQD2K without counter", "Found BREMCO2K - deleting", "Extracting VQD2K",
     "Found previous version - checking versions", "Didn't find another copy - installing",
     "VQD2K installed - uninstalling", "Install count is >1 - decrementing",
     "Upgrade2K: ", "Install copy is newer - updating"},
};

const Family Family9x = {
    "9x",
    "\\IOSUBSYS\\", {"MERIDAX", "MERIDAX.VXD"}, "MERIDAX.DIS", true, {}, {},
    nullptr, nullptr, nullptr, false, false,
    {"IVQD9", "IVQD9: Found VXD", nullptr, "IVQD9: MERIDAX.VXD installed", "IVQD9: MERIDAX.VXD not installed"},
    {"Found MERIDAX without counter", "Found PLOVANT - deleting", "Extracting MERIDAX",
     "Found previous version of MERIDAX - checking versions", "Didn't find another version - installing",
     "MERIDAX installed - uninstalling", nullptr,
     "Upgrade9x: ", "Install copy is newer - updating"},
};

const Family& RunningFamily() {
  if (IsNT && !Is2K) return FamilyNT;
  if (Is2K) return Family2K;
  return Family9x;
}

std::string ActiveDriverPath(const Family& family) { return SystemDir + family.folder + family.driver.fileName; }

std::string DisabledDriverPath(const Family& family) { return SystemDir + family.folder + family.disabledName; }

std::vector<PayloadFile> CarriedFiles(const Family& family) {
  std::vector<PayloadFile> files = {family.driver};
  for (const PayloadFile& file : {family.inf, family.catalog})
    if (file.resource) files.push_back(file);
  return files;
}
