#include "vqdlib/sysinfo.h"

#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "vqdlib/numtext.h"

static std::string DirectoryText(uint32_t (*query)(char*, uint32_t)) {
  char buffer[261];
  std::memset(buffer, 0, sizeof buffer);
  if (query(buffer, 261) == 0) return "";
  buffer[260] = 0;
  return buffer;
}

std::string SystemDirectoryText() { return DirectoryText(plat::GetSystemDirectoryA); }

std::string WindowsDirectoryText() { return DirectoryText(plat::GetWindowsDirectoryA); }

bool NamedAsVxd(const std::string& path) {
  return path.find(".vxd") != std::string::npos || path.find(".VXD") != std::string::npos;
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

std::string FileVersionText(const std::string& path, bool vxd, void (*log)(const std::string& line)) {
  auto line = [log](const std::string& text) {
    if (log) log(text);
  };
  line("GFV");
  std::string result;
  uint32_t size = vxd ? VxdVersionResourceSize(path) : plat::GetFileVersionInfoSizeA(path);
  if (size != 0) {
    line("GFV: Got info size");
    std::vector<uint8_t> block(size);
    bool read = vxd ? ReadVxdVersionResource(path, &size, block.data())
                    : plat::GetFileVersionInfoA(path, size, block.data());
    const void* value = nullptr;
    uint32_t length = 0;
    if (read) {
      line("GFV: Got version info");
      if (plat::VerQueryValueA(block.data(), static_cast<uint32_t>(block.size()), "\\VarFileInfo\\Translation",
                               &value, &length)) {
        line("GFV: Got translations");
        if (static_cast<uint16_t>(length / 4) != 0) {
          // At least 4 bytes, and VerQueryValueA returns only values that lie
          // inside the block: the first entry is there to read.
          const uint8_t* entry = static_cast<const uint8_t*>(value);
          unsigned language = entry[0] | entry[1] << 8, codePage = entry[2] | entry[3] << 8;
          std::string query = "\\StringFileInfo\\" + HexText(language, 4) + HexText(codePage, 4) + "\\FileVersion";
          if (plat::VerQueryValueA(block.data(), static_cast<uint32_t>(block.size()), query.c_str(), &value, &length))
            result = BoundedText(block, value, length);
          line("GFV: FileVersion of " + path + " is " + result);
        }
      }
    }
  }
  if (result.empty()) line("GFV: Failed to get FileVersion for " + path);
  return result;
}
