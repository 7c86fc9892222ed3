#include "tools/rzctl/CtlReplies.h"

#include "link/Catalogue.h"
#include "link/DeviceLink.h"

#include <cctype>
#include <cstdio>

bool ParseIdentityReply(const unsigned char* reply, int len, CtlIdentity* identity) {
    if (len < 3) return false;
    if (reply[0] == 'm' && reply[1] == 'd' && (len == 5 || len == 6)) {
        identity->haveModel = true;
        identity->code = reply[3] - 32;
        identity->ext = (identity->code == MODEL_EXTENDED && len == 6) ? reply[4] - 32 : 0;
        return true;
    }
    if (reply[0] == 'g' && reply[1] == 's' && len == 11) {
        identity->haveUid = true;
        identity->uid = ParseHexField(reply + 2, 8);
        return true;
    }
    return false;
}

std::optional<CtlNode> ParseSearchReply(const unsigned char* reply, int len) {
    if (len < 7 || len > 10 || reply[0] != 's' || reply[1] != 'n') return std::nullopt;
    CtlNode n;
    n.node = static_cast<int>(ParseHexField(reply + 2, 2));
    n.id = 0x2F - reply[4];
    n.code = reply[5] - 0x20;
    n.ext = n.code == MODEL_EXTENDED ? reply[6] - 0x20 : 0;
    if ((len == 9 || len == 10) && reply[len - 3] != 'N')
        n.rssi = static_cast<int>(ParseHexField(reply + len - 3, 2)) - 256;
    return n;
}

std::string FormatIdentity(const CtlIdentity& identity) {
    char uid[16];
    std::snprintf(uid, sizeof uid, "%08X", identity.uid);
    return "model: " + GetModelName(identity.code, identity.ext) + "\n" +
           "code: " + std::to_string(identity.code) + "\n" + "ext: " + std::to_string(identity.ext) + "\n" +
           "uid: " + uid + "\n";
}

std::string FormatNode(const CtlNode& node) {
    std::string line = "node " + std::to_string(node.node) + " model " + GetModelName(node.code, node.ext);
    line += " id " + (node.code < 13 ? std::to_string(node.id) : std::string("-"));
    line += " rssi " + (node.rssi ? std::to_string(*node.rssi) : std::string("-"));
    return line;
}

std::string UnescapeText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i + 4 <= text.size() && text.compare(i, 2, "\\x") == 0) {
            const std::string hex = text.substr(i + 2, 2);
            if (hex.size() == 2 && std::isxdigit(static_cast<unsigned char>(hex[0])) &&
                std::isxdigit(static_cast<unsigned char>(hex[1]))) {
                out.push_back(static_cast<char>(ParseHexField(hex.c_str(), 2)));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string EscapeBytes(const unsigned char* bytes, int len) {
    std::string out;
    for (int i = 0; i < len; ++i) {
        const unsigned char c = bytes[i];
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}
