#pragma once

namespace kelm {

// Display scaling. Every pixel constant of the user interface is given for
// 96 DPI and multiplied by a scale of 1, 1.25, 1.5 or 2, truncated toward zero.

// The screen's logical pixels per inch, read once per process on first use.
int ScreenDpiX();
int ScreenDpiY();

// 1.0 below 120 DPI, 1.25 below 144, 1.5 below 192, otherwise 2.0.
double DpiScale(int dpi);

// n at 96 DPI scaled for the given dpi, truncated.
int ScaleForDpi(int n, int dpi);
// n scaled for the screen: horizontally by ScreenDpiX, vertically by ScreenDpiY.
int ScaleX(int n);
int ScaleY(int n);

// Which of the four sizes of a picture fits a vertical DPI: 0 below 120,
// 1 for 120-143, 2 for 144-191, 3 for 192 and above.
int DpiSizeIndex(int dpi);
// The resource id of a picture for a vertical DPI, given the id of its 96-DPI size.
int DpiImageIdForDpi(int firstId, int dpi);
// The same for the screen.
int DpiImageId(int firstId);

} // namespace kelm
