// Registers the settings windows with the main window's dispatch
// (SettingsKind::IoUnit for model codes 1-4, 8 and 9, SettingsKind::Gateway
// for 13 and 14, SettingsKind::Serial for 15). Called once at start.
#pragma once

void RegisterSettingsWindows();
