// The journal: the calls of platform.h that change the system record what
// each change replaces before the backend makes it (platform/direct.h). A
// change that fails changed nothing, and its record goes again.
#include "platform/journal.h"

#include "platform/direct.h"
#include "platform/journalentry.h"

namespace plat {

namespace {

using journal::Entries;
using journal::Entry;
using journal::Join;
using journal::Same;

bool Recording = false;
std::string KeepDir;
unsigned KeptFiles = 0;  // for the names of the copies, over the whole run
// The open keys under HKLM and their paths.
std::vector<RegKey> OpenKeys;
std::vector<std::string> OpenPaths;

// The path under HKLM of an open key; false for a key of another root.
bool PathOf(RegKey key, std::string* path) {
  path->clear();
  for (size_t i = 0; i < OpenKeys.size(); ++i)
    if (OpenKeys[i] == key) return *path = OpenPaths[i], true;
  return key == kHKeyLocalMachine;
}

void Forget(RegKey key) {
  for (size_t i = 0; i < OpenKeys.size(); ++i)
    if (OpenKeys[i] == key) {
      OpenKeys.erase(OpenKeys.begin() + static_cast<long>(i));
      OpenPaths.erase(OpenPaths.begin() + static_cast<long>(i));
      return;
    }
}

long Track(long rc, RegKey root, const std::string& subKey, RegKey* result) {
  std::string base;
  if (rc != 0) return rc;
  const bool localMachine = PathOf(root, &base);
  Forget(*result);
  if (localMachine) OpenKeys.push_back(*result), OpenPaths.push_back(Join(base, subKey));
  return rc;
}

// Keeps the entries up to mark: the change after them failed.
template <typename Result>
Result Drop(size_t mark, Result result) {
  Entries.erase(Entries.begin() + static_cast<long>(mark), Entries.end());
  return result;
}

long RecordValue(RegKey key, const std::string& name) {
  std::string path;
  if (!Recording || !PathOf(key, &path) || journal::Covered(path, &name)) return 0;
  Entry e;
  long rc = journal::ReadValue(key, path, name, &e);
  if (rc == 0) Entries.push_back(e);
  return rc;
}

// The file as it is now: not there, or copied into the keep directory with
// its three times.
bool RecordFile(const std::string& path) {
  if (!Recording || (!KeepDir.empty() && Same(path.substr(0, KeepDir.size() + 1), KeepDir + "\\"))) return true;
  for (const Entry& e : Entries)
    if (e.kind == journal::kFile && Same(e.path, path)) return true;
  Entry e = journal::Make(journal::kFile, path);
  FileHandle file =
      direct::CreateFileA(path, Access::Read, kFileShareRead | kFileShareWrite, Disposition::OpenExisting);
  if (file == kInvalidFile) {
    if (GetLastError() != kErrorFileNotFound && GetLastError() != kErrorPathNotFound) return false;
  } else {
    bool timed = GetFileTime(file, &e.times[0], &e.times[1], &e.times[2]);
    CloseHandle(file);
    std::string number;
    for (unsigned n = ++KeptFiles; n; n /= 10) number.insert(number.begin(), static_cast<char>('0' + n % 10));
    e.name = KeepDir + "\\UNDO." + number;
    if (!timed || KeepDir.empty() || !direct::CopyFileA(path, e.name, true)) return false;
    e.existed = true;
  }
  Entries.push_back(e);
  return true;
}

// The full paths of the files in the store of setup information files.
bool StoredInfs(std::vector<std::string>* names) {
  char windows[261] = {};
  uint32_t length = GetWindowsDirectoryA(windows, sizeof windows);
  if (length == 0 || length >= sizeof windows) return false;
  const std::string store = std::string(windows) + "\\INF\\";
  FindData found;
  FindHandle find = FindFirstFileA(store + "*", &found);
  if (find == kInvalidFind) return GetLastError() == kErrorFileNotFound || GetLastError() == kErrorPathNotFound;
  do names->push_back(store + found.name);
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
  const bool all = journal::UndoAll(log);
  Entries.clear();
  return all;
}

bool JournalRecording() { return Recording; }

bool JournalKey(const std::string& path) { return !Recording || journal::RecordKey(Join("", path)) == 0; }

// ---- The calls of platform.h that change the system

long RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  return Track(direct::RegOpenKeyExA(root, subKey, access, result), root, subKey, result);
}

long RegOpenKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  return Track(direct::RegOpenKeyA(root, subKey, result), root, subKey, result);
}

