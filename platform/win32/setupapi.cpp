// SetupAPI on the real system, loaded at run time. Windows 95 and NT 4 may
// have no setupapi.dll or an older one without the device functions, and the
// program must still start there, so nothing of it is imported. It is loaded
// from the system directory by its full path: a setupapi.dll lying beside
// vqdinst.exe (in a download folder, say) is never the one loaded.
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>

#include <cstring>

#include "platform/direct.h"
#include "platform/platform.h"
#include "platform/win32/sysdll.h"

static_assert(sizeof(plat::Guid) == sizeof(GUID), "GUID layout");
static_assert(sizeof(SP_PROPCHANGE_PARAMS) == 20, "SP_PROPCHANGE_PARAMS of a 32-bit program");
static_assert(sizeof(SP_DEVINSTALL_PARAMS_A) == 296, "SP_DEVINSTALL_PARAMS_A of a 32-bit program");
static_assert(sizeof(SP_DEVINFO_DATA) == 28, "SP_DEVINFO_DATA of a 32-bit program");

namespace {

struct SetupApi {
  DWORD loadError = 0;  // why the library could not be loaded; 0 when it was
  decltype(&::SetupDiGetClassDevsA) getClassDevs = nullptr;
  decltype(&::SetupDiEnumDeviceInfo) enumDeviceInfo = nullptr;
  decltype(&::SetupDiGetDeviceRegistryPropertyA) getDeviceRegistryProperty = nullptr;
  decltype(&::SetupDiSetClassInstallParamsA) setClassInstallParams = nullptr;
  decltype(&::SetupDiCallClassInstaller) callClassInstaller = nullptr;
  decltype(&::SetupDiGetDeviceInstallParamsA) getDeviceInstallParams = nullptr;
  decltype(&::SetupDiDestroyDeviceInfoList) destroyDeviceInfoList = nullptr;
  decltype(&::SetupCopyOEMInfA) copyOEMInf = nullptr;
  // Windows XP and later.
  BOOL(WINAPI* uninstallOEMInf)(PCSTR, DWORD, PVOID) = nullptr;
  decltype(&::SetupDiGetDeviceInstanceIdA) getDeviceInstanceId = nullptr;
  decltype(&::CM_Get_HW_Prof_FlagsA) getHwProfFlags = nullptr;
  decltype(&::CM_Set_HW_Prof_FlagsA) setHwProfFlags = nullptr;

  // Every function the device restart needs is there.
  bool HasDeviceFunctions() const {
    return getClassDevs && enumDeviceInfo && getDeviceRegistryProperty && setClassInstallParams &&
           callClassInstaller && getDeviceInstallParams && destroyDeviceInfoList;
  }
};

using plat::win32::Resolve;

SetupApi Load() {
  SetupApi api;
  // SetupAPI loads these two later by bare name for its catalog work, with
  // a search that takes the program's folder first where
  // SetDefaultDllDirectories is missing (XP; Vista and 7 without the update
  // that added it). A module already loaded is used by its name first: so
  // they are loaded here, from the system directory, and stay. Missing ones
  // (Windows 9x, NT 4.0) are SetupAPI's concern.
  plat::win32::LoadSystemLibrary("crypt32.dll");
  plat::win32::LoadSystemLibrary("wintrust.dll");
  HMODULE module = plat::win32::LoadSystemLibrary("setupapi.dll");
  if (!module) {
    api.loadError = ::GetLastError();
    return api;
  }
  Resolve(module, "SetupDiGetClassDevsA", &api.getClassDevs);
  Resolve(module, "SetupDiEnumDeviceInfo", &api.enumDeviceInfo);
  Resolve(module, "SetupDiGetDeviceRegistryPropertyA", &api.getDeviceRegistryProperty);
  Resolve(module, "SetupDiSetClassInstallParamsA", &api.setClassInstallParams);
  Resolve(module, "SetupDiCallClassInstaller", &api.callClassInstaller);
  Resolve(module, "SetupDiGetDeviceInstallParamsA", &api.getDeviceInstallParams);
  Resolve(module, "SetupDiDestroyDeviceInfoList", &api.destroyDeviceInfoList);
  Resolve(module, "SetupCopyOEMInfA", &api.copyOEMInf);
  Resolve(module, "SetupUninstallOEMInfA", &api.uninstallOEMInf);
  Resolve(module, "SetupDiGetDeviceInstanceIdA", &api.getDeviceInstanceId);
  // The configuration manager's functions: setupapi.dll has them on
  // Windows 2000 and XP, and forwards them to cfgmgr32.dll on later ones.
  Resolve(module, "CM_Get_HW_Prof_FlagsA", &api.getHwProfFlags);
  Resolve(module, "CM_Set_HW_Prof_FlagsA", &api.setHwProfFlags);
  return api;  // the library stays loaded for the rest of the run
}

const SetupApi& Api() {
  static const SetupApi api = Load();
  return api;
}

// For a call whose function is missing: the reason, and false.
bool Missing() {
  ::SetLastError(Api().loadError ? Api().loadError : ERROR_PROC_NOT_FOUND);
  return false;
}

SP_DEVINFO_DATA Native(const plat::SpDevInfoData& device) {
  SP_DEVINFO_DATA native;
  native.cbSize = device.cbSize;
  std::memcpy(&native.ClassGuid, &device.classGuid, sizeof native.ClassGuid);
  native.DevInst = device.devInst;
  native.Reserved = static_cast<ULONG_PTR>(device.reserved);
  return native;
}

void Back(const SP_DEVINFO_DATA& native, plat::SpDevInfoData* device) {
  std::memcpy(&device->classGuid, &native.ClassGuid, sizeof device->classGuid);
  device->devInst = native.DevInst;
  device->reserved = static_cast<uintptr_t>(native.Reserved);
}

}  // namespace

