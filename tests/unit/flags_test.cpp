// The outcome reporting: exit codes, flag files, registry flags, the reboot
// question and the last message boxes of an interactive run, from the run
// state a run ends with.
#include "app/cmdline.h"
#include "app/flags.h"
#include "app/runstate.h"
#include "sim_fixture.h"
#include "vqdlib/registry.h"

using Lines = std::vector<std::string>;
using Args = std::vector<std::string>;
using std::string_literals::operator""s;

namespace {

const std::string kErrorText = "There was an error installing/removing the VQD driver.";
const std::string kRebootText =
    " You need to reboot your computer for the changes to take effect.\r\rReboot Now?";

void UseFamily(uint32_t platform, uint32_t major) {
  sim::SetVersion(platform, major, 0, 1);
  InitLibrary();
}

// The run state at the end of a command-line run with these switches.
void EndOfRun(const Args& args, bool sanityOK, bool rebootNeeded) {
  ResetRunState();
  ReadArguments(args);
  NormaliseNotifyFlags();
  SanityOK = sanityOK;
  RebootNeeded = rebootNeeded;
  ExitCode = 0;
}

std::string FlagFile(const std::string& name) {
  std::string path = "C:\\WORK\\" + name + ".txt";
  return sim::FileExists(path) ? sim::ReadFile(path) : "<none>";
}

// "name=bytes" of every value under the flag key, with the type checked.
std::string RegFlags() {
  std::string found;
  for (const char* name : {"badinst", "reboot"}) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    if (!reg::GetValue(FlagKey, name, &data, &type, plat::kHKeyCurrentUser)) continue;
    EXPECT_EQ(type, plat::kRegSz) << name;
    found += std::string(found.empty() ? "" : " ") + name + "=" + std::string(data.begin(), data.end());
  }
  return found;
}

// The driver of the running family installed, enabled and registered.
void PutDriver() {
  const std::string sys = "C:\\WINDOWS\\SYSTEM32";
  if (!IsNT) {
    sim::WriteFile(sys + "\\IOSUBSYS\\MERIDAX.VXD", "driver");
    return;
  }
  sim::WriteFile(sys + (Is2K ? "\\DRIVERS\\VQD2K.SYS" : "\\DRIVERS\\VQD.SYS"), "driver");
  reg::SetValue(kServices + (Is2K ? "VQD2K" : "VQD"), "Type", plat::kRegDword, {1, 0, 0, 0});
  if (Is2K) reg::SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, {'V', 'Q', 'D', '2', 'K', 0, 0});
}

Lines BoxTexts() {
  Lines texts;
  for (const auto& box : sim::MessageBoxes()) texts.push_back(box.text);
  return texts;
}

}  // namespace

class OutcomeTest : public SimTest {};

TEST_F(OutcomeTest, ExitCodeAndFlagsFollowCheckRebootAndNotifySwitches) {
  struct Row {
    Args args;
    bool sanityOK, rebootNeeded;
    int exitCode;
    std::string rebootFile, badinstFile, regFlags;
    Lines boxes;
    bool actionFailed = false;
  } rows[] = {
      {{}, true, false, 0, "<none>", "<none>", "", {}},
      {{"/UPGRADE"}, true, true, 6, "reboot", "<none>", "", {}},
      {{"/CHECK"}, true, false, 11, "<none>", "<none>", "", {}},
      {{"/CHECK"}, false, false, 10, "<none>", "badinst", "", {}},
      // A needed reboot wins over the check's code; both flags are written.
      {{"/CHECK", "/UPGRADE"}, true, true, 6, "reboot", "<none>", "", {}},
      {{"/CHECK", "/UPGRADE"}, false, true, 6, "reboot", "badinst", "", {}},
      {{"/CHECK", "/NOTIFYFILE"}, false, false, 10, "<none>", "badinst", "", {}},
      {{"/CHECK", "/NOTIFYREG"}, false, false, 10, "<none>", "<none>", "badinst=badinst\0"s, {}},
      {{"/NOTIFYREG", "/UPGRADE"}, true, true, 6, "<none>", "<none>", "reboot=reboot\0"s, {}},
      {{"/NOTIFYFILE", "/NOTIFYREG", "/CHECK"}, false, true, 6, "<none>", "<none>",
       "badinst=badinst\0 reboot=reboot\0"s, {}},
      {{"/CHECK", "/ASKREBOOT"}, false, false, 10, "<none>", "<none>", "", {}},
      {{"/ASKREBOOT", "/NOTIFYREG", "/UPGRADE"}, true, true, 6, "<none>", "<none>", "",
       {"Installation complete." + kRebootText}},
      {{"/ASKREBOOT", "/FORCEREMOVE"}, true, true, 6, "<none>", "<none>", "",
       {"Uninstallation complete." + kRebootText}},
      {{"/NOFLAG", "/CHECK"}, false, true, 6, "<none>", "<none>", "", {}},
      {{"/NOFLAG", "/CHECK"}, true, false, 11, "<none>", "<none>", "", {}},
      {{"/NOFLAG", "/NOTIFYREG", "/CHECK"}, false, false, 10, "<none>", "<none>", "", {}},
      // A failed action wins over the check and the reboot; their flags stay.
      {{"/INSTALL"}, true, false, 13, "<none>", "<none>", "", {}, true},
      {{"/CHECK", "/UPGRADE"}, true, false, 13, "<none>", "<none>", "", {}, true},
      {{"/CHECK", "/UPGRADE", "/NOTIFYREG"}, false, true, 13, "<none>", "<none>", "badinst=badinst\0 reboot=reboot\0"s,
       {}, true},
      {{"/ASKREBOOT", "/FORCEREMOVE"}, true, true, 13, "<none>", "<none>", "", {kErrorText + kRebootText}, true},
  };
  for (const Row& row : rows) {
    std::string name;
    for (const auto& a : row.args) name += a + " ";
    SCOPED_TRACE(name + "sane " + std::to_string(row.sanityOK) + " reboot " + std::to_string(row.rebootNeeded));
    sim::Reset(root_);
    InitLibrary();
    EndOfRun(row.args, row.sanityOK, row.rebootNeeded);
    ActionFailed = row.actionFailed;
    ReportOutcome();
    EXPECT_EQ(ExitCode, row.exitCode);
    EXPECT_EQ(FlagFile("reboot"), row.rebootFile);
    EXPECT_EQ(FlagFile("badinst"), row.badinstFile);
    EXPECT_EQ(RegFlags(), row.regFlags);
    EXPECT_EQ(BoxTexts(), row.boxes);
    for (const auto& box : sim::MessageBoxes()) {
      EXPECT_EQ(box.caption, "VQDINST");
      EXPECT_EQ(box.type, plat::kMbYesNo);
    }
    // Answered No (the simulation's default): nothing shuts down.
    EXPECT_TRUE(sim::ExitWindowsCalls().empty());
  }
}

