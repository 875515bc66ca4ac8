// The simulated Windows of the host build: every function of platform.h
// against an in-memory machine (registry, resources, user interface) and a
// real directory tree for the files.
#include "platform/sim/sim.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/sim/verinfo.h"

namespace fs = std::filesystem;

namespace {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool ContainsNoCase(const std::string& haystack, const std::string& needle) {
  return Upper(haystack).find(Upper(needle)) != std::string::npos;
}

// ---------------------------------------------------------------- registry

struct RegValue {
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

struct RegNode {
  std::string name;
  std::vector<std::shared_ptr<RegNode>> subkeys;  // sorted by upper-case name
  std::vector<RegValue> values;
  RegNode* parent = nullptr;
  bool deleted = false;
};

struct KeyHandle {
  std::shared_ptr<RegNode> node;
  bool writable = true;
  bool localMachine = false;
  std::string path;  // for failure filters
};

struct FailRule {
  std::string function;
  std::string pathContains;
  int remaining;
};

struct OpenFile {
  int fd = -1;
  std::string key;  // upper-case Windows path, key of the time table
  plat::Access access = plat::Access::Read;
};

struct Search {
  std::vector<plat::FindData> entries;
  size_t next = 0;
};

struct Resource {
  std::string name, type;
  std::vector<uint8_t> bytes;
};

struct Machine {
  std::string root;
  plat::OsVersionInfo version;
  std::string systemDir, windowsDir, modulePath, currentDir, dateTime;
  std::map<std::string, std::string> environment;  // upper-case names
  bool admin = true;
  uint32_t lastError = 0;
  plat::FileTime clock = 0;

  std::map<std::string, sim::Times> times;  // by upper-case Windows path
  std::map<intptr_t, OpenFile> files;
  std::map<intptr_t, Search> searches;
  std::map<intptr_t, std::vector<uint8_t>> views;
  intptr_t nextHandle = 100;

  std::shared_ptr<RegNode> hklm, hkcu;
  std::map<plat::RegKey, KeyHandle> keys;
  plat::RegKey nextKey = 0x1000;

  std::vector<Resource> resources;
  std::vector<FailRule> failRules;

  std::vector<int> answers;
  std::vector<sim::MessageBoxCall> boxes;
  bool markerClass = false;
  plat::WindowHandle markerWindow = 0;

