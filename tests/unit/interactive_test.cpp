// The interactive mode on the simulated Windows: what the main dialog says in
// each state of the system, where its pieces sit, and what each choice does,
// as a person clicking through it would see it.
#include <algorithm>
#include <map>

#include "app/dialogs/interactive.h"
#include "app/dialogs/mainform.h"
#include "app/dialogs/waitform.h"
#include "app/mainflow.h"
#include "app/runstate.h"
#include "procedure_fixture.h"

using sim::UserAction;
using View = sim::WindowState;

namespace {

const std::string kCaption = "VQD Driver Installation Utility - 5.1.26.0";
const char* const kButtonNames[] = {"Button1", "Button2", "Button3", "Button4", "Button5", "Button6"};

UserAction Click(plat::WindowHandle TForm1::*button, bool shiftCtrlAlt = false) {
  const int ids[] = {101, 102, 103, 104, 105, 106};
  plat::WindowHandle TForm1::*buttons[] = {&TForm1::Button1, &TForm1::Button2, &TForm1::Button3,
                                          &TForm1::Button4, &TForm1::Button5, &TForm1::Button6};
  for (int i = 0; i < 6; ++i)
    if (buttons[i] == button) return UserAction{ids[i], shiftCtrlAlt};
  return UserAction{};
}

// The lines the labels make, top to bottom, each piece checked to start where
// the one before it ends. The hint is not part of the sentences.
std::vector<std::string> Sentences(const View& view) {
  std::vector<const sim::ControlState*> pieces;
  for (const sim::ControlState& c : view.controls)
    if (c.kind == plat::ControlKind::kLabel && c.visible && c.handle != Form1.Label7) pieces.push_back(&c);
  std::sort(pieces.begin(), pieces.end(), [](const sim::ControlState* a, const sim::ControlState* b) {
    return a->rect.top != b->rect.top ? a->rect.top < b->rect.top : a->rect.left < b->rect.left;
  });
  std::vector<std::string> lines;
  const sim::ControlState* before = nullptr;
  for (const sim::ControlState* p : pieces) {
    if (before && before->rect.top == p->rect.top) {
      EXPECT_EQ(p->rect.left, before->rect.right) << "'" << p->text << "' does not touch '" << before->text << "'";
      lines.back() += p->text;
    } else {
      if (before) {
        EXPECT_GE(p->rect.top, before->rect.bottom) << "'" << p->text << "' overlaps the line above";
      }
      lines.push_back(p->text);
    }
    before = p;
  }
  return lines;
}

// The visible labels in bold, or in the given colour, in the order of their lines.
std::string Marked(const View& view, bool bold, uint32_t color = plat::kClrDefault) {
  std::string out;
  for (const sim::ControlState& c : view.controls)
    if (c.kind == plat::ControlKind::kLabel && c.visible && c.style.bold == bold &&
        (color == plat::kClrDefault || c.style.textColor == color) && c.handle != Form1.Label7)
      out += "[" + c.text + "]";
  return out;
}

std::string Buttons(const View& view) {
  std::string out;
  for (const sim::ControlState& c : view.controls) {
    if (c.kind != plat::ControlKind::kButton || !c.visible) continue;
    out += "[" + c.text + (c.enabled ? "" : " (off)") + "]";
  }
  return out;
}

const sim::ControlState& Ctl(const View& view, plat::WindowHandle handle) {
  static const sim::ControlState missing;
  const sim::ControlState* c = view.Control(handle);
  EXPECT_NE(c, nullptr);
  return c ? *c : missing;
}

}  // namespace

