// The installed driver's registry side: its service key, its install count
// (a SharedDLLs value named by the driver's full path) and the probes that
// tell whether the driver of the running family is installed and enabled.
#pragma once

#include <cstdint>
#include <string>

bool RegCreateVQD(bool create);
bool RegCreateVQD2K(bool create);
// Whether the service key is there, without log lines.
bool VQDKeyPresent();
bool VQD2KKeyPresent();

uint32_t GetInstallCount();
void SetInstallCount(uint32_t count);

bool IsVQDInstalled();
bool IsVQD2KInstalled();
bool IsVQD9Installed();
bool IsDriverInstalled();
// Whether anything is left that loads the driver of the running family: its
// service key (NT family) or CD-ROM class filter entry (Windows 2000), or on
// Windows 9x its active file. Writes no log lines.
bool IsDriverRegistered();
