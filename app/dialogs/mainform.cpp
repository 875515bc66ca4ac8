#include "app/dialogs/mainform.h"

#include "app/dialogs/scaling.h"

TForm1 Form1;

namespace {

struct Control {
  plat::WindowHandle TForm1::*field;
  plat::ControlKind kind;
  int id;
  int left, top, width, height;  // at 96 pixels per inch; labels size themselves
  const char* text;
  bool bold;
  uint32_t color;
  bool visible;
  int result;  // modal result of a button; 0 for none
};

using K = plat::ControlKind;
const uint32_t kNone = plat::kClrDefault;

// Buttons in their tab order: each joins the order as it is created.
const Control kControls[] = {
    {&TForm1::Label2, K::kLabel, 202, 10, 13, 0, 0, "", false, kNone, true, 0},
    {&TForm1::Label3, K::kLabel, 203, 104, 0, 0, 0, "", true, kNone, false, 0},
    {&TForm1::Label4, K::kLabel, 204, 144, 0, 0, 0, "", false, kNone, false, 0},
    {&TForm1::Label6, K::kLabel, 206, 184, 0, 0, 0, "", true, kNone, false, 0},
    {&TForm1::Label1, K::kLabel, 201, 10, 50, 0, 0, "", false, kNone, true, 0},
    {&TForm1::Label8, K::kLabel, 208, 232, 0, 0, 0, "", true, kNone, false, 0},
    {&TForm1::Label9, K::kLabel, 209, 280, 0, 0, 0, "", false, kNone, false, 0},
    {&TForm1::Label10, K::kLabel, 210, 320, 0, 0, 0, "", true, plat::kClrRed, false, 0},
    {&TForm1::Label11, K::kLabel, 211, 376, 0, 0, 0, "", false, kNone, false, 0},
    {&TForm1::Label12, K::kLabel, 212, 376, 16, 0, 0, "", false, kNone, false, 0},
    {&TForm1::Label7, K::kLabel, 207, 10, 119, 136, 26,
     "Select Advanced to enable, disable, or remove the driver.", false, plat::kClrBlue, true, 0},
    {&TForm1::Button1, K::kButton, 101, 310, 160, 102, 25, "Remove VQD Driver", false, kNone, true,
     kResultRemove},
    {&TForm1::Button2, K::kButton, 102, 338, 48, 75, 25, "Update", false, kNone, true, kResultUpdate},
    {&TForm1::Button3, K::kButton, 103, 338, 120, 75, 25, "Close", false, kNone, true, kResultClose},
    {&TForm1::Button4, K::kButton, 104, 195, 160, 100, 25, "Disable VQD Driver", false, kNone, true,
     kResultEnableDisable},
    {&TForm1::Button5, K::kButton, 105, 250, 120, 75, 25, "Advanced >>", false, kNone, true, 0},
    {&TForm1::Button6, K::kButton, 106, 104, 160, 75, 25, "Debug Log", false, kNone, false,
     kResultDebugLog},
};

int WindowHeight(plat::WindowHandle window) {
  plat::Rect r;
  return plat::GetWindowRect(window, &r) ? r.Height() : 0;
}

void SetWindowHeight(plat::WindowHandle window, int height) {
  plat::Rect r;
  if (plat::GetWindowRect(window, &r)) plat::MoveWindow(window, r.left, r.top, r.Width(), height);
}

bool ShiftCtrlAltDown() {
  return plat::GetKeyState(plat::kVkShift) < 0 && plat::GetKeyState(plat::kVkControl) < 0 &&
         plat::GetKeyState(plat::kVkMenu) < 0;
}

void ToggleAdvanced() {
  if (ShiftCtrlAltDown()) plat::ShowWindow(Form1.Button6, true);
  if (WindowHeight(Form1.Handle) == Form1.CollapsedHeight) {
    SetWindowHeight(Form1.Handle, Form1.ExpandedHeight);
    plat::SetWindowTextA(Form1.Button5, "Advanced <<");
    plat::ShowWindow(Form1.Label7, false);
  } else {
    SetWindowHeight(Form1.Handle, Form1.CollapsedHeight);
    plat::SetWindowTextA(Form1.Button5, "Advanced >>");
    plat::ShowWindow(Form1.Label7, true);
  }
}

int OnCommand(int id) {
  if (id == 105) {
    ToggleAdvanced();
    return 0;
  }
  for (const Control& c : kControls)
    if (c.id == id) return c.result;
  return 0;
}

// The bottom edge of a control plus the frame and a margin of 13 pixels.
int HeightBelow(plat::WindowHandle control, int frameHeight) {
  plat::Rect r;
  plat::GetWindowRect(control, &r);
  return frameHeight + r.bottom + 13;
}

}  // namespace

bool CreateForm1(int dpi) {
  Form1 = TForm1();
  Form1.Handle = plat::CreateDialogWindow("TForm1", "", plat::FrameKind::kDialog,
                                          ScaleToScreen(425, dpi), ScaleToScreen(195, dpi));
  if (Form1.Handle == 0) return false;
  for (const Control& c : kControls) {
    plat::ControlStyle style;
    style.fontHeight = ScaleToScreen(-11, dpi);
    style.bold = c.bold;
    style.textColor = c.color;
    style.wordWrap = c.width != 0 && c.kind == K::kLabel;
    style.visible = c.visible;
    plat::Rect r = ScaleRect(c.left, c.top, c.width, c.height, dpi);
    plat::WindowHandle h = plat::CreateControl(Form1.Handle, c.kind, c.id, c.text, r.left, r.top,
                                               r.Width(), r.Height(), style);
    if (h == 0) return false;
    Form1.*c.field = h;
    if (c.kind == K::kLabel && c.width == 0) SetLabelText(h, c.text);
  }
  if (dpi != 96) {
    plat::Rect window, client;
    plat::GetWindowRect(Form1.Handle, &window);
    plat::GetClientRect(Form1.Handle, &client);
    int frame = window.Height() - client.Height();
    Form1.CollapsedHeight = HeightBelow(Form1.Button5, frame);
    Form1.ExpandedHeight = HeightBelow(Form1.Button4, frame);
  }
  SetWindowHeight(Form1.Handle, Form1.CollapsedHeight);
  CentreOnScreen(Form1.Handle);
  return true;
}

int ShowForm1Modal() {
  // The hint stands in for the bottom row while that row is out of sight.
  bool advanced = (plat::GetWindowStyle(Form1.Button5) & plat::kWsVisible) != 0;
  plat::ShowWindow(Form1.Label7, WindowHeight(Form1.Handle) == Form1.CollapsedHeight && advanced);
  return plat::RunModalDialog(Form1.Handle, Form1.Button2, OnCommand);
}
