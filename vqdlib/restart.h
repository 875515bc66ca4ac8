// Restart of the CD-ROM devices through SetupAPI, so that a change of their
// filter driver takes effect without a reboot (Windows 2000 and later).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

// True when the CD-ROM device set could be obtained (even when it was empty
// or a device failed); DeviceFailed then tells whether some device did not
// restart cleanly. Runs on a worker thread while the calling thread keeps
// dispatching window messages when onWorker is set (the interactive mode),
// else on the caller's.
bool RestartCdromDevices(bool& DeviceFailed, bool onWorker);
// The worker's exit code: 1 when the device set could be obtained, 0 when not.
// When no thread can be created the restart runs on the calling thread.
uint32_t RestartOnWorkerThread(bool& DeviceFailed);
bool RestartEachCdromDevice(bool& DeviceFailed);

// Stops and starts one device; true when it restarted and needs no reboot.
bool RestartDevice(plat::DevInfoSet set, plat::SpDevInfoData* device);
// Empty when the device has none.
std::string GetDeviceObjectName(plat::DevInfoSet set, plat::SpDevInfoData* device);
std::string GetDeviceFriendlyName(plat::DevInfoSet set, plat::SpDevInfoData* device);
// The property's bytes and data type; empty when there is none.
std::vector<uint8_t> GetDeviceProperty(plat::DevInfoSet set, plat::SpDevInfoData* device, uint32_t property,
                                       uint32_t* dataType);
