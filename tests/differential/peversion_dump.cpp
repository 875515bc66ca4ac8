// Prints what the host's reader of version resources (platform/sim/verinfo,
// the stand-in for version.dll) finds in each file, one line per file:
//   PATH<TAB>FIXED<TAB>STRING
// FIXED is dwFileVersionMS/LS of the fixed file information as a.b.c.d,
// STRING the FileVersion text of the first translation; each is "none" when
// the reader finds nothing. Read the way GetFileVersionInfoA and
// VerQueryValueA do it for the program: the PE resource only.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/sim/verinfo.h"

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

void Dump(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string fixed = "none", text = "none";
  size_t offset = 0, length = 0;
  if (in.good() || in.eof()) {
    if (verinfo::FindPeVersionResource(image.data(), image.size(), &offset, &length)) {
      // Laid out as GetFileVersionInfoA does: the data, then as much room
      // again for the 8-bit copies of its strings.
      std::vector<uint8_t> block(image.begin() + offset, image.begin() + offset + length);
      block.resize(2 * length);
      const void* value = nullptr;
      uint32_t size = 0;
      if (verinfo::QueryValue(block.data(), uint32_t(block.size()), "\\", &value, &size) && size >= 52) {
        const auto* info = static_cast<const uint8_t*>(value);
        const uint32_t ms = Le32(info + 8), ls = Le32(info + 12);
        fixed = std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) +
                "." + std::to_string(ls & 0xFFFF);
      }
      if (verinfo::QueryValue(block.data(), uint32_t(block.size()), "\\VarFileInfo\\Translation", &value, &size) &&
          size >= 4) {
        const auto* pair = static_cast<const uint8_t*>(value);
        char sub[64];
        std::snprintf(sub, sizeof sub, "\\StringFileInfo\\%4.4x%4.4x\\FileVersion", pair[0] | pair[1] << 8,
                      pair[2] | pair[3] << 8);
        if (verinfo::QueryValue(block.data(), uint32_t(block.size()), sub, &value, &size)) {
          const char* s = static_cast<const char*>(value);
          text.assign(s, size);
          text = text.substr(0, text.find('\0'));
        }
      }
    }
  }
  std::printf("%s\t%s\t%s\n", path, fixed.c_str(), text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) Dump(argv[i]);
  return argc > 1 ? 0 : 2;
}
