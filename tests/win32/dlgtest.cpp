// A small windowed program of the win32 build for the end-to-end tests: a
// dialog and a please-wait window made with the platform layer's dialog
// calls, as the interactive mode makes its own. Not part of vqdinst.exe.
//
//   dlgtest.exe               the dialog for the probe (tests/e2e/probe.sh)
//   dlgtest.exe --selfcheck   checks of the dialog calls from inside, one
//                             "ok WHAT" or "FAIL WHAT: DETAIL" line each
//
// The dialog (class "DlgTestMain", client 240 by 100) has the labels 100
// "Plain & simple", 101 "Bold red" (bold, red), 102 a blue word-wrapped hint
// and 103 hidden, and the buttons 1 "One", 2 "Two", 3 "Keys" and 4 "Secret"
// (hidden), with the first focus on "Two". "One" shows the please-wait window
// (class "DlgTestWait") for a moment and counts in label 100; "Keys" writes
// the Shift, Ctrl and Alt keys held into label 100 and, when all three are
// down, shows "Secret". "Two" ends the dialog and shows a message box "Two
// was pressed." owned by it; the exit code is then 7, after "Secret" 9,
// after the close box 2.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

plat::WindowHandle mainDialog, waitWindow, plainLabel, redLabel, blueLabel, hiddenLabel, waitLabel;
plat::WindowHandle buttonOne, buttonTwo, buttonKeys, buttonSecret;
int onePresses = 0;

void CreateWindows() {
  mainDialog = plat::CreateDialogWindow("DlgTestMain", "Probe test dialog", plat::FrameKind::kDialog, 240, 100);
  plat::ControlStyle plain;
  plat::ControlStyle bold;
  bold.bold = true;
  bold.textColor = plat::kClrRed;
  plat::ControlStyle hint;
  hint.wordWrap = true;
  hint.textColor = plat::kClrBlue;
  plat::ControlStyle hidden;
  hidden.visible = false;
  plainLabel = plat::CreateControl(mainDialog, plat::ControlKind::kLabel, 100, "Plain & simple", 10, 10, 120, 13, plain);
  redLabel = plat::CreateControl(mainDialog, plat::ControlKind::kLabel, 101, "Bold red", 10, 30, 60, 13, bold);
  blueLabel = plat::CreateControl(mainDialog, plat::ControlKind::kLabel, 102, "A blue hint that wraps onto two lines",
                                  10, 50, 120, 26, hint);
  hiddenLabel = plat::CreateControl(mainDialog, plat::ControlKind::kLabel, 103, "Hidden", 10, 80, 60, 13, hidden);
  buttonOne = plat::CreateControl(mainDialog, plat::ControlKind::kButton, 1, "One", 150, 8, 75, 25, plain);
  buttonTwo = plat::CreateControl(mainDialog, plat::ControlKind::kButton, 2, "Two", 150, 38, 75, 25, plain);
  buttonKeys = plat::CreateControl(mainDialog, plat::ControlKind::kButton, 3, "Keys", 150, 68, 75, 25, plain);
  buttonSecret = plat::CreateControl(mainDialog, plat::ControlKind::kButton, 4, "Secret", 70, 68, 75, 25, hidden);

  waitWindow = plat::CreateDialogWindow("DlgTestWait", "Please wait", plat::FrameKind::kToolWindow, 200, 40);
  plat::ControlStyle centred;
  centred.fontHeight = -13;
  centred.centred = true;
  waitLabel = plat::CreateControl(waitWindow, plat::ControlKind::kLabel, 200, "", 0, 12, 200, 21, centred);
}