  uint32_t registryEditorExit = 0;
  std::vector<std::string> processes;
  std::map<plat::ProcessHandle, uint32_t> running;  // exit code of each started process
};

Machine& M() {
  static Machine machine;
  return machine;
}

bool Failing(const char* function, const std::string& path = "") {
  for (auto& rule : M().failRules) {
    if (rule.remaining == 0 || rule.function != function) continue;
    if (!rule.pathContains.empty() && !ContainsNoCase(path, rule.pathContains)) continue;
    if (rule.remaining > 0) --rule.remaining;
    M().lastError = plat::kErrorAccessDenied;
    return true;
  }
  return false;
}

void Tick() { M().clock += 10000000;  /* one second */ }

// ---------------------------------------------------------------- paths

// Absolute Windows path with an upper-case drive letter, "." and ".."
// resolved, single backslashes, no trailing backslash (except "C:\").
std::string FullPath(const std::string& path) {
  std::string p = path;
  std::replace(p.begin(), p.end(), '/', '\\');
  std::string base;
  if (p.size() >= 2 && p[1] == ':') {
    base = p.substr(0, 2);
    p = p.substr(2);
    if (p.empty() || p[0] != '\\') p = "\\" + p;  // "C:x": taken as rooted
  } else if (!p.empty() && p[0] == '\\') {
    base = M().currentDir.substr(0, 2);
  } else {
    base = M().currentDir.substr(0, 2);
    p = M().currentDir.substr(2) + "\\" + p;
  }
  base = Upper(base);
  std::vector<std::string> parts;
  std::stringstream ss(p);
  std::string part;
  while (std::getline(ss, part, '\\')) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out = base;
  for (auto& q : parts) out += "\\" + q;
  if (parts.empty()) out += "\\";
  return out;
}

std::string TimeKey(const std::string& path) { return Upper(FullPath(path)); }

// Host path of a Windows path; existing components are matched without
// regard to case.
std::string ToHost(const std::string& path) {
  std::string full = FullPath(path);
  std::string host = M().root + "/" + full.substr(0, 1);
  std::stringstream ss(full.substr(2));
  std::string part;
  while (std::getline(ss, part, '\\')) {
    if (part.empty()) continue;
    std::string match = part;
    if (DIR* dir = opendir(host.c_str())) {
      while (dirent* entry = readdir(dir)) {
        if (Upper(entry->d_name) == Upper(part)) {
          match = entry->d_name;
          break;
        }
      }
      closedir(dir);
    }
    host += "/" + match;
  }
  return host;
}

bool IsDir(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool IsFile(const std::string& host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
std::string Parent(const std::string& host) { return host.substr(0, host.rfind('/')); }

sim::Times& TimesOf(const std::string& key) {
  auto it = M().times.find(key);
  if (it == M().times.end()) it = M().times.emplace(key, sim::Times{M().clock, M().clock, M().clock}).first;
  return it->second;
}

// ---------------------------------------------------------------- registry helpers

std::shared_ptr<RegNode> FindChild(RegNode& node, const std::string& name) {
  for (auto& child : node.subkeys)
    if (Upper(child->name) == Upper(name)) return child;
  return nullptr;
}

std::shared_ptr<RegNode> AddChild(RegNode& node, const std::string& name) {
  auto child = std::make_shared<RegNode>();
  child->name = name;
  child->parent = &node;
  auto pos = std::find_if(node.subkeys.begin(), node.subkeys.end(),
                          [&](const std::shared_ptr<RegNode>& k) { return Upper(k->name) > Upper(name); });
  node.subkeys.insert(pos, child);
  return child;
}

KeyHandle* Handle(plat::RegKey key) {
  auto it = M().keys.find(key);
  if (it == M().keys.end() || it->second.node->deleted) return nullptr;
  return &it->second;
}

bool SplitKeyPath(const std::string& path, std::vector<std::string>* parts) {
  if (!path.empty() && path[0] == '\\') return false;  // ERROR_BAD_PATHNAME
  std::stringstream ss(path);
  std::string part;
  while (std::getline(ss, part, '\\'))
    if (!part.empty()) parts->push_back(part);
  return true;
}

long OpenOrCreate(plat::RegKey root, const std::string& subKey, bool writable, bool create,
                  plat::RegKey* result, const char* function) {
  *result = 0;
  KeyHandle* base = Handle(root);
  if (!base) return 6;  // ERROR_INVALID_HANDLE
  std::string fullPath = base->path + "\\" + subKey;
  if (Failing(function, fullPath)) return plat::kErrorAccessDenied;
  if (base->localMachine && writable && !M().admin) return plat::kErrorAccessDenied;
  std::vector<std::string> parts;
  if (!SplitKeyPath(subKey, &parts)) return 161;
  std::shared_ptr<RegNode> node = base->node;
  for (auto& part : parts) {
    auto child = FindChild(*node, part);
    if (!child) {
      if (!create) return plat::kErrorFileNotFound;
      child = AddChild(*node, part);
    }
    node = child;
  }
  plat::RegKey key = M().nextKey++;
  M().keys[key] = KeyHandle{node, writable, base->localMachine, fullPath};
  *result = key;
  return 0;
}

RegValue* FindValue(RegNode& node, const std::string& name) {
  for (auto& v : node.values)
    if (Upper(v.name) == Upper(name)) return &v;
  return nullptr;
}

void MarkDeleted(RegNode& node) {
  node.deleted = true;
  for (auto& child : node.subkeys) MarkDeleted(*child);
}

}  // namespace

// ====================================================================== sim

namespace sim {

void Reset(const std::string& root) {
  Machine& m = M();
  for (auto& [h, f] : m.files) close(f.fd);
  m = Machine();
  m.root = root;
  fs::remove_all(root);
  fs::create_directories(root);
  m.version.majorVersion = 5;
  m.version.minorVersion = 0;
  m.version.buildNumber = 2195;
  m.version.platformId = plat::kPlatformWin32NT;
  m.windowsDir = "C:\\WINDOWS";
  m.systemDir = "C:\\WINDOWS\\SYSTEM32";
  m.currentDir = "C:\\WORK";
  m.modulePath = "C:\\SETUP\\VQDINST.EXE";
  m.dateTime = "12/7/2026 8:00:00 AM";
  m.environment["TEMP"] = "C:\\TEMP";
  m.clock = 133800000000000000ull;  // late 2024
  for (const char* dir : {"C:\\WINDOWS\\SYSTEM32\\DRIVERS", "C:\\WINDOWS\\SYSTEM32\\IOSUBSYS", "C:\\WORK",
                          "C:\\SETUP", "C:\\TEMP"})
    MakeDirectory(dir);
  m.hklm = std::make_shared<RegNode>();
  m.hklm->name = "HKEY_LOCAL_MACHINE";
  m.hkcu = std::make_shared<RegNode>();
  m.hkcu->name = "HKEY_CURRENT_USER";
  AddChild(*m.hklm, "SOFTWARE");
  AddChild(*m.hklm, "SYSTEM");
  AddChild(*m.hkcu, "Software");
  m.keys[plat::kHKeyLocalMachine] = KeyHandle{m.hklm, true, true, "HKLM"};
  m.keys[plat::kHKeyCurrentUser] = KeyHandle{m.hkcu, true, false, "HKCU"};
}

void SetVersion(uint32_t platformId, uint32_t major, uint32_t minor, uint32_t build) {
  M().version.platformId = platformId;
  M().version.majorVersion = major;
  M().version.minorVersion = minor;
  M().version.buildNumber = build;
}
void SetSystemDirectory(const std::string& dir) { M().systemDir = dir; }
void SetWindowsDirectory(const std::string& dir) { M().windowsDir = dir; }
void SetEnvironment(const std::string& name, const std::string& value) { M().environment[Upper(name)] = value; }
void UnsetEnvironment(const std::string& name) { M().environment.erase(Upper(name)); }
void SetModulePath(const std::string& path) { M().modulePath = path; }
void SetCurrentDirectory(const std::string& dir) { M().currentDir = FullPath(dir); }
void SetDateTimeText(const std::string& text) { M().dateTime = text; }
void SetAdmin(bool admin) { M().admin = admin; }

void AddResource(const std::string& name, const std::string& type, const std::vector<uint8_t>& bytes) {
  M().resources.push_back(Resource{Upper(name), Upper(type), bytes});
}

void FailCalls(const std::string& function, int times, const std::string& pathContains) {
  M().failRules.push_back(FailRule{function, pathContains, times});
}

std::string HostPath(const std::string& windowsPath) { return ToHost(windowsPath); }
bool FileExists(const std::string& windowsPath) { return IsFile(ToHost(windowsPath)); }
bool DirectoryExists(const std::string& windowsPath) { return IsDir(ToHost(windowsPath)); }

void MakeDirectory(const std::string& windowsPath) {
  std::string full = FullPath(windowsPath);
  std::string sofar = full.substr(0, 2);
  std::stringstream ss(full.substr(2));
  std::string part;
  while (std::getline(ss, part, '\\')) {
    if (part.empty()) continue;
    sofar += "\\" + part;
    fs::create_directories(ToHost(sofar));
  }
  fs::create_directories(ToHost(full));
}

void WriteFile(const std::string& windowsPath, const std::vector<uint8_t>& contents) {
  std::string full = FullPath(windowsPath);
  MakeDirectory(full.substr(0, full.rfind('\\')) + "\\");
  std::ofstream out(ToHost(full), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(contents.data()), static_cast<std::streamsize>(contents.size()));
  Tick();
  TimesOf(TimeKey(full)).lastWrite = M().clock;
}

void WriteFile(const std::string& windowsPath, const std::string& contents) {
  WriteFile(windowsPath, std::vector<uint8_t>(contents.begin(), contents.end()));
}

std::string ReadFile(const std::string& windowsPath) {
  std::ifstream in(ToHost(windowsPath), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

Times FileTimes(const std::string& windowsPath) { return TimesOf(TimeKey(windowsPath)); }
plat::FileTime Now() { return M().clock; }

void SetRegistryEditorExitCode(uint32_t code) { M().registryEditorExit = code; }
const std::vector<std::string>& ProcessesStarted() { return M().processes; }

void AnswerMessageBox(int answer) { M().answers.push_back(answer); }
const std::vector<MessageBoxCall>& MessageBoxes() { return M().boxes; }
bool MarkerWindowExists() { return M().markerWindow != 0; }
bool MarkerClassRegistered() { return M().markerClass; }

}  // namespace sim

// ====================================================================== plat

namespace plat {

uint32_t GetLastError() { return M().lastError; }

bool GetVersionExA(OsVersionInfo* info) {
  if (info->size != 148 || Failing("GetVersionExA")) return false;
  *info = M().version;
  return true;
}

static uint32_t CopyDirectory(const std::string& dir, char* buf, uint32_t size, const char* function) {
  if (dir.empty() || Failing(function)) return 0;
  if (dir.size() + 1 > size) return static_cast<uint32_t>(dir.size() + 1);
  std::memcpy(buf, dir.c_str(), dir.size() + 1);
  return static_cast<uint32_t>(dir.size());
}

uint32_t GetSystemDirectoryA(char* buf, uint32_t size) {
  return CopyDirectory(M().systemDir, buf, size, "GetSystemDirectoryA");
}
uint32_t GetWindowsDirectoryA(char* buf, uint32_t size) {
  return CopyDirectory(M().windowsDir, buf, size, "GetWindowsDirectoryA");
}

uint32_t GetEnvironmentVariableA(const char* name, char* buf, uint32_t size) {
  if (Failing("GetEnvironmentVariableA", name)) return 0;
  auto it = M().environment.find(Upper(name));
  if (it == M().environment.end()) {
    M().lastError = 203;  // ERROR_ENVVAR_NOT_FOUND
    return 0;
  }
  const std::string& value = it->second;
  if (value.size() + 1 > size) return static_cast<uint32_t>(value.size() + 1);
  std::memcpy(buf, value.c_str(), value.size() + 1);
  return static_cast<uint32_t>(value.size());
}

std::string GetModuleFileNameA() { return M().modulePath; }
std::string LocalDateTimeText() { return M().dateTime; }

// ---------------------------------------------------------------- files

FileHandle CreateFileA(const std::string& path, Access access, Disposition disposition) {
  if (Failing("CreateFileA", path)) return kInvalidFile;
  std::string host = ToHost(path);
  if (!IsDir(Parent(host))) {
    M().lastError = kErrorPathNotFound;
    return kInvalidFile;
  }
  if (IsDir(host)) {
    M().lastError = kErrorAccessDenied;
    return kInvalidFile;
  }
  bool existed = IsFile(host);
  int flags = access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
  if (disposition == Disposition::CreateAlways) {
    flags |= O_CREAT | O_TRUNC;
  } else if (!existed) {
    M().lastError = kErrorFileNotFound;
    return kInvalidFile;
  }
  int fd = open(host.c_str(), flags, 0644);
  if (fd < 0) {
    M().lastError = kErrorAccessDenied;
    return kInvalidFile;
  }
  Tick();
  std::string key = TimeKey(path);
  if (disposition == Disposition::CreateAlways) {
    if (!existed) M().times[key] = sim::Times{M().clock, M().clock, M().clock};
    TimesOf(key).lastWrite = M().clock;
  }
  FileHandle h = M().nextHandle++;
  M().files[h] = OpenFile{fd, key, access};
  return h;
}

bool WriteFile(FileHandle file, const void* data, uint32_t size, uint32_t* written) {
  *written = 0;
  auto it = M().files.find(file);
  if (it == M().files.end() || it->second.access == Access::Read) {
    M().lastError = kErrorAccessDenied;
    return false;
  }
  if (Failing("WriteFile", it->second.key)) return false;
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
  sim::Times& t = TimesOf(it->second.key);
  if (creation) t.creation = *creation;
  if (lastAccess) t.lastAccess = *lastAccess;
  if (lastWrite) t.lastWrite = *lastWrite;
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
  auto it = M().files.find(file);
  if (it == M().files.end()) return false;
  bool failed = Failing("CloseHandle", it->second.key);
  close(it->second.fd);
  M().files.erase(it);
  return !failed;
}

bool DeleteFileA(const std::string& path) {
  if (Failing("DeleteFileA", path)) return false;
  std::string host = ToHost(path);
  if (!IsFile(host)) {
    M().lastError = IsDir(Parent(host)) ? kErrorFileNotFound : kErrorPathNotFound;
    return false;
  }
  if (unlink(host.c_str()) != 0) {
    M().lastError = kErrorAccessDenied;
    return false;
  }
  M().times.erase(TimeKey(path));
  return true;
}

bool CreateDirectoryA(const std::string& path) {
  if (Failing("CreateDirectoryA", path)) return false;
  std::string host = ToHost(path);
  if (IsDir(host) || IsFile(host)) {
    M().lastError = kErrorAlreadyExists;
    return false;
  }
  if (!IsDir(Parent(host)) || mkdir(host.c_str(), 0755) != 0) {
    M().lastError = kErrorPathNotFound;
    return false;
  }
  return true;
}

bool RemoveDirectoryA(const std::string& path) {
  if (Failing("RemoveDirectoryA", path)) return false;
  std::string host = ToHost(path);
  if (!IsDir(host)) {
    M().lastError = kErrorFileNotFound;
    return false;
  }
  if (rmdir(host.c_str()) != 0) {
    M().lastError = kErrorDirNotEmpty;
    return false;
  }
  return true;
}

bool MoveFileA(const std::string& from, const std::string& to) {
  if (Failing("MoveFileA", from)) return false;
  std::string src = ToHost(from), dst = ToHost(to);
  if (!IsFile(src)) {
    M().lastError = kErrorFileNotFound;
    return false;
  }
  if (IsFile(dst) || IsDir(dst)) {
    M().lastError = kErrorAlreadyExists;
    return false;
  }
  if (!IsDir(Parent(dst)) || rename(src.c_str(), dst.c_str()) != 0) {
    M().lastError = kErrorPathNotFound;
    return false;
  }
  sim::Times t = TimesOf(TimeKey(from));
  M().times.erase(TimeKey(from));
  M().times[TimeKey(to)] = t;
  return true;
}

bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists) {
  if (Failing("CopyFileA", to)) return false;
  std::string src = ToHost(from), dst = ToHost(to);
  if (!IsFile(src)) {
    M().lastError = kErrorFileNotFound;
    return false;
  }
  if (failIfExists && IsFile(dst)) {
    M().lastError = 80;  // ERROR_FILE_EXISTS
    return false;
  }
  std::error_code ec;
  if (!IsDir(Parent(dst)) || !fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec)) {
    M().lastError = kErrorPathNotFound;
    return false;
  }
  Tick();
  sim::Times source = TimesOf(TimeKey(from));
  M().times[TimeKey(to)] = sim::Times{M().clock, M().clock, source.lastWrite};
  return true;
}

FindHandle FindFirstFileA(const std::string& pattern, FindData* found) {
  if (Failing("FindFirstFileA", pattern)) return kInvalidFind;
  std::string full = FullPath(pattern);
  size_t slash = full.rfind('\\');
  std::string dir = full.substr(0, slash), name = full.substr(slash + 1);
  if (dir.size() == 2) dir += "\\";
  std::string host = ToHost(dir);
  Search search;
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
    for (auto& n : names) search.entries.push_back(FindData{n, IsDir(host + "/" + n)});
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
  if (Failing("FindNextFileA")) return false;
  auto it = M().searches.find(find);
  if (it == M().searches.end() || it->second.next >= it->second.entries.size()) {
    M().lastError = 18;  // ERROR_NO_MORE_FILES
    return false;
  }
  *found = it->second.entries[it->second.next++];
  return true;
}

bool FindClose(FindHandle find) { return M().searches.erase(find) == 1; }

bool MapWholeFile(const std::string& path, FileView* view) {
  *view = FileView();
  if (Failing("MapWholeFile", path)) return false;
  std::string host = ToHost(path);
  if (!IsFile(host)) {
    M().lastError = kErrorFileNotFound;
    return false;
  }
  std::ifstream in(host, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) {  // an empty file cannot be mapped
    M().lastError = 1006;  // ERROR_FILE_INVALID
    return false;
  }
  intptr_t h = M().nextHandle++;
  auto& stored = M().views[h] = std::move(bytes);
  view->data = stored.data();
  view->size = static_cast<uint32_t>(stored.size());
  view->mapping = h;
  return true;
}

void UnmapWholeFile(FileView* view) {
  M().views.erase(view->mapping);
  *view = FileView();
}

// ---------------------------------------------------------------- version information

static bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::string host = ToHost(path);
  if (!IsFile(host)) {
    M().lastError = IsDir(Parent(host)) ? kErrorFileNotFound : kErrorPathNotFound;
    return false;
  }
  std::ifstream in(host, std::ios::binary);
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

uint32_t GetFileVersionInfoSizeA(const std::string& path) {
  if (Failing("GetFileVersionInfoSizeA", path)) return 0;
  std::vector<uint8_t> image;
  if (!ReadWholeFile(path, &image)) return 0;
  size_t offset = 0, length = 0;
  if (!verinfo::FindPeVersionResource(image.data(), image.size(), &offset, &length)) {
    M().lastError = kErrorResourceDataNotFound;
    return 0;
  }
  // Room for the 8-bit copies of the strings, as the system reserves it.
  return static_cast<uint32_t>(length * 2);
}

bool GetFileVersionInfoA(const std::string& path, uint32_t size, void* block) {
  if (Failing("GetFileVersionInfoA", path)) return false;
  std::vector<uint8_t> image;
  if (!ReadWholeFile(path, &image)) return false;
  size_t offset = 0, length = 0;
  if (!verinfo::FindPeVersionResource(image.data(), image.size(), &offset, &length)) {
    M().lastError = kErrorResourceDataNotFound;
    return false;
  }
  std::memset(block, 0, size);
  std::memcpy(block, image.data() + offset, std::min<size_t>(length, size));
  return true;
}

bool VerQueryValueA(void* block, uint32_t blockSize, const std::string& subBlock, const void** value,
                    uint32_t* length) {
  return verinfo::QueryValue(block, blockSize, subBlock, value, length);
}

// ---------------------------------------------------------------- resources

ResourceHandle FindResourceA(const std::string& name, const std::string& type) {
  if (Failing("FindResourceA", name)) return 0;
  const auto& res = M().resources;
  for (size_t i = 0; i < res.size(); ++i)
    if (res[i].name == Upper(name) && res[i].type == Upper(type)) return static_cast<ResourceHandle>(i + 1);
  M().lastError = kErrorResourceNameNotFound;
  return 0;
}

bool LoadResourceData(ResourceHandle resource, const uint8_t** data, uint32_t* size) {
  const auto& res = M().resources;
  if (resource <= 0 || static_cast<size_t>(resource) > res.size()) return false;
  const Resource& r = res[static_cast<size_t>(resource) - 1];
  if (Failing("LoadResourceData", r.name)) return false;
  *data = r.bytes.data();
  *size = static_cast<uint32_t>(r.bytes.size());
  return true;
}

// ---------------------------------------------------------------- registry

long RegOpenKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  bool writable = (access & 0x00000006) != 0 || access == kKeyAllAccess;  // KEY_SET_VALUE | KEY_CREATE_SUB_KEY
  return OpenOrCreate(root, subKey, writable, false, result, "RegOpenKeyExA");
}

long RegOpenKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  // Opened with the most access allowed: read-only for a non-administrator.
  KeyHandle* base = Handle(root);
  bool writable = !(base && base->localMachine && !M().admin);
  return OpenOrCreate(root, subKey, writable, false, result, "RegOpenKeyA");
}

long RegCreateKeyA(RegKey root, const std::string& subKey, RegKey* result) {
  return OpenOrCreate(root, subKey, true, true, result, "RegCreateKeyA");
}

long RegCreateKeyExA(RegKey root, const std::string& subKey, uint32_t access, RegKey* result) {
  (void)access;
  return OpenOrCreate(root, subKey, true, true, result, "RegCreateKeyExA");
}

long RegCloseKey(RegKey key) {
  if (Failing("RegCloseKey")) return kErrorAccessDenied;
  if (key == kHKeyLocalMachine || key == kHKeyCurrentUser) return 0;
  return M().keys.erase(key) == 1 ? 0 : 6;
}

long RegQueryValueExA(RegKey key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* size) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegQueryValueExA", h->path + "\\" + name)) return kErrorAccessDenied;
  RegValue* v = FindValue(*h->node, name);
  if (!v) return kErrorFileNotFound;
  if (type) *type = v->type;
  uint32_t needed = static_cast<uint32_t>(v->data.size());
  if (!size) return data ? kErrorInvalidParameter : 0;
  if (data && *size < needed) {
    *size = needed;
    return kErrorMoreData;
  }
  if (data && needed) std::memcpy(data, v->data.data(), needed);
  *size = needed;
  return 0;
}

long RegSetValueExA(RegKey key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t size) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (!h->writable || Failing("RegSetValueExA", h->path + "\\" + name)) return kErrorAccessDenied;
  RegValue* v = FindValue(*h->node, name);
  if (!v) {
    h->node->values.push_back(RegValue{name, type, {}});
    v = &h->node->values.back();
  }
  v->type = type;
  v->data.assign(data, data + size);
  return 0;
}

