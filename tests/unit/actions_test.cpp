// Whole command-line runs: the actions in their order, the family dispatch,
// the exception guard, and what a calling setup program sees (exit code,
// flag files, registry flag).
#include "app/flags.h"
#include "app/mainflow.h"
#include "app/runstate.h"
#include "procedure_fixture.h"

using Args = std::vector<std::string>;

class ActionsTest : public ProcedureTest {
 protected:
  static int Run(const Args& args) {
    InitLibrary();
    int code = RunVqdinst(args);
    EXPECT_FALSE(sim::MarkerWindowExists());
    EXPECT_FALSE(sim::DirectoryExists("C:\\TEMP\\931fas~9")) << "temporary directory left behind";
    return code;
  }
  static std::string Flag(const std::string& name) {
    return sim::FileExists(name + ".txt") ? sim::ReadFile(name + ".txt") : "<none>";
  }
  static std::string RegFlag(const std::string& name) {
    Bytes data;
    uint32_t type = 0;
    if (!reg::GetValue(FlagKey, name, &data, &type, plat::kHKeyCurrentUser)) return "<none>";
    return std::to_string(type) + ":" + std::string(data.begin(), data.end());
  }
};

TEST_F(ActionsTest, ExitCodesAndFlagsOfCommandLineRuns) {
  enum Start { kFresh, kCurrent, kOlder, kDisabled, kCountTwo };
  struct Case {
    Fam family;
    Start start;
    Args args;
    int code;
    const char *reboot, *badinst, *regReboot;
    const char* refused = nullptr;  // a call that fails, on paths holding `in`
    const char* in = "";
  } cases[] = {
      {Fam::NT, kFresh, {"/INSTALL"}, 6, "reboot", "<none>", "<none>"},
      {Fam::NT, kFresh, {"/install", "/NOFLAG"}, 6, "<none>", "<none>", "<none>"},
      {Fam::W9x, kFresh, {"/INSTALL", "/NOTIFYREG"}, 6, "<none>", "<none>", "1:reboot\0"},
      {Fam::W2K, kCurrent, {"/CHECK"}, 11, "<none>", "<none>", "<none>"},
      {Fam::W2K, kDisabled, {"/CHECK"}, 10, "<none>", "badinst", "<none>"},
      // The check sees the system before the upgrade; the reboot wins.
      {Fam::W2K, kDisabled, {"/CHECK", "/UPGRADE"}, 6, "reboot", "badinst", "<none>"},
      {Fam::NT, kOlder, {"/UPGRADE", "/CHECK"}, 6, "reboot", "<none>", "<none>"},
      {Fam::W9x, kFresh, {"/UPGRADEONLY"}, 0, "<none>", "<none>", "<none>"},
      {Fam::NT, kOlder, {"/UPGRADEONLY"}, 6, "reboot", "<none>", "<none>"},
      {Fam::NT, kCountTwo, {"/REMOVE"}, 0, "<none>", "<none>", "<none>"},
      // A removal extracts nothing: it needs no temporary directory.
      {Fam::W2K, kCountTwo, {"/REMOVE"}, 0, "<none>", "<none>", "<none>", "CreatePrivateDirectoryA", "931fas~9"},
      {Fam::NT, kCountTwo, {"/FORCEREMOVE"}, 6, "reboot", "<none>", "<none>"},
      // The upgrade after the install copies nothing; the install's reboot stands.
      {Fam::W2K, kFresh, {"/INSTALL", "/UPGRADE"}, 6, "reboot", "<none>", "<none>"},
      {Fam::NT, kOlder, {"/REMOVE", "/UPGRADE"}, 6, "reboot", "<none>", "<none>"},
      {Fam::W2K, kFresh, {"/UNKNOWN"}, 0, "<none>", "<none>", "<none>"},
      // 13: the action did not do what it was asked, and what it changed is
      // undone: no reboot comes from it (an upgrade whose copy failed keeps
      // the older driver; a removal whose service key stays keeps the file).
      {Fam::W2K, kFresh, {"/INSTALL"}, 13, "<none>", "<none>", "<none>", "CopyFileA"},
      {Fam::W9x, kFresh, {"/UPGRADE", "/NOTIFYREG"}, 13, "<none>", "<none>", "<none>", "CopyFileA"},
      {Fam::NT, kOlder, {"/CHECK", "/UPGRADEONLY"}, 13, "<none>", "<none>", "<none>", "CopyFileA"},
      {Fam::W2K, kCurrent, {"/REMOVE"}, 13, "<none>", "<none>", "<none>", "RegDeleteKeyA", "Services\\VQD2K"},
      // A later action that succeeds does not make the run's failure good.
      {Fam::W2K, kCurrent, {"/REMOVE", "/UPGRADE"}, 13, "<none>", "<none>", "<none>", "RegDeleteKeyA", "Services\\VQD2K"},
      {Fam::NT, kCurrent, {"/FORCEREMOVE"}, 13, "<none>", "<none>", "<none>", "RegDeleteKeyA", "Services\\VQD"},
      // A disable whose service key stays has disabled nothing.
      {Fam::NT, kCurrent, {"/DISABLE"}, 13, "<none>", "<none>", "<none>", "RegDeleteKeyA", "Services\\VQD"},
      // On Windows 9x the driver file is the registration.
      {Fam::W9x, kCurrent, {"/FORCEREMOVE"}, 13, "<none>", "<none>", "<none>", "MoveFileA", "MERIDAX.VXD"},
      {Fam::W2K, kFresh, {"/CHECK", "/UPGRADE"}, 13, "<none>", "badinst", "<none>", "CopyFileA"},
      // A disabled driver is removed at its last installation.
      {Fam::W9x, kDisabled, {"/REMOVE"}, 6, "reboot", "<none>", "<none>"},
      {Fam::W2K, kDisabled, {"/REMOVE"}, 0, "<none>", "<none>", "<none>"},
  };
  for (const Case& c : cases) {
    std::string what = Name(c.family);
    for (const std::string& a : c.args) what += " " + a;
    SCOPED_TRACE(what);
    Machine(c.family, false);
    sim::WriteFile("reboot.txt", "stale");
    if (c.start == kCurrent) Installed(Carried(), 1);
    if (c.start == kOlder) Installed(Older(), 1);
    if (c.start == kDisabled) Disabled(1);
    if (c.start == kCountTwo) Installed(Carried(), 2);
    if (c.refused) sim::FailCalls(c.refused, -1, c.in);
    EXPECT_EQ(Run(c.args), c.code);
    EXPECT_EQ(Flag("reboot"), c.reboot);
    EXPECT_EQ(Flag("badinst"), c.badinst);
    EXPECT_EQ(RegFlag("reboot"), std::string(c.regReboot, c.regReboot[0] == '<' ? 6 : 9));
  }
}