class InteractiveTest : public ProcedureTest {
 protected:
  void SetUp() override {
    ProcedureTest::SetUp();
    Machine(Fam::W2K, false);
  }
  void Machine(Fam f, bool forProcedure) {
    ProcedureTest::Machine(f, forProcedure);
    sim::WriteFile("C:\\SETUP\\VQDINST.EXE", Fixture("ver_5_1_26_0.sys"));
  }
  // A start without arguments, with the user's actions scripted.
  static int Run(const std::vector<UserAction>& actions) {
    sim::ScriptDialog(actions);
    InitLibrary();
    int code = RunVqdinst({});
    EXPECT_TRUE(sim::DialogScriptErrors().empty()) << sim::DialogScriptErrors().front();
    EXPECT_FALSE(sim::MarkerWindowExists());
    EXPECT_FALSE(sim::DirectoryExists("C:\\TEMP\\931fas~9")) << "temporary directory left behind";
    return code;
  }
  static std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const sim::MessageBoxCall& b : sim::MessageBoxes()) texts.push_back(b.caption + ": " + b.text);
    return texts;
  }
  // What the please-wait window showed each time the program let it paint.
  static std::vector<std::string> PleaseWaitPaints() {
    std::vector<std::string> shown;
    for (const auto& screen : sim::Paints())
      for (const View& w : screen)
        if (w.handle == Form3.Handle && w.visible) shown.push_back(w.caption + ": " + w.controls.at(0).text);
    return shown;
  }
  // A machine of the family with the driver as a state of the dialog needs.
  // kNotActive: file and service key there, the filter entry (Windows 2000)
  // or the service key (NT 4) lost, and a stale disabled copy beside it.
  enum Start { kFresh, kOlder, kSame, kDisabled, kNoVersion, kNotActive };
  void Begin(Fam family, Start start) {
    Machine(family, false);
    if (start == kOlder) Installed(Older(), 1);
    if (start == kSame) Installed(Carried(), 1);
    if (start == kDisabled) Disabled(1);
    if (start == kNoVersion) Installed(B("no version information"), 1);
    if (start == kNotActive) {
      Installed(family == Fam::NT ? Older() : Carried(), 1);
      sim::WriteFile(DisabledPath(), Older());
      if (family == Fam::NT) plat::RegDeleteKeyA(plat::kHKeyLocalMachine, kServices + "VQD");
      if (family == Fam::W2K) LoseFilterEntry();
    }
  }
  static void LoseFilterEntry() {
    plat::RegKey key = 0;
    ASSERT_EQ(plat::RegOpenKeyA(plat::kHKeyLocalMachine, CdromClassKey, &key), 0);
    plat::RegDeleteValueA(key, "LowerFilters");
    plat::RegCloseKey(key);
  }
  static bool PleaseWaitVisible() {
    for (const View& w : sim::Windows())
      if (w.handle == Form3.Handle) return w.visible;
    return false;
  }
};

