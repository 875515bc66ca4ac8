// The simulated dialog windows behave as the program expects Windows to: a
// scripted modal loop that takes only what a user could click, frames and
// text measured as under Wine, paints, handles and their refusals.
#include "sim_fixture.h"

namespace {

constexpr uint32_t kErrorInvalidWindowHandle = 1400;

using plat::ControlKind;
using plat::FrameKind;

plat::ControlStyle Hidden() {
  plat::ControlStyle style;
  style.visible = false;
  return style;
}

// What the command handler of the scripted dialog saw and does.
struct Handler {
  plat::WindowHandle dialog = 0, debugButton = 0;
  std::vector<int> commands;
  std::vector<bool> keysDown;  // Shift, Ctrl and Alt all down during each command
} handler;

int OnCommand(int id) {
  handler.commands.push_back(id);
  handler.keysDown.push_back(plat::GetKeyState(plat::kVkShift) < 0 && plat::GetKeyState(plat::kVkControl) < 0 &&
                             plat::GetKeyState(plat::kVkMenu) < 0);
  if (id == 5) {  // "Advanced": reveals a button and grows the dialog, the dialog stays
    plat::ShowWindow(handler.debugButton, true);
    plat::MoveWindow(handler.dialog, 10, 20, 431, 260);
    return 0;
  }
  return id;
}

}  // namespace

class SimDialogsTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    handler = Handler();
  }
};

TEST_F(SimDialogsTest, ScriptedModalLoopTakesOnlyWhatAUserCouldClick) {
  plat::WindowHandle dialog = plat::CreateDialogWindow("TForm1", "Main", FrameKind::kDialog, 425, 195);
  ASSERT_NE(dialog, 0u);
  handler.dialog = dialog;
  plat::ControlStyle plain;
  plat::WindowHandle label = plat::CreateControl(dialog, ControlKind::kLabel, 10, "Text", 10, 13, 50, 13, plain);
  plat::WindowHandle update = plat::CreateControl(dialog, ControlKind::kButton, 1, "Update", 338, 48, 75, 25, plain);
  plat::WindowHandle advanced = plat::CreateControl(dialog, ControlKind::kButton, 5, "Adv", 250, 120, 75, 25, plain);
  handler.debugButton = plat::CreateControl(dialog, ControlKind::kButton, 8, "Debug", 104, 160, 75, 25, Hidden());
  plat::WindowHandle remove = plat::CreateControl(dialog, ControlKind::kButton, 4, "Remove", 310, 160, 102, 25, plain);
  plat::EnableWindow(remove, false);
  const sim::WindowState created = sim::Windows().at(0);
  EXPECT_EQ(created.Control(label)->tabIndex, -1);
  EXPECT_EQ(created.Control(update)->tabIndex, 0);
  EXPECT_EQ(created.Control(remove)->tabIndex, 3);
  EXPECT_EQ(created.Control(dialog), nullptr);

  sim::ScriptDialog({{10}, {8}, {4}, {99}, {5, true}, {8}});
  EXPECT_EQ(plat::RunModalDialog(dialog, update, OnCommand), 8);
  EXPECT_EQ(sim::DialogScriptErrors(),
            (std::vector<std::string>{"click on control 10 of \"Main\": not a button",
                                      "click on control 8 of \"Main\": hidden",
                                      "click on control 4 of \"Main\": disabled",
                                      "click on control 99 of \"Main\": no such control"}));
  EXPECT_EQ(handler.commands, (std::vector<int>{5, 8}));
  EXPECT_EQ(handler.keysDown, (std::vector<bool>{true, false}));
  EXPECT_EQ(plat::GetKeyState(plat::kVkShift), 0);
  // Shown once, then again after "Advanced" with what its handler changed.
  const auto& views = sim::DialogViews();
  ASSERT_EQ(views.size(), 2u);
  EXPECT_TRUE(views[0].visible);
  EXPECT_EQ(views[0].focus, update);
  EXPECT_FALSE(views[0].Control(handler.debugButton)->visible);
  EXPECT_EQ(views[1].focus, advanced);
  EXPECT_TRUE(views[1].Control(handler.debugButton)->visible);
  EXPECT_EQ(views[1].rect.bottom, 280);
  EXPECT_FALSE(plat::IsWindowVisible(dialog));

  // The dialog keeps the focus of its last click; the close box gives 2.
  sim::ScriptDialog({{sim::kCloseBox}, {1}});
  EXPECT_EQ(plat::RunModalDialog(dialog, update, OnCommand), 2);
  EXPECT_EQ(sim::DialogViews().back().focus, handler.debugButton);
  EXPECT_EQ(plat::RunModalDialog(dialog, update, OnCommand), 1);
  // With the script used up the dialog is closed and that is a fault.
  EXPECT_EQ(plat::RunModalDialog(dialog, update, OnCommand), 2);
  EXPECT_EQ(sim::DialogScriptErrors().back(), "dialog \"Main\" waits with no action left; closed by its close box");
  EXPECT_EQ(sim::DialogViews().size(), 5u);
  // A tool window has no close box to click.
  plat::WindowHandle wait = plat::CreateDialogWindow("TForm3", "Wait", FrameKind::kToolWindow, 266, 56);
  plat::CreateControl(wait, ControlKind::kButton, 1, "OK", 0, 0, 75, 25, plain);
  sim::ScriptDialog({{sim::kCloseBox}, {1}});
  EXPECT_EQ(plat::RunModalDialog(wait, 0, OnCommand), 1);
  EXPECT_EQ(sim::DialogScriptErrors().back(), "close box of \"Wait\": the window has none");
}

