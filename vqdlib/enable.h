// Disabling and enabling the installed driver by renaming its file between
// the active name and the ".DIS" name (keeping its three file times), with
// the registry entries that load it; and the reboot of the computer.
// Every result tells whether a reboot is needed.
#pragma once

bool DisableDriver();
bool EnableDriver(bool restartDevices);
// Whether the driver is as a disable leaves it: its file under the disabled
// name only, and nothing left that loads it (service key, filter entry).
bool IsDriverDisabled();

bool DisableVQD();
bool DisableVQD2K();
bool DisableVQD9();
bool EnableVQD();
bool EnableVQD2K(bool restartDevices);
bool EnableVQD9();

// Enables the shutdown privilege (NT family) and restarts the computer.
void RebootSystem();
