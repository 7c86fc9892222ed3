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
#include <utility>

class GuiLinkCalls {
public:
    // Installs the link's observer and starts watching (nothing seen yet).
    static void Watch() { Stop(), theLink.SetCallObserver(&Observe); }
    // Stops watching; the calls seen on the GUI thread, in order (then forgotten).
    static QStringList Stop() {
        theLink.SetCallObserver(nullptr);
        std::lock_guard<std::mutex> lock(s_mutex);
        return std::exchange(s_seen, {});
    }

private:
    static void Observe(const char* call) {
        if (!IsGuiThread()) return;
        std::lock_guard<std::mutex> lock(s_mutex);
        s_seen << QString::fromLatin1(call);
    }
    static inline std::mutex s_mutex;
    static inline QStringList s_seen;
};

class GuiGapMeter {
public:
    // The longest gap that a live GUI thread may show here: far below any
    // wait on the device (5 s at least), far above what scheduling on a
    // loaded machine adds to a 5 ms timer.
    static constexpr qint64 kLimitMs = 250;

    GuiGapMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_clock.start();
        m_timer.start(5);
    }
    // The longest gap so far, the one still open included.
    qint64 MaxGapMs() { return Tick(), m_maxGap; }

private:
    void Tick() { m_maxGap = std::max(m_maxGap, m_clock.restart()); }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_maxGap = 0;
};
