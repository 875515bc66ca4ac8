// Extraction of the carried files with their file times, the private
// temporary directory, and the "/UNPACK" and "/MANIFEST" modes.
#include "app/mainflow.h"
#include "package/drivedb.h"
#include "package/payload.h"
#include "sim_fixture.h"

using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A date record: creation, last access, last write, little-endian.
Bytes DateRecord(uint64_t creation, uint64_t access, uint64_t write) {
  Bytes b;
  for (uint64_t t : {creation, access, write})
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(t >> (8 * i)));
  return b;
}

const uint64_t kCreated = 127000000000000000ull, kAccessed = 127000000100000000ull, kWritten = 127000000200000000ull;

}  // namespace

class PayloadTest : public SimTest {
 protected:
  // The six carried files as the program image holds them.
  void AddPayload() {
    AddFile("DRIVEDB", Text("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velcordia\\PALV\\DriveDB]\r\n"
                            "@=\"1.0.3.40\"\r\n\"ACME CDR\"=\"1\"\r\n"));
    AddFile("VQD", Fixture("ver_5_1_26_0.sys"));
    AddFile("VQD2K", Fixture("ver_text.sys"));
    AddFile("MERIDAX", Fixture("meridax.vxd"));
    AddFile("VQD2KINF", Text("[Version]\r\n;Ver=5.2.30.0\r\nSignature=\"$Windows NT$\"\r\n"));
    AddFile("VQD2KCAT", Text("catalog"));
  }
  static void AddFile(const std::string& name, const Bytes& bytes) {
    sim::AddResource(name, "DATA", bytes);
    sim::AddResource(name + "_DATE", "DATA", DateRecord(kCreated, kAccessed, kWritten));
  }
  static void ExpectStamped(const std::string& path) {
    sim::Times t = sim::FileTimes(path);
    EXPECT_EQ(t.creation, kCreated) << path;
    EXPECT_EQ(t.lastAccess, kAccessed) << path;
    EXPECT_EQ(t.lastWrite, kWritten) << path;
  }
  static int Run(const std::vector<std::string>& args) {
    InitLibrary();
    return RunVqdinst(args);
  }
};

TEST_F(PayloadTest, ExtractionWritesTheBytesAndTheThreeTimes) {
  StartLog();
  AddFile("VQD", Text("driver bytes"));
  ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS");
  EXPECT_EQ(sim::ReadFile("C:\\TEMP\\VQD.SYS"), "driver bytes");
  ExpectStamped("C:\\TEMP\\VQD.SYS");
  EXPECT_EQ(LogLines(), (Lines{"RTF: VQD C:\\TEMP\\VQD.SYS", "RTF: Found res", "RTF: Wrote VQD to C:\\TEMP\\VQD.SYS",
                               "RTF: Extracting and setting date resource: VQD_DATE", "RTF: Found date res",
                               "RTF: Set file date"}));
}

TEST_F(PayloadTest, MissingResourceStillStampsAnOlderFile) {
  StartLog();
  sim::AddResource("VQD_DATE", "DATA", DateRecord(kCreated, kAccessed, kWritten));
  sim::WriteFile("C:\\TEMP\\VQD.SYS", "older");
  ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS");
  EXPECT_EQ(sim::ReadFile("C:\\TEMP\\VQD.SYS"), "older");
  ExpectStamped("C:\\TEMP\\VQD.SYS");
  EXPECT_EQ(LogLines(), (Lines{"RTF: VQD C:\\TEMP\\VQD.SYS", "RTF: Couldn't find resource!",
                               "RTF: Extracting and setting date resource: VQD_DATE", "RTF: Found date res",
                               "RTF: Set file date"}));
}

TEST_F(PayloadTest, MissingDateResourceOrTargetDirectoryStopsQuietly) {
  StartLog();
  sim::AddResource("VQD", "DATA", Text("x"));
  ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS");
  EXPECT_EQ(LogLines().back(), "RTF: Couldn't find date resource!");
  EXPECT_EQ(sim::ReadFile("C:\\TEMP\\VQD.SYS"), "x");

  AddFile("VQD2K", Text("y"));
  ResourceToFile("VQD2K", "C:\\NOWHERE\\VQD2K.SYS");
  Lines log = LogLines();
  EXPECT_EQ(Lines(log.end() - 4, log.end()),
            (Lines{"RTF: VQD2K C:\\NOWHERE\\VQD2K.SYS", "RTF: Found res",
                   "RTF: Extracting and setting date resource: VQD2K_DATE", "RTF: Found date res"}));
  EXPECT_FALSE(sim::FileExists("C:\\NOWHERE\\VQD2K.SYS"));
}

