// The journal: the calls of platform.h that change the system, recording
// what each change replaces before the backend makes it (platform/direct.h),
// and the undo of what was recorded.
#include "platform/journal.h"

#include <map>
#include <utility>
#include <vector>

#include "platform/direct.h"
#include "platform/journalentry.h"

namespace plat {

namespace {

using journal::Entry;
using journal::Kind;
using journal::Same;

bool Recording = false;
std::string KeepDir;
std::vector<Entry>& Entries = journal::Entries;
unsigned KeptFiles = 0;                  // for the names of the copies, over the whole run
std::map<RegKey, std::string> KeyPaths;  // the open keys under HKLM and their paths

// base\sub with single separators and none at either end.
std::string Join(const std::string& base, const std::string& sub) {
  std::string path = base;
  for (char c : "\\" + sub)
    if (c != '\\' || (!path.empty() && path.back() != '\\')) path += c;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// The path under HKLM of an open key; false for a key of another root.
bool PathOf(RegKey key, std::string* path) {
  if (key == kHKeyLocalMachine) return path->clear(), true;
  auto it = KeyPaths.find(key);
  if (it == KeyPaths.end()) return false;
  *path = it->second;
  return true;
}

long Track(long rc, RegKey root, const std::string& subKey, RegKey* result) {
  std::string base;
  if (rc == 0 && PathOf(root, &base))
    KeyPaths[*result] = Join(base, subKey);
  else if (rc == 0)
    KeyPaths.erase(*result);
  return rc;
}

bool Recorded(Kind kind, const std::string& path, const std::string& name = "") {
  for (const Entry& e : Entries)
    if (e.kind == kind && Same(e.path, path) && Same(e.name, name)) return true;
  return false;
}

// A key recorded before (whose undo puts back its whole tree) holds it.
bool Covered(const std::string& path) {
  for (const Entry& e : Entries)
    if (e.kind == Kind::Key && (Same(e.path, path) || (path.size() > e.path.size() && path[e.path.size()] == '\\' &&
                                                      Same(path.substr(0, e.path.size()), e.path))))
      return true;
  return false;
}

// A change that failed changed nothing: its entries go again.
void Drop(size_t mark) { Entries.resize(mark); }

long ReadValue(RegKey key, const std::string& path, const std::string& name, Entry* e) {
  e->kind = Kind::Value;
  e->path = path;
  e->name = name;
  uint32_t size = 0;
  long rc = RegQueryValueExA(key, name, &e->type, nullptr, &size);
  if (rc == kErrorFileNotFound) return 0;
  if (rc == 0) {
    e->data.resize(size);
    rc = RegQueryValueExA(key, name, &e->type, e->data.data(), &size);
    e->data.resize(size);
  }
  e->existed = rc == 0;
  return rc;
}

// Appends the key and everything below it to tree.
long ReadTree(const std::string& path, std::vector<Entry>* tree) {
  RegKey key = 0;
  long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, path, kKeyRead, &key);
  if (rc != 0) return rc;
  tree->push_back(journal::Make(Kind::Key, path, true));
  std::string name(16384, '\0');
  std::vector<std::string> subkeys;
  for (uint32_t i = 0; rc == 0; ++i) {
    uint32_t size = static_cast<uint32_t>(name.size());
    if ((rc = RegEnumValueA(key, i, &name[0], &size)) != 0) break;
    Entry value;
    if ((rc = ReadValue(key, path, name.substr(0, size), &value)) == 0) tree->push_back(value);
  }
  for (uint32_t i = 0; rc == kErrorNoMoreItems || rc == 0; ++i) {
    uint32_t size = static_cast<uint32_t>(name.size());
    if ((rc = RegEnumKeyExA(key, i, &name[0], &size)) != 0) break;
    subkeys.push_back(name.substr(0, size));
  }
  direct::RegCloseKey(key);
  if (rc != kErrorNoMoreItems) return rc;
  for (const std::string& sub : subkeys)
    if ((rc = ReadTree(path + "\\" + sub, tree)) != 0) return rc;
  return 0;
}

// The path with the key's own name as stored (it is put back so), found
// among its parent's subkeys.
std::string StoredName(const std::string& path) {
  const size_t slash = path.rfind('\\');
  const std::string parent = slash == std::string::npos ? "" : path.substr(0, slash), own = path.substr(slash + 1);
  RegKey key = 0;
  if (direct::RegOpenKeyExA(kHKeyLocalMachine, parent, kKeyRead, &key) != 0) return path;
  std::string result = path;
  char name[256];
  uint32_t size = sizeof name;
  for (uint32_t i = 0; RegEnumKeyExA(key, i, name, &size) == 0; ++i, size = sizeof name)
    if (Same(std::string(name, size), own)) result = Join(parent, std::string(name, size));
  direct::RegCloseKey(key);
  return result;
}

// The key as it is now: not there, or its whole tree.
long RecordKey(const std::string& path) {
  if (Covered(path)) return 0;
  Entry e = journal::Make(Kind::Key, path);
  long rc = ReadTree(StoredName(path), &e.tree);
  if (rc != 0 && rc != kErrorFileNotFound) return rc;
  e.existed = rc == 0;
  Entries.push_back(std::move(e));
  return 0;
}

// A key about to be created: the first key of its path that is not there.
long RecordCreate(const std::string& path) {
  for (size_t end = path.find('\\'); true; end = path.find('\\', end + 1)) {
    RegKey key = 0;
    long rc = direct::RegOpenKeyExA(kHKeyLocalMachine, path.substr(0, end), kKeyRead, &key);
    if (rc == kErrorFileNotFound) return RecordKey(path.substr(0, end));
    if (rc != 0) return rc;
    direct::RegCloseKey(key);
    if (end == std::string::npos) return 0;
  }
}

long RecordValue(RegKey key, const std::string& name) {
  std::string path;
  if (!Recording || !PathOf(key, &path) || Covered(path) || Recorded(Kind::Value, path, name)) return 0;
  Entry e;
  long rc = ReadValue(key, path, name, &e);
  if (rc == 0) Entries.push_back(std::move(e));
  return rc;
}

bool UnderKeepDir(const std::string& path) {
  return !KeepDir.empty() && path.size() > KeepDir.size() && path[KeepDir.size()] == '\\' &&
         Same(path.substr(0, KeepDir.size()), KeepDir);
}

// The file as it is now: not there, or copied into the keep directory with
// its three times.
bool RecordFile(const std::string& path) {
  if (!Recording || UnderKeepDir(path) || Recorded(Kind::File, path)) return true;
  Entry e = journal::Make(Kind::File, path);
  FileHandle file =
      direct::CreateFileA(path, Access::Read, kFileShareRead | kFileShareWrite, Disposition::OpenExisting);
  if (file == kInvalidFile) {
    uint32_t error = GetLastError();
    if (error != kErrorFileNotFound && error != kErrorPathNotFound) return false;
  } else {
    bool timed = GetFileTime(file, &e.times[0], &e.times[1], &e.times[2]);
    CloseHandle(file);
    if (!timed || KeepDir.empty()) return false;
    std::string number;
    for (unsigned n = ++KeptFiles; n; n /= 10) number.insert(number.begin(), static_cast<char>('0' + n % 10));
    e.kept = KeepDir + "\\UNDO." + number;
    if (!direct::CopyFileA(path, e.kept, true)) return false;
    e.existed = true;
  }
  Entries.push_back(std::move(e));
  return true;
}

// The oemN.inf names in the store of setup information files.
bool StoredInfs(std::vector<std::string>* names) {
  char windows[261] = {};
  uint32_t length = GetWindowsDirectoryA(windows, sizeof windows);
  if (length == 0 || length >= sizeof windows) return false;
  FindData found;
  FindHandle find = FindFirstFileA(std::string(windows) + "\\INF\\*", &found);
  if (find == kInvalidFind) return GetLastError() == kErrorFileNotFound || GetLastError() == kErrorPathNotFound;
  do names->push_back(found.name);
  while (FindNextFileA(find, &found));
  const bool complete = GetLastError() == 18;  // ERROR_NO_MORE_FILES
  return FindClose(find) && complete;
}

}  // namespace

void JournalBegin(const std::string& keepDir) {
  Entries.clear();
  KeepDir = keepDir;
  while (!KeepDir.empty() && KeepDir.back() == '\\') KeepDir.pop_back();
  Recording = true;
}

void JournalEnd() {
  Recording = false;
  Entries.clear();
}

bool JournalUndo(void (*log)(const std::string& line)) {
  Recording = false;
  bool all = journal::UndoAll(log);
  Entries.clear();
  return all;
}

bool JournalRecording() { return Recording; }

bool JournalKey(const std::string& path) { return !Recording || RecordKey(Join("", path)) == 0; }

// ---- The calls of platform.h that change the system

long RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  return Track(direct::RegOpenKeyExA(root, subKey, access, result), root, subKey, result);
}

long RegOpenKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  return Track(direct::RegOpenKeyA(root, subKey, result), root, subKey, result);
}

namespace {
template <typename Create>
long Created(RegKey root, const std::string& subKey, RegKey* result, Create create) {
  const size_t mark = Entries.size();
  std::string base;
  if (Recording && PathOf(root, &base)) {
    long rc = RecordCreate(Join(base, subKey));
    if (rc != 0) return *result = 0, rc;
  }
  long rc = create();
  if (rc != 0) Drop(mark);
  return Track(rc, root, subKey, result);
}
}  // namespace

long RegCreateKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  return Created(root, subKey, result, [&] { return direct::RegCreateKeyA(root, subKey, result); });
}

long RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  return Created(root, subKey, result, [&] { return direct::RegCreateKeyExA(root, subKey, access, result); });
}

long RegCloseKey(RegKey key) {
  KeyPaths.erase(key);
  return direct::RegCloseKey(key);
}

long RegSetValueExA(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) {
  const size_t mark = Entries.size();
  long rc = RecordValue(key, name);
  if (rc == 0 && (rc = direct::RegSetValueExA(key, name, type, data, size)) != 0) Drop(mark);
  return rc;
}

long RegDeleteValueA(RegKey key, const std::string& name) {
  const size_t mark = Entries.size();
  long rc = RecordValue(key, name);
  if (rc == 0 && (rc = direct::RegDeleteValueA(key, name)) != 0) Drop(mark);
  return rc;
}

