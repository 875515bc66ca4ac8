#include "vqdlib/restart.h"

#include <new>

#include "vqdlib/debuglog.h"
#include "vqdlib/numtext.h"

namespace {

// No device property the restart reads comes near this; a larger size is
// taken for garbage rather than allocated.
constexpr uint32_t MaxPropertySize = 64 * 1024;

std::string ErrorText() { return DecimalText(plat::GetLastError()); }

// The text of a property buffer up to its first zero byte.
std::string TextOf(const std::vector<uint8_t>& buffer) {
  std::string text(buffer.begin(), buffer.end());
  return text.substr(0, text.find('\0'));
}

// Sets the property-change parameters for one state change on the device.
bool SetStateChange(plat::DevInfoSet set, plat::SpDevInfoData* device, uint32_t stateChange) {
  plat::SpPropChangeParams params;
  params.cbSize = 8;  // the class install header only
  params.installFunction = plat::kDifPropertyChange;
  params.stateChange = stateChange;
  params.scope = plat::kDicsFlagConfigSpecific;
  params.hwProfile = 0;  // the current hardware profile
  return plat::SetupDiSetClassInstallParamsA(set, device, &params, 20);
}

std::string GetDeviceInstanceId(plat::DevInfoSet set, plat::SpDevInfoData* device) {
  char id[201] = {};  // MAX_DEVICE_ID_LEN and the terminator
  if (!plat::SetupDiGetDeviceInstanceIdA(set, device, id, sizeof id, nullptr)) return "";
  id[sizeof id - 1] = 0;
  return id;
}

// The stop was for the current hardware profile, which keeps the device
// from starting at the next start of Windows until a start clears that
// again. A device whose start failed would stay off after the reboot that is
// to fix it: its flag goes here.
void ClearDoNotStart(plat::DevInfoSet set, plat::SpDevInfoData* device, const std::string& name) {
  std::string id = GetDeviceInstanceId(set, device);
  uint32_t flags = 0;
  uint32_t result = id.empty() ? plat::kCrNoSuchDevinst : plat::CM_Get_HW_Prof_FlagsA(id, 0, &flags, 0);
  if (result == plat::kCrSuccess && !(flags & plat::kCsConfigFlagDoNotStart)) return;
  if (result == plat::kCrSuccess) result = plat::CM_Set_HW_Prof_FlagsA(id, 0, flags & ~plat::kCsConfigFlagDoNotStart, 0);
  DebugLog(result == plat::kCrSuccess ? "RD: Cleared CSCONFIGFLAG_DO_NOT_START: " + name
                                      : "RD: Couldn't clear CSCONFIGFLAG_DO_NOT_START: " + DecimalText(result));
}

uint32_t RestartThreadProc(void* parameter) {
  bool& DeviceFailed = *static_cast<bool*>(parameter);
  return RestartEachCdromDevice(DeviceFailed) ? 1 : 0;
}

}  // namespace

std::vector<uint8_t> GetDeviceProperty(plat::DevInfoSet set, plat::SpDevInfoData* device, uint32_t property,
                                       uint32_t* dataType) {
  // The size query may fail without writing the size or setting the last
  // error (a property the device does not have), so the last error can be
  // the stale ERROR_INSUFFICIENT_BUFFER of an earlier call: only a size the
  // query really reported is used.
  uint32_t scratchType = 0, size = 0;
  if (plat::SetupDiGetDeviceRegistryPropertyA(set, device, property, &scratchType, nullptr, 0, &size) ||
      plat::GetLastError() != plat::kErrorInsufficientBuffer || size == 0 || size > MaxPropertySize)
    return {};
  std::vector<uint8_t> buffer;
  try {
    buffer.assign(size, 0);
  } catch (const std::bad_alloc&) {
    return {};
  }
  if (!plat::SetupDiGetDeviceRegistryPropertyA(set, device, property, dataType, buffer.data(), size, nullptr))
    return {};
  return buffer;
}

std::string GetDeviceObjectName(plat::DevInfoSet set, plat::SpDevInfoData* device) {
  uint32_t type = plat::kRegNone;
  std::vector<uint8_t> buffer = GetDeviceProperty(set, device, plat::kSpdrpPhysicalDeviceObjectName, &type);
  if (buffer.empty() || type != plat::kRegSz) return "";
  return TextOf(buffer);
}