int OnCommand(int id) {
  switch (id) {
    case 1: {
      onePresses++;
      plat::SetWindowTextA(waitLabel, "Working on One " + std::to_string(onePresses));
      plat::ShowWindow(waitWindow, true);
      plat::DispatchPendingMessages();
      plat::Sleep(200);
      plat::ShowWindow(waitWindow, false);
      plat::SetWindowTextA(plainLabel, "One pressed " + std::to_string(onePresses));
      return 0;
    }
    case 2:
      return 7;
    case 3: {
      bool shift = plat::GetKeyState(plat::kVkShift) < 0, ctrl = plat::GetKeyState(plat::kVkControl) < 0,
           alt = plat::GetKeyState(plat::kVkMenu) < 0;
      std::string keys = "keys:";
      if (shift) keys += " shift";
      if (ctrl) keys += " ctrl";
      if (alt) keys += " alt";
      if (!shift && !ctrl && !alt) keys += " none";
      plat::SetWindowTextA(plainLabel, keys);
      if (shift && ctrl && alt) plat::ShowWindow(buttonSecret, true);
      return 0;
    }
    case 4:
      return 9;
  }
  return 0;
}

int RunDialog() {
  CreateWindows();
  if (!mainDialog || !waitWindow || !buttonSecret || !waitLabel) return 1;
  int result = plat::RunModalDialog(mainDialog, buttonTwo, OnCommand);
  if (result == 7) plat::MessageBoxA(mainDialog, "Two was pressed.", "Probe test", plat::kMbOk);
  return result;
}

// ---- the checks from inside ------------------------------------------------

int failures = 0;

void Check(bool ok, const std::string& what, const std::string& detail = "") {
  if (!ok) failures++;
  std::printf("%s %s%s%s\n", ok ? "ok" : "FAIL", what.c_str(), ok || detail.empty() ? "" : ": ",
              ok ? "" : detail.c_str());
  std::fflush(stdout);
}

void CheckEq(long expected, long actual, const std::string& what) {
  Check(expected == actual, what, "expected " + std::to_string(expected) + ", got " + std::to_string(actual));
}

HWND W(plat::WindowHandle w) { return reinterpret_cast<HWND>(w); }

LOGFONTA FontOf(plat::WindowHandle control) {
  LOGFONTA lf;
  std::memset(&lf, 0, sizeof lf);
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(W(control), WM_GETFONT, 0, 0));
  if (font) GetObjectA(font, sizeof lf, &lf);
  return lf;
}

// The text colour and background the dialog gives a label to paint with.
void CheckLabelColour(plat::WindowHandle label, COLORREF expected, const std::string& what) {
  HDC dc = CreateCompatibleDC(nullptr);
  LRESULT brush = SendMessageA(W(mainDialog), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(W(label)));
  CheckEq(static_cast<long>(expected), static_cast<long>(GetTextColor(dc)), what + " text colour");
  CheckEq(static_cast<long>(GetSysColor(COLOR_BTNFACE)), static_cast<long>(GetBkColor(dc)),
          what + " background colour");
  Check(reinterpret_cast<HBRUSH>(brush) == GetSysColorBrush(COLOR_BTNFACE), what + " background brush COLOR_BTNFACE");
  DeleteDC(dc);
}

