// The bounded version-information reader, against the generated sample
// drivers (tools/mkpe.sh, tools/mkvxd.cpp) and damaged copies of them.
#include "platform/sim/verinfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFixture(const std::string& name) {
  std::ifstream f(std::string(VQD_FIXTURE_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(f.good()) << name;
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

// The files are little-endian, like the host.
uint32_t Get32(const Bytes& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, &b[at], 4);
  return v;
}
void Put32(Bytes* b, size_t at, uint32_t v) { std::memcpy(&(*b)[at], &v, 4); }
void Put16(Bytes* b, size_t at, uint16_t v) { std::memcpy(&(*b)[at], &v, 2); }

bool Find(bool vxd, const Bytes& image, size_t* offset, size_t* length) {
  return (vxd ? verinfo::FindVxdVersionResource : verinfo::FindPeVersionResource)(
      image.data(), image.size(), offset, length);
}

// What GetFileVersionInfoA hands out: the raw block, then as many bytes again
// for the 8-bit copies of its strings (garbage here).
Bytes VersionBlock(const Bytes& image, bool vxd) {
  size_t offset = 0, length = 0;
  EXPECT_TRUE(Find(vxd, image, &offset, &length));
  Bytes block(image.begin() + offset, image.begin() + offset + length);
  block.resize(2 * length, 0xCC);
  return block;
}

// Queries the first n bytes of block, copied into a buffer of exactly that
// size so that any stray access is caught. Strings are read as a careful
// caller reads them: at most their length, up to a zero byte.
std::optional<std::string> Query(const Bytes& block, const std::string& path,
                                 size_t n = SIZE_MAX, bool text = false) {
  Bytes buf(block.begin(), block.begin() + std::min(n, block.size()));
  const void* value = nullptr;
  uint32_t length = 0;
  if (!verinfo::QueryValue(buf.data(), uint32_t(buf.size()), path, &value, &length)) return {};
  const char *p = static_cast<const char*>(value), *begin = reinterpret_cast<char*>(buf.data());
  EXPECT_TRUE(p >= begin && length <= size_t(begin + buf.size() - p)) << path;
  return std::string(p, text ? strnlen(p, length) : length);
}
std::optional<std::string> Text(const Bytes& block, const std::string& path, size_t n = SIZE_MAX) {
  return Query(block, path, n, true);
}

// Offset of the node with the given key (encoded as the layout has it).
size_t NodeOf(const Bytes& block, const std::string& key, bool wide) {
  Bytes k;
  for (char c : key + '\0') {
    k.push_back(uint8_t(c));
    if (wide) k.push_back(0);
  }
  const auto it = std::search(block.begin(), block.end(), k.begin(), k.end());
  EXPECT_NE(it, block.end()) << key;
  return size_t(it - block.begin()) - (wide ? 6 : 4);
}

struct Sample {
  const char* file;
  bool vxd;
  const char* language;
  const char* fileVersion;
  uint32_t ms, ls;
  std::string FileVersionPath() const {
    return std::string("\\StringFileInfo\\") + language + "\\FileVersion";
  }
};
const Sample kSamples[] = {
    {"ver_5_1_26_0.sys", false, "040904b0", "5.1.26.0", 0x00050001, 0x001A0000},
    {"ver_text.sys", false, "040904b0", "1.2.3.4 (build 7)", 0x00010002, 0x00030004},
    {"meridax.vxd", true, "040904E4", "4.10.0.2222", 0x0004000A, 0x000008AE},
};

TEST(VerinfoSamples, FixedInfoTranslationAndStrings) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.file);
    const Bytes block = VersionBlock(ReadFixture(s.file), s.vxd);
    const auto fixed = Query(block, "\\");
    ASSERT_TRUE(fixed && fixed->size() == 52);
    const Bytes f(fixed->begin(), fixed->end());
    EXPECT_EQ(Get32(f, 0), 0xFEEF04BDu);
    EXPECT_EQ(Get32(f, 8), s.ms);
    EXPECT_EQ(Get32(f, 12), s.ls);

    // The string path is formed from the first translation, as the installer does.
    const auto tr = Query(block, "\\VarFileInfo\\Translation");
    ASSERT_TRUE(tr && tr->size() == 4);
    const Bytes t(tr->begin(), tr->end());
    char language[9];
    std::snprintf(language, sizeof language, "%04x%04x", t[0] | t[1] << 8, t[2] | t[3] << 8);
    EXPECT_STRCASEEQ(language, s.language);
    const std::string table = std::string("\\StringFileInfo\\") + language;
    EXPECT_EQ(Text(block, table + "\\FileVersion"), s.fileVersion);
    EXPECT_EQ(Text(block, "\\stringFILEinfo\\" + std::string(language) + "\\FILEVERSION"),
              s.fileVersion);  // keys compare case-insensitively

    for (const std::string& missing : {table + "\\CompanyName", table + "\\FileVersio",
                                       table + "\\FileVersion\\x", table + "0\\FileVersion"})
      EXPECT_FALSE(Text(block, missing)) << missing;
    // Nodes without a value are there all the same, as Windows has it.
    EXPECT_EQ(Text(block, table), "");
    Bytes noTranslation = block;
    Put16(&noTranslation, NodeOf(block, "Translation", !s.vxd) + 2, 0);
    EXPECT_EQ(Query(noTranslation, "\\VarFileInfo\\Translation"), "");
  }
}

