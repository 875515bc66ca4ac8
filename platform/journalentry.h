// What the journal holds (platform/journal.cpp and journalkeys.cpp record
// it, platform/undo.cpp puts it back). Only platform/ uses this header.
//
// Every list is one vector of Entry and every list of names one string:
// each container type costs the program its own copy of the library's
// growing and shrinking code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace plat::journal {

enum Kind : uint8_t { kValue, kKey, kFile, kOemInf };

// One thing as it was before the action changed it, undone the last first:
//   kValue: a value (existed: its type and bytes; else it goes);
//   kKey: a key (existed or not, its whole tree goes first); the keys and
//     values of a tree that existed follow it as quiet entries, which make
//     each key and value again;
//   kFile: a file (existed: its copy in the keep directory, put back with
//     its three times; else it goes);
//   kOemInf: an oemN.inf the store took, which goes.
// The journal's list of open keys is of entries too (kKey, path and key).
struct Entry {
  Kind kind = kValue;
  bool existed = false;
  bool quiet = false;  // a part of a key's tree: logged only when it fails
  uint32_t type = 0;
  RegKey key = 0;    // an open key's handle
  std::string path;  // key under HKLM, file, or the oemN.inf in the store
  std::string name;  // kValue: its name; kFile: the kept copy
  std::string data;  // kValue: its bytes
  FileTime times[3] = {0, 0, 0};
};

extern std::vector<Entry> Entries;  // in the order of the changes

// A new entry at the end of list.
Entry& Add(std::vector<Entry>* list, Kind kind, const std::string& path, bool existed = false);
// Drops the entries after the first mark ones (the change after them
// failed, or the journal ends).
void Truncate(size_t mark);

// Names compared as Windows compares them (a-z without regard to case).
bool Same(const std::string& a, const std::string& b);
// Whether path is below base (base\...).
bool Below(const std::string& path, const std::string& base);
// base\sub with single separators and none at either end.
std::string Join(const std::string& base, const std::string& sub);
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND: the thing is not there.
bool Gone(uint32_t error);

// A list of names is one string with each name after a backslash ("\a\b");
// `for (size_t at = 0; at < list.size(); at = list.find('\\', at + 1))`
// visits them, Item(list, at) is "\name".
std::string Item(const std::string& list, size_t at);
// Where name (compared as Same does) starts in list; npos when it is not
// listed.
size_t Find(const std::string& list, const std::string& name);
// Appends the names of the key's subkeys to list; the enumeration's error,
// or 0 when it came to the end.
long Subkeys(RegKey key, std::string* list);

// Whether a value was recorded before, or a key recorded before (whose
// undo puts back its whole tree) holds the path.
bool Covered(const std::string& path, const std::string* valueName = nullptr);
// The value name of the key as it is now, into e (existed false when it is
// not there); the query's error when it cannot be read.
long ReadValue(RegKey key, const std::string& name, Entry* e);
// The key as it is now, not there or its whole tree, unless covered.
long RecordKey(const std::string& path);
// A key about to be created: the first key of its path that is not there.
long RecordCreate(const std::string& path);
// Undoes every entry, the last first, with a log line each; true when all
// of them were undone.
bool UndoAll(void (*log)(const std::string& line));

}  // namespace plat::journal
