#include "settings/GatewayCore.h"

#include "forms/SettingsTexts.h"
#include "settings/SerialCore.h"
#include "wireless/WirelessGroup.h"

#include <cstdio>
#include <cstring>

unsigned char m_abMacAddress[6] = {};

bool ParseLanAnswer(const unsigned char* reply, int len, RelaySettings& rs) {
    if (len != GK_ANSWER_SIZE) return false;
    rs.m_nCommandPort = static_cast<std::int32_t>(ParseHexField(reply + 2, 4));
    rs.m_nSerialPort = static_cast<std::int32_t>(ParseHexField(reply + 6, 4));
    rs.m_dwIpAddress = AddressFromHex(reply + 11);
    rs.m_dwSubnetMask = AddressFromHex(reply + 19);
    rs.m_dwGateway = AddressFromHex(reply + 27);
    return true;
}

bool ParseMacAnswer(const unsigned char* reply, int len, unsigned char mac[6]) {
    if (len != MR_ANSWER_SIZE || std::memcmp(reply + 2, "01A", 3) != 0) return false;
    for (int i = 0; i < 6; ++i) mac[i] = static_cast<unsigned char>(ParseHexField(reply + 6 + 2 * i, 2));
    return true;
}

std::string FormatMac(const unsigned char mac[6]) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return buf;
}

std::string BuildLanCommand(const RelaySettings& rs) {
    std::string frame = "GE";
    frame += FormatField(rs.m_nCommandPort, 4, true, true);
    frame += FormatField(rs.m_nSerialPort, 4, true, true);
    frame += ' ';
    frame += AddressToHex(rs.m_dwIpAddress);
    frame += AddressToHex(rs.m_dwSubnetMask);
    frame += AddressToHex(rs.m_dwGateway);
    frame.push_back(static_cast<char>(REPLY_TERMINATOR));
    return frame;
}

static bool Is(const unsigned char* reply, const char* mnemonic) {
    return reply[0] == static_cast<unsigned char>(mnemonic[0]) && reply[1] == static_cast<unsigned char>(mnemonic[1]);
}

int GatewayReplyHandler(void* /*ctx*/, const unsigned char* reply, int len) {
    if (len < 3) return 0;
    if (Is(reply, "gi")) return OnWirelessGroupWriteReply(reply, len);
    if (Is(reply, "gj")) {
        if (len == 16) OnWirelessGroupReply(reply, len);
        return 1;
    }
    // A 6-byte "sp" is the device's error answer, of the same form as the
    // serial converter's: a rejected relay write must not be reported as written.
    if (Is(reply, "sp")) return OnRelayWriteReply(reply, len);
    if (Is(reply, "ge")) return 1;
    if (Is(reply, "gk")) {
        ParseLanAnswer(reply, len, TheRelaySettings());
        return 1;
    }
    if (Is(reply, "mr")) return ParseMacAnswer(reply, len, m_abMacAddress) ? 1 : 0;
    if (Is(reply, "sj")) {
        ParseRelayAnswer(reply, len, TheRelaySettings(), false);
        return 1;
    }
    return 0;
}

int ReadGatewaySettings() {
    if (theLink.m_nNode.load() == 0 && ReadWirelessGroup() < 0) return -1;
    for (const char* mnemonic : {"SJ", "GK", "MR01A6"}) {
        if (SendAndWait(Terminated(mnemonic), nullptr, nullptr) < 0) return -1;
    }
    return 0;
}

static std::string RightAligned5(int value) { return FormatField(value, 5, false, false); }

GatewayFormValues GatewayFormFromSettings(const RelaySettings& rs) {
    GatewayFormValues form;
    form.destNode = rs.m_nDestNode == 0 ? std::string() : std::to_string(rs.m_nDestNode);
    form.commandPort = RightAligned5(rs.m_nCommandPort);
    form.serialPort = RightAligned5(rs.m_nSerialPort);
    form.ipAddress = FormatAddress(rs.m_dwIpAddress);
    form.subnetMask = FormatAddress(rs.m_dwSubnetMask);
    form.defaultGateway = FormatAddress(rs.m_dwGateway);
    return form;
}

const char* ValidateGatewayForm(const GatewayFormValues& form, RelaySettings& rs) {
    rs.m_nDestNode = static_cast<std::int32_t>(ReadNumericField(form.destNode, 3, false));
    rs.m_nOpMode = 0;
    rs.m_nCommandPort = static_cast<std::int32_t>(ReadNumericField(form.commandPort, 5, false));
    rs.m_nSerialPort = static_cast<std::int32_t>(ReadNumericField(form.serialPort, 5, false));
    auto outside = [](std::int32_t port) { return port < 1024 || port > 65535; };
    if (outside(rs.m_nCommandPort) || outside(rs.m_nSerialPort)) return MSG_PORT_RANGE;
    if (rs.m_nCommandPort == rs.m_nSerialPort) return MSG_PORTS_EQUAL;
    if (rs.m_nDestNode < 0 || rs.m_nDestNode > 254) return MSG_DEST_NODE_RANGE;
    const std::pair<const std::string*, std::uint32_t*> addresses[] = {
        {&form.ipAddress, &rs.m_dwIpAddress},
        {&form.subnetMask, &rs.m_dwSubnetMask},
        {&form.defaultGateway, &rs.m_dwGateway},
    };
    for (const auto& [text, field] : addresses) {
        std::uint32_t stored;
        if (!ParseAddress(TrimText(*text), &stored)) return MSG_NETWORK_ADDRESS;
        *field = stored;
    }
    return nullptr;
}

std::vector<std::string> GatewayWriteCommands(const RelaySettings& rs) {
    return {BuildGatewayRelayCommand(rs), BuildLanCommand(rs)};
}

int WriteGatewaySettings(const RelaySettings& rs, const SendFailedFn& onSendFailed, StepFailure* failure) {
    return SendAndWaitEach(GatewayWriteCommands(rs), onSendFailed, failure);
}
