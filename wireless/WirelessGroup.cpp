#include "wireless/WirelessGroup.h"

#include "forms/WirelessTexts.h"
#include "link/DeviceLink.h"
#include "link/ErrorAnswer.h"

#include <cstdio>
#include <cstring>

WirelessGroupRecord theWirelessGroup;

namespace {

void PutLe32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

std::uint32_t GetLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A small number as the single byte value + 0x20.
char Offset20(std::int32_t v) {
    return static_cast<char>(static_cast<unsigned char>(v + 0x20));
}

bool HasMnemonic(const unsigned char* reply, int len, char a, char b) {
    return reply != nullptr && len >= 3 && reply[0] == a && reply[1] == b;
}

}  // namespace

void RecordToImage(const WirelessGroupRecord& rec, unsigned char out[WIRELESS_RECORD_IMAGE_SIZE]) {
    PutLe32(out + 0, static_cast<std::uint32_t>(rec.nodeNumber));
    PutLe32(out + 4, static_cast<std::uint32_t>(rec.channel));
    PutLe32(out + 8, static_cast<std::uint32_t>(rec.commMode));
    PutLe32(out + 12, rec.groupNumber);
    PutLe32(out + 16, static_cast<std::uint32_t>(rec.encryptionEnabled));
    std::memcpy(out + 20, rec.groupPassword, sizeof rec.groupPassword);
    std::memcpy(out + 28, rec.encryptionPassword, sizeof rec.encryptionPassword);
}

WirelessGroupRecord RecordFromImage(const unsigned char in[WIRELESS_RECORD_IMAGE_SIZE]) {
    WirelessGroupRecord rec;
    rec.nodeNumber = static_cast<std::int32_t>(GetLe32(in + 0));
    rec.channel = static_cast<std::int32_t>(GetLe32(in + 4));
    rec.commMode = static_cast<std::int32_t>(GetLe32(in + 8));
    rec.groupNumber = GetLe32(in + 12);
    rec.encryptionEnabled = static_cast<std::int32_t>(GetLe32(in + 16));
    std::memcpy(rec.groupPassword, in + 20, sizeof rec.groupPassword);
    std::memcpy(rec.encryptionPassword, in + 28, sizeof rec.encryptionPassword);
    return rec;
}

void BuildGroupWriteCommand(const WirelessGroupRecord& rec, char out[GI_COMMAND_SIZE + 1]) {
    out[0] = 'G';
    out[1] = 'I';
    out[2] = Offset20(rec.channel);
    out[3] = Offset20(rec.commMode);
    // A parent always asks the device for a new group.
    const std::uint32_t group = rec.nodeNumber == 1 ? GROUP_NONE : rec.groupNumber;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(group));
    std::memcpy(out + 4, hex, 8);
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(rec.nodeNumber));
    const std::size_t n = std::strlen(hex);
    std::memcpy(out + 12, hex + n - 2, 2);  // last two digits, as the frame prefix does
    for (int i = 0; i < 8; ++i) {
        // A zero byte would end the frame early; a never-set password goes out blank.
        out[14 + i] = rec.groupPassword[i] != 0 ? rec.groupPassword[i] : ' ';
    }
    out[22] = Offset20(rec.encryptionEnabled);
    HexEncode32(reinterpret_cast<const unsigned char*>(rec.encryptionPassword), out + 23);
    out[87] = static_cast<char>(REPLY_TERMINATOR);
    out[88] = '\0';
}

int ReadWirelessGroup() {
    const char command[] = {'G', 'J', static_cast<char>(REPLY_TERMINATOR), '\0'};
    if (theLink.SendCommand(command) < 0) return -1;
    return theLink.WaitReplies(theLink.m_nTimeoutSec.load()) ? 0 : -1;
}

int OnWirelessGroupReply(const unsigned char* reply, int len) {
    if (!HasMnemonic(reply, len, 'g', 'j')) return 0;
    if (len != GJ_REPLY_SIZE) return 1;  // answered, but nothing to take
    WirelessGroupRecord& rec = theWirelessGroup;
    rec.nodeNumber = static_cast<std::int32_t>(ParseHexField(reply + 12, 2));
    rec.channel = reply[2] - 0x20;
    rec.commMode = reply[3] - 0x20;
    rec.encryptionEnabled = reply[14] - 0x20;
    rec.groupNumber = ParseHexField(reply + 4, 8);
    // The device never reports the passwords.
    std::memset(rec.groupPassword, ' ', sizeof rec.groupPassword);
    std::memset(rec.encryptionPassword, 0, sizeof rec.encryptionPassword);
    return 1;
}

std::string FormatGroupWriteError(int code) {
    char buf[64];
    std::snprintf(buf, sizeof buf, MSG_WG_WRITE_ERROR, static_cast<unsigned>(code & 0xFF));
    return buf;
}

int OnWirelessGroupWriteReply(const unsigned char* reply, int len) {
    if (!HasMnemonic(reply, len, 'g', 'i')) return 0;
    if (len == GI_ERROR_REPLY_SIZE) {
        // Not counted: the report ends the sender's wait as failed while the
        // operator sees the message; the presenter never blocks this thread.
        const int code = reply[4] - 0x20;
        ReportDeviceErrorAnswer(code, FormatGroupWriteError(code));
        return 0;
    }
    if (len < GI_MIN_GROUP_REPLY_SIZE) return 0;  // too short to carry a group number
    theWirelessGroup.groupNumber = ParseHexField(reply + 4, 8);
    return 1;
}

int SendWirelessGroupWrite() {
    theLink.m_nGroupWriteError.store(0);
    char command[GI_COMMAND_SIZE + 1];
    BuildGroupWriteCommand(theWirelessGroup, command);
    if (theLink.SendCommand(command) < 0) return GW_SEND_FAILED;
    return theLink.WaitReplies(theLink.m_nTimeoutSec.load()) ? GW_OK : GW_TIMEOUT;
}