TEST_F(ActionsTest, InstallRunLogsTheDispatchAndLeavesAWorkingDriver) {
  Machine(Fam::W9x, false);
  EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 6);
  EXPECT_EQ(LinesOf({"MAIN"}), Lines{"MAIN: Install switch activated"});
  EXPECT_EQ(LinesOf({"Inst9x"}).front(), "Inst9x");
  EXPECT_TRUE(DriverIs(Carried()));
  EXPECT_EQ(Count(), 1);
  // The log is closed before the outcome is reported: no flag lines in it.
  EXPECT_TRUE(LinesOf({"CFF"}).empty());
}

TEST_F(ActionsTest, NotAnAdministratorChangesNothing) {
  Machine(Fam::W2K, false);
  sim::SetAdmin(false);
  EXPECT_EQ(Run({"/INSTALL"}), 5);
  EXPECT_FALSE(sim::FileExists(DriverPath()));
  EXPECT_EQ(Count(), -1);
  EXPECT_TRUE(sim::MessageBoxes().empty());
}

TEST_F(ActionsTest, UncreatableFlagFileKeepsTheExitCode) {
  Machine(Fam::NT, false);
  sim::FailCalls("CreateFileA", -1, "reboot.txt");
  EXPECT_EQ(Run({"/INSTALL"}), 6);
  EXPECT_EQ(Flag("reboot"), "<none>");
  EXPECT_TRUE(DriverIs(Carried()));
}

