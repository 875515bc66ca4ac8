// The journal: the calls of platform.h that change the system record what
// each change replaces before the backend makes it (platform/direct.h). A
// change that fails changed nothing, and its record goes again.
#include "platform/journal.h"

#include <algorithm>
#include <exception>

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
using journal::Found;
using journal::Look;
using journal::kNothing;
using journal::kAFile;
using journal::kOther;
using journal::kUnknown;

bool Recording = false;
std::string KeepDir;
unsigned Names = 0;  // for the names beside files, over the whole run
// The open keys under HKLM, each with its path.
struct OpenKey {
  RegKey key;
  std::string path;
};
std::vector<OpenKey> OpenKeys;

OpenKey* Opened(RegKey key) {
  for (OpenKey& open : OpenKeys)
    if (open.key == key) return &open;
  return nullptr;
}

// The path under HKLM of an open key; false for a key of another root.
bool PathOf(RegKey key, std::string* path) {
  const OpenKey* open = Opened(key);
  path->clear();
  if (open) *path = open->path;
  return open || key == kHKeyLocalMachine;
}

void Forget(RegKey key) {
  OpenKey* open = Opened(key);
  if (!open) return;
  *open = OpenKeys.back();
  OpenKeys.pop_back();
}

long Track(long rc, RegKey root, const std::string& subKey, RegKey* result) {
  std::string base;
  if (rc != 0) return rc;
  const bool localMachine = PathOf(root, &base);
  Forget(*result);
  if (localMachine) OpenKeys.push_back(OpenKey{*result, Join(base, subKey)});
  return rc;
}

long RecordValue(RegKey key, const std::string& name) {
  std::string path;
  if (!Recording || !PathOf(key, &path) || journal::Covered(path, &name)) return 0;
  return journal::ReadValue(key, name, &Add(&Entries, journal::kValue, path));
}

// Whether the action recorded the file already: its first state is kept,
// and what it does to the file since is undone with it.
bool Recorded(const std::string& path) {
  for (const Entry& e : Entries)
    if ((e.kind == journal::kFile || e.kind == journal::kMoved) && Same(e.path, path)) return true;
  return false;
}

bool Skipped(const std::string& path) { return !Recording || (!KeepDir.empty() && journal::Below(path, KeepDir)); }

// A name in path's folder that nothing holds: ~vqdN, no longer than the
// names it stands beside.
bool FreshName(const std::string& path, std::string* fresh) {
  const std::string folder = path.substr(0, path.rfind('\\') + 1);
  for (int tries = 0; tries < 100; ++tries) {
    *fresh = folder + "~vqd" + std::to_string(++Names);
    const Found found = Look(*fresh);
    if (found == kNothing) return true;
    if (found == kUnknown) return false;
  }
  return false;
}

// The change after mark failed; when what it did half-way could not be
// taken back at once, its entries stay for the undo.
template <typename Cleanup>
bool Failed(size_t mark, Cleanup cleanup) {
  const uint32_t error = GetLastError();
  if (cleanup()) Truncate(mark);
  direct::SetLastError(error);
  return false;
}

bool Nothing() { return true; }

// The file at path goes aside (recorded first) so that its name is free;
// kept when it cannot. existed: there was a file to move.
bool MoveAside(const std::string& path, bool* existed) {
  bool readOnly = false;
  const Found found = Look(path, &readOnly);
  *existed = found == kAFile;
  if (found == kNothing) {
    Add(&Entries, journal::kFile, path);
    return journal::Persist();
  }
  // DeleteFileA refuses a read-only file; its rename aside would not.
  if (found != kAFile || readOnly) {
    direct::SetLastError(found == kUnknown ? GetLastError() : kErrorAccessDenied);
    return false;
  }
  std::string aside;
  if (!FreshName(path, &aside)) return false;
  Add(&Entries, journal::kFile, path, true).name = aside;
  return journal::Persist() && journal::Rename(path, aside, false);
}

}  // namespace

bool JournalBegin(const std::string& keepDir) {
  Truncate(0);
  journal::ForgetListing();
  KeepDir = keepDir;
  while (!KeepDir.empty() && KeepDir.back() == '\\') KeepDir.pop_back();
  Recording = journal::Start(KeepDir);
  return Recording;
}

