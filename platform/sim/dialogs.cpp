// The simulated dialog windows: top-level windows with a frame, their label
// and button controls, text measurement in "MS Sans Serif" and the screen.
// The user at them (the modal loop and its script, the paints) is in user.cpp.
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

const FontRow* Row(int height, bool bold) {
  for (const auto& row : kFontRows)
    if (row.height == height && (row.bold != 0) == bold) return &row;
  return nullptr;
}

}  // namespace

namespace sim::internal {

bool Fail(uint32_t error) {
  M().lastError = error;
  return false;
}

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

WindowState* TopLevel(WindowHandle window) {
  Found found = Find(window);
  return found.control ? nullptr : found.window;
}

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
}  // namespace sim
