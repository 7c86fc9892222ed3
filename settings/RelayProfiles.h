// The gateway's and the serial converter's settings as the "settings" object
// of a device profile (settings/ProfileDocument.h). Both directions go
// through the window's own form values: a record is shown as the window
// would show it, and a profile is read into form values that the window's
// own validation checks, with its own messages. Toolkit-free.
//
// Gateway:          ipAddress, subnetMask, defaultGateway (dotted text),
//                   commandPort, destNode (0: none), serialPort (decimal).
// Serial converter: destNode; opMode, baudRate, dataBits, stopBits, parity,
//                   flowControl, modbusFilter, packetTimeout, extraBytes (the
//                   window's texts); filterLow, filterHigh, endChar1,
//                   endChar2 (hex as shown; end characters "" when unused);
//                   endCharEnabled.
// A choice the device reports outside its list is written as null: such a
// profile shows the device's state but is refused when written.
#pragma once

#include "settings/GatewayCore.h"
#include "settings/ProfileDocument.h"
#include "settings/SerialCore.h"

ProfileJson GatewayProfileSettings(const RelaySettings& rs);
// The form values of a profile's settings, checked field by field and then
// with the window's validation. False with the first problem.
bool GatewayFormFromProfile(const ProfileJson& settings, GatewayFormValues* form, ProfileError* error);

ProfileJson SerialProfileSettings(const RelaySettings& rs);
bool SerialFormFromProfile(const ProfileJson& settings, SerialFormValues* form, ProfileError* error);
