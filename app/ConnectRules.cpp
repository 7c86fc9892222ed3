#include "app/ConnectRules.h"

#include "forms/AppTexts.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"

#include <cctype>
#include <climits>
#include <cstdio>

std::string FormatVersionText(int a, int b, int c, int d) {
    char buf[96];
    if (d == 0)
        std::snprintf(buf, sizeof buf, TXT_VERSION_3, a, b, c);
    else
        std::snprintf(buf, sizeof buf, TXT_VERSION_4, a, b, c, d);
    return buf;
}

long ParseDecimalText(const std::string& raw) {
    const std::string text = TrimText(raw);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const int digit = text[i] - '0';
        if (value > (LONG_MAX - digit) / 10) {
            value = LONG_MAX;  // saturate; any such value is out of every range
            break;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

const char* CheckTimeoutText(const std::string& text, int* seconds) {
    const long value = ParseDecimalText(text);
    if (value < 5 || value > 120) return MSG_TIMEOUT_RANGE;
    *seconds = static_cast<int>(value);
    return nullptr;
}

TargetResult CheckTarget(const TargetForm& form, bool forSearch) {
    TargetResult r;
    if (!form.remote || (!form.usb && !form.lan)) {
        r.mode = LINK_SERIAL;
        if (form.directPort.empty()) {
            r.message = MSG_SELECT_TARGET;
            return r;
        }
        r.setComPort = true;
        r.comPort = form.directPort;
        r.node = 0;
        return r;
    }
    if (form.usb) {
        r.mode = LINK_SERIAL;
        if (form.gatewayPort.empty()) {
            r.message = MSG_SELECT_TARGET;
            return r;
        }
        r.setComPort = true;
        r.comPort = form.gatewayPort;
    } else {
        r.mode = LINK_TCP;
        r.setHost = true;
        r.host = TrimText(form.address);
        if (r.host.empty()) {
            r.message = MSG_LAN_NO_ADDRESS;
            return r;
        }
        r.setPort = true;
        r.port = TrimText(form.port);
        if (r.port.empty()) {
            r.message = MSG_LAN_NO_PORT;
            return r;
        }
    }
    if (forSearch) {
        r.node = 0;
        return r;
    }
    const std::string node = TrimText(form.node);
    const long value = ParseDecimalText(node);
    if (node.empty() || value < 1 || value > 254) {
        r.message = MSG_BAD_NODE;
        return r;
    }
    r.node = static_cast<int>(value);
    return r;
}

std::optional<NodeAnswer> ParseNodeAnswer(const unsigned char* reply, int len) {
    if (len < 7 || len > 10) return std::nullopt;
    NodeAnswer a;
    a.node = static_cast<int>(ParseHexField(reply + 2, 2));
    a.id = 0x2F - reply[4];
    a.model = reply[5] - 0x20;
    // The extension byte exists only in answers of length 8 (no signal
    // strength) and 10 (signal strength after it); at length 7 position 6 is
    // the terminator, at length 9 the first signal-strength digit.
    const bool hasExt = len == 8 || len == 10;
    a.ext = (a.model == MODEL_EXTENDED && hasExt) ? reply[6] - 0x20 : 0;
    if (len == 9 || len == 10) {
        const unsigned char* field = reply + (len - 3);
        if (field[0] != 'N') a.rssi = static_cast<int>(ParseHexField(field, 2)) - 256;
    }
    return a;
}

NodeRowTexts FormatNodeRow(const NodeAnswer& a) {
    NodeRowTexts t;
    t.node = std::to_string(a.node);
    t.model = GetModelName(a.model, a.ext);
    if (a.model < 13) t.id = std::to_string(a.id);
    if (a.rssi) {
        char buf[32];
        std::snprintf(buf, sizeof buf, TXT_SEARCH_RSSI, *a.rssi);
        t.rssi = buf;
    }
    return t;
}

std::string SearchStatusText(int dots) {
    std::string text = TXT_SEARCH_STATUS_HEAD;
    for (int i = 0; i < dots; ++i) text += TXT_SEARCH_STATUS_DOT;
    text += TXT_SEARCH_STATUS_TAIL;
    return text;
}

int NextSearchDots(int dots) {
    ++dots;
    return dots > 20 ? 1 : dots;
}

MainReply ParseMainReply(const unsigned char* reply, int len) {
    MainReply r;
    if (len < 3) return r;
    const unsigned char a = reply[0], b = reply[1];
    if (a == 'g' && b == 's') {
        r.kind = MainReply::UnitId;
        r.counts = true;
        if (len == 11) {
            r.parsed = true;
            r.uid = ParseHexField(reply + 2, 8);
        }
    } else if (a == 'm' && b == 'd') {
        r.kind = MainReply::ModelCode;
        r.counts = true;
        if (len == 5 || len == 6) {
            r.parsed = true;
            r.modelValue = reply[2];
            r.modelCode = reply[3] - 32;
            if (r.modelCode == MODEL_EXTENDED && len == 6) r.modelExt = reply[4] - 32;
        }
    } else if (a == 's' && b == 'n') {
        r.kind = MainReply::Node;
        r.counts = true;
        if (auto node = ParseNodeAnswer(reply, len)) {
            r.parsed = true;
            r.node = *node;
        }
    } else {
        r.kind = MainReply::Other;
    }
    return r;
}