std::string GetDeviceFriendlyName(plat::DevInfoSet set, plat::SpDevInfoData* device) {
  uint32_t type = plat::kRegNone;
  std::vector<uint8_t> buffer = GetDeviceProperty(set, device, plat::kSpdrpFriendlyName, &type);
  if (buffer.empty() || (type != plat::kRegSz && type != plat::kRegMultiSz)) return "";
  return TextOf(buffer);  // of a multi-string, its first string
}

bool RestartDevice(plat::DevInfoSet set, plat::SpDevInfoData* device) {
  std::string name = GetDeviceObjectName(set, device);
  if (name.empty()) DebugLog("RD: Error getting device name for restart");
  std::string friendly = GetDeviceFriendlyName(set, device);
  DebugLog("RD: Restarting device: " + name);
  DebugLog("RD: Friendly name: " + friendly);

  if (!SetStateChange(set, device, plat::kDicsStop)) {
    DebugLog("RD: Couldn't set the install parameters 1: " + ErrorText());
    return false;
  }
  if (!plat::SetupDiCallClassInstaller(plat::kDifPropertyChange, set, device)) {
    DebugLog("RD: Class installer STOP failed: " + ErrorText());
    return false;
  }
  if (!SetStateChange(set, device, plat::kDicsStart)) {
    DebugLog("RD: Couldn't set the install parameters 2: " + ErrorText());
    ClearDoNotStart(set, device, name);
    return false;
  }
  if (!plat::SetupDiCallClassInstaller(plat::kDifPropertyChange, set, device)) {
    DebugLog("RD: Class installer START failed: " + ErrorText());
    ClearDoNotStart(set, device, name);
    return false;
  }
  plat::SpDevInstallParams params;
  params.cbSize = 296;
  if (!plat::SetupDiGetDeviceInstallParamsA(set, device, &params)) {
    DebugLog("RD: Couldn't get the install parameters: " + ErrorText());
    return false;
  }
  // A device that asks for its own restart after the start has not taken
  // the change either; it is a failure just like one that asks for a reboot.
  if (params.flags & (plat::kDiNeedReboot | plat::kDiNeedRestart)) {
    DebugLog("RD: Check DI_NEEDREBOOT 4 - Device needs reboot: " + name);
    return false;
  }
  DebugLog("RD: Success restarting device: " + name);
  return true;
}

bool RestartEachCdromDevice(bool& DeviceFailed) {
  DeviceFailed = false;
  plat::DevInfoSet set = plat::SetupDiGetClassDevsA(
      &plat::kGuidDevInterfaceCdrom, plat::kDigcfPresent | plat::kDigcfProfile | plat::kDigcfDeviceInterface);
  if (set == plat::kInvalidDevInfoSet) return false;
  plat::SpDevInfoData device;
  device.cbSize = 28;
  for (uint32_t index = 0; plat::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    if (!RestartDevice(set, &device)) DeviceFailed = true;
    plat::Sleep(1000);
  }
  plat::SetupDiDestroyDeviceInfoList(set);
  return true;
}

uint32_t RestartOnWorkerThread(bool& DeviceFailed) {
  plat::ThreadHandle thread = plat::CreateThread(RestartThreadProc, &DeviceFailed);
  // Without a worker the restart still has to happen: on this thread, with
  // the windows unresponsive meanwhile.
  if (thread == 0) return RestartEachCdromDevice(DeviceFailed) ? 1 : 0;
  while (plat::WaitForSingleObject(thread, 100) == plat::kWaitTimeout) plat::DispatchPendingMessages();
  // A wait that failed for any other reason must not leave the worker
  // writing DeviceFailed after this returns.
  plat::WaitForSingleObject(thread, plat::kInfinite);
  uint32_t exitCode = 0;
  if (!plat::GetExitCodeThread(thread, &exitCode) || exitCode != 1) exitCode = 0;
  plat::CloseThreadHandle(thread);
  return exitCode;
}

bool RestartCdromDevices(bool& DeviceFailed, bool onWorker) {
  if (onWorker) return RestartOnWorkerThread(DeviceFailed) == 1;
  return RestartEachCdromDevice(DeviceFailed);
}
