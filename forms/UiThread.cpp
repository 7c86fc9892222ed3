#include "forms/UiThread.h"

#include "forms/CommonTexts.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_sinkMutex;
MessageSink g_sink;

MessageSink CurrentSink() {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    return g_sink;
}

// Runs on the GUI thread: the sink, or a real modal box.
void ShowOnGui(QWidget* owner, const QString& text) {
    if (MessageSink sink = CurrentSink()) {
        sink(owner, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(TXT_PROGRAM_TITLE), text, QMessageBox::Ok,
                    owner);
    box.exec();
}

}  // namespace

bool IsGuiThread() {
    return QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void RunOnGui(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void RunOnGuiBlocking(std::function<void()> fn) {
    if (IsGuiThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn),
                              Qt::BlockingQueuedConnection);
}

void ShowMessage(QWidget* owner, const QString& text) {
    QPointer<QWidget> guard(owner);
    RunOnGuiBlocking([guard, owner, text] { ShowOnGui(owner ? guard.data() : nullptr, text); });
}

void PostMessageBox(QWidget* owner, const QString& text, std::function<void()> afterClose) {
    QPointer<QWidget> guard(owner);
    RunOnGui([guard, owner, text, afterClose = std::move(afterClose)] {
        ShowOnGui(owner ? guard.data() : nullptr, text);
        if (afterClose) afterClose();
    });
}

void SetMessageSink(MessageSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sink = std::move(sink);
}

QString FormatText(const char* format, int value) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format, value);
    return QString::fromUtf8(buf);
}

QString FormatText(const char* format, const QString& text) {
    QByteArray utf8 = text.toUtf8();
    char buf[512];
    std::snprintf(buf, sizeof buf, format, utf8.constData());
    return QString::fromUtf8(buf);
}
