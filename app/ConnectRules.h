// Toolkit-free rules of the main window: the version text, the checks of the
// target inputs with their exact messages, and the node search texts. The
// replies its handler understands are parsed in link/MainReplies.h.
#pragma once

#include "link/MainReplies.h"

#include <string>

// Busy flag and phase of the main window.
constexpr int BUSY_IDLE = 0;
constexpr int BUSY_RUNNING = 1;
constexpr int BUSY_ABORT = 2;

constexpr int PHASE_NONE = 0;
constexpr int PHASE_IDENTIFY = 1;
constexpr int PHASE_OPEN_WINDOW = 2;
constexpr int PHASE_NODE_SEARCH = 3;
// The device kind's settings read runs on a worker; its completion opens the
// window.
constexpr int PHASE_READ_SETTINGS = 4;

constexpr int WATCHDOG_LIMIT = 3;  // ticks after which a lost completion aborts
constexpr int SEARCH_NODE_ALL = 255;

// "Version a.bc" when d is 0, else "Version a.bcd".
std::string FormatVersionText(int a, int b, int c, int d);

// The C library's decimal conversion of a trimmed form text: optional sign,
// digits up to the first other character, no digits give 0. Saturates
// instead of overflowing.
long ParseDecimalText(const std::string& text);

// The time-out field: nullptr and *seconds set when 5..120, else the message.
const char* CheckTimeoutText(const std::string& text, int* seconds);

// What the operator chose on the main form, as plain values. A port is the
// identity (device path) of the selected or typed entry; empty: none.
struct TargetForm {
    bool remote = false;
    bool lan = false;
    bool usb = false;
    std::string directPort;
    std::string gatewayPort;
    std::string address;
    std::string port;
    std::string node;
};

// The link settings that the check fills in as it goes (also when it then
// fails), and its verdict.
struct TargetResult {
    int node = -1;  // 1..254, 0 for a direct connection or a search, -1 invalid
    int mode = 0;   // LINK_SERIAL or LINK_TCP
    bool setComPort = false;
    std::string comPort;
    bool setHost = false;
    std::string host;
    bool setPort = false;
    std::string port;
    const char* message = nullptr;  // the one message shown when invalid
};

TargetResult CheckTarget(const TargetForm& form, bool forSearch);

// The message of a link that did not open with error err: a LAN gateway that
// did not answer, a serial port (path port) that this user may not open, or
// else the error code.
std::string OpenFailureMessage(int mode, int err, const std::string& port);

// The four column texts of a search row.
struct NodeRowTexts {
    std::string node, model, id, rssi;
};
NodeRowTexts FormatNodeRow(const NodeAnswer& answer);

// Status text of the search window with dots " ." groups.
std::string SearchStatusText(int dots);
// The next dots count: 1..20, wrapping after 20.
int NextSearchDots(int dots);
