// The entry point: switches, help, conflicts, refusals and what every run
// cleans up, run against the simulated machine.
#include "app/mainflow.h"

#include "app/cmdline.h"
#include "app/flags.h"
#include "app/runstate.h"
#include "platform/platform.h"
#include "sim_fixture.h"

using Lines = std::vector<std::string>;
using Args = std::vector<std::string>;

class MainFlowTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::WriteFile("C:\\SETUP\\VQDINST.EXE", Fixture("ver_5_1_26_0.sys"));
  }
  // Runs the program as a fresh process would: library initialisation first.
  static int Run(const Args& args) {
    InitLibrary();
    int code = RunVqdinst(args);
    EXPECT_FALSE(sim::MarkerWindowExists());
    EXPECT_FALSE(sim::MarkerClassRegistered());
    return code;
  }
  static bool FlagKeyExists() {
    plat::RegKey key = 0;
    bool exists = plat::RegOpenKeyA(plat::kHKeyCurrentUser, FlagKey, &key) == 0;
    if (exists) plat::RegCloseKey(key);
    return exists;
  }
};

TEST(CommandLineTest, SplitsAtBlanksKeepingQuotedStretchesTogether) {
  EXPECT_EQ(SplitCommandLine("vqdinst.exe /INSTALL  /DEBUG"), (Args{"/INSTALL", "/DEBUG"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\vqdinst.exe\" \"/NO REBOOT\" /x\"y z\""),
            (Args{"/NO REBOOT", "/xy z"}));
  EXPECT_EQ(SplitCommandLine("  vqdinst.exe\t"), Args{});
  EXPECT_EQ(SplitCommandLine(""), Args{});
}

TEST(CommandLineTest, SwitchesMatchWholeArgumentsInAnyCase) {
  ResetRunState();
  ReadArguments({"/install", "/ReMoVe", "/UPGRADEx", "-ENABLE", "DISABLE", "/CHECK ", "/h"});
  EXPECT_TRUE(InstallSwitch);
  EXPECT_TRUE(RemoveSwitch);
  EXPECT_FALSE(ForceRemove);
  EXPECT_FALSE(UpgradeSwitch);
  EXPECT_FALSE(EnableSwitch);
  EXPECT_FALSE(DisableSwitch);
  EXPECT_FALSE(CheckSwitch);
  EXPECT_TRUE(HelpSwitch);
  ResetRunState();
  ReadArguments({"/FORCEREMOVE", "/UPGRADEONLY", "/OVERWRITE", "/RESTART", "/NOREBOOT", "/NOFLAG", "/?"});
  EXPECT_TRUE(RemoveSwitch && ForceRemove && UpgradeOnlySwitch && Overwrite && RestartSwitch && NoReboot &&
              NoFlag && HelpSwitch);
  EXPECT_FALSE(UpgradeSwitch);
}

TEST(CommandLineTest, NotificationDefaultsAndOverrides) {
  struct Case {
    Args args;
    bool file, reg;
  } cases[] = {
      {{}, true, false},
      {{"/NOTIFYREG"}, false, true},
      {{"/NOTIFYFILE", "/NOTIFYREG"}, false, true},
      {{"/NOTIFYFILE", "/ASKREBOOT"}, false, false},
      {{"/NOTIFYREG", "/ASKREBOOT"}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ArgsText(c.args));
    ResetRunState();
    ReadArguments(c.args);
    NormaliseNotifyFlags();
    EXPECT_EQ(NotifyFile, c.file) << c.args.size();
    EXPECT_EQ(NotifyReg, c.reg) << c.args.size();
  }
}

TEST(CommandLineTest, HelpTextHasItsTwentyOneLinesJoinedByCarriageReturns) {
  std::string text = HelpText();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 20);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_EQ(text.rfind("Command line parameters:\r  /INSTALL - Installs VQD drivers (updates too)\r", 0), 0u);
  EXPECT_NE(text.find("\r  /DEBUG - Creates debug log file (<systemdrive>\\VQDINST.LOG)\r"), std::string::npos);
  EXPECT_EQ(text.substr(text.rfind('\r') + 1), "  /HELP /H or /? - Display command line options");
}

