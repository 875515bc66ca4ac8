// The dialog windows on the real system: plain top-level windows of the
// program's own classes with STATIC and BUTTON children, one CreateWindowExA
// per control, and a modal loop around IsDialogMessageA.
#include <windows.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace {

HWND W(plat::WindowHandle w) { return reinterpret_cast<HWND>(w); }
plat::WindowHandle H(HWND w) { return reinterpret_cast<plat::WindowHandle>(w); }

constexpr DWORD kDialogStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;  // no WS_THICKFRAME: fixed
constexpr DWORD kToolStyle = WS_OVERLAPPED | WS_CAPTION;                // no WS_SYSMENU: no icons
constexpr DWORD kToolExStyle = WS_EX_TOOLWINDOW;

struct DialogWindow {
  plat::FrameKind frame = plat::FrameKind::kDialog;
  HWND lastFocus = nullptr;  // the control with the focus when the window was last left
  HWND defaultButton = nullptr;
  plat::CommandHandler onCommand = nullptr;  // set while the modal loop runs
  int result = 0;
};

std::map<HWND, DialogWindow> dialogWindows;
std::set<std::string> dialogClasses;              // registered by us, upper case
std::map<std::pair<int, bool>, HFONT> dialogFonts;  // (height, bold); live as long as the process

DialogWindow* FindDialog(HWND window) {
  auto it = dialogWindows.find(window);
  return it == dialogWindows.end() ? nullptr : &it->second;
}

bool IsButton(HWND window) {
  char cls[16];
  return window && ::GetClassNameA(window, cls, sizeof cls) && ::lstrcmpiA(cls, "BUTTON") == 0;
}

HWND FocusedChild(HWND dialog) {
  HWND focus = ::GetFocus();
  return focus && ::IsChild(dialog, focus) ? focus : nullptr;
}

