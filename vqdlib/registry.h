// Registry helpers: key deletion that works the same on both families, and
// the CD-ROM class lower filter list.
#pragma once

#include <string>
#include <vector>

// Deletes a key under HKEY_LOCAL_MACHINE. The NT family deletes only keys
// without subkeys, so there the direct subkeys go first.
bool DeleteKey(const std::string& path);

extern const char* const CdromClassKey;

bool AddLowerFilter(const std::string& name);
bool RemoveLowerFilter(const std::string& name);
bool CheckLowerFilter(const std::string& name);
// Whether the name is an entry of the list as it is stored now, without log
// lines. A list that cannot be read counts as listing it: callers use this
// to keep a driver that the list may still load.
bool LowerFilterListed(const std::string& name);

// 1-based position of the first entry without a service key; 0 when there is
// none. An entry that holds a backslash names no service and is not looked up.
int FindBadDriver(const std::vector<std::string>& entries);
