// Extraction of the carried files with their file times, the private
// temporary directory, and the "/UNPACK" and "/MANIFEST" modes.
#include <functional>

#include "app/flags.h"
#include "app/mainflow.h"
#include "package/drivedb.h"
#include "package/payload.h"
#include "procedure_fixture.h"
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

// A file this run did not write is not touched, not even its times.
TEST_F(PayloadTest, MissingResourceLeavesAnOlderFileAlone) {
  StartLog();
  sim::AddResource("VQD_DATE", "DATA", DateRecord(kCreated, kAccessed, kWritten));
  sim::WriteFile("C:\\TEMP\\VQD.SYS", "older");
  const sim::Times before = sim::FileTimes("C:\\TEMP\\VQD.SYS");
  EXPECT_FALSE(ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS"));
  EXPECT_EQ(sim::ReadFile("C:\\TEMP\\VQD.SYS"), "older");
  EXPECT_EQ(sim::FileTimes("C:\\TEMP\\VQD.SYS").lastWrite, before.lastWrite);
  EXPECT_EQ(LogLines(), (Lines{"RTF: VQD C:\\TEMP\\VQD.SYS", "RTF: Couldn't find resource!",
                               "RTF: Extracting and setting date resource: VQD_DATE", "RTF: Found date res"}));
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
  EXPECT_FALSE(ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS"));
  Lines log = LogLines();
  EXPECT_EQ(log[2], "RTF: Failed write of VQD to C:\\TEMP\\VQD.SYS");
  EXPECT_EQ(log.back(), "RTF: Set file date");
  // The missing fields read as zero times, and a zero time leaves a file's
  // time as it is: the two keep the moment the file was created.
  sim::Times t = sim::FileTimes("C:\\TEMP\\VQD.SYS");
  EXPECT_EQ(t.creation, 1u);
  EXPECT_GT(t.lastAccess, before);
  EXPECT_EQ(t.lastWrite, t.lastAccess);
  // A file whose closing fails may not hold what was written either.
  sim::FailCalls("CloseHandle", 1, "VQD.SYS");
  EXPECT_FALSE(ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS"));
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

// A file another program holds open cannot be deleted, so it is neither
// replaced nor stamped; once it is closed, the next extraction replaces it.
TEST_F(PayloadTest, AFileHeldOpenIsLeftAsItIs) {
  AddFile("VQD", Text("driver bytes"));
  sim::WriteFile("C:\\TEMP\\VQD.SYS", "older");
  const sim::Times before = sim::FileTimes("C:\\TEMP\\VQD.SYS");
  plat::FileHandle reader = plat::CreateFileA("C:\\TEMP\\VQD.SYS", plat::Access::Read,
                                              plat::kFileShareRead | plat::kFileShareWrite,
                                              plat::Disposition::OpenExisting);
  ASSERT_NE(reader, plat::kInvalidFile);
  StartLog();
  EXPECT_FALSE(ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS"));
  EXPECT_EQ(sim::ReadFile("C:\\TEMP\\VQD.SYS"), "older");
  EXPECT_EQ(sim::FileTimes("C:\\TEMP\\VQD.SYS").lastWrite, before.lastWrite);
  EXPECT_EQ(LogLines().back(), "RTF: Found date res");
  plat::CloseHandle(reader);
  EXPECT_TRUE(ResourceToFile("VQD", "C:\\TEMP\\VQD.SYS"));
  EXPECT_EQ(sim::ReadFile("C:\\TEMP\\VQD.SYS"), "driver bytes");
  ExpectStamped("C:\\TEMP\\VQD.SYS");
}

// Every call makes a new directory: a name that is taken (by anybody, as a
// folder, a file or a link) is passed over, and a directory from before is
// never used. On the NT family it is private to the administrators and the
// program's user.
TEST_F(PayloadTest, TempDirIsAlwaysANewOne) {
  StartLog();
  EXPECT_EQ(MakeTempDir(), "C:\\TEMP\\931fas~9");
  EXPECT_TRUE(sim::IsPrivateDirectory("C:\\TEMP\\931fas~9"));
  sim::WriteFile("C:\\TEMP\\931fas~9.1", "a file");
  sim::MakeLink("C:\\TEMP\\931fas~9.2", "C:\\NOWHERE");
  EXPECT_EQ(MakeTempDir(), "C:\\TEMP\\931fas~9.3");
  Lines log = LogLines();
  EXPECT_EQ(Lines(log.begin(), log.begin() + 6),
            (Lines{"GWD", "GWD: C:\\WINDOWS", "MTD", "MTD: Got TEMP", "MTD: Temp dir is: C:\\TEMP\\931fas~9",
                   "MTD: Created temp"}));
  EXPECT_EQ(Lines(log.end() - 10, log.end()),
            (Lines{"MTD: Failed to create temp", "MTD: Temp dir exists - trying another name",
                   "MTD: Temp dir is: C:\\TEMP\\931fas~9.1", "MTD: Failed to create temp",
                   "MTD: Temp dir exists - trying another name", "MTD: Temp dir is: C:\\TEMP\\931fas~9.2",
                   "MTD: Failed to create temp", "MTD: Temp dir exists - trying another name",
                   "MTD: Temp dir is: C:\\TEMP\\931fas~9.3", "MTD: Created temp"}));
  // Every name under TEMP taken: the Windows directory.
  for (int i = 4; i < 99; ++i) sim::MakeDirectory("C:\\TEMP\\931fas~9." + std::to_string(i));
  EXPECT_EQ(MakeTempDir(), "C:\\TEMP\\931fas~9.99");
  EXPECT_EQ(MakeTempDir(), "C:\\WINDOWS\\931fas~9");
  sim::SetEnvironment("TEMP", "C:\\TEMP\\");
  EXPECT_EQ(MakeTempDir(), "C:\\WINDOWS\\931fas~9.1");
  sim::UnsetEnvironment("TEMP");
  EXPECT_EQ(MakeTempDir(), "C:\\WINDOWS\\931fas~9.2");
  // A TEMP folder that is not there: the Windows directory at once.
  sim::SetEnvironment("TEMP", "C:\\NO\\SUCH");
  EXPECT_EQ(MakeTempDir(), "C:\\WINDOWS\\931fas~9.3");
  log = LogLines();
  EXPECT_EQ(std::count(log.begin(), log.end(), "MTD: Temp dir is: C:\\NO\\SUCH\\931fas~9"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "MTD: Temp dir is: C:\\NO\\SUCH\\931fas~9.1"), 0);
  // One that cannot be held open could be swapped: it is removed, not used.
  sim::SetEnvironment("TEMP", "C:\\HELD");
  sim::MakeDirectory("C:\\HELD");
  sim::FailCalls("OpenDirectoryA", 1, "C:\\HELD");
  EXPECT_EQ(MakeTempDir(), "C:\\WINDOWS\\931fas~9.4");
  EXPECT_FALSE(sim::DirectoryExists("C:\\HELD\\931fas~9"));
  sim::SetEnvironment("TEMP", "C:\\NO\\SUCH");
  // Nowhere to make one: empty. Windows 9x has no security to give it.
  sim::DenyWritesIn("C:\\WINDOWS");
  EXPECT_EQ(MakeTempDir(), "");
  EXPECT_EQ(LogLines().back(), "MTD: No temp dir - nothing is extracted");
  sim::SetVersion(plat::kPlatformWin32Windows, 4, 10, 2222);
  DetectWindows();
  sim::SetEnvironment("TEMP", "C:\\T9X");
  sim::MakeDirectory("C:\\T9X");
  EXPECT_EQ(MakeTempDir(), "C:\\T9X\\931fas~9");
  EXPECT_FALSE(sim::IsPrivateDirectory("C:\\T9X\\931fas~9"));
}

// Only a directory this run made is emptied and removed, and never through
// a link that has taken its place.
TEST_F(PayloadTest, DeletingTheTempDirKeepsTheRebootFlagAndSubdirectories) {
  std::string dir = MakeTempDir();
  sim::WriteFile(dir + "\\VQD.SYS", "a");
  sim::WriteFile(dir + "\\REBOOT.TXT", "b");
  StartLog();
  DeleteTempDir(dir);
  EXPECT_FALSE(sim::DirectoryExists(dir));
  EXPECT_EQ(LogLines(), (Lines{"DTD", "DTD: Found files - deleting", "DTD: Deleting C:\\TEMP\\931fas~9\\REBOOT.TXT",
                               "DTD: Deleting C:\\TEMP\\931fas~9\\VQD.SYS", "DTD: Removed temp dir"}));

  dir = MakeTempDir();
  sim::WriteFile(dir + "\\reboot.txt", "reboot");
  DeleteTempDir(dir);
  EXPECT_TRUE(sim::FileExists(dir + "\\reboot.txt"));
  EXPECT_EQ(LogLines().back(), "DTD: Failed to remove temp dir");

  // A folder inside stays, and so does a link (and its target), also where
  // the enumeration does not tell a link, as under Wine.
  sim::HideLinksFromFind();
  sim::WriteFile("C:\\VICTIM\\keep.txt", "victim");
  sim::SetEnvironment("TEMP", "C:\\T2");
  sim::MakeDirectory("C:\\T2");
  dir = MakeTempDir();
  sim::MakeDirectory(dir + "\\SUB");
  sim::WriteFile(dir + "\\SUB\\inner", "c");
  sim::MakeLink(dir + "\\LINK.SYS", "C:\\VICTIM\\keep.txt");
  DeleteTempDir(dir);
  EXPECT_TRUE(sim::FileExists(dir + "\\SUB\\inner"));
  EXPECT_TRUE(plat::IsReparsePointA(dir + "\\LINK.SYS"));
  EXPECT_EQ(sim::ReadFile("C:\\VICTIM\\keep.txt"), "victim");
  EXPECT_EQ(LogLines().back(), "DTD: Failed to remove temp dir");

  // Not made by this run, or replaced by a link to another folder since:
  // left alone.
  sim::MakeDirectory("C:\\T3\\931fas~9");
  sim::WriteFile("C:\\T3\\931fas~9\\theirs.txt", "d");
  sim::SetEnvironment("TEMP", "C:\\T4");
  sim::MakeDirectory("C:\\T4");
  dir = MakeTempDir();
  std::filesystem::remove(sim::HostPath(dir));
  sim::MakeLink(dir, "C:\\VICTIM");
  for (const std::string& other : {std::string("C:\\T3\\931fas~9"), dir, std::string("C:\\ABSENT")}) {
    DeleteTempDir(other);
    Lines log = LogLines();
    EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"DTD", "DTD: Not a temp dir of this run - left alone"}));
  }
  EXPECT_EQ(sim::ReadFile("C:\\T3\\931fas~9\\theirs.txt"), "d");
  EXPECT_EQ(sim::ReadFile("C:\\VICTIM\\keep.txt"), "victim");
}

// A file that could not be deleted a moment ago (a scanner reading it) goes
// in a quiet second pass, and the directory with it.
TEST_F(PayloadTest, DeletingTheTempDirTriesTwice) {
  for (const char* refusal : {"DeleteFileA", "FindFirstFileA", "RemoveDirectoryA"}) {
    SCOPED_TRACE(refusal);
    const std::string dir = MakeTempDir();
    sim::WriteFile(dir + "\\VQD.SYS", "a");
    // The enumeration, not the look at the directory itself.
    sim::FailCalls(refusal, 1, std::string(refusal) == "FindFirstFileA" ? "931fas~9\\*" : "931fas~9");
    StartLog();
    DeleteTempDir(dir);
    EXPECT_FALSE(sim::DirectoryExists(dir));
    Lines log = LogLines();
    EXPECT_EQ(log.back(), "DTD: Removed temp dir");
    EXPECT_EQ(std::count(log.begin(), log.end(), "DTD"), 1);
    CloseDebugLog();
  }
}

// Another user who may rename or write in TEMP (a shared one, FAT) can
// swap neither the directory (NT family) nor an extracted file while the run
// reopens them by name; a file that does not read back as written is not used.
TEST_F(PayloadTest, TheTempDirAndItsFilesAreHeldUntilDeleted) {
  AddPayload();
  for (bool nt : {true, false}) {
    SCOPED_TRACE(nt);
    if (!nt) sim::SetVersion(plat::kPlatformWin32Windows, 4, 10, 2222);
    DetectWindows();
    const std::string dir = MakeTempDir(), file = dir + "\\VQD.SYS";
    ASSERT_TRUE(ResourceToFile("VQD", file));
    if (nt) {
      EXPECT_FALSE(plat::MoveFileA(dir, dir + ".away"));
    }
    EXPECT_EQ(plat::CreateFileA(file, plat::Access::Write, 3, plat::Disposition::OpenExisting), plat::kInvalidFile);
    EXPECT_EQ(plat::GetLastError(), plat::kErrorSharingViolation);
    EXPECT_FALSE(plat::DeleteFileA(file));
    EXPECT_TRUE(DeleteExtractedFile(file));
    sim::FailCalls("ReadFile", 1, "VQD.SYS");
    EXPECT_FALSE(ResourceToFile("VQD", file));
    DeleteTempDir(dir);
    EXPECT_FALSE(sim::DirectoryExists(dir));
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
    // The read-only one cannot be deleted; a writable one is deleted before
    // the new one is refused.
    EXPECT_EQ(sim::FileExists("C:\\WORK\\VQDINST.MFT"), run == 0);
    if (run == 0) {
      EXPECT_EQ(sim::ReadFile("C:\\WORK\\VQDINST.MFT"), "kept");
    }
    Lines log = LogLines();
    for (const std::string& line : log)
      for (const char* lookup : {"GFV", "RFV", "IFV"}) EXPECT_NE(line.rfind(lookup, 0), 0u) << line;
    EXPECT_EQ(log.back(), "DTD: Removed temp dir");  // the guard's clean-up
    EXPECT_EQ(std::count(log.begin(), log.end(), "RTF: Set file date"), 6);
  }
}

// Unpacking deletes what is at each name first: a file that cannot be
// deleted (read-only, open in another program) is skipped, and the rest go
// on; a hidden one can be deleted and is replaced.
TEST_F(PayloadTest, UnpackSkipsReadOnlyAndOpenFiles) {
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
  const std::pair<const char*, const char*> kept[] = {{"VQD", "VQD.SYS"}, {"VQD2KCAT", "VQD2K.CAT"}};
  for (const auto& [resource, name] : kept) {
    EXPECT_EQ(sim::ReadFile(std::string("C:\\WORK\\") + name), "old") << name;
    EXPECT_NE(sim::FileTimes(std::string("C:\\WORK\\") + name).lastWrite, kWritten) << name;
    const std::string wrote = std::string("RTF: Wrote ") + resource + " to " + name;
    EXPECT_EQ(std::find(log.begin(), log.end(), wrote), log.end()) << wrote;
  }
  EXPECT_NE(std::find(log.begin(), log.end(), "RTF: Wrote DRIVEDB to DRIVEDB.REG"), log.end());
  for (const char* name : {"DRIVEDB.REG", "VQD2K.SYS", "MERIDAX.VXD", "VQD2K.INF"})
    ExpectStamped(std::string("C:\\WORK\\") + name);
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

// What other users can plant where an elevated run reads and writes: under
// each name the run extracts, in a temporary directory from before and in a
// link to another folder at the next name; and at each file it creates.
// Whatever the plant, the payload is what goes in, nothing planted is read,
// imported or written through, and the exit code is the usual one.
class PlantedTest : public ProcedureTest {
 protected:
  static std::string DriveDbVersion() {
    Bytes data;
    if (!reg::GetValue("SOFTWARE\\Velcordia\\PALV\\DriveDB", "", &data)) return "<none>";
    return std::string(data.begin(), std::find(data.begin(), data.end(), 0));
  }
};

TEST_F(PlantedTest, InstallUsesOnlyWhatItWrote) {
  const std::string kAttackerReg =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\AttackerSvc]\r\n"
      "\"ImagePath\"=\"evil.sys\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velcordia\\PALV\\DriveDB]\r\n@=\"99.0.0.0\"\r\n";
  const std::pair<std::string, std::string> planted[] = {
      {"DRIVEDB.REG", kAttackerReg}, {"VQD2K.SYS", "attacker driver"}, {"VQD2K.INF", "attacker inf"},
      {"VQD2K.CAT", "attacker catalog"}};
  const std::string kOld = "C:\\TEMP\\931fas~9\\";
  enum Plant { kDirectory, kFile, kLink, kHeldOpen };
  for (Plant plant : {kDirectory, kFile, kLink, kHeldOpen}) {
    SCOPED_TRACE(plant);
    Machine(Fam::W2K, false);
    sim::MakeDirectory(kOld);
    sim::MakeLink("C:\\TEMP\\931fas~9.1", "C:\\VICTIM");
    std::vector<plat::FileHandle> held;
    for (const auto& [name, bytes] : planted) {
      sim::WriteFile("C:\\VICTIM\\" + name, bytes);
      if (plant == kDirectory) sim::WriteFile(kOld + name + "\\inside", bytes);
      if (plant == kFile || plant == kHeldOpen) sim::WriteFile(kOld + name, bytes);
      if (plant == kLink) sim::MakeLink(kOld + name, "C:\\VICTIM\\" + name);
      if (plant == kHeldOpen)
        held.push_back(plat::CreateFileA(kOld + name, plat::Access::Read, plat::kFileShareRead,
                                         plat::Disposition::OpenExisting));
    }
    InitLibrary();
    EXPECT_EQ(RunVqdinst({"/INSTALL", "/DEBUG"}), 6);
    for (plat::FileHandle h : held) plat::CloseHandle(h);
    EXPECT_TRUE(DriverIs(Carried()));
    EXPECT_TRUE(ServiceKey());
    EXPECT_EQ(InfCopies(), 1);
    EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, kServices + "AttackerSvc"));
    EXPECT_EQ(DriveDbVersion(), "1.0.3.40");
    for (const auto& [name, bytes] : planted) {
      EXPECT_EQ(sim::ReadFile("C:\\VICTIM\\" + name), bytes) << name;
      EXPECT_EQ(sim::ReadFile(kOld + name + (plant == kDirectory ? "\\inside" : "")), bytes) << name;
    }
    Lines log = LogLines();
    auto made = std::find(log.begin(), log.end(), "MTD: Temp dir is: C:\\TEMP\\931fas~9.2");
    ASSERT_NE(made, log.end());
    EXPECT_EQ(*(made + 1), "MTD: Created temp");
    EXPECT_EQ(log.back(), "DTD: Removed temp dir");
    EXPECT_FALSE(sim::DirectoryExists("C:\\TEMP\\931fas~9.2"));
  }

  // A name taken again in the run's own directory between its making and the
  // extraction (here: the creation is refused) goes on as a failed copy:
  // nothing is read, imported, copied or registered, nothing is counted, and
  // the run says that the install did not happen.
  Machine(Fam::W2K, false);
  sim::FailCalls("CreateFileA", -1, "931fas~9\\VQD2K.SYS");
  sim::FailCalls("CreateFileA", -1, "931fas~9\\DRIVEDB.REG");
  InitLibrary();
  EXPECT_EQ(RunVqdinst({"/INSTALL", "/DEBUG"}), 13);
  EXPECT_FALSE(sim::FileExists(DriverPath()));
  EXPECT_FALSE(ServiceKey());
  EXPECT_EQ(InfCopies(), 0);
  EXPECT_FALSE(DriveDb());
  EXPECT_EQ(Count(), -1);
  EXPECT_EQ(LinesOf({"IDB: ", "Inst2K: ", "RFV", "GFV"}),
            (Lines{"IDB: Install", "IDB: Failed REGEDIT import", "IDB: Failed to delete DRIVEDB.REG",
                   "Inst2K: Extracting VQD2K", "Inst2K: File copy of VQD2K.SYS failed", "Inst2K: Done"}));

  // Every name taken by folders of others (not private: never reclaimed),
  // under TEMP and in the Windows directory: no directory
  // of its own, so an install or upgrade over an installed driver changes
  // nothing (the drive database and the count stay) and fails.
  for (const char* action : {"/INSTALL", "/UPGRADE", "/UPGRADEONLY"}) {
    SCOPED_TRACE(action);
    Machine(Fam::W2K, false);
    Installed(Older(), 2);
    reg::SetValue("SOFTWARE\\Velcordia\\PALV\\DriveDB", "", plat::kRegSz, B(std::string("1.0.0.0", 8)));
    for (const char* base : {"C:\\TEMP\\931fas~9", "C:\\WINDOWS\\931fas~9"})
      for (int i = 0; i < 100; ++i) sim::MakeDirectory(base + (i ? "." + std::to_string(i) : ""));
    InitLibrary();
    EXPECT_EQ(RunVqdinst({action, "/DEBUG"}), 13);
    EXPECT_TRUE(DriverIs(Older()));
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(DriveDbVersion(), "1.0.0.0");
    EXPECT_EQ(LinesOf({"IDB", "MAIN: No temp"}), (Lines{std::string("MAIN: No temp dir - ") +
                                                         (action == std::string("/INSTALL") ? "install" : "upgrade") +
                                                         " skipped"}));
  }
}

