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

std::string OpenFailureMessage(int mode, int err, const std::string& port) {
    if (mode == LINK_TCP && err == LINK_E_TIMEOUT) return MSG_GATEWAY_UNREACHABLE;
    if (mode == LINK_SERIAL && err == LINK_E_NO_PERMISSION) {
        std::string text = MSG_PORT_NO_PERMISSION;
        return text.replace(text.find("%s"), 2, port);
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, MSG_CONNECT_ERROR_CODE, err);
    return buf;
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

NodeRowTexts FormatNodeRow(const NodeAnswer& a) {
    NodeRowTexts t;
    t.node = std::to_string(a.node);
    t.model = GetModelName(a.model, a.ext);
    if (a.HasId()) t.id = std::to_string(a.id);
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