TEST_F(PayloadTest, FailedWriteIsLoggedAndShortDateRecordsAreNotOverread) {
  StartLog();
  sim::AddResource("VQD", "DATA", Text("driver"));
  sim::AddResource("VQD_DATE", "DATA", Bytes{1, 0, 0, 0});  // 4 bytes instead of 24
  sim::FailCalls("WriteFile", 1, "VQD.SYS");
  const plat::FileTime before = sim::Now();
  ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS");
  Lines log = LogLines();
  EXPECT_EQ(log[2], "RTF: Failed write of VQD to C:\\TEMP\\VQD.SYS");
  EXPECT_EQ(log.back(), "RTF: Set file date");
  // The missing fields read as zero times, and a zero time leaves a file's
  // time as it is: the two keep the moment the file was created.
  sim::Times t = sim::FileTimes("C:\\TEMP\\VQD.SYS");
  EXPECT_EQ(t.creation, 1u);
  EXPECT_GT(t.lastAccess, before);
  EXPECT_EQ(t.lastWrite, t.lastAccess);
}

// An empty payload file with an empty date record: the file is written empty
// and keeps the times of its writing.
TEST_F(PayloadTest, EmptyPayloadAndEmptyDateRecord) {
  sim::AddResource("VQD", "DATA", Bytes{});
  sim::AddResource("VQD_DATE", "DATA", Bytes{});
  const plat::FileTime before = sim::Now();
  ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS");
  ASSERT_TRUE(sim::FileExists("C:\\TEMP\\VQD.SYS"));
  EXPECT_EQ(sim::ReadFile("C:\\TEMP\\VQD.SYS"), "");
  sim::Times t = sim::FileTimes("C:\\TEMP\\VQD.SYS");
  EXPECT_GT(t.creation, before);
  EXPECT_EQ(t.lastAccess, t.creation);
  EXPECT_GE(t.lastWrite, t.creation);
  EXPECT_LE(t.lastWrite, sim::Now());
}

// The date step opens the file sharing writing only: while another program
// reads it, the content is replaced but the times stay.
TEST_F(PayloadTest, DateStepLeavesAFileThatIsOpenForReadingAsItIs) {
  AddFile("VQD", Text("driver bytes"));
  sim::WriteFile("C:\\TEMP\\VQD.SYS", "older");
  const sim::Times before = sim::FileTimes("C:\\TEMP\\VQD.SYS");
  plat::FileHandle reader = plat::CreateFileA("C:\\TEMP\\VQD.SYS", plat::Access::Read,
                                              plat::kFileShareRead | plat::kFileShareWrite,
                                              plat::Disposition::OpenExisting);
  ASSERT_NE(reader, plat::kInvalidFile);
  StartLog();
  ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS");
  EXPECT_EQ(sim::ReadFile("C:\\TEMP\\VQD.SYS"), "driver bytes");
  EXPECT_EQ(sim::FileTimes("C:\\TEMP\\VQD.SYS").creation, before.creation);
  EXPECT_NE(sim::FileTimes("C:\\TEMP\\VQD.SYS").lastWrite, kWritten);
  EXPECT_EQ(LogLines().back(), "RTF: Found date res");
  plat::CloseHandle(reader);
  ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS");
  ExpectStamped("C:\\TEMP\\VQD.SYS");
}

TEST_F(PayloadTest, TempDirComesFromTempOrTheWindowsDirectory) {
  StartLog();
  EXPECT_EQ(MakeTempDir(), "C:\\TEMP\\931fas~9");
  EXPECT_TRUE(sim::DirectoryExists("C:\\TEMP\\931fas~9"));
  EXPECT_EQ(MakeTempDir(), "C:\\TEMP\\931fas~9");  // exists: same path
  sim::SetEnvironment("TEMP", "C:\\TEMP\\");
  EXPECT_EQ(MakeTempDir(), "C:\\TEMP\\\\931fas~9");
  sim::UnsetEnvironment("TEMP");
  EXPECT_EQ(MakeTempDir(), "C:\\WINDOWS\\931fas~9");
  sim::SetEnvironment("TEMP", "C:\\" + std::string(270, 'x'));
  EXPECT_EQ(MakeTempDir(), "C:\\WINDOWS\\931fas~9");
  // A TEMP folder that is not there: the Windows directory serves instead.
  sim::SetEnvironment("TEMP", "C:\\NO\\SUCH");
  EXPECT_EQ(MakeTempDir(), "C:\\WINDOWS\\931fas~9");
  Lines log = LogLines();
  EXPECT_EQ(Lines(log.begin(), log.begin() + 6),
            (Lines{"GWD", "GWD: C:\\WINDOWS", "MTD", "MTD: Got TEMP", "MTD: Temp dir is: C:\\TEMP\\931fas~9",
                   "MTD: Created temp"}));
  EXPECT_EQ(log[11], "MTD: Failed to create temp");
  EXPECT_EQ(std::count(log.begin(), log.end(), "MTD: Got TEMP"), 4);
  EXPECT_EQ(log.back(), "MTD: Failed to create temp");
}

