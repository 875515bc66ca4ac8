#include "vqdlib/system.h"

#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "vqdlib/debuglog.h"
#include "vqdlib/numtext.h"

bool IsNT = false;
bool Is2K = false;
bool UnsupportedOS = false;
bool IsWow64 = false;
std::string SystemDir;

void InitLibrary() {
  // Logging off, and a log left open closed: a new log replaces the file by
  // deleting it, which its own open handle would prevent.
  CloseDebugLog();
  UnsupportedOS = false;
  DetectWindows();
  SystemDir = GetSystemDir();
  DebugEnabled = false;
  DebugLogOpen = false;
}

void DetectWindows() {
  DebugLog("DW");
  plat::OsVersionInfo info;
  info.size = 148;
  plat::GetVersionExA(&info);
  IsNT = info.platformId == plat::kPlatformWin32NT;
  Is2K = IsNT && info.majorVersion == 5;
  if (IsNT && info.majorVersion > 5) {
    Is2K = true;
    UnsupportedOS = true;
  }
  if (IsNT && !Is2K) DebugLog("DW: NT");
  if (Is2K) DebugLog("DW: 2K");
  if (!IsNT) DebugLog("DW: 9x");
  // A 32-bit kernel driver cannot load on a 64-bit Windows, whatever its
  // version; a system without the call is a 32-bit one.
  IsWow64 = false;
  plat::IsWow64Process(&IsWow64);
}

bool IsAdmin() {
  DebugLog("IA");
  plat::RegKey key = 0;
  if (plat::RegOpenKeyExA(plat::kHKeyLocalMachine, "SOFTWARE", plat::kKeyAllAccess, &key) == 0) {
    plat::RegCloseKey(key);
    DebugLog("IA: NT/2K: Is an Admin");
    return true;
  }
  DebugLog("IA: NT/2K: Not an Admin");
  return false;
}

std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool FileFound(const std::string& path) {
  plat::FindData found;
  plat::FindHandle find = plat::FindFirstFileA(path, &found);
  if (find == plat::kInvalidFind) return false;
  plat::FindClose(find);
  return !found.directory;
}

static std::string DirectoryText(uint32_t (*query)(char*, uint32_t)) {
  char buffer[261];
  std::memset(buffer, 0, sizeof buffer);
  if (query(buffer, 261) == 0) return "";
  buffer[260] = 0;
  return buffer;
}

std::string GetSystemDir() {
  DebugLog("GSD");
  std::string dir = DirectoryText(plat::GetSystemDirectoryA);
  DebugLog("GSD: " + dir);
  return dir;
}

std::string GetWindowsDir() {
  // Silent while the log is not open, so that opening the log can use it.
  if (DebugLogOpen) DebugLog("GWD");
  std::string dir = DirectoryText(plat::GetWindowsDirectoryA);
  if (DebugLogOpen) DebugLog("GWD: " + dir);
  return dir;
}

static uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool ReadVxdVersionResource(const std::string& path, uint32_t* capacity, uint8_t* buffer) {
  plat::FileView view;
  if (!plat::MapWholeFile(path, &view)) return false;
  const uint8_t* file = view.data;
  const uint64_t size = view.size;
  bool result = false;
  // Every offset the file states must lie inside it; otherwise it has no
  // version resource.
  uint64_t header = size >= 64 ? Le32(file + 60) : 0;
  bool signatures = size >= 64 && file[0] == 'M' && file[1] == 'Z' && header + 0xC0 <= size &&
                    std::memcmp(file + header, "LE\0\0", 4) == 0;
  if (signatures && Le32(file + header + 0xBC) != 0) {
    uint64_t resource = Le32(file + header + 0xB8);
    if (resource + 12 <= size) {
      uint32_t dataSize = Le32(file + resource + 8);
      if (resource + 12 + dataSize <= size) {
        if (buffer != nullptr && *capacity >= dataSize) {
          std::memset(buffer, 0, *capacity);
          std::memcpy(buffer, file + resource + 12, dataSize);
          result = true;
        }
        *capacity = dataSize;
      }
    }
  }
  plat::UnmapWholeFile(&view);
  return result;
}

uint32_t VxdVersionResourceSize(const std::string& path) {
  uint32_t capacity = 0;
  ReadVxdVersionResource(path, &capacity, nullptr);
  return capacity;
}

// A string value of a version block: at most its length as returned (which
// need not count a terminator) and never past the block, up to its first
// zero byte.
static std::string BoundedText(const std::vector<uint8_t>& block, const void* value, uint32_t length) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(block.data()), at = reinterpret_cast<uintptr_t>(value);
  if (at < start || at > start + block.size()) return "";
  const size_t room = start + block.size() - at, limit = length < room ? length : room;
  const char* text = static_cast<const char*>(value);
  const char* end = static_cast<const char*>(std::memchr(text, 0, limit));
  return std::string(text, end ? static_cast<size_t>(end - text) : limit);
}

std::string GetFileVersion(const std::string& path) {
  return GetFileVersionAs(path, path.find(".vxd") != std::string::npos || path.find(".VXD") != std::string::npos);
}

std::string GetFileVersionAs(const std::string& path, bool vxd) {
  DebugLog("GFV");
  std::string result;
  uint32_t size = vxd ? VxdVersionResourceSize(path) : plat::GetFileVersionInfoSizeA(path);
  if (size != 0) {
    DebugLog("GFV: Got info size");
    std::vector<uint8_t> block(size);
    bool read = vxd ? ReadVxdVersionResource(path, &size, block.data())
                    : plat::GetFileVersionInfoA(path, size, block.data());
    const void* value = nullptr;
    uint32_t length = 0;
    if (read) {
      DebugLog("GFV: Got version info");
      if (plat::VerQueryValueA(block.data(), static_cast<uint32_t>(block.size()), "\\VarFileInfo\\Translation",
                               &value, &length)) {
        DebugLog("GFV: Got translations");
        if (static_cast<uint16_t>(length / 4) != 0) {
          // At least 4 bytes, and VerQueryValueA returns only values that lie
          // inside the block: the first entry is there to read.
          const uint8_t* entry = static_cast<const uint8_t*>(value);
          unsigned language = entry[0] | entry[1] << 8, codePage = entry[2] | entry[3] << 8;
          std::string query = "\\StringFileInfo\\" + HexText(language, 4) + HexText(codePage, 4) + "\\FileVersion";
          if (plat::VerQueryValueA(block.data(), static_cast<uint32_t>(block.size()), query.c_str(), &value, &length))
            result = BoundedText(block, value, length);
          DebugLog("GFV: FileVersion of " + path + " is " + result);
        }
      }
    }
  }
  if (result.empty()) DebugLog("GFV: Failed to get FileVersion for " + path);
  return result;
}
