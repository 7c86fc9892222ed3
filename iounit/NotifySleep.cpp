#include "iounit/NotifySleep.h"

#include "forms/IoUnitTexts.h"

static int OffsetValueFrom(int base, unsigned char c) { return static_cast<int>(c) - base; }

bool ParseNotifyAnswer(const unsigned char* reply, int len, NotifyParams* out) {
    if (len != SK_ANSWER_SIZE) return false;
    out->notifyInterval = OffsetValueFrom(NOTIFY_INTERVAL_BASE, reply[SK_POS_INTERVAL]);
    for (int i = 0; i < DEST_NODE_COUNT; ++i) {
        out->destNode[i] = static_cast<std::int32_t>(ParseHexField(reply + SK_POS_DEST + 2 * i, 2));
    }
    out->chatterFilter = OffsetValueFrom(0x20, reply[SK_POS_CHATTER]);
    out->retryCount = OffsetValueFrom(0x20, reply[SK_POS_RETRY]);
    return true;
}

bool ParseSleepAnswer(const unsigned char* reply, int len, SleepParams* out) {
    if (len != SY_ANSWER_SIZE) return false;
    out->sleepCode = OffsetValueFrom(0x20, reply[SY_POS_SLEEP_CODE]);
    out->wakeupNode = static_cast<std::int32_t>(ParseHexField(reply + SY_POS_WAKEUP, 2));
    out->commandWait = OffsetValueFrom(0x20, reply[SY_POS_COMMAND_WAIT]);
    return true;
}

std::string BuildNotifyRead() { return Terminated("SK"); }
std::string BuildSleepRead() { return Terminated("SY"); }

std::string BuildNotifyCommand(const NotifyParams& p) {
    std::string c = "SE";
    c += OffsetCharFrom(NOTIFY_INTERVAL_BASE, p.notifyInterval);
    for (std::int32_t node : p.destNode) c += HexPair(node);
    c += SpaceChar(p.chatterFilter);
    c += SpaceChar(p.retryCount);
    return Terminated(c);
}

std::string BuildSleepCommand(const SleepParams& p) {
    std::string c = "SLEP";
    c += SpaceChar(p.sleepCode);
    c += HexPair(p.wakeupNode);
    c += SpaceChar(p.commandWait);
    return Terminated(c);
}

NotifyFormValues NotifyFormFromParams(const NotifyParams& p) {
    NotifyFormValues f;
    for (int i = 0; i < DEST_NODE_COUNT; ++i) f.destNode[i] = p.destNode[i] == 0 ? "" : std::to_string(p.destNode[i]);
    f.retryCount = std::to_string(p.retryCount);
    f.notifyInterval = ListChoice(p.notifyInterval, NOTIFY_INTERVAL_COUNT);
    return f;
}

SleepFormValues SleepFormFromParams(const SleepParams& p) {
    SleepFormValues f;
    f.enabled = p.sleepCode != 0;
    f.sleepInterval = f.enabled ? ListChoice(p.sleepCode - 1, SLEEP_INTERVAL_COUNT) : SLEEP_INTERVAL_WHEN_OFF;
    f.commandWait = ListChoice(p.commandWait, COMMAND_WAIT_COUNT);
    f.wakeupNode = std::to_string(p.wakeupNode);
    return f;
}

const char* PackDestinations(const std::string (&fields)[DEST_NODE_COUNT], std::int32_t (&out)[DEST_NODE_COUNT]) {
    for (std::int32_t& node : out) node = 0;
    int next = 0;
    for (const std::string& field : fields) {
        // No length cut here: the whole text decides, so "1000" is refused
        // rather than read as 100.
        std::uint32_t value = ReadNumericField(field, -1, false);
        if (value == 0) continue;
        if (value > 254) return MSG_IO_DEST_NODE_RANGE;
        out[next++] = static_cast<std::int32_t>(value);
    }
    return nullptr;
}

const char* ReadRetryCount(const std::string& text, std::int32_t* retry) {
    std::uint32_t value = ReadNumericField(text, 1, false);
    *retry = value <= 7 ? static_cast<std::int32_t>(value) : 0;
    return value <= 7 ? nullptr : MSG_RETRY_RANGE;
}

const char* ValidateSleepForm(const SleepFormValues& form, const SleepParams& device, SleepParams* out) {
    *out = SleepParams{};
    out->commandWait = ChoiceOrDevice(form.commandWait, COMMAND_WAIT_COUNT, device.commandWait);
    if (!form.enabled) return nullptr;
    out->sleepCode = form.sleepInterval >= 0 && form.sleepInterval < SLEEP_INTERVAL_COUNT ? form.sleepInterval + 1
                     : device.sleepCode != 0                                               ? device.sleepCode
                                                                                           : SLEEP_INTERVAL_WHEN_OFF + 1;
    std::uint32_t wakeup = ReadNumericField(form.wakeupNode, 3, false);
    if (wakeup < 1 || wakeup > 254) return MSG_WAKEUP_RANGE;
    out->wakeupNode = static_cast<std::int32_t>(wakeup);
    return nullptr;
}