TEST_F(InteractiveTest, EachStateOfTheSystemReadsAndLooksRight) {
  struct Case {
    Fam family;
    Start start;
    std::vector<std::string> sentences;
    std::string bold, red, buttons;
  } cases[] = {
      {Fam::W2K, kFresh,
       {"This system does not contain the VQD driver.",
        "This installer will install the VQD driver, version 5.1.26.0."},
       "[does not][5.1.26.0]", "", "[Remove VQD Driver (off)][Install][Close][Disable VQD Driver (off)]"},
      {Fam::NT, kOlder,
       {"This system contains version 5.0.0.0 of the VQD driver and it is enabled.",
        "This installer will upgrade the VQD driver to version 5.1.26.0."},
       "[5.0.0.0][enabled.][5.1.26.0]", "", "[Remove VQD Driver][Upgrade][Close][Disable VQD Driver][Advanced >>]"},
      {Fam::W9x, kSame,
       {"This system contains version 4.10.0.2222 of the VQD driver and it is enabled.",
        "This installer will not upgrade VQD, it contains version",
        "4.10.0.2222 which is the same or older than the one already", "installed."},
       "[4.10.0.2222][enabled.][4.10.0.2222][will not]", "[will not]",
       "[Remove VQD Driver][Overwrite][Close][Disable VQD Driver][Advanced >>]"},
      {Fam::W2K, kDisabled,
       {"This system contains version 5.1.26.0 of the VQD driver and it is disabled.",
        "This installer will not upgrade VQD, it contains version",
        "5.1.26.0 which is the same or older than the one already", "installed."},
       "[5.1.26.0][disabled.][5.1.26.0][will not]", "[will not]",
       "[Remove VQD Driver][Overwrite][Close][Enable VQD Driver][Advanced >>]"},
      // A driver file without version information: nothing between the pieces,
      // and any carried version counts as newer.
      {Fam::NT, kNoVersion,
       {"This system contains version  of the VQD driver and it is enabled.",
        "This installer will upgrade the VQD driver to version 5.1.26.0."},
       "[][enabled.][5.1.26.0]", "", "[Remove VQD Driver][Upgrade][Close][Disable VQD Driver][Advanced >>]"},
      // There but not loaded: nothing to enable, Update registers it again.
      {Fam::W2K, kNotActive,
       {"This system contains version 5.1.26.0 of the VQD driver and it is not active.",
        "This installer will not upgrade VQD, it contains version",
        "5.1.26.0 which is the same or older than the one already", "installed."},
       "[5.1.26.0][not active.][5.1.26.0][will not]", "[will not]",
       "[Remove VQD Driver][Overwrite][Close][Enable VQD Driver (off)][Advanced >>]"},
      {Fam::NT, kNotActive,
       {"This system contains version 5.0.0.0 of the VQD driver and it is not active.",
        "This installer will upgrade the VQD driver to version 5.1.26.0."},
       "[5.0.0.0][not active.][5.1.26.0]", "", "[Remove VQD Driver][Upgrade][Close][Enable VQD Driver (off)][Advanced >>]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(Name(c.family)) + " start " + std::to_string(c.start));
    Begin(c.family, c.start);
    EXPECT_EQ(Run({sim::UserAction{}}), 1);
    ASSERT_EQ(sim::DialogViews().size(), 1u);
    const View& view = sim::DialogViews()[0];
    EXPECT_EQ(view.caption, kCaption);
    EXPECT_EQ(Sentences(view), c.sentences);
    EXPECT_EQ(Marked(view, true), c.bold);
    EXPECT_EQ(Marked(view, true, plat::kClrRed), c.red);
    EXPECT_EQ(Buttons(view), c.buttons);
    // The hint stands for the hidden bottom row, and only where it can be reached.
    EXPECT_EQ(Ctl(view, Form1.Label7).visible, c.start != kFresh);
    EXPECT_EQ(Ctl(view, Form1.Label7).style.textColor, plat::kClrBlue);
    EXPECT_EQ(Ctl(view, Form1.Button4).text,
              c.start == kDisabled || c.start == kNotActive ? "Enable VQD Driver" : "Disable VQD Driver");
    EXPECT_EQ(view.focus, Form1.Button2);
    EXPECT_EQ(view.rect.Height(), 180);
    // Closed: nothing was touched.
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(Count(), c.start == kFresh ? -1 : 1);
  }
}

TEST_F(InteractiveTest, LayoutAtNinetySixAndAHundredTwentyPixelsPerInch) {
  for (int dpi : {96, 120}) {
    SCOPED_TRACE(dpi);
    Machine(Fam::W2K, false);
    Installed(Older(), 1);
    sim::SetScreenDpi(dpi);
    EXPECT_EQ(Run({Click(&TForm1::Button5), Click(&TForm1::Button5), Click(&TForm1::Button3)}), 1);
    ASSERT_EQ(sim::DialogViews().size(), 3u);
    const View& collapsed = sim::DialogViews()[0];
    const View& expanded = sim::DialogViews()[1];
    int frame = collapsed.rect.Height() - collapsed.client.Height();
    const plat::Rect& advanced = Ctl(collapsed, Form1.Button5).rect;
    const plat::Rect& bottomRow = Ctl(expanded, Form1.Button4).rect;
    if (dpi == 96) {
      EXPECT_EQ(collapsed.rect.Height(), 180);
      EXPECT_EQ(expanded.rect.Height(), 220);
      EXPECT_EQ(Ctl(collapsed, Form1.Button2).rect.left, 338);
      EXPECT_EQ(Ctl(collapsed, Form1.Button2).rect.Width(), 75);
    } else {
      // 13 pixels below the Advanced button, and below the bottom row.
      EXPECT_EQ(collapsed.rect.Height(), frame + advanced.bottom + 13);
      EXPECT_EQ(expanded.rect.Height(), frame + bottomRow.bottom + 13);
      EXPECT_EQ(advanced.top, 150);
      EXPECT_EQ(Ctl(collapsed, Form1.Button2).rect.left, 423);  // 338 * 1.25, rounded
      EXPECT_EQ(Ctl(collapsed, Form1.Label2).style.fontHeight, -14);
    }
    EXPECT_EQ(collapsed.rect.Width(), collapsed.client.Width() + 6);
    EXPECT_EQ(collapsed.client.Width(), dpi == 96 ? 425 : 531);
    // Centred on the 1024 by 768 screen.
    EXPECT_EQ(collapsed.rect.left, (1024 - collapsed.rect.Width()) / 2);
    // The bottom row is out of sight when collapsed and inside when expanded.
    EXPECT_GT(Ctl(collapsed, Form1.Button1).rect.bottom, collapsed.client.Height());
    EXPECT_LE(Ctl(expanded, Form1.Button1).rect.bottom, expanded.client.Height());
    EXPECT_EQ(Ctl(expanded, Form1.Button5).text, "Advanced <<");
    EXPECT_FALSE(Ctl(expanded, Form1.Label7).visible);
    EXPECT_EQ(sim::DialogViews()[2].rect.Height(), collapsed.rect.Height());
    EXPECT_EQ(Ctl(sim::DialogViews()[2], Form1.Button5).text, "Advanced >>");
    EXPECT_TRUE(Ctl(sim::DialogViews()[2], Form1.Label7).visible);
    // Tab order: Remove, Update, Close, Enable or Disable, Advanced, Debug Log.
    for (int i = 0; i < 6; ++i) {
      plat::WindowHandle TForm1::*buttons[] = {&TForm1::Button1, &TForm1::Button2, &TForm1::Button3,
                                              &TForm1::Button4, &TForm1::Button5, &TForm1::Button6};
      EXPECT_EQ(Ctl(collapsed, Form1.*buttons[i]).tabIndex, i) << kButtonNames[i];
    }
  }
}

TEST_F(InteractiveTest, EachChoiceSetsTheSwitchesOfItsAction) {
  struct Case {
    Fam family;
    Start start;
    std::vector<UserAction> actions;
    // Install, Upgrade, Remove, ForceRemove, Overwrite, NoReboot
    const char* switches;
    const char* waitText;
  } cases[] = {
      {Fam::W2K, kFresh, {Click(&TForm1::Button2)}, "I----N", "installed"},
      {Fam::NT, kOlder, {Click(&TForm1::Button2)}, "-U----", "upgraded"},
      {Fam::W9x, kSame, {Click(&TForm1::Button2)}, "-U--O-", "upgraded"},
      {Fam::W2K, kSame, {Click(&TForm1::Button2)}, "-U--ON", "upgraded"},
      // Disabled and not newer: the upgrade, with Overwrite.
      {Fam::W2K, kDisabled, {Click(&TForm1::Button2)}, "-U--ON", "upgraded"},
      {Fam::NT, kOlder, {Click(&TForm1::Button5), Click(&TForm1::Button1)}, "--RF--", "removed"},
      // Overwrite stays from the texts of the pass; a removal does not read it.
      {Fam::W2K, kSame, {Click(&TForm1::Button5), Click(&TForm1::Button1)}, "--RFON", "removed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(Name(c.family)) + " start " + std::to_string(c.start));
    Begin(c.family, c.start);
    ResetRunState();
    sim::ScriptDialog(c.actions);
    ASSERT_TRUE(RunInteractiveMode());
    std::string got = std::string(InstallSwitch ? "I" : "-") + (UpgradeSwitch ? "U" : "-") +
                      (RemoveSwitch ? "R" : "-") + (ForceRemove ? "F" : "-") + (Overwrite ? "O" : "-") +
                      (NoReboot ? "N" : "-");
    EXPECT_EQ(got, c.switches);
    EXPECT_TRUE(Interactive && NoFlag && AskReboot);
    EXPECT_EQ(PleaseWaitPaints(), std::vector<std::string>{kCaption + ": Please wait while the driver is " +
                                                           c.waitText + "."});
    EXPECT_TRUE(PleaseWaitVisible());
    EXPECT_FALSE(sim::Windows().front().visible) << "the main dialog stays hidden";
    DestroyMarkerWindow();
  }
}

TEST_F(InteractiveTest, UpdateRunsTheActionAndEndsWithTheFinalBox) {
  // Windows 2000: installed, the drives restarted, no reboot, no flag files.
  // The drives restart on a worker while the please-wait window goes on
  // painting: the one-second pause between the two drives alone is ten turns.
  sim::AddCdromDevice(sim::CdromDevice());
  sim::AddCdromDevice(sim::CdromDevice());
  EXPECT_EQ(Run({Click(&TForm1::Button2)}), 0);
  EXPECT_EQ(sim::ThreadsCreated(), 1u);
  EXPECT_GE(sim::MessageDispatches(), 11u);
  EXPECT_EQ(PleaseWaitPaints(), std::vector<std::string>{kCaption + ": Please wait while the driver is installed."});
  EXPECT_TRUE(sim::CdromDeviceRunning(0) && sim::CdromDeviceRunning(1));
  EXPECT_TRUE(DriverIs(Carried()));
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(Filters(), std::string("VQD2K\0\0", 7));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"VQDINST: VQD driver installation complete."});
  EXPECT_FALSE(PleaseWaitVisible());
  EXPECT_FALSE(sim::FileExists("reboot.txt"));

  // NT 4: the upgrade needs a reboot; the user says yes.
  Machine(Fam::NT, false);
  Installed(Older(), 1);
  sim::AnswerMessageBox(plat::kIdYes);
  EXPECT_EQ(Run({Click(&TForm1::Button2)}), 6);
  EXPECT_TRUE(DriverIs(Carried()));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                            "VQDINST: Installation complete. You need to reboot your computer for the "
                            "changes to take effect.\r\rReboot Now?"});
  EXPECT_EQ(sim::ExitWindowsCalls().size(), 1u);
  EXPECT_FALSE(sim::FileExists("reboot.txt"));

  // Windows 9x, removal of a driver two products share: it goes anyway.
  Machine(Fam::W9x, false);
  Installed(Carried(), 2);
  EXPECT_EQ(Run({Click(&TForm1::Button5), Click(&TForm1::Button1)}), 6);
  EXPECT_FALSE(sim::FileExists(DriverPath()));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                            "VQDINST: Uninstallation complete. You need to reboot your computer for the "
                            "changes to take effect.\r\rReboot Now?"});
  EXPECT_TRUE(sim::ExitWindowsCalls().empty());

  // The final box follows what the action left, not the restart's answer.
  // Windows 2000, the filter entry lost: Update (an Overwrite here) registers
  // the driver again and counts nothing.
  const std::string error = "VQDINST: There was an error installing/removing the VQD driver.";
  Begin(Fam::W2K, kNotActive);
  EXPECT_EQ(Run({Click(&TForm1::Button2)}), 0);
  EXPECT_EQ(Filters(), std::string("VQD2K\0\0", 7));
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"VQDINST: VQD driver installation complete."});
  // A copy that failed (a folder holds the driver's name): the error. The
  // install is undone and needs no reboot, unless a drive did not restart
  // and the undo could not put everything back: then the error comes with
  // the reboot question.
  for (bool stuckDrive : {false, true}) {
    Machine(Fam::W2K, false);
    sim::MakeDirectory(DriverPath());
    sim::CdromDevice drive;
    drive.failsAt = sim::DeviceStep::Stop;
    if (stuckDrive) sim::AddCdromDevice(drive);
    if (stuckDrive) sim::FailCalls("NtDeleteKey", -1, "PALV\\DriveDB");
    Run({Click(&TForm1::Button2)});
    EXPECT_FALSE(ServiceKey());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                              stuckDrive ? error + " You need to reboot your computer for the changes to take "
                                                   "effect.\r\rReboot Now?"
                                         : error});
  }
  // A removal kept because the filter entry could not be removed.
  Machine(Fam::W2K, false);
  Installed(Carried(), 1);
  sim::FailCalls("RegSetValueExA", -1, "4D36E965");
  sim::FailCalls("RegDeleteValueA", -1, "4D36E965");
  Run({Click(&TForm1::Button5), Click(&TForm1::Button1)});
  EXPECT_TRUE(DriverIs(Carried()));
  EXPECT_EQ(Filters(), std::string("VQD2K\0\0", 7));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{error});
}

