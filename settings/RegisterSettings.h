// Registers the gateway and serial converter windows with the main window's
// dispatch (SettingsKind::Gateway for model codes 13 and 14,
// SettingsKind::Serial for 15). Called once at start.
#pragma once

void RegisterSettingsWindows();
