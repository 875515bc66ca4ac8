// The simulated Windows of the host build: the machine's state, its paths
// and clock, the controls of sim.h, system information and resources. The
// registry, files, processes and windows have files of their own.
#include "platform/sim/sim.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

#include "platform/sim/machine.h"

namespace fs = std::filesystem;

namespace sim::internal {

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool ContainsNoCase(const std::string& haystack, const std::string& needle) {
  return Upper(haystack).find(Upper(needle)) != std::string::npos;
}

Machine& M() {
  static Machine machine;
  return machine;
}

bool Failing(const char* function, const std::string& path) {
  if (FailurePointFails(function, path)) {
    M().lastError = plat::kErrorAccessDenied;
    return true;
  }
  for (auto& rule : M().failRules) {
    if (rule.remaining == 0 || rule.function != function) continue;
    if (!rule.pathContains.empty() && !ContainsNoCase(path, rule.pathContains)) continue;
    if (rule.remaining > 0) --rule.remaining;
    if (rule.throws) throw std::bad_alloc();
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

}  // namespace sim::internal

using namespace sim::internal;

namespace sim {

void Reset(const std::string& root) {
  EndThreads();  // a thread left running would use the old machine
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
void SetWow64(bool wow64) { M().wow64 = wow64; }

void AddResource(const std::string& name, const std::string& type, const std::vector<uint8_t>& bytes) {
  M().resources.push_back(Resource{Upper(name), Upper(type), bytes});
}

void FailCalls(const std::string& function, int times, const std::string& pathContains) {
  M().failRules.push_back(FailRule{function, pathContains, times});
}

void ThrowInCalls(const std::string& function, int times, const std::string& pathContains) {
  M().failRules.push_back(FailRule{function, pathContains, times, true});
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

void SetFileAttributes(const std::string& windowsPath, bool readOnly, bool hidden, bool system) {
  uint32_t bits = (readOnly ? 1u : 0u) | (hidden ? 2u : 0u) | (system ? 4u : 0u);  // FILE_ATTRIBUTE_*
  if (bits)
    M().attributes[TimeKey(windowsPath)] = bits;
  else
    M().attributes.erase(TimeKey(windowsPath));
}
plat::FileTime Now() { return M().clock; }

void SetRegistryEditorExitCode(uint32_t code) { M().registryEditorExit = code; }
std::vector<std::string> ProcessesStarted() {
  std::vector<std::string> lines;
  for (const ProcessStart& start : M().processes) lines.push_back(start.commandLine);
  return lines;
}
const std::vector<ProcessStart>& ProcessStarts() { return M().processes; }

void AnswerMessageBox(int answer) { M().answers.push_back(answer); }
void SetWindowStationVisible(bool visible) { M().stationVisible = visible; }
void SetStandardOutput(bool present) { M().standardOutput = present; }
std::string StandardOutput() { return M().standardOutputText; }
const std::vector<MessageBoxCall>& MessageBoxes() { return M().boxes; }
bool MarkerWindowExists() { return M().markerWindow != 0; }
bool MarkerClassRegistered() { return M().markerClass; }

}  // namespace sim

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

std::string GetModuleFileNameA() {
  if (Failing("GetModuleFileNameA")) return "";
  return M().modulePath;
}

bool IsWow64Process(bool* wow64) {
  *wow64 = false;
  const plat::OsVersionInfo& v = M().version;
  bool present =
      v.platformId == kPlatformWin32NT && (v.majorVersion > 5 || (v.majorVersion == 5 && v.minorVersion >= 1));
  if (!present) {
    M().lastError = kErrorProcNotFound;
    return false;
  }
  if (Failing("IsWow64Process")) return false;
  *wow64 = M().wow64;
  return true;
}
std::string LocalDateTimeText() { return M().dateTime; }

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

}  // namespace plat

// ---------------------------------------------------------------- saved machines

namespace {

std::shared_ptr<RegNode> Clone(const RegNode& node, RegNode* parent) {
  auto copy = std::make_shared<RegNode>();
  copy->name = node.name;
  copy->values = node.values;
  copy->deleted = node.deleted;
  copy->isVolatile = node.isVolatile;
  copy->link = node.link;
  copy->security = node.security;
  copy->parent = parent;
  for (const auto& sub : node.subkeys) copy->subkeys.push_back(Clone(*sub, copy.get()));
  return copy;
}

// A machine with its own registry tree: nothing of it is shared.
Machine Detached(const Machine& from) {
  Machine m = from;
  m.hklm = Clone(*from.hklm, nullptr);
  m.hkcu = Clone(*from.hkcu, nullptr);
  m.keys.clear();
  m.keys[plat::kHKeyLocalMachine] = KeyHandle{m.hklm, true, true, "HKLM"};
  m.keys[plat::kHKeyCurrentUser] = KeyHandle{m.hkcu, true, false, "HKCU"};
  return m;
}

Machine Saved;
std::string SavedFiles() { return M().root + ".saved"; }

}  // namespace

namespace sim {

void SaveMachine() {
  Saved = Detached(M());
  fs::remove_all(SavedFiles());
  fs::copy(M().root, SavedFiles(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

void RestoreMachine() {
  const std::string root = M().root;
  for (auto& [h, f] : M().files) close(f.fd);
  M() = Detached(Saved);
  fs::remove_all(root);
  fs::copy(SavedFiles(), root, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

}  // namespace sim
