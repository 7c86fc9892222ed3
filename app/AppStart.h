// Application-wide set-up shared by the program and the window tests.
#pragma once

class QApplication;
class QIcon;

// Maps the form font "MS UI Gothic" to an installed Japanese font, so that
// every text renders with real glyphs.
void InstallFormFont();

// The application icon ("RZ" on blue, drawn in forms/rzset.svg) in 16 x 16,
// 32 x 32 and 256 x 256.
QIcon AppIcon();
