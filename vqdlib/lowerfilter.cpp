// The LowerFilters value of the CD-ROM device class: a multi-string of
// service names. It is read as Windows reads it when it builds the device
// stack: the strings up to the first empty one. Entries after an empty string
// belong to other programs and are kept; every write stores them all without
// empty strings, upper-cased, and ends the list in two zero bytes. Names are
// matched as whole entries. The log shows a list as "list text": "\" after
// every entry and one more at the end ("IMAPI\REDBOOK\\").
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/registry.h"
#include "vqdlib/system.h"

const char* const CdromClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E965-E325-11CE-BFC1-08002BE10318}";

namespace {

constexpr uint32_t kValueBuffer = 1025;  // the most value data that is read
const char* const kServices = "SYSTEM\\CurrentControlSet\\Services\\";

struct FilterList {
  std::vector<std::string> entries;  // every non-empty string, in order
  size_t loaded = 0;                 // the first ones, before an empty string
  bool terminated = false;           // one of the last two bytes is a zero
  size_t size = 0;                   // bytes stored
};

// Reads LowerFilters; the query's result code.
long ReadList(plat::RegKey key, FilterList* list) {
  uint8_t buffer[kValueBuffer] = {};
  uint32_t type = 0, size = kValueBuffer;
  long rc = plat::RegQueryValueExA(key, "LowerFilters", &type, buffer, &size);
  *list = FilterList();
  if (rc != 0) return rc;
  if (size > kValueBuffer) size = kValueBuffer;
  list->size = size;
  list->terminated = (size >= 1 && buffer[size - 1] == 0) || (size >= 2 && buffer[size - 2] == 0);
  bool emptySeen = false;
  std::string entry;
  for (uint32_t i = 0; i <= size; ++i) {
    if (i < size && buffer[i] != 0) {
      entry += static_cast<char>(buffer[i]);
      continue;
    }
    if (entry.empty()) {
      if (i < size) emptySeen = true;
      continue;
    }
    list->entries.push_back(entry);
    if (!emptySeen) list->loaded = list->entries.size();
    entry.clear();
  }
  return rc;
}

// No service name holds a backslash: such an entry is another program's
// text, kept exactly as it is stored.
bool IsServiceName(const std::string& entry) { return entry.find('\\') == std::string::npos; }

std::string Stored(const std::string& entry) { return IsServiceName(entry) ? UpperCase(entry) : entry; }

std::string ListText(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& e : entries) text.append(Stored(e)).append(1, '\\');
  return text.append(1, '\\');
}

void WriteList(plat::RegKey key, const std::vector<std::string>& entries) {
  std::string data;  // the multi-string's bytes
  for (const std::string& e : entries) data.append(Stored(e)).append(1, '\0');
  data.append(entries.empty() ? 2 : 1, '\0');
  plat::RegSetValueExA(key, "LowerFilters", plat::kRegMultiSz, reinterpret_cast<const uint8_t*>(data.data()),
                       static_cast<uint32_t>(data.size()));
}

bool IsName(const std::string& entry, const std::string& upper) {
  return IsServiceName(entry) && UpperCase(entry) == upper;
}

// Index of the first of the first `count` entries that is the name; npos.
size_t FindEntry(const std::vector<std::string>& entries, size_t count, const std::string& upper) {
  for (size_t i = 0; i < count && i < entries.size(); ++i)
    if (IsName(entries[i], upper)) return i;
  return std::string::npos;
}

// The entries but those that are the name (upper-case) and the one at
// `skip`, in their order, after `first` when that is not empty.
std::vector<std::string> Without(const std::vector<std::string>& entries, const std::string& upper, size_t skip,
                                 const std::string& first = "") {
  std::vector<std::string> kept;
  if (!first.empty()) kept.push_back(first);
  for (size_t i = 0; i < entries.size(); ++i)
    if (i != skip && !IsName(entries[i], upper)) kept.push_back(entries[i]);
  return kept;
}

void LogBadDriver(int position, const std::vector<std::string>& entries) {
  DebugLog((position > 0 ? "ALF: found bad driver in: " : "ALF: didn't find bad driver in: ") + ListText(entries));
}

}  // namespace

int FindBadDriver(const std::vector<std::string>& entries) {
  DebugLog("FBD: Begin");
  DebugLog("FBD: Had \\ killing");
  int result = 0;
  for (size_t i = 0; i < entries.size() && result == 0; ++i) {
    if (!IsServiceName(entries[i])) continue;
    plat::RegKey key = 0;
    long rc = plat::RegOpenKeyA(plat::kHKeyLocalMachine, kServices + UpperCase(entries[i]), &key);
    // Only a service that is not there makes a bad driver: a key the system
    // would not open now (access denied, low memory) belongs to a driver
    // that may well load, and dropping it would stop that drive's filter.
    if (rc == plat::kErrorFileNotFound) result = static_cast<int>(i) + 1;
    if (rc == 0) plat::RegCloseKey(key);
  }
  DebugLog("FBD: End");
  return result;
}