TEST_F(ActionsTest, AFailedActionIsUndoneAndTheFinishedOnesStay) {
  // The install finishes (a reboot is needed); the upgrade then runs out of
  // memory while it compares versions: it is undone, the install stays.
  Machine(Fam::NT, false);
  sim::ThrowInCalls("GetFileVersionInfoSizeA", -1, "VQD.SYS");
  EXPECT_EQ(Run({"/INSTALL", "/UPGRADE", "/DEBUG"}), 13);
  EXPECT_EQ(Flag("reboot"), "reboot");
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(LinesOf({"UpgradeNT", "UpgadeNT: Done"}), Lines{"UpgradeNT"});

  // An exception before the first procedure has finished: all of it undone.
  Machine(Fam::W2K, false);
  sim::ThrowInCalls("SetupCopyOEMInfA");
  EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 13);
  EXPECT_EQ(Flag("reboot"), "<none>");
  EXPECT_FALSE(sim::FileExists(DriverPath()));
  EXPECT_FALSE(ServiceKey());
  // The last change first; a key made new goes with what was put into it.
  EXPECT_EQ(LinesOf({"UNDO: "}),
            (Lines{"UNDO: Deleted " + std::string(CdromClassKey) + "\\LowerFilters", "UNDO: Deleted " + DriverPath(),
                   "UNDO: Deleted SOFTWARE\\Velcordia", "UNDO: Deleted SYSTEM\\CurrentControlSet\\Services"}));

  // Windows 2000 has no SetupUninstallOEMInfA: the undo deletes the stored
  // INF's three files. An INF another program stores during the store call
  // (a device plugged in at that moment) is not this action's, and stays.
  Machine(Fam::W2K, false);
  sim::RemoveSetupUninstallOEMInf();
  const std::string device = "[Version]\r\nSignature=\"$Windows NT$\"\r\n; a device's\r\n";
  sim::StoreInfDuringNextCopy(device);
  sim::ThrowInCalls("RegSetValueExA", -1, "SharedDLLs");
  EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 13);
  EXPECT_EQ(sim::ReadFile("C:\\WINDOWS\\INF\\oem0.inf"), device);
  for (const char* stored : {"INF\\oem1.inf", "INF\\oem1.pnf", "SYSTEM32\\CatRoot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\oem1.cat"})
    EXPECT_FALSE(sim::FileExists(std::string("C:\\WINDOWS\\") + stored)) << stored;
  EXPECT_EQ(LinesOf({"UNDO: Deleted C:\\WINDOWS\\INF"}), Lines{"UNDO: Deleted C:\\WINDOWS\\INF\\oem1.inf"});

  // The store holds the carried INF, left by an earlier product's removal,
  // and another product's. A listing of the store that fails, or is cut
  // short, is not taken for the whole store: nothing is stored, and the
  // undo takes neither.
  for (const char* listing : {"FindFirstFileA", "FindNextFileA"}) {
    SCOPED_TRACE(listing);
    Machine(Fam::W2K, false);
    sim::WriteFile("C:\\WINDOWS\\INF\\oem0.inf", kInf);
    sim::WriteFile("C:\\WINDOWS\\INF\\oem1.inf", device);
    sim::FailCalls(listing, 1, "\\INF\\*");
    sim::ThrowInCalls("RegSetValueExA", -1, "SharedDLLs");
    EXPECT_EQ(Run({"/INSTALL"}), 13);
    EXPECT_EQ(sim::ReadFile("C:\\WINDOWS\\INF\\oem0.inf"), kInf);
    EXPECT_EQ(sim::ReadFile("C:\\WINDOWS\\INF\\oem1.inf"), device);
  }

  // The undo itself runs out of memory: the run still ends with 13 and its
  // result line, and the next run that acts finishes the undo.
  Machine(Fam::NT, false);
  sim::ThrowInCalls("RegSetValueExA", -1, "SharedDLLs");
  sim::ThrowInCalls("NtDeleteKey", 1, "Services");
  sim::SetStandardOutput(true);
  EXPECT_EQ(Run({"/INSTALL"}), 13);
  EXPECT_EQ(sim::StandardOutput().substr(0, 26), "vqdinst.exe /INSTALL: 13 (");
  EXPECT_TRUE(ServiceKey());
  EXPECT_EQ(Run({"/DISABLE"}), 0);
  EXPECT_FALSE(ServiceKey());
  EXPECT_FALSE(sim::FileExists(DriverPath()));
  // The registry editor made the drive database's parents too.
  EXPECT_FALSE(reg::KeyExists(plat::kHKeyLocalMachine, "SOFTWARE\\Velcordia"));

  // A change that failed changed nothing: the undo has only the count to
  // put back, not the driver file that stayed.
  Machine(Fam::W9x, false);
  Installed(Carried(), 1);
  sim::FailCalls("MoveFileA", -1, "MERIDAX.VXD");
  EXPECT_EQ(Run({"/FORCEREMOVE", "/DEBUG"}), 13);
  EXPECT_EQ(LinesOf({"UNDO: "}), Lines{"UNDO: Restored " + kSharedDlls + "\\" + DriverPath()});

  // An enable whose filter entry cannot be written left the driver renamed
  // but not loading: it is undone, the file back under its disabled name.
  Machine(Fam::W2K, false);
  Disabled(1);
  sim::FailCalls("RegSetValueExA", -1, "4D36E965");
  EXPECT_EQ(Run({"/ENABLE", "/DEBUG"}), 13);
  EXPECT_TRUE(sim::FileExists(DisabledPath()));
  EXPECT_FALSE(sim::FileExists(DriverPath()));
  EXPECT_FALSE(ServiceKey());
}

