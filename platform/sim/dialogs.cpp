// The simulated dialog windows: top-level windows with a frame, their label
// and button controls, text measurement in "MS Sans Serif", the screen, the
// key state and a modal loop driven by a script of user actions.
#include <algorithm>
#include <cstdlib>

#include "platform/sim/machine.h"

using namespace sim::internal;
using plat::ControlKind;
using plat::FrameKind;
using plat::WindowHandle;
using sim::ControlState;
using sim::WindowState;

namespace {

struct FontRow {
  int height;  // LOGFONT lfHeight
  int bold;
  int tmHeight;
  int widths[224];  // characters 32 to 255
};
const FontRow kFontRows[] = {
#include "platform/sim/fontwidths.inc"
};
// The widths come from Wine (tools/fontwidths.c measures them). A bitmap
// font draws characters it lacks (here those below the blank) with its
// default character, 0x81 in "MS Sans Serif".
constexpr unsigned char kDefaultChar = 0x81;
constexpr int kBaseHeight = 11;  // the 8-point row other heights are scaled from

constexpr int kFrameBorder = 3;  // each side of a fixed dialog frame

// MulDiv: a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c) {
  long long product = static_cast<long long>(a) * b;
  long long half = std::llabs(static_cast<long long>(c)) / 2;
  long long rounded = (product < 0) != (c < 0) ? product - half : product + half;
  return static_cast<int>(rounded / c);
}

int CaptionHeight(FrameKind frame) {
  return MulDiv(frame == FrameKind::kDialog ? 19 : 16, M().screenDpi, 96);
}

bool Fail(uint32_t error) {
  M().lastError = error;
  return false;
}

// Look-ups by handle. The pointers are good only until the next window is
// created or destroyed, so nothing keeps them across a call of the program.
WindowState* TopLevel(WindowHandle window) {
  for (auto& w : M().windows)
    if (w.handle == window && window != 0) return &w;
  return nullptr;
}

struct Found {
  WindowState* window = nullptr;   // the top-level window, or the control's parent
  ControlState* control = nullptr;  // set when the handle is a control
};
Found Find(WindowHandle handle) {
  Found found;
  if (handle == 0) return found;
  for (auto& w : M().windows) {
    if (w.handle == handle) {
      found.window = &w;
      return found;
    }
    for (auto& c : w.controls)
      if (c.handle == handle) return Found{&w, &c};
  }
  return found;
}

const FontRow* Row(int height, bool bold) {
  for (const auto& row : kFontRows)
    if (row.height == height && (row.bold != 0) == bold) return &row;
  return nullptr;
}

bool SameStyle(const plat::ControlStyle& a, const plat::ControlStyle& b) {
  return a.fontHeight == b.fontHeight && a.bold == b.bold && a.textColor == b.textColor &&
         a.wordWrap == b.wordWrap && a.centred == b.centred && a.visible == b.visible;
}
bool SameRect(const plat::Rect& a, const plat::Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
bool SameControl(const ControlState& a, const ControlState& b) {
  return a.handle == b.handle && a.id == b.id && a.kind == b.kind && a.text == b.text &&
         SameRect(a.rect, b.rect) && a.visible == b.visible && a.enabled == b.enabled &&
         SameStyle(a.style, b.style) && a.tabIndex == b.tabIndex;
}
bool SameWindow(const WindowState& a, const WindowState& b) {
  return a.handle == b.handle && a.className == b.className && a.caption == b.caption &&
         a.frame == b.frame && SameRect(a.rect, b.rect) && SameRect(a.client, b.client) &&
         a.visible == b.visible && a.focus == b.focus && a.controls.size() == b.controls.size() &&
         std::equal(a.controls.begin(), a.controls.end(), b.controls.begin(), SameControl);
}

void ScriptError(const std::string& text) { M().dialogScriptErrors.push_back(text); }

// Why a click on control `id` of `dialog` does nothing; "" when it is taken.
std::string RefusedClick(const WindowState& dialog, int id) {
  auto it = std::find_if(dialog.controls.begin(), dialog.controls.end(),
                         [id](const ControlState& c) { return c.id == id; });
  if (it == dialog.controls.end()) return "no such control";
  if (it->kind != ControlKind::kButton) return "not a button";
  if (!it->visible) return "hidden";
  if (!it->enabled) return "disabled";
  return "";
}

}  // namespace

namespace sim::internal {

bool WindowExists(WindowHandle window) {
  return (window != 0 && window == M().markerWindow) || Find(window).window != nullptr;
}

bool DestroyDialogWindow(WindowHandle window) {
  Found found = Find(window);
  if (!found.window) return Fail(kErrorInvalidWindowHandle);
  if (found.control) {
    auto& controls = found.window->controls;
    if (found.window->focus == window) found.window->focus = 0;
    controls.erase(controls.begin() + (found.control - controls.data()));
    return true;
  }
  M().disabledWindows.erase(window);
  M().shownModal.erase(window);
  M().windows.erase(M().windows.begin() + (found.window - M().windows.data()));
  return true;
}

void RecordPaint() {
  std::vector<WindowState> visible;
  for (const auto& w : M().windows)
    if (w.visible) visible.push_back(w);
  // Before the first paint the screen showed nothing of the program.
  static const std::vector<WindowState> kNothing;
  const auto& last = M().paints.empty() ? kNothing : M().paints.back();
  if (visible.size() == last.size() && std::equal(visible.begin(), visible.end(), last.begin(), SameWindow))
    return;
  M().paints.push_back(std::move(visible));
}

}  // namespace sim::internal