TEST_F(MainFlowTest, HelpShowsOneBoxAndExitsWithSixBeforeAnyCheck) {
  sim::SetVersion(plat::kPlatformWin32NT, 6, 1, 7601);  // even where the system is refused
  sim::SetAdmin(false);
  EXPECT_EQ(Run({"/HELP", "/INSTALL", "/REMOVE", "/DEBUG"}), 6);
  ASSERT_EQ(sim::MessageBoxes().size(), 1u);
  const sim::MessageBoxCall& box = sim::MessageBoxes()[0];
  EXPECT_EQ(box.caption, "VQDINST 5.1.26.0");
  EXPECT_EQ(box.text, HelpText());
  EXPECT_EQ(box.type, plat::kMbOk);
  EXPECT_TRUE(box.markerWindowPresent);
  // Help comes before the log is opened; only the version lookup for the
  // caption opens it, by logging.
  EXPECT_EQ(LogLines(), (Lines{"GFV", "GFV: Got info size", "GFV: Got version info", "GFV: Got translations",
                               "GFV: FileVersion of C:\\SETUP\\VQDINST.EXE is 5.1.26.0"}));
}

TEST_F(MainFlowTest, EveryRunDeletesTheOutcomeFlagsOfTheLastOne) {
  sim::WriteFile("C:\\WORK\\reboot.txt", "reboot");
  sim::WriteFile("C:\\WORK\\BADINST.TXT", "badinst");
  sim::WriteFile("C:\\WORK\\other.txt", "stays");
  CreateRegFlag("reboot");
  ASSERT_TRUE(FlagKeyExists());
  EXPECT_EQ(Run({"/?"}), 6);
  EXPECT_FALSE(sim::FileExists("C:\\WORK\\reboot.txt"));
  EXPECT_FALSE(sim::FileExists("C:\\WORK\\badinst.txt"));
  EXPECT_TRUE(sim::FileExists("C:\\WORK\\other.txt"));
  EXPECT_FALSE(FlagKeyExists());
  // Before the run's guard: a deletion that runs out of memory is ignored as
  // a refused one is, and the run goes on.
  for (const char* call : {"RegDeleteKeyA", "DeleteFileA"}) {
    SCOPED_TRACE(call);
    sim::WriteFile("C:\\WORK\\badinst.txt", "badinst");
    sim::ThrowInCalls(call, 1, call[0] == 'R' ? "VQDINST" : "reboot.txt");
    EXPECT_EQ(Run({"/?"}), 6);
    EXPECT_FALSE(sim::FileExists("C:\\WORK\\badinst.txt"));
  }
}