TEST_F(PayloadTest, DeletingTheTempDirKeepsTheRebootFlagAndSubdirectories) {
  sim::WriteFile("C:\\TEMP\\931fas~9\\VQD.SYS", "a");
  sim::WriteFile("C:\\TEMP\\931fas~9\\REBOOT.TXT", "b");
  StartLog();
  DeleteTempDir("C:\\TEMP\\931fas~9");
  EXPECT_FALSE(sim::DirectoryExists("C:\\TEMP\\931fas~9"));
  EXPECT_EQ(LogLines(), (Lines{"DTD", "DTD: Found files - deleting", "DTD: Deleting C:\\TEMP\\931fas~9\\REBOOT.TXT",
                               "DTD: Deleting C:\\TEMP\\931fas~9\\VQD.SYS", "DTD: Removed temp dir"}));

  sim::WriteFile("C:\\TEMP\\931fas~9\\reboot.txt", "reboot");
  DeleteTempDir("C:\\TEMP\\931fas~9");
  EXPECT_TRUE(sim::FileExists("C:\\TEMP\\931fas~9\\reboot.txt"));
  EXPECT_EQ(LogLines().back(), "DTD: Failed to remove temp dir");

  sim::MakeDirectory("C:\\T2\\931fas~9\\SUB");
  sim::WriteFile("C:\\T2\\931fas~9\\SUB\\inner", "c");
  DeleteTempDir("C:\\T2\\931fas~9");
  EXPECT_TRUE(sim::FileExists("C:\\T2\\931fas~9\\SUB\\inner"));
  EXPECT_EQ(LogLines().back(), "DTD: Failed to remove temp dir");

  DeleteTempDir("C:\\ABSENT");
  Lines log = LogLines();
  EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"DTD", "DTD: Failed to remove temp dir"}));
}

// A file that could not be deleted a moment ago (a scanner reading it) goes
// in a quiet second pass, and the directory with it.
TEST_F(PayloadTest, DeletingTheTempDirTriesTwice) {
  for (const char* refusal : {"DeleteFileA", "FindFirstFileA", "RemoveDirectoryA"}) {
    SCOPED_TRACE(refusal);
    sim::WriteFile("C:\\TEMP\\931fas~9\\VQD.SYS", "a");
    sim::FailCalls(refusal, 1, "931fas~9");
    StartLog();
    DeleteTempDir("C:\\TEMP\\931fas~9");
    EXPECT_FALSE(sim::DirectoryExists("C:\\TEMP\\931fas~9"));
    Lines log = LogLines();
    EXPECT_EQ(log.back(), "DTD: Removed temp dir");
    EXPECT_EQ(std::count(log.begin(), log.end(), "DTD"), 1);
    CloseDebugLog();
  }
}

