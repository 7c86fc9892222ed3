// How long the desktop tool's GUI thread is held during its connection flow,
// against the simulator over loopback TCP, the real settings windows
// registered. A GUI-thread timer ticking every 2 ms records the longest gap
// between two of its ticks while a flow runs; nothing else runs on that
// thread, so the gap is the longest time the window could not repaint or
// react.
//
// Flows (a serial converter, node 2, behind the LAN gateway; time-out 5 s):
//   read time-out   its "SJ" is never answered: from "設定対象と接続" to the
//                   failure message
//   connection      identification, settings read, the settings window
//                   opened, closed by Cancel, the main window idle again
//   "中止" in read   "中止" pressed 0.5 s into the unanswered read: the time
//                   from the press to the main window idle again
//
// Usage: gui_stall_bench [repetitions]   (default 5; runs offscreen)
#include "app/AppStart.h"
#include "app/MainDlg.h"
#include "forms/UiThread.h"
#include "link/DeviceLink.h"
#include "settings/RegisterSettings.h"
#include "tools/rzsim/Simulator.h"
#include "ui_MainDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records the longest gap between two ticks of a GUI-thread timer.
class StallMeter {
public:
    StallMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_maxGapNs = std::max(m_maxGapNs, now - m_lastNs);
            m_lastNs = now;
        });
    }
    void Start() {
        m_clock.start();
        m_lastNs = 0;
        m_maxGapNs = 0;
        m_timer.start();
    }
    // The longest gap so far, the one still open included, in ms.
    double Stop() {
        const qint64 now = m_clock.nsecsElapsed();
        m_maxGapNs = std::max(m_maxGapNs, now - m_lastNs);
        m_timer.stop();
        return m_maxGapNs / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_maxGapNs = 0;
};

// Runs the event loop until done() or the deadline; false at the deadline.
bool RunUntil(const std::function<bool()>& done, int deadlineMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > deadlineMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

rzsim::Scenario Network(const char* faults) {
    rzsim::Scenario sc = rzsim::DefaultScenario(), extra;
    std::string error;
    if (!rzsim::ParseScenario(faults, &extra, &error)) {
        std::fprintf(stderr, "scenario: %s\n", error.c_str());
        std::exit(1);
    }
    sc.faults = extra.faults;
    return sc;
}

struct Bench {
    rzsim::Simulator sim{rzsim::DefaultScenario()};
    std::unique_ptr<CKORVELT_RZsetDlg> dlg;
    QStringList messages;

    Bench() {
        const int port = sim.StartTcp();
        if (port <= 0) {
            std::fprintf(stderr, "simulator did not start\n");
            std::exit(1);
        }
        dlg = std::make_unique<CKORVELT_RZsetDlg>(nullptr, [](std::vector<PortItem>* items) {
            items->clear();
            return true;
        });
        dlg->show();
        Ui::MainDlg* ui = dlg->Form();
        ui->radioRemote->click();
        ui->radioLan->click();
        ui->editAddress->setText(QStringLiteral("127.0.0.1"));
        ui->editPort->setText(QString::number(port));
        ui->editNode->setText(QStringLiteral("2"));
        ui->editTimeout->setText(QStringLiteral("5"));
        SetMessageSink([this](QWidget*, const QString& text) { messages << text; });
    }
    ~Bench() {
        dlg.reset();
        SetMessageSink({});
    }
    bool Idle() const {
        return dlg->WorkersIdle() && dlg->m_nBusy == BUSY_IDLE && theLink.m_nState == LINK_CLOSED &&
               dlg->Form()->buttonConnect->isEnabled() && dlg->Form()->editAddress->isEnabled();
    }
    void Connect() { dlg->Form()->buttonConnect->click(); }
};

struct Figures {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    void Print(const char* what) const {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        if (v.empty()) {
            std::printf("%-44s no runs\n", what);
            return;
        }
        std::printf("%-44s median %8.1f ms   max %8.1f ms   (%zu runs)\n", what, v[v.size() / 2], v.back(), v.size());
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallFormFont();
    RegisterSettingsWindows();
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    Figures readStall, readTotal, connectStall, connectTotal, abortStall, abortLatency;
    Bench bench;
    StallMeter meter;

    for (int i = 0; i < repetitions; ++i) {
        // A read that times out.
        bench.sim.SetScenario(Network("fault 2 noanswer SJ\n"));
        bench.messages.clear();
        QElapsedTimer clock;
        clock.start();
        meter.Start();
        bench.Connect();
        const bool failed = RunUntil([&] { return !bench.messages.isEmpty() && bench.Idle(); }, 20000);
        readStall.Add(meter.Stop());
        readTotal.Add(clock.elapsed());
        if (!failed) std::fprintf(stderr, "read time-out: no end\n");

        // A normal connection: the window opens and is cancelled.
        bench.sim.SetScenario(Network(""));
        bench.messages.clear();
        bool opened = false;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget()); w && w->isVisible()) {
                opened = true;
                w->reject();
            }
        });
        closer.start(20);
        clock.restart();
        meter.Start();
        bench.Connect();
        const bool ended = RunUntil([&] { return opened && bench.Idle(); }, 20000);
        connectStall.Add(meter.Stop());
        connectTotal.Add(clock.elapsed());
        closer.stop();
        if (!ended || !bench.messages.isEmpty())
            std::fprintf(stderr, "connection: %s\n", ended ? qPrintable(bench.messages.join('|')) : "no end");

        // "中止" 0.5 s into an unanswered read. The read's start is taken
        // off the GUI thread (a held GUI thread could not see it), and the
        // latency runs from the moment the operator wants to press: a
        // window that cannot take the press makes the operator wait for
        // the time-out instead.
        bench.sim.SetScenario(Network("fault 2 noanswer SJ\n"));
        bench.sim.ClearFrames();
        bench.messages.clear();
        std::atomic<qint64> wantPressNs{-1};
        QElapsedTimer clock2;
        clock2.start();
        std::thread watcher([&] {
            if (bench.sim.WaitForFrames(3, std::chrono::milliseconds(10000)))  // MD, GS, SJ
                wantPressNs = clock2.nsecsElapsed() + 500'000'000LL;
        });
        bool pressed = false;
        QTimer presser;
        QObject::connect(&presser, &QTimer::timeout, [&] {
            const qint64 want = wantPressNs.load();
            if (pressed || want < 0 || clock2.nsecsElapsed() < want) return;
            pressed = true;
            if (bench.dlg->m_nBusy == BUSY_RUNNING) bench.Connect();  // the button reads "中止"
        });
        presser.start(2);
        meter.Start();
        bench.Connect();
        const bool aborted = RunUntil([&] { return pressed && bench.Idle(); }, 20000);
        abortStall.Add(meter.Stop());
        abortLatency.Add((clock2.nsecsElapsed() - wantPressNs.load()) / 1e6);
        presser.stop();
        watcher.join();
        if (!aborted) std::fprintf(stderr, "abort: no end\n");
        RunUntil([&] { return bench.Idle(); }, 10000);
    }

    std::printf("GUI-thread stalls, %d runs each (time-out 5 s)\n", repetitions);
    readStall.Print("read time-out: longest GUI stall");
    readTotal.Print("read time-out: click to message");
    connectStall.Print("connection: longest GUI stall");
    connectTotal.Print("connection: click to idle (window shown)");
    abortStall.Print("abort in read: longest GUI stall");
    abortLatency.Print("abort in read: wanted press to idle");
    return 0;
}