// One run at a time; what a dead run left is put right by the next one.
TEST_F(ActionsTest, OneRunAtATimeAndADeadRunPutRight) {
  // Another run holds Windows 2000's lock: nothing changes, 13, and why.
  Machine(Fam::W2K, false);
  Installed(Older(), 1);
  sim::HoldMutexElsewhere("Global\\VQDINST");
  sim::SetStandardOutput(true);
  sim::MachineState before = sim::CaptureMachine({"C:\\WINDOWS"});
  EXPECT_EQ(Run({"/UPGRADE", "/DEBUG"}), 13);
  EXPECT_EQ(sim::CompareMachines(before, sim::CaptureMachine({"C:\\WINDOWS"})), Lines());
  EXPECT_EQ(LinesOf({"MAIN: Another"}),
            (Lines{"MAIN: Another run is busy - waiting", "MAIN: Another run is busy - nothing done"}));
  EXPECT_EQ(sim::StandardOutput(), "vqdinst.exe /UPGRADE /DEBUG: 13 (another run was busy, nothing changed)\r\n");
  EXPECT_FALSE(sim::MutexHeld("Global\\VQDINST"));
  // A check takes no lock.
  EXPECT_EQ(Run({"/CHECK"}), 11);

  // NT 4.0's lock, made first by another user without access for this one.
  Machine(Fam::NT, false);
  sim::DenyMutex("VQDINST");
  EXPECT_EQ(Run({"/INSTALL"}), 13);
  EXPECT_FALSE(sim::FileExists(DriverPath()));

  // A killed install's journal: a check says 10, the next install undoes it.
  Machine(Fam::W2K, false);
  sim::CountFailurePointsAndKill(120);
  EXPECT_THROW(Run({"/INSTALL"}), sim::Killed);
  sim::EndProcess();
  ASSERT_TRUE(sim::FileExists("C:\\WINDOWS\\SYSTEM32\\~vqd\\journal"));
  InitLibrary();  // the dead run's temporary directory is still there
  EXPECT_EQ(RunVqdinst({"/CHECK", "/DEBUG"}), 10);
  EXPECT_EQ(LinesOf({"MAIN: Journal"}), Lines{"MAIN: Journal of an interrupted run pending"});
  EXPECT_EQ(Run({"/INSTALL", "/DEBUG"}), 6);
  EXPECT_EQ(LinesOf({"JNL: "}),
            (Lines{"JNL: Undoing the journal of an interrupted run", "JNL: Interrupted run undone"}));
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(Run({"/CHECK"}), 11);
}

