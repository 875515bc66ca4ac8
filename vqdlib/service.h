// The installed driver's registry side: its service key, its install count
// (a SharedDLLs value named by the driver's full path) and the probes that
// tell whether the driver of a family is installed and enabled. Each reads
// the family's row of vqdlib/family.h.
#pragma once

#include <cstdint>
#include <string>

struct Family;

// Creates the family's service key with its seven values, or removes it with
// its subkeys; only for a family with a service key (NT 4, Windows 2000).
bool RegCreateService(const Family& family, bool create);
bool RegCreateVQD(bool create);
bool RegCreateVQD2K(bool create);
// Whether the family has a service key and it is there, without log lines.
bool ServiceKeyPresent(const Family& family);

uint32_t GetInstallCount();
void SetInstallCount(uint32_t count);

// The family's probe: its active driver file, on the NT family its service
// key, and on Windows 2000 its CD-ROM class filter entry.
bool IsDriverInstalled(const Family& family);
bool IsVQDInstalled();
bool IsVQD2KInstalled();
bool IsVQD9Installed();
// The probe of the running family.
bool IsDriverInstalled();
// Whether anything is left that loads the driver of the running family: its
// service key (NT family) or CD-ROM class filter entry (Windows 2000), or on
// Windows 9x its active file. Writes no log lines.
bool IsDriverRegistered();
