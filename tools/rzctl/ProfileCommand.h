// rzctl's profile commands: read a device's whole settings as a profile,
// compare a profile with a device, and write a profile to a device with the
// command sequence of its settings window. They run on an open link
// (theLink) with the target node set; the caller opens and closes it.
//
// Every command first identifies the target ("MD", "GS") and reads its
// settings the way the connection flow does before a settings window opens
// (without the wireless group), so that what a profile does not hold (the
// inputs and outputs a model lacks) stays as the device has it.
//
// A write checks the profile against the device's model and the window's
// validation before it sends any write command; it then sends the window's
// write commands in order, reports every command whose answer arrived when
// one fails, reads everything back with verify, and finally restarts an
// I/O unit ("RSET/") as its window does when it closes after a write.
#pragma once

#include "settings/ProfileDocument.h"

#include <ostream>
#include <string>

// Exit statuses of rzctl.
constexpr int CTL_EXIT_OK = 0;
constexpr int CTL_EXIT_NO_ANSWER = 1;  // no answer in time, or a device error answer
constexpr int CTL_EXIT_USAGE = 2;      // usage or connection error (lost link included)
constexpr int CTL_EXIT_DIFFERS = 3;    // diff or write --verify: a field differs
constexpr int CTL_EXIT_REFUSED = 4;    // profile refused; no write command was sent

// Loads and checks a profile file (envelope and the settings of its model),
// before any connection. CTL_EXIT_OK, or CTL_EXIT_REFUSED with the message
// on err.
int LoadCtlProfile(const std::string& path, ProfileJson* doc, ProfileModel* model, std::ostream& err);

// The commands. out gets the profile (read) or the differences (diff,
// write --verify), err every message. Each returns an exit status.
int RunProfileRead(const std::string& outputPath, std::ostream& out, std::ostream& err);
int RunProfileDiff(const ProfileJson& doc, const ProfileModel& model, std::ostream& out, std::ostream& err);
int RunProfileWrite(const ProfileJson& doc, const ProfileModel& model, bool verify, std::ostream& out,
                    std::ostream& err);