bool JournalEnd(void (*log)(const std::string& line)) {
  Recording = false;
  // Once the end is on disk, a run that dies now is finished, not undone.
  // Where it cannot be written, the journal goes before any aside does;
  // where that fails too, all stays and the next run undoes the action.
  bool done = journal::Commit();
  if (!done) {
    journal::Close();
    done = journal::Discard();
  }
  if (done) done = journal::DeleteAsides(log);
  journal::Stop();
  Truncate(0);
  return done;
}

bool JournalUndo(void (*log)(const std::string& line)) {
  Recording = false;
  bool all = false;
  try {
    all = journal::UndoAll(log);
  } catch (const std::exception&) {
    journal::ProcessEnded();  // closed, and on disk for the next run
    throw;
  }
  journal::Stop();
  Truncate(0);
  return all;
}

bool JournalRecording() { return Recording; }

void journal::ProcessEnded() {
  Recording = false;
  OpenKeys.clear();
  Truncate(0);
  journal::Close();
}

bool JournalKey(const std::string& path) {
  journal::ForgetListing();  // another program is about to change keys
  // It makes the key's missing parents too, as a create does.
  const std::string key = Join("", path);
  return !Recording ||
         (journal::RecordCreate(key) == 0 && journal::RecordKey(key) == 0 && journal::Persist());
}

bool JournalPending() { return journal::Pending(); }

JournalRecovery JournalRecover(void (*log)(const std::string& line), std::string* keepDir) {
  keepDir->clear();
  if (!journal::Pending()) return JournalRecovery::kNone;
  bool committed = false;
  if (!journal::Load(&committed, keepDir)) {
    Truncate(0);
    return JournalRecovery::kUntrusted;
  }
  log(committed ? "JNL: Finishing the journal of a run that ended" : "JNL: Undoing the journal of an interrupted run");
  const bool all = committed ? journal::DeleteAsides(log) : journal::UndoAll(log);
  journal::Stop();
  Truncate(0);
  if (!committed) log(all ? "JNL: Interrupted run undone" : "JNL: Interrupted run not fully undone");
  return all ? JournalRecovery::kRecovered : JournalRecovery::kIncomplete;
}

// ---- The calls of platform.h that change the system
//
// Each records what it replaces and puts that on disk before the backend
// makes the change. A registry call that fails changed nothing, and the
// entries it added go again; a file call that fails takes back at once
// what it did half-way, and where it cannot, its entries stay for the undo.

long RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  return Track(direct::RegOpenKeyExA(root, subKey, access, result), root, subKey, result);
}

long RegOpenKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  return Track(direct::RegOpenKeyA(root, subKey, result), root, subKey, result);
}