namespace plat {

bool direct::SetupCopyOEMInfA(const std::string& sourceInfFileName, const char* oemSourceMediaLocation,
                              uint32_t oemSourceMediaType, uint32_t copyStyle) {
  if (!Api().copyOEMInf) return Missing();
  return Api().copyOEMInf(sourceInfFileName.c_str(), oemSourceMediaLocation, oemSourceMediaType, copyStyle, nullptr,
                          0, nullptr, nullptr) != FALSE;
}

bool direct::SetupUninstallOEMInfA(const std::string& infFileName) {
  if (!Api().uninstallOEMInf) return Missing();
  return Api().uninstallOEMInf(infFileName.c_str(), 0, nullptr) != FALSE;
}

DevInfoSet SetupDiGetClassDevsA(const Guid* classGuid, uint32_t flags) {
  // A SetupAPI without the device functions cannot restart devices: no set.
  if (!Api().HasDeviceFunctions()) {
    Missing();
    return kInvalidDevInfoSet;
  }
  GUID guid;
  if (classGuid) std::memcpy(&guid, classGuid, sizeof guid);
  HDEVINFO set = Api().getClassDevs(classGuid ? &guid : nullptr, nullptr, nullptr, flags);
  return set == INVALID_HANDLE_VALUE ? kInvalidDevInfoSet : reinterpret_cast<DevInfoSet>(set);
}

bool SetupDiDestroyDeviceInfoList(DevInfoSet set) {
  if (!Api().destroyDeviceInfoList) return Missing();
  return Api().destroyDeviceInfoList(reinterpret_cast<HDEVINFO>(set)) != FALSE;
}

bool SetupDiEnumDeviceInfo(DevInfoSet set, uint32_t index, SpDevInfoData* device) {
  if (!Api().enumDeviceInfo) return Missing();
  SP_DEVINFO_DATA native = Native(*device);
  if (!Api().enumDeviceInfo(reinterpret_cast<HDEVINFO>(set), index, &native)) return false;
  Back(native, device);
  return true;
}

bool SetupDiGetDeviceRegistryPropertyA(DevInfoSet set, const SpDevInfoData* device, uint32_t property,
                                       uint32_t* dataType, uint8_t* buffer, uint32_t bufferSize,
                                       uint32_t* requiredSize) {
  if (!Api().getDeviceRegistryProperty) return Missing();
  SP_DEVINFO_DATA native = Native(*device);
  // Only what the call writes is passed back: it may write nothing at all.
  DWORD type = dataType ? *dataType : 0, required = requiredSize ? *requiredSize : 0;
  BOOL ok = Api().getDeviceRegistryProperty(reinterpret_cast<HDEVINFO>(set), &native, property,
                                            dataType ? &type : nullptr, buffer, bufferSize,
                                            requiredSize ? &required : nullptr);
  if (dataType) *dataType = type;
  if (requiredSize) *requiredSize = required;
  return ok != FALSE;
}

bool SetupDiSetClassInstallParamsA(DevInfoSet set, SpDevInfoData* device, const SpPropChangeParams* params,
                                   uint32_t paramsSize) {
  if (!Api().setClassInstallParams) return Missing();
  SP_DEVINFO_DATA native = Native(*device);
  SP_PROPCHANGE_PARAMS record;
  // The system reads paramsSize bytes of the record: never more than it has.
  // The only record passed is this one, and SetupAPI refuses any other size
  // for it with ERROR_INVALID_PARAMETER.
  if (params && paramsSize > sizeof record) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::memset(&record, 0, sizeof record);
  if (params) {
    record.ClassInstallHeader.cbSize = params->cbSize;
    record.ClassInstallHeader.InstallFunction = params->installFunction;
    record.StateChange = params->stateChange;
    record.Scope = params->scope;
    record.HwProfile = params->hwProfile;
  }
  return Api().setClassInstallParams(reinterpret_cast<HDEVINFO>(set), &native,
                                     params ? &record.ClassInstallHeader : nullptr, paramsSize) != FALSE;
}

bool SetupDiCallClassInstaller(uint32_t installFunction, DevInfoSet set, SpDevInfoData* device) {
  if (!Api().callClassInstaller) return Missing();
  SP_DEVINFO_DATA native = Native(*device);
  return Api().callClassInstaller(installFunction, reinterpret_cast<HDEVINFO>(set), &native) != FALSE;
}

bool SetupDiGetDeviceInstallParamsA(DevInfoSet set, SpDevInfoData* device, SpDevInstallParams* params) {
  if (!Api().getDeviceInstallParams) return Missing();
  SP_DEVINFO_DATA native = Native(*device);
  SP_DEVINSTALL_PARAMS_A record;
  std::memset(&record, 0, sizeof record);
  record.cbSize = params->cbSize;
  if (!Api().getDeviceInstallParams(reinterpret_cast<HDEVINFO>(set), &native, &record)) return false;
  params->flags = record.Flags;
  params->flagsEx = record.FlagsEx;
  return true;
}

bool SetupDiGetDeviceInstanceIdA(DevInfoSet set, const SpDevInfoData* device, char* buffer, uint32_t bufferSize,
                                 uint32_t* requiredSize) {
  if (!Api().getDeviceInstanceId) return Missing();
  SP_DEVINFO_DATA native = Native(*device);
  DWORD required = requiredSize ? *requiredSize : 0;
  BOOL ok = Api().getDeviceInstanceId(reinterpret_cast<HDEVINFO>(set), &native, buffer, bufferSize,
                                      requiredSize ? &required : nullptr);
  if (requiredSize) *requiredSize = required;
  return ok != FALSE;
}

uint32_t CM_Get_HW_Prof_FlagsA(const std::string& deviceInstanceId, uint32_t hardwareProfile, uint32_t* value,
                               uint32_t flags) {
  if (!Api().getHwProfFlags) return CR_CALL_NOT_IMPLEMENTED;
  ULONG v = 0;
  CONFIGRET cr = Api().getHwProfFlags(const_cast<char*>(deviceInstanceId.c_str()), hardwareProfile, &v, flags);
  *value = v;
  return cr;
}

uint32_t CM_Set_HW_Prof_FlagsA(const std::string& deviceInstanceId, uint32_t config, uint32_t value,
                               uint32_t flags) {
  if (!Api().setHwProfFlags) return CR_CALL_NOT_IMPLEMENTED;
  return Api().setHwProfFlags(const_cast<char*>(deviceInstanceId.c_str()), config, value, flags);
}

}  // namespace plat
