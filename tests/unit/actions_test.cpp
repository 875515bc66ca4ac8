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
  enum Start { Fresh, Current, Older, Disabled, CountTwo };
  struct Case {
    Fam family;
    Start start;
    Args args;
    int code;
    const char *reboot, *badinst, *regReboot;
  } cases[] = {
      {Fam::NT, Fresh, {"/INSTALL"}, 6, "reboot", "<none>", "<none>"},
      {Fam::NT, Fresh, {"/install", "/NOFLAG"}, 6, "<none>", "<none>", "<none>"},
      {Fam::W9x, Fresh, {"/INSTALL", "/NOTIFYREG"}, 6, "<none>", "<none>", "1:reboot\0"},
      {Fam::W2K, Current, {"/CHECK"}, 11, "<none>", "<none>", "<none>"},
      {Fam::W2K, Disabled, {"/CHECK"}, 10, "<none>", "badinst", "<none>"},
      // The check sees the system before the upgrade; the reboot wins.
      {Fam::W2K, Disabled, {"/CHECK", "/UPGRADE"}, 6, "reboot", "badinst", "<none>"},
      {Fam::NT, Older, {"/UPGRADE", "/CHECK"}, 6, "reboot", "<none>", "<none>"},
      {Fam::W9x, Fresh, {"/UPGRADEONLY"}, 0, "<none>", "<none>", "<none>"},
      {Fam::NT, Older, {"/UPGRADEONLY"}, 6, "reboot", "<none>", "<none>"},
      {Fam::NT, CountTwo, {"/REMOVE"}, 0, "<none>", "<none>", "<none>"},
      {Fam::NT, CountTwo, {"/FORCEREMOVE"}, 6, "reboot", "<none>", "<none>"},
      // The last procedure decides: the upgrade after the install copies nothing.
      {Fam::W2K, Fresh, {"/INSTALL", "/UPGRADE"}, 0, "<none>", "<none>", "<none>"},
      {Fam::W2K, Fresh, {"/UNKNOWN"}, 0, "<none>", "<none>", "<none>"},
  };
  for (const Case& c : cases) {
    std::string what = Name(c.family);
    for (const std::string& a : c.args) what += " " + a;
    SCOPED_TRACE(what);
    Machine(c.family, false);
    sim::WriteFile("reboot.txt", "stale");
    if (c.start == Current) Installed(Carried(), 1);
    if (c.start == Older) Installed(Older(), 1);
    if (c.start == Disabled) Disabled(1);
    if (c.start == CountTwo) Installed(Carried(), 2);
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

TEST_F(ActionsTest, ExceptionInAnActionCleansUpAndReportsTheLastFinishedProcedure) {
  // The install finishes (a reboot is needed); the upgrade then runs out of
  // memory while it compares versions.
  Machine(Fam::NT, false);
  sim::ThrowInCalls("GetFileVersionInfoSizeA");
  EXPECT_EQ(Run({"/INSTALL", "/UPGRADE", "/DEBUG"}), 6);
  EXPECT_EQ(Flag("reboot"), "reboot");
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(LinesOf({"UpgradeNT", "UpgadeNT: Done"}), Lines{"UpgradeNT"});

  // An exception before the first procedure has finished: nothing to report.
  Machine(Fam::W2K, false);
  sim::ThrowInCalls("SetupCopyOEMInfA");
  EXPECT_EQ(Run({"/INSTALL"}), 0);
  EXPECT_EQ(Flag("reboot"), "<none>");
  EXPECT_TRUE(DriverIs(Carried()));
}
