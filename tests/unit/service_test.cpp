// Service keys, install counts, the installed probes, the legacy drivers and
// the drive database import.
#include "package/drivedb.h"
#include "package/legacy.h"
#include "package/payload.h"
#include "sim_fixture.h"
#include "vqdlib/registry.h"
#include "vqdlib/service.h"

using Lines = std::vector<std::string>;
using reg::Bytes;
using std::string_literals::operator""s;

namespace {

void UseFamily(uint32_t platform, uint32_t major) {
  sim::SetVersion(platform, major, 0, 1);
  InitLibrary();
}
}  // namespace

class ServiceTest : public SimTest {};

TEST_F(ServiceTest, ServiceKeysHoldTheSevenValuesWithTheirTypes) {
  reg::SetValue(kServices + "VQD2K", "ImagePath", plat::kRegSz, Bytes("keep"s + '\0'));
  reg::SetValue(kServices + "VQD2K", "Start", plat::kRegDword, {3, 0, 0, 0});
  StartLog();
  EXPECT_TRUE(RegCreateVQD2K(true));
  EXPECT_TRUE(RegCreateVQD(true));
  struct Expected {
    const char* name;
    uint32_t type;
    std::string data2k, dataNt;
  } values[] = {
      {"DisplayName", plat::kRegSz, "VQD2k\0"s, "VQD\0"s},
      {"Type", plat::kRegDword, "\1\0\0\0"s, "\1\0\0\0"s},
      {"Start", plat::kRegDword, "\1\0\0\0"s, "\0\0\0\0"s},
      {"Group", plat::kRegSz, "SCSI CDROM Class\0"s, "SCSI CDROM Class\0"s},
      {"Tag", plat::kRegDword, "\1\0\0\0"s, "\1\0\0\0"s},
      {"ErrorControl", plat::kRegDword, "\1\0\0\0"s, "\1\0\0\0"s},
      {"DriverMainControl", plat::kRegDword, "\0\0\0\0"s, "\0\0\0\0"s},
  };
  for (const Expected& v : values) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    ASSERT_TRUE(reg::GetValue(kServices + "VQD2K", v.name, &data, &type)) << v.name;
    EXPECT_EQ(std::string(data.begin(), data.end()), v.data2k) << v.name;
    EXPECT_EQ(type, v.type) << v.name;
    ASSERT_TRUE(reg::GetValue(kServices + "VQD", v.name, &data, &type)) << v.name;
    EXPECT_EQ(std::string(data.begin(), data.end()), v.dataNt) << v.name;
  }
  std::vector<uint8_t> kept;
  EXPECT_TRUE(reg::GetValue(kServices + "VQD2K", "ImagePath", &kept));
  Lines log = LogLines();
  EXPECT_EQ(Lines(log.begin(), log.begin() + 4),
            (Lines{"RegCreateVQD2K", "RegCreateVQD2K: Creating", "RegCreateVQD2K: Created key",
                   "RegCreateVQD2K: Created values"}));

  reg::CreateKey(kServices + "VQD2K\\Enum");
  EXPECT_TRUE(RegCreateVQD2K(false));
  EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, kServices + "VQD2K"));
  EXPECT_FALSE(RegCreateVQD2K(false));
  EXPECT_EQ(LogLines().back(), "RegCreateVQD2K: Removed failed");
}