void CheckWindowsAsMade() {
  LONG style = GetWindowLongA(W(mainDialog), GWL_STYLE);
  Check((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU), "dialog has a caption and a system menu");
  Check(!(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)), "dialog has no min/max box, fixed border");
  LONG toolStyle = GetWindowLongA(W(waitWindow), GWL_STYLE);
  Check((GetWindowLongA(W(waitWindow), GWL_EXSTYLE) & WS_EX_TOOLWINDOW) && !(toolStyle & WS_SYSMENU),
        "please-wait window is a tool window without border icons");
  plat::Rect client, window;
  plat::GetClientRect(mainDialog, &client);
  plat::GetWindowRect(mainDialog, &window);
  Check(client.Width() == 240 && client.Height() == 100, "dialog client area 240 by 100");
  std::printf("info dialog: window %d by %d for the client 240 by 100\n", window.Width(), window.Height());
  plat::GetClientRect(waitWindow, &client);
  plat::GetWindowRect(waitWindow, &window);
  Check(client.Width() == 200 && client.Height() == 40, "tool window client area 200 by 40");
  std::printf("info tool window: window %d by %d for the client 200 by 40\n", window.Width(), window.Height());
  Check(GetClassLongA(W(mainDialog), GCL_HBRBACKGROUND) == COLOR_BTNFACE + 1, "class background COLOR_BTNFACE");
  Check(reinterpret_cast<HCURSOR>(GetClassLongA(W(mainDialog), GCL_HCURSOR)) == LoadCursorA(nullptr, IDC_ARROW),
        "class cursor is the arrow");

  struct {
    plat::WindowHandle control;
    LONG type;
    const char* what;
  } labels[] = {{plainLabel, SS_LEFTNOWORDWRAP, "plain label"}, {blueLabel, SS_LEFT, "word-wrapped label"},
                {waitLabel, SS_CENTER, "centred label"}};
  for (const auto& l : labels) {
    LONG ls = GetWindowLongA(W(l.control), GWL_STYLE);
    Check((ls & SS_TYPEMASK) == l.type && (ls & SS_NOPREFIX), std::string(l.what) + " style");
  }
  Check(plat::GetWindowTextA(plainLabel) == "Plain & simple", "label keeps its '&'");
  LONG bs = GetWindowLongA(W(buttonKeys), GWL_STYLE);
  Check((bs & WS_TABSTOP) && (bs & BS_TYPEMASK) == BS_PUSHBUTTON, "button is a push button and a tab stop");
  Check(!plat::IsWindowVisible(hiddenLabel) && !(GetWindowLongA(W(buttonSecret), GWL_STYLE) & WS_VISIBLE),
        "controls made hidden are hidden");

  LOGFONTA plainFont = FontOf(plainLabel), boldFont = FontOf(redLabel), bigFont = FontOf(waitLabel);
  Check(std::strcmp(plainFont.lfFaceName, "MS Sans Serif") == 0, "face MS Sans Serif", plainFont.lfFaceName);
  CheckEq(-11, plainFont.lfHeight, "label font height");
  CheckEq(FW_NORMAL, plainFont.lfWeight, "label font weight");
  CheckEq(FW_BOLD, boldFont.lfWeight, "bold label font weight");
  CheckEq(-13, bigFont.lfHeight, "please-wait label font height");
  Check(SendMessageA(W(plainLabel), WM_GETFONT, 0, 0) == SendMessageA(W(buttonOne), WM_GETFONT, 0, 0),
        "one font object for every control of the same font");

  struct {
    plat::WindowHandle control;
    const char* text;
    int cx, cy;
  } sizes[] = {{plainLabel, "Install", 27, 13}, {plainLabel, "", 0, 13}, {redLabel, "does not", 49, 13},
               {waitLabel, "", 0, 16}};
  for (const auto& m : sizes) {
    plat::Size size = plat::MeasureText(m.control, m.text);
    Check(size.cx == m.cx && size.cy == m.cy, std::string("MeasureText \"") + m.text + "\"",
          std::to_string(size.cx) + " by " + std::to_string(size.cy));
  }

  CheckLabelColour(plainLabel, GetSysColor(COLOR_BTNTEXT), "plain label");
  CheckLabelColour(redLabel, RGB(255, 0, 0), "red label");
  CheckLabelColour(blueLabel, RGB(0, 0, 255), "blue label");

  plat::Rect r;
  plat::GetWindowRect(buttonOne, &r);
  Check(r.left == 150 && r.top == 8 && r.Width() == 75 && r.Height() == 25, "control rectangle in client coordinates");
  plat::MoveWindow(hiddenLabel, 20, 85, 50, 13);
  plat::GetWindowRect(hiddenLabel, &r);
  Check(r.left == 20 && r.top == 85 && r.Width() == 50 && r.Height() == 13, "MoveWindow of a control");
  CheckEq(96, plat::GetScreenDpi(), "screen pixels per inch");

  // The please-wait window cannot be closed.
  plat::ShowWindow(waitWindow, true);
  SendMessageA(W(waitWindow), WM_SYSCOMMAND, SC_CLOSE, 0);
  SendMessageA(W(waitWindow), WM_CLOSE, 0, 0);
  Check(IsWindow(W(waitWindow)) && plat::IsWindowVisible(waitWindow), "tool window stays after SC_CLOSE and WM_CLOSE");
  plat::ShowWindow(waitWindow, false);
}

