// The simulated file system: a real directory tree under the machine's root,
// names matched without regard to case, and the three file times kept by the
// simulation. Mapped views and version information are in versions.cpp.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/sim/machine.h"
#include "platform/direct.h"

namespace fs = std::filesystem;

using namespace sim::internal;

namespace plat {

namespace {

constexpr uint32_t kReadOnly = 1, kHidden = 2, kSystem = 4;  // FILE_ATTRIBUTE_*

// The 8-bit file functions take paths of at most MAX_PATH - 1 characters;
// CreateDirectoryA leaves room for an 8.3 name in the new directory (248
// with the terminator). Longer ones fail with ERROR_FILENAME_EXCED_RANGE.
constexpr size_t kMaxPath = 259, kMaxDirectory = 247;
bool TooLong(const std::string& path, size_t limit = kMaxPath) {
  if (FullPath(path).size() <= limit) return false;
  M().lastError = 206;
  return true;
}

// A directory the user may not write to (a CD, a share that is read-only to
// him): nothing can be created, replaced or deleted directly in it.
bool WriteDenied(const std::string& path) {
  std::string key = TimeKey(path);
  std::string dir = key.substr(0, key.rfind('\\'));
  if (dir.size() == 2) dir += "\\";
  if (!M().writeDeniedDirs.count(dir)) return false;
  M().lastError = kErrorAccessDenied;
  return true;
}

// A symbolic link (a reparse point on Windows), whatever it points to.
bool IsLink(const std::string& host) {
  struct stat st;
  return lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}
// Anything at the name: a file, a directory, a link, also one to nothing.
bool NameTaken(const std::string& host) {
  struct stat st;
  return lstat(host.c_str(), &st) == 0;
}

uint32_t AttributesOf(const std::string& key) {
  auto it = M().attributes.find(key);
  return it == M().attributes.end() ? 0 : it->second;
}

// Whether an open with this access and share mode meets an open handle of the
// file that refuses it, or that it refuses: each side's access must be allowed
// by the other side's share mode.
bool ShareConflict(const std::string& key, Access access, uint32_t shareMode) {
  const bool reads = access != Access::Write, writes = access != Access::Read;
  for (const auto& [handle, open] : M().files) {
    if (open.key != key) continue;
    const bool otherReads = open.access != Access::Write, otherWrites = open.access != Access::Read;
    if ((reads && !(open.share & kFileShareRead)) || (writes && !(open.share & kFileShareWrite)) ||
        (otherReads && !(shareMode & kFileShareRead)) || (otherWrites && !(shareMode & kFileShareWrite)))
      return true;
  }
  return false;
}

// Deleting or renaming needs every open handle to share deleting, which no
// open of this program does.
bool IsOpen(const std::string& key) {
  for (const auto& [handle, open] : M().files)
    if (open.key == key) return true;
  return false;
}

// File-name tunnelling, as the NT family's file systems do it: a name that
// is deleted or renamed away keeps its file's creation time for 15 seconds,
// and a file created or renamed under that name in that time takes it.
constexpr FileTime kTunnelPeriod = 15 * 10000000ull;

bool Tunnels() { return M().version.platformId == kPlatformWin32NT; }

void NameRemoved(const std::string& key, FileTime creation) {
  if (Tunnels()) M().tunnels[key] = Machine::Tunnel{creation, M().clock};
}

void NameCreated(const std::string& key) {
  auto it = M().tunnels.find(key);
  if (it == M().tunnels.end()) return;
  if (M().clock - it->second.removedAt <= kTunnelPeriod) TimesOf(key).creation = it->second.creation;
  M().tunnels.erase(it);
}

}  // namespace

FileHandle direct::CreateFileA(const std::string& path, Access access, uint32_t shareMode, Disposition disposition) {
  if (Failing("CreateFileA", path) || TooLong(path)) return kInvalidFile;
  const bool creates = disposition != Disposition::OpenExisting;
  if ((access != Access::Read || creates) && WriteDenied(path)) return kInvalidFile;
  std::string host = ToHost(path);
  if (!IsDir(Parent(host))) {
    M().lastError = kErrorPathNotFound;
    return kInvalidFile;
  }
  // CREATE_NEW takes only a free name; a link is not followed.
  if (disposition == Disposition::CreateNew && NameTaken(host)) {
    M().lastError = kErrorFileExists;
    return kInvalidFile;
  }
  if (IsDir(host)) {
    M().lastError = kErrorAccessDenied;
    return kInvalidFile;
  }
  bool existed = IsFile(host);
  std::string key = TimeKey(path);
  if (disposition == Disposition::OpenExisting && !existed) {
    M().lastError = kErrorFileNotFound;
    return kInvalidFile;
  }
  if (existed) {
    // CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL refuses a hidden or system
    // file; nothing writes to a read-only one.
    uint32_t attributes = AttributesOf(key);
    bool writes = access != Access::Read || disposition == Disposition::CreateAlways;
    if ((writes && (attributes & kReadOnly)) ||
        (disposition == Disposition::CreateAlways && (attributes & (kHidden | kSystem)))) {
      M().lastError = kErrorAccessDenied;
      return kInvalidFile;
    }
    if (ShareConflict(key, access, shareMode)) {
      M().lastError = kErrorSharingViolation;
      return kInvalidFile;
    }
  }
  int flags = access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
  if (disposition == Disposition::CreateAlways) flags |= O_CREAT | O_TRUNC;
  if (disposition == Disposition::CreateNew) flags |= O_CREAT | O_EXCL;
  int fd = open(host.c_str(), flags, 0644);
  if (fd < 0) {
    M().lastError = kErrorAccessDenied;
    return kInvalidFile;
  }
  Tick();
  if (creates) {
    if (!existed) {
      M().times[key] = sim::Times{M().clock, M().clock, M().clock};
      NameCreated(key);
    }
    TimesOf(key).lastWrite = M().clock;
  }
  // As the system does: an existing file that CREATE_ALWAYS replaced says so.
  M().lastError = existed && disposition == Disposition::CreateAlways ? kErrorAlreadyExists : 0;
  FileHandle h = M().nextHandle++;
  M().files[h] = OpenFile{fd, key, access, shareMode};
  return h;
}

bool WriteFile(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
  *written = 0;
  auto it = M().files.find(file);
  if (it == M().files.end() || it->second.access == Access::Read) {
    M().lastError = kErrorAccessDenied;
    return false;
  }
  if (Failing("WriteFile", it->second.key)) {
    // What reached the disk before the failure stays.
    ssize_t half = write(it->second.fd, data, size / 2);
    *written = half > 0 ? static_cast<uint32_t>(half) : 0;
    M().lastError = 112;  // ERROR_DISK_FULL
    return false;
  }
  ssize_t n = write(it->second.fd, data, size);
  if (n < 0) return false;
  *written = static_cast<uint32_t>(n);
  Tick();
  TimesOf(it->second.key).lastWrite = M().clock;
  return static_cast<uint32_t>(n) == size;
}

bool ReadFile(FileHandle file, void* data, uint32_t size, uint32_t* read) {
  *read = 0;
  auto it = M().files.find(file);
  if (it == M().files.end() || it->second.access == Access::Write) {
    M().lastError = kErrorAccessDenied;
    return false;
  }
  if (Failing("ReadFile", it->second.key)) return false;
  ssize_t n = ::read(it->second.fd, data, size);
  if (n < 0) return false;
  *read = static_cast<uint32_t>(n);
  return true;
}

bool SetFileTime(FileHandle file, const FileTime* creation, const FileTime* lastAccess, const FileTime* lastWrite) {
  auto it = M().files.find(file);
  if (it == M().files.end() || it->second.access == Access::Read) {
    M().lastError = kErrorAccessDenied;
    return false;
  }
  if (Failing("SetFileTime", it->second.key)) return false;
  // A zero FILETIME, like a null pointer, leaves that time as it is.
  sim::Times& t = TimesOf(it->second.key);
  if (creation && *creation) t.creation = *creation;
  if (lastAccess && *lastAccess) t.lastAccess = *lastAccess;
  if (lastWrite && *lastWrite) t.lastWrite = *lastWrite;
  return true;
}

bool GetFileTime(FileHandle file, FileTime* creation, FileTime* lastAccess, FileTime* lastWrite) {
  auto it = M().files.find(file);
  if (it == M().files.end() || Failing("GetFileTime", it->second.key)) return false;
  const sim::Times& t = TimesOf(it->second.key);
  if (creation) *creation = t.creation;
  if (lastAccess) *lastAccess = t.lastAccess;
  if (lastWrite) *lastWrite = t.lastWrite;
  return true;
}

bool CloseHandle(FileHandle file) {
  if (CloseMutex(file)) return true;
  auto it = M().files.find(file);
  if (it == M().files.end()) return false;
  bool failed = Failing("CloseHandle", it->second.key);
  close(it->second.fd);
  M().files.erase(it);
  return !failed;
}

bool FlushFileBuffers(FileHandle file) {
  auto it = M().files.find(file);
  if (it == M().files.end() || it->second.access == Access::Read) {
    M().lastError = kErrorAccessDenied;
    return false;
  }
  return !Failing("FlushFileBuffers", it->second.key);
}

void direct::SetLastError(uint32_t error) { M().lastError = error; }

bool direct::DeleteFileA(const std::string& path) {
  if (Failing("DeleteFileA", path) || TooLong(path) || WriteDenied(path)) return false;
  std::string host = ToHost(path), key = TimeKey(path);
  // A link to a file, or to nothing, is deleted itself; its target stays.
  const bool fileLink = IsLink(host) && !IsDir(host);
  if (!IsFile(host) && !fileLink) {
    M().lastError = IsDir(Parent(host)) ? kErrorFileNotFound : kErrorPathNotFound;
    return false;
  }
  if (IsOpen(key)) {
    M().lastError = kErrorSharingViolation;
    return false;
  }
  if ((AttributesOf(key) & kReadOnly) || unlink(host.c_str()) != 0) {
    M().lastError = kErrorAccessDenied;
    return false;
  }
  NameRemoved(key, TimesOf(key).creation);
  M().times.erase(key);
  M().attributes.erase(key);
  return true;
}

namespace {
bool MakeDirectoryFor(const char* function, const std::string& path) {
  if (Failing(function, path) || TooLong(path, kMaxDirectory) || WriteDenied(path)) return false;
  std::string host = ToHost(path);
  if (NameTaken(host)) {
    M().lastError = kErrorAlreadyExists;
    return false;
  }
  if (!IsDir(Parent(host)) || mkdir(host.c_str(), 0755) != 0) {
    M().lastError = kErrorPathNotFound;
    return false;
  }
  return true;
}
}  // namespace

bool CreateDirectoryA(const std::string& path) { return MakeDirectoryFor("CreateDirectoryA", path); }

// The descriptor is recorded, not enforced: sim::IsPrivateDirectory tells.
bool CreatePrivateDirectoryA(const std::string& path) {
  if (!MakeDirectoryFor("CreatePrivateDirectoryA", path)) return false;
  if (M().version.platformId == kPlatformWin32NT) M().privateDirs.insert(TimeKey(path));
  return true;
}

bool IsPrivateDirectoryA(const std::string& path) {
  if (M().version.platformId != kPlatformWin32NT) return true;
  if (Failing("IsPrivateDirectoryA", path)) return false;
  return IsDir(ToHost(path)) && M().privateDirs.count(TimeKey(path));
}

bool RemoveDirectoryA(const std::string& path) {
  if (Failing("RemoveDirectoryA", path) || TooLong(path) || WriteDenied(path)) return false;
  std::string host = ToHost(path);
  if (!IsDir(host)) {
    M().lastError = kErrorFileNotFound;
    return false;
  }
  if (IsOpen(TimeKey(path))) {
    M().lastError = kErrorSharingViolation;
    return false;
  }
  if (rmdir(host.c_str()) != 0) {
    M().lastError = kErrorDirNotEmpty;
    return false;
  }
  return true;
}

FileHandle OpenDirectoryA(const std::string& path) {
  if (Failing("OpenDirectoryA", path) || TooLong(path)) return kInvalidFile;
  const std::string host = ToHost(path);
  if (M().version.platformId != kPlatformWin32NT || !IsDir(host)) {
    M().lastError = kErrorFileNotFound;
    return kInvalidFile;
  }
  int fd = open(host.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) {
    M().lastError = kErrorAccessDenied;
    return kInvalidFile;
  }
  FileHandle h = M().nextHandle++;
  M().files[h] = OpenFile{fd, TimeKey(path), Access::Read, kFileShareRead | kFileShareWrite};
  return h;
}

namespace {
// MoveFileA, and MoveFileExA with replace: a file at the target that is
// neither read-only nor open goes first.
bool Move(const char* function, const std::string& from, const std::string& to, bool replace) {
  if (Failing(function, from) || TooLong(from) || TooLong(to) || WriteDenied(from) || WriteDenied(to)) return false;
  std::string src = ToHost(from), dst = ToHost(to);
  if (!IsFile(src) && !IsDir(src)) {
    M().lastError = kErrorFileNotFound;
    return false;
  }
  if (IsOpen(TimeKey(from))) {
    M().lastError = kErrorSharingViolation;
    return false;
  }
  if (replace && IsFile(dst) && !IsOpen(TimeKey(to)) && !(AttributesOf(TimeKey(to)) & kReadOnly)) {
    unlink(dst.c_str());
    NameRemoved(TimeKey(to), TimesOf(TimeKey(to)).creation);
    M().times.erase(TimeKey(to));
    M().attributes.erase(TimeKey(to));
  }
  if (IsFile(dst) || IsDir(dst)) {
    M().lastError = replace ? kErrorAccessDenied : kErrorAlreadyExists;
    return false;
  }
  if (!IsDir(Parent(dst)) || rename(src.c_str(), dst.c_str()) != 0) {
    M().lastError = kErrorPathNotFound;
    return false;
  }
  // A renamed file keeps its times and attributes (a read-only one may be renamed).
  sim::Times t = TimesOf(TimeKey(from));
  uint32_t attributes = AttributesOf(TimeKey(from));
  M().times.erase(TimeKey(from));
  M().attributes.erase(TimeKey(from));
  M().times[TimeKey(to)] = t;
  if (attributes) M().attributes[TimeKey(to)] = attributes;
  NameRemoved(TimeKey(from), t.creation);
  NameCreated(TimeKey(to));
  return true;
}
}  // namespace

bool direct::MoveFileA(const std::string& from, const std::string& to) { return Move("MoveFileA", from, to, false); }

// Windows 9x has the name only.
bool direct::MoveFileExA(const std::string& from, const std::string& to, uint32_t flags) {
  if (M().version.platformId != kPlatformWin32NT) {
    M().lastError = kErrorCallNotImplemented;
    return false;
  }
  // A deletion at the next start is only noted (the simulation never restarts).
  if (flags & direct::kMovefileDelayUntilReboot) return !Failing("MoveFileExA", from) && IsFile(ToHost(from));
  return Move("MoveFileExA", from, to, (flags & direct::kMovefileReplaceExisting) != 0);
}

bool direct::CopyFileA(const std::string& from, const std::string& to, bool failIfExists) {
  if (Failing("CopyFileA", to)) {
    // The target was opened (and emptied) before the copy failed.
    const std::string dst = ToHost(to), key = TimeKey(to);
    if (!failIfExists && IsFile(dst) && !IsLink(dst) && !(AttributesOf(key) & (kReadOnly | kHidden | kSystem)) &&
        !IsOpen(key) && truncate(dst.c_str(), 0) == 0) {
      Tick();
      TimesOf(key).lastWrite = M().clock;
    }
    M().lastError = 112;  // ERROR_DISK_FULL
    return false;
  }
  if (TooLong(from) || TooLong(to) || WriteDenied(to)) return false;
  std::string src = ToHost(from), dst = ToHost(to);
  if (!IsFile(src)) {
    M().lastError = kErrorFileNotFound;
    return false;
  }
  // The source is read sharing reading and writing, the target written
  // sharing the same; the target gets the source's attributes.
  const uint32_t both = kFileShareRead | kFileShareWrite;
  if (ShareConflict(TimeKey(from), Access::Read, both)) {
    M().lastError = kErrorSharingViolation;
    return false;
  }
  if (IsFile(dst)) {
    if (failIfExists) {
      M().lastError = 80;  // ERROR_FILE_EXISTS
      return false;
    }
    if (AttributesOf(TimeKey(to)) & (kReadOnly | kHidden | kSystem)) {
      M().lastError = kErrorAccessDenied;
      return false;
    }
    if (ShareConflict(TimeKey(to), Access::Write, both)) {
      M().lastError = kErrorSharingViolation;
      return false;
    }
  }
  const bool created = !IsFile(dst);
  std::error_code ec;
  if (!IsDir(Parent(dst)) || !fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec)) {
    M().lastError = kErrorPathNotFound;
    return false;
  }
  Tick();
  sim::Times source = TimesOf(TimeKey(from));
  M().times[TimeKey(to)] = sim::Times{M().clock, M().clock, source.lastWrite};
  if (created) NameCreated(TimeKey(to));
  if (uint32_t attributes = AttributesOf(TimeKey(from)))
    M().attributes[TimeKey(to)] = attributes;
  else
    M().attributes.erase(TimeKey(to));
  return true;
}

