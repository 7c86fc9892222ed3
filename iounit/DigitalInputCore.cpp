#include "iounit/DigitalInputCore.h"

#include "forms/IoUnitTexts.h"

NotifyParams NotifyParamsOf(const DigitalInputSettings& s) {
    NotifyParams p;
    for (int i = 0; i < DEST_NODE_COUNT; ++i) p.destNode[i] = s.m_anDestNode[i];
    p.notifyInterval = s.m_nNotifyInterval;
    p.chatterFilter = s.m_nChatterFilter;
    p.retryCount = s.m_nRetryCount;
    return p;
}

SleepParams SleepParamsOf(const DigitalInputSettings& s) {
    return SleepParams{s.m_nSleepCode, s.m_nWakeupNode, s.m_nCommandWait};
}

void StoreNotifyParams(const NotifyParams& p, DigitalInputSettings* s) {
    for (int i = 0; i < DEST_NODE_COUNT; ++i) s->m_anDestNode[i] = p.destNode[i];
    s->m_nNotifyInterval = p.notifyInterval;
    s->m_nChatterFilter = p.chatterFilter;
    s->m_nRetryCount = p.retryCount;
}

void StoreSleepParams(const SleepParams& p, DigitalInputSettings* s) {
    s->m_nSleepCode = p.sleepCode;
    s->m_nWakeupNode = p.wakeupNode;
    s->m_nCommandWait = p.commandWait;
}

bool OnNotifyParams(const unsigned char* reply, int len) {
    NotifyParams p;
    if (!ParseNotifyAnswer(reply, len, &p)) return false;
    StoreNotifyParams(p, &TheDigitalInputSettings());
    return true;
}

bool OnSleepParams(const unsigned char* reply, int len) {
    SleepParams p;
    if (!ParseSleepAnswer(reply, len, &p)) return false;
    StoreSleepParams(p, &TheDigitalInputSettings());
    return true;
}

bool OnExtensionMask(const unsigned char* reply, int len) {
    unsigned char byte = 0;
    if (!ParseMemoryAnswer(reply, len, MEM_EXTENSION_MASK, &byte)) return false;
    TheDigitalInputSettings().m_nExtensionMask = byte;
    return true;
}

bool OnResetRequest(const unsigned char* reply, int len) {
    unsigned char byte = 0;
    if (!ParseMemoryAnswer(reply, len, MEM_RESET_REQUEST, &byte)) return false;
    TheDigitalInputSettings().m_nResetRequest = byte;
    return true;
}

DigitalInputFormValues DigitalInputFormFromSettings(const DigitalInputSettings& s) {
    DigitalInputFormValues f;
    f.notify = NotifyFormFromParams(NotifyParamsOf(s));
    f.resetRequest = s.m_nResetRequest == 1;
    f.chatterFilter = ListChoice(s.m_nChatterFilter, CHATTER_FILTER_COUNT);
    for (int n = 0; n < DIGITAL_INPUT_MAX; ++n) f.di[n] = (s.m_nExtensionMask >> n) & 1;
    f.extensionEnabled = s.m_nExtensionMask != 0;
    f.sleep = SleepFormFromParams(SleepParamsOf(s));
    return f;
}

const char* ValidateDigitalInputForm(const DigitalInputFormValues& form, const DigitalInputSettings& device,
                                     DigitalInputSettings* out) {
    *out = DigitalInputSettings{};
    if (const char* message = PackDestinations(form.notify.destNode, out->m_anDestNode)) return message;
    const char* retryMessage = ReadRetryCount(form.notify.retryCount, &out->m_nRetryCount);
    out->m_nChatterFilter = ChoiceOrDevice(form.chatterFilter, CHATTER_FILTER_COUNT, device.m_nChatterFilter);
    out->m_nNotifyInterval = ChoiceOrDevice(form.notify.notifyInterval, NOTIFY_INTERVAL_COUNT, device.m_nNotifyInterval);
    out->m_nResetRequest = form.resetRequest ? 1 : 0;
    if (retryMessage) return retryMessage;

    if (form.extensionEnabled) {
        for (int n = 0; n < DIGITAL_INPUT_MAX; ++n) {
            if (form.di[n]) out->m_nExtensionMask |= 1 << n;
        }
        if (out->m_nExtensionMask == 0) return MSG_EXTENSION_NONE;
    }

    SleepParams sleep;
    const char* sleepMessage = ValidateSleepForm(form.sleep, SleepParamsOf(device), &sleep);
    StoreSleepParams(sleep, out);
    return sleepMessage;
}

std::vector<std::string> DigitalInputReadCommands() {
    return {BuildNotifyRead(), BuildSleepRead(), BuildMemoryRead(MEM_EXTENSION_MASK), BuildMemoryRead(MEM_RESET_REQUEST)};
}

std::vector<std::string> DigitalInputWriteCommands(const DigitalInputSettings& s) {
    return {BuildNotifyCommand(NotifyParamsOf(s)), BuildSleepCommand(SleepParamsOf(s)),
            BuildMemoryWrite(MEM_EXTENSION_MASK, HexPair(s.m_nExtensionMask)),
            BuildMemoryWrite(MEM_RESET_REQUEST, HexPair(s.m_nResetRequest))};
}

int ReadDigitalInput() { return SendAndWaitEach(DigitalInputReadCommands(), nullptr, nullptr); }

int WriteDigitalInput(const DigitalInputSettings& s, const SendFailedFn& onSendFailed, StepFailure* failure) {
    return SendAndWaitEach(DigitalInputWriteCommands(s), onSendFailed, failure);
}