namespace {
// The entries on disk, or the error that kept them off it.
long Persisted() {
  if (journal::Persist()) return 0;
  const uint32_t error = GetLastError();
  return error ? static_cast<long>(error) : static_cast<long>(kErrorAccessDenied);
}

// Both creates: first the first key of its path that is not there yet.
long Create(RegKey root, const std::string& subKey, const uint32_t* access, RegKey* result) {
  const size_t mark = Entries.size();
  std::string base;
  *result = 0;
  long rc = Recording && PathOf(root, &base) ? journal::RecordCreate(Join(base, subKey)) : 0;
  if (rc == 0 && Recording) rc = Persisted();
  if (rc == 0)
    rc = access ? direct::RegCreateKeyExA(root, subKey, *access, result) : direct::RegCreateKeyA(root, subKey, result);
  if (rc != 0) Truncate(mark);
  return Track(rc, root, subKey, result);
}

// A value set (data) or deleted (no data).
long ChangeValue(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, const uint32_t* size) {
  const size_t mark = Entries.size();
  long rc = RecordValue(key, name);
  if (rc == 0 && Recording) rc = Persisted();
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
  if (rc == 0 && Recording) rc = Persisted();
  if (rc == 0 && (rc = direct::RegDeleteKeyA(key, subKey)) != 0) Truncate(mark);
  return rc;
}

// A file that is there is never written in place: only one the action made
// or moved aside first.
FileHandle CreateFileA(const std::string& path, Access access, uint32_t shareMode, Disposition disposition) {
  const bool changes = access != Access::Read || disposition != Disposition::OpenExisting;
  if (!changes || Skipped(path)) return direct::CreateFileA(path, access, shareMode, disposition);
  const size_t mark = Entries.size();
  if (!Recorded(path)) {
    const Found found = Look(path);
    if (found == kUnknown) return kInvalidFile;
    if (found != kNothing) {
      direct::SetLastError(disposition == Disposition::CreateNew ? kErrorFileExists : kErrorAccessDenied);
      return kInvalidFile;
    }
    Add(&Entries, journal::kFile, path);
  }
  if (!journal::Persist()) return kInvalidFile;
  FileHandle file = direct::CreateFileA(path, access, shareMode, disposition);
  if (file == kInvalidFile) Truncate(mark);
  return file;
}

// A file deleted is moved aside, and deleted once the action succeeded.
bool DeleteFileA(const std::string& path) {
  if (Skipped(path)) return direct::DeleteFileA(path);
  if (Recorded(path)) return journal::Persist() && direct::DeleteFileA(path);
  const size_t mark = Entries.size();
  bool existed = false;
  if (MoveAside(path, &existed)) {
    if (existed) return true;
    direct::SetLastError(kErrorFileNotFound);
  }
  return Failed(mark, Nothing);
}

bool MoveFileA(const std::string& from, const std::string& to) {
  if (Skipped(from) && Skipped(to)) return direct::MoveFileA(from, to);
  const size_t mark = Entries.size();
  if (!Recorded(to)) Add(&Entries, journal::kFile, to);
  if (!Recorded(from)) Add(&Entries, journal::kMoved, from).name = to;
  if (journal::Persist() && direct::MoveFileA(from, to)) return true;
  return Failed(mark, Nothing);
}

// The new file is copied to a fresh name beside the target and moved to its
// name once it is whole; the file it replaces goes aside first. A copy
// that fails half-way (CopyFileA may have emptied its target) leaves the
// target as it was.
bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists) {
  if (Skipped(to)) return direct::CopyFileA(from, to, failIfExists);
  if (Recorded(to)) return journal::Persist() && direct::CopyFileA(from, to, failIfExists);
  const size_t mark = Entries.size();
  const Found found = Look(to);
  if (found == kUnknown) return false;
  if (found == kOther || (found == kAFile && failIfExists)) {
    direct::SetLastError(found == kOther ? kErrorAccessDenied : kErrorFileExists);
    return false;
  }
  std::string fresh;
  if (!FreshName(to, &fresh)) return false;
  Add(&Entries, journal::kFile, fresh).quiet = true;  // gone by its move, or by the undo
  auto dropFresh = [&fresh] { return direct::DeleteFileA(fresh) || journal::Gone(GetLastError()); };
  if (!journal::Persist() || !direct::CopyFileA(from, fresh, true)) return Failed(mark, dropFresh);
  bool existed = false;
  const size_t aside = Entries.size();
  if (!MoveAside(to, &existed)) return Failed(mark, dropFresh);
  if (journal::Rename(fresh, to, false)) return true;
  return Failed(mark, [&] {
    const bool back = !existed || journal::Rename(Entries[aside].name, to, false);
    return dropFresh() && back;
  });
}

// The .inf this call adds to the store is taken out by the undo: the store's
// names before it and the INF's bytes (which the store's copy has) are on
// disk before the call. An INF that another program stores meanwhile (a
// device plugged in) has other bytes, and stays.
bool SetupCopyOEMInfA(const std::string& sourceInfFileName, const char* oemSourceMediaLocation,
                      uint32_t oemSourceMediaType, uint32_t copyStyle) {
  if (Recording) {
    std::vector<std::string> before;
    std::string store, bytes;
    if (!journal::ReadBytes(sourceInfFileName, &bytes) || !journal::StoredInfs(&before, &store)) return false;
    Entry& e = Add(&Entries, journal::kOemInf, store);
    e.data = journal::JoinNames(before);
    e.name = bytes;
    if (!journal::Persist()) return false;
  }
  return direct::SetupCopyOEMInfA(sourceInfFileName, oemSourceMediaLocation, oemSourceMediaType, copyStyle);
}

}  // namespace plat
