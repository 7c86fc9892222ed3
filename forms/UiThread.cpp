#include "forms/UiThread.h"

#include "forms/CommonTexts.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

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

// Calls for the GUI thread wait in this queue; a posted drain runs them in
// order. The queue's own mutex (not only the toolkit's event queue) orders
// what the caller wrote before the call with what the call reads, so that
// race checkers see the hand-over too.
namespace {
std::mutex g_queueMutex;
std::deque<std::function<void()>> g_queue;

void DrainGuiQueue() {
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(g_queueMutex);
            if (g_queue.empty()) return;
            fn = std::move(g_queue.front());
            g_queue.pop_front();
        }
        fn();
    }
}

// The receiver of the drain requests, on the GUI thread. Requests are posted
// by name, so that the posted event holds nothing the posting thread wrote:
// everything handed over travels in the queue above.
class GuiQueueDrainer : public QObject {
    Q_OBJECT
public slots:
    void Drain() { DrainGuiQueue(); }
};

// Built on the GUI thread as the application starts (for the whole run),
// so that every thread that posts finds it complete: a receiver built by the
// first worker to post would reach the GUI thread only through the toolkit's
// own locks.
GuiQueueDrainer* g_drainer = nullptr;

void CreateDrainer() {
    if (!g_drainer) g_drainer = new GuiQueueDrainer;
}

GuiQueueDrainer* Drainer() {
    static GuiQueueDrainer* late = [] {
        if (g_drainer) return g_drainer;
        // Only for a program that posted before its application existed.
        auto* d = new GuiQueueDrainer;
        d->moveToThread(QCoreApplication::instance()->thread());
        return d;
    }();
    return late;
}
}  // namespace

Q_COREAPP_STARTUP_FUNCTION(CreateDrainer)

void ServeGuiCalls() { DrainGuiQueue(); }

void ServeGuiUntil(const std::function<bool()>& done) {
    while (!done()) {
        ServeGuiCalls();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void RunOnGui(std::function<void()> fn) {
    // The request is posted under the queue's mutex too: the toolkit's own
    // event list is guarded by locks that race checkers cannot see, so every
    // post of this program is ordered by this mutex.
    std::lock_guard<std::mutex> lock(g_queueMutex);
    g_queue.push_back(std::move(fn));
    QMetaObject::invokeMethod(Drainer(), "Drain", Qt::QueuedConnection);
}

void RunOnGuiBlocking(std::function<void()> fn) {
    if (IsGuiThread()) {
        fn();
        return;
    }
    struct Completion {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    auto completion = std::make_shared<Completion>();
    RunOnGui([fn = std::move(fn), completion] {
        fn();
        {
            std::lock_guard<std::mutex> lock(completion->mutex);
            completion->done = true;
        }
        completion->cv.notify_all();
    });
    std::unique_lock<std::mutex> lock(completion->mutex);
    completion->cv.wait(lock, [&] { return completion->done; });
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

#include "UiThread.moc"
