// What the journal holds (platform/journal.cpp and journalkeys.cpp record
// it, platform/undo.cpp puts it back). Only platform/ uses this header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace plat::journal {

// The numbers are written into the journal's file: a new kind takes a new one.
enum Kind : uint8_t { kValue, kKey, kFile, kOemInf, kMoved, kTreeKey, kTreeValue, kTreeStart };
// kTreeKey's type: what else the key is.
constexpr uint32_t kVolatileKey = 1, kLinkKey = 2;

// One thing as it was before the action changed it. The entries are undone
// the last first, and every undo keeps one contract: it must hold also when
// the change it covers was never made or failed half-way, and undoing it
// twice does no more than once (each entry is on disk before its change,
// so a run that dies, even while undoing, is undone by the next). Per kind,
// what is kept and what its undo does:
//   kValue: a value's type and bytes as stored, or that it was not there.
//     Undo: set back, or deleted (not there is fine).
//   kKey: a key that was not there, or the root of a tree that was.
//     Undo: the key's tree as it is now goes, links deleted themselves,
//     never entered (not there is fine); a tree that was follows it.
//   kTreeStart, kTreeKey..., kTreeValue..., kKey: a tree that existed, in
//     that order, the parts quiet. kTreeKey: a key (path native; type
//     kVolatileKey, kLinkKey; name its security descriptor; data a link's
//     target). kTreeValue: a value (path, name native; type and bytes
//     exactly). Undo: each key made new as it was (a key already there
//     fails it), each value set; at the kTreeStart the keys get their
//     security, deepest first, any probe key (direct::RegTreeKeyFacts) a
//     killed recording left goes, and the tree (name: its 8-bit path) is
//     logged "Restored" only when every part came back. The kTreeStart is
//     on disk before the first probe.
//   kFile: a file that was not there, or one moved aside to `name` in its
//     own folder. Undo: the aside back over whatever took its name, or the
//     file deleted; an aside that is not there means the file never left.
//   kMoved: a file renamed to `name`. Undo: renamed back unless it is at
//     its old name already.
//   kOemInf: the store of setup information files (path: its folder; data:
//     the names it held, JoinNames; name: the INF's bytes). Undo: each .inf
//     not listed that has those bytes goes (another program's, stored at
//     the same time, stays).
struct Entry {
  Kind kind = kValue;
  bool existed = false;
  bool quiet = false;  // a part of a key's tree: logged only when it fails
  uint32_t type = 0;
  std::string path;  // key under HKLM, file, or the oemN.inf in the store
  std::string name;  // kValue: its name; kFile: the aside; kMoved: the new name;
                     // kOemInf: the INF's bytes; kTreeKey: its security
  std::string data;  // kValue: its bytes; kTreeKey: a link's target
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
// What is at a name: nothing, a file (readOnly: FILE_ATTRIBUTE_READONLY),
// or something else (a folder, a link); kUnknown when that cannot be told.
enum Found { kNothing, kAFile, kOther, kUnknown };
Found Look(const std::string& path, bool* readOnly = nullptr);

// Whether name (compared as Same does) is in names.
bool Listed(const std::vector<std::string>& names, const std::string& name);
// The native names of the subkeys of a tree's key, all of them or the error.
long TreeSubkeys(RegKey key, std::vector<std::string>* names);
// The name of the probe key of RegTreeKeyFacts, native.
std::string ProbeName();
// Deletes every probe key in the tree at path (native); false when one
// stays.
bool DeleteProbes(const std::string& path);
// The names of the files in the store of setup information files, and the
// store's folder (with its final backslash); false when the store cannot be
// listed to its end.
bool StoredInfs(std::vector<std::string>* names, std::string* store);
// Names kept in one entry's field, each ended by a line break, and back.
std::string JoinNames(const std::vector<std::string>& names);
std::vector<std::string> SplitNames(const std::string& text);
// The bytes of a whole file; false when it cannot be read (an empty one
// cannot either).
bool ReadBytes(const std::string& path, std::string* bytes);

// Whether a value was recorded before, or a key recorded before (whose
// undo puts back its whole tree) holds the path.
bool Covered(const std::string& path, const std::string* valueName = nullptr);
// The value name of the key as it is now, into e (existed false when it is
// not there); the query's error when it cannot be read.
long ReadValue(RegKey key, const std::string& name, Entry* e);
// The key as it is now, not there or its whole tree, unless covered.
long RecordKey(const std::string& path);
// A key about to be created: the first key of its path that is not there.
// Recording keeps the last list of a parent's subkeys; a create (and a new
// journal) forgets it.
void ForgetListing();
long RecordCreate(const std::string& path);
// Undoes every entry, the last first, with a log line each; true when all
// of them were undone.
bool UndoAll(void (*log)(const std::string& line));
// The asides of an action that succeeded are deleted; false when one stays.
bool DeleteAsides(void (*log)(const std::string& line));
// from renamed to to (MoveFileExA with MOVEFILE_WRITE_THROUGH where the
// system has it, else MoveFileA); replace: what is at to goes.
bool Rename(const std::string& from, const std::string& to, bool replace);

// The process ended where it stood (a kill): what it held in memory is gone.
void ProcessEnded();

// ---- The journal's file (journalfile.cpp)
// <SystemDir>\~vqd, "" when the system directory is not known.
std::string FolderPath();
// A plain directory, no link, private as CreatePrivateDirectoryA makes it.
bool FolderTrusted(const std::string& folder);
// Whether a journal file is there.
bool Pending();
// Makes the folder (or trusts the one there) and a new journal file in it,
// with its first record; false when that cannot be done.
bool Start(const std::string& keepDir);
// The entries after the first mark went: those on disk go there too, with
// the next Persist.
void Dropped(size_t mark);
// Writes the entries not yet written (and the dropping of those that went)
// and flushes them; false when they are not all on disk.
bool Persist();
// Marks the action done.
bool Commit();
// Closes the file (and lets go of its folder), which stays.
void Close();
// Deletes the closed file; false when it stays.
bool Discard();
// Closes the file and deletes it and its folder.
void Stop();
// The journal a run left, into Entries; false when there is none to trust.
bool Load(bool* committed, std::string* keepDir);

}  // namespace plat::journal