TEST_F(MainFlowTest, ConflictingSwitchesExitInTheirOrder) {
  struct Case {
    Args args;
    const char* line;
    int code;
  } cases[] = {
      {{"/INSTALL", "/REMOVE", "/ENABLE", "/DISABLE", "/CHECK"}, "MAIN: Install and Remove - can't do", 4},
      {{"/ENABLE", "/DISABLE", "/FORCEREMOVE"}, "MAIN: Enable and Disable - can't do", 4},
      {{"/ENABLE", "/REMOVE", "/CHECK"}, "MAIN: Enable and Uninstall - can't do", 4},
      {{"/DISABLE", "/FORCEREMOVE"}, "MAIN: Disable and Remove - can't do", 4},
      {{"/DISABLE", "/INSTALL", "/CHECK"}, "MAIN: Disable and Install - can't do", 4},
      {{"/ENABLE", "/INSTALL"}, "MAIN: Enable and Install - can't do", 4},
      {{"/REMOVE", "/CHECK"}, "MAIN: Inst/Remove and Check - can't do", 9},
      {{"/INSTALL", "/CHECK"}, "MAIN: Inst/Remove and Check - can't do", 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ArgsText(c.args));
    Args args = c.args;
    args.push_back("/DEBUG");
    EXPECT_EQ(Run(args), c.code) << c.line;
    EXPECT_EQ(LogLines(), Lines{c.line});
    EXPECT_FALSE(DebugLogOpen);
  }
  EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(MainFlowTest, CompatibleCombinationsAreAccepted) {
  for (const Args& args : {Args{"/UPGRADE", "/INSTALL"}, Args{"/REMOVE", "/UPGRADE"}, Args{"/CHECK", "/UPGRADE"},
                           Args{"/CHECK", "/ENABLE"}, Args{"/CHECK", "/DISABLE"}, Args{"/CHECK", "/UPGRADEONLY"}}) {
    SCOPED_TRACE(ArgsText(args));
    Args withLog = args;
    withLog.push_back("/DEBUG");
    Run(withLog);
    for (const std::string& line : LogLines()) EXPECT_EQ(line.find("can't do"), std::string::npos) << line;
  }
}

TEST_F(MainFlowTest, NewerNtFamilyIsRefusedUnlessLhIsGiven) {
  sim::SetVersion(plat::kPlatformWin32NT, 6, 1, 7601);
  EXPECT_EQ(Run({"/INSTALL", "/REMOVE", "/DEBUG"}), 12);  // refused before the conflict check
  EXPECT_EQ(LogLines(), (Lines{"MAIN: Unsupported OS", "MAIN: Platform WIN32_NT", "MAIN: Version 6.1 build 7601"}));
  EXPECT_TRUE(sim::MessageBoxes().empty());
  EXPECT_EQ(Run({"/lh", "/INSTALL", "/REMOVE"}), 4);
  EXPECT_EQ(Run({"/LH", "/FOO"}), 0);
  EXPECT_TRUE(Is2K);
}

// A 32-bit driver cannot load on a 64-bit Windows: "/LH" does not lift that
// refusal, which is the same as for a newer NT with one more log line.
TEST_F(MainFlowTest, SixtyFourBitWindowsIsRefusedEvenWithLh) {
  sim::SetWow64(true);
  const Lines refusal = {"MAIN: Unsupported OS", "MAIN: Platform WIN32_NT", "MAIN: Version 6.1 build 7601",
                         "MAIN: 64-bit Windows"};
  sim::SetVersion(plat::kPlatformWin32NT, 6, 1, 7601);
  for (const Args& args : {Args{"/LH", "/INSTALL", "/DEBUG"}, Args{"/DEBUG", "/INSTALL", "/REMOVE"},
                           Args{"/lh", "/MANIFEST", "/DEBUG"}, Args{"/LH", "/FOO", "/DEBUG"}}) {
    SCOPED_TRACE(ArgsText(args));
    EXPECT_EQ(Run(args), 12) << args[0] << " " << args[1];
    EXPECT_EQ(LogLines(), refusal) << args[0] << " " << args[1];
  }
  EXPECT_FALSE(sim::FileExists("C:\\WORK\\VQDINST.MFT"));
  EXPECT_TRUE(sim::MessageBoxes().empty());
  // Windows XP x64 is a version 5 system, refused all the same.
  sim::SetVersion(plat::kPlatformWin32NT, 5, 2, 3790);
  EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 12);
  EXPECT_EQ(LogLines().back(), "MAIN: 64-bit Windows");
  EXPECT_EQ(Run({"/HELP", "/LH"}), 6);
  // The same systems in 32 bits: accepted, with "/LH" where it is needed.
  sim::SetWow64(false);
  EXPECT_EQ(Run({"/FOO", "/DEBUG"}), 0);
  sim::SetVersion(plat::kPlatformWin32NT, 6, 1, 7601);
  EXPECT_EQ(Run({"/LH", "/DEBUG"}), 0);
  for (const std::string& line : LogLines()) EXPECT_NE(line, "MAIN: 64-bit Windows");
}

TEST_F(MainFlowTest, NonAdministratorIsRefusedOnTheNtFamilyOnly) {
  sim::SetAdmin(false);
  EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 5);
  EXPECT_EQ(LogLines(), (Lines{"IA", "IA: NT/2K: Not an Admin", "MAIN: NT and not Admin"}));
  EXPECT_TRUE(sim::MessageBoxes().empty());  // no box on the command line
  sim::SetVersion(plat::kPlatformWin32NT, 4, 0, 1381);
  EXPECT_EQ(Run({"/REMOVE"}), 5);
  // Windows 9x asks no one; the install runs, and without a payload to
  // carry it leaves no driver: 13.
  sim::SetVersion(plat::kPlatformWin32Windows, 4, 10, 2222);
  EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 13);
  for (const std::string& line : LogLines()) EXPECT_NE(line, "MAIN: NT and not Admin");
}

