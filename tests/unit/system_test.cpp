// Windows family detection, directories, the administrator test and the
// FileVersion reader over executables and VxDs.
#include "sim_fixture.h"
#include "vqdlib/sysinfo.h"

using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

namespace {

void Put32(Bytes* b, size_t at, uint32_t v) {
  if (b->size() < at + 4) b->resize(at + 4);
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A node of a version block in the 16-bit layout.
Bytes Node(const std::string& key, const Bytes& value, const std::vector<Bytes>& children = {}) {
  Bytes n(4);
  n.insert(n.end(), key.begin(), key.end());
  n.push_back(0);
  while (n.size() % 4) n.push_back(0);
  n.insert(n.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    while (n.size() % 4) n.push_back(0);
    n.insert(n.end(), child.begin(), child.end());
  }
  n[0] = static_cast<uint8_t>(n.size());
  n[1] = static_cast<uint8_t>(n.size() >> 8);
  n[2] = static_cast<uint8_t>(value.size());
  n[3] = 0;
  return n;
}
Bytes Text(const std::string& s) {
  Bytes b(s.begin(), s.end());
  b.push_back(0);
  return b;
}
// A string value stored without its terminator.
Bytes Unterminated(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A VxD: MZ stub, LE header at 0x80, version resource at 0x200.
Bytes Vxd(const Bytes& block) {
  Bytes file(0x200, 0);
  file[0] = 'M';
  file[1] = 'Z';
  Put32(&file, 0x3C, 0x80);
  file[0x80] = 'L';
  file[0x81] = 'E';
  Put32(&file, 0x80 + 0xB8, 0x200);
  Put32(&file, 0x80 + 0xBC, static_cast<uint32_t>(12 + block.size()));
  Put32(&file, 0x200 + 8, static_cast<uint32_t>(block.size()));
  file.insert(file.end(), block.begin(), block.end());
  return file;
}

Bytes Block(const std::vector<Bytes>& tables, const Bytes& translations) {
  return Node("VS_VERSION_INFO", Bytes(52, 0),
              {Node("StringFileInfo", {}, tables), Node("VarFileInfo", {}, {Node("Translation", translations)})});
}

}  // namespace

class PlatformDetectionTest : public SimTest {};

TEST_F(PlatformDetectionTest, FamiliesFollowPlatformAndMajorVersion) {
  struct Case {
    uint32_t platform, major, minor;
    bool nt, twoK, unsupported;
    const char* line;
  } cases[] = {
      {2, 4, 0, true, false, false, "DW: NT"},   {2, 5, 0, true, true, false, "DW: 2K"},
      {2, 5, 1, true, true, false, "DW: 2K"},    {2, 6, 1, true, true, true, "DW: 2K"},
      {1, 4, 10, false, false, false, "DW: 9x"}, {0, 3, 11, false, false, false, "DW: 9x"},
  };
  StartLog();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "platform " << c.platform << " version " << c.major << "." << c.minor);
    sim::SetVersion(c.platform, c.major, c.minor, 1);
    UnsupportedOS = false;
    DetectWindows();
    EXPECT_EQ(IsNT, c.nt) << c.platform << " " << c.major;
    EXPECT_EQ(Is2K, c.twoK) << c.platform << " " << c.major;
    EXPECT_EQ(UnsupportedOS, c.unsupported) << c.platform << " " << c.major;
    EXPECT_EQ(LogLines().back(), c.line);
  }
}

// IsWow64Process exists from Windows XP on; without it the system is 32-bit.
TEST_F(PlatformDetectionTest, SixtyFourBitWindowsIsToldByIsWow64Process) {
  struct Case {
    uint32_t platform, major, minor;
    bool wow64, failing, detected;
  } cases[] = {
      {2, 5, 2, true, false, true},   {2, 6, 1, true, false, true},  {2, 5, 1, false, false, false},
      {2, 5, 0, true, false, false},  {2, 4, 0, true, false, false}, {1, 4, 10, true, false, false},
      {2, 6, 1, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "platform " << c.platform << " version " << c.major << "." << c.minor
                                      << (c.wow64 ? " 64-bit" : ""));
    sim::SetVersion(c.platform, c.major, c.minor, 1);
    sim::SetWow64(c.wow64);
    if (c.failing) sim::FailCalls("IsWow64Process", 1);
    IsWow64 = !c.detected;
    InitLibrary();
    EXPECT_EQ(IsWow64, c.detected) << c.platform << " " << c.major << "." << c.minor;
    EXPECT_EQ(UnsupportedOS, c.major > 5) << c.major;  // the version rule is its own
  }
}

TEST_F(PlatformDetectionTest, InitialisationCachesTheSystemDirectoryWithoutLogging) {
  EXPECT_EQ(SystemDir, "C:\\WINDOWS\\SYSTEM32");
  sim::SetSystemDirectory("");
  InitLibrary();
  EXPECT_EQ(SystemDir, "");
  EXPECT_FALSE(DebugEnabled);
  EXPECT_FALSE(sim::FileExists("C:\\VQDINST.LOG"));
}

