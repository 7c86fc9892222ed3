// The main window end to end: its form, the checks before connecting, the
// connection flow against the simulator over real TCP and a real
// pseudo-terminal, the watchdog, the node search and the port lists.
#include "app/AppStart.h"
#include "app/MainDlg.h"
#include "app/SearchNode.h"
#include "forms/AppTexts.h"
#include "forms/CommonTexts.h"
#include "forms/UiThread.h"
#include "link/DeviceLink.h"
#include "tools/rzsim/Simulator.h"
#include "ui_MainDlg.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

// A settings kind that stands in for the real windows: its read sends one
// real command ("GS", or "ZZ" that nothing answers) and its window only
// records what the flow handed over.
struct KindRecord {
    std::atomic<int> handlerReplies{0};
    std::atomic<int> windows{0};
    std::atomic<bool> failRead{false};
    int modelCode = -1;
    std::uint32_t uid = 0;
    int stateInWindow = -1;
};
KindRecord g_kind;

class RecordingKind : public IDeviceKind {
public:
    ReplyHandler Handler() const override {
        return [](void*, const unsigned char*, int) -> int {
            ++g_kind.handlerReplies;
            return 1;
        };
    }
    int ReadSettings() override {
        const char cmd[] = {g_kind.failRead ? 'Z' : 'G', g_kind.failRead ? 'Z' : 'S',
                            static_cast<char>(REPLY_TERMINATOR), 0};
        if (theLink.SendCommand(cmd) < 0) return -1;
        return theLink.WaitReplies(1) == 1 ? 0 : -1;
    }
    int RunWindow() override {
        ++g_kind.windows;
        g_kind.modelCode = theLink.m_nModelCode;
        g_kind.uid = theLink.m_dwUid;
        g_kind.stateInWindow = theLink.m_nState;
        return 0;
    }
};

// Loses every completion message, so that only the watchdog can end a step.
class LosingDlg : public CKORVELT_RZsetDlg {
public:
    using CKORVELT_RZsetDlg::CKORVELT_RZsetDlg;
    std::atomic<int> lost{0};

protected:
    void PostStepDone() override { ++lost; }
};

bool NoPorts(std::vector<PortItem>* items) {
    items->clear();
    return false;
}