TEST_F(MainFlowTest, UnknownArgumentsDoNothingAndExitWithZero) {
  EXPECT_EQ(Run({"/FOO", "INSTALL", "/DEBUG"}), 0);
  Lines log = LogLines(true);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "VQDINST 5.1.26.0 log file created " + plat::LocalDateTimeText());
  // Lines before the log is opened are dropped.
  for (const std::string& line : log) EXPECT_EQ(line.find("params"), std::string::npos) << line;
}

TEST_F(MainFlowTest, NoArgumentsEndsAsAClosedDialogWould) {
  EXPECT_EQ(Run({}), 1);
  EXPECT_FALSE(sim::FileExists("C:\\VQDINST.LOG"));
}

// Where nobody sees the windows (a service, a deployment tool as
// LocalSystem), nothing waits for a person: no dialog (1, as Close), no help
// box, no reboot question (as after No). Windows 9x has no window stations.
TEST_F(MainFlowTest, NothingWaitsForAPersonWhereNobodySeesTheWindows) {
  sim::SetWindowStationVisible(false);
  EXPECT_EQ(Run({}), 1);
  EXPECT_TRUE(sim::DialogViews().empty());
  EXPECT_EQ(Run({"/HELP", "/DEBUG"}), 6);
  EXPECT_EQ(LogLines().back(), "HELP: Window station not visible - no help box");
  ResetRunState();
  AskReboot = RebootNeeded = DebugEnabled = true;
  ReportOutcome();
  EXPECT_EQ(ExitCode, 6);
  EXPECT_EQ(LogLines().back(), "ORP: Window station not visible - reboot not asked");
  EXPECT_TRUE(sim::MessageBoxes().empty());
  sim::SetVersion(plat::kPlatformWin32Windows, 4, 10, 2222);
  EXPECT_EQ(Run({"/HELP"}), 6);
  EXPECT_EQ(sim::MessageBoxes().size(), 1u);
}

// A deployment tool or nsExec::ExecToLog that passes a standard output gets
// one line per run; without one, or when the write fails, nothing changes.
TEST_F(MainFlowTest, EveryRunEndsWithAResultLineOnAGivenStandardOutput) {
  const struct {
    Args args;
    const char* line;
  } rows[] = {
      {{"/install", "/FOO", "/REMOVE"}, "vqdinst.exe /INSTALL /REMOVE: 4 (switches that exclude each other)"},
      {{"/?"}, "vqdinst.exe /?: 6 (help shown)"},
      {{"/INSTAL"}, "vqdinst.exe: 0 (done)"},
      {{}, "vqdinst.exe: 1 (dialog closed, or the system refused in it)"},
      {{"/CHECK", "/NOFLAG"}, "vqdinst.exe /CHECK /NOFLAG: 10 (the driver is not correctly installed)"},
      {{"/NOFLAG", "/check", "/NOFLAG", "/CHECK"}, "vqdinst.exe /NOFLAG /CHECK: 10 (the driver is not correctly installed)"},
  };
  sim::SetStandardOutput(true);
  std::string expected;
  for (const auto& row : rows) {
    Run(row.args);
    expected += std::string(row.line) + "\r\n";
    EXPECT_EQ(sim::StandardOutput(), expected);
  }
  sim::FailCalls("WriteStandardOutput", 1);
  EXPECT_EQ(Run({"/ENABLE", "/DISABLE"}), 4);
  sim::SetStandardOutput(false);
  EXPECT_EQ(Run({"/ENABLE", "/DISABLE"}), 4);
  EXPECT_EQ(sim::StandardOutput(), expected);
}

TEST_F(MainFlowTest, MarkerWindowFailureIsIgnored) {
  sim::FailCalls("CreateMarkerWindow", 1);
  EXPECT_EQ(Run({"/HELP"}), 6);
  EXPECT_FALSE(sim::MessageBoxes()[0].markerWindowPresent);
  sim::FailCalls("RegisterMarkerClass", 1);
  EXPECT_EQ(Run({"/ENABLE", "/DISABLE"}), 4);
}

