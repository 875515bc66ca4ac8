#include "vqdlib/service.h"

#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/family.h"
#include "vqdlib/numtext.h"
#include "vqdlib/registry.h"
#include "vqdlib/system.h"

namespace {

const char* const kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

void SetString(plat::RegKey key, const char* name, const std::string& value) {
  plat::RegSetValueExA(key, name, plat::kRegSz, reinterpret_cast<const uint8_t*>(value.c_str()),
                       static_cast<uint32_t>(value.size() + 1));
}

void SetDword(plat::RegKey key, const char* name, uint32_t value) {
  uint8_t data[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                     static_cast<uint8_t>(value >> 24)};
  plat::RegSetValueExA(key, name, plat::kRegDword, data, 4);
}

bool ServiceKeyOpens(const char* path) {
  plat::RegKey key = 0;
  if (plat::RegOpenKeyExA(plat::kHKeyLocalMachine, path, plat::kKeyRead, &key) != 0) return false;
  plat::RegCloseKey(key);
  return true;
}

}  // namespace

bool RegCreateService(const Family& family, bool create) {
  const ServiceKey& service = *family.service;
  const std::string prefix = service.logName;
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

bool RegCreateVQD(bool create) { return RegCreateService(FamilyNT, create); }
bool RegCreateVQD2K(bool create) { return RegCreateService(Family2K, create); }

bool ServiceKeyPresent(const Family& family) { return family.service && ServiceKeyOpens(family.service->path); }

// The counted file is the active driver of the running family; its value
// name is the file's full path.
uint32_t GetInstallCount() {
  DebugLog("GIC");
  uint32_t count = 0;
  plat::RegKey key = 0;
  if (SystemDir.empty() || plat::RegOpenKeyA(plat::kHKeyLocalMachine, kSharedDlls, &key) != 0) {
    DebugLog("GIC: Couldn't open SharedDLLs - creating");
    if (plat::RegCreateKeyA(plat::kHKeyLocalMachine, kSharedDlls, &key) == 0) plat::RegCloseKey(key);
  } else {
    DebugLog("GIC: Opened SharedDLLs");
    const Family& family = RunningFamily();
    DebugLog(std::string("GIC: Getting ") + family.driver.fileName + " count");
    // Up to four bytes, little-endian; a longer value counts as missing.
    uint8_t data[4] = {0, 0, 0, 0};
    uint32_t type = 0, size = sizeof data;
    if (plat::RegQueryValueExA(key, ActiveDriverPath(family), &type, data, &size) == 0)
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
  const Family& family = RunningFamily();
  const std::string value = ActiveDriverPath(family);
  if (count != 0) {
    DebugLog("SIC: Changing value to " + DecimalText(count));
    DebugLog(std::string("SIC: Changing value of ") + family.driver.fileName);
    SetDword(key, value.c_str(), count);
  } else {
    DebugLog(std::string("SIC: Deleting ") + family.driver.fileName + " value (0)");
    plat::RegDeleteValueA(key, value);
  }
  plat::RegCloseKey(key);
}

bool IsDriverInstalled(const Family& family) {
  const ProbeLines& lines = family.probeLines;
  DebugLog(lines.start);
  bool result = false;
  if (!SystemDir.empty() && FileFound(ActiveDriverPath(family))) {
    DebugLog(lines.foundFile);
    if (!family.service) {
      result = true;
    } else if (ServiceKeyOpens(family.service->path)) {
      DebugLog(lines.foundKey);
      // Windows 2000: only a driver the CD-ROM class filter list loads.
      result = !family.filter || CheckLowerFilter(family.filter);
    }
  }
  DebugLog(result ? lines.installed : lines.notInstalled);
  return result;
}

bool IsVQDInstalled() { return IsDriverInstalled(FamilyNT); }
bool IsVQD2KInstalled() { return IsDriverInstalled(Family2K); }
bool IsVQD9Installed() { return IsDriverInstalled(Family9x); }
bool IsDriverInstalled() { return IsDriverInstalled(RunningFamily()); }

bool IsDriverRegistered() {
  const Family& family = RunningFamily();
  if (!family.service) return !SystemDir.empty() && FileFound(ActiveDriverPath(family));
  return ServiceKeyOpens(family.service->path) || (family.filter && LowerFilterListed(family.filter));
}
