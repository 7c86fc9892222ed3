// Application-wide set-up shared by the program and the window tests.
#pragma once

class QApplication;

// Maps the form font "MS UI Gothic" to an installed Japanese font, so that
// every text renders with real glyphs.
void InstallFormFont();
