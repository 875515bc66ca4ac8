#include "platform/journal.h"
#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/registry.h"
#include "vqdlib/system.h"

bool DeleteKey(const std::string& path) {
  const plat::RegKey hklm = plat::kHKeyLocalMachine;
  if (!IsNT) {
    bool deleted = plat::RegDeleteKeyA(hklm, path) == 0;
    DebugLog("DK: 9X: DeleteKey " + path + (deleted ? " SUCCESS" : " FAILED"));
    return deleted;
  }
  DebugLog("DK: NT/2K: DeleteKey " + path);
  // The whole tree is recorded once, not each subkey on its own: a key with
  // a thousand subkeys costs one write to the journal, not a thousand.
  plat::RegKey key = 0;
  if (!plat::JournalKey(path) || plat::RegOpenKeyA(hklm, path, &key) != 0) return false;
  uint32_t count = 0xFFFFFFFFu;
  plat::RegQueryInfoKeyA(key, &count);
  // From the last subkey down, so that deleting one does not move the others.
  int64_t index = static_cast<int32_t>(count) > 0 ? int64_t(count) - 1 : static_cast<int32_t>(count);
  while (index >= 0) {
    char name[129] = {};
    uint32_t length = sizeof name;
    if (plat::RegEnumKeyExA(key, static_cast<uint32_t>(index), name, &length) == plat::kErrorNoMoreItems) break;
    name[128] = 0;
    plat::RegDeleteKeyA(hklm, path + "\\" + name);
    --index;
  }
  plat::RegCloseKey(key);
  bool deleted = plat::RegDeleteKeyA(hklm, path) == 0;
  DebugLog("DK: NT/2K: DeleteKey " + path + (deleted ? " SUCCESS" : " FAILED"));
  return deleted;
}
