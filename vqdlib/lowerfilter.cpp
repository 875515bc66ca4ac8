// The LowerFilters value of the CD-ROM device class: a multi-string of
// service names. It is handled as "list text": every zero byte becomes "\"
// and every letter a-z is upper-cased, so "imapi\0redbook\0\0" reads as
// "IMAPI\REDBOOK\\". Names are matched as whole entries.
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/registry.h"
#include "vqdlib/system.h"

const char* const CdromClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E965-E325-11CE-BFC1-08002BE10318}";

namespace {

const uint32_t kValueBuffer = 1025;  // the most value data that is read
const char* const kServices = "SYSTEM\\CurrentControlSet\\Services\\";

// Reads LowerFilters as list text; the query's result code.
long ReadList(plat::RegKey key, std::string* list) {
  std::vector<uint8_t> buffer(kValueBuffer, 0);
  uint32_t type = 0, size = kValueBuffer;
  long rc = plat::RegQueryValueExA(key, "LowerFilters", &type, buffer.data(), &size);
  list->clear();
  if (rc == 0) {
    for (uint32_t i = 0; i < size && i < kValueBuffer; ++i) *list += buffer[i] == 0 ? '\\' : static_cast<char>(buffer[i]);
    *list = UpperCase(*list);
  }
  return rc;
}

void WriteList(plat::RegKey key, const std::string& list) {
  std::vector<uint8_t> data(list.begin(), list.end());
  for (uint8_t& b : data)
    if (b == '\\') b = 0;
  plat::RegSetValueExA(key, "LowerFilters", plat::kRegMultiSz, data.data(), static_cast<uint32_t>(data.size()));
}

// 0-based offset of the first entry of the list equal to name, or npos.
size_t FindEntry(const std::string& list, const std::string& name) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find('\\', start);
    if (end == std::string::npos) end = list.size();
    if (list.compare(start, end - start, name) == 0 && end > start) return start;
    start = end + 1;
  }
  return std::string::npos;
}

bool SeparatorAt(const std::string& list, long offset) {
  return offset >= 0 && static_cast<size_t>(offset) < list.size() && list[static_cast<size_t>(offset)] == '\\';
}

// Makes the list end in exactly two separators where it ended in fewer.
void RepairTerminators(std::string* list, bool dropExtra) {
  long s = static_cast<long>(list->size());
  if (!SeparatorAt(*list, s - 1)) {
    *list += "\\\\";
    s += 2;
  }
  if (SeparatorAt(*list, s - 1) && !SeparatorAt(*list, s - 2)) {
    *list += "\\";
    s += 1;
  }
  if (dropExtra && SeparatorAt(*list, s - 3)) list->pop_back();
}

void LogBadDriver(int position, const std::string& text) {
  DebugLog((position > 0 ? "ALF: found bad driver in: " : "ALF: didn't find bad driver in: ") + text);
}

}  // namespace

int PosFrom(const std::string& sub, const std::string& text, int start) {
  if (start < 1 || static_cast<size_t>(start) > text.size()) return 0;
  size_t at = text.find(sub, static_cast<size_t>(start) - 1);
  return at == std::string::npos ? 0 : static_cast<int>(at - (static_cast<size_t>(start) - 1)) + 1;
}

int FindBadDriver(const std::string& text) {
  DebugLog("FBD: Begin");
  int result = 0, offset = 0;
  std::string rest = text;
  if (rest.size() >= 2 && rest[rest.size() - 1] == '\\' && rest[rest.size() - 2] == '\\') {
    DebugLog("FBD: Had \\ killing");
    rest.pop_back();
  }
  size_t separator;
  while ((separator = rest.find('\\')) != std::string::npos) {
    std::string entry = rest.substr(0, separator);
    rest.erase(0, separator + 1);
    plat::RegKey key = 0;
    long rc = plat::RegOpenKeyA(plat::kHKeyLocalMachine, kServices + entry, &key);
    // Only a service that is not there makes a bad driver: a key the system
    // would not open now (access denied, low memory) belongs to a driver
    // that may well load, and dropping it would stop that drive's filter.
    if (rc == plat::kErrorFileNotFound) {
      result = offset + 1;
      break;
    }
    if (rc == 0) plat::RegCloseKey(key);
    offset += static_cast<int>(separator) + 1;
  }
  DebugLog("FBD: End");
  return result;
}