TEST_F(OutcomeTest, RebootQuestionAnsweredYesReboots) {
  struct Case {
    uint32_t platform, major;
    Args args;
    int answer;
    size_t reboots;
  } cases[] = {
      {plat::kPlatformWin32NT, 5, {"/ASKREBOOT", "/UPGRADE"}, plat::kIdYes, 1},
      {plat::kPlatformWin32NT, 4, {"/ASKREBOOT", "/REMOVE"}, plat::kIdYes, 1},
      {plat::kPlatformWin32Windows, 4, {"/ASKREBOOT", "/INSTALL"}, plat::kIdYes, 1},
      {plat::kPlatformWin32NT, 5, {"/ASKREBOOT", "/UPGRADE"}, plat::kIdNo, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + " " + c.args[1] + " answer " + std::to_string(c.answer));
    sim::Reset(root_);
    UseFamily(c.platform, c.major);
    EndOfRun(c.args, true, true);
    sim::AnswerMessageBox(c.answer);
    ReportOutcome();
    EXPECT_EQ(ExitCode, 6);
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    EXPECT_EQ(sim::MessageBoxes()[0].text,
              (c.args[1] == "/REMOVE" ? "Uninstallation complete." : "Installation complete.") + kRebootText);
    ASSERT_EQ(sim::ExitWindowsCalls().size(), c.reboots);
    if (c.reboots) {
      EXPECT_EQ(sim::ExitWindowsCalls()[0].flags, plat::kEwxReboot);
      EXPECT_TRUE(sim::ExitWindowsCalls()[0].accepted);
    }
    EXPECT_EQ(FlagFile("reboot"), "<none>");
  }
}