TEST_F(SimDialogsTest, FramesFollowTheScreenResolution) {
  struct Case {
    int dpi;
    FrameKind frame;
    int width, height;  // of the window around a 425 by 195 client area
  } cases[] = {{96, FrameKind::kDialog, 431, 220},
               {96, FrameKind::kToolWindow, 431, 217},
               {120, FrameKind::kDialog, 431, 225},  // caption 19 * 120 / 96 = 23.75
               {120, FrameKind::kToolWindow, 431, 221}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.dpi << " dpi");
    sim::SetScreenDpi(c.dpi);
    EXPECT_EQ(plat::GetScreenDpi(), c.dpi);
    plat::WindowHandle w = plat::CreateDialogWindow("C", "", c.frame, 425, 195);
    plat::Rect r;
    ASSERT_TRUE(plat::GetWindowRect(w, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.Width(), c.width) << c.dpi;
    EXPECT_EQ(r.Height(), c.height) << c.dpi;
    // Moving the window resizes the client area inside the same frame.
    ASSERT_TRUE(plat::MoveWindow(w, 296, 274, c.width, c.height + 40));
    ASSERT_TRUE(plat::GetClientRect(w, &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.Width(), 425);
    EXPECT_EQ(r.Height(), 235);
    ASSERT_TRUE(plat::GetWindowRect(w, &r));
    EXPECT_EQ(r.left, 296);
    EXPECT_EQ(r.bottom, 274 + c.height + 40);
  }
  // A control moves in its dialog's client coordinates.
  plat::WindowHandle dialog = sim::Windows().back().handle;
  plat::WindowHandle button = plat::CreateControl(dialog, ControlKind::kButton, 1, "B", 1, 2, 3, 4, {});
  ASSERT_TRUE(plat::MoveWindow(button, 250, 120, 75, 25));
  plat::Rect r;
  ASSERT_TRUE(plat::GetWindowRect(button, &r));
  EXPECT_EQ(r.left, 250);
  EXPECT_EQ(r.bottom, 145);
  ASSERT_TRUE(plat::GetClientRect(button, &r));
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, 75);
  EXPECT_EQ(plat::GetSystemMetrics(plat::kSmCxScreen), 1024);
  sim::SetScreenSize(800, 600);
  EXPECT_EQ(plat::GetSystemMetrics(plat::kSmCyScreen), 600);
}

TEST_F(SimDialogsTest, TextIsMeasuredInTheControlsFont) {
  plat::WindowHandle dialog = plat::CreateDialogWindow("C", "", FrameKind::kDialog, 100, 100);
  auto label = [&](int height, bool bold) {
    plat::ControlStyle style;
    style.fontHeight = height;
    style.bold = bold;
    return plat::CreateControl(dialog, ControlKind::kLabel, 1, "", 0, 0, 10, 10, style);
  };
  plat::WindowHandle regular = label(-11, false), bold = label(-11, true);
  // Wine draws "Install" 27 pixels wide in the 8-point face, 13 pixels high.
  EXPECT_EQ(plat::MeasureText(regular, "Install").cx, 27);
  EXPECT_EQ(plat::MeasureText(regular, "Install").cy, 13);
  EXPECT_EQ(plat::MeasureText(regular, "").cx, 0);
  EXPECT_EQ(plat::MeasureText(regular, "").cy, 13);
  EXPECT_EQ(plat::MeasureText(regular, "Inst").cx + plat::MeasureText(regular, "all").cx, 27);
  EXPECT_GT(plat::MeasureText(bold, "Install").cx, 27);
  EXPECT_EQ(plat::MeasureText(bold, "").cy, 13);
  EXPECT_EQ(plat::MeasureText(label(-13, false), "").cy, 16);  // the 10-point face
  // A size the font lacks is the 8-point face scaled: 27 * 14 / 11 = 34.4.
  EXPECT_EQ(plat::MeasureText(label(-14, false), "Install").cx, 34);
  EXPECT_EQ(plat::MeasureText(label(-14, false), "").cy, 17);
  EXPECT_EQ(plat::MeasureText(dialog, "Install").cx, 0);  // only controls have a font
}

