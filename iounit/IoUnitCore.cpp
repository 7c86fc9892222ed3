#include "iounit/IoUnitCore.h"

#include "iounit/AnalogInput.h"

#include "link/Catalogue.h"
#include "wireless/WirelessGroup.h"

#include <cctype>

namespace {

using AnswerParser = bool (*)(const unsigned char* reply, int len);

// ---- routing tables ----

// Which models a route serves.
enum class Models { Any, Tq150, AllButTq150, WithAnalogInputs, WithAnalogOutputs };

bool Serves(Models who, int model) {
    switch (who) {
    case Models::Any: return true;
    case Models::Tq150: return model == MODEL_TQ150;
    case Models::AllButTq150: return model != MODEL_TQ150;
    case Models::WithAnalogInputs: return ModelChannels(model, CH_AI) > 0;
    case Models::WithAnalogOutputs: return ModelChannels(model, CH_AO) > 0;
    }
    return false;
}

constexpr int ANY_LENGTH = -1;

// Answers by their two letters. The first row whose letters match and that
// serves the connected model takes the answer; it is parsed only at the
// row's length. Letters that match a row count as awaited, whatever the
// model and length; other letters do not.
struct LetterRoute {
    char letters[3];
    int length;          // ANY_LENGTH: an acknowledgement
    Models models;
    AnswerParser parse;  // null: nothing stored
};

const LetterRoute kLetterRoutes[] = {
    {"aj", 6, Models::Tq150, &OnChannelRange},
    {"ak", AK_ANSWER_SIZE, Models::WithAnalogInputs, &OnChannelLed},
    {"ak", AK_ANSWER_SIZE, Models::WithAnalogOutputs, &OnAnalogOutputThresholdReply},
    {"al", ANY_LENGTH, Models::Any, nullptr},
    {"ap", ANY_LENGTH, Models::Any, nullptr},
    {"ar", ANY_LENGTH, Models::Any, nullptr},
    {"mw", ANY_LENGTH, Models::Any, nullptr},
    {"rs", ANY_LENGTH, Models::Any, nullptr},
    {"se", ANY_LENGTH, Models::Any, nullptr},
    {"sl", ANY_LENGTH, Models::Any, nullptr},
    {"tc", ANY_LENGTH, Models::Any, nullptr},
    {"tf", ANY_LENGTH, Models::Any, nullptr},
    {"sk", SK_ANSWER_SIZE, Models::Tq150, &OnAnalogNotifyParams},
    {"sk", SK_ANSWER_SIZE, Models::AllButTq150, &OnNotifyParams},
    {"sy", SY_ANSWER_SIZE, Models::Tq150, &OnAnalogSleepParams},
    {"sy", SY_ANSWER_SIZE, Models::AllButTq150, &OnSleepParams},
    {"tj", 15, Models::Tq150, &OnChannelTemperature},
};

// "mr" answers by the first three address digits they echo (positions 2..4).
// A known address counts as awaited; it is parsed only at the row's length,
// and the parser stores nothing unless the echoed count digit matches too.
// An unknown address is not counted.
struct MemoryRoute {
    char address[4];
    int length;
    AnswerParser parse;
};

const MemoryRoute kMemoryRoutes[] = {
    {"0C9", MemoryAnswerSize(1), &OnExtensionMask},
    {"0CB", MemoryAnswerSize(1), &OnStartupMaskReply},
    {"0CC", MemoryAnswerSize(1), &OnResetRequest},
    {"0D0", MemoryAnswerSize(5), &OnOneShotTimeReply},
    {"100", MemoryAnswerSize(6), &OnChannelRanges},
    {"19C", MemoryAnswerSize(5), &OnAnalogOutputRangeReply},
    {"1A4", MemoryAnswerSize(10), &OnAnalogOutputInitialReply},
};

bool Is(const unsigned char* reply, const char* letters) {
    return reply[0] == static_cast<unsigned char>(letters[0]) && reply[1] == static_cast<unsigned char>(letters[1]);
}

int RouteMemoryAnswer(const unsigned char* reply, int len) {
    if (len < 5) return 0;  // no address to route by
    for (const MemoryRoute& route : kMemoryRoutes) {
        bool same = true;
        for (int i = 0; i < 3; ++i) same = same && std::toupper(reply[2 + i]) == route.address[i];
        if (!same) continue;
        if (len == route.length && route.parse) route.parse(reply, len);
        return 1;
    }
    return 0;
}

int RouteLetterAnswer(const unsigned char* reply, int len, int model) {
    bool known = false;
    for (const LetterRoute& route : kLetterRoutes) {
        if (!Is(reply, route.letters)) continue;
        known = true;
        if (!Serves(route.models, model)) continue;
        if ((route.length == ANY_LENGTH || len == route.length) && route.parse) route.parse(reply, len);
        return 1;
    }
    return known ? 1 : 0;
}

}  // namespace

