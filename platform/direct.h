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
// The key at subKey itself: a symbolic link there goes, never the key it
// points to (RegDeleteKeyA would follow it). The keys on the way to it are
// followed, as every open does. The NT family deletes no key with subkeys
// (ERROR_ACCESS_DENIED); Windows 9x deletes the whole tree.
long RegDeleteKeyA(RegKey key, const std::string& subKey);

// ---- Key trees, as the journal records them and puts them back
// Names and data as the system stores them ("native"): UTF-16LE bytes on the
// NT family, read and written with the W calls, so that a name or a string
// with no 8-bit form and a string of any length come back as they were; the
// 8-bit names and data on Windows 9x. The key at the end of a name is never
// followed when it is a symbolic link (REG_OPTION_OPEN_LINK: the link itself
// is opened). Windows 9x has no links, no security and no volatile keys.
std::string NativeName(const std::string& name);
// A native name in 8 bits, for the log (what has no 8-bit form is replaced).
std::string PrintableName(const std::string& native);
struct KeyFacts {
  bool link = false;  // a symbolic link, to target (its SymbolicLinkValue)
  bool isVolatile = false;
  std::string target;
  std::string security;  // self-relative descriptor: owner, group and DACL
};
// The key name below parent, opened for reading, deleting and making a
// subkey; a link is opened itself.
long RegOpenTreeKey(RegKey parent, const std::string& name, RegKey* result);
long RegEnumTreeKey(RegKey key, uint32_t index, std::string* name);
long RegEnumTreeValue(RegKey key, uint32_t index, std::string* name, uint32_t* type, std::string* data);
// What else the key name below parent (open as key) is: a link (a key whose
// SymbolicLinkValue of type REG_LINK is not there when the name is
// followed), its security, and whether it is volatile. That is told by a
// probe: a non-volatile subkey named probe is refused under a volatile key
// (ERROR_CHILD_MUST_BE_VOLATILE) and is made, and deleted again, under any
// other; a probe that could not be deleted makes the call fail. An empty
// probe asks no volatility, nor is a link's asked (it can have no subkeys).
long RegTreeKeyFacts(RegKey parent, const std::string& name, RegKey key, const std::string& probe, KeyFacts* facts);
// The open key (name below parent) deleted itself: a link goes, not its
// target. It must have no subkeys.
long RegDeleteTreeKey(RegKey parent, const std::string& name, RegKey key);
// A new key at path under HKEY_LOCAL_MACHINE, volatile or a link as facts
// say, open for setting values; ERROR_ALREADY_EXISTS when a key is there.
long RegMakeTreeKey(const std::string& path, const KeyFacts& facts, RegKey* result);
// A value of any open key, read and set as stored (ERROR_FILE_NOT_FOUND when
// it is not there).
long RegQueryTreeValue(RegKey key, const std::string& name, uint32_t* type, std::string* data);
long RegSetTreeValue(RegKey key, const std::string& name, uint32_t type, const std::string& data);
// The key at path under HKEY_LOCAL_MACHINE gets security (owner where it is
// another, group and DACL, its protection included).
long RegSetTreeKeySecurity(const std::string& path, const std::string& security);
constexpr uint32_t kErrorChildMustBeVolatile = 1021;

FileHandle CreateFileA(const std::string& path, Access access, uint32_t shareMode, Disposition disposition);
bool DeleteFileA(const std::string& path);
bool MoveFileA(const std::string& from, const std::string& to);
bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists);
// MoveFileExA; Windows 9x has the name but fails it with
// ERROR_CALL_NOT_IMPLEMENTED.
constexpr uint32_t kMovefileReplaceExisting = 1;  // MOVEFILE_REPLACE_EXISTING
constexpr uint32_t kMovefileDelayUntilReboot = 4;  // MOVEFILE_DELAY_UNTIL_REBOOT: to "" deletes then
constexpr uint32_t kMovefileWriteThrough = 8;      // MOVEFILE_WRITE_THROUGH
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