long RegDeleteValueA(RegKey key, const std::string& name) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (!h->writable || Failing("RegDeleteValueA", h->path + "\\" + name)) return kErrorAccessDenied;
  auto& values = h->node->values;
  auto it = std::find_if(values.begin(), values.end(), [&](const RegValue& v) { return Upper(v.name) == Upper(name); });
  if (it == values.end()) return kErrorFileNotFound;
  values.erase(it);
  return 0;
}

long RegDeleteKeyA(RegKey key, const std::string& subKey) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegDeleteKeyA", h->path + "\\" + subKey)) return kErrorAccessDenied;
  if (h->localMachine && !M().admin) return kErrorAccessDenied;
  std::vector<std::string> parts;
  if (!SplitKeyPath(subKey, &parts) || parts.empty()) return kErrorInvalidParameter;
  std::shared_ptr<RegNode> node = h->node;
  for (auto& part : parts) {
    node = FindChild(*node, part);
    if (!node) return kErrorFileNotFound;
  }
  // The NT family deletes only a key without subkeys; Windows 9x the whole tree.
  if (M().version.platformId == kPlatformWin32NT && !node->subkeys.empty()) return kErrorAccessDenied;
  RegNode* parent = node->parent;
  MarkDeleted(*node);
  parent->subkeys.erase(std::find(parent->subkeys.begin(), parent->subkeys.end(), node));
  return 0;
}

