#include "link/ErrorAnswer.h"

#include "link/DeviceLink.h"

#include <mutex>

namespace {
std::mutex g_presenterMutex;
ErrorAnswerPresenter g_presenter;
}  // namespace

void SetErrorAnswerPresenter(ErrorAnswerPresenter presenter) {
    std::lock_guard<std::mutex> lock(g_presenterMutex);
    g_presenter = std::move(presenter);
}

void ReportDeviceErrorAnswer(int code, const std::string& text) {
    ErrorAnswerPresenter presenter;
    {
        std::lock_guard<std::mutex> lock(g_presenterMutex);
        presenter = g_presenter;
    }
    theLink.m_nGroupWriteError.store(code);
    if (!presenter) {
        theLink.m_nGroupWriteError.store(0);
    } else {
        presenter(text, [] { theLink.m_nGroupWriteError.store(0); });
    }
    // The message is on its way first, then the write ends: whatever the
    // writer reports afterwards comes after the device's own message. The
    // flag is this call, never the code's value (a code of 0 ends it too).
    theLink.EndWait(LINK_E_ERROR_ANSWER);
}
