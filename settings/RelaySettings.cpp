#include "settings/RelaySettings.h"

#include <cstring>

char OffsetChar(int value) {
    unsigned char c = static_cast<unsigned char>((value + 0x20) & 0xFF);
    if (c == 0 || c == REPLY_TERMINATOR) c = 0x20;
    return static_cast<char>(c);
}

static void PutField(std::string& frame, int pos, const std::string& text) {
    frame.replace(static_cast<std::size_t>(pos), text.size(), text);
}

static std::string Hex2(int value) { return FormatField(value, 2, true, true); }

bool ParseRelayAnswer(const unsigned char* reply, int len, RelaySettings& rs, bool withFilter) {
    if (len != RELAY_FRAME_SIZE) return false;
    rs.m_nBaudIndex = OffsetValue(reply[2]);
    rs.m_nCharFormat = OffsetValue(reply[3]);
    rs.m_nDestNode = static_cast<std::int32_t>(ParseHexField(reply + 4, 2));
    rs.m_nOpMode = OffsetValue(reply[6]);
    rs.m_nFlowControl = OffsetValue(reply[7]);
    rs.m_nTimeoutIndex = OffsetValue(reply[8]);
    rs.m_nPacketFlags = OffsetValue(reply[9]);
    rs.m_nEndChar1 = static_cast<std::int32_t>(ParseHexField(reply + 10, 2));
    rs.m_nEndChar2 = static_cast<std::int32_t>(ParseHexField(reply + 12, 2));
    if (withFilter) {
        rs.m_nFilterMode = OffsetValue(reply[14]);
        rs.m_nFilterLow = static_cast<std::int32_t>(ParseHexField(reply + 15, 2));
        rs.m_nFilterHigh = static_cast<std::int32_t>(ParseHexField(reply + 17, 2));
    }
    return true;
}

std::string BuildRelayCommand(const RelaySettings& rs) {
    std::string frame = "SP";
    frame.append(17, ' ');
    frame.push_back(static_cast<char>(REPLY_TERMINATOR));
    frame[2] = OffsetChar(rs.m_nBaudIndex);
    frame[3] = OffsetChar(rs.m_nCharFormat);
    PutField(frame, 4, Hex2(rs.m_nDestNode));
    frame[6] = OffsetChar(rs.m_nOpMode);
    frame[7] = OffsetChar(rs.m_nFlowControl);
    frame[8] = OffsetChar(rs.m_nTimeoutIndex);
    frame[9] = OffsetChar(rs.m_nPacketFlags);
    PutField(frame, 10, Hex2(rs.m_nEndChar1));
    PutField(frame, 12, Hex2(rs.m_nEndChar2));
    frame[14] = OffsetChar(rs.m_nFilterMode);
    PutField(frame, 15, Hex2(rs.m_nFilterLow));
    PutField(frame, 17, Hex2(rs.m_nFilterHigh));
    return frame;
}

std::string BuildGatewayRelayCommand(const RelaySettings& rs) {
    std::string frame = "SP";
    frame.append(13, ' ');
    frame += "0000";
    frame.push_back(static_cast<char>(REPLY_TERMINATOR));
    PutField(frame, 4, Hex2(rs.m_nDestNode));
    frame[6] = OffsetChar(rs.m_nOpMode);
    PutField(frame, 10, "0000");
    return frame;
}

std::uint32_t AddressFromOctets(unsigned o0, unsigned o1, unsigned o2, unsigned o3) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(o0), static_cast<unsigned char>(o1),
                                    static_cast<unsigned char>(o2), static_cast<unsigned char>(o3)};
    std::uint32_t stored;
    std::memcpy(&stored, bytes, 4);
    return stored;
}

static void Octets(std::uint32_t stored, unsigned char out[4]) { std::memcpy(out, &stored, 4); }

std::string FormatAddress(std::uint32_t stored) {
    unsigned char o[4];
    Octets(stored, o);
    return std::to_string(o[0]) + "." + std::to_string(o[1]) + "." + std::to_string(o[2]) + "." +
           std::to_string(o[3]);
}

bool ParseAddress(const std::string& text, std::uint32_t* stored) {
    unsigned octets[4];
    std::size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        std::size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
        }
        std::size_t digits = pos - start;
        if (digits == 0 || value > 255) return false;
        if (digits > 1 && text[start] == '0') return false;
        octets[part] = value;
    }
    if (pos != text.size()) return false;
    *stored = AddressFromOctets(octets[0], octets[1], octets[2], octets[3]);
    return true;
}

std::uint32_t AddressFromHex(const unsigned char* d) {
    return AddressFromOctets(ParseHexField(d, 2), ParseHexField(d + 2, 2), ParseHexField(d + 4, 2),
                             ParseHexField(d + 6, 2));
}

std::string AddressToHex(std::uint32_t stored) {
    unsigned char o[4];
    Octets(stored, o);
    std::string text;
    for (unsigned char b : o) text += Hex2(b);
    return text;
}
