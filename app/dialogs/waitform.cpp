#include "app/dialogs/waitform.h"

#include "app/dialogs/scaling.h"

TForm3 Form3;

namespace {
const int kLabel1Id = 301;
}

bool CreateForm3(int dpi) {
  Form3.Handle = plat::CreateDialogWindow("TForm3", "VQD Utility", plat::FrameKind::kToolWindow,
                                          ScaleToScreen(266, dpi), ScaleToScreen(56, dpi));
  if (Form3.Handle == 0) return false;
  plat::ControlStyle style;
  style.fontHeight = ScaleToScreen(-13, dpi);
  style.centred = true;
  plat::Rect r = ScaleRect(0, 16, 265, 21, dpi);
  Form3.Label1 = plat::CreateControl(Form3.Handle, plat::ControlKind::kLabel, kLabel1Id, "", r.left,
                                     r.top, r.Width(), r.Height(), style);
  CentreOnScreen(Form3.Handle);
  return Form3.Label1 != 0;
}

void ShowPleaseWait(const std::string& caption, const std::string& text) {
  plat::SetWindowTextA(Form3.Handle, caption);
  plat::SetWindowTextA(Form3.Label1, text);
  plat::ShowWindow(Form3.Handle, true);
  plat::DispatchPendingMessages();
}

void HidePleaseWait() {
  if (Form3.Handle != 0) plat::ShowWindow(Form3.Handle, false);
}