bool IsReparsePointA(const std::string& path) { return !TooLong(path) && IsLink(ToHost(path)); }

FindHandle FindFirstFileA(const std::string& pattern, FindData* found) {
  if (Failing("FindFirstFileA", pattern) || TooLong(pattern)) return kInvalidFind;
  std::string full = FullPath(pattern);
  size_t slash = full.rfind('\\');
  std::string dir = full.substr(0, slash), name = full.substr(slash + 1);
  if (dir.size() == 2) dir += "\\";
  std::string host = ToHost(dir);
  Search search;
  search.pattern = pattern;
  bool all = name == "*" || name == "*.*";
  if (IsDir(host)) {
    if (all) {
      search.entries.push_back(FindData{".", true});
      search.entries.push_back(FindData{"..", true});
    }
    std::vector<std::string> names;
    if (DIR* d = opendir(host.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        if (all || Upper(n) == Upper(name)) names.push_back(n);
      }
      closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (auto& n : names)
      search.entries.push_back(FindData{n, IsDir(host + "/" + n), IsLink(host + "/" + n) && !M().findHidesLinks,
                                        (AttributesOf(TimeKey(dir + "\\" + n)) & kReadOnly) != 0});
  }
  if (search.entries.empty()) {
    M().lastError = IsDir(host) ? kErrorFileNotFound : kErrorPathNotFound;
    return kInvalidFind;
  }
  *found = search.entries[0];
  search.next = 1;
  FindHandle h = M().nextHandle++;
  M().searches[h] = search;
  return h;
}

bool FindNextFileA(FindHandle find, FindData* found) {
  auto it = M().searches.find(find);
  if (Failing("FindNextFileA", it == M().searches.end() ? "" : it->second.pattern)) return false;
  if (it == M().searches.end() || it->second.next >= it->second.entries.size()) {
    M().lastError = 18;  // ERROR_NO_MORE_FILES
    return false;
  }
  *found = it->second.entries[it->second.next++];
  return true;
}

bool FindClose(FindHandle find) {
  // A failed close still ends the search, as the handle is not valid after it.
  bool failed = Failing("FindClose");
  return M().searches.erase(find) == 1 && !failed;
}

}  // namespace plat

void sim::DenyWritesIn(const std::string& windowsDir) { M().writeDeniedDirs.insert(TimeKey(windowsDir)); }

bool sim::IsPrivateDirectory(const std::string& windowsPath) {
  return M().privateDirs.count(TimeKey(windowsPath)) && IsDir(ToHost(windowsPath));
}

void sim::MakeLink(const std::string& linkPath, const std::string& targetPath, bool hard) {
  std::string link = ToHost(linkPath), target = ToHost(targetPath);
  std::error_code ec;
  fs::create_directories(Parent(link), ec);
  if (hard)
    fs::create_hard_link(target, link);
  else
    fs::create_symlink(target, link);
}

void sim::HideLinksFromFind() { M().findHidesLinks = true; }
