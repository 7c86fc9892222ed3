// Output formatting of rzctl, kept apart from main() so that the tests can
// drive it. Replies are parsed by the rules the main window uses too
// (link/MainReplies.h), so the client and the desktop tool read them alike.
#pragma once

#include "link/MainReplies.h"
#include "link/Trace.h"

#include <cstdint>
#include <string>
#include <vector>

struct CtlIdentity {
    bool haveModel = false;
    int code = 0;
    int ext = 0;
    bool haveUid = false;
    std::uint32_t uid = 0;
};

// Takes what an "md" or "gs" reply carries; false for anything else.
bool TakeIdentity(const MainReply& reply, CtlIdentity* identity);

// The four lines of "identify".
std::string FormatIdentity(const CtlIdentity& identity);
// "node <n> model <name> id <id or -> rssi <dBm or ->"
std::string FormatNode(const NodeAnswer& node);
// The search as CSV: the header line, then one line per node (the ID empty
// for gateways and serial converters, the signal strength empty when the
// answer has none).
inline constexpr const char* NODE_CSV_HEADER = "node,model,code,ext,id,rssi";
std::string FormatNodeCsv(const NodeAnswer& node);
// The search as JSON: an array of {"node", "model", "code", "ext", "id",
// "rssi"} objects, null where the CSV is empty.
std::string FormatNodesJson(const std::vector<NodeAnswer>& nodes);

// "\xHH" escapes in a command text become bytes; other text is kept.
std::string UnescapeText(const std::string& text);
