// Restart of the CD-ROM devices through SetupAPI, so that a change of their
// filter driver takes effect without a reboot (Windows 2000 and later).
#pragma once

#include <cstdint>

// True when the CD-ROM device set could be obtained (even when it was empty
// or a device failed); DeviceFailed then tells whether some device did not
// restart cleanly. Runs on a worker thread while the calling thread keeps
// dispatching window messages when Interactive is set, else on the caller's.
bool RestartCdromDevices(bool& DeviceFailed);
// The worker's exit code: 1 when the device set could be obtained, 0 when not.
uint32_t RestartOnWorkerThread(bool& DeviceFailed);
bool RestartEachCdromDevice(bool& DeviceFailed);