bool AddLowerFilter(const std::string& name) {
  DebugLog("ALF");
  if (name.empty()) return true;
  DebugLog("ALF: new filter not empty: " + name);
  const std::string upper = UpperCase(name);
  plat::RegKey key = 0;
  bool result = plat::RegOpenKeyA(plat::kHKeyLocalMachine, CdromClassKey, &key) == 0;
  if (result) {
    DebugLog("ALF: Opened CDROM class key");
    FilterList list;
    long rc = ReadList(key, &list);
    if (rc != 0 && rc != plat::kErrorFileNotFound) {
      // A value larger than the buffer, or one the system would not read
      // now, is left as it is: rewriting it from the new name alone would
      // lose every other entry.
      result = false;
    } else {
      std::vector<std::string>& entries = list.entries;
      if (rc == 0) DebugLog("ALF: Read existing LowerFilter key");
      if (entries.empty()) {
        DebugLog("ALF: no existing LowerFilter key");
        entries.push_back(upper);
      } else if (FindEntry(entries, list.loaded, upper) == std::string::npos &&
                 upper.size() + 1 + list.size <= kValueBuffer - 1) {
        DebugLog("ALF: Didn't find add value in existing LowerFilter");
        // A copy after an empty string, which Windows does not read, goes:
        // the name comes first, once.
        entries = Without(entries, upper, std::string::npos, upper);
      } else {
        DebugLog("ALF: Found add value in existing LowerFilter");
      }
      int bad = FindBadDriver(entries);
      LogBadDriver(bad, entries);
      while (bad > 0) {
        entries = Without(entries, "", static_cast<size_t>(bad) - 1);
        bad = FindBadDriver(entries);
        LogBadDriver(bad, entries);
      }
      DebugLog("ALF: Writing LowerFilter value " + ListText(entries));
      WriteList(key, entries);
    }
    plat::RegCloseKey(key);
  }
  DebugLog(result ? "ALF: Succeeded" : "ALF: Failed");
  return result;
}

bool RemoveLowerFilter(const std::string& name) {
  DebugLog("RLF");
  if (name.empty()) return false;
  DebugLog("RLF: Remove filter not empty: " + name);
  const std::string upper = UpperCase(name);
  plat::RegKey key = 0;
  if (plat::RegOpenKeyA(plat::kHKeyLocalMachine, CdromClassKey, &key) != 0) return false;
  DebugLog("RLF: Opened CDROM class");
  FilterList list;
  if (ReadList(key, &list) != 0 || list.size == 0) {
    plat::RegCloseKey(key);
    return false;
  }
  DebugLog("RLF: Read LowerFilters");
  std::vector<std::string>& entries = list.entries;
  size_t at = FindEntry(entries, entries.size(), upper);
  if (at == std::string::npos) {
    DebugLog("RLF: Didn't find remove value in LowerFilter");
    plat::RegCloseKey(key);
    return false;
  }
  DebugLog("RLF: Found remove value in LowerFilter");
  // Every entry of the name goes, also one after an empty string: a copy
  // left behind would name a driver whose service key and file are about to
  // go, and Windows then starts no CD-ROM drive at all.
  entries = Without(entries, upper, std::string::npos);
  if (entries.empty()) {
    DebugLog("RLF: LowerFilter empty after delete. Removing");
    plat::RegDeleteValueA(key, "LowerFilters");
  } else {
    DebugLog("RLF: Writing LowerFilter value " + ListText(entries));
    WriteList(key, entries);
  }
  plat::RegCloseKey(key);
  return true;
}

bool CheckLowerFilter(const std::string& name) {
  DebugLog("CLF");
  if (name.empty()) return false;
  DebugLog("CLF: Check filter not empty: " + name);
  const std::string upper = UpperCase(name);
  plat::RegKey key = 0;
  if (plat::RegOpenKeyExA(plat::kHKeyLocalMachine, CdromClassKey, plat::kKeyRead, &key) != 0) return false;
  FilterList list;
  if (ReadList(key, &list) != 0 || list.size == 0) {
    plat::RegCloseKey(key);
    return false;
  }
  DebugLog("CLF: Read LowerFilters");
  // Only what Windows reads loads the driver, and only a stack whose every
  // filter has a service starts.
  while (list.entries.size() > list.loaded) list.entries.pop_back();
  bool result = FindEntry(list.entries, list.loaded, upper) != std::string::npos;
  if (!result) DebugLog("CLF: Didn't find check value in LowerFilter");
  if (!list.terminated) result = false;
  if (FindBadDriver(list.entries) > 0) result = false;
  plat::RegCloseKey(key);
  return result;
}

bool LowerFilterListed(const std::string& name) {
  plat::RegKey key = 0;
  long rc = plat::RegOpenKeyExA(plat::kHKeyLocalMachine, CdromClassKey, plat::kKeyRead, &key);
  if (rc == plat::kErrorFileNotFound) return false;
  if (rc != 0) return true;
  FilterList list;
  rc = ReadList(key, &list);
  plat::RegCloseKey(key);
  if (rc == plat::kErrorFileNotFound) return false;
  return rc != 0 || FindEntry(list.entries, list.entries.size(), UpperCase(name)) != std::string::npos;
}
