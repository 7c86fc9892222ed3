// The main window end to end: the form's rules, the checks before connecting,
// the connection flow against the simulator over real TCP and a real
// pseudo-terminal, the watchdog, the node search and the port lists.
#include "app/AppStart.h"
#include "app/MainDlg.h"
#include "app/SearchNode.h"
#include "forms/AppTexts.h"
#include "forms/CommonTexts.h"
#include "forms/UiThread.h"
#include "link/DeviceLink.h"
#include "tests/GuiLiveness.h"
#include "tools/rzsim/Simulator.h"
#include "ui_MainDlg.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

// A settings kind that stands in for the real windows: its read sends one
// real command ("GS", or "ZZ" that nothing answers) and waits 1 s (or the
// link's time-out), and its window only records what the flow handed over.
struct KindRecord {
    std::atomic<int> handlerReplies{0}, windows{0};
    std::atomic<bool> failRead{false}, fullWait{false};
    int modelCode = -1, stateInWindow = -1;
    std::uint32_t uid = 0;
};
std::unique_ptr<KindRecord> g_kind;

class RecordingKind : public IDeviceKind {
public:
    ReplyHandler Handler() const override {
        return [](void*, const unsigned char*, int) { ++g_kind->handlerReplies; return 1; };
    }
    int ReadSettings() override {
        const char cmd[] = {g_kind->failRead ? 'Z' : 'G', g_kind->failRead ? 'Z' : 'S',
                            static_cast<char>(REPLY_TERMINATOR), 0};
        if (theLink.SendCommand(cmd) < 0) return -1;
        return theLink.WaitReplies(g_kind->fullWait ? theLink.m_nTimeoutSec.load() : 1) == 1 ? 0 : -1;
    }
    int RunWindow() override {
        ++g_kind->windows;
        g_kind->modelCode = theLink.m_nModelCode;
        g_kind->uid = theLink.m_dwUid;
        g_kind->stateInWindow = theLink.m_nState;
        return 0;
    }
};

// Loses every completion message, so that only the watchdog can end a step.
class LosingDlg : public CKORVELT_RZsetDlg {
public:
    using CKORVELT_RZsetDlg::CKORVELT_RZsetDlg;
    std::atomic<int> lost{0};

protected:
    void PostStepDone(int) override { ++lost; }
};

bool NoPorts(std::vector<PortItem>* items) { return (items->clear(), false); }

rzsim::Scenario WithFaults(const char* text) {
    rzsim::Scenario sc = rzsim::DefaultScenario(), faults;
    std::string error;
    if (!rzsim::ParseScenario(text, &faults, &error)) qFatal("scenario: %s", error.c_str());
    sc.faults = faults.faults;
    return sc;
}

