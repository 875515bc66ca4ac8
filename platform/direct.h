// The calls of platform.h that change the system (and the registry opens by
// which the journal knows each key's path), as each backend makes them. The
// functions of the same names in platform.h are platform/journal.cpp: they
// record what a change replaces before passing it on to these. Only
// platform/ uses this header.
#pragma once

#include "platform/platform.h"

namespace plat::direct {

long RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result);
long RegOpenKeyA(RegKey root, const std::string& subKey, RegKey* result);
long RegCreateKeyA(RegKey root, const std::string& subKey, RegKey* result);
long RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result);
long RegCloseKey(RegKey key);
long RegSetValueExA(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size);
long RegDeleteValueA(RegKey key, const std::string& name);
long RegDeleteKeyA(RegKey key, const std::string& subKey);

FileHandle CreateFileA(const std::string& path, Access access, uint32_t shareMode, Disposition disposition);
bool DeleteFileA(const std::string& path);
bool MoveFileA(const std::string& from, const std::string& to);
bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists);
// MoveFileExA; Windows 9x has the name but fails it with
// ERROR_CALL_NOT_IMPLEMENTED.
constexpr uint32_t kMovefileReplaceExisting = 1;  // MOVEFILE_REPLACE_EXISTING
constexpr uint32_t kMovefileWriteThrough = 8;     // MOVEFILE_WRITE_THROUGH
bool MoveFileExA(const std::string& from, const std::string& to, uint32_t flags);
void SetLastError(uint32_t error);

// SetupCopyOEMInfA without a destination buffer: Wine's then overwrites the
// error of a failed call with ERROR_INSUFFICIENT_BUFFER. The journal finds
// the stored name by listing the store before and after.
bool SetupCopyOEMInfA(const std::string& sourceInfFileName, const char* oemSourceMediaLocation,
                      uint32_t oemSourceMediaType, uint32_t copyStyle);
// SetupUninstallOEMInfA(name, 0, NULL): takes an oemN.inf (its name alone)
// out of the store with its precompiled .pnf and its catalog. Windows has it
// from XP on; it is resolved at run time, and where it is missing the call
// fails with ERROR_PROC_NOT_FOUND.
bool SetupUninstallOEMInfA(const std::string& infFileName);

}  // namespace plat
