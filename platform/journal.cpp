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
using journal::Join;
using journal::Kind;
using journal::Recorded;
using journal::Same;

bool Recording = false;
std::string KeepDir;
std::vector<Entry>& Entries = journal::Entries;
unsigned KeptFiles = 0;                  // for the names of the copies, over the whole run
std::map<RegKey, std::string> KeyPaths;  // the open keys under HKLM and their paths

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

// A change that failed changed nothing: its entries go again.
void Drop(size_t mark) { Entries.resize(mark); }

long RecordValue(RegKey key, const std::string& name) {
  std::string path;
  if (!Recording || !PathOf(key, &path) || journal::Covered(path) || Recorded(Kind::Value, path, name)) return 0;
  Entry e;
  long rc = journal::ReadValue(key, path, name, &e);
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

bool JournalKey(const std::string& path) { return !Recording || journal::RecordKey(Join("", path)) == 0; }

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
    long rc = journal::RecordCreate(Join(base, subKey));
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
  long rc = Recording && PathOf(key, &base) ? journal::RecordKey(Join(base, subKey)) : 0;
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
