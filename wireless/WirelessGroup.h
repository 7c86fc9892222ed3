// The wireless group record of the directly attached device and its wire
// forms ("GJ"/"gj", "GI"/"gi"). Toolkit-free.
#pragma once

#include <cstdint>
#include <string>

struct WirelessGroupRecord {
    std::int32_t nodeNumber = 0;    // 1 parent, 2..254 child
    std::int32_t channel = 0;       // 1..15
    std::int32_t commMode = 0;      // 0 高速, 1 中距離, 2 長距離
    std::uint32_t groupNumber = 0;  // 0xFFFFFFFF: no group yet / ask for a new one
    std::int32_t encryptionEnabled = 0;
    char groupPassword[8] = {};         // blank-padded, no terminator
    char encryptionPassword[32] = {};   // blank-padded, or all zero bytes
};

constexpr int WIRELESS_RECORD_IMAGE_SIZE = 60;
constexpr int GI_COMMAND_SIZE = 88;
constexpr std::uint32_t GROUP_NONE = 0xFFFFFFFFu;

// The process-wide record: filled by "gj", by a loaded file, by validation
// and by "gi"; the source of "GI" and of a saved file.
extern WirelessGroupRecord theWirelessGroup;

// 60-byte little-endian image (the plaintext of the settings file).
void RecordToImage(const WirelessGroupRecord& rec, unsigned char out[WIRELESS_RECORD_IMAGE_SIZE]);
WirelessGroupRecord RecordFromImage(const unsigned char in[WIRELESS_RECORD_IMAGE_SIZE]);

// The 88-byte "GI" command (87 bytes + terminator) plus a NUL at [88].
void BuildGroupWriteCommand(const WirelessGroupRecord& rec, char out[GI_COMMAND_SIZE + 1]);

// Sends "GJ" and waits; 0 or -1. Shows nothing.
int ReadWirelessGroup();
// Handler for "gj": parses a 16-byte reply into theWirelessGroup; always 1.
int OnWirelessGroupReply(const unsigned char* reply, int len);
// Handler for "gi": a 6-byte error answer is reported with
// ReportDeviceErrorAnswer ("設定送信エラー:GI-%02X"), which ends the write's
// wait at once as failed, and is not counted (0); otherwise the group number
// is taken and the reply counts (1).
int OnWirelessGroupWriteReply(const unsigned char* reply, int len);

// Length of a "gj" reply (mnemonic through terminator).
constexpr int GJ_REPLY_SIZE = 16;
// Length of the "gi" error answer.
constexpr int GI_ERROR_REPLY_SIZE = 6;
// Shortest "gi" that carries the group number (positions 4..11) and the
// terminator; shorter ones (other than the error answer) are not parsed.
constexpr int GI_MIN_GROUP_REPLY_SIZE = 13;

// "設定送信エラー:GI-%02X" with code.
std::string FormatGroupWriteError(int code);

// Outcome of SendWirelessGroupWrite.
constexpr int GW_OK = 0;
constexpr int GW_SEND_FAILED = -1;  // theLink.m_nError holds the reason
constexpr int GW_TIMEOUT = -2;

// The write without its message: clears theLink.m_nGroupWriteError, builds
// "GI" from theWirelessGroup, sends it and waits m_nTimeoutSec.
int SendWirelessGroupWrite();
