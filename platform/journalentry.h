// What the journal holds (platform/journal.cpp records it, platform/undo.cpp
// puts it back). Only platform/ uses this header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace plat::journal {

enum class Kind : uint8_t { Value, Key, File, OemInf };

// One thing as it was before the action changed it. A key's tree holds the
// key and each subkey (Key items) and their values (Value items) in the
// order they are made again.
struct Entry {
  Kind kind = Kind::Value;
  std::string path;  // key under HKLM, file, or the oemN.inf in the store
  std::string name;  // Value: its name
  bool existed = false;
  uint32_t type = 0;
  std::vector<uint8_t> data;  // Value: its bytes
  std::vector<Entry> tree;    // Key: what existed
  std::string kept;           // File: its copy in the keep directory
  FileTime times[3] = {0, 0, 0};
};

inline Entry Make(Kind kind, const std::string& path, bool existed = false) {
  Entry e;
  e.kind = kind;
  e.path = path;
  e.existed = existed;
  return e;
}

extern std::vector<Entry> Entries;  // in the order of the changes

// Names compared as Windows compares them (a-z without regard to case).
bool Same(const std::string& a, const std::string& b);
// base\sub with single separators and none at either end.
std::string Join(const std::string& base, const std::string& sub);
bool Recorded(Kind kind, const std::string& path, const std::string& name = "");
// Whether a key recorded before (whose undo puts back its whole tree) holds
// the key at path.
bool Covered(const std::string& path);
// The value as it is now (existed false when it is not there); the query's
// error when it cannot be read.
long ReadValue(RegKey key, const std::string& path, const std::string& name, Entry* e);
// The key as it is now, not there or its whole tree, unless a key recorded
// before holds it.
long RecordKey(const std::string& path);
// A key about to be created: the first key of its path that is not there.
long RecordCreate(const std::string& path);
// Undoes every entry, the last first, with a log line each; true when all
// of them were undone.
bool UndoAll(void (*log)(const std::string& line));

}  // namespace plat::journal