// An interactive run ends with one more box when no reboot is needed: on
// Windows 2000 with the device restart, a success; elsewhere, where every
// change needs a reboot, an error. An action that did not take effect (no
// driver in place after Update, one still registered after Remove) ends
// with the error on every family, also where a reboot is asked for.
TEST_F(OutcomeTest, InteractiveRunsEndWithTheirBox) {
  const std::string done = "VQD driver installation complete.";
  const std::string failed = kErrorText;
  struct Case {
    const char* name;
    uint32_t platform, major;
    bool interactive, noReboot, rebootNeeded;
    bool* action;
    Lines boxes;
    bool tookEffect = true;
    void (*leftOver)() = nullptr;  // what a removal left, instead of the whole driver
  } cases[] = {
      {"2K install", plat::kPlatformWin32NT, 5, true, true, false, &InstallSwitch, {done}},
      {"2K remove", plat::kPlatformWin32NT, 5, true, true, false, &RemoveSwitch, {done}},
      {"2K upgrade-only", plat::kPlatformWin32NT, 5, true, true, false, &UpgradeOnlySwitch, {done}},
      {"2K without restart", plat::kPlatformWin32NT, 5, true, false, false, &UpgradeSwitch, {}},
      {"2K reboot needed", plat::kPlatformWin32NT, 5, true, true, true, &UpgradeSwitch,
       {"Installation complete." + kRebootText}},
      {"2K command line", plat::kPlatformWin32NT, 5, false, true, false, &InstallSwitch, {}},
      {"2K enable only", plat::kPlatformWin32NT, 5, true, true, false, &EnableSwitch, {}},
      {"2K install, no driver", plat::kPlatformWin32NT, 5, true, true, false, &InstallSwitch, {failed}, false},
      {"2K remove, still registered", plat::kPlatformWin32NT, 5, true, true, false, &RemoveSwitch, {failed}, false},
      {"2K remove, service key stayed", plat::kPlatformWin32NT, 5, true, true, false, &RemoveSwitch, {failed}, false,
       [] { reg::CreateKey(kServices + "VQD2K"); }},
      {"2K remove, filter entry stayed", plat::kPlatformWin32NT, 5, true, true, false, &RemoveSwitch, {failed}, false,
       [] { reg::SetValue(CdromClassKey, "LowerFilters", plat::kRegMultiSz, {'V', 'Q', 'D', '2', 'K', 0, 0}); }},
      {"2K install, no driver, reboot needed", plat::kPlatformWin32NT, 5, true, true, true, &InstallSwitch,
       {failed + kRebootText}, false},
      {"NT 4 upgrade", plat::kPlatformWin32NT, 4, true, false, false, &UpgradeSwitch, {failed}},
      {"NT 4 with restart switch", plat::kPlatformWin32NT, 4, true, true, false, &InstallSwitch, {failed}},
      {"NT 4 reboot needed", plat::kPlatformWin32NT, 4, true, false, true, &RemoveSwitch,
       {"Uninstallation complete." + kRebootText}},
      {"NT 4 remove, still registered, reboot needed", plat::kPlatformWin32NT, 4, true, false, true, &RemoveSwitch,
       {failed + kRebootText}, false},
      {"9x remove", plat::kPlatformWin32Windows, 4, true, false, false, &RemoveSwitch, {failed}},
      {"9x upgrade-only", plat::kPlatformWin32Windows, 4, true, false, false, &UpgradeOnlySwitch, {failed}},
      {"9x command line", plat::kPlatformWin32Windows, 4, false, false, false, &InstallSwitch, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset(root_);
    UseFamily(c.platform, c.major);
    if (c.leftOver)
      c.leftOver();
    else if (c.tookEffect != (c.action == &RemoveSwitch))
      PutDriver();
    // What the dialog's Update and Remove set besides the action.
    EndOfRun({}, true, c.rebootNeeded);
    Interactive = c.interactive;
    NoFlag = AskReboot = c.interactive;
    NoReboot = c.noReboot;
    *c.action = true;
    ReportOutcome();
    EXPECT_EQ(BoxTexts(), c.boxes);
    for (const auto& box : sim::MessageBoxes()) {
      EXPECT_EQ(box.caption, "VQDINST");
      EXPECT_EQ(box.type, box.text == done || box.text == failed ? plat::kMbOk : plat::kMbYesNo);
    }
    EXPECT_EQ(ExitCode, c.rebootNeeded ? 6 : 0);
    EXPECT_EQ(FlagFile("reboot"), "<none>");
  }
}

TEST_F(OutcomeTest, FlagsThatCannotBeWrittenLeaveTheExitCode) {
  // "reboot.txt" is a folder, so only "badinst.txt" can be created; the
  // registry flag key cannot be created at all.
  sim::MakeDirectory("C:\\WORK\\reboot.txt");
  EndOfRun({"/CHECK"}, false, true);
  ReportOutcome();
  EXPECT_EQ(ExitCode, 6);
  EXPECT_EQ(FlagFile("badinst"), "badinst");
  EXPECT_TRUE(sim::DirectoryExists("C:\\WORK\\reboot.txt"));

  sim::FailCalls("RegCreateKeyExA");
  EndOfRun({"/CHECK", "/NOTIFYREG"}, false, false);
  ReportOutcome();
  EXPECT_EQ(ExitCode, 10);
  EXPECT_EQ(RegFlags(), "");

  // A current directory that is gone.
  sim::SetCurrentDirectory("C:\\GONE");
  EndOfRun({"/CHECK"}, false, false);
  ReportOutcome();
  EXPECT_EQ(ExitCode, 10);
  EXPECT_FALSE(sim::FileExists("C:\\GONE\\badinst.txt"));
}

TEST_F(OutcomeTest, ExistingFlagFileIsReplacedAndTheCheckComesFirst) {
  sim::WriteFile("C:\\WORK\\reboot.txt", "reboot needed, really: yes\r\n");
  EndOfRun({"/CHECK"}, false, true);
  StartLog();
  ReportOutcome();
  EXPECT_EQ(FlagFile("reboot"), "reboot");
  EXPECT_EQ(LogLines(), (Lines{"CFF: badinst", "CFF: File created", "CFF: reboot", "CFF: File created"}));
}
