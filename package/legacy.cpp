#include "package/legacy.h"

#include <string>

#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/family.h"
#include "vqdlib/registry.h"
#include "vqdlib/system.h"

namespace {

struct Probe {
  const char* start;
  const char* file;  // below the system directory
  const char* foundFile;
  const char* serviceKey;  // null: the file alone decides
  const char* foundKey;
  const char* installed;
  const char* notInstalled;
};

bool RunProbe(const Probe& probe) {
  DebugLog(probe.start);
  bool result = false;
  if (!SystemDir.empty() && FileFound(SystemDir + probe.file)) {
    DebugLog(probe.foundFile);
    plat::RegKey key = 0;
    if (!probe.serviceKey) {
      result = true;
    } else if (plat::RegOpenKeyA(plat::kHKeyLocalMachine, probe.serviceKey, &key) == 0) {
      DebugLog(probe.foundKey);
      result = true;
      plat::RegCloseKey(key);
    }
  }
  DebugLog(result ? probe.installed : probe.notInstalled);
  return result;
}

}  // namespace

bool IsBremcoInstalled() {
  return RunProbe({"IBRM", "\\DRIVERS\\BREMCO.SYS", "IBRM: Found BREMCO.SYS", "SYSTEM\\CurrentControlSet\\Services\\BREMCO",
                   "IBRM: Found service key", "IBRM: BREMCO installed", "IBRM: BREMCO not installed"});
}

bool IsBremco2KInstalled() {
  return RunProbe({"IBRM2K", "\\DRIVERS\\BREMCO2K.SYS", "IBRM2K: BREMCO2K.SYS found",
                   "SYSTEM\\CurrentControlSet\\Services\\BREMCO2K", "IBRM2K: Found service key",
                   "IBRM: BREMCO2K installed", "IBRM: BREMCO2K not installed"});
}

bool IsPlovantInstalled() {
  return RunProbe({"IPLV", "\\IOSUBSYS\\PLOVANT.VXD", "IPLV: PLOVANT.VXD Found", nullptr, nullptr,
                   "IPLV: PLOVANT.VXD installed", "IPLV: PLOVANT.VXD not installed"});
}

bool RemoveBremco() {
  DebugLog("DBRM");
  bool result = false;
  if (IsNT && !Is2K) {
    DebugLog("DBRM: Is NT");
    if (DeleteKey("SYSTEM\\CurrentControlSet\\Services\\BREMCO")) {
      result = true;
      DebugLog("DBRM: Removed service");
      if (plat::DeleteFileA(GetSystemDir() + "\\DRIVERS\\BREMCO.SYS")) DebugLog("DBRM: Deleted SYS");
    }
  }
  return result;
}

bool RemoveBremco2K() {
  DebugLog("DBRM2K");
  bool result = false;
  if (Is2K) {
    DebugLog("DBRM2K: Is 2K");
    if (RemoveLowerFilter("BREMCO2k")) {
      result = true;
      DebugLog("DBRM2K: Removed LowerFilter");
      if (DeleteKey("SYSTEM\\CurrentControlSet\\Services\\BREMCO2k")) {
        DebugLog("DBRM2K: Removed service");
        if (plat::DeleteFileA(GetSystemDir() + "\\DRIVERS\\BREMCO2K.SYS")) DebugLog("DBRM2K: Deleted SYS");
      }
    }
  }
  return result;
}

bool RemovePlovant() {
  DebugLog("DPLV");
  bool result = false;
  if (!IsNT) {
    DebugLog("DPLV: Not NT/2K");
    if (plat::DeleteFileA(GetSystemDir() + "\\IOSUBSYS\\PLOVANT.VXD")) {
      result = true;
      DebugLog("DPLV: Deleted VXD");
    }
  }
  return result;
}

bool ClearExcludeMiniports() {
  DebugLog("REMP");
  bool result = false;
  plat::RegKey key = 0;
  if (plat::RegCreateKeyExA(plat::kHKeyLocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Aspi32\\Parameters",
                            plat::kKeyAllAccess, &key) == 0) {
    DebugLog("REMP: Opened key");
    const uint8_t empty[1] = {0};
    result = plat::RegSetValueExA(key, "ExcludeMiniports", plat::kRegSz, empty, 1) == 0;
    plat::RegCloseKey(key);
  }
  DebugLog(result ? "REMP: Success" : "REMP: Failure");
  return result;
}

namespace {

// The legacy driver of each family.
struct LegacyDriver {
  const Family& family;
  bool (*isInstalled)();
  bool (*remove)();
};

const LegacyDriver kLegacyDrivers[] = {
    {FamilyNT, IsBremcoInstalled, RemoveBremco},
    {Family2K, IsBremco2KInstalled, RemoveBremco2K},
    {Family9x, IsPlovantInstalled, RemovePlovant},
};

const LegacyDriver& LegacyDriverOf(const Family& family) {
  for (const LegacyDriver& legacy : kLegacyDrivers)
    if (&legacy.family == &family) return legacy;
  return kLegacyDrivers[2];  // there are no other families
}

}  // namespace

bool IsLegacyInstalled(const Family& family) { return LegacyDriverOf(family).isInstalled(); }

bool RemoveLegacy(const Family& family) { return LegacyDriverOf(family).remove(); }