TEST(VerinfoStrings, ConvertedIntoSecondHalfWithoutTouchingRawData) {
  Bytes block = VersionBlock(ReadFixture("ver_5_1_26_0.sys"), false);
  const size_t raw = block.size() / 2;
  const Bytes before(block.begin(), block.begin() + raw);
  const void* value;
  uint32_t length;
  const std::string path = "\\StringFileInfo\\040904b0\\FileVersion";
  ASSERT_TRUE(verinfo::QueryValue(block.data(), uint32_t(block.size()), path, &value, &length));
  EXPECT_GE(static_cast<const uint8_t*>(value), block.data() + raw);
  EXPECT_EQ(length, 9u);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + raw), before);
  EXPECT_EQ(Text(block, "\\StringFileInfo\\040904b0\\ProductName"), "VQD test driver");

  // Characters beyond Latin-1 become '?'.
  const size_t text = NodeOf(block, "FileVersion", true) + 32;  // header, key, padding
  Put16(&block, text, 0x263A);
  Put16(&block, text + 2, 0x00E9);
  EXPECT_EQ(Text(block, path), "?\xE9" "1.26.0");

  // Without room for the copy there is no string, but binary values still read.
  EXPECT_FALSE(Text(block, path, 2 * raw - 1));
  EXPECT_TRUE(Query(block, "\\VarFileInfo\\Translation", raw));
}

// Strings come back as the system hands them out: where they stand (a 16-bit
// block) or where they were converted to (a 32-bit block), with the length
// stored in the file, which counts a terminator only when the file has one.
TEST(VerinfoStrings, LengthAsStoredTerminatorOrNot) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.file);
    const bool wide = !s.vxd;
    Bytes block = VersionBlock(ReadFixture(s.file), s.vxd);
    const size_t node = NodeOf(block, "FileVersion", wide);
    const size_t text = node + (wide ? 32 : 16);  // header, key, padding
    const size_t stored = std::strlen(s.fileVersion) + 1;
    ASSERT_EQ(size_t(block[node + 2] | block[node + 3] << 8), stored);
    for (size_t length : {stored, stored - 1, size_t(4)}) {
      Put16(&block, node + 2, uint16_t(length));
      const void* value = nullptr;
      uint32_t got = 0;
      ASSERT_TRUE(verinfo::QueryValue(block.data(), uint32_t(block.size()), s.FileVersionPath(), &value, &got));
      EXPECT_EQ(got, length);
      const uint8_t* p = static_cast<const uint8_t*>(value);
      EXPECT_EQ(p, block.data() + (wide ? block.size() / 2 + text : text)) << length;
      // The text with its terminator, as far as the length reaches.
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), length),
                std::string(s.fileVersion, stored).substr(0, length));
    }
  }
}

// Every prefix of an image holds the whole version data or none; every prefix
// of a block gives the full value or nothing: binary values need the raw
// block, strings of a 32-bit block twice that.
TEST(VerinfoRobustness, Truncation) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.file);
    const Bytes image = ReadFixture(s.file);
    size_t offset, length, o, l;
    ASSERT_TRUE(Find(s.vxd, image, &offset, &length));
    for (size_t n = 0; n < image.size(); ++n) {
      const bool found = Find(s.vxd, Bytes(image.begin(), image.begin() + n), &o, &l);
      ASSERT_TRUE(!found || (o == offset && l == length && n >= offset + length)) << n;
    }

    const Bytes block = VersionBlock(image, s.vxd);
    const size_t raw = block.size() / 2;
    const auto fixed = Query(block, "\\"), tr = Query(block, "\\VarFileInfo\\Translation");
    for (size_t n = 0; n <= block.size(); ++n) {
      const auto f = Query(block, "\\", n), t = Query(block, "\\VarFileInfo\\Translation", n);
      const auto v = Text(block, s.FileVersionPath(), n);
      ASSERT_TRUE((!f || f == fixed) && (!t || t == tr) && (!v || v == s.fileVersion)) << n;
      ASSERT_EQ(bool(f), n >= (s.vxd ? 4 + 16 : 6 + 32 + 2) + 52) << n;
      ASSERT_EQ(bool(t), n >= raw) << n;  // the translation ends the block
      ASSERT_TRUE(s.vxd ? bool(v) || n < raw : bool(v) == (n >= 2 * raw)) << n;
    }
  }
}

