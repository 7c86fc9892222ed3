// Device error answers ("gi" and "sp" of length 6) are reported from the
// receive thread without blocking it: the code is held in
// theLink.m_nGroupWriteError while the operator sees the message, and goes
// back to 0 once the message was closed. The answer ends the write that is
// waiting for it at once (EndWait with LINK_E_ERROR_ANSWER), so the writer
// sends nothing more and shows no message of its own.
#pragma once

#include <functional>
#include <string>

// Shows text (UTF-8) and calls closed() once it was dismissed. Must not block.
using ErrorAnswerPresenter = std::function<void(const std::string& text, std::function<void()> closed)>;

// Installed by the GUI at start (tests install their own). Without a
// presenter the code is set and cleared at once.
void SetErrorAnswerPresenter(ErrorAnswerPresenter presenter);

// Sets theLink.m_nGroupWriteError = code, presents text (the presenter's
// closed() sets the error back to 0), then ends the current wait.
void ReportDeviceErrorAnswer(int code, const std::string& text);
