// The undo of the journal: each entry puts back what it recorded, the last
// first, through the backend's own calls (nothing of it is recorded again).
#include "platform/direct.h"
#include "platform/journalentry.h"

namespace plat::journal {

namespace {

const char* const kCatalogRoot = "\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\";

// The registry's calls return their error: a step that fails keeps it as
// the last error, for its log line.
bool Refused(long rc) {
  direct::SetLastError(static_cast<uint32_t>(rc));
  return false;
}

// A failed step's line, with the error it met as the log's other failures
// have it: "UNDO: Failed to delete X (error 5)".
std::string Failed(const char* what, const std::string& path) {
  return "UNDO: Failed to " + std::string(what) + path + " (error " + std::to_string(GetLastError()) + ")";
}

// The key name below parent (native) with all its subkeys, links deleted
// themselves and never entered; true when it is not there afterwards.
bool DeleteTree(RegKey parent, const std::string& name) {
  RegKey key = 0;
  long rc = direct::RegOpenTreeKey(parent, name, &key);
  if (rc != 0) return Gone(static_cast<uint32_t>(rc)) || Refused(rc);
  direct::KeyFacts facts;
  std::vector<std::string> subkeys;
  bool all = (rc = direct::RegTreeKeyFacts(parent, name, key, "", &facts)) == 0 || Refused(rc);
  if (!facts.link) TreeSubkeys(key, &subkeys);  // those it could list
  for (const std::string& sub : subkeys) all = DeleteTree(key, sub) && all;
  rc = direct::RegDeleteTreeKey(parent, name, key);
  direct::RegCloseKey(key);
  return (rc == 0 || Gone(static_cast<uint32_t>(rc)) || Refused(rc)) && all;
}

// The key of the tree made again: volatile or a link as it was, its
// values set next through the key kept open.
struct Made {
  RegKey key = 0;
  std::string path;
} Current;

void CloseCurrent() {
  if (Current.key) direct::RegCloseKey(Current.key);
  Current = Made();
}

bool MakeTreeKey(const Entry& e) {
  CloseCurrent();
  direct::KeyFacts facts;
  facts.isVolatile = (e.type & kVolatileKey) != 0;
  facts.link = (e.type & kLinkKey) != 0;
  facts.target = e.data;
  const long rc = direct::RegMakeTreeKey(e.path, facts, &Current.key);
  if (rc != 0) return Refused(rc);
  Current.path = e.path;
  return true;
}

bool PutTreeValue(const Entry& e) {
  if (!Current.key || Current.path != e.path) return Refused(static_cast<long>(kErrorFileNotFound));
  const long rc = direct::RegSetTreeValue(Current.key, e.name, e.type, e.data);
  return rc == 0 || Refused(rc);
}

// The parts of a tree made again (entries first to end) get their keys'
// security, the deepest first: a descriptor that keeps this program out of
// a key must not keep it from the keys below.
bool SetTreeSecurity(size_t first, size_t end) {
  CloseCurrent();
  bool all = true;
  for (size_t i = first; i < end; ++i) {
    const Entry& e = Entries[i];
    if (e.kind != kTreeKey || e.name.empty()) continue;
    const long rc = direct::RegSetTreeKeySecurity(e.path, e.name);
    all = (rc == 0 || Refused(rc)) && all;
  }
  return all;
}

// A value back as it was: its type and bytes as stored, or not there.
bool PutValue(const Entry& e) {
  RegKey key = 0;
  long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, e.path, kKeyAllAccess, &key);
  if (rc != 0) return (!e.existed && Gone(static_cast<uint32_t>(rc))) || Refused(rc);
  rc = e.existed ? direct::RegSetTreeValue(key, direct::NativeName(e.name), e.type, e.data)
                 : direct::RegDeleteValueA(key, e.name);
  direct::RegCloseKey(key);
  return rc == 0 || (!e.existed && Gone(static_cast<uint32_t>(rc))) || Refused(rc);
}

// Whether anything is at the name; false also when that cannot be told.
bool There(const std::string& path) {
  const Found found = Look(path);
  return found == kAFile || found == kOther;
}

// The file back from aside over whatever took its name; an aside that is
// not there means the file never left (or is back already).
bool PutFile(const Entry& e) {
  if (!e.existed) return direct::DeleteFileA(e.path) || Gone(GetLastError());
  if (There(e.name)) return Rename(e.name, e.path, true);
  return There(e.path);
}

bool PutBackMoved(const Entry& e) {
  if (There(e.path)) return true;
  return Rename(e.name, e.path, false);
}

// A file gone, or not there; false (with its line) when it stays.
bool DeleteStored(const std::string& path, void (*log)(const std::string& line)) {
  if (direct::DeleteFileA(path) || Gone(GetLastError())) return true;
  log(Failed("delete ", path));
  return false;
}

// The store's own removal where the system has it (SetupUninstallOEMInfA,
// Windows XP on: the .inf, its .pnf and its catalog). Else its three files:
// SetupCopyOEMInfA put the catalog into the system's catalog root as
// oemN.cat. A line for the .inf, and one for each other file that stays;
// false when one stays.
bool RemoveStoredInf(const std::string& path, void (*log)(const std::string& line)) {
  const std::string name = path.substr(path.rfind('\\') + 1), base = name.substr(0, name.size() - 4);
  bool all = direct::SetupUninstallOEMInfA(name);
  if (!all && (GetLastError() == kErrorProcNotFound || GetLastError() == kErrorModNotFound)) {
    char system[261] = {};
    const uint32_t length = GetSystemDirectoryA(system, sizeof system);
    all = length != 0 && length < sizeof system && DeleteStored(std::string(system) + kCatalogRoot + base + ".cat", log);
    all = DeleteStored(path.substr(0, path.size() - 4) + ".pnf", log) && all;
    if (!DeleteStored(path, log)) return false;
  } else if (!all) {
    log(Failed("delete ", path));
    return false;
  }
  log("UNDO: Deleted " + path);
  return all;
}

// Each .inf of the store that was not there before and has the stored
// INF's bytes goes, with a line each; one that cannot be read may be it,
// and is named.
bool RemoveNewInfs(const Entry& e, void (*log)(const std::string& line)) {
  std::vector<std::string> now;
  std::string store;
  bool all = StoredInfs(&now, &store);
  if (!all) log(Failed("restore ", e.path));
  const std::vector<std::string> before = SplitNames(e.data);
  for (const std::string& name : now) {
    if (name.size() <= 4 || !Same(name.substr(name.size() - 4), ".inf") || Listed(before, name)) continue;
    std::string bytes;
    if (!ReadBytes(store + name, &bytes)) {
      log(Failed("delete ", store + name));
      all = false;
      continue;
    }
    if (bytes != e.name) continue;
    all = RemoveStoredInf(store + name, log) && all;
  }
  return all;
}

}  // namespace