TEST_F(PlatformDetectionTest, AdministratorIsWhoMayWriteTheSoftwareKey) {
  StartLog();
  EXPECT_TRUE(IsAdmin());
  sim::SetAdmin(false);
  EXPECT_FALSE(IsAdmin());
  EXPECT_EQ(LogLines(), (Lines{"IA", "IA: NT/2K: Is an Admin", "IA", "IA: NT/2K: Not an Admin"}));
}

class FileVersionTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    StartLog();
  }
};

TEST_F(FileVersionTest, ExecutableVersionIsTheFirstTranslationsFileVersion) {
  sim::WriteFile("C:\\D\\VQD2K.SYS", Fixture("ver_5_1_26_0.sys"));
  sim::WriteFile("C:\\D\\TEXT.SYS", Fixture("ver_text.sys"));
  EXPECT_EQ(GetFileVersion("C:\\D\\VQD2K.SYS"), "5.1.26.0");
  EXPECT_EQ(GetFileVersion("C:\\D\\TEXT.SYS"), "1.2.3.4 (build 7)");
  EXPECT_EQ(LogLines(), (Lines{"GFV", "GFV: Got info size", "GFV: Got version info", "GFV: Got translations",
                               "GFV: FileVersion of C:\\D\\VQD2K.SYS is 5.1.26.0", "GFV", "GFV: Got info size",
                               "GFV: Got version info", "GFV: Got translations",
                               "GFV: FileVersion of C:\\D\\TEXT.SYS is 1.2.3.4 (build 7)"}));
}

TEST_F(FileVersionTest, MissingFileOrResourceGivesEmptyVersion) {
  sim::WriteFile("C:\\D\\NOVER.SYS", Fixture("nover.sys"));
  EXPECT_EQ(GetFileVersion("C:\\D\\NOVER.SYS"), "");
  EXPECT_EQ(GetFileVersion("C:\\D\\ABSENT.SYS"), "");
  EXPECT_EQ(LogLines(), (Lines{"GFV", "GFV: Failed to get FileVersion for C:\\D\\NOVER.SYS", "GFV",
                               "GFV: Failed to get FileVersion for C:\\D\\ABSENT.SYS"}));
}

TEST_F(FileVersionTest, VxdVersionIsReadFromItsLinearExecutableHeader) {
  Bytes vxd = Fixture("meridax.vxd");
  sim::WriteFile("C:\\D\\MERIDAX.VXD", vxd);
  sim::WriteFile("C:\\D\\lower.vxd", vxd);
  sim::WriteFile("C:\\D\\Mixed.Vxd", vxd);
  EXPECT_EQ(GetFileVersion("C:\\D\\MERIDAX.VXD"), "4.10.0.2222");
  EXPECT_EQ(GetFileVersion("C:\\D\\lower.vxd"), "4.10.0.2222");
  // Only ".vxd" and ".VXD" mark a VxD; the system's reader cannot read it.
  EXPECT_EQ(GetFileVersion("C:\\D\\Mixed.Vxd"), "");
  EXPECT_GT(VxdVersionResourceSize("C:\\D\\MERIDAX.VXD"), 0u);
}

TEST_F(FileVersionTest, VxdRulesApplyToTheWholePath) {
  sim::WriteFile("C:\\OLD.VXD\\VQD.SYS", Fixture("ver_5_1_26_0.sys"));
  EXPECT_EQ(GetFileVersion("C:\\OLD.VXD\\VQD.SYS"), "");
  EXPECT_EQ(LogLines(), (Lines{"GFV", "GFV: Failed to get FileVersion for C:\\OLD.VXD\\VQD.SYS"}));
}

TEST_F(FileVersionTest, VxdWithoutVersionResource) {
  sim::WriteFile("C:\\D\\ZERO.VXD", Fixture("zerolen.vxd"));
  EXPECT_EQ(GetFileVersion("C:\\D\\ZERO.VXD"), "");
  EXPECT_EQ(LogLines(), (Lines{"GFV", "GFV: Failed to get FileVersion for C:\\D\\ZERO.VXD"}));
}

TEST_F(FileVersionTest, OnlyTheFirstTranslationIsConsulted) {
  Bytes table1 = Node("040904E4", {}, {Node("ProductName", Text("VQD"))});
  Bytes table2 = Node("040704E4", {}, {Node("FileVersion", Text("9.9.9.9"))});
  sim::WriteFile("C:\\D\\TWO.VXD", Vxd(Block({table1, table2}, {0x09, 0x04, 0xE4, 0x04, 0x07, 0x04, 0xE4, 0x04})));
  sim::WriteFile("C:\\D\\NONE.VXD", Vxd(Block({table2}, {})));
  EXPECT_EQ(GetFileVersion("C:\\D\\TWO.VXD"), "");
  EXPECT_EQ(GetFileVersion("C:\\D\\NONE.VXD"), "");
  EXPECT_EQ(LogLines(), (Lines{"GFV", "GFV: Got info size", "GFV: Got version info", "GFV: Got translations",
                               "GFV: FileVersion of C:\\D\\TWO.VXD is ",
                               "GFV: Failed to get FileVersion for C:\\D\\TWO.VXD", "GFV", "GFV: Got info size",
                               "GFV: Got version info", "GFV: Got translations",
                               "GFV: Failed to get FileVersion for C:\\D\\NONE.VXD"}));
}