TEST_F(PayloadTest, VersionLinesOfRegistryAndSetupFiles) {
  sim::WriteFile("C:\\D\\A.REG", "REGEDIT4\r\n  @=\"9.9.9.9\"\r\n@=\"1.0.3.40\"\r\n@=\"2.0.0.0\"\r\n");
  sim::WriteFile("C:\\D\\EMPTY.REG", "REGEDIT4\n@=\"\"\n");
  sim::WriteFile("C:\\D\\BARE.REG", "@=\"");
  sim::WriteFile("C:\\D\\A.INF", "[Version]\r\n; Ver=1\r\n;Ver=5.2.30.0\r\n;Ver=6\r\n");
  sim::WriteFile("C:\\D\\NONE.INF", "[Version]\r\n");
  StartLog();
  EXPECT_EQ(RegFileVersion("C:\\D\\A.REG"), "1.0.3.40");
  EXPECT_EQ(RegFileVersion("C:\\D\\EMPTY.REG"), "");
  EXPECT_EQ(RegFileVersion("C:\\D\\BARE.REG"), "");
  EXPECT_EQ(RegFileVersion("C:\\D\\MISSING.REG"), "");
  EXPECT_EQ(InfFileVersion("C:\\D\\A.INF"), "5.2.30.0");
  EXPECT_EQ(InfFileVersion("C:\\D\\NONE.INF"), "");
  Lines log = LogLines();
  EXPECT_EQ(Lines(log.begin(), log.begin() + 4),
            (Lines{"RFV", "RFV: Opened reg file C:\\D\\A.REG", "RFV: Found default value",
                   "RFV: Default value is 1.0.3.40"}));
  EXPECT_EQ(log[12], "RFV");  // the missing file: nothing more
  EXPECT_EQ(Lines(log.begin() + 13, log.end()),
            (Lines{"IFV", "IFV: Opened INF file C:\\D\\A.INF", "IFV: Found version value",
                   "IFV: Version value is 5.2.30.0", "IFV", "IFV: Opened INF file C:\\D\\NONE.INF"}));
}

TEST_F(PayloadTest, ManifestListsThePayloadVersionsAndLeavesNoTempDir) {
  AddPayload();
  sim::WriteFile("C:\\SETUP\\VQDINST.EXE", Fixture("ver_5_1_26_0.sys"));
  sim::SetAdmin(false);  // no rights needed
  sim::SetVersion(plat::kPlatformWin32Windows, 4, 10, 2222);
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(Run({"/MANIFEST", "/UNPACK", "/INSTALL"}), 8);
    EXPECT_EQ(sim::ReadFile("C:\\WORK\\VQDINST.MFT"),
              "File manifest for C:\\SETUP\\VQDINST.EXE: 5.1.26.0\r\n"
              "DRIVEDB.REG: 1.0.3.40\r\n"
              "VQD.SYS: 5.1.26.0\r\n"
              "VQD2K.SYS: 1.2.3.4 (build 7)\r\n"
              "MERIDAX.VXD: 4.10.0.2222\r\n"
              "VQD2K.INF: 5.2.30.0\r\n"
              "VQD2K.CAT: N/A\r\n");
  }
  EXPECT_FALSE(sim::DirectoryExists("C:\\TEMP\\931fas~9"));
  EXPECT_FALSE(sim::FileExists("C:\\WORK\\VQD.SYS"));  // no unpacking
}

TEST_F(PayloadTest, ManifestWithAMissingFileOrUnwritableManifest) {
  AddPayload();
  sim::AddResource("VQD_DATE", "DATA", DateRecord(1, 2, 3));
  sim::SetEnvironment("TEMP", "C:\\T");
  sim::MakeDirectory("C:\\T");
  // A manifest of a program without VQD: its line stays empty.
  sim::SetModulePath("C:\\SETUP\\NONE.EXE");
  sim::FailCalls("LoadResourceData", 1, "VQD");
  EXPECT_EQ(Run({"/MANIFEST"}), 8);
  std::string manifest = sim::ReadFile("C:\\WORK\\VQDINST.MFT");
  EXPECT_NE(manifest.find("File manifest for C:\\SETUP\\NONE.EXE: \r\nDRIVEDB.REG: 1.0.3.40\r\nVQD.SYS: \r\n"),
            std::string::npos);
  // The manifest cannot be created: the run ends through the guard with 0
  // and the temporary directory is still removed.
  sim::FailCalls("CreateFileA", 1, "VQDINST.MFT");
  EXPECT_EQ(Run({"/MANIFEST"}), 0);
  EXPECT_FALSE(sim::DirectoryExists("C:\\T\\931fas~9"));
}

