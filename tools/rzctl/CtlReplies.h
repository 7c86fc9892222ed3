// Reply parsing and output formatting of rzctl, kept apart from main() so
// that the tests can drive them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct CtlIdentity {
    bool haveModel = false;
    int code = 0;
    int ext = 0;
    bool haveUid = false;
    std::uint32_t uid = 0;
};

struct CtlNode {
    int node = 0;
    int code = 0;
    int ext = 0;
    int id = 0;
    std::optional<int> rssi;  // dBm
};

// "md" (5 or 6 bytes with the terminator) and "gs" (11); false for others.
bool ParseIdentityReply(const unsigned char* reply, int len, CtlIdentity* identity);
// "sn" of 7..10 bytes; nullopt for other lengths.
std::optional<CtlNode> ParseSearchReply(const unsigned char* reply, int len);

// The four lines of "identify".
std::string FormatIdentity(const CtlIdentity& identity);
// "node <n> model <name> id <id or -> rssi <dBm or ->"
std::string FormatNode(const CtlNode& node);

// "\xHH" escapes in a command text become bytes; other text is kept.
std::string UnescapeText(const std::string& text);
// Printable ASCII as is, every other byte as \xHH.
std::string EscapeBytes(const unsigned char* bytes, int len);