TEST_F(InteractiveTest, EnableAndDisableInsideTheLoop) {
  // Windows 9x: a rename takes effect after a reboot; the user says no, then yes.
  Machine(Fam::W9x, false);
  Installed(Carried(), 1);
  sim::AnswerMessageBox(plat::kIdNo);
  sim::AnswerMessageBox(plat::kIdYes);
  EXPECT_EQ(Run({Click(&TForm1::Button5), Click(&TForm1::Button4), Click(&TForm1::Button4),
                 Click(&TForm1::Button3)}),
            1);
  const std::string reboot =
      kCaption + ": Operation complete. You need to reboot for the changes to take effect.\r\rReboot now?";
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{reboot, reboot}));
  EXPECT_EQ(sim::MessageBoxes()[0].type, plat::kMbYesNo);
  EXPECT_EQ(sim::ExitWindowsCalls().size(), 1u);
  EXPECT_TRUE(DriverIs(Carried()));
  EXPECT_EQ(PleaseWaitPaints(), (std::vector<std::string>{kCaption + ": Please wait while the driver is disabled.",
                                                          kCaption + ": Please wait while the driver is enabled."}));
  // Each pass describes the system as it then is; Advanced stays expanded.
  ASSERT_EQ(sim::DialogViews().size(), 4u);
  // MERIDAX.DIS is no ".VXD" by name: the system's own version functions
  // read it, and (as under Wine) find nothing in a Linear Executable.
  EXPECT_EQ(Sentences(sim::DialogViews()[2])[0],
            "This system contains version  of the VQD driver and it is disabled.");
  EXPECT_EQ(Ctl(sim::DialogViews()[2], Form1.Button4).text, "Enable VQD Driver");
  EXPECT_EQ(sim::DialogViews()[2].rect.Height(), 220);
  EXPECT_FALSE(Ctl(sim::DialogViews()[2], Form1.Label7).visible);
  EXPECT_EQ(Sentences(sim::DialogViews()[3])[0],
            "This system contains version 4.10.0.2222 of the VQD driver and it is enabled.");
  EXPECT_FALSE(PleaseWaitVisible());

  // Windows 2000 restarts the drives instead: no reboot, the plain answer.
  Machine(Fam::W2K, false);
  Installed(Carried(), 1);
  sim::AddCdromDevice(sim::CdromDevice());
  EXPECT_EQ(Run({Click(&TForm1::Button5), Click(&TForm1::Button4), UserAction{}}), 1);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"VQD Utility: Operation complete. The VQD driver has been disabled."});
  EXPECT_TRUE(sim::FileExists(DisabledPath()));
  EXPECT_EQ(Filters(), "<none>");
  EXPECT_EQ(Count(), 1);
  // Enabling restarts the drives too, on the worker.
  EXPECT_EQ(Run({Click(&TForm1::Button5), Click(&TForm1::Button4), UserAction{}}), 1);
  EXPECT_EQ(BoxTexts().back(), "VQD Utility: Operation complete. The VQD driver has been enabled.");
  EXPECT_EQ(Filters(), std::string("VQD2K\0\0", 7));
  EXPECT_EQ(sim::ThreadsCreated(), 2u);
  const Lines& calls = sim::DeviceCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetupDiCallClassInstaller device=0 function=0x12"), 4);
  EXPECT_TRUE(sim::CdromDeviceRunning(0));

  // What the system holds decides the box: a filter entry that stays keeps
  // the driver enabled, a disabled file that cannot be renamed keeps it
  // disabled.
  for (bool enabling : {false, true}) {
    Machine(Fam::W2K, false);
    if (enabling) {
      Disabled(1);
      sim::FailCalls("MoveFileA");
    } else {
      Installed(Carried(), 1);
      sim::FailCalls("RegSetValueExA", -1, "4D36E965");
      sim::FailCalls("RegDeleteValueA", -1, "4D36E965");
    }
    EXPECT_EQ(Run({Click(&TForm1::Button5), Click(&TForm1::Button4), UserAction{}}), 1);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{enabling
                                                       ? "VQD Utility: Operation failed. The VQD driver has not been enabled."
                                                       : "VQD Utility: Operation failed. The VQD driver has not been disabled."});
    EXPECT_EQ(sim::FileExists(DriverPath()), !enabling);
  }
}

