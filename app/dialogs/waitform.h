// The please-wait window: a caption and one centred line of text, shown
// without being modal while an operation runs. It has no border icons, so the
// user cannot close it; whoever shows it hides it again.
#pragma once

#include <string>

#include "platform/platform.h"

struct TForm3 {
  plat::WindowHandle Handle = 0;
  plat::WindowHandle Label1 = 0;
};
extern TForm3 Form3;

bool CreateForm3(int dpi);
// Sets the caption and the text, shows the window and lets it paint once.
void ShowPleaseWait(const std::string& caption, const std::string& text);
void HidePleaseWait();
