// mkvxd: writes a minimal Windows 9x VxD that carries version information.
//
//   mkvxd OUT.VXD FILEVERSION [--product TEXT] [--zero-length]
//
// The file has an MZ stub pointing (DWORD at 0x3C) to an LE header whose
// DWORDs at +0xB8/+0xBC give the file offset and length of the version
// resource. The resource is a 12-byte 16-bit resource header (the DWORD at +8
// is the data size) followed by a 16-bit VS_VERSION_INFO block. FILEVERSION
// ("a.b.c.d", optionally followed by text) fills the fixed file version and is
// the FileVersion string. --zero-length records a resource length of 0.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A node of a version block in the 16-bit layout: WORD cbBlock, WORD cbValue,
// the 8-bit key with its NUL, padding to 4, the value, then the children, each
// starting on a 4-byte boundary. cbBlock runs up to the end of the last child.
struct Node {
  std::string key;
  Bytes value;
  std::vector<Node> children;
};

void Pad4(Bytes* b) { b->resize((b->size() + 3) & ~size_t(3)); }

void Put16(Bytes* b, size_t at, uint32_t v) {
  (*b)[at] = uint8_t(v);
  (*b)[at + 1] = uint8_t(v >> 8);
}

void Put32(Bytes* b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

Bytes Serialize(const Node& node) {
  Bytes out(4);
  out.insert(out.end(), node.key.begin(), node.key.end());
  out.push_back(0);
  Pad4(&out);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const Node& child : node.children) {
    Pad4(&out);
    const Bytes b = Serialize(child);
    out.insert(out.end(), b.begin(), b.end());
  }
  if (out.size() > 0xFFFF || node.value.size() > 0xFFFF) {
    std::fprintf(stderr, "mkvxd: version node \"%s\" too large\n", node.key.c_str());
    std::exit(1);
  }
  Put16(&out, 0, uint32_t(out.size()));
  Put16(&out, 2, uint32_t(node.value.size()));
  return out;
}

Bytes Text(const std::string& s) {
  Bytes b(s.begin(), s.end());
  b.push_back(0);
  return b;
}

// Parses the leading "a.b.c.d" of text (missing parts are 0).
bool ParseVersion(const std::string& text, uint32_t part[4]) {
  const char* p = text.c_str();
  std::fill(part, part + 4, 0);
  for (int i = 0; i < 4; ++i) {
    if (*p < '0' || *p > '9') return i > 0;
    char* end;
    const unsigned long v = std::strtoul(p, &end, 10);
    if (v > 0xFFFF) return false;
    part[i] = uint32_t(v);
    p = end;
    if (*p++ != '.') break;
  }
  return true;
}

Bytes VersionBlock(const std::string& fileVersion, const std::string& product) {
  uint32_t v[4];
  if (!ParseVersion(fileVersion, v)) {
    std::fprintf(stderr, "mkvxd: bad file version \"%s\"\n", fileVersion.c_str());
    std::exit(2);
  }
  // VS_FIXEDFILEINFO: 13 DWORDs.
  Bytes fixed(52);
  Put32(&fixed, 0, 0xFEEF04BD);         // dwSignature
  Put32(&fixed, 4, 0x00010000);         // dwStrucVersion
  Put32(&fixed, 8, v[0] << 16 | v[1]);  // dwFileVersionMS
  Put32(&fixed, 12, v[2] << 16 | v[3]);
  Put32(&fixed, 16, v[0] << 16 | v[1]);  // dwProductVersionMS
  Put32(&fixed, 20, v[2] << 16 | v[3]);
  Put32(&fixed, 24, 0x3F);        // dwFileFlagsMask
  Put32(&fixed, 32, 0x00010004);  // dwFileOS: VOS_DOS_WINDOWS32
  Put32(&fixed, 36, 5);           // dwFileType: VFT_VXD

  const Node root{"VS_VERSION_INFO",
                  fixed,
                  {
                      {"StringFileInfo",
                       {},
                       {{"040904E4",
                         {},
                         {{"FileVersion", Text(fileVersion), {}},
                          {"ProductName", Text(product), {}}}}}},
                      {"VarFileInfo", {}, {{"Translation", {0x09, 0x04, 0xE4, 0x04}, {}}}},
                  }};
  return Serialize(root);
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, fileVersion, product = "VQD test VxD";
  bool zeroLength = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--zero-length") {
      zeroLength = true;
    } else if (arg == "--product" && i + 1 < argc) {
      product = argv[++i];
    } else if (out.empty()) {
      out = arg;
    } else if (fileVersion.empty()) {
      fileVersion = arg;
    } else {
      out.clear();
      break;
    }
  }
  if (out.empty() || fileVersion.empty()) {
    std::fprintf(stderr, "usage: mkvxd OUT.VXD FILEVERSION [--product TEXT] [--zero-length]\n");
    return 2;
  }

  const Bytes block = VersionBlock(fileVersion, product);
  constexpr size_t kLe = 0x80, kLeSize = 0xC4, kResource = 0x150;
  Bytes file(kResource + 12);
  file[0] = 'M';
  file[1] = 'Z';
  Put32(&file, 0x3C, kLe);
  std::memcpy(&file[kLe], "LE\0\0", 4);
  static_assert(kLe + kLeSize <= kResource, "resource overlaps the LE header");
  Put32(&file, kLe + 0xB8, kResource);
  Put32(&file, kLe + 0xBC, zeroLength ? 0 : uint32_t(12 + block.size()));
  // 16-bit resource header: type 0xFF,RT_VERSION; name 0xFF,1; flags; data size.
  const uint8_t header[8] = {0xFF, 16, 0, 0xFF, 1, 0, 0x30, 0};
  std::memcpy(&file[kResource], header, sizeof header);
  Put32(&file, kResource + 8, uint32_t(block.size()));
  file.insert(file.end(), block.begin(), block.end());

  FILE* f = std::fopen(out.c_str(), "wb");
  if (!f || std::fwrite(file.data(), 1, file.size(), f) != file.size() || std::fclose(f) != 0) {
    std::perror(out.c_str());
    return 1;
  }
  return 0;
}