// As a dialog box does, the push button with the focus is drawn as the
// default button, the others as plain ones.
void ShowFocusAsDefault(HWND dialog, DialogWindow* d) {
  HWND focus = FocusedChild(dialog);
  HWND button = IsButton(focus) ? focus : nullptr;
  if (button == d->defaultButton) return;
  if (d->defaultButton && ::IsWindow(d->defaultButton))
    ::SendMessageA(d->defaultButton, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  if (button) ::SendMessageA(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  d->defaultButton = button;
}

// The control's own visibility: while the dialog is hidden, IsWindowVisible
// of every control is false.
bool CanTakeFocus(HWND control) {
  return control && ::IsWindow(control) && (::GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) &&
         ::IsWindowEnabled(control);
}

// A message sent to the window (not posted) is handled inside GetMessageA,
// which then waits on for a posted one: post one so that the loop looks at
// the result at once.
void EndModalLoop(HWND window, DialogWindow* d, int result) {
  d->result = result;
  ::PostMessageA(window, WM_NULL, 0, 0);
}

LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogWindow* d = FindDialog(window);
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      // A label of its own colour keeps it + 1 in its user data (0: none).
      HDC dc = reinterpret_cast<HDC>(wParam);
      LONG_PTR colour = ::GetWindowLongPtrA(reinterpret_cast<HWND>(lParam), GWLP_USERDATA);
      ::SetTextColor(dc, colour ? static_cast<COLORREF>(colour - 1) : ::GetSysColor(COLOR_BTNTEXT));
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_COMMAND: {
      // Only a click of one of our buttons: IsDialogMessageA and accelerators
      // send IDOK and IDCANCEL without a button of that id behind them.
      HWND control = reinterpret_cast<HWND>(lParam);
      if (d && d->onCommand && d->result == 0 && HIWORD(wParam) == BN_CLICKED && IsButton(control) &&
          ::GetParent(control) == window) {
        int result = d->onCommand(LOWORD(wParam));
        d = FindDialog(window);  // the handler may have destroyed windows
        if (d && d->onCommand && result != 0) EndModalLoop(window, d, result);
      }
      return 0;
    }
    case WM_CLOSE:
      // The close box or Alt+F4: a dialog ends its modal loop with 2; a tool
      // window without border icons cannot be closed at all.
      if (d && d->frame == plat::FrameKind::kDialog && d->onCommand && d->result == 0) EndModalLoop(window, d, 2);
      return 0;
    case WM_ACTIVATE:
      // A plain window does not keep its child's focus across deactivation.
      if (d && LOWORD(wParam) == WA_INACTIVE) {
        if (HWND focus = FocusedChild(window)) d->lastFocus = focus;
      } else if (d && CanTakeFocus(d->lastFocus)) {
        ::SetFocus(d->lastFocus);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      dialogWindows.erase(window);
      break;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterDialogClass(const std::string& className) {
  std::string key = className;  // class names are compared without regard to case
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (dialogClasses.count(key)) return true;
  WNDCLASSA wc;
  std::memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = DialogWindowProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = className.c_str();
  if (!::RegisterClassA(&wc)) return false;  // also when someone else owns the name
  dialogClasses.insert(key);
  return true;
}

HFONT DialogFont(int height, bool bold) {
  auto key = std::make_pair(height, bold);
  auto it = dialogFonts.find(key);
  if (it != dialogFonts.end()) return it->second;
  HFONT font = ::CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             "MS Sans Serif");
  if (font) dialogFonts[key] = font;
  return font;
}

}  // namespace

namespace plat {

int MessageBoxA(WindowHandle owner, const std::string& text, const std::string& caption, uint32_t type) {
  return ::MessageBoxA(W(owner), text.c_str(), caption.c_str(), type);
}

WindowHandle CreateDialogWindow(const std::string& className, const std::string& caption, FrameKind frame,
                                int clientWidth, int clientHeight) {
  if (!RegisterDialogClass(className)) return 0;
  DWORD style = frame == FrameKind::kDialog ? kDialogStyle : kToolStyle;
  DWORD exStyle = frame == FrameKind::kDialog ? 0 : kToolExStyle;
  RECT r = {0, 0, clientWidth, clientHeight};
  ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  int width = r.right - r.left, height = r.bottom - r.top;
  // Centred on the screen until its owner places it.
  int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  HWND window = ::CreateWindowExA(exStyle, className.c_str(), caption.c_str(), style, x, y, width, height, nullptr,
                                  nullptr, ::GetModuleHandleA(nullptr), nullptr);
  if (!window) return 0;
  dialogWindows[window].frame = frame;
  return H(window);
}

WindowHandle CreateControl(WindowHandle dialog, ControlKind kind, int id, const std::string& text, int x, int y,
                           int width, int height, const ControlStyle& style) {
  DWORD ws = WS_CHILD | (style.visible ? WS_VISIBLE : 0);
  const char* cls;
  if (kind == ControlKind::kButton) {
    cls = "BUTTON";
    ws |= BS_PUSHBUTTON | WS_TABSTOP;  // the tab order is the order of creation (z-order)
  } else {
    cls = "STATIC";
    ws |= SS_NOPREFIX | (style.centred ? SS_CENTER : style.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
  }
  HFONT font = DialogFont(style.fontHeight, style.bold);
  if (!font) return 0;
  HWND control = ::CreateWindowExA(0, cls, text.c_str(), ws, x, y, width, height, W(dialog),
                                   reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), ::GetModuleHandleA(nullptr),
                                   nullptr);
  if (!control) return 0;
  ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (kind == ControlKind::kLabel && style.textColor != kClrDefault)
    ::SetWindowLongPtrA(control, GWLP_USERDATA, static_cast<LONG_PTR>(style.textColor & 0xFFFFFF) + 1);
  return H(control);
}

bool SetWindowTextA(WindowHandle window, const std::string& text) {
  return ::SetWindowTextA(W(window), text.c_str()) != FALSE;
}

std::string GetWindowTextA(WindowHandle window) {
  int length = ::GetWindowTextLengthA(W(window));
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = ::GetWindowTextA(W(window), &text[0], length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

bool ShowWindow(WindowHandle window, bool show) { return ::ShowWindow(W(window), show ? SW_SHOW : SW_HIDE) != FALSE; }
bool IsWindowVisible(WindowHandle window) { return ::IsWindowVisible(W(window)) != FALSE; }
bool EnableWindow(WindowHandle window, bool enable) { return ::EnableWindow(W(window), enable) != FALSE; }
bool IsWindowEnabled(WindowHandle window) { return ::IsWindowEnabled(W(window)) != FALSE; }
uint32_t GetWindowStyle(WindowHandle window) {
  return static_cast<uint32_t>(::GetWindowLongA(W(window), GWL_STYLE)) & (WS_VISIBLE | WS_DISABLED);
}

bool GetWindowRect(WindowHandle window, Rect* rect) {
  RECT r;
  if (!::GetWindowRect(W(window), &r)) return false;
  if (::GetWindowLongA(W(window), GWL_STYLE) & WS_CHILD)
    ::MapWindowPoints(nullptr, ::GetParent(W(window)), reinterpret_cast<POINT*>(&r), 2);
  *rect = Rect{r.left, r.top, r.right, r.bottom};
  return true;
}

bool GetClientRect(WindowHandle window, Rect* rect) {
  RECT r;
  if (!::GetClientRect(W(window), &r)) return false;
  *rect = Rect{r.left, r.top, r.right, r.bottom};
  return true;
}

bool MoveWindow(WindowHandle window, int x, int y, int width, int height) {
  return ::MoveWindow(W(window), x, y, width, height, TRUE) != FALSE;
}

Size MeasureText(WindowHandle control, const std::string& text) {
  Size size;
  HDC dc = ::GetDC(W(control));
  if (!dc) return size;
  HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageA(W(control), WM_GETFONT, 0, 0));
  HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
  SIZE extent = {0, 0};
  TEXTMETRICA tm;
  if (::GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &extent)) size.cx = extent.cx;
  if (::GetTextMetricsA(dc, &tm)) size.cy = tm.tmHeight;
  if (old) ::SelectObject(dc, old);
  ::ReleaseDC(W(control), dc);
  return size;
}

int GetScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  if (!screen) return 96;
  int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

int GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }
int16_t GetKeyState(int virtualKey) { return ::GetKeyState(virtualKey); }

int RunModalDialog(WindowHandle dialog, WindowHandle focus, CommandHandler onCommand) {
  HWND window = W(dialog);
  DialogWindow* d = FindDialog(window);
  if (!d || !onCommand) return 0;
  d->onCommand = onCommand;
  d->result = 0;
  HWND first = CanTakeFocus(d->lastFocus) ? d->lastFocus : W(focus);
  ::ShowWindow(window, SW_SHOW);
  ::SetForegroundWindow(window);
  ::SetActiveWindow(window);
  if (first) ::SetFocus(first);
  d->lastFocus = first;
  ShowFocusAsDefault(window, d);

  MSG msg;
  while ((d = FindDialog(window)) && d->result == 0) {
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // WM_QUIT is meant for the outermost loop: leave it in the queue.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      d->result = 2;
      break;
    }
    if (got == -1) {
      d->result = 2;
      break;
    }
    bool ours = msg.hwnd == window || ::IsChild(window, msg.hwnd);
    if (ours && msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
      // Enter presses the focused button; Escape does nothing. Left to
      // IsDialogMessageA, a window that is no dialog box gets IDOK and
      // IDCANCEL for them, whatever control may carry those ids.
      HWND button = FocusedChild(window);
      if (msg.wParam == VK_RETURN && IsButton(button) && ::IsWindowEnabled(button))
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
      continue;
    }
    if (!::IsDialogMessageA(window, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if ((d = FindDialog(window))) ShowFocusAsDefault(window, d);
  }
  if (!d) return 2;  // destroyed under the loop
  if (HWND f = FocusedChild(window)) d->lastFocus = f;
  int result = d->result;
  d->onCommand = nullptr;
  ::ShowWindow(window, SW_HIDE);
  return result;
}

}  // namespace plat
