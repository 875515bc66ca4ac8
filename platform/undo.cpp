// The undo of the journal: each entry puts back what it recorded, the last
// first, through the backend's own calls (nothing of it is recorded again).
#include "platform/direct.h"
#include "platform/journalentry.h"

namespace plat::journal {

namespace {

// The key with all its subkeys; true when it is not there afterwards.
bool DeleteTree(const std::string& path) {
  RegKey key = 0;
  long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, path, kKeyRead, &key);
  if (rc != 0) return Gone(static_cast<uint32_t>(rc));
  std::string subkeys;
  Subkeys(key, &subkeys);  // those it could list
  direct::RegCloseKey(key);
  bool all = true;
  for (size_t at = 0; at < subkeys.size(); at = subkeys.find('\\', at + 1))
    all = DeleteTree(path + Item(subkeys, at)) && all;
  rc = direct::RegDeleteKeyA(kHKeyLocalMachine, path);
  return (rc == 0 || Gone(static_cast<uint32_t>(rc))) && all;
}

bool MakeKey(const std::string& path) {
  RegKey key = 0;
  if (direct::RegCreateKeyA(kHKeyLocalMachine, path, &key) != 0) return false;
  direct::RegCloseKey(key);
  return true;
}

// A value back as it was: its type and bytes, or not there.
bool PutValue(const Entry& e) {
  RegKey key = 0;
  long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, e.path, kKeyAllAccess, &key);
  if (rc != 0) return !e.existed && Gone(static_cast<uint32_t>(rc));
  rc = e.existed ? direct::RegSetValueExA(key, e.name, e.type, reinterpret_cast<const uint8_t*>(e.data.data()),
                                          static_cast<uint32_t>(e.data.size()))
                 : direct::RegDeleteValueA(key, e.name);
  direct::RegCloseKey(key);
  return rc == 0 || (!e.existed && Gone(static_cast<uint32_t>(rc)));
}

// Whether anything is at the name; false also when that cannot be told.
bool There(const std::string& path) {
  FindData found;
  FindHandle find = FindFirstFileA(path, &found);
  if (find == kInvalidFind) return false;
  FindClose(find);
  return true;
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

// The store's own removal where the system has it; else its two files.
bool RemoveStoredInf(const std::string& path) {
  if (direct::SetupUninstallOEMInfA(path.substr(path.rfind('\\') + 1))) return true;
  if (GetLastError() != kErrorProcNotFound && GetLastError() != kErrorModNotFound) return false;
  const bool inf = direct::DeleteFileA(path) || Gone(GetLastError());
  const std::string pnf = path.substr(0, path.size() - 4) + ".pnf";
  return (direct::DeleteFileA(pnf) || Gone(GetLastError())) && inf;
}

// Each .inf of the store that was not there before goes, with a line each.
bool RemoveNewInfs(const Entry& e, void (*log)(const std::string& line)) {
  std::string now, store;
  bool all = StoredInfs(&now, &store);
  if (!all) log("UNDO: Failed to restore " + e.path);
  for (size_t at = 0; at < now.size(); at = now.find('\\', at + 1)) {
    const std::string name = Item(now, at).substr(1);
    if (name.size() <= 4 || !Same(name.substr(name.size() - 4), ".inf") || Find(e.data, name) != std::string::npos)
      continue;
    const bool removed = RemoveStoredInf(store + name);
    log((removed ? "UNDO: Deleted " : "UNDO: Failed to delete ") + store + name);
    all = removed && all;
  }
  return all;
}

}  // namespace

bool UndoAll(void (*log)(const std::string& line)) {
  bool all = true;
  for (auto e = Entries.rbegin(); e != Entries.rend(); ++e) {
    bool done = false;
    switch (e->kind) {
      case kValue: done = PutValue(*e); break;
      case kKey: done = e->quiet ? MakeKey(e->path) : DeleteTree(e->path); break;
      case kFile: done = PutFile(*e); break;
      case kMoved: done = PutBackMoved(*e); break;
      case kOemInf: done = RemoveNewInfs(*e, log); break;
    }
    all = all && done;
    // A key that existed is logged as restored when its tree goes; its
    // parts follow.
    const bool back = (e->existed && e->kind != kOemInf) || e->kind == kMoved;
    if ((done && e->quiet) || e->kind == kOemInf) continue;
    static const char* const kSaid[] = {"UNDO: Deleted ", "UNDO: Restored ", "UNDO: Failed to delete ",
                                        "UNDO: Failed to restore "};
    std::string line = kSaid[(done ? 0 : 2) + back];
    line += e->path;
    if (e->kind == kValue) line.append(1, '\\').append(e->name);
    log(line);
    // A file that did not come back may still be aside: that stays too.
    if (!done && e->kind == kFile && e->existed) log("UNDO: Failed to delete " + e->name);
  }
  return all;
}

bool DeleteAsides(void (*log)(const std::string& line)) {
  bool all = true;
  for (const Entry& e : Entries) {
    if (e.kind != kFile || !e.existed || !There(e.name) || direct::DeleteFileA(e.name)) continue;
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