long RegDeleteKeyA(RegKey key, const std::string& subKey) {
  const size_t mark = Entries.size();
  std::string base;
  long rc = Recording && PathOf(key, &base) ? RecordKey(Join(base, subKey)) : 0;
  if (rc == 0 && (rc = direct::RegDeleteKeyA(key, subKey)) != 0) Drop(mark);
  return rc;
}

FileHandle CreateFileA(const std::string& path, Access access, uint32_t shareMode, Disposition disposition) {
  const size_t mark = Entries.size();
  const bool changes = access != Access::Read || disposition != Disposition::OpenExisting;
  if (changes && !RecordFile(path)) return kInvalidFile;
  FileHandle file = direct::CreateFileA(path, access, shareMode, disposition);
  if (file == kInvalidFile) Drop(mark);
  return file;
}

bool DeleteFileA(const std::string& path) {
  const size_t mark = Entries.size();
  if (!RecordFile(path)) return false;
  if (direct::DeleteFileA(path)) return true;
  Drop(mark);
  return false;
}

bool MoveFileA(const std::string& from, const std::string& to) {
  const size_t mark = Entries.size();
  if (!RecordFile(to) || !RecordFile(from)) return Drop(mark), false;
  if (direct::MoveFileA(from, to)) return true;
  Drop(mark);
  return false;
}

bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists) {
  const size_t mark = Entries.size();
  if (!RecordFile(to)) return false;
  if (direct::CopyFileA(from, to, failIfExists)) return true;
  Drop(mark);
  return false;
}

bool SetupCopyOEMInfA(const std::string& sourceInfFileName, const char* oemSourceMediaLocation,
                      uint32_t oemSourceMediaType, uint32_t copyStyle) {
  std::vector<std::string> before;
  if (Recording && !StoredInfs(&before)) return false;
  std::string stored;
  if (!direct::SetupCopyOEMInfA(sourceInfFileName, oemSourceMediaLocation, oemSourceMediaType, copyStyle, &stored))
    return false;
  if (!Recording) return true;
  const std::string name = stored.substr(stored.rfind('\\') + 1);
  for (const std::string& old : before)
    if (Same(old, name)) return true;
  Entries.push_back(journal::Make(Kind::OemInf, stored));
  return true;
}

}  // namespace plat
