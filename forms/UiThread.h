// The one hand-over between worker threads (and the link's receive thread)
// and the GUI thread, and the message boxes every window shows.
//
// Rules
// - Only the GUI thread touches widgets. Others call RunOnGui (queued, returns
//   at once) or RunOnGuiBlocking (waits until the GUI thread ran it).
// - RunOnGuiBlocking and ShowMessage from a worker block that worker only;
//   the GUI thread keeps running. The GUI thread must therefore never wait on
//   a thread that may be inside one of them (join such threads only after
//   they were told to stop and cannot reach the GUI any more, or poll while
//   processing events).
// - The receive thread must never block: it uses PostMessageBox.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

// Queues fn to run on the GUI thread, in posting order. Returns at once.
void RunOnGui(std::function<void()> fn);

// Runs fn on the GUI thread and waits for it. Runs it directly when called on
// the GUI thread.
void RunOnGuiBlocking(std::function<void()> fn);

bool IsGuiThread();

// GUI thread: runs the calls queued so far now. For a GUI thread that waits
// for a worker which may itself wait for the GUI (it keeps serving meanwhile),
// also from inside one of those calls, where the toolkit delivers no newly
// posted events.
void ServeGuiCalls();

// GUI thread: serves the queued calls (ServeGuiCalls) and the toolkit's
// events until done() is true, giving the processor back between two looks.
// For a GUI thread that waits for a worker which may itself wait for the GUI.
void ServeGuiUntil(const std::function<bool()>& done);

// A modal message box with an OK button and the program title as caption,
// owned by owner (may be null). Callable from any thread except the receive
// thread; returns when the operator has closed it.
void ShowMessage(QWidget* owner, const QString& text);

// Shows the message box without blocking the caller; afterClose (may be
// empty) runs on the GUI thread once the box was closed. For the receive
// thread.
void PostMessageBox(QWidget* owner, const QString& text, std::function<void()> afterClose = {});

// Tests replace the boxes by a sink; it runs on the GUI thread in place of
// the box (so ShowMessage still returns only after the sink returned).
// An empty sink restores the real boxes.
using MessageSink = std::function<void(QWidget* owner, const QString& text)>;
void SetMessageSink(MessageSink sink);

// printf-style formatting of a UTF-8 format with one int, for the message
// texts that carry a code ("通信エラー : %d").
QString FormatText(const char* format, int value);
QString FormatText(const char* format, const QString& text);