TEST_F(InteractiveTest, DisablingThenUpdatingWithANewerPayloadUpgradesWithoutCounting) {
  // Shift+Ctrl+Alt on Advanced reveals Debug Log, which switches the log on.
  Machine(Fam::NT, false);
  Installed(Older(), 1);
  EXPECT_EQ(Run({Click(&TForm1::Button5), Click(&TForm1::Button5), Click(&TForm1::Button5, true),
                 Click(&TForm1::Button6), Click(&TForm1::Button4), Click(&TForm1::Button2)}),
            6);
  const auto& views = sim::DialogViews();
  ASSERT_EQ(views.size(), 6u);
  EXPECT_FALSE(Ctl(views[1], Form1.Button6).visible) << "Advanced alone reveals nothing";
  EXPECT_TRUE(Ctl(views[3], Form1.Button6).visible);
  EXPECT_TRUE(Ctl(views[4], Form1.Button6).visible) << "Debug Log stays for the rest of the run";
  ASSERT_EQ(BoxTexts().size(), 3u);
  EXPECT_EQ(BoxTexts()[0], "VQDINST: Debug log enabled.");
  // The upgrade enabled the driver again and copied the newer one.
  EXPECT_EQ(BoxTexts()[2].rfind("VQDINST: Installation complete.", 0), 0u);
  // The driver is counted: disabled or not, Update upgrades it and counts
  // this product no second time.
  EXPECT_EQ(LinesOf({"MAIN: "}), Lines{"MAIN: Upgrade switch activated"});
  EXPECT_TRUE(DriverIs(Carried()));
  EXPECT_FALSE(sim::FileExists(DisabledPath()));
  EXPECT_EQ(Count(), 1);
}

