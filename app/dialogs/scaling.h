// The dialogs are laid out for 96 pixels per inch. On a screen with another
// resolution every position, size and font height is scaled by the screen's
// pixels per inch over 96, as the system's own dialogs grow with large fonts.
#pragma once

#include "platform/platform.h"

// MulDiv(value, dpi, 96), rounded half away from zero.
int ScaleToScreen(int value, int dpi);

// A control's design rectangle on the screen: its left and top scaled, and its
// right and bottom edges scaled too, so that touching controls still touch.
plat::Rect ScaleRect(int left, int top, int width, int height, int dpi);

// Puts a top-level window in the middle of the screen.
void CentreOnScreen(plat::WindowHandle window);

// A label that sizes itself to its text: sets the text, then its width and
// height to what the text takes in the label's own font.
void SetLabelText(plat::WindowHandle label, const std::string& text);

// Places label `b` after label `a`: b continues a's line.
void PlaceAfter(plat::WindowHandle b, plat::WindowHandle a);
// Places label `b` at the start of the line below label `a`.
void PlaceBelow(plat::WindowHandle b, plat::WindowHandle a);
