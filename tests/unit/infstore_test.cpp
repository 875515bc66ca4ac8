// SetupCopyOEMInfA of the simulated Windows: the INF and its catalog in the
// system's store, found by content as a test on a real system must find them,
// and the refusals with the system's error numbers.
#include <fstream>
#include <iterator>

#include "sim_fixture.h"

namespace {

std::string PayloadFile(const std::string& name) {
  std::ifstream in(std::string(VQD_PAYLOAD_SOURCE_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names of the files in a folder whose contents are exactly `text`.
std::vector<std::string> FilesHolding(const std::string& dir, const std::string& text) {
  std::vector<std::string> names;
  plat::FindData found;
  plat::FindHandle find = plat::FindFirstFileA(dir + "\\*", &found);
  if (find == plat::kInvalidFind) return names;
  do {
    if (!found.directory && sim::ReadFile(dir + "\\" + found.name) == text) names.push_back(found.name);
  } while (plat::FindNextFileA(find, &found));
  plat::FindClose(find);
  return names;
}

size_t FileCount(const std::string& dir) {
  size_t n = 0;
  plat::FindData found;
  plat::FindHandle find = plat::FindFirstFileA(dir + "\\*", &found);
  if (find == plat::kInvalidFind) return 0;
  do n += found.directory ? 0 : 1;
  while (plat::FindNextFileA(find, &found));
  plat::FindClose(find);
  return n;
}

const char* const InfDir = "C:\\WINDOWS\\INF";
const char* const CatDir = "C:\\WINDOWS\\SYSTEM32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";
const char* const Source = "C:\\TEMP\\931fas~9\\VQD2K.INF";

}  // namespace

class InfStoreTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    inf_ = PayloadFile("VQD2K.INF");
    cat_ = PayloadFile("VQD2K.CAT");
    sim::WriteFile(Source, inf_);
    sim::WriteFile("C:\\TEMP\\931fas~9\\VQD2K.CAT", cat_);
  }
  bool Copy(uint32_t style = plat::kSpCopyDeleteSource) {
    return plat::SetupCopyOEMInfA(Source, nullptr, plat::kSpostNone, style);
  }
  std::string inf_, cat_;
};

TEST_F(InfStoreTest, TheCarriedInfAndItsCatalogGoIntoTheStoreAndTheSourceInfGoes) {
  ASSERT_TRUE(Copy());
  std::vector<std::string> stored = FilesHolding(InfDir, inf_);
  ASSERT_EQ(stored.size(), 1u);
  std::string name = stored[0].substr(0, stored[0].size() - 4);
  EXPECT_EQ(stored[0], name + ".inf");
  EXPECT_TRUE(sim::FileExists(std::string(InfDir) + "\\" + name + ".pnf"));
  EXPECT_EQ(FilesHolding(CatDir, cat_).size(), 1u);
  EXPECT_FALSE(sim::FileExists(Source));
  EXPECT_TRUE(sim::FileExists("C:\\TEMP\\931fas~9\\VQD2K.CAT"));  // the catalog stays

  // Without SP_COPY_DELETESOURCE the source stays; the same text keeps its
  // place in the store instead of being stored twice.
  sim::WriteFile(Source, inf_);
  ASSERT_TRUE(Copy(0));
  EXPECT_TRUE(sim::FileExists(Source));
  EXPECT_EQ(FilesHolding(InfDir, inf_), stored);
  EXPECT_EQ(FileCount(InfDir), 2u);
  // ... unless the caller refuses to overwrite.
  EXPECT_FALSE(Copy(0x8));  // SP_COPY_NOOVERWRITE
  EXPECT_EQ(plat::GetLastError(), 80u);
}

TEST_F(InfStoreTest, OtherInfsInTheStoreKeepTheirNames) {
  sim::WriteFile(std::string(InfDir) + "\\oem0.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n; another product\r\n");
  sim::WriteFile(std::string(InfDir) + "\\OEM1.INF", "[Version]\r\nSignature=\"$Chicago$\"\r\n");
  ASSERT_TRUE(Copy());
  EXPECT_EQ(FilesHolding(InfDir, inf_), std::vector<std::string>{"oem2.inf"});
  EXPECT_NE(sim::ReadFile(std::string(InfDir) + "\\oem0.inf").find("another product"), std::string::npos);
  EXPECT_EQ(FileCount(InfDir), 4u);
}

TEST_F(InfStoreTest, TheStoreTakesOnlyInfsItKnowsAndEverythingTheyName) {
  struct Case {
    const char* what;
    std::string inf;
    bool withCatalog;
    uint32_t error;  // 0: accepted
  } cases[] = {
      {"signature in any case, unquoted", "[version]\nsignature = $windows nt$\nCatalogFile=VQD2K.CAT\n", true, 0},
      {"Windows 9x signature", "[Version]\r\nSignature=\"$CHICAGO$\"\r\n", false, 0},
      {"no catalog named", "[Version]\r\nSignature=\"$Windows NT$\"\r\n", false, 0},
      {"catalog for NT only", "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile.NT=NT.CAT\r\n", false, 2},
      {"catalog missing", "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile=VQD2K.CAT\r\n", false, 2},
      {"empty", "", true, 1006},
      {"no [Version]", "[Strings]\r\nSignature=\"$Windows NT$\"\r\n", true, 0xE0000100},
      {"no signature", "[Version]\r\nClass=CDROM\r\n", true, 0xE0000100},
      {"unknown signature", "[Version]\r\nSignature=\"$Windows 3.1$\"\r\n", true, 0xE0000100},
      {"signature in a comment", "[Version]\r\n; Signature=\"$Windows NT$\"\r\n", true, 0xE0000100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Reset(root_);
    InitLibrary();
    sim::WriteFile(Source, c.inf);
    if (c.withCatalog) sim::WriteFile("C:\\TEMP\\931fas~9\\VQD2K.CAT", cat_);
    EXPECT_EQ(Copy(), c.error == 0);
    if (c.error) {
      EXPECT_EQ(plat::GetLastError(), c.error);
      EXPECT_EQ(FileCount(InfDir), 0u);
      EXPECT_TRUE(sim::FileExists(Source));
    } else {
      EXPECT_EQ(FilesHolding(InfDir, c.inf).size(), 1u);
      EXPECT_EQ(FilesHolding(CatDir, cat_).size(), c.withCatalog ? 1u : 0u);
    }
  }
}

TEST_F(InfStoreTest, MissingSourcesAndRefusedCalls) {
  struct Case {
    const char* what;
    std::string source;
    void (*prepare)();
    uint32_t error;
  } cases[] = {
      {"no such file", "C:\\TEMP\\931fas~9\\NONE.INF", [] {}, 2},
      {"no such folder", "C:\\NONE\\VQD2K.INF", [] {}, 3},
      {"relative path", "VQD2K.INF", [] { sim::SetCurrentDirectory("C:\\TEMP\\931fas~9"); }, 2},
      {"failing on demand", Source, [] { sim::FailCalls("SetupCopyOEMInfA", 1); }, plat::kErrorAccessDenied},
      {"no setupapi.dll", Source, [] { sim::RemoveSetupApi(); }, plat::kErrorModNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.prepare();
    EXPECT_FALSE(plat::SetupCopyOEMInfA(c.source, nullptr, plat::kSpostNone, plat::kSpCopyDeleteSource));
    EXPECT_EQ(plat::GetLastError(), c.error);
    EXPECT_EQ(FileCount(InfDir), 0u);
    EXPECT_TRUE(sim::FileExists(Source));
  }
}