TEST_F(MainFlowTest, FlagsAreWrittenAsCallersExpectThem) {
  sim::WriteFile("C:\\WORK\\reboot.txt", "something much longer");
  CreateFlagFile("reboot");
  CreateFlagFile("badinst");
  EXPECT_EQ(sim::ReadFile("C:\\WORK\\reboot.txt"), "reboot");
  EXPECT_EQ(sim::ReadFile("C:\\WORK\\badinst.txt"), "badinst");
  CreateRegFlag("reboot");
  CreateRegFlag("badinst");
  plat::RegKey key = 0;
  ASSERT_EQ(plat::RegOpenKeyA(plat::kHKeyCurrentUser, FlagKey, &key), 0);
  uint8_t data[16] = {};
  uint32_t type = 0, size = sizeof data;
  EXPECT_EQ(plat::RegQueryValueExA(key, "badinst", &type, data, &size), 0);
  EXPECT_EQ(type, plat::kRegSz);
  EXPECT_EQ(size, 8u);
  EXPECT_STREQ(reinterpret_cast<char*>(data), "badinst");
  plat::RegCloseKey(key);
  // The flag is made anew, so a caller that holds the old one open (even
  // sharing reading and writing, as a text reader does) keeps it from being
  // replaced: an open file cannot be deleted.
  sim::WriteFile("C:\\WORK\\reboot.txt", "stale");
  plat::FileHandle reader =
      plat::CreateFileA("reboot.txt", plat::Access::Read, plat::kFileShareRead | plat::kFileShareWrite,
                        plat::Disposition::OpenExisting);
  ASSERT_NE(reader, plat::kInvalidFile);
  CreateFlagFile("reboot");
  EXPECT_EQ(sim::ReadFile("C:\\WORK\\reboot.txt"), "stale");
  plat::CloseHandle(reader);
  CreateFlagFile("reboot");
  EXPECT_EQ(sim::ReadFile("C:\\WORK\\reboot.txt"), "reboot");
  NoFlag = true;
  DeleteFlagFile("reboot");
  CreateFlagFile("reboot");
  EXPECT_FALSE(sim::FileExists("C:\\WORK\\reboot.txt"));
  NoFlag = false;
}

// ---- "/RESTART"

TEST_F(MainFlowTest, RestartRestartsTheDevicesAndExitsWithZeroWhateverTheyAnswer) {
  sim::SetAdmin(false);  // not needed for a restart
  sim::CdromDevice first;
  first.objectName = "\\Device\\CdRom0";
  first.friendlyName = "One";
  sim::CdromDevice second = first;
  second.objectName = "\\Device\\CdRom1";
  second.flagsAfterStart = plat::kDiNeedReboot;
  sim::AddCdromDevice(first);
  sim::AddCdromDevice(second);
  EXPECT_EQ(Run({"/restart", "/DEBUG", "/INSTALL", "/UPGRADE"}), 0);
  // Nothing but the restart: no administrator check, no temporary directory,
  // no action.
  EXPECT_EQ(LogLines(), (Lines{"RD: Restarting device: \\Device\\CdRom0", "RD: Friendly name: One",
                               "RD: Success restarting device: \\Device\\CdRom0",
                               "RD: Restarting device: \\Device\\CdRom1", "RD: Friendly name: One",
                               "RD: Check DI_NEEDREBOOT 4 - Device needs reboot: \\Device\\CdRom1"}));
  EXPECT_FALSE(DebugLogOpen);
  EXPECT_EQ(sim::ThreadsCreated(), 0u);  // the command line restarts on the main thread
  EXPECT_FALSE(sim::FileExists("C:\\WORK\\reboot.txt"));
  EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(MainFlowTest, RestartComesAfterTheConflictsAndTheOtherServiceModes) {
  sim::AddCdromDevice(sim::CdromDevice());
  struct Case {
    Args args;
    int code;
  } cases[] = {
      {{"/RESTART", "/INSTALL", "/REMOVE"}, 4},
      {{"/RESTART", "/REMOVE", "/CHECK"}, 9},
      {{"/RESTART", "/MANIFEST"}, 8},
      {{"/UNPACK", "/RESTART"}, 7},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.args), c.code) << c.args[1];
  EXPECT_EQ(sim::DeviceCalls(), Lines{});
  // Where SetupAPI lists no devices (Windows 9x, NT 4) the run is the same.
  sim::SetVersion(plat::kPlatformWin32Windows, 4, 10, 2222);
  sim::RemoveSetupApi();
  EXPECT_EQ(Run({"/RESTART", "/DEBUG"}), 0);
  EXPECT_EQ(LogLines(), Lines{});
  EXPECT_EQ(sim::DeviceCalls().size(), 1u);
}