TEST_F(ServiceTest, InstallCountIsAValueNamedByTheDriverPath) {
  StartLog();
  EXPECT_EQ(GetInstallCount(), 0u);  // creates the key
  SetInstallCount(0);
  SetInstallCount(1);
  EXPECT_EQ(GetInstallCount(), 1u);
  std::vector<uint8_t> data;
  uint32_t type = 0;
  ASSERT_TRUE(reg::GetValue(kSharedDlls, "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\VQD2K.SYS", &data, &type));
  EXPECT_EQ(data, (std::vector<uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(type, plat::kRegDword);
  EXPECT_EQ(LogLines(), (Lines{"GIC", "GIC: Couldn't open SharedDLLs - creating", "GIC: Install count=0", "SIC",
                               "SIC: OpenKey SharedDLLs", "SIC: Deleting VQD2K.SYS value (0)", "SIC",
                               "SIC: OpenKey SharedDLLs", "SIC: Changing value to 1",
                               "SIC: Changing value of VQD2K.SYS", "GIC", "GIC: Opened SharedDLLs",
                               "GIC: Getting VQD2K.SYS count", "GIC: Install count=1"}));
  SetInstallCount(0);
  EXPECT_FALSE(reg::GetValue(kSharedDlls, "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\VQD2K.SYS", &data));
}

TEST_F(ServiceTest, InstallCountValueSizesAndFamilies) {
  const std::string value2k = "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\VQD2K.SYS";
  reg::SetValue(kSharedDlls, value2k, plat::kRegBinary, {7, 1});
  EXPECT_EQ(GetInstallCount(), 263u);
  reg::SetValue(kSharedDlls, value2k, plat::kRegBinary, {1, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(GetInstallCount(), 0u);
  reg::SetValue(kSharedDlls, value2k, plat::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(GetInstallCount(), 4294967295u);

  UseFamily(plat::kPlatformWin32NT, 4);
  reg::SetValue(kSharedDlls, "C:\\WINDOWS\\SYSTEM32\\DRIVERS\\VQD.SYS", plat::kRegDword, {2, 0, 0, 0});
  EXPECT_EQ(GetInstallCount(), 2u);
  UseFamily(plat::kPlatformWin32Windows, 4);
  reg::SetValue(kSharedDlls, "C:\\WINDOWS\\SYSTEM32\\IOSUBSYS\\MERIDAX.VXD", plat::kRegDword, {3, 0, 0, 0});
  EXPECT_EQ(GetInstallCount(), 3u);
  sim::SetSystemDirectory("");
  InitLibrary();
  EXPECT_EQ(GetInstallCount(), 0u);
  SetInstallCount(5);
  sim::SetSystemDirectory("C:\\WINDOWS\\SYSTEM32");
  InitLibrary();
  EXPECT_EQ(GetInstallCount(), 3u);
}

TEST_F(ServiceTest, ProbesNeedFileServiceKeyAndOnWindows2000TheFilter) {
  reg::CreateKey(CdromClassKey);
  sim::WriteFile("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\VQD2K.SYS", "driver");
  EXPECT_FALSE(IsDriverInstalled());  // no service key
  RegCreateVQD2K(true);
  StartLog();
  EXPECT_FALSE(IsVQD2KInstalled());  // not a lower filter
  EXPECT_EQ(LogLines().back(), "IVQD: Didn't find VQD2K");
  AddLowerFilter("VQD2K");
  EXPECT_TRUE(IsDriverInstalled());
  EXPECT_EQ(LogLines().back(), "IVQD2K: Found VQD2K");

  UseFamily(plat::kPlatformWin32NT, 4);
  EXPECT_FALSE(IsDriverInstalled());
  sim::WriteFile("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\VQD.SYS", "driver");
  EXPECT_FALSE(IsVQDInstalled());
  RegCreateVQD(true);
  EXPECT_TRUE(IsDriverInstalled());

  UseFamily(plat::kPlatformWin32Windows, 4);
  EXPECT_FALSE(IsDriverInstalled());
  // A folder that took the driver's name is no driver.
  sim::MakeDirectory("C:\\WINDOWS\\SYSTEM32\\IOSUBSYS\\MERIDAX.VXD");
  EXPECT_FALSE(IsDriverInstalled());
  ASSERT_TRUE(plat::RemoveDirectoryA("C:\\WINDOWS\\SYSTEM32\\IOSUBSYS\\MERIDAX.VXD"));
  sim::WriteFile("C:\\WINDOWS\\SYSTEM32\\IOSUBSYS\\MERIDAX.VXD", "vxd");
  EXPECT_TRUE(IsDriverInstalled());
  sim::SetSystemDirectory("");
  InitLibrary();
  EXPECT_FALSE(IsDriverInstalled());
}

class LegacyTest : public SimTest {};

TEST_F(LegacyTest, ProbesNeedTheFileAndTheServiceKey) {
  StartLog();
  sim::WriteFile("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\BREMCO.SYS", "old");
  EXPECT_FALSE(IsBremcoInstalled());
  reg::CreateKey(kServices + "BREMCO2k");
  EXPECT_FALSE(IsBremco2KInstalled());  // key without file: not even opened
  sim::WriteFile("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\BREMCO2K.SYS", "old");
  EXPECT_TRUE(IsBremco2KInstalled());
  EXPECT_EQ(LogLines(), (Lines{"IBRM", "IBRM: Found BREMCO.SYS", "IBRM: BREMCO not installed", "IBRM2K",
                               "IBRM: BREMCO2K not installed", "IBRM2K", "IBRM2K: BREMCO2K.SYS found",
                               "IBRM2K: Found service key", "IBRM: BREMCO2K installed"}));
  EXPECT_FALSE(IsPlovantInstalled());
  sim::WriteFile("C:\\WINDOWS\\SYSTEM32\\IOSUBSYS\\PLOVANT.VXD", "old");
  EXPECT_TRUE(IsPlovantInstalled());
}

TEST_F(LegacyTest, Windows2000RemovalGoesStageByStage) {
  reg::CreateKey(CdromClassKey);
  reg::CreateKey(kServices + "BREMCO2K\\Enum");
  reg::CreateKey(kServices + "IMAPI");
  sim::WriteFile("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\BREMCO2K.SYS", "old");
  StartLog();
  EXPECT_FALSE(RemoveBremco2K());  // not a filter: nothing removed
  EXPECT_TRUE(reg::KeyExists(plat::kHKeyLocalMachine, kServices + "BREMCO2K"));
  reg::SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, Bytes("IMAPI\0bremco2k\0\0"s));
  EXPECT_TRUE(RemoveBremco2K());
  EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, kServices + "BREMCO2K"));
  EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\BREMCO2K.SYS"));
  Lines log = LogLines();
  EXPECT_EQ(Lines(log.end() - 4, log.end()),
            (Lines{"DBRM2K: Removed service", "GSD", "GSD: C:\\WINDOWS\\SYSTEM32", "DBRM2K: Deleted SYS"}));
  EXPECT_FALSE(RemoveBremco());
  EXPECT_FALSE(RemovePlovant());
}

TEST_F(LegacyTest, EachRemovalActsOnItsOwnFamily) {
  UseFamily(plat::kPlatformWin32NT, 4);
  reg::CreateKey(kServices + "BREMCO");
  sim::WriteFile("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\BREMCO.SYS", "old");
  StartLog();
  EXPECT_FALSE(RemoveBremco2K());
  EXPECT_TRUE(RemoveBremco());
  EXPECT_FALSE(sim::FileExists("C:\\WINDOWS\\SYSTEM32\\DRIVERS\\BREMCO.SYS"));
  UseFamily(plat::kPlatformWin32Windows, 4);
  sim::WriteFile("C:\\WINDOWS\\SYSTEM32\\IOSUBSYS\\PLOVANT.VXD", "old");
  StartLog();
  EXPECT_FALSE(RemoveBremco());
  EXPECT_TRUE(RemovePlovant());
  EXPECT_FALSE(RemovePlovant());
  EXPECT_EQ(LogLines(), (Lines{"DBRM", "DPLV", "DPLV: Not NT/2K", "GSD", "GSD: C:\\WINDOWS\\SYSTEM32", "DPLV: Deleted VXD",
                               "DPLV", "DPLV: Not NT/2K", "GSD", "GSD: C:\\WINDOWS\\SYSTEM32"}));
}

TEST_F(LegacyTest, ExcludeMiniportsIsClearedEvenWithoutAspi) {
  EXPECT_TRUE(ClearExcludeMiniports());
  std::vector<uint8_t> data;
  uint32_t type = 0;
  ASSERT_TRUE(reg::GetValue(kServices + "Aspi32\\Parameters", "ExcludeMiniports", &data, &type));
  EXPECT_EQ(data, std::vector<uint8_t>{0});
  EXPECT_EQ(type, plat::kRegSz);
  sim::SetAdmin(false);
  EXPECT_FALSE(ClearExcludeMiniports());
}

class DriveDBTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    TempDir = "C:\\TEMP\\931fas~9";
    sim::MakeDirectory(TempDir);
  }
  void TearDown() override {
    TempDir.clear();
    SimTest::TearDown();
  }
  static void Carry(const std::string& version) {
    sim::AddResource("DRIVEDB", "DATA",
                     Bytes("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velcordia\\PALV\\DriveDB]\r\n@=\"" + version +
                           "\"\r\n\"ACME CDR-4X\"=\"fast\"\r\n\"Flags\"=dword:0000002a\r\n"
                           "\"Modes\"=hex(7):41,00,42,00,00\r\n"));
    sim::AddResource("DRIVEDB_DATE", "DATA", std::vector<uint8_t>(24, 0));
  }
  static void Installed(const std::string& version) {
    reg::SetValue(DriveDBKey, "", plat::kRegSz, Bytes(version + '\0'));
    reg::SetValue(DriveDBKey, "OLD MODEL", plat::kRegSz, Bytes("x"s + '\0'));
  }
};