QString RowText(const NodeRowTexts& r) {
    return QString::fromStdString(r.node + "|" + r.model + "|" + r.id + "|" + r.rssi);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    QStringList m_messages;
    std::unique_ptr<CKORVELT_RZsetDlg> m_dlg;

    Ui::MainDlg* ui() { return m_dlg->Form(); }

    void Make(PortInventoryFn inventory = NoPorts) {
        m_dlg = std::make_unique<CKORVELT_RZsetDlg>(nullptr, std::move(inventory));
        m_dlg->show();
    }
    // A window (dlg, or a plain one) set for a LAN connection to the simulator.
    void MakeForLan(rzsim::Simulator& sim, const char* node, CKORVELT_RZsetDlg* dlg = nullptr) {
        const int port = sim.StartTcp();
        QVERIFY(port > 0);
        m_dlg.reset(dlg ? dlg : new CKORVELT_RZsetDlg(nullptr, NoPorts));
        m_dlg->show();
        ui()->radioRemote->click();
        ui()->radioLan->click();
        ui()->editAddress->setText("127.0.0.1");
        ui()->editPort->setText(QString::number(port));
        ui()->editNode->setText(node);
    }
    bool Idle() {
        return ui()->buttonConnect->text() == T(TXT_MAIN_CONNECT) && m_dlg->WorkersIdle() &&
               theLink.m_nState == LINK_CLOSED && m_dlg->m_nBusy == BUSY_IDLE;
    }
    // Hands a reply to the main window's handler from another thread, as the
    // receive thread would.
    void ReplyFromThread(const char* text, int times) {
        std::string reply = text;
        reply.push_back(static_cast<char>(REPLY_TERMINATOR));
        std::thread rx([&] {
            for (int i = 0; i < times; ++i)
                CKORVELT_RZsetDlg::MainReplyHandler(m_dlg.get(), reinterpret_cast<const unsigned char*>(reply.data()),
                                                    static_cast<int>(reply.size()));
        });
        rx.join();
    }
    // Runs fn every 20 ms while the search window's own loop runs, until it
    // returns true; gives up (Cancel) after 5 s.
    void DriveSearch(std::function<bool(CSearchNode*)> fn) {
        auto* timer = new QTimer(m_dlg.get());
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        connect(timer, &QTimer::timeout, timer, [this, timer, fn, clock] {
            CSearchNode* s = m_dlg->SearchWindow();
            if (!s) return;
            const bool done = fn(s), late = clock->elapsed() > 5000;
            if (!done && late) s->PressCancel();
            if (done || late) timer->stop();
        });
        timer->start(20);
    }

private slots:
    void initTestCase() {
        InstallFormFont();
        SetMessageSink([this](QWidget*, const QString& text) { m_messages << text; });
        for (SettingsKind k : {SettingsKind::IoUnit, SettingsKind::Gateway, SettingsKind::Serial})
            RegisterDeviceKind(k, [](QWidget*) { return std::make_unique<RecordingKind>(); });
    }
    void cleanupTestCase() {
        ClearDeviceKinds();
        SetMessageSink({});
    }
    void init() {
        m_messages.clear();
        g_kind = std::make_unique<KindRecord>();
        theLink.m_nModelCode = 0;
        GuiLinkCalls::Watch();
    }
    // Whatever the flow, the GUI thread made no link call that may block.
    void cleanup() {
        m_dlg.reset();
        QCOMPARE(theLink.m_nState.load(), LINK_CLOSED);
        const QStringList guiCalls = GuiLinkCalls::Stop();
        QVERIFY2(guiCalls.isEmpty(), qPrintable(guiCalls.join(' ')));
    }

    void enablingRules() {
        Make();
        for (int i = 0; i < 4; ++i) {
            const bool remote = i & 1, usb = i & 2, lan = !usb;
            // The gateway choice is only open in remote mode; then go to the
            // mode under test, so that the rules are applied on a change.
            // Changed without a click, as keys or assistive technology do.
            ui()->radioRemote->setChecked(true);
            (usb ? ui()->radioUsb : ui()->radioLan)->setChecked(true);
            (remote ? ui()->radioRemote : ui()->radioDirect)->setChecked(true);
            QStringList wrong;
            auto expect = [&](std::initializer_list<QWidget*> widgets, bool on) {
                for (QWidget* w : widgets)
                    if (w->isEnabled() != on) wrong << w->objectName();
            };
            expect({ui()->labelDirectNote, ui()->comboDirectPort}, !remote);
            expect({ui()->labelRemoteNote, ui()->groupGateway, ui()->radioLan, ui()->radioUsb, ui()->labelTimeout,
                    ui()->editTimeout, ui()->labelNode, ui()->editNode, ui()->buttonSearch},
                   remote);
            expect({ui()->labelAddress, ui()->editAddress, ui()->labelPort, ui()->editPort}, remote && lan);
            expect({ui()->comboGatewayPort}, remote && usb);
            expect({ui()->buttonConnect, ui()->radioDirect, ui()->radioRemote}, true);
            // Each group keeps exactly one choice, also when a chosen one is clicked again.
            if (ui()->radioRemote->isChecked() != remote || ui()->radioDirect->isChecked() == remote) wrong << "mode";
            if (ui()->radioUsb->isChecked() != usb || ui()->radioLan->isChecked() != lan) wrong << "gateway";
            QVERIFY2(wrong.isEmpty(), qPrintable(QString("remote %1 usb %2: ").arg(remote).arg(usb) + wrong.join(' ')));
        }
    }

    // The time-out is checked first, then the target, one message at a time
    // (the full order is in the rules' tests); the number fields take digits
    // only; Enter never connects.
    void validationOrderAndKeys() {
        Make();
        ui()->radioRemote->click();
        ui()->editTimeout->setText("4");
        // Typed "1x20" must read 120: the letter is refused.
        const struct { std::function<void()> edit; const char* message; } steps[] = {
            {[] {}, MSG_TIMEOUT_RANGE},
            {[this] { ui()->editTimeout->clear(), QTest::keyClicks(ui()->editTimeout, "1x20"); }, MSG_LAN_NO_ADDRESS},
            {[this] { ui()->radioUsb->click(); }, MSG_SELECT_TARGET},
        };
        for (const auto& step : steps) {
            step.edit();
            ui()->buttonConnect->click();
            QCOMPARE(m_messages.join('|'), T(step.message));
            QCOMPARE(theLink.m_nState.load(), LINK_CLOSED);
            m_messages.clear();
        }
        ui()->buttonConnect->setFocus();
        QTest::keyClick(ui()->buttonConnect, Qt::Key_Return);
        QTest::keyClick(ui()->editTimeout, Qt::Key_Enter);
        QTest::keyClick(m_dlg.get(), Qt::Key_Return);
        QVERIFY(m_messages.isEmpty());  // a connect would have asked for a target again
        QVERIFY(m_dlg->isVisible());
    }

    // A LAN connection identifies the node and hands over to its kind; the
    // verdict on the next one rests on its own "md" and read: a previous
    // connection's model is never reused.
    void connectionThenFailingOne_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<int>("node");
        QTest::addColumn<bool>("failRead");
        QTest::addColumn<QString>("message");
        QTest::newRow("unsupported model 5") << "fault 1 unsupported 5\n" << 1 << false << T(MSG_UNSUPPORTED_MODEL);
        QTest::newRow("md one byte short") << "fault 1 badlen MD\n" << 1 << false << T(MSG_UNSUPPORTED_MODEL);
        QTest::newRow("no answer: time-out") << "" << 200 << false << T(MSG_UNSUPPORTED_MODEL);
        QTest::newRow("settings read fails") << "" << 3 << true << T(MSG_READ_FAILED);
    }
    void connectionThenFailingOne() {
        QFETCH(QString, faults);
        QFETCH(int, node);
        QFETCH(bool, failRead);
        QFETCH(QString, message);
        // What the gateway sends as the connection opens is drained.
        rzsim::Simulator sim(WithFaults("fault garbage FF00C86D64C8\n"));
        MakeForLan(sim, " 1 ");
        ui()->editTimeout->setText("5");
        ui()->buttonConnect->click();
        QTRY_COMPARE_WITH_TIMEOUT(g_kind->windows.load(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 3000);
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('|')));
        QCOMPARE(g_kind->modelCode, 3);
        QCOMPARE(g_kind->uid, 0x00A10001u);
        QCOMPARE(g_kind->stateInWindow, LINK_OPEN);
        QCOMPARE(g_kind->handlerReplies.load(), 1);  // the kind's handler got the read's answer
        QCOMPARE(sim.Frames(), (std::vector<std::string>{"01MD", "01GS", "01GS"}));
        // Back to the state the mode allows.
        QVERIFY(ui()->editAddress->isEnabled() && !ui()->comboDirectPort->isEnabled());
        QVERIFY(!ui()->progressBar->isVisible() && ui()->labelVersion->isVisible());

        sim.SetScenario(WithFaults(faults.toUtf8().constData()));
        g_kind->failRead = failRead;
        ui()->editNode->setText(QString::number(node));
        ui()->buttonConnect->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_messages.isEmpty(), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 3000);
        QCOMPARE(m_messages, QStringList{message});
        QCOMPARE(g_kind->windows.load(), 1);
    }

    void watchdogEndsLostCompletion() {
        rzsim::Simulator sim(rzsim::DefaultScenario());
        auto* dlg = new LosingDlg(nullptr, NoPorts);
        MakeForLan(sim, "1", dlg);
        ui()->buttonConnect->click();
        QTRY_COMPARE_WITH_TIMEOUT(dlg->lost.load(), 1, 5000);
        QCOMPARE(m_dlg->m_nWatchdog.load(), 1);
        QVERIFY(m_messages.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(m_messages, QStringList{T(MSG_OVERLOAD)}, 6000);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 2000);
        QCOMPARE(m_dlg->m_nPhase.load(), PHASE_NONE);
        QCOMPARE(g_kind->windows.load(), 0);
    }

    // OK without a selection keeps the node, and a row arriving after the
    // window has closed is dropped; the next search starts with an empty
    // list, lists every answer, newest on top, and takes the chosen node.
    void nodeSearch() {
        rzsim::Scenario three = rzsim::DefaultScenario();
        three.devices.resize(4);  // the gateway and nodes 1 to 3
        rzsim::Simulator sim(three);
        MakeForLan(sim, "77");
        bool pressed = false;
        DriveSearch([&](CSearchNode* s) {
            if (s->RowCount() < 3) return false;
            QTest::keyClick(s, Qt::Key_Escape);  // neither closes
            QTest::keyClick(s, Qt::Key_Return);  // nor confirms
            if (m_dlg->SearchWindow() != s) return true;
            s->PressOk();
            return pressed = true;
        });
        ui()->buttonSearch->click();
        QTRY_VERIFY_WITH_TIMEOUT(pressed && Idle(), 6000);
        ReplyFromThread("sn09.!B5", 1);
        QCoreApplication::processEvents();
        QCOMPARE(ui()->editNode->text(), QStringLiteral("77"));

        QStringList first, newest;
        QString status, picked;
        DriveSearch([&](CSearchNode* s) {
            if (first.isEmpty() && s->RowCount() == 3 && !s->StatusText().isEmpty()) {
                for (int i = 0; i < 3; ++i) first << RowText(s->Row(i));
                status = s->StatusText();
                ReplyFromThread("sn05.!B5", 2);  // the same node answering twice
                return false;
            }
            if (first.isEmpty() || s->RowCount() != 5) return false;
            if (newest.isEmpty()) newest << RowText(s->Row(0)) << RowText(s->Row(1));
            s->SelectRow(3);  // a row of the simulator's nodes
            picked = QString::fromStdString(s->Row(3).node);
            // A double click below the rows picks the row last selected.
            auto* list = s->findChild<QTreeWidget*>();
            const int below = list->visualItemRect(list->topLevelItem(4)).bottom() + 4;
            if (below >= list->viewport()->height()) return false;  // no free space: ends in Cancel
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(4, below));
            return !s->isVisible();  // closed as confirmed
        });
        ui()->buttonSearch->click();
        QTRY_VERIFY_WITH_TIMEOUT(Idle() && m_dlg->SearchWindow() == nullptr && !picked.isEmpty(), 6000);
        QCOMPARE(sim.Frames().at(0), std::string("FFSN"));
        first.sort();  // in some order of arrival
        QCOMPARE(first, (QStringList{"1|TQ-130-RZ|1|-75 dBm", "2|VM-310-RZ||-60 dBm", "3|RG_U||-88 dBm"}));
        QCOMPARE(newest, (QStringList{"5|TQ-110-RZ|1|-75 dBm", "5|TQ-110-RZ|1|-75 dBm"}));  // on top, twice
        QCOMPARE(status, QString::fromStdString(SearchStatusText(1)));
        QCOMPARE(ui()->editNode->text(), picked);
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(m_dlg->m_nPhase.load(), PHASE_NONE);
    }

    // "中止" or closing the window ends a step at once, not by the late answer.
    void interruptingEndsCleanly_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("abort while identifying") << "abort";
        QTest::newRow("close while identifying") << "close";
        QTest::newRow("close while searching") << "search";
    }
    void interruptingEndsCleanly() {
        QFETCH(QString, how);
        rzsim::Simulator sim(WithFaults("fault 1 delay MD 5000\n"));
        MakeForLan(sim, "1");
        QElapsedTimer clock;
        if (how == "search") {
            DriveSearch([&](CSearchNode*) {
                clock.start();
                m_dlg->close();
                return true;
            });
            ui()->buttonSearch->click();
            QTRY_VERIFY_WITH_TIMEOUT(clock.isValid(), 4000);
        } else {
            ui()->buttonConnect->click();
            QTRY_COMPARE_WITH_TIMEOUT(ui()->buttonConnect->text(), T(TXT_ABORT), 2000);
            QCOMPARE(ui()->buttonConnect->accessibleName(), T(TXT_ABORT));
            QVERIFY(!ui()->editAddress->isEnabled() && !ui()->buttonSearch->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(ui()->progressBar->isVisible(), 2000);
            QVERIFY(sim.WaitForFrames(2, std::chrono::milliseconds(2000)));
            clock.start();
            if (how == "abort") ui()->buttonConnect->click();  // "中止"
            if (how == "close") m_dlg->close();
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_dlg->WorkersIdle() && m_dlg->SearchWindow() == nullptr &&
                                     theLink.m_nState == LINK_CLOSED && (how != "abort" || Idle()),
                                 2500);
        QVERIFY(clock.elapsed() < 3000);
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('|')));
        QCOMPARE(g_kind->windows.load(), 0);
        QCOMPARE(m_dlg->isVisible(), how == "abort");
        if (how == "abort") QVERIFY(ui()->editAddress->isEnabled());
        if (how == "abort") QCOMPARE(ui()->buttonConnect->accessibleName(), T(TXT_MAIN_CONNECT));
        m_dlg.reset();  // destruction after close: nothing left to join
    }

    // The settings read runs on a worker while the window shows that it is
    // busy: a read that nothing answers leaves the window live until its
    // time-out ends it with the one message, and so does a link lost under
    // it, at once; "中止" ends it at once without a message or a window;
    // closing the window ends it and the program cleanly. The device sees
    // the same commands in every case.
    void readOffTheGuiThread_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("faults");
        QTest::newRow("time-out") << "timeout" << "";
        QTest::newRow("link lost during the read") << "lost" << "fault drop-after 3\n";
        QTest::newRow("abort during the read") << "abort" << "";
        QTest::newRow("window closed during the read") << "close" << "";
    }
    void readOffTheGuiThread() {
        QFETCH(QString, how);
        QFETCH(QString, faults);
        rzsim::Simulator sim(WithFaults(faults.toUtf8().constData()));
        MakeForLan(sim, "1");
        ui()->editTimeout->setText("5");
        g_kind->failRead = true;
        g_kind->fullWait = true;
        GuiGapMeter meter;
        ui()->buttonConnect->click();
        if (how != "lost") {  // (a lost link ends the read before it could be looked at)
            QTRY_VERIFY_WITH_TIMEOUT(sim.Frames().size() >= 3 && ui()->progressBar->isVisible(), 3000);
            QCOMPARE(ui()->buttonConnect->text(), T(TXT_ABORT));
            QVERIFY(!ui()->editAddress->isEnabled() && !ui()->buttonSearch->isEnabled());
        }
        if (how == "abort") ui()->buttonConnect->click();  // "中止"
        if (how == "close") m_dlg->close();
        // Ended at once: long before the 5 s that the read waits.
        const int deadline = how == "timeout" ? 8000 : how == "lost" ? 3000 : 1000;
        QTRY_VERIFY_WITH_TIMEOUT(m_dlg->WorkersIdle() && theLink.m_nState == LINK_CLOSED &&
                                     (how == "close" || (Idle() && ui()->editAddress->isEnabled())),
                                 deadline);
        QVERIFY2(meter.MaxGapMs() < GuiGapMeter::kLimitMs, qPrintable(QString::number(meter.MaxGapMs())));
        const bool failed = how == "timeout" || how == "lost";
        QCOMPARE(m_messages, failed ? QStringList{T(MSG_READ_FAILED)} : QStringList{});
        QCOMPARE(g_kind->windows.load(), 0);
        QCOMPARE(m_dlg->isVisible(), how != "close");
        QCOMPARE(sim.Frames(), (std::vector<std::string>{"01MD", "01GS", "01ZZ"}));
        if (how != "close") QCOMPARE(ui()->buttonConnect->accessibleName(), T(TXT_MAIN_CONNECT));
    }

    void portListsFollowInventory() {
        auto items = std::make_shared<std::vector<PortItem>>(std::vector<PortItem>{
            {"Communications Port (ttyS0)", "/dev/rz-test-ttyS0"}, {"Modem (ttyS4)", "/dev/rz-test-ttyS4"},
            {"FT232R USB UART (ttyUSB0)", "/dev/rz-test-no-such-tty"}});
        // The inventory reports a failure (for its last device): its ports still count.
        Make([items](std::vector<PortItem>* out) { return (*out = *items, false); });
        QCOMPARE(ui()->comboDirectPort->count(), 3);
        QCOMPARE(ui()->comboDirectPort->currentIndex(), 2);  // first USB entry
        QCOMPARE(ui()->comboGatewayPort->currentIndex(), 2);
        // The selected entry opens its device path, not its name; the open
        // runs on the worker and its failure ends the step with one message.
        ui()->buttonConnect->click();
        QCOMPARE(theLink.m_strComPort, std::string("/dev/rz-test-no-such-tty"));
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 3000);
        QCOMPARE(m_messages, QStringList{FormatText(MSG_CONNECT_ERROR_CODE, ENOENT)});
        m_messages.clear();

        // Without USB entries a refresh keeps what was chosen, found by its
        // device path; a chosen port that is gone gives the first entry.
        items->erase(items->begin() + 2);
        items->insert(items->begin(), {"Bluetooth Link (rfcomm0)", "/dev/rz-test-rfcomm0"});
        ui()->comboDirectPort->setCurrentIndex(1);  // ttyS4
        m_dlg->RefreshPortLists();
        QCOMPARE(ui()->comboDirectPort->currentText(), QStringLiteral("Modem (ttyS4)"));
        QCOMPARE(ui()->comboGatewayPort->currentIndex(), 0);
        // A device path typed by the operator survives a refresh.
        ui()->comboDirectPort->setEditText(QStringLiteral("/dev/rz-test-typed "));
        m_dlg->RefreshPortLists();
        QCOMPARE(ui()->comboDirectPort->currentText(), QStringLiteral("/dev/rz-test-typed "));
        ui()->comboDirectPort->setCurrentIndex(1);  // ttyS4 again

        // No ports: empty lists that still take a typed path in direct mode,
        // here the simulator's pseudo-terminal.
        items->clear();
        m_dlg->RefreshPortLists();
        QCOMPARE(ui()->comboDirectPort->count(), 0);
        QVERIFY(ui()->comboDirectPort->currentText().isEmpty());
        QVERIFY(!ui()->comboGatewayPort->isEnabled());
        ui()->buttonConnect->click();
        QCOMPARE(m_messages, QStringList{T(MSG_SELECT_TARGET)});
        rzsim::Simulator sim(rzsim::DefaultScenario());
        const std::string path = sim.StartPty();
        QVERIFY(!path.empty());
        QVERIFY(ui()->comboDirectPort->isEnabled());
        ui()->comboDirectPort->setEditText(QString::fromStdString("  " + path + " "));
        ui()->editNode->setText("999");  // not looked at for a direct connection
        ui()->buttonConnect->click();
        m_dlg->RefreshPortLists();  // while busy: the lists stay disabled
        QVERIFY(!ui()->comboDirectPort->isEnabled() && !ui()->comboGatewayPort->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(g_kind->windows.load(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 3000);
        QCOMPARE(theLink.m_strComPort, path);
        QCOMPARE(g_kind->modelCode, 14);
        QCOMPARE(sim.Frames().at(0), std::string("00MD"));
    }

    // What every start shows: the program's title and version (the project is
    // at 1.0.3.0), direct connection over LAN to port 10003 with a 10 s
    // time-out, the icon, and fonts that have every glyph of the form.
    void defaultsVersionAndTexts() {
        Make();
        QCOMPARE(m_dlg->windowTitle(), T(TXT_PROGRAM_TITLE));
        QCOMPARE(ui()->labelVersion->text(), QStringLiteral("Version 1.03"));
        QCOMPARE(FormatVersionText(1, 2, 3, 4), std::string("Version 1.234"));
        QVERIFY(ui()->radioDirect->isChecked() && ui()->radioLan->isChecked());
        QCOMPARE(ui()->editPort->text() + "/" + ui()->editTimeout->text() + "/" + ui()->editNode->text(), QStringLiteral("10003/10/"));
        QVERIFY(ui()->progressBar->isHidden() && ui()->labelVersion->isVisible());
        QCOMPARE(m_dlg->windowIcon().availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(256, 256)}));
        for (QLabel* label : m_dlg->findChildren<QLabel*>()) {
            const QFontMetrics fm(label->font());
            for (QChar c : label->text())
                if (!c.isSpace()) QVERIFY2(fm.inFont(c), qPrintable(label->text() + " " + QFontInfo(label->font()).family()));
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
