#include "tools/rzctl/CtlReplies.h"

#include "link/Catalogue.h"
#include "link/DeviceLink.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>

namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}
}  // namespace

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
    line += " id " + (node.HasId() ? std::to_string(node.id) : std::string("-"));
    line += " rssi " + (node.rssi ? std::to_string(*node.rssi) : std::string("-"));
    return line;
}


std::string FormatNodeCsv(const NodeAnswer& node) {
    return std::to_string(node.node) + "," + CsvField(GetModelName(node.model, node.ext)) + "," +
           std::to_string(node.model) + "," + std::to_string(node.ext) + "," +
           (node.HasId() ? std::to_string(node.id) : std::string()) + "," +
           (node.rssi ? std::to_string(*node.rssi) : std::string());
}

std::string FormatNodesJson(const std::vector<NodeAnswer>& nodes) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const NodeAnswer& n : nodes) {
        nlohmann::ordered_json o;
        o["node"] = n.node;
        o["model"] = GetModelName(n.model, n.ext);
        o["code"] = n.model;
        o["ext"] = n.ext;
        o["id"] = n.HasId() ? nlohmann::ordered_json(n.id) : nlohmann::ordered_json(nullptr);
        o["rssi"] = n.rssi ? nlohmann::ordered_json(*n.rssi) : nlohmann::ordered_json(nullptr);
        list.push_back(std::move(o));
    }
    // A name the catalogue formats from a device's bytes is plain ASCII; replace
    // anything else rather than fail.
    return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
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
