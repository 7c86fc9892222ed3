// Two checks that the GUI thread stays live while a flow waits on the device:
// - GuiLinkCalls: every link call that may block (Open, Close, SendCommand,
//   WaitReplies) made on the GUI thread while watching, by name. Exact: a
//   flow that waits on the GUI thread shows up whatever the timing.
// - GuiGapMeter: a GUI-thread timer that records the longest gap between two
//   of its ticks (the time the window could not repaint or react).
#pragma once

#include "forms/UiThread.h"
#include "link/DeviceLink.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <mutex>

class GuiLinkCalls {
public:
    // Installs the link's observer and starts watching (nothing seen yet).
    static void Watch() {
        {
            std::lock_guard<std::mutex> lock(Mutex());
            Seen().clear();
        }
        theLink.SetCallObserver(&Observe);
    }
    // Stops watching; the calls seen on the GUI thread, in order.
    static QStringList Stop() {
        theLink.SetCallObserver(nullptr);
        std::lock_guard<std::mutex> lock(Mutex());
        return Seen();
    }

private:
    static void Observe(const char* call) {
        if (!IsGuiThread()) return;
        std::lock_guard<std::mutex> lock(Mutex());
        Seen() << QString::fromLatin1(call);
    }
    static std::mutex& Mutex() {
        static std::mutex m;
        return m;
    }
    static QStringList& Seen() {
        static QStringList s;
        return s;
    }
};

class GuiGapMeter {
public:
    // The longest gap that a live GUI thread may show here: far below any
    // wait on the device (5 s at least), far above what scheduling on a
    // loaded machine adds to a 5 ms timer.
    static constexpr qint64 kLimitMs = 250;

    GuiGapMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_clock.start();
        m_timer.start();
    }
    // The longest gap so far, the one still open included.
    qint64 MaxGapMs() {
        Tick();
        return m_maxGap;
    }

private:
    void Tick() {
        const qint64 now = m_clock.elapsed();
        m_maxGap = std::max(m_maxGap, now - m_last);
        m_last = now;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGap = 0;
};
