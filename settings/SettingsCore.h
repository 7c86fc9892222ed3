// Pieces shared by the settings windows that need no toolkit: the window
// title, the identity line and the command step (send, then wait).
#pragma once

#include <functional>
#include <string>
#include <vector>

// "%s の設定", or "%s ( node : %d ) の設定" when the target is remote
// (targetNode 1..254) or, for a direct target, when the device's own group
// node number is 1..254.
std::string FormatSettingsTitle(const std::string& modelName, int targetNode, int groupNodeNumber);

// A list, radio group or table row without a selection is NO_CHOICE: the
// device sent a value outside the group, and the form shows nothing. A choice
// left that way writes back the value the device reported.
constexpr int NO_CHOICE = -1;

// "UID : %08X".
std::string FormatStatusLine(unsigned uid);

// Called when a send fails, with the link's error code (the windows show
// "通信エラー : %d").
using SendFailedFn = std::function<void(int error)>;

// What went wrong in a command step: the link error of the call that failed.
struct StepFailure {
    int error = 0;
};

// Sends one command (NUL-terminated, ending in the terminator) and waits for
// its answer with the link's time-out. 0, or -1 with *failure->error taken
// right after the failing call; onSendFailed runs for a failed send only,
// never for one refused after a stop request. A device error answer or a
// stop request ends the wait at once: -1 with IsEndedOnPurpose(error).
int SendAndWait(const std::string& command, const SendFailedFn& onSendFailed, StepFailure* failure);

// SendAndWait for each command in turn, stopping at the first failure; 0 or
// -1. *answered (may be null) is the number of commands whose answers
// arrived: those before the failing one.
int SendAndWaitEach(const std::vector<std::string>& commands, const SendFailedFn& onSendFailed, StepFailure* failure,
                    int* answered = nullptr);
