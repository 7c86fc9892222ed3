#include "iounit/DigitalOutputCore.h"

#include "forms/IoUnitTexts.h"

DoChannelSettings theDigitalOutputs[DIGITAL_OUTPUT_MAX];

bool OnStartupMaskReply(const unsigned char* reply, int len) {
    unsigned char mask = 0;
    if (!ParseMemoryAnswer(reply, len, MEM_STARTUP_MASK, &mask)) return false;
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) theDigitalOutputs[k].m_nMode = (mask >> k) & 1;
    return true;
}

bool OnOneShotTimeReply(const unsigned char* reply, int len) {
    unsigned char times[DIGITAL_OUTPUT_MAX] = {};
    if (!ParseMemoryAnswer(reply, len, MEM_ONE_SHOT_TIMES, times)) return false;
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) {
        theDigitalOutputs[k].m_nOneShotTime = times[k];
        // Read after the mask: a time outranks the start-up bit.
        if (times[k] != 0) theDigitalOutputs[k].m_nMode = DO_MODE_ONE_SHOT;
    }
    return true;
}

DigitalOutputFormValues DigitalOutputFormFromSettings(const DoChannelSettings (&s)[DIGITAL_OUTPUT_MAX]) {
    DigitalOutputFormValues f;
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) {
        const int mode = s[k].m_nMode;
        f.rows[k].mode = ListChoice(mode, DO_MODE_COUNT);
        f.rows[k].time = mode == DO_MODE_ONE_SHOT ? std::to_string(s[k].m_nOneShotTime) : "0";
    }
    return f;
}

const char* ValidateDigitalOutputForm(const DigitalOutputFormValues& form,
                                      const DoChannelSettings (&device)[DIGITAL_OUTPUT_MAX],
                                      DoChannelSettings (&out)[DIGITAL_OUTPUT_MAX]) {
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) {
        out[k] = DoChannelSettings{};
        switch (form.rows[k].mode) {
        case DO_MODE_NORMAL:
            break;
        case DO_MODE_STARTUP_ON:
            out[k].m_nMode = DO_MODE_STARTUP_ON;
            break;
        case DO_MODE_ONE_SHOT: {
            out[k].m_nMode = DO_MODE_ONE_SHOT;
            // Range-checked before it is narrowed: "-1" must not pass as 255.
            std::uint32_t time = ReadNumericField(form.rows[k].time, 3, false);
            if (time < 1 || time > 255) return MSG_ONE_SHOT_RANGE;
            out[k].m_nOneShotTime = static_cast<std::int32_t>(time);
            break;
        }
        default:
            out[k] = device[k];
            break;
        }
    }
    return nullptr;
}

std::vector<std::string> DigitalOutputReadCommands() {
    return {BuildMemoryRead(MEM_STARTUP_MASK), BuildMemoryRead(MEM_ONE_SHOT_TIMES)};
}

std::vector<std::string> DigitalOutputWriteCommands(const DoChannelSettings (&s)[DIGITAL_OUTPUT_MAX]) {
    int mask = 0;
    std::string times;
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) {
        if (s[k].m_nMode == DO_MODE_STARTUP_ON) mask |= 1 << k;
        times += HexPair(s[k].m_nOneShotTime);
    }
    return {BuildMemoryWrite(MEM_STARTUP_MASK, HexPair(mask)), BuildMemoryWrite(MEM_ONE_SHOT_TIMES, times)};
}

int ReadDigitalOutputs() { return SendAndWaitEach(DigitalOutputReadCommands(), nullptr, nullptr); }

int WriteDigitalOutputs(const DoChannelSettings (&s)[DIGITAL_OUTPUT_MAX], const SendFailedFn& onSendFailed,
                        StepFailure* failure) {
    return SendAndWaitEach(DigitalOutputWriteCommands(s), onSendFailed, failure);
}
