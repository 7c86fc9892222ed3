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
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

namespace {

QString T(const char* utf8) { return QString::fromUtf8(utf8); }

// Stand-ins for the settings windows: a read sends one real command ("GS",
// or "ZZ" that nothing answers) and waits up to the link's time-out, and a
// window only records what the flow handed over to its kind.
std::atomic<int> g_handlerReplies{0};
std::atomic<bool> g_failRead{false};
QStringList g_windows;  // GUI thread

QString Window(SettingsKind kind, int model, std::uint32_t uid, int linkState = LINK_OPEN) {
    return QString::asprintf("kind %d model %d uid %08X link %d", int(kind), model, unsigned(uid), linkState);
}

class RecordingKind : public IDeviceKind {
public:
    explicit RecordingKind(SettingsKind kind) : m_kind(kind) {}
    ReplyHandler Handler() const override {
        return [](void*, const unsigned char*, int) { ++g_handlerReplies; return 1; };
    }
    int ReadSettings() override {
        const char cmd[] = {g_failRead ? 'Z' : 'G', g_failRead ? 'Z' : 'S', static_cast<char>(REPLY_TERMINATOR), 0};
        if (theLink.SendCommand(cmd) < 0) return -1;
        return theLink.WaitReplies(theLink.m_nTimeoutSec) == 1 ? 0 : -1;
    }
    int RunWindow() override {
        g_windows << Window(m_kind, theLink.m_nModelCode, theLink.m_dwUid, theLink.m_nState);
        return 0;
    }

private:
    const SettingsKind m_kind;
};

// Loses every completion message, so that only the watchdog can end a step.
struct LosingDlg : CKORVELT_RZsetDlg {
    using CKORVELT_RZsetDlg::CKORVELT_RZsetDlg;
    std::atomic<int> lost{0};
    void PostStepDone(int) override { ++lost; }
};

bool NoPorts(std::vector<PortItem>* items) { return (items->clear(), false); }

rzsim::Scenario WithFaults(const QString& text) {
    rzsim::Scenario sc = rzsim::DefaultScenario(), faults;
    std::string error;
    if (!rzsim::ParseScenario(text.toStdString(), &faults, &error)) qFatal("scenario: %s", error.c_str());
    sc.faults = faults.faults;
    return sc;
}

// The frames the device received, blank-separated.
QString Received(const rzsim::Simulator& sim) {
    QStringList frames;
    for (const std::string& f : sim.Frames()) frames << QString::fromStdString(f);
    return frames.join(' ');
}

QString RowText(const NodeRowTexts& r) { return QString::fromStdString(r.node + "|" + r.model + "|" + r.id + "|" + r.rssi); }

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    QStringList m_messages;
    std::unique_ptr<CKORVELT_RZsetDlg> m_dlg;

    Ui::MainDlg* ui() { return m_dlg->Form(); }