TEST_F(ActionsTest, NoRebootRestartsTheDrivesInsteadOnWindows2000) {
  // Only a drive that did not restart leaves a reboot to do; where the
  // devices cannot be listed at all, or the restart breaks off, the
  // procedure's answer stands. A later restart of every drive in the same
  // run makes the earlier change take effect too.
  enum Trouble { kNone, kStuck, kNoSetupApi, kStuckOnce, kThrows };
  struct Case {
    const char* what;
    Fam family;
    int devices;
    Trouble trouble;
    int code;
    size_t restartLines;  // "RD: Restarting device: " lines
  } cases[] = {
      {"2K, two drives restart", Fam::W2K, 2, kNone, 0, 2},
      {"2K, no drives", Fam::W2K, 0, kNone, 0, 0},
      {"2K, second drive stuck", Fam::W2K, 2, kStuck, 6, 2},
      {"2K, no SetupAPI", Fam::W2K, 1, kNoSetupApi, 6, 0},
      {"2K, stuck after the install, restarted after the upgrade", Fam::W2K, 1, kStuckOnce, 0, 2},
      {"2K, the restart runs out of memory: the install is undone", Fam::W2K, 1, kThrows, 13, 0},
      {"NT 4 ignores it", Fam::NT, 1, kNone, 6, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Machine(c.family, false);
    for (int i = 0; i < c.devices; ++i) {
      sim::CdromDevice drive;
      drive.objectName = "\\Device\\CdRom" + std::to_string(i);
      if (c.trouble == kStuck && i == 1) drive.failsAt = sim::DeviceStep::Start;
      sim::AddCdromDevice(drive);
    }
    if (c.trouble == kNoSetupApi) sim::RemoveSetupApi();
    if (c.trouble == kStuckOnce) sim::FailCalls("SetupDiCallClassInstaller", 1);
    if (c.trouble == kThrows) sim::ThrowInCalls("SetupDiGetClassDevsA");
    Args args = {"/INSTALL", "/NOREBOOT", "/DEBUG"};
    if (c.trouble == kStuckOnce) args.push_back("/UPGRADE");
    EXPECT_EQ(Run(args), c.code);
    EXPECT_EQ(DriverIs(Carried()), c.code != 13);
    EXPECT_EQ(Flag("reboot"), c.code == 6 ? "reboot" : "<none>");
    EXPECT_EQ(LinesOf({"RD: Restarting device: "}).size(), c.restartLines);
    // The drives run again once the restart is over, stuck or not.
    for (int i = 0; i < c.devices; ++i) EXPECT_TRUE(sim::CdromDeviceRunning(i) || (c.trouble == kStuck && i == 1));
  }
}

TEST_F(ActionsTest, EnableAndDisableEndWithZeroAndKeepTheCount) {
  for (Fam f : {Fam::NT, Fam::W2K, Fam::W9x}) {
    SCOPED_TRACE(Name(f));
    Machine(f, false);
    // Without a count there is nothing to disable.
    Installed(Carried(), 0);
    EXPECT_EQ(Run({"/DISABLE"}), 0);
    EXPECT_TRUE(DriverIs(Carried()));
    EXPECT_FALSE(sim::FileExists(DisabledPath()));
    EXPECT_EQ(Count(), -1);
    SetCount(2);
    EXPECT_EQ(Run({"/DISABLE"}), 0);
    EXPECT_FALSE(sim::FileExists(DriverPath()));
    EXPECT_TRUE(sim::FileExists(DisabledPath()));
    EXPECT_EQ(Flag("reboot"), "<none>");
    // Upgrade-only finds nothing installed and leaves the disabled driver.
    EXPECT_EQ(Run({"/UPGRADEONLY", "/OVERWRITE"}), 0);
    EXPECT_FALSE(sim::FileExists(DriverPath()));
    EXPECT_TRUE(sim::FileExists(DisabledPath()));
    EXPECT_EQ(Run({"/CHECK", "/DISABLE"}), 10);  // nothing left to disable
    EXPECT_EQ(Run({"/ENABLE", "/CHECK"}), 10);  // the check sees the state before
    EXPECT_TRUE(DriverIs(Carried()));
    EXPECT_EQ(Run({"/CHECK"}), 11);
    EXPECT_EQ(Count(), 2);
  }
}