TEST_F(InteractiveTest, CloseAndTheCloseBoxEndWithOneAndChangeNothing) {
  for (UserAction close : {Click(&TForm1::Button3), UserAction{}}) {
    Machine(Fam::W2K, false);
    Installed(Older(), 1);
    sim::WriteFile("reboot.txt", "stale");
    EXPECT_EQ(Run({close}), 1);
    EXPECT_TRUE(DriverIs(Older()));
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(Filters(), std::string("VQD2K\0\0", 7));
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_TRUE(PleaseWaitPaints().empty());
    EXPECT_FALSE(sim::FileExists("reboot.txt")) << "the flags of an earlier run go at start-up";
  }
}

TEST_F(InteractiveTest, UnsupportedSystemsAreWarnedOffBeforeTheDialog) {
  for (bool wow64 : {false, true}) {
    Machine(Fam::W2K, false);
    if (wow64) {
      sim::SetVersion(plat::kPlatformWin32NT, 5, 1, 2600);
      sim::SetWow64(true);
    } else {
      sim::SetVersion(plat::kPlatformWin32NT, 6, 1, 7601);
    }
    EXPECT_EQ(Run({}), 1);
    EXPECT_TRUE(sim::DialogViews().empty());
    ASSERT_EQ(sim::MessageBoxes().size(), 1u);
    const sim::MessageBoxCall& box = sim::MessageBoxes()[0];
    EXPECT_EQ(box.text, std::string("Your operating system is unsupported at this time. Please watch ") +
                            SupportHost + " for updates.");
    EXPECT_EQ(box.caption, "VQDINST");
    EXPECT_EQ(box.type, plat::kMbOk | plat::kMbIconWarning);
    EXPECT_EQ(box.owner, Form1.Handle);
    EXPECT_NE(box.owner, 0u);
  }
}

TEST_F(InteractiveTest, UpdateWithoutAdministratorRightsIsRefusedButEnablingIsTried) {
  Machine(Fam::NT, false);
  Installed(Carried(), 1);
  sim::SetAdmin(false);
  EXPECT_EQ(Run({Click(&TForm1::Button5), Click(&TForm1::Button4), Click(&TForm1::Button2)}), 5);
  ASSERT_EQ(BoxTexts().size(), 2u);
  EXPECT_EQ(BoxTexts()[1], "VQDINST: You need to be an administrator to install this driver.");
  EXPECT_EQ(sim::MessageBoxes()[1].type, plat::kMbOk | plat::kMbIconError);
  // The disabling is tried; the service key a user may not delete stays,
  // so the renamed file goes back.
  EXPECT_EQ(BoxTexts()[0], "VQD Utility: Operation failed. The VQD driver has not been disabled.");
  EXPECT_TRUE(DriverIs(Carried()));
  EXPECT_EQ(Count(), 1);
  EXPECT_FALSE(PleaseWaitVisible());
}