TEST_F(DriveDBTest, NewerDatabaseReplacesTheInstalledOne) {
  Carry("1.0.3.40");
  Installed("1.0.3.39");
  StartLog();
  EXPECT_TRUE(InstallDriveDB(true));
  Lines log = LogLines();
  EXPECT_EQ(DriveDBRegistryVersion(), "1.0.3.40");
  std::vector<uint8_t> data;
  EXPECT_FALSE(reg::GetValue(DriveDBKey, "OLD MODEL", &data));  // the key was replaced
  ASSERT_TRUE(reg::GetValue(DriveDBKey, "Flags", &data));
  EXPECT_EQ(data, (std::vector<uint8_t>{0x2a, 0, 0, 0}));
  ASSERT_TRUE(reg::GetValue(DriveDBKey, "Modes", &data));
  EXPECT_EQ(data, (std::vector<uint8_t>{'A', 0, 'B', 0, 0}));
  EXPECT_FALSE(sim::FileExists(TempDir + "\\DRIVEDB.REG"));
  ASSERT_EQ(sim::ProcessesStarted().size(), 1u);
  EXPECT_EQ(sim::ProcessesStarted()[0], "C:\\WINDOWS\\REGEDIT.EXE /s \"C:\\TEMP\\931fas~9\\DRIVEDB.REG\"");
  // By its full path, in the Windows directory: not a REGEDIT.EXE of the
  // current directory, which may be a download folder.
  EXPECT_EQ(sim::ProcessStarts()[0].application, "C:\\WINDOWS\\REGEDIT.EXE");
  EXPECT_EQ(sim::ProcessStarts()[0].currentDirectory, "C:\\WINDOWS");
  EXPECT_NE(std::find(log.begin(), log.end(), "IDB: Install version is newer than existing"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "EAW: Created process C:\\WINDOWS\\REGEDIT.EXE /s \"C:\\TEMP\\931fas~9\\DRIVEDB.REG\" - waiting"),
            log.end());
  EXPECT_EQ(Lines(log.end() - 3, log.end()),
            (Lines{"EAW: Process completed", "IDB: EXECed REGEDIT import", "IDB: Deleted DriveDB.REG"}));
}