TEST_F(FileVersionTest, VxdOffsetsOutsideTheFileMeanNoVersion) {
  Bytes good = Vxd(Block({Node("040904E4", {}, {Node("FileVersion", Text("4.0.0.1"))})}, {0x09, 0x04, 0xE4, 0x04}));
  sim::WriteFile("C:\\D\\GOOD.VXD", good);
  ASSERT_EQ(GetFileVersion("C:\\D\\GOOD.VXD"), "4.0.0.1");

  Bytes headerOutside = good;
  Put32(&headerOutside, 0x3C, 0xFFFFFFF0u);
  Bytes resourceOutside = good;
  Put32(&resourceOutside, 0x80 + 0xB8, static_cast<uint32_t>(good.size() - 4));
  Bytes sizeOutside = good;
  Put32(&sizeOutside, 0x200 + 8, 0xFFFFFFFFu);
  Bytes notLe = good;
  notLe[0x82] = 'X';
  for (const Bytes& bad : {headerOutside, resourceOutside, sizeOutside, notLe}) {
    sim::WriteFile("C:\\D\\BAD.VXD", bad);
    EXPECT_EQ(VxdVersionResourceSize("C:\\D\\BAD.VXD"), 0u);
    EXPECT_EQ(GetFileVersion("C:\\D\\BAD.VXD"), "");
  }
  // Every truncation of a good file reads as a version or as none, never past its end.
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    sim::WriteFile("C:\\D\\CUT.VXD", Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
    EXPECT_EQ(GetFileVersion("C:\\D\\CUT.VXD"), "") << cut;
  }
}

// The system hands out a string with the length stored in the file; a
// FileVersion stored without its terminator ends there, and is never read
// past it into the next node or past the end of the block.
TEST_F(FileVersionTest, VersionStringWithoutTerminatorEndsAtItsLength) {
  const Bytes translation = {0x09, 0x04, 0xE4, 0x04};
  Bytes table = Node("040904E4", {}, {Node("FileVersion", Unterminated("4.0.0.12")), Node("ProductName", Text("VQD"))});
  sim::WriteFile("C:\\D\\NEXT.VXD", Vxd(Block({table}, translation)));
  // The string is the last thing of the block: nothing follows it at all.
  Bytes lastTable = Node("040904E4", {}, {Node("FileVersion", Unterminated("4.0.0.12"))});
  Bytes last = Node("VS_VERSION_INFO", Bytes(52, 0),
                    {Node("VarFileInfo", {}, {Node("Translation", translation)}), Node("StringFileInfo", {}, {lastTable})});
  ASSERT_EQ(std::string(last.end() - 8, last.end()), "4.0.0.12");
  sim::WriteFile("C:\\D\\LAST.VXD", Vxd(last));
  EXPECT_EQ(GetFileVersion("C:\\D\\NEXT.VXD"), "4.0.0.12");
  EXPECT_EQ(GetFileVersion("C:\\D\\LAST.VXD"), "4.0.0.12");
  EXPECT_EQ(LogLines()[4], "GFV: FileVersion of C:\\D\\NEXT.VXD is 4.0.0.12");
}

TEST_F(FileVersionTest, ReadVxdReportsTheSizeWhenTheBufferIsTooSmall) {
  Bytes block = Block({Node("040904E4", {}, {Node("FileVersion", Text("4.0.0.1"))})}, {0x09, 0x04, 0xE4, 0x04});
  sim::WriteFile("C:\\D\\A.VXD", Vxd(block));
  uint32_t capacity = 4;
  uint8_t small[4] = {1, 2, 3, 4};
  EXPECT_FALSE(ReadVxdVersionResource("C:\\D\\A.VXD", &capacity, small));
  EXPECT_EQ(capacity, block.size());
  EXPECT_EQ(small[0], 1);  // untouched
  Bytes big(block.size() + 8, 0xAA);
  capacity = static_cast<uint32_t>(big.size());
  EXPECT_TRUE(ReadVxdVersionResource("C:\\D\\A.VXD", &capacity, big.data()));
  EXPECT_EQ(capacity, block.size());
  EXPECT_TRUE(std::equal(block.begin(), block.end(), big.begin()));
  EXPECT_EQ(big.back(), 0);  // the rest zeroed
  capacity = 99;
  EXPECT_FALSE(ReadVxdVersionResource("C:\\D\\MISSING.VXD", &capacity, big.data()));
  EXPECT_EQ(capacity, 99u);
}
