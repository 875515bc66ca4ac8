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

// The kept copy back at its name, with the three times it had.
bool PutFile(const Entry& e) {
  if (!e.existed) return direct::DeleteFileA(e.path) || Gone(GetLastError());
  if (!direct::CopyFileA(e.name, e.path, false)) return false;
  FileHandle file = direct::CreateFileA(e.path, Access::Write, kFileShareWrite, Disposition::OpenExisting);
  if (file == kInvalidFile) return false;
  const bool timed = SetFileTime(file, &e.times[0], &e.times[1], &e.times[2]);
  return CloseHandle(file) && timed;
}

// The store's own removal where the system has it; else its two files.
bool RemoveStoredInf(const Entry& e) {
  if (direct::SetupUninstallOEMInfA(e.path.substr(e.path.rfind('\\') + 1))) return true;
  if (GetLastError() != kErrorProcNotFound && GetLastError() != kErrorModNotFound) return false;
  const bool inf = direct::DeleteFileA(e.path) || Gone(GetLastError());
  const std::string pnf = e.path.substr(0, e.path.size() - 4) + ".pnf";
  return (direct::DeleteFileA(pnf) || Gone(GetLastError())) && inf;
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
      case kOemInf: done = RemoveStoredInf(*e); break;
    }
    all = all && done;
    // A key that existed is logged as restored when its tree goes; its
    // parts follow.
    const bool back = e->existed && e->kind != kOemInf;
    if (done && e->quiet) continue;
    static const char* const kSaid[] = {"UNDO: Deleted ", "UNDO: Restored ", "UNDO: Failed to delete ",
                                        "UNDO: Failed to restore "};
    std::string line = kSaid[(done ? 0 : 2) + back];
    line += e->path;
    if (e->kind == kValue) line.append(1, '\\').append(e->name);
    log(line);
  }
  return all;
}

}  // namespace plat::journal