    // A window shown (dlg, or a plain one on this inventory).
    void Make(PortInventoryFn inventory = NoPorts, CKORVELT_RZsetDlg* dlg = nullptr) {
        m_dlg.reset(dlg ? dlg : new CKORVELT_RZsetDlg(nullptr, std::move(inventory)));
        m_dlg->show();
    }
    // A window set for a LAN connection to the simulator.
    void MakeForLan(rzsim::Simulator& sim, const char* node, CKORVELT_RZsetDlg* dlg = nullptr) {
        const int port = sim.StartTcp();
        QVERIFY(port > 0);
        Make(NoPorts, dlg);
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
        const std::string reply = text + std::string(1, static_cast<char>(REPLY_TERMINATOR));
        const auto* bytes = reinterpret_cast<const unsigned char*>(reply.data());
        std::thread([&] { for (int i = 0; i < times; ++i) CKORVELT_RZsetDlg::MainReplyHandler(m_dlg.get(), bytes, int(reply.size())); }).join();
    }
    // Runs fn every 20 ms while the search window's own loop runs, until it
    // returns true; gives up (Cancel) after 5 s.
    void DriveSearch(std::function<bool(CSearchNode*)> fn) {
        auto* timer = new QTimer(m_dlg.get());
        connect(timer, &QTimer::timeout, timer, [this, timer, fn, deadline = QDeadlineTimer(5000)] {
            CSearchNode* s = m_dlg->SearchWindow();
            if (!s) return;
            const bool done = fn(s), late = deadline.hasExpired();
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
            RegisterDeviceKind(k, [k](QWidget*) { return std::make_unique<RecordingKind>(k); });
    }
    void cleanupTestCase() {
        ClearDeviceKinds();
        SetMessageSink({});
    }
    void init() {
        m_messages.clear();
        g_windows.clear();
        g_handlerReplies = 0;
        g_failRead = false;
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

    // The version (the project is at 1.0.3.0), the icon, and fonts that have
    // every glyph of the form; the controls each mode enables; the time-out
    // checked before the target, one message at a time (the full order is in
    // the rules' tests); digits only in the number fields; Enter never connects.
    void formRules() {
        Make();
        QCOMPARE(ui()->labelVersion->text(), QStringLiteral("Version 1.03"));
        QCOMPARE(m_dlg->windowIcon().availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(256, 256)}));
        for (QLabel* label : m_dlg->findChildren<QLabel*>()) {
            const QFontMetrics fm(label->font());
            for (QChar c : label->text())
                if (!c.isSpace()) QVERIFY2(fm.inFont(c), qPrintable(label->text() + " " + QFontInfo(label->font()).family()));
        }
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
        // Now remote over USB, with no port listed. Typed "1x20" must read
        // 120: the letter is refused.
        const struct { std::function<void()> edit; const char* message; } steps[] = {
            {[this] { ui()->editTimeout->setText("4"); }, MSG_TIMEOUT_RANGE},
            {[this] { ui()->editTimeout->clear(), QTest::keyClicks(ui()->editTimeout, "1x20"); }, MSG_SELECT_TARGET},
            {[this] { ui()->radioLan->click(); }, MSG_LAN_NO_ADDRESS},
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
        QVERIFY(m_messages.isEmpty());  // a connect would have asked for an address again
        QVERIFY(m_dlg->isVisible());
    }

    // Connections over LAN one after the other: each identifies its node
    // afresh (what the gateway sends as the connection opens is drained) and
    // hands the open link over to the kind of its model, whose handler gets
    // the read's answer; one that fails ends with its one message, never with
    // a previous connection's model.
    void connectionsIdentifyEachKind() {
        rzsim::Simulator sim(rzsim::DefaultScenario());
        MakeForLan(sim, "");
        ui()->editTimeout->setText("5");
        const struct { const char *faults, *node; bool failRead; const char *sent, *message; QString window; } steps[] = {
            {"fault garbage FF00C86D64C8\n", " 1 ", false, "01MD 01GS 01GS", nullptr, Window(SettingsKind::IoUnit, 3, 0x00A10001u)},
            {"fault 1 unsupported 5\n", "1", false, "01MD 01GS", MSG_UNSUPPORTED_MODEL, {}},
            {"", "2", false, "02MD 02GS 02GS", nullptr, Window(SettingsKind::Serial, 15, 0x00A10002u)},
            {"fault 1 badlen MD\n", "1", false, "01MD 01GS", MSG_UNSUPPORTED_MODEL, {}},
            {"", "3", false, "03MD 03GS 03GS", nullptr, Window(SettingsKind::Gateway, 13, 0x00A10003u)},
            {"", "200", false, "C8MD C8GS", MSG_UNSUPPORTED_MODEL, {}},  // no answer: the time-out
            {"", "3", true, "03MD 03GS 03ZZ", MSG_READ_FAILED, {}},
        };
        QStringList windows;
        for (const auto& s : steps) {
            sim.SetScenario(WithFaults(s.faults));
            sim.ClearFrames();
            g_failRead = s.failRead;
            ui()->editNode->setText(s.node);
            m_messages.clear();
            if (!s.window.isEmpty()) windows << s.window;
            ui()->buttonConnect->click();
            QTRY_VERIFY2_WITH_TIMEOUT((!m_messages.isEmpty() || g_windows.size() == windows.size()) && Idle(), s.sent, 8000);
            QCOMPARE(m_messages, s.message ? QStringList{T(s.message)} : QStringList{});
            QCOMPARE(g_windows, windows);
            QCOMPARE(Received(sim), QString(s.sent));
            // Back to the state the mode allows.
            QVERIFY(ui()->editAddress->isEnabled() && !ui()->comboDirectPort->isEnabled());
            QVERIFY(!ui()->progressBar->isVisible() && ui()->labelVersion->isVisible());
        }
        QCOMPARE(g_handlerReplies.load(), 3);
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

    // A step ended early, each on its worker while the GUI thread stays live:
    // "中止" or closing the window ends it at once (not by the late answer nor
    // the read's 5 s) with no message and no window; a read that nothing
    // answers, or whose link is lost under it, ends with the one message; a
    // lost completion is ended by the watchdog.
    void stepEndedEarly_data() {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<QString>("how");       // abort, close, or what the device or the window does
        QTest::addColumn<QString>("received");  // by the device, in the end
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("deadline");      // ms from the interruption to the end
        const QString slowMd = "fault 1 delay MD 5000\n", read = "01MD 01GS 01ZZ";
        QTest::newRow("abort while identifying") << slowMd << "abort" << "01MD 01GS" << "" << 2500;
        QTest::newRow("close while identifying") << slowMd << "close" << "01MD 01GS" << "" << 2500;
        QTest::newRow("close while searching") << "" << "close" << "FFSN" << "" << 2500;
        // (the slow "gs" keeps the busy look up long enough to be looked at)
        QTest::newRow("completion lost: watchdog") << "fault 1 delay GS 1000\n" << "watchdog" << "01MD 01GS" << T(MSG_OVERLOAD) << 8000;
        QTest::newRow("read time-out") << "" << "time-out" << read << T(MSG_READ_FAILED) << 8000;
        QTest::newRow("link lost during the read") << "fault drop-after 3\n" << "lost" << read << T(MSG_READ_FAILED) << 3000;
        QTest::newRow("abort during the read") << "" << "abort" << read << "" << 1000;
        QTest::newRow("window closed during the read") << "" << "close" << read << "" << 1000;
    }
    void stepEndedEarly() {
        QFETCH(QString, faults);
        QFETCH(QString, how);
        QFETCH(QString, received);
        QFETCH(QString, message);
        QFETCH(int, deadline);
        rzsim::Simulator sim(WithFaults(faults));
        MakeForLan(sim, "1", how == "watchdog" ? new LosingDlg(nullptr, NoPorts) : nullptr);
        ui()->editTimeout->setText("5");
        g_failRead = true;
        GuiGapMeter meter;
        if (received == "FFSN") {
            bool closed = false;
            DriveSearch([&](CSearchNode*) {
                closed = sim.WaitForFrames(1, std::chrono::milliseconds(2000));  // once the "SN" is out
                m_dlg->close();
                return true;
            });
            ui()->buttonSearch->click();
            QTRY_VERIFY_WITH_TIMEOUT(closed, 4000);
        } else {
            ui()->buttonConnect->click();
            if (how != "lost") {  // (a lost link ends the read before it could be looked at)
                const std::size_t sent = received.count(' ') + 1;
                QTRY_VERIFY_WITH_TIMEOUT(sim.Frames().size() >= sent && ui()->progressBar->isVisible(), 3000);
                QCOMPARE(ui()->buttonConnect->text(), T(TXT_ABORT));
                QCOMPARE(ui()->buttonConnect->accessibleName(), T(TXT_ABORT));
                QVERIFY(!ui()->editAddress->isEnabled() && !ui()->buttonSearch->isEnabled());
            }
            if (how == "abort") ui()->buttonConnect->click();  // "中止"
            if (how == "close") m_dlg->close();
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_dlg->WorkersIdle() && m_dlg->SearchWindow() == nullptr && theLink.m_nState == LINK_CLOSED &&
                                     (how == "close" || (Idle() && ui()->editAddress->isEnabled())),
                                 deadline);
        QVERIFY2(meter.MaxGapMs() < GuiGapMeter::kLimitMs, qPrintable(QString::number(meter.MaxGapMs())));
        QCOMPARE(m_messages, message.isEmpty() ? QStringList{} : QStringList{message});
        QVERIFY(g_windows.isEmpty());
        QCOMPARE(Received(sim), received);
        QCOMPARE(m_dlg->isVisible(), how != "close");
        QCOMPARE(m_dlg->m_nPhase.load(), PHASE_NONE);
        if (how != "close") QCOMPARE(ui()->buttonConnect->accessibleName(), T(TXT_MAIN_CONNECT));
        if (how == "watchdog") QCOMPARE(static_cast<LosingDlg*>(m_dlg.get())->lost.load(), 1);
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
        // device path (the other selection rules: PortTableTest).
        items->erase(items->begin() + 2);
        items->insert(items->begin(), {"Bluetooth Link (rfcomm0)", "/dev/rz-test-rfcomm0"});
        ui()->comboDirectPort->setCurrentIndex(1);  // ttyS4
        m_dlg->RefreshPortLists();
        QCOMPARE(ui()->comboDirectPort->currentText(), QStringLiteral("Modem (ttyS4)"));
        // A device path typed by the operator survives a refresh.
        ui()->comboDirectPort->setEditText(QStringLiteral("/dev/rz-test-typed "));
        m_dlg->RefreshPortLists();
        QCOMPARE(ui()->comboDirectPort->currentText(), QStringLiteral("/dev/rz-test-typed "));
        ui()->comboDirectPort->setCurrentIndex(1);  // ttyS4 again

        // No ports: empty lists that still take a typed path in direct mode,
        // here the simulator's pseudo-terminal.
        items->clear();
        m_dlg->RefreshPortLists();
        QVERIFY(ui()->comboDirectPort->count() == 0 && ui()->comboDirectPort->currentText().isEmpty());
        rzsim::Simulator sim(rzsim::DefaultScenario());
        const std::string path = sim.StartPty();
        QVERIFY(!path.empty());
        QVERIFY(ui()->comboDirectPort->isEnabled());
        ui()->comboDirectPort->setEditText(QString::fromStdString("  " + path + " "));
        ui()->editNode->setText("999");  // not looked at for a direct connection
        ui()->buttonConnect->click();
        m_dlg->RefreshPortLists();  // while busy: the lists stay disabled
        QVERIFY(!ui()->comboDirectPort->isEnabled() && !ui()->comboGatewayPort->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(g_windows.size() == 1 && Idle(), 5000);
        QCOMPARE(theLink.m_strComPort, path);
        QCOMPARE(g_windows, QStringList{Window(SettingsKind::Gateway, 14, 0x0012ABCDu)});
        QCOMPARE(Received(sim), QStringLiteral("00MD 00GS 00GS"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