// The manifest is created before the versions are looked up: when it cannot
// be (here it is read-only, or made to fail), no version is read or logged.
TEST_F(PayloadTest, UncreatableManifestLooksUpNoVersion) {
  AddPayload();
  sim::WriteFile("C:\\WORK\\VQDINST.MFT", "kept");
  sim::SetFileAttributes("C:\\WORK\\VQDINST.MFT", true);
  for (int run = 0; run < 2; ++run) {
    if (run == 1) {
      sim::SetFileAttributes("C:\\WORK\\VQDINST.MFT", false);
      sim::FailCalls("CreateFileA", 1, "VQDINST.MFT");
    }
    EXPECT_EQ(Run({"/MANIFEST", "/DEBUG"}), 0) << run;
    EXPECT_EQ(sim::ReadFile("C:\\WORK\\VQDINST.MFT"), "kept");
    Lines log = LogLines();
    for (const std::string& line : log)
      for (const char* lookup : {"GFV", "RFV", "IFV"}) EXPECT_NE(line.rfind(lookup, 0), 0u) << line;
    EXPECT_EQ(log.back(), "DTD: Removed temp dir");  // the guard's clean-up
    EXPECT_EQ(std::count(log.begin(), log.end(), "RTF: Set file date"), 6);
  }
}

// Unpacking over files that Windows will not replace skips them and goes on.
TEST_F(PayloadTest, UnpackSkipsReadOnlyHiddenAndOpenFiles) {
  AddPayload();
  for (const char* name : {"VQD.SYS", "DRIVEDB.REG", "VQD2K.CAT"})
    sim::WriteFile(std::string("C:\\WORK\\") + name, "old");
  sim::SetFileAttributes("C:\\WORK\\VQD.SYS", true);
  sim::SetFileAttributes("C:\\WORK\\DRIVEDB.REG", false, true);
  plat::FileHandle holder = plat::CreateFileA("C:\\WORK\\VQD2K.CAT", plat::Access::Read, plat::kFileShareRead,
                                              plat::Disposition::OpenExisting);
  EXPECT_EQ(Run({"/UNPACK", "/DEBUG"}), 7);
  plat::CloseHandle(holder);
  Lines log = LogLines();
  const std::pair<const char*, const char*> kept[] = {
      {"VQD", "VQD.SYS"}, {"DRIVEDB", "DRIVEDB.REG"}, {"VQD2KCAT", "VQD2K.CAT"}};
  for (const auto& [resource, name] : kept) {
    EXPECT_EQ(sim::ReadFile(std::string("C:\\WORK\\") + name), "old") << name;
    const std::string wrote = std::string("RTF: Wrote ") + resource + " to " + name;
    EXPECT_EQ(std::find(log.begin(), log.end(), wrote), log.end()) << wrote;
  }
  EXPECT_NE(std::find(log.begin(), log.end(), "RTF: Wrote VQD2K to VQD2K.SYS"), log.end());
  for (const char* name : {"VQD2K.SYS", "MERIDAX.VXD", "VQD2K.INF"})
    ExpectStamped(std::string("C:\\WORK\\") + name);
  // Only the hidden file takes the new times: it may be opened for writing.
  ExpectStamped("C:\\WORK\\DRIVEDB.REG");
  EXPECT_NE(sim::FileTimes("C:\\WORK\\VQD.SYS").lastWrite, kWritten);
  EXPECT_NE(sim::FileTimes("C:\\WORK\\VQD2K.CAT").lastWrite, kWritten);
  EXPECT_EQ(std::count(log.begin(), log.end(), "RTF: Set file date"), 4);
}

TEST_F(PayloadTest, UnpackWritesTheSixFilesIntoTheCurrentDirectory) {
  AddPayload();
  sim::WriteFile("C:\\WORK\\VQD.SYS", "stale");
  sim::SetAdmin(false);
  EXPECT_EQ(Run({"/unpack"}), 7);
  for (const PayloadFile& file : PayloadTable) {
    std::string path = std::string("C:\\WORK\\") + file.fileName;
    EXPECT_TRUE(sim::FileExists(path)) << path;
    ExpectStamped(path);
  }
  Bytes vqd = Fixture("ver_5_1_26_0.sys");
  EXPECT_EQ(sim::ReadFile("C:\\WORK\\VQD.SYS"), std::string(vqd.begin(), vqd.end()));
  EXPECT_FALSE(sim::DirectoryExists("C:\\TEMP\\931fas~9"));
}

TEST_F(PayloadTest, EveryCommandLineRunMakesAndRemovesItsTempDir) {
  StartLog();
  EXPECT_EQ(Run({"/FOO", "/DEBUG"}), 0);
  Lines log = LogLines();
  EXPECT_NE(std::find(log.begin(), log.end(), "MTD: Created temp"), log.end());
  EXPECT_EQ(log.back(), "DTD: Removed temp dir");
  EXPECT_FALSE(sim::DirectoryExists("C:\\TEMP\\931fas~9"));
}