long RegQueryInfoKeyA(RegKey key, uint32_t* subKeys) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegQueryInfoKeyA", h->path)) return kErrorAccessDenied;
  *subKeys = static_cast<uint32_t>(h->node->subkeys.size());
  return 0;
}

long RegEnumKeyExA(RegKey key, uint32_t index, char* name, uint32_t* size) {
  KeyHandle* h = Handle(key);
  if (!h) return 6;
  if (Failing("RegEnumKeyExA", h->path)) return kErrorAccessDenied;
  if (index >= h->node->subkeys.size()) return kErrorNoMoreItems;
  const std::string& n = h->node->subkeys[index]->name;
  if (n.size() + 1 > *size) return kErrorMoreData;
  std::memcpy(name, n.c_str(), n.size() + 1);
  *size = static_cast<uint32_t>(n.size());
  return 0;
}

// ---------------------------------------------------------------- processes

namespace {

// A quoted registry-file string: "text" with \\ and \" escapes. Advances pos
// past the closing quote; false when there is none.
bool ParseQuoted(const std::string& line, size_t* pos, std::string* out) {
  if (*pos >= line.size() || line[*pos] != '"') return false;
  out->clear();
  for (size_t i = *pos + 1; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      *out += line[++i];
    } else if (line[i] == '"') {
      *pos = i + 1;
      return true;
    } else {
      *out += line[i];
    }
  }
  return false;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
  std::stringstream ss(text);
  std::string item;
  while (std::getline(ss, item, ',')) {
    item.erase(std::remove_if(item.begin(), item.end(), [](char c) { return c == ' ' || c == '\t'; }), item.end());
    if (item.empty()) continue;
    if (item.size() > 2 || item.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    bytes->push_back(static_cast<uint8_t>(std::stoul(item, nullptr, 16)));
  }
  return true;
}

void DeleteTree(plat::RegKey root, const std::string& subKey) {
  KeyHandle* base = Handle(root);
  std::vector<std::string> parts;
  if (!base || !SplitKeyPath(subKey, &parts) || parts.empty()) return;
  std::shared_ptr<RegNode> node = base->node;
  for (auto& part : parts)
    if (!(node = FindChild(*node, part))) return;
  MarkDeleted(*node);
  auto& siblings = node->parent->subkeys;
  siblings.erase(std::find(siblings.begin(), siblings.end(), node));
}

// What the registry editor does with "/s FILE": imports a REGEDIT4 file.
void ImportRegistryFile(const std::string& path) {
  std::string text = sim::ReadFile(path);
  std::vector<std::string> lines;
  std::string line, logical;
  std::stringstream ss(text);
  while (std::getline(ss, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t start = logical.empty() ? 0 : line.find_first_not_of(" \t");
    logical += line.substr(start == std::string::npos ? line.size() : start);
    if (!logical.empty() && logical.back() == '\\' && logical.find("=hex") != std::string::npos) {
      logical.pop_back();  // continued on the next line
      continue;
    }
    lines.push_back(logical);
    logical.clear();
  }
  if (lines.empty() || (lines[0] != "REGEDIT4" && lines[0] != "Windows Registry Editor Version 5.00")) return;
  plat::RegKey key = 0;
  for (size_t n = 1; n < lines.size(); ++n) {
    const std::string& l = lines[n];
    if (l.empty() || l[0] == ';') continue;
    if (l[0] == '[') {
      if (key) plat::RegCloseKey(key);
      key = 0;
      size_t close = l.rfind(']');
      if (close == std::string::npos) continue;
      bool remove = l.size() > 1 && l[1] == '-';
      std::string full = l.substr(remove ? 2 : 1, close - (remove ? 2 : 1));
      size_t slash = full.find('\\');
      std::string rootName = Upper(full.substr(0, slash));
      std::string sub = slash == std::string::npos ? "" : full.substr(slash + 1);
      plat::RegKey root = rootName == "HKEY_LOCAL_MACHINE" || rootName == "HKLM" ? plat::kHKeyLocalMachine
                          : rootName == "HKEY_CURRENT_USER" || rootName == "HKCU" ? plat::kHKeyCurrentUser
                                                                                   : 0;
      if (!root) continue;
      if (remove)
        DeleteTree(root, sub);
      else
        plat::RegCreateKeyA(root, sub, &key);
      continue;
    }
    if (!key) continue;
    size_t pos = 0;
    std::string name;
    if (l[0] == '@') {
      pos = 1;
    } else if (!ParseQuoted(l, &pos, &name)) {
      continue;
    }
    if (pos >= l.size() || l[pos] != '=') continue;
    std::string value = l.substr(pos + 1);
    std::vector<uint8_t> data;
    uint32_t type = plat::kRegSz;
    if (value == "-") {
      plat::RegDeleteValueA(key, name);
      continue;
    } else if (!value.empty() && value[0] == '"') {
      size_t vpos = 0;
      std::string s;
      if (!ParseQuoted(value, &vpos, &s)) continue;
      data.assign(s.begin(), s.end());
      data.push_back(0);
    } else if (value.compare(0, 6, "dword:") == 0) {
      uint32_t v = static_cast<uint32_t>(std::stoul(value.substr(6), nullptr, 16));
      for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
      type = plat::kRegDword;
    } else if (value.compare(0, 4, "hex:") == 0) {
      type = plat::kRegBinary;
      if (!ParseHexBytes(value.substr(4), &data)) continue;
    } else if (value.compare(0, 4, "hex(") == 0 && value.find("):") != std::string::npos) {
      size_t close = value.find("):");
      type = static_cast<uint32_t>(std::stoul(value.substr(4, close - 4), nullptr, 16));
      if (!ParseHexBytes(value.substr(close + 2), &data)) continue;
    } else {
      continue;
    }
    plat::RegSetValueExA(key, name, type, data.data(), static_cast<uint32_t>(data.size()));
  }
  if (key) plat::RegCloseKey(key);
}

}  // namespace

ProcessHandle CreateProcessA(const std::string& commandLine, uint16_t showWindow) {
  (void)showWindow;
  if (Failing("CreateProcessA", commandLine)) return 0;
  M().processes.push_back(commandLine);
  const std::string editor = Upper(M().windowsDir + "\\REGEDIT.EXE /S ");
  if (M().windowsDir.empty() || Upper(commandLine).compare(0, editor.size(), editor) != 0) {
    M().lastError = kErrorFileNotFound;
    return 0;
  }
  ImportRegistryFile(commandLine.substr(editor.size()));
  ProcessHandle h = M().nextHandle++;
  M().running[h] = M().registryEditorExit;
  return h;
}

uint32_t WaitForProcess(ProcessHandle process) {
  if (Failing("WaitForProcess")) return 0xFFFFFFFFu;  // as when the exit code cannot be read
  auto it = M().running.find(process);
  if (it == M().running.end()) return 0xFFFFFFFFu;
  uint32_t code = it->second;
  M().running.erase(it);
  return code;
}

// ---------------------------------------------------------------- user interface

int MessageBoxA(const std::string& text, const std::string& caption, uint32_t type) {
  if (Failing("MessageBoxA")) return 0;
  M().boxes.push_back(sim::MessageBoxCall{text, caption, type, M().markerWindow != 0});
  if (!M().answers.empty()) {
    int answer = M().answers.front();
    M().answers.erase(M().answers.begin());
    return answer;
  }
  return (type & 0xF) == kMbYesNo ? kIdNo : kIdOk;
}

uint16_t RegisterMarkerClass(const std::string& name) {
  if (Failing("RegisterMarkerClass", name) || M().markerClass) return 0;
  M().markerClass = true;
  return 0xC001;
}

WindowHandle CreateMarkerWindow(const std::string& name) {
  if (Failing("CreateMarkerWindow", name) || !M().markerClass || M().markerWindow) return 0;
  M().markerWindow = 0x10010;
  return M().markerWindow;
}

bool DestroyWindow(WindowHandle window) {
  if (Failing("DestroyWindow")) return false;
  if (window == 0 || window != M().markerWindow) return false;
  M().markerWindow = 0;
  return true;
}

bool UnregisterClassA(const std::string& name) {
  if (Failing("UnregisterClassA", name)) return false;
  if (!M().markerClass || M().markerWindow) return false;
  M().markerClass = false;
  return true;
}

}  // namespace plat