std::vector<IoUnitPage> IoUnitPages(int modelCode) {
    std::vector<IoUnitPage> pages;
    if (ModelChannels(modelCode, CH_DI) > 0) pages.push_back(IoUnitPage::DigitalInput);
    if (ModelChannels(modelCode, CH_AI) > 0) pages.push_back(IoUnitPage::AnalogInput);
    if (ModelChannels(modelCode, CH_DO) > 0) pages.push_back(IoUnitPage::DigitalOutput);
    if (ModelChannels(modelCode, CH_AO) > 0) pages.push_back(IoUnitPage::AnalogOutput);
    return pages;
}

int ReadIoUnitSettings() {
    if (theLink.m_nNode.load() == 0 && ReadWirelessGroup() < 0) return -1;
    const int model = theLink.m_nModelCode.load();
    for (IoUnitPage page : IoUnitPages(model)) {
        int result = 0;
        switch (page) {
        case IoUnitPage::DigitalInput: result = ReadDigitalInput(); break;
        case IoUnitPage::AnalogInput: result = ReadAnalogInput(); break;
        case IoUnitPage::DigitalOutput: result = ReadDigitalOutputs(); break;
        case IoUnitPage::AnalogOutput: result = ReadAnalogOutputs(ModelChannels(model, CH_AO)); break;
        }
        if (result < 0) return -1;
    }
    return 0;
}

int IoUnitReplyHandler(void* /*ctx*/, const unsigned char* reply, int len) {
    if (len < 3) return 0;
    if (Is(reply, "gi")) return OnWirelessGroupWriteReply(reply, len);
    if (Is(reply, "gj")) {
        if (len == GJ_REPLY_SIZE) OnWirelessGroupReply(reply, len);
        return 1;
    }
    if (Is(reply, "mr")) return RouteMemoryAnswer(reply, len);
    return RouteLetterAnswer(reply, len, theLink.m_nModelCode.load());
}

int WriteIoUnitPages(const SendFailedFn& onSendFailed, StepFailure* failure) {
    const int model = theLink.m_nModelCode.load();
    for (IoUnitPage page : IoUnitPages(model)) {
        int result = 0;
        switch (page) {
        case IoUnitPage::DigitalInput:
            result = WriteDigitalInput(TheDigitalInputSettings(), onSendFailed, failure);
            break;
        case IoUnitPage::AnalogInput:
            result = WriteAnalogInput(TheAnalogInputSettings(), onSendFailed, failure);
            break;
        case IoUnitPage::DigitalOutput: result = WriteDigitalOutputs(theDigitalOutputs, onSendFailed, failure); break;
        case IoUnitPage::AnalogOutput:
            result = WriteAnalogOutputs(theAnalogOutputs, ModelChannels(model, CH_AO), onSendFailed, failure);
            break;
        }
        if (result < 0) return -1;
    }
    return 0;
}

std::string BuildResetCommand() { return Terminated("RSET/"); }

int SendIoUnitReset() { return theLink.SendCommand(BuildResetCommand().c_str()); }