// A user at the keyboard, played by a timer on the dialog's own thread: one
// step per tick, so that the messages of a step are handled before the next.
enum class Act { kKey, kShiftDown, kModifiersDown, kKeysUp, kExpectFocus, kCloseBox, kCloseFromThread };
struct Step {
  Act act;
  int value;
};
std::vector<Step> script;
size_t scriptAt = 0;
int idleTicks = 0;
// Wine hands the activation back to the dialog when another window of the
// thread hides through messages of its own, which a loaded machine may deliver
// a few timer ticks later: a focus check waits up to this many ticks.
constexpr int kFocusWaitLimit = 40;
int focusWaits = 0;
constexpr int kIdleLimit = 60;

void SetKeys(std::initializer_list<int> keys) {
  BYTE state[256];
  GetKeyboardState(state);
  for (int k : {VK_SHIFT, VK_CONTROL, VK_MENU}) state[k] = 0;
  for (int k : keys) state[k] = 0x80;
  SetKeyboardState(state);
}

DWORD WINAPI CloseFromThread(LPVOID) {
  SendMessageA(W(mainDialog), WM_SYSCOMMAND, SC_CLOSE, 0);
  return 0;
}

void CALLBACK PlayScript(HWND, UINT, UINT_PTR, DWORD) {
  if (scriptAt == script.size()) {
    if (++idleTicks == kIdleLimit) {
      Check(false, "dialog ended after its script");
      PostMessageA(W(mainDialog), WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    return;
  }
  Step step = script[scriptAt++];
  HWND focus = GetFocus();
  switch (step.act) {
    case Act::kKey:
      PostMessageA(focus, WM_KEYDOWN, step.value, 1);
      PostMessageA(focus, WM_KEYUP, step.value, 0xC0000001);
      break;
    case Act::kShiftDown: SetKeys({VK_SHIFT}); break;
    case Act::kModifiersDown: SetKeys({VK_SHIFT, VK_CONTROL, VK_MENU}); break;
    case Act::kKeysUp: SetKeys({}); break;
    case Act::kExpectFocus:
      if ((focus ? GetDlgCtrlID(focus) : 0) != step.value && ++focusWaits < kFocusWaitLimit) {
        scriptAt--;  // look again at the next tick
        break;
      }
      focusWaits = 0;
      CheckEq(step.value, focus ? GetDlgCtrlID(focus) : 0, "focus at step " + std::to_string(scriptAt));
      break;
    case Act::kCloseBox: PostMessageA(W(mainDialog), WM_SYSCOMMAND, SC_CLOSE, 0); break;
    case Act::kCloseFromThread: {
      DWORD id = 0;
      HANDLE thread = CreateThread(nullptr, 0, CloseFromThread, nullptr, 0, &id);
      if (thread) CloseHandle(thread);
      break;
    }
  }
}

int RunScripted(plat::WindowHandle focus, std::vector<Step> steps, const std::string& what) {
  script = std::move(steps);
  scriptAt = 0;
  idleTicks = 0;
  focusWaits = 0;
  UINT_PTR timer = SetTimer(nullptr, 0, 15, PlayScript);
  int result = plat::RunModalDialog(mainDialog, focus, OnCommand);
  KillTimer(nullptr, timer);
  Check(!plat::IsWindowVisible(mainDialog), what + ": dialog hidden when the loop returns");
  Check(scriptAt == script.size(), what + ": the whole script played before the loop ended",
        std::to_string(scriptAt) + " of " + std::to_string(script.size()) + " steps");
  Check(idleTicks < 5, what + ": loop ended at once", std::to_string(idleTicks) + " idle ticks");
  return result;
}

void CheckModalLoop() {
  const int tab = VK_TAB, enter = VK_RETURN, space = VK_SPACE, escape = VK_ESCAPE;
  // Enter presses the focused button: "Two" has the id of IDCANCEL, "One" that of IDOK.
  CheckEq(7, RunScripted(buttonTwo, {{Act::kExpectFocus, 2}, {Act::kKey, enter}}, "Enter"),
          "Enter on the first focus (Two)");
  // Escape does nothing; the focus is back where it was; Tab goes round the
  // visible buttons in the order they were made, Shift+Tab backwards.
  CheckEq(7,
          RunScripted(buttonOne,
                      {{Act::kExpectFocus, 2}, {Act::kKey, escape}, {Act::kExpectFocus, 2}, {Act::kKey, tab},
                       {Act::kExpectFocus, 3}, {Act::kKey, enter}, {Act::kKey, tab}, {Act::kExpectFocus, 1},
                       {Act::kShiftDown, 0}, {Act::kKey, tab}, {Act::kKeysUp, 0}, {Act::kExpectFocus, 3},
                       {Act::kKey, tab}, {Act::kKey, tab}, {Act::kExpectFocus, 2}, {Act::kKey, space}},
                      "Tab"),
          "Escape, Tab, Shift+Tab, Enter and Space");
  Check(plat::GetWindowTextA(plainLabel) == "keys: none", "Keys pressed with no key held",
        plat::GetWindowTextA(plainLabel));
  // "One" shows the please-wait window, which takes the activation; the focus
  // is back on "One" once it is hidden.
  CheckEq(7,
          RunScripted(buttonTwo,
                      {{Act::kKey, tab}, {Act::kKey, tab}, {Act::kExpectFocus, 1}, {Act::kKey, enter},
                       {Act::kExpectFocus, 1}, {Act::kKey, tab}, {Act::kKey, enter}},
                      "One"),
          "One, then Two");
  Check(plat::GetWindowTextA(plainLabel) == "One pressed 1", "One pressed once", plat::GetWindowTextA(plainLabel));
  CheckEq(9,
          RunScripted(buttonTwo,
                      {{Act::kKey, tab}, {Act::kExpectFocus, 3}, {Act::kModifiersDown, 0}, {Act::kKey, enter},
                       {Act::kKeysUp, 0}, {Act::kKey, tab}, {Act::kExpectFocus, 4}, {Act::kKey, enter}},
                      "Keys"),
          "Shift+Ctrl+Alt on Keys reveals Secret");
  Check(plat::GetWindowTextA(plainLabel) == "keys: shift ctrl alt", "GetKeyState of the keys held",
        plat::GetWindowTextA(plainLabel));
  CheckEq(2, RunScripted(buttonTwo, {{Act::kCloseBox, 0}}, "close box"), "close box");
  CheckEq(2, RunScripted(buttonTwo, {{Act::kCloseFromThread, 0}}, "sent close"), "close sent from another thread");
  // WM_QUIT ends the loop with 2 and stays in the queue for the outer loop.
  PostQuitMessage(5);
  CheckEq(2, RunScripted(buttonTwo, {}, "WM_QUIT"), "WM_QUIT");
  MSG msg;
  Check(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 5, "WM_QUIT posted again");
}

int SelfCheck() {
  CreateWindows();
  if (!mainDialog || !waitWindow || !buttonSecret || !waitLabel) {
    Check(false, "windows made");
    return 1;
  }
  CheckWindowsAsMade();
  CheckModalLoop();
  std::printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--selfcheck") == 0) return SelfCheck();
  return RunDialog();
}