namespace {
// Before a create: the first key of its path that is not there yet.
long RecordCreate(RegKey root, const std::string& subKey, RegKey* result) {
  std::string base;
  *result = 0;
  return Recording && PathOf(root, &base) ? journal::RecordCreate(Join(base, subKey)) : 0;
}
}  // namespace

long RegCreateKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  const size_t mark = Entries.size();
  long rc = RecordCreate(root, subKey, result);
  if (rc == 0 && (rc = direct::RegCreateKeyA(root, subKey, result)) != 0) Drop(mark, 0);
  return Track(rc, root, subKey, result);
}

long RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  const size_t mark = Entries.size();
  long rc = RecordCreate(root, subKey, result);
  if (rc == 0 && (rc = direct::RegCreateKeyExA(root, subKey, access, result)) != 0) Drop(mark, 0);
  return Track(rc, root, subKey, result);
}

long RegCloseKey(RegKey key) {
  Forget(key);
  return direct::RegCloseKey(key);
}

long RegSetValueExA(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) {
  const size_t mark = Entries.size();
  long rc = RecordValue(key, name);
  return rc != 0 ? rc : (rc = direct::RegSetValueExA(key, name, type, data, size)) != 0 ? Drop(mark, rc) : 0;
}

long RegDeleteValueA(RegKey key, const std::string& name) {
  const size_t mark = Entries.size();
  long rc = RecordValue(key, name);
  return rc != 0 ? rc : (rc = direct::RegDeleteValueA(key, name)) != 0 ? Drop(mark, rc) : 0;
}

long RegDeleteKeyA(RegKey key, const std::string& subKey) {
  const size_t mark = Entries.size();
  std::string base;
  long rc = Recording && PathOf(key, &base) ? journal::RecordKey(Join(base, subKey)) : 0;
  return rc != 0 ? rc : (rc = direct::RegDeleteKeyA(key, subKey)) != 0 ? Drop(mark, rc) : 0;
}

FileHandle CreateFileA(const std::string& path, Access access, uint32_t shareMode, Disposition disposition) {
  const size_t mark = Entries.size();
  const bool changes = access != Access::Read || disposition != Disposition::OpenExisting;
  if (changes && !RecordFile(path)) return kInvalidFile;
  FileHandle file = direct::CreateFileA(path, access, shareMode, disposition);
  return file == kInvalidFile ? Drop(mark, file) : file;
}

bool DeleteFileA(const std::string& path) {
  const size_t mark = Entries.size();
  return RecordFile(path) && (direct::DeleteFileA(path) || Drop(mark, false));
}

bool MoveFileA(const std::string& from, const std::string& to) {
  const size_t mark = Entries.size();
  return (RecordFile(to) && RecordFile(from) && direct::MoveFileA(from, to)) || Drop(mark, false);
}

bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists) {
  const size_t mark = Entries.size();
  return (RecordFile(to) && direct::CopyFileA(from, to, failIfExists)) || Drop(mark, false);
}

bool SetupCopyOEMInfA(const std::string& sourceInfFileName, const char* oemSourceMediaLocation,
                      uint32_t oemSourceMediaType, uint32_t copyStyle) {
  std::vector<std::string> before, after;
  if (Recording && !StoredInfs(&before)) return false;
  if (!direct::SetupCopyOEMInfA(sourceInfFileName, oemSourceMediaLocation, oemSourceMediaType, copyStyle))
    return false;
  // Only an INF the store did not hold before is this action's (the same
  // file stored before keeps its name). A store that cannot be listed now
  // leaves nothing to take out again.
  if (!Recording || !StoredInfs(&after)) return true;
  for (const std::string& name : after) {
    bool old = name.size() < 4 || !Same(name.substr(name.size() - 4), ".inf");
    for (const std::string& was : before) old = old || Same(was, name);
    if (!old) Entries.push_back(journal::Make(journal::kOemInf, name));
  }
  return true;
}

}  // namespace plat
