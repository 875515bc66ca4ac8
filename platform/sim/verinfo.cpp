#include "platform/sim/verinfo.h"

#include <algorithm>
#include <cstring>

namespace verinfo {
namespace {

// A byte range with checked little-endian reads. Offsets are kept in 64 bits
// so that sums of file fields cannot wrap.
struct Bytes {
  const uint8_t* data;
  uint64_t size;

  bool Has(uint64_t pos, uint64_t n) const { return pos <= size && n <= size - pos; }
  bool U16(uint64_t pos, uint32_t* v) const {
    if (!Has(pos, 2)) return false;
    *v = data[pos] | data[pos + 1] << 8;
    return true;
  }
  bool U32(uint64_t pos, uint32_t* v) const {
    if (!Has(pos, 4)) return false;
    *v = data[pos] | data[pos + 1] << 8 | data[pos + 2] << 16 | uint32_t(data[pos + 3]) << 24;
    return true;
  }
};

uint64_t Align4(uint64_t x) { return (x + 3) & ~uint64_t(3); }

// ---- PE images

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kSubdirectory = 0x80000000u;

struct SectionTable {
  uint64_t pos;
  uint32_t count;
};

// Maps an RVA to a file offset through the section table. *avail receives how
// many bytes of the section's file data (and of the file) follow that offset.
bool RvaToOffset(const Bytes& img, const SectionTable& sections, uint32_t rva, uint64_t* offset,
                 uint64_t* avail) {
  for (uint32_t i = 0; i < sections.count; ++i) {
    const uint64_t s = sections.pos + uint64_t(i) * 40;
    uint32_t va, rawSize, rawPtr;
    if (!img.U32(s + 12, &va) || !img.U32(s + 16, &rawSize) || !img.U32(s + 20, &rawPtr))
      return false;
    if (rva < va || rva - va >= rawSize) continue;
    const uint64_t off = uint64_t(rawPtr) + (rva - va);
    if (off >= img.size) return false;
    *offset = off;
    *avail = std::min<uint64_t>(rawSize - (rva - va), img.size - off);
    return true;
  }
  return false;
}

// Picks an entry of the resource directory at dir (relative to the resource
// section, which has limit bytes): the one with the given id, or the first
// one when id is 0. Returns the entry's OffsetToData.
bool DirectoryEntry(const Bytes& img, uint64_t base, uint64_t limit, uint64_t dir, uint32_t id,
                    uint32_t* target) {
  uint32_t named, ids;
  if (dir > limit || limit - dir < 16) return false;
  if (!img.U16(base + dir + 12, &named) || !img.U16(base + dir + 14, &ids)) return false;
  const uint64_t count = uint64_t(named) + ids;
  if (count == 0 || (limit - dir - 16) / 8 < count) return false;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t e = base + dir + 16 + i * 8;
    uint32_t name, data;
    if (!img.U32(e, &name) || !img.U32(e + 4, &data)) return false;
    if (id == 0 || name == id) {  // named entries have the high bit set
      *target = data;
      return true;
    }
  }
  return false;
}

// ---- Version blocks

struct Node {
  uint64_t end;          // one past the node's last byte
  uint64_t key, keyEnd;  // the key's characters, without the terminator
  uint64_t value;        // the value's offset
  uint32_t valueLength;  // wValueLength / cbValue as stored
  uint64_t valueBytes;
  uint64_t children;  // offset of the first child (4-aligned)
  bool text;          // 32-bit layout, wType 1
};

// Parses the node at pos, which must fit in [pos, end). Only the root may claim
// more than it has; it is cut to what the block holds.
bool ParseNode(const Bytes& b, bool wide, uint64_t pos, uint64_t end, bool root, Node* n) {
  const uint64_t header = wide ? 6 : 4, unit = wide ? 2 : 1;
  uint32_t length, valueLength, type = 0;
  if (pos > end || end - pos < header) return false;
  if (!b.U16(pos, &length) || !b.U16(pos + 2, &valueLength)) return false;
  if (wide && !b.U16(pos + 4, &type)) return false;
  if (length < header) return false;
  if (length > end - pos) {
    if (!root) return false;
    length = uint32_t(end - pos);
  }
  n->end = pos + length;

  uint64_t k = pos + header;
  for (;;) {
    if (n->end - k < unit) return false;  // no terminator inside the node
    if (b.data[k] == 0 && (!wide || b.data[k + 1] == 0)) break;
    k += unit;
  }
  n->key = pos + header;
  n->keyEnd = k;
  n->text = wide && type == 1;
  n->value = Align4(k + unit);
  n->valueLength = valueLength;
  n->valueBytes = n->text ? uint64_t(valueLength) * 2 : valueLength;
  if (valueLength != 0 && (n->value > n->end || n->end - n->value < n->valueBytes)) return false;
  n->children = Align4(n->value + n->valueBytes);
  return true;
}

uint32_t Lower(uint32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

bool SameText(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (Lower(static_cast<unsigned char>(a[i])) != Lower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Key comparison as Windows does it: case-insensitive. The 8-bit name is taken
// as Latin-1, the same code page the string conversion below assumes.
bool KeyIs(const Bytes& b, bool wide, const Node& n, const std::string& name) {
  const uint64_t unit = wide ? 2 : 1;
  if ((n.keyEnd - n.key) / unit != name.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const uint64_t at = n.key + i * unit;
    const uint32_t c = wide ? uint32_t(b.data[at] | b.data[at + 1] << 8) : b.data[at];
    if (Lower(c) != Lower(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

bool FindChild(const Bytes& b, bool wide, const Node& parent, const std::string& name,
               Node* child) {
  for (uint64_t pos = parent.children; pos < parent.end;) {
    Node c;
    if (!ParseNode(b, wide, pos, parent.end, false, &c)) return false;
    if (KeyIs(b, wide, c, name)) {
      *child = c;
      return true;
    }
    pos = Align4(c.end);
  }
  return false;
}

}  // namespace

bool FindPeVersionResource(const uint8_t* image, size_t size, size_t* offset, size_t* length) {
  if (!image) return false;
  const Bytes img{image, size};
  uint32_t pe, sectionCount, optSize, magic;
  if (!img.Has(0, 0x40) || image[0] != 'M' || image[1] != 'Z') return false;
  if (!img.U32(0x3C, &pe) || !img.Has(pe, 24) || std::memcmp(image + pe, "PE\0\0", 4) != 0)
    return false;
  img.U16(pe + 6, &sectionCount);
  img.U16(pe + 20, &optSize);
  const uint64_t opt = uint64_t(pe) + 24;
  if (!img.Has(opt, optSize) || !img.U16(opt, &magic)) return false;

  uint64_t countPos, dirs;
  if (magic == 0x10B) {
    countPos = 92, dirs = 96;
  } else if (magic == 0x20B) {
    countPos = 108, dirs = 112;
  } else {
    return false;
  }
  uint32_t dirCount, rsrcRva, rsrcSize;
  if (optSize < dirs + 3 * 8 || !img.U32(opt + countPos, &dirCount) || dirCount < 3) return false;
  img.U32(opt + dirs + 16, &rsrcRva);
  img.U32(opt + dirs + 20, &rsrcSize);
  if (rsrcRva == 0 || rsrcSize == 0) return false;

  const SectionTable sections{opt + optSize, sectionCount};
  if (!img.Has(sections.pos, uint64_t(sectionCount) * 40)) return false;
  uint64_t base, avail;
  if (!RvaToOffset(img, sections, rsrcRva, &base, &avail)) return false;
  const uint64_t limit = std::min<uint64_t>(rsrcSize, avail);

  // Type, then name, then language. A level leading back to the root is a loop;
  // one leading back to the name directory meets a subdirectory where data
  // should be, and the fixed depth ends any other cycle.
  uint32_t typeEntry, nameEntry, langEntry;
  if (!DirectoryEntry(img, base, limit, 0, kRtVersion, &typeEntry) ||
      !(typeEntry & kSubdirectory))
    return false;
  const uint32_t nameDir = typeEntry & ~kSubdirectory;
  if (nameDir == 0 || !DirectoryEntry(img, base, limit, nameDir, 0, &nameEntry) ||
      !(nameEntry & kSubdirectory))
    return false;
  const uint32_t langDir = nameEntry & ~kSubdirectory;
  if (langDir == 0 || !DirectoryEntry(img, base, limit, langDir, 0, &langEntry) ||
      (langEntry & kSubdirectory))
    return false;

  // IMAGE_RESOURCE_DATA_ENTRY: OffsetToData (an RVA), Size, CodePage, Reserved.
  uint32_t dataRva, dataSize;
  if (langEntry > limit || limit - langEntry < 16) return false;
  img.U32(base + langEntry, &dataRva);
  img.U32(base + langEntry + 4, &dataSize);
  uint64_t dataOff, dataAvail;
  if (dataSize == 0 || !RvaToOffset(img, sections, dataRva, &dataOff, &dataAvail) ||
      dataSize > dataAvail)
    return false;
  *offset = size_t(dataOff);
  *length = dataSize;
  return true;
}

bool FindVxdVersionResource(const uint8_t* image, size_t size, size_t* offset, size_t* length) {
  if (!image) return false;
  const Bytes img{image, size};
  uint32_t le, resOff, resLen, blockSize;
  if (!img.Has(0, 0x40) || image[0] != 'M' || image[1] != 'Z') return false;
  if (!img.U32(0x3C, &le) || !img.Has(le, 0xC0) || std::memcmp(image + le, "LE\0\0", 4) != 0)
    return false;
  img.U32(uint64_t(le) + 0xB8, &resOff);
  img.U32(uint64_t(le) + 0xBC, &resLen);
  if (resLen < 12 || !img.Has(resOff, resLen)) return false;
  img.U32(uint64_t(resOff) + 8, &blockSize);
  if (blockSize == 0 || blockSize > resLen - 12) return false;
  *offset = size_t(resOff) + 12;
  *length = blockSize;
  return true;
}

bool QueryValue(void* block, uint32_t blockSize, const std::string& subBlock, const void** value,
                uint32_t* length) {
  if (!block || !value || blockSize < 6) return false;
  uint8_t* const data = static_cast<uint8_t*>(block);
  const Bytes b{data, blockSize};
  // A 16-bit block has its ANSI root key where a 32-bit one has wType.
  const bool wide = data[4] < 0x20;
  uint32_t rawSize;
  b.U16(0, &rawSize);

  Node n;
  if (!ParseNode(b, wide, 0, blockSize, true, &n)) return false;
  // Values under StringFileInfo are strings; the 16-bit layout has no type word.
  bool strings = false;
  size_t depth = 0;
  for (size_t pos = 0; pos < subBlock.size();) {
    const size_t next = std::min(subBlock.find('\\', pos), subBlock.size());
    const std::string name = subBlock.substr(pos, next - pos);
    pos = next + 1;
    if (name.empty()) continue;
    if (depth++ == 0) strings = SameText(name, "StringFileInfo");
    if (!FindChild(b, wide, n, name, &n)) return false;
  }
  // A node without a value is found all the same, with length 0.
  const bool text = n.text || (!wide && strings);
  if (n.valueLength == 0) {
    *value = data + std::min(n.value, n.end);
    if (length) *length = 0;
    return true;
  }

  // Strings come back with the length they are stored with, as the system
  // hands them out: a terminator is part of them only when the file has one.
  uint64_t result = n.value, resultLength = text ? n.valueLength : n.valueBytes;
  if (n.text) {
    // UTF-16 into the second half of the block, at the same offset.
    if (rawSize > blockSize / 2) return false;
    result = rawSize + n.value;
    if (!b.Has(result, n.valueLength)) return false;
    for (uint64_t i = 0; i < n.valueLength; ++i) {
      const uint32_t c = data[n.value + 2 * i] | data[n.value + 2 * i + 1] << 8;
      data[result + i] = c > 0xFF ? '?' : uint8_t(c);
    }
  }
  *value = data + result;
  if (length) *length = uint32_t(resultLength);
  return true;
}

}  // namespace verinfo