TEST(VerinfoRobustness, DamagedNodes) {
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.file);
    const bool wide = !s.vxd;
    const Bytes good = VersionBlock(ReadFixture(s.file), s.vxd);
    const size_t fv = NodeOf(good, "FileVersion", wide), lang = NodeOf(good, s.language, wide);
    const auto damaged = [&](size_t at, uint16_t v) {
      Bytes b = good;
      Put16(&b, at, v);
      return Text(b, s.FileVersionPath());
    };
    ASSERT_EQ(damaged(fv, uint16_t(good[fv] | good[fv + 1] << 8)), s.fileVersion);
    EXPECT_FALSE(damaged(fv, 0)) << "zero length";
    EXPECT_FALSE(damaged(fv, 2)) << "shorter than its header";
    EXPECT_FALSE(damaged(fv, 0xFFF0)) << "longer than its parent";
    EXPECT_FALSE(damaged(lang, 0xFFF0)) << "language block longer than its parent";
    EXPECT_FALSE(damaged(fv, wide ? 6 + 8 : 4 + 4)) << "key without terminator";
    EXPECT_FALSE(damaged(fv + 2, 0x7FFF)) << "value past the node";
    EXPECT_FALSE(damaged(0, 0)) << "zero-length root";
    // A string stored shorter than its text is what its length says.
    EXPECT_EQ(damaged(fv + 2, 3), std::string(s.fileVersion, 3)) << "string without terminator";
    // A root claiming more than the block is cut to the block.
    Bytes b = good;
    Put16(&b, 0, 0xFFFF);
    EXPECT_TRUE(Query(b, "\\"));
  }
}

// Patches one field of a fixture and looks for the version data.
bool FoundAfter(bool vxd, Bytes image, size_t at, uint32_t v, bool word = false) {
  word ? Put16(&image, at, uint16_t(v)) : Put32(&image, at, v);
  size_t o, l;
  return Find(vxd, image, &o, &l);
}

TEST(VerinfoRobustness, DamagedPeHeaders) {
  const Bytes good = ReadFixture("ver_5_1_26_0.sys"), none = ReadFixture("nover.sys");
  size_t o, l;
  EXPECT_FALSE(Find(false, none, &o, &l));
  EXPECT_FALSE(Find(true, good, &o, &l));

  const uint32_t pe = Get32(good, 0x3C), opt = pe + 24, rsrcDir = opt + 96 + 16;
  const size_t sections = opt + (good[pe + 20] | good[pe + 21] << 8);
  // The fixture's resource tree: one type, one name, one language.
  size_t base = 0;
  for (size_t s = sections; base == 0; s += 40)
    if (Get32(good, s + 12) == Get32(good, rsrcDir)) base = Get32(good, s + 20);
  const size_t nameEntry = base + (Get32(good, base + 20) & 0x7FFFFFFF) + 16;
  const size_t langEntry = base + (Get32(good, nameEntry + 4) & 0x7FFFFFFF) + 16;
  const size_t dataEntry = base + Get32(good, langEntry + 4);
  const auto found = [&](size_t at, uint32_t v, bool word = false) {
    return FoundAfter(false, good, at, v, word);
  };
  ASSERT_TRUE(found(0x3C, pe));
  EXPECT_FALSE(found(0x3C, uint32_t(good.size()) + 8)) << "e_lfanew past the end";
  EXPECT_FALSE(found(opt, 0x10C, true)) << "unknown optional header";
  EXPECT_FALSE(found(opt + 92, 2)) << "no resource directory entry";
  EXPECT_FALSE(found(rsrcDir, 0x7FFFF000)) << "resource RVA outside";
  EXPECT_FALSE(found(pe + 6, 0xFFFF, true)) << "section table past the end";
  EXPECT_FALSE(found(base + 16, 3)) << "no RT_VERSION type";
  EXPECT_FALSE(found(base + 20, 0x80000000)) << "name level loops to the root";
  EXPECT_FALSE(found(nameEntry + 4, Get32(good, base + 20))) << "language level loops";
  EXPECT_FALSE(found(dataEntry, 0x7FFFF000)) << "data RVA outside";
  EXPECT_FALSE(found(dataEntry + 4, 0x100000)) << "data past its section";
  EXPECT_FALSE(found(dataEntry + 4, 0)) << "empty data";
}

TEST(VerinfoRobustness, DamagedVxdHeaders) {
  const Bytes good = ReadFixture("meridax.vxd"), zero = ReadFixture("zerolen.vxd");
  size_t o, l;
  EXPECT_FALSE(Find(true, zero, &o, &l));
  EXPECT_FALSE(Find(false, good, &o, &l));

  const uint32_t le = Get32(good, 0x3C), res = Get32(good, le + 0xB8), len = Get32(good, le + 0xBC);
  ASSERT_TRUE(FoundAfter(true, good, 0x3C, le));
  EXPECT_FALSE(FoundAfter(true, good, 0x3C, uint32_t(good.size()) - 0x40)) << "LE past the end";
  EXPECT_FALSE(FoundAfter(true, good, le, 0x0000454E)) << "NE, not LE";
  EXPECT_FALSE(FoundAfter(true, good, le + 0xB8, 0xFFFFFFF0)) << "resource offset wrapping";
  EXPECT_FALSE(FoundAfter(true, good, le + 0xBC, len + 1)) << "resource past the end";
  EXPECT_FALSE(FoundAfter(true, good, res + 8, len - 11)) << "block larger than the resource";
}

}  // namespace