bool DeleteProbes(const std::string& path) {
  RegKey key = 0;
  long rc = direct::RegOpenTreeKey(kHKeyLocalMachine, path, &key);
  if (rc != 0) return Gone(static_cast<uint32_t>(rc)) || Refused(rc);
  std::vector<std::string> subkeys;
  bool all = (rc = TreeSubkeys(key, &subkeys)) == 0 || Refused(rc);
  direct::RegCloseKey(key);
  const std::string separator = direct::NativeName("\\");
  for (const std::string& sub : subkeys)
    all = (sub == ProbeName() ? DeleteTree(kHKeyLocalMachine, path + separator + sub)
                              : DeleteProbes(path + separator + sub)) && all;
  return all;
}

bool UndoAll(void (*log)(const std::string& line)) {
  bool all = true;
  // The tree being made again: its key's entry, and whether every part of
  // it came back so far.
  size_t tree = Entries.size();
  bool whole = true;
  for (size_t i = Entries.size(); i-- > 0;) {
    const Entry& e = Entries[i];
    bool done = false;
    switch (e.kind) {
      case kValue: done = PutValue(e); break;
      case kKey: done = DeleteTree(kHKeyLocalMachine, direct::NativeName(e.path)); break;
      case kFile: done = PutFile(e); break;
      case kMoved: done = PutBackMoved(e); break;
      case kOemInf: done = RemoveNewInfs(e, log); break;
      case kTreeKey: done = MakeTreeKey(e); break;
      case kTreeValue: done = PutTreeValue(e); break;
      case kTreeStart: done = SetTreeSecurity(i + 1, tree < Entries.size() ? tree : i + 1) && DeleteProbes(e.path); break;
    }
    all = all && done;
    std::string path = e.kind == kTreeKey || e.kind == kTreeValue ? direct::PrintableName(e.path) : e.path;
    if (e.kind == kValue) path.append(1, '\\').append(e.name);
    if (e.kind == kTreeValue) path.append(1, '\\').append(direct::PrintableName(e.name));
    if (e.kind == kTreeStart) path = e.name;
    if (e.kind == kKey && e.existed) {
      // The tree it held is logged once it is whole again, at its start.
      tree = i;
      whole = done;
      if (done) continue;
    }
    if (e.quiet) whole = whole && done;
    if (e.kind == kTreeStart) {
      const bool restored = done && whole && tree < Entries.size();
      tree = Entries.size();
      if (restored) log("UNDO: Restored " + path);
      if (done) continue;
    }
    if ((done && e.quiet) || e.kind == kOemInf) continue;
    const bool back = (e.existed && e.kind != kOemInf) || e.kind == kMoved;
    if (done) {
      log((back ? "UNDO: Restored " : "UNDO: Deleted ") + path);
      continue;
    }
    log(Failed(back ? "restore " : "delete ", path));
    // A file that did not come back may still be aside: that stays too.
    if (e.kind == kFile && e.existed) log(Failed("delete ", e.name));
  }
  CloseCurrent();
  return all;
}

// A second try gets past a scanner that held the file a moment ago; one
// that stays in use (a driver the system has loaded) goes at the next start
// of Windows where the NT family can do that.
bool DeleteAsides(void (*log)(const std::string& line)) {
  bool all = true;
  for (const Entry& e : Entries) {
    if (e.kind != kFile || !e.existed) continue;
    bool gone = false;
    for (int tries = 0; tries < 2 && !gone; ++tries) gone = direct::DeleteFileA(e.name) || Gone(GetLastError());
    if (gone) continue;
    if (direct::MoveFileExA(e.name, "", direct::kMovefileDelayUntilReboot)) {
      log("JNL: " + e.name + " is deleted at the next start");
      continue;
    }
    log("JNL: Failed to delete " + e.name);
    all = false;
  }
  return all;
}

bool Rename(const std::string& from, const std::string& to, bool replace) {
  const uint32_t flags = direct::kMovefileWriteThrough | (replace ? direct::kMovefileReplaceExisting : 0);
  if (direct::MoveFileExA(from, to, flags)) return true;
  if (GetLastError() != kErrorCallNotImplemented) return false;
  // Windows 9x: what holds the name goes first.
  if (replace && !direct::DeleteFileA(to) && !Gone(GetLastError())) return false;
  return direct::MoveFileA(from, to);
}

}  // namespace plat::journal