bool AddLowerFilter(const std::string& name) {
  DebugLog("ALF");
  if (name.empty()) return true;
  DebugLog("ALF: new filter not empty: " + name);
  const std::string upper = UpperCase(name);
  const size_t length = upper.size();
  plat::RegKey key = 0;
  bool result = plat::RegOpenKeyA(plat::kHKeyLocalMachine, CdromClassKey, &key) == 0;
  if (result) {
    DebugLog("ALF: Opened CDROM class key");
    std::string list;  // the stored part of the list text (S = its size)
    long rc = ReadList(key, &list);
    if (rc != 0 && rc != plat::kErrorFileNotFound) {
      // A value larger than the buffer, or one the system would not read
      // now, is left as it is: rewriting it from the new name alone would
      // lose every other entry.
      result = false;
    } else {
      if (rc != 0 || list.empty()) {
        if (rc == 0) DebugLog("ALF: Read existing LowerFilter key");
        DebugLog("ALF: no existing LowerFilter key");
        list = upper + "\\\\";
      } else {
        DebugLog("ALF: Read existing LowerFilter key");
        if (FindEntry(list, upper) == std::string::npos && length + 1 + list.size() <= kValueBuffer - 1) {
          DebugLog("ALF: Didn't find add value in existing LowerFilter");
          list = upper + "\\" + list;
        } else {
          DebugLog("ALF: Found add value in existing LowerFilter");
        }
      }
      // The text that is searched ends in a separator; the stored list only
      // gets its terminators below.
      std::string text = list;
      if (text.empty() || text.back() != '\\') {
        DebugLog("ALF: No terminator - adding");
        text += '\\';
      }
      size_t stored = list.size();
      int bad = FindBadDriver(text);
      LogBadDriver(bad, text);
      while (bad > 0) {
        size_t at = static_cast<size_t>(bad) - 1;
        size_t n = static_cast<size_t>(PosFrom("\\", text, bad));
        text.erase(at, n);
        stored -= at < stored ? std::min(n, stored - at) : 0;
        bad = FindBadDriver(text);
        LogBadDriver(bad, text);
      }
      list = text.substr(0, stored);
      RepairTerminators(&list, true);
      DebugLog("ALF: Writing LowerFilter value " + list);
      WriteList(key, list);
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
  std::string list;
  if (ReadList(key, &list) != 0 || list.empty()) {
    plat::RegCloseKey(key);
    return false;
  }
  DebugLog("RLF: Read LowerFilters");
  size_t at = FindEntry(list, upper);
  if (at == std::string::npos) {
    DebugLog("RLF: Didn't find remove value in LowerFilter");
    plat::RegCloseKey(key);
    return false;
  }
  DebugLog("RLF: Found remove value in LowerFilter");
  // Every entry of the name goes, with its separator: a second one left
  // behind would name a driver whose service key and file are about to go,
  // and Windows then starts no CD-ROM drive at all.
  for (; at != std::string::npos; at = FindEntry(list, upper)) list.erase(at, upper.size() + 1);
  // Short is not empty: removing the last entry of "A\VQD2K" (no closing
  // zeros) or "A\VQD2K\" (one) leaves "A\", which keeps its entry.
  if (list.size() <= 2 && list.find_first_not_of('\\') == std::string::npos) {
    DebugLog("RLF: LowerFilter empty after delete. Removing");
    plat::RegDeleteValueA(key, "LowerFilters");
  } else {
    RepairTerminators(&list, false);
    DebugLog("RLF: Writing LowerFilter value " + list);
    WriteList(key, list);
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
  std::string list;
  if (ReadList(key, &list) != 0 || list.empty()) {
    plat::RegCloseKey(key);
    return false;
  }
  DebugLog("CLF: Read LowerFilters");
  bool result = FindEntry(list, upper) != std::string::npos;
  if (!result) DebugLog("CLF: Didn't find check value in LowerFilter");
  const long s = static_cast<long>(list.size());
  if (!SeparatorAt(list, s - 1) && !SeparatorAt(list, s - 2)) result = false;
  if (FindBadDriver(list) > 0) result = false;
  plat::RegCloseKey(key);
  return result;
}

bool LowerFilterListed(const std::string& name) {
  plat::RegKey key = 0;
  long rc = plat::RegOpenKeyExA(plat::kHKeyLocalMachine, CdromClassKey, plat::kKeyRead, &key);
  if (rc == plat::kErrorFileNotFound) return false;
  if (rc != 0) return true;
  std::string list;
  rc = ReadList(key, &list);
  plat::RegCloseKey(key);
  if (rc == plat::kErrorFileNotFound) return false;
  return rc != 0 || FindEntry(list, UpperCase(name)) != std::string::npos;
}