rzsim::Scenario ScenarioFrom(const char* text) {
    rzsim::Scenario sc;
    std::string error;
    if (!rzsim::ParseScenario(text, &sc, &error)) qFatal("scenario: %s", error.c_str());
    return sc;
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
    void ChooseLan(int port, const char* node) {
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
    // Runs fn every 20 ms while the search window's own loop runs; gives up
    // (Cancel) after the deadline.
    void DriveSearch(std::function<bool(CSearchNode*)> fn, int deadlineMs = 5000) {
        auto* timer = new QTimer(m_dlg.get());
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        connect(timer, &QTimer::timeout, timer, [this, timer, fn, clock, deadlineMs] {
            CSearchNode* s = m_dlg->SearchWindow();
            if (!s) return;
            if (fn(s)) {
                timer->stop();
            } else if (clock->elapsed() > deadlineMs) {
                timer->stop();
                s->PressCancel();
            }
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
        g_kind.handlerReplies = 0;
        g_kind.windows = 0;
        g_kind.failRead = false;
        g_kind.modelCode = -1;
        g_kind.uid = 0;
        g_kind.stateInWindow = -1;
        theLink.m_nModelCode = 0;
    }
    void cleanup() {
        m_dlg.reset();
        QCOMPARE(theLink.m_nState.load(), LINK_CLOSED);
    }

    void formDefaults() {
        Make();
        QCOMPARE(m_dlg->windowTitle(), T(TXT_PROGRAM_TITLE));
        QCOMPARE(m_dlg->VersionText(), QStringLiteral("Version 1.03"));
        QCOMPARE(ui()->labelVersion->text(), QStringLiteral("Version 1.03"));
        QVERIFY(ui()->radioDirect->isChecked());
        QVERIFY(!ui()->radioRemote->isChecked());
        QVERIFY(ui()->radioLan->isChecked());
        QVERIFY(!ui()->radioUsb->isChecked());
        QCOMPARE(ui()->editPort->text(), QStringLiteral("10003"));
        QCOMPARE(ui()->editTimeout->text(), QStringLiteral("10"));
        QVERIFY(ui()->editAddress->text().isEmpty());
        QVERIFY(ui()->editNode->text().isEmpty());
        QVERIFY(!ui()->progressBar->isVisible());
        QCOMPARE(ui()->editAddress->maxLength(), 64);
        QCOMPARE(ui()->editPort->maxLength(), 5);
        QCOMPARE(ui()->editNode->maxLength(), 3);
        QCOMPARE(ui()->editTimeout->maxLength(), 3);
        // Digits only.
        ui()->radioRemote->click();
        ui()->editNode->clear();
        QTest::keyClicks(ui()->editNode, "1a2");
        QCOMPARE(ui()->editNode->text(), QStringLiteral("12"));

        const struct { QWidget* w; const char* text; } named[] = {
            {ui()->radioDirect, TXT_MAIN_DIRECT},      {ui()->radioRemote, TXT_MAIN_REMOTE},
            {ui()->radioLan, TXT_MAIN_LAN},            {ui()->radioUsb, TXT_MAIN_USB},
            {ui()->editAddress, TXT_MAIN_ADDRESS},     {ui()->editPort, TXT_MAIN_PORT},
            {ui()->editTimeout, TXT_MAIN_TIMEOUT},     {ui()->editNode, TXT_MAIN_NODE},
            {ui()->buttonSearch, TXT_MAIN_SEARCH},     {ui()->buttonConnect, TXT_MAIN_CONNECT},
            {ui()->comboDirectPort, TXT_MAIN_DIRECT_PORT_LIST}, {ui()->comboGatewayPort, TXT_MAIN_GATEWAY_PORT_LIST},
        };
        for (const auto& n : named) QCOMPARE(n.w->accessibleName(), T(n.text));
        QCOMPARE(ui()->groupGateway->title(), T(TXT_MAIN_GATEWAY_GROUP));
    }

    void enablingRules_data() {
        QTest::addColumn<bool>("remote");
        QTest::addColumn<bool>("usb");
        QTest::newRow("direct") << false << false;
        QTest::newRow("direct, usb chosen below") << false << true;
        QTest::newRow("remote lan") << true << false;
        QTest::newRow("remote usb") << true << true;
    }
    void enablingRules() {
        QFETCH(bool, remote);
        QFETCH(bool, usb);
        Make();
        // The gateway choice is only open in remote mode; then go to the mode
        // under test, so that the rules are applied on a change.
        ui()->radioRemote->click();
        (usb ? ui()->radioUsb : ui()->radioLan)->click();
        QCOMPARE(ui()->radioUsb->isChecked(), usb);
        (remote ? ui()->radioRemote : ui()->radioDirect)->click();
        // Each group keeps exactly one choice, also when a chosen one is clicked again.
        QCOMPARE(ui()->radioRemote->isChecked(), remote);
        QCOMPARE(ui()->radioDirect->isChecked(), !remote);
        QCOMPARE(ui()->radioUsb->isChecked(), usb);
        QCOMPARE(ui()->radioLan->isChecked(), !usb);
        const bool lan = !usb;
        QCOMPARE(ui()->labelDirectNote->isEnabled(), !remote);
        QCOMPARE(ui()->comboDirectPort->isEnabled(), !remote);
        for (QWidget* w : std::initializer_list<QWidget*>{ui()->labelRemoteNote, ui()->groupGateway, ui()->radioLan,
                                                          ui()->radioUsb, ui()->labelTimeout, ui()->editTimeout,
                                                          ui()->labelNode, ui()->editNode, ui()->buttonSearch})
            QVERIFY2(w->isEnabled() == remote, qPrintable(w->objectName()));
        for (QWidget* w : std::initializer_list<QWidget*>{ui()->labelAddress, ui()->editAddress, ui()->labelPort,
                                                          ui()->editPort})
            QCOMPARE(w->isEnabled(), remote && lan);
        QCOMPARE(ui()->comboGatewayPort->isEnabled(), remote && usb);
        QVERIFY(ui()->buttonConnect->isEnabled());
        QVERIFY(ui()->radioDirect->isEnabled() && ui()->radioRemote->isEnabled());
    }

    void validation_data() {
        QTest::addColumn<QString>("mode");  // direct, lan, usb
        QTest::addColumn<QString>("timeout");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("message");
        QTest::newRow("time-out 4 before anything") << "lan" << "4" << "" << "" << "" << T(MSG_TIMEOUT_RANGE);
        QTest::newRow("time-out empty") << "usb" << "" << "" << "" << "" << T(MSG_TIMEOUT_RANGE);
        QTest::newRow("direct without port") << "direct" << "5" << "" << "" << "" << T(MSG_SELECT_TARGET);
        QTest::newRow("usb without port") << "usb" << "120" << "" << "" << "0" << T(MSG_SELECT_TARGET);
        QTest::newRow("lan spaces address") << "lan" << "10" << "   " << "" << "" << T(MSG_LAN_NO_ADDRESS);
        QTest::newRow("lan no port") << "lan" << "10" << "127.0.0.1" << "" << "" << T(MSG_LAN_NO_PORT);
        QTest::newRow("lan node empty") << "lan" << "10" << "127.0.0.1" << "1" << "" << T(MSG_BAD_NODE);
    }
    void validation() {
        QFETCH(QString, mode);
        QFETCH(QString, timeout);
        QFETCH(QString, address);
        QFETCH(QString, port);
        QFETCH(QString, node);
        QFETCH(QString, message);
        Make();
        if (mode != "direct") ui()->radioRemote->click();
        (mode == "usb" ? ui()->radioUsb : ui()->radioLan)->click();
        ui()->editTimeout->setText(timeout);
        ui()->editAddress->setText(address);
        ui()->editPort->setText(port);
        ui()->editNode->setText(node);
        ui()->buttonConnect->click();
        QCOMPARE(m_messages, QStringList{message});
        QCOMPARE(theLink.m_nState.load(), LINK_CLOSED);
        QCOMPARE(ui()->buttonConnect->text(), T(TXT_MAIN_CONNECT));
    }

    void enterNeverConnects() {
        Make();
        ui()->buttonConnect->setFocus();
        QTest::keyClick(ui()->buttonConnect, Qt::Key_Return);
        QTest::keyClick(ui()->editTimeout, Qt::Key_Enter);
        QTest::keyClick(m_dlg.get(), Qt::Key_Return);
        QVERIFY(m_messages.isEmpty());  // a connect would have said "接続先を選択してください。"
        QVERIFY(m_dlg->isVisible());
    }

    void lanConnectionIdentifiesNode() {
        rzsim::Simulator sim(rzsim::DefaultScenario());
        const int port = sim.StartTcp();
        QVERIFY(port > 0);
        Make();
        ChooseLan(port, " 1 ");
        ui()->buttonConnect->click();
        QTRY_COMPARE_WITH_TIMEOUT(g_kind.windows.load(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 3000);
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('|')));
        QCOMPARE(g_kind.modelCode, 3);
        QCOMPARE(g_kind.uid, 0x00A10001u);
        QCOMPARE(g_kind.stateInWindow, LINK_OPEN);
        QCOMPARE(g_kind.handlerReplies.load(), 1);  // the kind's handler got the read's answer
        const std::vector<std::string> frames = sim.Frames();
        QCOMPARE(frames, (std::vector<std::string>{"01MD", "01GS", "01GS"}));
        QCOMPARE(theLink.m_nTimeoutSec.load(), 10);
        // Back to the state the mode allows.
        QVERIFY(ui()->editAddress->isEnabled());
        QVERIFY(!ui()->comboDirectPort->isEnabled());
        QVERIFY(!ui()->progressBar->isVisible());
        QVERIFY(ui()->labelVersion->isVisible());
    }

    void directConnectionOverTypedPty() {
        rzsim::Simulator sim(rzsim::DefaultScenario());
        const std::string path = sim.StartPty();
        QVERIFY(!path.empty());
        Make();
        ui()->comboDirectPort->setEditText(QString::fromStdString("  " + path + " "));
        ui()->editNode->setText("999");  // not looked at for a direct connection
        ui()->buttonConnect->click();
        QTRY_COMPARE_WITH_TIMEOUT(g_kind.windows.load(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 3000);
        QCOMPARE(theLink.m_strComPort, path);
        QCOMPARE(g_kind.modelCode, 14);
        QCOMPARE(sim.Frames().at(0), std::string("00MD"));
    }

    // The verdict rests on this connection's own "md": a previous
    // connection's model is never reused.
    void identificationUsesOnlyThisConnection_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<int>("node");
        QTest::newRow("unsupported model 5") << "fault 1 unsupported 5\n" << 1;
        QTest::newRow("md one byte short") << "fault 1 badlen MD\n" << 1;
        QTest::newRow("no answer: time-out") << "" << 200;
    }
    void identificationUsesOnlyThisConnection() {
        QFETCH(QString, scenario);
        QFETCH(int, node);
        rzsim::Simulator sim(rzsim::DefaultScenario());
        const int port = sim.StartTcp();
        Make();
        ChooseLan(port, "1");
        ui()->editTimeout->setText("5");
        ui()->buttonConnect->click();
        QTRY_COMPARE_WITH_TIMEOUT(g_kind.windows.load(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 3000);
        QCOMPARE(theLink.m_nModelCode.load(), 3);

        rzsim::Scenario sc = rzsim::DefaultScenario();
        rzsim::Scenario faults = ScenarioFrom(scenario.toUtf8().constData());
        sc.faults = faults.faults;
        sim.SetScenario(sc);
        ui()->editNode->setText(QString::number(node));
        ui()->buttonConnect->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_messages.isEmpty(), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 3000);
        QCOMPARE(m_messages, QStringList{T(MSG_UNSUPPORTED_MODEL)});
        QCOMPARE(g_kind.windows.load(), 1);
    }

    void settingsReadFails() {
        rzsim::Simulator sim(rzsim::DefaultScenario());
        const int port = sim.StartTcp();
        Make();
        ChooseLan(port, "3");
        g_kind.failRead = true;
        ui()->buttonConnect->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_messages.isEmpty(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 3000);
        QCOMPARE(m_messages, QStringList{T(MSG_READ_FAILED)});
        QCOMPARE(g_kind.windows.load(), 0);
    }

    void abortDuringIdentification() {
        rzsim::Scenario sc = rzsim::DefaultScenario();
        sc.faults = ScenarioFrom("fault 1 delay MD 4000\n").faults;
        rzsim::Simulator sim(sc);
        const int port = sim.StartTcp();
        Make();
        ChooseLan(port, "1");
        ui()->buttonConnect->click();
        QTRY_COMPARE_WITH_TIMEOUT(ui()->buttonConnect->text(), T(TXT_ABORT), 2000);
        QVERIFY(!ui()->editAddress->isEnabled());
        QVERIFY(!ui()->buttonSearch->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(ui()->progressBar->isVisible(), 2000);
        QVERIFY(sim.WaitForFrames(2, std::chrono::milliseconds(2000)));
        QElapsedTimer clock;
        clock.start();
        ui()->buttonConnect->click();  // "中止"
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 2500);
        QVERIFY(clock.elapsed() < 3000);  // ended by the abort, not by the late answer
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('|')));
        QCOMPARE(g_kind.windows.load(), 0);
        QVERIFY(ui()->editAddress->isEnabled());
    }

    void watchdogEndsLostCompletion() {
        rzsim::Simulator sim(rzsim::DefaultScenario());
        const int port = sim.StartTcp();
        auto* dlg = new LosingDlg(nullptr, NoPorts);
        m_dlg.reset(dlg);
        m_dlg->show();
        ChooseLan(port, "1");
        ui()->buttonConnect->click();
        QTRY_COMPARE_WITH_TIMEOUT(dlg->lost.load(), 1, 5000);
        QCOMPARE(m_dlg->m_nWatchdog.load(), 1);
        QVERIFY(m_messages.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(m_messages, QStringList{T(MSG_OVERLOAD)}, 6000);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 2000);
        QCOMPARE(m_dlg->m_nPhase.load(), PHASE_NONE);
        QCOMPARE(g_kind.windows.load(), 0);
    }

    void nodeSearchListsAnswers() {
        rzsim::Simulator sim(rzsim::DefaultScenario());
        const int port = sim.StartTcp();
        Make();
        ChooseLan(port, "");
        ui()->editNode->setText("");
        QList<NodeRowTexts> seen;
        QString status;
        int stage = 0;
        DriveSearch([&](CSearchNode* s) {
            if (stage == 0 && s->RowCount() == 3 && !s->StatusText().isEmpty()) {
                for (int i = 0; i < 3; ++i) seen << s->Row(i);
                status = s->StatusText();
                // The same node answering twice, from another thread as the
                // receive thread would.
                std::string sn = "sn05.!B5";
                sn.push_back(static_cast<char>(REPLY_TERMINATOR));
                std::thread rx([&] {
                    for (int i = 0; i < 2; ++i)
                        CKORVELT_RZsetDlg::MainReplyHandler(m_dlg.get(), reinterpret_cast<const unsigned char*>(sn.data()),
                                                            static_cast<int>(sn.size()));
                });
                rx.join();
                stage = 1;
                return false;
            }
            if (stage == 1 && s->RowCount() == 5) {
                seen << s->Row(0) << s->Row(1);
                s->SelectRow(3);  // a row of the simulator's nodes
                seen << s->Row(3);
                s->PressOk();
                return true;
            }
            return false;
        });
        ui()->buttonSearch->click();
        QTRY_VERIFY_WITH_TIMEOUT(Idle() && m_dlg->SearchWindow() == nullptr && seen.size() == 6, 6000);
        QCOMPARE(sim.Frames().at(0), std::string("FFSN"));
        // Three nodes, in some order of arrival, newest on top.
        QStringList nodes;
        for (int i = 0; i < 3; ++i) {
            nodes << QString::fromStdString(seen[i].node);
            const NodeRowTexts& r = seen[i];
            if (r.node == "1") {
                QCOMPARE(r.model, std::string("TQ-130-RZ"));
                QCOMPARE(r.id, std::string("1"));
                QCOMPARE(r.rssi, std::string("-75 dBm"));
            } else if (r.node == "2") {
                QCOMPARE(r.model, std::string("VM-310-RZ"));
                QCOMPARE(r.id, std::string(""));
                QCOMPARE(r.rssi, std::string("-60 dBm"));
            } else {
                QCOMPARE(r.node, std::string("3"));
                QCOMPARE(r.model, std::string("RG_U"));
                QCOMPARE(r.id, std::string(""));
            }
        }
        nodes.sort();
        QCOMPARE(nodes, (QStringList{"1", "2", "3"}));
        QCOMPARE(seen[3].node, std::string("5"));  // newest on top, listed twice
        QCOMPARE(seen[4].node, std::string("5"));
        QCOMPARE(status, QString::fromStdString(SearchStatusText(1)));
        QCOMPARE(ui()->editNode->text(), QString::fromStdString(seen[5].node));
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(m_dlg->m_nPhase.load(), PHASE_NONE);
    }

    void nodeSearchOkWithoutSelection() {
        rzsim::Simulator sim(rzsim::DefaultScenario());
        const int port = sim.StartTcp();
        Make();
        ChooseLan(port, "77");
        bool pressed = false;
        DriveSearch([&](CSearchNode* s) {
            if (s->RowCount() < 3) return false;
            QTest::keyClick(s, Qt::Key_Escape);  // neither closes
            QTest::keyClick(s, Qt::Key_Return);  // nor confirms
            if (m_dlg->SearchWindow() != s) return true;
            s->PressOk();
            pressed = true;
            return true;
        });
        ui()->buttonSearch->click();
        QTRY_VERIFY_WITH_TIMEOUT(pressed && Idle(), 6000);
        QCOMPARE(ui()->editNode->text(), QStringLiteral("77"));
    }

    void rowsAfterSearchClosedAreDropped() {
        rzsim::Simulator sim(rzsim::DefaultScenario());
        const int port = sim.StartTcp();
        Make();
        ChooseLan(port, "");
        DriveSearch([&](CSearchNode* s) {
            s->PressCancel();
            return true;
        });
        ui()->buttonSearch->click();
        QTRY_VERIFY_WITH_TIMEOUT(Idle(), 6000);
        std::string sn = "sn09.!B5";
        sn.push_back(static_cast<char>(REPLY_TERMINATOR));
        std::thread rx([&] {
            CKORVELT_RZsetDlg::MainReplyHandler(m_dlg.get(), reinterpret_cast<const unsigned char*>(sn.data()),
                                                static_cast<int>(sn.size()));
        });
        rx.join();
        QCoreApplication::processEvents();
        QVERIFY(m_dlg->SearchWindow() == nullptr);
        QVERIFY(ui()->editNode->text().isEmpty());
    }

    void closingWhileBusyEndsCleanly_data() {
        QTest::addColumn<bool>("search");
        QTest::newRow("identifying") << false;
        QTest::newRow("searching") << true;
    }
    void closingWhileBusyEndsCleanly() {
        QFETCH(bool, search);
        rzsim::Scenario sc = rzsim::DefaultScenario();
        sc.faults = ScenarioFrom("fault 1 delay MD 5000\n").faults;
        rzsim::Simulator sim(sc);
        const int port = sim.StartTcp();
        Make();
        ChooseLan(port, "1");
        bool closed = false;
        if (search) {
            DriveSearch([&](CSearchNode*) {
                m_dlg->close();
                closed = true;
                return true;
            });
            ui()->buttonSearch->click();
            QTRY_VERIFY_WITH_TIMEOUT(closed, 4000);
        } else {
            ui()->buttonConnect->click();
            QVERIFY(sim.WaitForFrames(2, std::chrono::milliseconds(2000)));
            QElapsedTimer clock;
            clock.start();
            m_dlg->close();
            QVERIFY(clock.elapsed() < 2000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_dlg->WorkersIdle() && m_dlg->SearchWindow() == nullptr, 3000);
        QCOMPARE(theLink.m_nState.load(), LINK_CLOSED);
        QVERIFY(!m_dlg->isVisible());
        QVERIFY(m_messages.isEmpty());
        m_dlg.reset();  // destruction after close: nothing left to join
    }

    void portListsFollowInventory() {
        auto items = std::make_shared<std::vector<PortItem>>(std::vector<PortItem>{
            {"Communications Port (ttyS0)", "/dev/ttyS0"},
            {"Modem (ttyS4)", "/dev/ttyS4"},
            {"FT232R USB UART (ttyUSB0)", "/dev/ttyUSB0"},
        });
        Make([items](std::vector<PortItem>* out) {
            *out = *items;
            return !out->empty();
        });
        QCOMPARE(ui()->comboDirectPort->count(), 3);
        QCOMPARE(ui()->comboDirectPort->currentIndex(), 2);  // first USB entry
        QCOMPARE(ui()->comboGatewayPort->currentIndex(), 2);

        // Without USB entries a refresh keeps what was chosen.
        items->erase(items->begin() + 2);
        items->push_back({"Bluetooth Link (rfcomm0)", "/dev/rfcomm0"});
        ui()->comboDirectPort->setCurrentIndex(0);
        m_dlg->RefreshPortLists();
        QCOMPARE(ui()->comboDirectPort->currentText(), QStringLiteral("Communications Port (ttyS0)"));
        QCOMPARE(ui()->comboGatewayPort->currentIndex(), 0);  // its USB port is gone: first entry
        ui()->comboDirectPort->setCurrentIndex(2);
        ui()->comboGatewayPort->setCurrentIndex(1);
        m_dlg->RefreshPortLists();
        QCOMPARE(ui()->comboDirectPort->currentIndex(), 2);
        QCOMPARE(ui()->comboGatewayPort->currentIndex(), 1);

        // A USB adapter arriving wins again.
        items->insert(items->begin() + 1, {"USB Serial Device (ttyACM0)", "/dev/ttyACM0"});
        m_dlg->RefreshPortLists();
        QCOMPARE(ui()->comboDirectPort->currentIndex(), 1);
        QCOMPARE(ui()->comboGatewayPort->currentIndex(), 1);

        // No ports: empty lists that still take a typed path in direct mode.
        items->clear();
        m_dlg->RefreshPortLists();
        QCOMPARE(ui()->comboDirectPort->count(), 0);
        QVERIFY(ui()->comboDirectPort->currentText().isEmpty());
        QVERIFY(ui()->comboDirectPort->isEnabled());
        QVERIFY(!ui()->comboGatewayPort->isEnabled());
        ui()->buttonConnect->click();
        QCOMPARE(m_messages, QStringList{T(MSG_SELECT_TARGET)});
    }

    void selectedEntryOpensItsDevicePath() {
        Make([](std::vector<PortItem>* out) {
            *out = {{"FT232R USB UART (ttyUSB9)", "/dev/rz-test-no-such-tty"}};
            return true;
        });
        ui()->buttonConnect->click();
        QCOMPARE(theLink.m_strComPort, std::string("/dev/rz-test-no-such-tty"));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages[0].startsWith(QStringLiteral("接続エラー : ")));
        QVERIFY(Idle());
    }

    void japaneseTextsRender() {
        Make();
        m_dlg->adjustSize();
        const QPixmap shot = m_dlg->grab();
        QVERIFY(!shot.isNull());
        const QString out = QDir(QCoreApplication::applicationDirPath()).filePath("rzset-main.png");
        QVERIFY(shot.save(out));
        for (QLabel* label : m_dlg->findChildren<QLabel*>()) {
            const QFontMetrics fm(label->font());
            for (QChar c : label->text())
                if (!c.isSpace()) QVERIFY2(fm.inFont(c), qPrintable(label->text() + " " + QFontInfo(label->font()).family()));
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
