// The journal: the calls of platform.h that change the system record what
// each change replaces before the backend makes it (platform/direct.h). A
// change that fails changed nothing, and its record goes again.
#include "platform/journal.h"

#include <algorithm>

#include "platform/direct.h"
#include "platform/journalentry.h"

namespace plat {

namespace {

using journal::Add;
using journal::Entries;
using journal::Entry;
using journal::Join;
using journal::Same;
using journal::Truncate;

bool Recording = false;
std::string KeepDir;
unsigned KeptFiles = 0;  // for the names of the copies, over the whole run
// The open keys under HKLM, each with its path (in no order).
std::vector<Entry> OpenKeys;

Entry* Opened(RegKey key) {
  for (Entry& open : OpenKeys)
    if (open.key == key) return &open;
  return nullptr;
}

// The path under HKLM of an open key; false for a key of another root.
bool PathOf(RegKey key, std::string* path) {
  const Entry* open = Opened(key);
  path->clear();
  if (open) *path = open->path;
  return open || key == kHKeyLocalMachine;
}

void Forget(RegKey key) {
  Entry* open = Opened(key);
  if (!open) return;
  // The last one takes its place.
  open->key = OpenKeys.back().key;
  open->path.swap(OpenKeys.back().path);
  OpenKeys.pop_back();
}

long Track(long rc, RegKey root, const std::string& subKey, RegKey* result) {
  std::string base;
  if (rc != 0) return rc;
  const bool localMachine = PathOf(root, &base);
  Forget(*result);
  if (localMachine) Add(&OpenKeys, journal::kKey, Join(base, subKey)).key = *result;
  return rc;
}

long RecordValue(RegKey key, const std::string& name) {
  std::string path;
  if (!Recording || !PathOf(key, &path) || journal::Covered(path, &name)) return 0;
  return journal::ReadValue(key, name, &Add(&Entries, journal::kValue, path));
}

// The file as it is now: not there, or copied into the keep directory with
// its three times.
bool RecordFile(const std::string& path) {
  if (!Recording || (!KeepDir.empty() && journal::Below(path, KeepDir))) return true;
  for (const Entry& e : Entries)
    if (e.kind == journal::kFile && Same(e.path, path)) return true;
  FileHandle file =
      direct::CreateFileA(path, Access::Read, kFileShareRead | kFileShareWrite, Disposition::OpenExisting);
  if (file == kInvalidFile) {
    if (!journal::Gone(GetLastError())) return false;
    Add(&Entries, journal::kFile, path);
    return true;
  }
  FileTime times[3] = {0, 0, 0};
  const bool timed = GetFileTime(file, &times[0], &times[1], &times[2]);
  CloseHandle(file);
  char number[12] = {}, *digit = number + sizeof number - 1;
  for (unsigned n = ++KeptFiles; n; n /= 10) *--digit = static_cast<char>('0' + n % 10);
  const std::string kept = KeepDir + "\\UNDO." + digit;
  if (!timed || KeepDir.empty() || !direct::CopyFileA(path, kept, true)) return false;
  Entry& e = Add(&Entries, journal::kFile, path, true);
  e.name = kept;
  std::copy(times, times + 3, e.times);
  return true;
}

// The names of the files in the store of setup information files, as a
// list, and the store's folder.
bool StoredInfs(std::string* names, std::string* store) {
  char windows[261] = {};
  uint32_t length = GetWindowsDirectoryA(windows, sizeof windows);
  if (length == 0 || length >= sizeof windows) return false;
  *store = std::string(windows) + "\\INF\\";
  FindData found;
  FindHandle find = FindFirstFileA(*store + "*", &found);
  if (find == kInvalidFind) return journal::Gone(GetLastError());
  do names->append(1, '\\').append(found.name);
  while (FindNextFileA(find, &found));
  const bool complete = GetLastError() == 18;  // ERROR_NO_MORE_FILES
  return FindClose(find) && complete;
}

}  // namespace

void JournalBegin(const std::string& keepDir) {
  Truncate(0);
  KeepDir = keepDir;
  while (!KeepDir.empty() && KeepDir.back() == '\\') KeepDir.pop_back();
  Recording = true;
}

void JournalEnd() {
  Recording = false;
  Truncate(0);
}

bool JournalUndo(void (*log)(const std::string& line)) {
  Recording = false;
  const bool all = journal::UndoAll(log);
  Truncate(0);
  return all;
}

bool JournalRecording() { return Recording; }

bool JournalKey(const std::string& path) { return !Recording || journal::RecordKey(Join("", path)) == 0; }

// ---- The calls of platform.h that change the system
//
// Each notes how many entries there were; when the change fails, it changed
// nothing and the entries it added go again.

long RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  return Track(direct::RegOpenKeyExA(root, subKey, access, result), root, subKey, result);
}

long RegOpenKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  return Track(direct::RegOpenKeyA(root, subKey, result), root, subKey, result);
}

namespace {
// Both creates: first the first key of its path that is not there yet.
long Create(RegKey root, const std::string& subKey, const uint32_t* access, RegKey* result) {
  const size_t mark = Entries.size();
  std::string base;
  *result = 0;
  long rc = Recording && PathOf(root, &base) ? journal::RecordCreate(Join(base, subKey)) : 0;
  if (rc == 0)
    rc = access ? direct::RegCreateKeyExA(root, subKey, *access, result) : direct::RegCreateKeyA(root, subKey, result);
  if (rc != 0) Truncate(mark);
  return Track(rc, root, subKey, result);
}

// A value set (data) or deleted (no data).
long ChangeValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, const uint32_t* size) {
  const size_t mark = Entries.size();
  long rc = RecordValue(key, name);
  if (rc == 0)
    rc = size ? direct::RegSetValueExA(key, name, type, data, *size) : direct::RegDeleteValueA(key, name);
  if (rc != 0) Truncate(mark);
  return rc;
}
}  // namespace

long RegCreateKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  return Create(root, subKey, nullptr, result);
}

long RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  return Create(root, subKey, &access, result);
}

long RegCloseKey(RegKey key) {
  Forget(key);
  return direct::RegCloseKey(key);
}

long RegSetValueExA(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) {
  return ChangeValue(key, name, type, data, &size);
}

long RegDeleteValueA(RegKey key, const std::string& name) { return ChangeValue(key, name, 0, nullptr, nullptr); }

long RegDeleteKeyA(RegKey key, const std::string& subKey) {
  const size_t mark = Entries.size();
  std::string base;
  long rc = Recording && PathOf(key, &base) ? journal::RecordKey(Join(base, subKey)) : 0;
  if (rc == 0 && (rc = direct::RegDeleteKeyA(key, subKey)) != 0) Truncate(mark);
  return rc;
}

FileHandle CreateFileA(const std::string& path, Access access, uint32_t shareMode, Disposition disposition) {
  const size_t mark = Entries.size();
  const bool changes = access != Access::Read || disposition != Disposition::OpenExisting;
  if (changes && !RecordFile(path)) return kInvalidFile;
  FileHandle file = direct::CreateFileA(path, access, shareMode, disposition);
  if (file == kInvalidFile) Truncate(mark);
  return file;
}

bool DeleteFileA(const std::string& path) {
  const size_t mark = Entries.size();
  if (RecordFile(path) && direct::DeleteFileA(path)) return true;
  Truncate(mark);
  return false;
}

bool MoveFileA(const std::string& from, const std::string& to) {
  const size_t mark = Entries.size();
  if (RecordFile(to) && RecordFile(from) && direct::MoveFileA(from, to)) return true;
  Truncate(mark);
  return false;
}

bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists) {
  const size_t mark = Entries.size();
  if (RecordFile(to) && direct::CopyFileA(from, to, failIfExists)) return true;
  Truncate(mark);
  return false;
}

bool SetupCopyOEMInfA(const std::string& sourceInfFileName, const char* oemSourceMediaLocation,
                      uint32_t oemSourceMediaType, uint32_t copyStyle) {
  std::string before, after, store;
  if (Recording && !StoredInfs(&before, &store)) return false;
  if (!direct::SetupCopyOEMInfA(sourceInfFileName, oemSourceMediaLocation, oemSourceMediaType, copyStyle))
    return false;
  // Only an INF the store did not hold before is this action's (the same
  // file stored before keeps its name). A store that cannot be listed now
  // leaves nothing to take out again.
  if (!Recording || !StoredInfs(&after, &store)) return true;
  for (size_t at = 0; at < after.size(); at = after.find('\\', at + 1)) {
    const std::string name = journal::Item(after, at).substr(1);
    if (name.size() > 4 && Same(name.substr(name.size() - 4), ".inf") && journal::Find(before, name) == std::string::npos)
      Add(&Entries, journal::kOemInf, store + name);
  }
  return true;
}

}  // namespace plat
