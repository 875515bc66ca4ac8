// The main dialog of the interactive mode: one or two sentences about the
// installed and the carried driver, built from label pieces, and the buttons
// Update, Close and, behind "Advanced >>", Remove, Enable or Disable and the
// hidden Debug Log.
#pragma once

#include "platform/platform.h"

struct TForm1 {
  plat::WindowHandle Handle = 0;
  plat::WindowHandle Label1 = 0, Label2 = 0, Label3 = 0, Label4 = 0, Label6 = 0, Label7 = 0,
                     Label8 = 0, Label9 = 0, Label10 = 0, Label11 = 0, Label12 = 0;
  plat::WindowHandle Button1 = 0, Button2 = 0, Button3 = 0, Button4 = 0, Button5 = 0, Button6 = 0;
  int Button4Tag = 1;  // 1 while Button4 disables the driver, 0 while it enables it
  int CollapsedHeight = 180;
  int ExpandedHeight = 220;
};
extern TForm1 Form1;

// The buttons' modal results.
constexpr int kResultUpdate = 1;
constexpr int kResultCloseBox = 2;
constexpr int kResultClose = 3;
constexpr int kResultEnableDisable = 4;
constexpr int kResultRemove = 5;
constexpr int kResultDebugLog = 8;

// Creates the dialog hidden, collapsed and centred on the screen.
bool CreateForm1(int dpi);
// Shows the dialog modally and returns the chosen result.
int ShowForm1Modal();