TEST_F(DriveDBTest, EqualOrOlderDatabaseIsLeftAlone) {
  Carry("1.0.3.40");
  for (const char* installed : {"1.0.3.40", "2.0.0.0"}) {
    Installed(installed);
    StartLog();
    EXPECT_FALSE(InstallDriveDB(true));
    Lines log = LogLines();
    EXPECT_EQ(DriveDBRegistryVersion(), installed);
    EXPECT_FALSE(sim::FileExists(TempDir + "\\DRIVEDB.REG"));
    EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"IDB: Existing version is newer", "IDB: Deleted DriveDB.REG"}));
  }
  EXPECT_TRUE(sim::ProcessesStarted().empty());
}

TEST_F(DriveDBTest, FailedImportLeavesNoDatabase) {
  Carry("1.0.3.40");
  Installed("1.0.0.0");
  sim::SetRegistryEditorExitCode(1);
  EXPECT_FALSE(InstallDriveDB(true));
  sim::FailCalls("CreateProcessA");
  Installed("1.0.0.0");
  StartLog();
  EXPECT_FALSE(InstallDriveDB(true));
  EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, DriveDBKey));
  Lines log = LogLines();
  EXPECT_EQ(*(log.end() - 2), "IDB: Failed REGEDIT import");
  // No Windows directory: no editor to name by its full path, and the
  // installed database stays.
  sim::SetWindowsDirectory("");
  Installed("1.0.0.0");
  EXPECT_FALSE(InstallDriveDB(true));
  EXPECT_EQ(DriveDBRegistryVersion(), "1.0.0.0");
  EXPECT_EQ(ExecAndWait("C:\\WINDOWS\\REGEDIT.EXE", std::string(513, 'x'), "C:\\WINDOWS", 0), 4294967295u);
}