TEST_F(SimDialogsTest, PaintsRecordWhatChanged) {
  plat::WindowHandle dialog = plat::CreateDialogWindow("TForm3", "Wait", FrameKind::kToolWindow, 266, 56);
  plat::WindowHandle text = plat::CreateControl(dialog, ControlKind::kLabel, 1, "", 0, 16, 265, 21, {});
  plat::DispatchPendingMessages();  // nothing of the program was ever on the screen
  EXPECT_FALSE(plat::ShowWindow(dialog, true));
  EXPECT_TRUE(sim::Paints().empty());  // showing alone does not paint
  plat::DispatchPendingMessages();
  plat::DispatchPendingMessages();
  plat::SetWindowTextA(text, "Please wait");
  plat::DispatchPendingMessages();
  EXPECT_TRUE(plat::ShowWindow(dialog, false));
  plat::DispatchPendingMessages();
  EXPECT_EQ(sim::MessageDispatches(), 5u);
  const auto& paints = sim::Paints();
  ASSERT_EQ(paints.size(), 3u);
  ASSERT_EQ(paints[0].size(), 1u);
  EXPECT_EQ(paints[0][0].caption, "Wait");
  EXPECT_EQ(paints[0][0].controls.at(0).text, "");
  EXPECT_EQ(paints[1][0].controls.at(0).text, "Please wait");
  EXPECT_TRUE(paints[2].empty());
}

TEST_F(SimDialogsTest, HandlesAreUniqueAndDeadOnesAreRefused) {
  plat::RegisterMarkerClass("vqdinst");
  plat::WindowHandle marker = plat::CreateMarkerWindow("vqdinst");
  plat::WindowHandle a = plat::CreateDialogWindow("A", "A", FrameKind::kDialog, 10, 10);
  plat::WindowHandle b = plat::CreateDialogWindow("B", "B", FrameKind::kToolWindow, 10, 10);
  plat::WindowHandle control = plat::CreateControl(a, ControlKind::kLabel, 1, "x", 0, 0, 5, 5, {});
  std::vector<plat::WindowHandle> handles{marker, a, b, control};
  std::sort(handles.begin(), handles.end());
  EXPECT_NE(handles[0], 0u);
  EXPECT_EQ(std::unique(handles.begin(), handles.end()), handles.end());
  EXPECT_FALSE(plat::IsWindowVisible(control));  // its dialog is hidden
  EXPECT_EQ(plat::MessageBoxA(a, "t", "c", plat::kMbOk), plat::kIdOk);
  EXPECT_EQ(plat::MessageBoxA("t", "c", plat::kMbOk), plat::kIdOk);
  ASSERT_EQ(sim::MessageBoxes().size(), 2u);
  EXPECT_EQ(sim::MessageBoxes()[0].owner, a);
  EXPECT_EQ(sim::MessageBoxes()[1].owner, 0u);

  ASSERT_TRUE(plat::DestroyWindow(a));
  ASSERT_EQ(sim::Windows().size(), 1u);
  EXPECT_EQ(sim::Windows()[0].handle, b);
  plat::Rect r;
  // Each call fails and sets the error itself (an earlier one is replaced first).
  auto refused = [](auto call) {
    char buf[4];
    plat::GetEnvironmentVariableA("UNSET", buf, sizeof buf);
    return call() && plat::GetLastError() == kErrorInvalidWindowHandle;
  };
  for (plat::WindowHandle dead : {a, control}) {
    EXPECT_TRUE(refused([&] { return !plat::SetWindowTextA(dead, "x"); }));
    EXPECT_TRUE(refused([&] { return plat::GetWindowTextA(dead).empty(); }));
    EXPECT_TRUE(refused([&] { return !plat::ShowWindow(dead, true); }));
    EXPECT_TRUE(refused([&] { return !plat::IsWindowVisible(dead); }));
    EXPECT_TRUE(refused([&] { return !plat::EnableWindow(dead, true); }));
    EXPECT_TRUE(refused([&] { return !plat::MoveWindow(dead, 0, 0, 1, 1); }));
    EXPECT_TRUE(refused([&] { return !plat::GetWindowRect(dead, &r); }));
    EXPECT_TRUE(refused([&] { return plat::MeasureText(dead, "x").cy == 0; }));
    EXPECT_TRUE(refused([&] { return plat::RunModalDialog(dead, 0, OnCommand) == 0; }));
    EXPECT_TRUE(refused([&] { return plat::CreateControl(dead, ControlKind::kButton, 2, "", 0, 0, 1, 1, {}) == 0; }));
    EXPECT_TRUE(refused([&] { return !plat::DestroyWindow(dead); }));
    EXPECT_TRUE(refused([&] { return plat::MessageBoxA(dead, "t", "c", plat::kMbOk) == 0; }));
  }
  EXPECT_EQ(sim::MessageBoxes().size(), 2u);
  EXPECT_TRUE(sim::DialogViews().empty());
  // Failures on demand, as with every other call.
  sim::FailCalls("CreateDialogWindow", 1);
  EXPECT_EQ(plat::CreateDialogWindow("A", "A", FrameKind::kDialog, 10, 10), 0u);
  EXPECT_EQ(plat::GetLastError(), plat::kErrorAccessDenied);
  sim::FailCalls("CreateControl", 1);
  EXPECT_EQ(plat::CreateControl(b, ControlKind::kLabel, 1, "x", 0, 0, 5, 5, {}), 0u);
  EXPECT_NE(plat::CreateControl(b, ControlKind::kLabel, 1, "x", 0, 0, 5, 5, {}), 0u);
}
