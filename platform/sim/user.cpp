// The user at the simulated dialog windows: the key state, the modal loop
// driven by a script of user actions, and what the screen showed each time
// the program let its windows paint.
#include <algorithm>

#include "platform/sim/machine.h"

using namespace sim::internal;
using plat::ControlKind;
using plat::FrameKind;
using plat::WindowHandle;
using sim::ControlState;
using sim::WindowState;

namespace {

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

void ScriptDialog(const std::vector<UserAction>& actions) {
  M().script.insert(M().script.end(), actions.begin(), actions.end());
}
const std::vector<WindowState>& DialogViews() { return M().dialogViews; }
const std::vector<std::string>& DialogScriptErrors() { return M().dialogScriptErrors; }
const std::vector<std::vector<WindowState>>& Paints() { return M().paints; }

}  // namespace sim
