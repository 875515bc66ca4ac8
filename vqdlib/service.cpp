#include "vqdlib/service.h"

#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/numtext.h"
#include "vqdlib/registry.h"
#include "vqdlib/system.h"

namespace {

const char* const kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

struct ServiceKey {
  const char* prefix;       // log prefix
  const char* path;         // under HKEY_LOCAL_MACHINE
  const char* displayName;  // with its terminating zero stored
  uint32_t start;
  const char* removed;
  const char* removeFailed;
};

const ServiceKey kVQD = {"RegCreateVQD", "SYSTEM\\CurrentControlSet\\Services\\VQD", "VQD", 0,
                         "RegCreateVQD: Removed", "RegCreateVQD: Remove Failed"};
const ServiceKey kVQD2K = {"RegCreateVQD2K", "SYSTEM\\CurrentControlSet\\Services\\VQD2K", "VQD2k", 1,
                           "RegCreateVQD2K: Removed", "RegCreateVQD2K: Removed failed"};

void SetString(plat::RegKey key, const char* name, const std::string& value) {
  plat::RegSetValueExA(key, name, plat::kRegSz, reinterpret_cast<const uint8_t*>(value.c_str()),
                       static_cast<uint32_t>(value.size() + 1));
}

void SetDword(plat::RegKey key, const char* name, uint32_t value) {
  uint8_t data[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                     static_cast<uint8_t>(value >> 24)};
  plat::RegSetValueExA(key, name, plat::kRegDword, data, 4);
}

bool CreateServiceKey(const ServiceKey& service, bool create) {
  const std::string prefix = service.prefix;
  DebugLog(prefix);
  if (!create) {
    DebugLog(prefix + ": Removing");
    bool removed = DeleteKey(service.path);
    DebugLog(removed ? service.removed : service.removeFailed);
    return removed;
  }
  DebugLog(prefix + ": Creating");
  plat::RegKey key = 0;
  if (plat::RegCreateKeyA(plat::kHKeyLocalMachine, service.path, &key) != 0) return false;
  DebugLog(prefix + ": Created key");
  SetString(key, "DisplayName", service.displayName);
  SetDword(key, "Type", 1);
  SetDword(key, "Start", service.start);
  SetString(key, "Group", "SCSI CDROM Class");
  SetDword(key, "Tag", 1);
  SetDword(key, "ErrorControl", 1);
  SetDword(key, "DriverMainControl", 0);
  plat::RegCloseKey(key);
  DebugLog(prefix + ": Created values");
  return true;
}

// The driver file of the running family and its name for the log.
std::string CountedFile(const char** fileName) {
  if (IsNT && !Is2K) {
    *fileName = "VQD.SYS";
    return SystemDir + "\\DRIVERS\\VQD.SYS";
  }
  if (Is2K) {
    *fileName = "VQD2K.SYS";
    return SystemDir + "\\DRIVERS\\VQD2K.SYS";
  }
  *fileName = "MERIDAX.VXD";
  return SystemDir + "\\IOSUBSYS\\MERIDAX.VXD";
}

bool ServiceKeyOpens(const char* path) {
  plat::RegKey key = 0;
  if (plat::RegOpenKeyExA(plat::kHKeyLocalMachine, path, plat::kKeyRead, &key) != 0) return false;
  plat::RegCloseKey(key);
  return true;
}

}  // namespace

bool RegCreateVQD(bool create) { return CreateServiceKey(kVQD, create); }
bool RegCreateVQD2K(bool create) { return CreateServiceKey(kVQD2K, create); }
bool VQDKeyPresent() { return ServiceKeyOpens(kVQD.path); }
bool VQD2KKeyPresent() { return ServiceKeyOpens(kVQD2K.path); }

uint32_t GetInstallCount() {
  DebugLog("GIC");
  uint32_t count = 0;
  plat::RegKey key = 0;
  if (SystemDir.empty() || plat::RegOpenKeyA(plat::kHKeyLocalMachine, kSharedDlls, &key) != 0) {
    DebugLog("GIC: Couldn't open SharedDLLs - creating");
    if (plat::RegCreateKeyA(plat::kHKeyLocalMachine, kSharedDlls, &key) == 0) plat::RegCloseKey(key);
  } else {
    DebugLog("GIC: Opened SharedDLLs");
    const char* fileName = nullptr;
    std::string value = CountedFile(&fileName);
    DebugLog(std::string("GIC: Getting ") + fileName + " count");
    // Up to four bytes, little-endian; a longer value counts as missing.
    uint8_t data[4] = {0, 0, 0, 0};
    uint32_t type = 0, size = sizeof data;
    if (plat::RegQueryValueExA(key, value, &type, data, &size) == 0)
      count = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    plat::RegCloseKey(key);
  }
  DebugLog("GIC: Install count=" + DecimalText(count));
  return count;
}

void SetInstallCount(uint32_t count) {
  DebugLog("SIC");
  plat::RegKey key = 0;
  if (SystemDir.empty() || plat::RegOpenKeyA(plat::kHKeyLocalMachine, kSharedDlls, &key) != 0) return;
  DebugLog("SIC: OpenKey SharedDLLs");
  const char* fileName = nullptr;
  std::string value = CountedFile(&fileName);
  if (count != 0) {
    DebugLog("SIC: Changing value to " + DecimalText(count));
    DebugLog(std::string("SIC: Changing value of ") + fileName);
    SetDword(key, value.c_str(), count);
  } else {
    DebugLog(std::string("SIC: Deleting ") + fileName + " value (0)");
    plat::RegDeleteValueA(key, value);
  }
  plat::RegCloseKey(key);
}

bool IsVQDInstalled() {
  DebugLog("IVQD");
  bool result = false;
  if (!SystemDir.empty() && FileFound(SystemDir + "\\DRIVERS\\VQD.SYS")) {
    DebugLog("IVQD: Found file");
    if (ServiceKeyOpens(kVQD.path)) {
      DebugLog("IVQD: Found service key");
      result = true;
    }
  }
  DebugLog(result ? "IVQD: Found VQD" : "IVQD: Didn't find VQD");
  return result;
}

bool IsVQD2KInstalled() {
  DebugLog("IVQD2K");
  bool result = false;
  if (!SystemDir.empty() && FileFound(SystemDir + "\\DRIVERS\\VQD2K.SYS")) {
    DebugLog("IVQD2K: Found file");
    if (ServiceKeyOpens(kVQD2K.path)) {
      DebugLog("IVQD2K: Found service key");
      result = CheckLowerFilter("VQD2K");
    }
  }
  DebugLog(result ? "IVQD2K: Found VQD2K" : "IVQD: Didn't find VQD2K");
  return result;
}

bool IsVQD9Installed() {
  DebugLog("IVQD9");
  bool result = false;
  if (!SystemDir.empty() && FileFound(SystemDir + "\\IOSUBSYS\\MERIDAX.VXD")) {
    DebugLog("IVQD9: Found VXD");
    result = true;
  }
  DebugLog(result ? "IVQD9: MERIDAX.VXD installed" : "IVQD9: MERIDAX.VXD not installed");
  return result;
}

bool IsDriverInstalled() {
  if (IsNT && !Is2K) return IsVQDInstalled();
  if (Is2K) return IsVQD2KInstalled();
  return IsVQD9Installed();
}

bool IsDriverRegistered() {
  if (!IsNT) return !SystemDir.empty() && FileFound(SystemDir + "\\IOSUBSYS\\MERIDAX.VXD");
  if (!Is2K) return ServiceKeyOpens(kVQD.path);
  return ServiceKeyOpens(kVQD2K.path) || LowerFilterListed("VQD2K");
}
