#include "app/dialogs/scaling.h"

#include <cstdint>
#include <cstdlib>

int ScaleToScreen(int value, int dpi) {
  int64_t product = static_cast<int64_t>(value) * dpi;
  int64_t half = 48;  // rounds halves away from zero, as MulDiv does
  return static_cast<int>((product + (product < 0 ? -half : half)) / 96);
}

plat::Rect ScaleRect(int left, int top, int width, int height, int dpi) {
  plat::Rect r;
  r.left = ScaleToScreen(left, dpi);
  r.top = ScaleToScreen(top, dpi);
  r.right = ScaleToScreen(left + width, dpi);
  r.bottom = ScaleToScreen(top + height, dpi);
  return r;
}

void CentreOnScreen(plat::WindowHandle window) {
  plat::Rect r;
  if (!plat::GetWindowRect(window, &r)) return;
  int x = (plat::GetSystemMetrics(plat::kSmCxScreen) - r.Width()) / 2;
  int y = (plat::GetSystemMetrics(plat::kSmCyScreen) - r.Height()) / 2;
  plat::MoveWindow(window, x, y, r.Width(), r.Height());
}

void SetLabelText(plat::WindowHandle label, const std::string& text) {
  plat::SetWindowTextA(label, text);
  plat::Rect r;
  if (!plat::GetWindowRect(label, &r)) return;
  plat::Size size = plat::MeasureText(label, text);
  plat::MoveWindow(label, r.left, r.top, size.cx, size.cy);
}

void PlaceAfter(plat::WindowHandle b, plat::WindowHandle a) {
  plat::Rect ra, rb;
  if (!plat::GetWindowRect(a, &ra) || !plat::GetWindowRect(b, &rb)) return;
  plat::MoveWindow(b, ra.left + ra.Width(), ra.top, rb.Width(), rb.Height());
}

void PlaceBelow(plat::WindowHandle b, plat::WindowHandle a) {
  plat::Rect ra, rb;
  if (!plat::GetWindowRect(a, &ra) || !plat::GetWindowRect(b, &rb)) return;
  plat::MoveWindow(b, ra.left, ra.top + ra.Height(), rb.Width(), rb.Height());
}
