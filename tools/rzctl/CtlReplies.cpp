#include "tools/rzctl/CtlReplies.h"

#include "link/Catalogue.h"
#include "link/DeviceLink.h"

#include <cctype>
#include <cstdio>

bool TakeIdentity(const MainReply& reply, CtlIdentity* identity) {
    if (!reply.parsed) return false;
    if (reply.kind == MainReply::ModelCode) {
        identity->haveModel = true;
        identity->code = reply.modelCode;
        identity->ext = reply.modelExt;
        return true;
    }
    if (reply.kind == MainReply::UnitId) {
        identity->haveUid = true;
        identity->uid = reply.uid;
        return true;
    }
    return false;
}

std::string FormatIdentity(const CtlIdentity& identity) {
    char uid[16];
    std::snprintf(uid, sizeof uid, "%08X", identity.uid);
    return "model: " + GetModelName(identity.code, identity.ext) + "\n" +
           "code: " + std::to_string(identity.code) + "\n" + "ext: " + std::to_string(identity.ext) + "\n" +
           "uid: " + uid + "\n";
}

std::string FormatNode(const NodeAnswer& node) {
    std::string line = "node " + std::to_string(node.node) + " model " + GetModelName(node.model, node.ext);
    line += " id " + (node.model < 13 ? std::to_string(node.id) : std::string("-"));
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