namespace plat {

WindowHandle CreateDialogWindow(const std::string& className, const std::string& caption, FrameKind frame,
                                int clientWidth, int clientHeight) {
  if (Failing("CreateDialogWindow", className)) return 0;
  WindowState w;
  w.handle = M().nextWindow;
  M().nextWindow += 4;
  w.className = className;
  w.caption = caption;
  w.frame = frame;
  w.client = Rect{0, 0, clientWidth, clientHeight};
  w.rect = Rect{0, 0, clientWidth + 2 * kFrameBorder, clientHeight + 2 * kFrameBorder + CaptionHeight(frame)};
  M().windows.push_back(w);
  return w.handle;
}

WindowHandle CreateControl(WindowHandle dialog, ControlKind kind, int id, const std::string& text, int x, int y,
                           int width, int height, const ControlStyle& style) {
  if (Failing("CreateControl", text)) return 0;
  // The simulation keeps controls only on dialog windows.
  WindowState* parent = TopLevel(dialog);
  if (!parent) {
    Fail(kErrorInvalidWindowHandle);
    return 0;
  }
  ControlState c;
  c.handle = M().nextWindow;
  M().nextWindow += 4;
  c.id = id;
  c.kind = kind;
  c.text = text;
  c.rect = Rect{x, y, x + width, y + height};
  c.visible = style.visible;
  c.style = style;
  if (kind == ControlKind::kButton) {
    c.tabIndex = 0;
    for (const auto& other : parent->controls) c.tabIndex = std::max(c.tabIndex, other.tabIndex + 1);
  }
  parent->controls.push_back(c);
  return c.handle;
}

bool SetWindowTextA(WindowHandle window, const std::string& text) {
  if (Failing("SetWindowTextA", text)) return false;
  Found found = Find(window);
  if (!found.window) return Fail(kErrorInvalidWindowHandle);
  (found.control ? found.control->text : found.window->caption) = text;
  return true;
}

std::string GetWindowTextA(WindowHandle window) {
  Found found = Find(window);
  if (!found.window) {
    Fail(kErrorInvalidWindowHandle);
    return "";
  }
  return found.control ? found.control->text : found.window->caption;
}

// Like Windows: the result is whether the window was visible before.
bool ShowWindow(WindowHandle window, bool show) {
  Found found = Find(window);
  if (!found.window) return Fail(kErrorInvalidWindowHandle);
  bool& visible = found.control ? found.control->visible : found.window->visible;
  bool was = visible;
  visible = show;
  return was;
}

// Like Windows: a control counts as visible only while its dialog is too.
bool IsWindowVisible(WindowHandle window) {
  Found found = Find(window);
  if (!found.window) return Fail(kErrorInvalidWindowHandle);
  return found.window->visible && (!found.control || found.control->visible);
}

// Only the two flags the program reads; 0 for a missing window.
uint32_t GetWindowStyle(WindowHandle window) {
  Found found = Find(window);
  if (!found.window) {
    Fail(kErrorInvalidWindowHandle);
    return 0;
  }
  bool visible = found.control ? found.control->visible : found.window->visible;
  bool enabled = found.control ? found.control->enabled : M().disabledWindows.count(window) == 0;
  return (visible ? kWsVisible : 0) | (enabled ? 0 : kWsDisabled);
}

// Like Windows: the result is whether the window was disabled before.
bool EnableWindow(WindowHandle window, bool enable) {
  Found found = Find(window);
  if (!found.window) return Fail(kErrorInvalidWindowHandle);
  if (found.control) {
    bool wasDisabled = !found.control->enabled;
    found.control->enabled = enable;
    return wasDisabled;
  }
  bool wasDisabled = M().disabledWindows.count(window) != 0;
  if (enable)
    M().disabledWindows.erase(window);
  else
    M().disabledWindows.insert(window);
  return wasDisabled;
}

bool IsWindowEnabled(WindowHandle window) {
  Found found = Find(window);
  if (!found.window) return Fail(kErrorInvalidWindowHandle);
  return found.control ? found.control->enabled : M().disabledWindows.count(window) == 0;
}

bool GetWindowRect(WindowHandle window, Rect* rect) {
  Found found = Find(window);
  if (!found.window) return Fail(kErrorInvalidWindowHandle);
  *rect = found.control ? found.control->rect : found.window->rect;
  return true;
}

bool GetClientRect(WindowHandle window, Rect* rect) {
  Found found = Find(window);
  if (!found.window) return Fail(kErrorInvalidWindowHandle);
  const Rect& r = found.control ? found.control->rect : found.window->client;
  *rect = Rect{0, 0, r.Width(), r.Height()};
  return true;
}

bool MoveWindow(WindowHandle window, int x, int y, int width, int height) {
  if (Failing("MoveWindow")) return false;
  Found found = Find(window);
  if (!found.window) return Fail(kErrorInvalidWindowHandle);
  if (found.control) {
    found.control->rect = Rect{x, y, x + width, y + height};
    return true;
  }
  WindowState& w = *found.window;
  w.rect = Rect{x, y, x + width, y + height};
  // The frame stays; the client area takes what is left of the new size.
  w.client = Rect{0, 0, std::max(0, width - 2 * kFrameBorder),
                  std::max(0, height - 2 * kFrameBorder - CaptionHeight(w.frame))};
  return true;
}

Size MeasureText(WindowHandle control, const std::string& text) {
  Found found = Find(control);
  if (!found.window) {
    Fail(kErrorInvalidWindowHandle);
    return Size{};
  }
  // Only the controls carry a font of their own.
  if (!found.control) {
    Fail(kErrorInvalidParameter);
    return Size{};
  }
  const ControlStyle& style = found.control->style;
  int height = std::abs(style.fontHeight);
  const FontRow* row = Row(style.fontHeight, style.bold);
  int scale = kBaseHeight;
  if (!row) {  // no font of this size: the 8-point one scaled
    row = Row(-kBaseHeight, style.bold);
    if (!row) row = Row(-kBaseHeight, false);
    scale = height;
  }
  int sum = 0;
  for (unsigned char ch : text) sum += row->widths[(ch < 32 ? kDefaultChar : ch) - 32];
  return Size{MulDiv(sum, scale, kBaseHeight), MulDiv(row->tmHeight, scale, kBaseHeight)};
}

int GetScreenDpi() { return M().screenDpi; }

int GetSystemMetrics(int index) {
  if (index == kSmCxScreen) return M().screenWidth;
  if (index == kSmCyScreen) return M().screenHeight;
  return 0;
}

int16_t GetKeyState(int virtualKey) {
  bool modifier = virtualKey == kVkShift || virtualKey == kVkControl || virtualKey == kVkMenu;
  return modifier && M().keysHeld ? static_cast<int16_t>(-128) : 0;  // 0xFF80: down, not toggled
}

int RunModalDialog(WindowHandle dialog, WindowHandle focus, CommandHandler onCommand) {
  if (Failing("RunModalDialog")) return 0;
  WindowState* w = TopLevel(dialog);
  if (!w) {
    Fail(kErrorInvalidWindowHandle);
    return 0;
  }
  // A dialog gets its first focus from the caller and afterwards keeps the
  // control that had it when it was left.
  if (M().shownModal.insert(dialog).second) {
    Found target = Find(focus);
    w->focus = target.control && target.window == w ? focus : 0;
  }
  w->visible = true;
  M().dialogViews.push_back(*w);
  int result = 0;
  while (result == 0) {
    if (M().script.empty()) {
      ScriptError("dialog \"" + w->caption + "\" waits with no action left; closed by its close box");
      result = 2;
      break;
    }
    sim::UserAction action = M().script.front();
    M().script.erase(M().script.begin());
    if (action.controlId == sim::kCloseBox) {
      if (w->frame == FrameKind::kDialog) {
        result = 2;
      } else {
        ScriptError("close box of \"" + w->caption + "\": the window has none");
      }
      continue;
    }
    std::string refused = RefusedClick(*w, action.controlId);
    if (!refused.empty()) {
      ScriptError("click on control " + std::to_string(action.controlId) + " of \"" + w->caption + "\": " + refused);
      continue;
    }
    for (const auto& c : w->controls)
      if (c.id == action.controlId) {
        w->focus = c.handle;
        break;
      }
    bool outerKeys = M().keysHeld;  // a dialog run from within a click's handler
    M().keysHeld = action.shiftCtrlAlt;
    result = onCommand(action.controlId);
    M().keysHeld = outerKeys;
    w = TopLevel(dialog);  // the handler may have created or destroyed windows
    if (!w) return result;
    if (result == 0) M().dialogViews.push_back(*w);
  }
  w->visible = false;
  return result;
}

}  // namespace plat

namespace sim {

const ControlState* WindowState::Control(plat::WindowHandle control) const {
  for (const auto& c : controls)
    if (c.handle == control) return &c;
  return nullptr;
}

std::vector<WindowState> Windows() { return M().windows; }
void SetScreenDpi(int dpi) { M().screenDpi = dpi; }
void SetScreenSize(int width, int height) {
  M().screenWidth = width;
  M().screenHeight = height;
}
void ScriptDialog(const std::vector<UserAction>& actions) {
  M().script.insert(M().script.end(), actions.begin(), actions.end());
}
const std::vector<WindowState>& DialogViews() { return M().dialogViews; }
const std::vector<std::string>& DialogScriptErrors() { return M().dialogScriptErrors; }
const std::vector<std::vector<WindowState>>& Paints() { return M().paints; }

}  // namespace sim