// A hard link at a name the program writes is deleted and a file made anew;
// a symbolic link is left alone and the write fails, as when the file cannot
// be created (the manifest then ends through the guard with 0).
TEST_F(PlantedTest, WritesGoThroughNoPlantedLink) {
  // The flag files are deleted at every start: a link put there later is met
  // by their creation alone.
  const std::function<int()> run[] = {[] { return RunVqdinst({"/INSTALL", "/DEBUG"}); },
                                      [] {
                                        CreateFlagFile("reboot");
                                        return -1;
                                      },
                                      [] { return RunVqdinst({"/MANIFEST"}); },
                                      [] { return RunVqdinst({"/UNPACK"}); }};
  const struct {
    const char* path;
    int action, hardRc, symbolicRc;
    const char* begins;
  } rows[] = {{"C:\\VQDINST.LOG", 0, 6, 6, "VQDINST "},
              {"C:\\WORK\\reboot.txt", 1, -1, -1, "reboot"},
              {"C:\\WORK\\VQDINST.MFT", 2, 8, 0, "File manifest for "},
              {"C:\\WORK\\VQD2K.INF", 3, 7, 7, "; VQD2K.INF"}};
  for (const auto& row : rows)
    for (bool hard : {false, true}) {
      SCOPED_TRACE(std::string(row.path) + (hard ? " hard link" : " symbolic link"));
      Machine(Fam::W2K, false);
      sim::WriteFile("C:\\VICTIM\\victim.txt", "victim");
      sim::MakeLink(row.path, "C:\\VICTIM\\victim.txt", hard);
      InitLibrary();
      EXPECT_EQ(run[row.action](), hard ? row.hardRc : row.symbolicRc);
      EXPECT_EQ(sim::ReadFile("C:\\VICTIM\\victim.txt"), "victim");
      EXPECT_EQ(plat::IsReparsePointA(row.path), !hard);
      if (hard) {
        EXPECT_EQ(sim::ReadFile(row.path).rfind(row.begins, 0), 0u);
      }
    }
  // The links are real ones: a plain CREATE_ALWAYS writes through them,
  // which the program never does.
  sim::MakeLink("C:\\WORK\\L.TXT", "C:\\VICTIM\\victim.txt");
  plat::FileHandle through = plat::CreateFileA("C:\\WORK\\L.TXT", plat::Access::Write, 0, plat::Disposition::CreateAlways);
  uint32_t written = 0;
  plat::WriteFile(through, "x", 1, &written);
  plat::CloseHandle(through);
  EXPECT_EQ(sim::ReadFile("C:\\VICTIM\\victim.txt"), "x");
}