TEST_F(DriveDBTest, RemovalDeletesTheKeyAndFirstInstallImports) {
  Installed("1.0.0.0");
  reg::CreateKey(std::string(DriveDBKey) + "\\Sub");
  StartLog();
  EXPECT_TRUE(InstallDriveDB(false));
  EXPECT_FALSE(InstallDriveDB(false));
  EXPECT_EQ(LogLines().back(), "IDB: Remove: Failed");
  TempDir.clear();
  Installed("1.0.0.0");
  EXPECT_FALSE(InstallDriveDB(true));  // no temporary directory: nothing changes
  EXPECT_EQ(DriveDBRegistryVersion(), "1.0.0.0");
  TempDir = "C:\\TEMP\\931fas~9";
  Carry("1.0.3.40");
  EXPECT_TRUE(InstallDriveDB(true));
  EXPECT_EQ(DriveDBRegistryVersion(), "1.0.3.40");
}

// A TEMP with blanks, as under "Documents and Settings": the path reaches the
// registry editor as one argument.
TEST_F(DriveDBTest, TempWithBlanksReachesTheRegistryEditorWhole) {
  TempDir = "C:\\Documents and Settings\\Jo Smith\\Local Settings\\Temp\\931fas~9";
  sim::MakeDirectory(TempDir);
  Carry("1.0.3.40");
  Installed("1.0.0.0");
  EXPECT_TRUE(InstallDriveDB(true));
  EXPECT_EQ(DriveDBRegistryVersion(), "1.0.3.40");
  std::vector<uint8_t> data;
  EXPECT_TRUE(reg::GetValue(DriveDBKey, "ACME CDR-4X", &data));
}

// The command line is refused before the installed database is deleted; its
// 512 characters count the quotes. The file functions take paths of at most
// 259 characters, so only a long Windows directory together with a long
// TEMP gets there.
TEST_F(DriveDBTest, OverlongCommandLineKeepsTheInstalledDatabase) {
  Carry("1.0.3.40");
  // Windows directory + "\REGEDIT.EXE /s " (16), the quoted path: TempDir +
  // "\DRIVEDB.REG" (12) + 2; with a TempDir of 240 that leaves 242.
  const auto pathOfLength = [](const std::string& root, size_t n) {
    std::string dir = root;
    while (dir.size() < n) dir += "\\" + std::string(std::min<size_t>(n - dir.size() - 1, 200), 'x');
    return dir;
  };
  TempDir = pathOfLength("C:\\T", 240);
  sim::MakeDirectory(TempDir);
  struct Case {
    size_t windowsLength;
    bool runs;
  } cases[] = {{242, true}, {243, false}, {260, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "Windows directory of " << c.windowsLength << " characters");
    const std::string windows = pathOfLength("C:\\W", c.windowsLength);
    ASSERT_EQ(windows.size(), c.windowsLength);
    sim::MakeDirectory(windows);
    sim::SetWindowsDirectory(windows);
    Installed("1.0.0.0");
    StartLog();
    EXPECT_EQ(InstallDriveDB(true), c.runs) << c.windowsLength;
    Lines log = LogLines();
    EXPECT_EQ(*(log.end() - 2), c.runs ? "IDB: EXECed REGEDIT import" : "IDB: Failed REGEDIT import");
    std::vector<uint8_t> data;
    EXPECT_EQ(DriveDBRegistryVersion(), c.runs ? "1.0.3.40" : "1.0.0.0") << c.windowsLength;
    EXPECT_EQ(reg::GetValue(DriveDBKey, "OLD MODEL", &data), !c.runs) << c.windowsLength;
    EXPECT_FALSE(sim::FileExists(TempDir + "\\DRIVEDB.REG"));
  }
  ASSERT_EQ(sim::ProcessesStarted().size(), 1u);
  EXPECT_EQ(sim::ProcessesStarted()[0].size(), 512u);
}
