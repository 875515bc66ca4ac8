// Simulated SetupAPI device calls: CD-ROM drives listed under the CD-ROM
// device interface class, stopped and started through the class installer,
// with scripted refusals. Records and sizes are checked as a 32-bit Windows
// checks them.
#include <cstdio>
#include <cstring>

#include "platform/sim/machine.h"

using namespace sim::internal;

namespace {

constexpr uint32_t ErrorInvalidHandle = 6;
constexpr uint32_t ErrorInvalidFlags = 1004;
constexpr uint32_t ErrorNoClassInstallParams = 0xE0000215;  // ERROR_NO_CLASSINSTALL_PARAMS
// The CD-ROM setup class, which a device of the CD-ROM interface class has.
constexpr plat::Guid CdromClass = {0x4D36E965, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

bool SameGuid(const plat::Guid& a, const plat::Guid& b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

std::string GuidText(const plat::Guid& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1, g.data2, g.data3,
                g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return text;
}

std::string Hex(uint32_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", n);
  return text;
}

bool Refuse(uint32_t error) {
  M().lastError = error;
  return false;
}

// The common start of every call: SetupAPI present, no failure on demand.
bool Available(const char* function) {
  if (M().setupApiMissing) return Refuse(plat::kErrorModNotFound);
  return !Failing(function);
}

// The device a device-data record of this set names, or null (last error set).
CdromDeviceState* DeviceOf(plat::DevInfoSet set, const plat::SpDevInfoData* device, size_t* index) {
  auto it = M().deviceSets.find(set);
  if (it == M().deviceSets.end()) {
    Refuse(ErrorInvalidHandle);
    return nullptr;
  }
  if (!device || device->cbSize != 28) {
    Refuse(plat::kErrorInvalidUserBuffer);
    return nullptr;
  }
  if (device->reserved != static_cast<uintptr_t>(set) || device->devInst == 0 ||
      device->devInst > M().cdroms.size()) {
    Refuse(plat::kErrorInvalidParameter);
    return nullptr;
  }
  *index = device->devInst - 1;
  return &M().cdroms[*index];
}

std::string InstanceId(size_t index) {
  const std::string& id = M().cdroms[index].script.instanceId;
  return id.empty() ? "IDE\\CDROM\\" + std::to_string(index) : Upper(id);
}

// The device of an instance ID, or null.
CdromDeviceState* DeviceOfId(const std::string& id) {
  for (size_t i = 0; i < M().cdroms.size(); ++i)
    if (Upper(id) == InstanceId(i)) return &M().cdroms[i];
  return nullptr;
}

// The common start of a configuration manager call: its CONFIGRET.
uint32_t ConfigCall(const char* function) {
  if (M().setupApiMissing) return plat::kCrCallNotImplemented;
  return Failing(function) ? plat::kCrFailure : plat::kCrSuccess;
}

// " device=N" for the record of a call, N the index of AddCdromDevice.
std::string DeviceText(const plat::SpDevInfoData* device) {
  if (!device || device->devInst == 0) return "";
  return " device=" + std::to_string(device->devInst - 1);
}

}  // namespace

namespace sim {

void AddCdromDevice(const CdromDevice& device) {
  CdromDeviceState state;
  state.script = device;
  M().cdroms.push_back(state);
}
bool CdromDeviceRunning(size_t index) { return index < M().cdroms.size() && M().cdroms[index].running; }
uint32_t CdromDeviceProfileFlags(size_t index) {
  return index < M().cdroms.size() ? M().cdroms[index].profileFlags : 0;
}
void RemoveSetupApi() { M().setupApiMissing = true; }
void RemoveSetupUninstallOEMInf() { M().oemInfUninstallMissing = true; }
void StoreInfDuringNextCopy(const std::string& text) { M().infArriving = text; }
const std::vector<std::string>& DeviceCalls() { return M().deviceCalls; }
size_t OpenDeviceSets() { return M().deviceSets.size(); }

}  // namespace sim

namespace sim::internal {
void RecordDeviceCall(const std::string& line) { M().deviceCalls.push_back(line); }
}  // namespace sim::internal

namespace plat {

DevInfoSet SetupDiGetClassDevsA(const Guid* classGuid, uint32_t flags) {
  RecordDeviceCall("SetupDiGetClassDevsA " + (classGuid ? GuidText(*classGuid) : "NULL") + " flags=" + Hex(flags));
  if (!Available("SetupDiGetClassDevsA")) return kInvalidDevInfoSet;
  // Without DIGCF_ALLCLASSES a class is needed.
  if (!classGuid) {
    Refuse(kErrorInvalidParameter);
    return kInvalidDevInfoSet;
  }
  std::vector<size_t> devices;
  if ((flags & kDigcfDeviceInterface) && SameGuid(*classGuid, kGuidDevInterfaceCdrom)) {
    for (size_t i = 0; i < M().cdroms.size(); ++i)
      if (M().cdroms[i].script.present || !(flags & kDigcfPresent)) devices.push_back(i);
  }
  DevInfoSet set = M().nextHandle++;
  M().deviceSets[set] = devices;
  return set;
}

bool SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  RecordDeviceCall("SetupDiDestroyDeviceInfoList");
  if (!Available("SetupDiDestroyDeviceInfoList")) return false;
  if (M().deviceSets.erase(set) == 0) return Refuse(ErrorInvalidHandle);
  return true;
}

bool SetupDiEnumDeviceInfo(DevInfoSet set, uint32_t index, SpDevInfoData* device) {
  if (!Available("SetupDiEnumDeviceInfo")) return false;
  auto it = M().deviceSets.find(set);
  if (it == M().deviceSets.end()) return Refuse(ErrorInvalidHandle);
  if (!device || device->cbSize != 28) return Refuse(kErrorInvalidUserBuffer);
  if (index >= it->second.size()) return Refuse(kErrorNoMoreItems);
  device->classGuid = CdromClass;
  device->devInst = static_cast<uint32_t>(it->second[index] + 1);
  device->reserved = static_cast<uintptr_t>(set);
  return true;
}

bool SetupDiGetDeviceRegistryPropertyA(DevInfoSet set, const SpDevInfoData* device, uint32_t property,
                                       uint32_t* dataType, uint8_t* buffer, uint32_t bufferSize,
                                       uint32_t* requiredSize) {
  if (!Available("SetupDiGetDeviceRegistryPropertyA")) return false;
  size_t index = 0;
  CdromDeviceState* d = DeviceOf(set, device, &index);
  if (!d) return false;
  const sim::CdromDevice& script = d->script;
  std::string data;
  uint32_t type = kRegNone;
  if (property == kSpdrpPhysicalDeviceObjectName && !script.objectName.empty()) {
    data = script.objectName + '\0';
    type = kRegSz;
  } else if (property == kSpdrpPhysicalDeviceObjectName && script.objectNameQuiet) {
    return false;  // nothing written, the last error as it was
  } else if (property == kSpdrpFriendlyName && script.friendlyNameType != kRegNone) {
    data = script.friendlyName + '\0';
    if (script.friendlyNameType == kRegMultiSz) data += '\0';
    type = script.friendlyNameType;
  } else {
    return Refuse(kErrorInvalidData);
  }
  if (dataType) *dataType = type;
  if (requiredSize) *requiredSize = static_cast<uint32_t>(data.size());
  if (!buffer && bufferSize != 0) return Refuse(kErrorInvalidUserBuffer);
  if (!buffer || bufferSize < data.size()) return Refuse(kErrorInsufficientBuffer);
  std::memcpy(buffer, data.data(), data.size());
  return true;  // the last error stays as it was
}

bool SetupDiSetClassInstallParamsA(DevInfoSet set, SpDevInfoData* device, const SpPropChangeParams* params,
                                   uint32_t paramsSize) {
  size_t index = 0;
  std::string line = "SetupDiSetClassInstallParamsA" + DeviceText(device);
  if (params)
    line += " size=" + std::to_string(paramsSize) + " header=" + std::to_string(params->cbSize) +
            " function=" + Hex(params->installFunction) + " state=" + std::to_string(params->stateChange) +
            " scope=" + std::to_string(params->scope) + " profile=" + std::to_string(params->hwProfile);
  RecordDeviceCall(line);
  if (!Available("SetupDiSetClassInstallParamsA")) return false;
  CdromDeviceState* d = DeviceOf(set, device, &index);
  if (!d) return false;
  if (!params) {  // clears them
    d->paramsSet = false;
    return true;
  }
  if (params->cbSize != 8) return Refuse(kErrorInvalidUserBuffer);
  if (params->installFunction != kDifPropertyChange || paramsSize != 20) return Refuse(kErrorInvalidParameter);
  if (params->stateChange < 1 || params->stateChange > 5 || params->scope < 1 || params->scope > 4 ||
      params->scope == 3)
    return Refuse(ErrorInvalidFlags);
  const sim::CdromDevice& script = d->script;
  if ((script.failsAt == sim::DeviceStep::SetParamsStop && params->stateChange == kDicsStop) ||
      (script.failsAt == sim::DeviceStep::SetParamsStart && params->stateChange == kDicsStart))
    return Refuse(script.error);
  d->params = *params;
  d->paramsSet = true;
  return true;
}

bool SetupDiCallClassInstaller(uint32_t installFunction, DevInfoSet set, SpDevInfoData* device) {
  size_t index = 0;
  RecordDeviceCall("SetupDiCallClassInstaller" + DeviceText(device) + " function=" + Hex(installFunction));
  if (!Available("SetupDiCallClassInstaller")) return false;
  CdromDeviceState* d = DeviceOf(set, device, &index);
  if (!d) return false;
  if (installFunction != kDifPropertyChange) return Refuse(kErrorInvalidParameter);
  if (!d->paramsSet || d->params.installFunction != installFunction) return Refuse(ErrorNoClassInstallParams);
  const sim::CdromDevice& script = d->script;
  bool stop = d->params.stateChange == kDicsStop, start = d->params.stateChange == kDicsStart;
  if ((stop && script.failsAt == sim::DeviceStep::Stop) || (start && script.failsAt == sim::DeviceStep::Start))
    return Refuse(script.error);
  // A change for the current profile only is kept there for the next start
  // of Windows; a global one leaves the profile's flags alone.
  const bool thisProfile = d->params.scope == kDicsFlagConfigSpecific && d->params.hwProfile == 0;
  if (stop) {
    d->running = false;
    if (thisProfile) d->profileFlags |= kCsConfigFlagDoNotStart;
  }
  if (start) {
    d->running = true;
    if (thisProfile) d->profileFlags &= ~kCsConfigFlagDoNotStart;
    d->installFlags |= script.flagsAfterStart;
  }
  return true;
}

bool SetupDiGetDeviceInstallParamsA(DevInfoSet set, SpDevInfoData* device, SpDevInstallParams* params) {
  size_t index = 0;
  std::string line = "SetupDiGetDeviceInstallParamsA" + DeviceText(device);
  if (params) line += " size=" + std::to_string(params->cbSize);
  RecordDeviceCall(line);
  if (!Available("SetupDiGetDeviceInstallParamsA")) return false;
  CdromDeviceState* d = DeviceOf(set, device, &index);
  if (!d) return false;
  if (!params || params->cbSize != 296) return Refuse(kErrorInvalidUserBuffer);
  if (d->script.failsAt == sim::DeviceStep::GetInstallParams) return Refuse(d->script.error);
  params->flags = d->installFlags;
  params->flagsEx = 0;
  return true;
}

bool SetupDiGetDeviceInstanceIdA(DevInfoSet set, const SpDevInfoData* device, char* buffer, uint32_t bufferSize,
                                 uint32_t* requiredSize) {
  RecordDeviceCall("SetupDiGetDeviceInstanceIdA" + DeviceText(device));
  if (!Available("SetupDiGetDeviceInstanceIdA")) return false;
  size_t index = 0;
  if (!DeviceOf(set, device, &index)) return false;
  std::string id = InstanceId(index);
  if (requiredSize) *requiredSize = static_cast<uint32_t>(id.size() + 1);
  if (!buffer || bufferSize < id.size() + 1) return Refuse(kErrorInsufficientBuffer);
  std::memcpy(buffer, id.c_str(), id.size() + 1);
  return true;
}

uint32_t CM_Get_HW_Prof_FlagsA(const std::string& deviceInstanceId, uint32_t hardwareProfile, uint32_t* value,
                               uint32_t flags) {
  RecordDeviceCall("CM_Get_HW_Prof_FlagsA " + deviceInstanceId + " profile=" + std::to_string(hardwareProfile));
  if (uint32_t cr = ConfigCall("CM_Get_HW_Prof_FlagsA")) return cr;
  if (!value) return 0x03;     // CR_INVALID_POINTER
  if (flags != 0) return 0x04;  // CR_INVALID_FLAG
  CdromDeviceState* d = DeviceOfId(deviceInstanceId);
  if (!d) return kCrNoSuchDevinst;
  // Only the current profile is simulated; another one holds no flags.
  *value = hardwareProfile == 0 ? d->profileFlags : 0;
  return kCrSuccess;
}

uint32_t CM_Set_HW_Prof_FlagsA(const std::string& deviceInstanceId, uint32_t config, uint32_t value,
                               uint32_t flags) {
  RecordDeviceCall("CM_Set_HW_Prof_FlagsA " + deviceInstanceId + " profile=" + std::to_string(config) +
                   " value=" + Hex(value));
  if (uint32_t cr = ConfigCall("CM_Set_HW_Prof_FlagsA")) return cr;
  if (flags != 0) return 0x04;  // CR_INVALID_FLAG
  CdromDeviceState* d = DeviceOfId(deviceInstanceId);
  if (!d) return kCrNoSuchDevinst;
  if (config == 0) d->profileFlags = value;
  return kCrSuccess;
}

}  // namespace plat
