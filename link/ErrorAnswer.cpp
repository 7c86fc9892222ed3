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
        return;
    }
    presenter(text, [] { theLink.m_nGroupWriteError.store(0); });
}
