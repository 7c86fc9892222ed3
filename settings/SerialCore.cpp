#include "settings/SerialCore.h"

#include "forms/SettingsTexts.h"
#include "link/ErrorAnswer.h"
#include "wireless/WirelessGroup.h"

#include <cstdio>

SerialEnabling SerialEnablingFor(int opMode, int filterMode, bool endCharEnabled) {
    SerialEnabling e;
    if (opMode == 0) {
        e.packetising = true;
        e.endChars = endCharEnabled;
        e.extraBytes = endCharEnabled;
    } else if (opMode == 1 || opMode == 2) {
        e.filterChoices = true;
        e.filterRange = filterMode == 1 || filterMode == 2;
    }
    return e;
}

// Position of value in a group of choices, or NO_CHOICE.
static int ChoiceOf(int value, std::initializer_list<int> values) {
    int index = 0;
    for (int v : values) {
        if (v == value) return index;
        ++index;
    }
    return NO_CHOICE;
}

static int InRange(int value, int count) { return value >= 0 && value < count ? value : NO_CHOICE; }

static std::string Hex2(int value) { return FormatField(value, 2, true, true); }

SerialFormValues SerialFormFromSettings(const RelaySettings& rs) {
    SerialFormValues f;
    f.destNode = rs.m_nDestNode == 0 ? std::string() : std::to_string(rs.m_nDestNode);
    f.opMode = InRange(rs.m_nOpMode, 3);
    f.baudIndex = InRange(rs.m_nBaudIndex, SERIAL_BAUD_COUNT);
    f.dataBits = rs.m_nCharFormat & 1;
    f.stopBits = (rs.m_nCharFormat >> 1) & 1;
    f.parity = ChoiceOf(rs.m_nCharFormat & 0x0C, {0, 8, 4});
    f.flowControl = InRange(rs.m_nFlowControl, 3);
    f.filterMode = InRange(rs.m_nFilterMode, 3);
    f.filterLow = Hex2(rs.m_nFilterLow);
    f.filterHigh = Hex2(rs.m_nFilterHigh);
    f.timeoutIndex = InRange(rs.m_nTimeoutIndex, SERIAL_TIMEOUT_COUNT);
    int count = rs.m_nPacketFlags & 3;
    f.endCharEnabled = count != 0;
    if (count >= 1) f.endChar1 = Hex2(rs.m_nEndChar1);
    if (count >= 2) f.endChar2 = Hex2(rs.m_nEndChar2);
    f.extraBytes = ChoiceOf(rs.m_nPacketFlags & 0x0C, {0, 4, 8});
    return f;
}

const char* ValidateSerialForm(SerialFormValues& form, const RelaySettings& device, RelaySettings& out) {
    out = RelaySettings{};
    out.m_nDestNode = static_cast<std::int32_t>(ReadNumericField(form.destNode, 3, false));
    // The command carries two hex digits: a larger number would be cut.
    if (out.m_nDestNode < 0 || out.m_nDestNode > 254) return MSG_DEST_NODE_RANGE;

    out.m_nOpMode = form.opMode != NO_CHOICE ? form.opMode : device.m_nOpMode;
    out.m_nBaudIndex = form.baudIndex != NO_CHOICE ? form.baudIndex : device.m_nBaudIndex;
    int dataBits = form.dataBits != NO_CHOICE ? form.dataBits : (device.m_nCharFormat & 1);
    int stopBits = form.stopBits != NO_CHOICE ? form.stopBits << 1 : (device.m_nCharFormat & 2);
    static const int kParity[] = {0, 8, 4};
    int parity = form.parity >= 0 && form.parity < 3 ? kParity[form.parity] : (device.m_nCharFormat & 0x0C);
    out.m_nCharFormat = dataBits | stopBits | parity;
    out.m_nFlowControl = form.flowControl != NO_CHOICE ? form.flowControl : device.m_nFlowControl;
    if (dataBits == 1 && stopBits == 0 && parity == 0) return MSG_CHAR_FORMAT_7N1;

    out.m_nFilterMode = form.filterMode != NO_CHOICE ? form.filterMode : device.m_nFilterMode;
    out.m_nFilterLow = static_cast<std::int32_t>(ReadNumericField(form.filterLow, 2, true));
    out.m_nFilterHigh = static_cast<std::int32_t>(ReadNumericField(form.filterHigh, 2, true));
    auto outside = [](std::int32_t a) { return a < 0x01 || a > 0xF7; };
    if (outside(out.m_nFilterLow) || outside(out.m_nFilterHigh)) return MSG_FILTER_RANGE;
    if (out.m_nFilterLow > out.m_nFilterHigh) return MSG_FILTER_ORDER;

    out.m_nTimeoutIndex = form.timeoutIndex != NO_CHOICE ? form.timeoutIndex : device.m_nTimeoutIndex;

    if (form.endCharEnabled) {
        std::string first = TrimText(form.endChar1);
        std::string second = TrimText(form.endChar2);
        if (first.empty() && !second.empty()) {
            first = second;
            second.clear();
            form.endChar1 = first;
            form.endChar2.clear();
        }
        int count = first.empty() ? 0 : (second.empty() ? 1 : 2);
        out.m_nPacketFlags += count;
        out.m_nEndChar1 = static_cast<std::int32_t>(ParseHexField(first.c_str(), 2));
        out.m_nEndChar2 = static_cast<std::int32_t>(ParseHexField(second.c_str(), 2));
    }
    static const int kExtra[] = {0, 4, 8};
    out.m_nPacketFlags +=
        form.extraBytes >= 0 && form.extraBytes < 3 ? kExtra[form.extraBytes] : (device.m_nPacketFlags & 0x0C);
    return nullptr;
}

static bool Is(const unsigned char* reply, const char* mnemonic) {
    return reply[0] == static_cast<unsigned char>(mnemonic[0]) && reply[1] == static_cast<unsigned char>(mnemonic[1]);
}

int SerialReplyHandler(void* /*ctx*/, const unsigned char* reply, int len) {
    if (len < 3) return 0;
    if (Is(reply, "gi")) return OnWirelessGroupWriteReply(reply, len);
    if (Is(reply, "gj")) {
        if (len == 16) OnWirelessGroupReply(reply, len);
        return 1;
    }
    if (Is(reply, "sj")) {
        RelaySettings& rs = TheRelaySettings();
        if (ParseRelayAnswer(reply, len, rs, true) && rs.m_nFilterLow == 0 && rs.m_nFilterHigh == 0) {
            rs.m_nFilterLow = 0x01;
            rs.m_nFilterHigh = 0xF7;
        }
        return 1;
    }
    if (Is(reply, "sp")) return OnRelayWriteReply(reply, len);
    return 0;
}

int OnRelayWriteReply(const unsigned char* reply, int len) {
    if (len != 6) return 1;
    int code = reply[2];
    char text[64];
    std::snprintf(text, sizeof text, FMT_SP_ERROR, code);
    ReportDeviceErrorAnswer(code, text);
    return 0;
}

int ReadSerialSettings() {
    if (theLink.m_nNode.load() == 0 && ReadWirelessGroup() < 0) return -1;
    return SendAndWait(Terminated("SJ"), nullptr, nullptr);
}

int WriteSerialSettings(const RelaySettings& rs, const SendFailedFn& onSendFailed, StepFailure* failure) {
    return SendAndWait(BuildRelayCommand(rs), onSendFailed, failure);
}
