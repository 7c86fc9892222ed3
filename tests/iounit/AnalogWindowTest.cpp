// TQ-150-RZ end to end (Qt Test, offscreen): the I/O unit window reads a
// simulated unit over a real pseudo-terminal (direct) or through a simulated
// LAN gateway (remote) with the analog input page in its input pane; its OK
// writes the page; the channel buttons fetch a channel, the dialog
// "AIの設定" is driven like an operator would and its commands change
// exactly the unit's channel state; Cancel, time-outs, the GUI thread
// running on meanwhile, and one command sequence on the link at a time; the
// demonstration network's unit through the main window. The
// dialog on its own: what it shows, the range change, leaving a threshold
// field, Enter and Esc, OK's message and commands.
#include "app/MainDlg.h"
#include "forms/AnalogTexts.h"
#include "forms/CommonTexts.h"
#include "forms/IoUnitTexts.h"
#include "forms/UiThread.h"
#include "forms/WirelessTexts.h"
#include "iounit/AnalogInput.h"
#include "iounit/SetPirnoInAnalog.h"
#include "iounit/SetPirnoInAnalogAI.h"
#include "iounit/SetPirnoInDigital.h"
#include "iounit/SetPirnoOutDigital.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"
#include "settings/DeviceKinds.h"
#include "settings/RegisterSettings.h"
#include "settings/SetPirno.h"
#include "settings/SettingsKinds.h"
#include "tests/GuiLiveness.h"
#include "tools/rzsim/Simulator.h"
#include "wireless/WirelessGroup.h"

#include <QTest>
#include <QtWidgets>

#include <thread>
#include <utility>

static QString Q(const char* utf8) { return QString::fromUtf8(utf8); }
static const std::string T(1, static_cast<char>(REPLY_TERMINATOR));

// TQ-150-RZ's state before the window: notifications every 10 s to node 10
// (chattering filter 3 left by a digital unit's tool), retry 1, sleep off;
// AI2 on ±30V.
const char* const kUnitState =
    "set U sk \"'0A000000#!\"\nset U sy \" 00 \"\nset U mem.100 000203060000\nset U aj.1 \"# \"\n";

// Attached directly (in group node 5, so the panel is left alone) or as node
// 8 behind a LAN gateway.
std::string UnitScenario(bool remote, const std::string& extra = {}) {
    const std::string node = remote ? "8" : "0";
    std::string text = remote ? "device 0 model 14 uid 1\ndevice 8 model 8 uid 00A10008\n"
                              : "device 0 model 8 uid 00A10008\nset 0 group \"! 0012ABCD05 \"\n";
    std::string state = kUnitState;
    for (std::size_t at; (at = state.find(" U ")) != std::string::npos;) state.replace(at, 3, " " + node + " ");
    std::string faults = extra;
    for (std::size_t at; (at = faults.find(" U ")) != std::string::npos;) faults.replace(at, 3, " " + node + " ");
    return text + state + faults;
}

class AnalogWindowTest : public QObject {
    Q_OBJECT

    QWidget m_main;  // stands in for the main window: handler context and owner
    std::vector<QString> m_messages;
    std::unique_ptr<rzsim::Simulator> m_sim;
    std::unique_ptr<CIoUnitKind> m_kind;  // destroyed before the link closes
    QStringList m_guiLinkCalls;  // made by the window on the GUI thread (none allowed)
    int m_node = 0;
    QTimer m_driver;  // acts in the channel dialog while it runs modally
    std::function<void(CSetPirnoInAnalogAI*)> m_inDialog;
    int m_dialogs = 0;

    // What the main window does between identification and the window: the
    // settings cleared, the handler installed, the read, the window opened.
    CSetPirno* Open(const std::string& scenario, bool remote, int timeoutSec = 1) {
        CloseLink();
        rzsim::Scenario parsed;
        std::string error;
        if (!rzsim::ParseScenario(scenario, &parsed, &error)) qFatal("scenario: %s", error.c_str());
        m_sim = std::make_unique<rzsim::Simulator>(parsed);
        theLink.m_nMode = remote ? LINK_TCP : LINK_SERIAL;
        theLink.m_strHost = "127.0.0.1";
        if (remote) theLink.m_strPort = std::to_string(m_sim->StartTcp());
        else theLink.m_strComPort = m_sim->StartPty();
        theLink.m_nNode = 0;
        theLink.m_nTimeoutSec = timeoutSec;
        if (theLink.Open() != 0) return nullptr;
        m_kind = std::make_unique<CIoUnitKind>(&m_main);
        m_node = remote ? 8 : 0;
        theLink.m_nNode = m_node, theLink.m_nModelCode = MODEL_TQ150, theLink.m_dwUid = 0x00A10008u;
        theLink.ClearSettings();
        theLink.SetReplyHandler(&m_main, m_kind->Handler());
        CSetPirno* w = m_kind->ReadSettings() == 0 ? m_kind->Window() : nullptr;
        // From here on the window, its page and what they start are watched.
        if (w) GuiLinkCalls::Watch(), w->OpenWindow(), w->show();
        return w;
    }
    // What the main window does once the window has closed, before it closes
    // the link: the kind's last sends (the reset), on a worker.
    void AfterClose() {
        std::thread worker([this] { m_kind->AfterWindowClosed(); });
        worker.join();
    }
    void CloseLink() {
        m_kind.reset();
        m_guiLinkCalls << GuiLinkCalls::Stop();
        theLink.Close();
        theLink.SetReplyHandler(nullptr, nullptr);
        m_sim.reset();
    }
    // Frames the unit received, without the node prefix.
    std::vector<std::string> Frames() const {
        std::vector<std::string> frames;
        for (const std::string& f : m_sim->Frames()) frames.push_back(f.substr(2));
        return frames;
    }
    std::vector<std::string> FramesAfter(std::size_t n) const {
        const std::vector<std::string> all = Frames();
        return std::vector<std::string>(all.begin() + std::min(n, all.size()), all.end());
    }
    // Presses an AI button of the window, then waits until the page is idle.
    static bool PressAndSettle(CSetPirno* w, const char* button, int deadlineMs = 6000) {
        Child<QPushButton>(w->InAnalog(), button)->click();
        return QTest::qWaitFor([w] { return !w->InAnalog()->IsChannelBusy(); }, deadlineMs);
    }

    template <class C = QLineEdit>
    static C* Child(QWidget* w, const char* name) {
        C* c = w->findChild<C*>(QString::fromLatin1(name));
        if (!c) qFatal("no child %s", name);
        return c;
    }
    // Types text into a field and moves the focus on, as an operator would.
    static void Click(QWidget* w, const char* name) { Child<QAbstractButton>(w, name)->click(); }
    static void Type(QWidget* dlg, const char* field, const char* text, const char* next = "comboLedCondition") {
        QLineEdit* e = Child(dlg, field);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, Q(text));
        Child<QWidget>(dlg, next)->setFocus();
    }

private slots:
    void init() {
        m_messages.clear();
        m_inDialog = nullptr;
        m_dialogs = 0;
        m_driver.start(20);
        SetMessageSink([this](QWidget*, const QString& text) { m_messages.push_back(text); });
        theWirelessGroup = WirelessGroupRecord{};
    }
    void cleanup() {
        m_driver.stop();
        CloseLink();
        const QStringList guiCalls = std::exchange(m_guiLinkCalls, {});
        QVERIFY2(guiCalls.isEmpty(), qPrintable(guiCalls.join(' ')));
        theLink.m_nTimeoutSec = LINK_DEFAULT_TIMEOUT_SEC;
        SetMessageSink({});
    }
    void initTestCase() {
        connect(&m_driver, &QTimer::timeout, this, [this] {
            auto* dlg = qobject_cast<CSetPirnoInAnalogAI*>(QApplication::activeModalWidget());
            if (!dlg || !dlg->isVisible()) return;
            if (!dlg->isActiveWindow()) return dlg->activateWindow();  // focus changes need an active window
            ++m_dialogs;
            if (m_inDialog) m_inDialog(dlg);
            if (dlg->isVisible()) dlg->reject();  // a failed check never leaves it open
        });
    }

    void dialogShowsTheRecordAndFollowsTheRange() {
        CSetPirnoInAnalogAI dlg;
        const AiChannelSettings rec{.m_nInputRange = 1, .m_nTcType = 3, .m_nColdJunction = 1, .m_nBurnoutDetect = 0,
                                    .m_nBurnoutOutput = 1, .m_nLedLow = 0xC000, .m_nLedHigh = 0x4000,
                                    .m_nLedCondition = 1, .m_nScaleRange = 2, .m_nTempLow = -10, .m_nTempHigh = 1000};
        dlg.SetChannel(2, rec);
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(dlg.windowTitle(), Q("AIの設定"));
        QCOMPARE(Child<QComboBox>(&dlg, "comboInputRange")->currentText(), Q("±1V"));
        QCOMPARE(Child<QComboBox>(&dlg, "comboTcType")->currentText(), Q("E"));
        QCOMPARE(Child<QComboBox>(&dlg, "comboScaleRange")->currentText(), Q("1-5V"));
        QCOMPARE(Child<QComboBox>(&dlg, "comboLedCondition")->currentText(), Q("範囲外で点灯"));
        for (const char* on : {"radioColdOn", "radioBurnoutOff", "radioOutput7FFFFF"})
            QVERIFY2(Child<QRadioButton>(&dlg, on)->isChecked(), on);
        QCOMPARE(Child(&dlg, "editTempLow")->text() + "/" + Child(&dlg, "editTempHigh")->text(), Q("-1.0/100.0"));
        QCOMPARE(Child(&dlg, "editLedLow")->text() + "/" + Child(&dlg, "editLedHigh")->text(), Q("-0.5000/ 0.5000"));
        QCOMPARE(Child<QLabel>(&dlg, "labelLedLowUnit")->text(), Q("V"));
        QVERIFY(!Child<QWidget>(&dlg, "comboTcType")->isEnabled() && !Child<QWidget>(&dlg, "editTempLow")->isEnabled());
        QVERIFY(!Child<QWidget>(&dlg, "radioOutput800000")->isEnabled() && Child<QWidget>(&dlg, "editLedLow")->isEnabled());

        // Every input control and button is named after its label.
        const std::pair<const char*, const char*> names[] = {
            {"comboInputRange", TXT_AI_INPUT_RANGE}, {"comboTcType", TXT_AI_TC_TYPE}, {"radioColdOn", "ON"},
            {"radioBurnoutOff", "OFF"}, {"radioOutput800000", "800000h"}, {"comboScaleRange", TXT_AI_SCALE_RANGE},
            {"editTempLow", TXT_AI_TEMP_LOW}, {"editTempHigh", TXT_AI_TEMP_HIGH}, {"editLedLow", TXT_LED_LOW},
            {"editLedHigh", TXT_LED_HIGH}, {"comboLedCondition", TXT_LED_HEADING}, {"okButton", "OK"},
            {"cancelButton", "キャンセル"}};
        for (const auto& [name, label] : names) QCOMPARE(Child<QWidget>(&dlg, name)->accessibleName(), Q(label));
        QCOMPARE(Child<QLabel>(&dlg, "labelTempLow")->text(), Q(TXT_AI_TEMP_LOW));

        // ±1V -> ±10V: the codes stay, the reading is ten times larger.
        Child<QComboBox>(&dlg, "comboInputRange")->setCurrentIndex(2);
        QCOMPARE(Child(&dlg, "editLedLow")->text() + "/" + Child(&dlg, "editLedHigh")->text(), Q("-5.00000/5.00015"));
        QCOMPARE(dlg.Settings().m_nLedLow, 0xC000);
        // Leaving a field converts, clamps and shows what will be sent.
        Type(&dlg, "editLedLow", "-12");
        QCOMPARE(Child(&dlg, "editLedLow")->text(), Q("-10.00000"));
        QCOMPARE(dlg.Settings().m_nLedLow, 0x8000);
        Type(&dlg, "editLedHigh", "12");
        QCOMPARE(Child(&dlg, "editLedHigh")->text(), Q("10.00000"));
        QCOMPARE(dlg.Settings().m_nLedHigh, 0x7FFF);
        // A milliampere range shows the negative code as 0.
        Child<QComboBox>(&dlg, "comboInputRange")->setCurrentIndex(4);
        QCOMPARE(Child(&dlg, "editLedLow")->text(), Q("  0.000"));
        QCOMPARE(Child<QLabel>(&dlg, "labelLedHighUnit")->text(), Q("mA"));
        Child<QComboBox>(&dlg, "comboInputRange")->setCurrentIndex(6);
        QVERIFY(Child<QWidget>(&dlg, "comboTcType")->isEnabled() && Child<QWidget>(&dlg, "editTempHigh")->isEnabled());
        QVERIFY(Child<QWidget>(&dlg, "radioOutput800000")->isEnabled());
        QCOMPARE(Child<QLabel>(&dlg, "labelLedLowUnit")->text(), Q("℃"));
    }

    void okChecksThenPreparesTheCommands() {
        CSetPirnoInAnalogAI dlg;
        dlg.SetChannel(2, AiChannelSettings{.m_nInputRange = 0, .m_nLedLow = 0, .m_nLedHigh = 0x100, .m_nTempHigh = 10});
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        // Enter and Esc, in a field or on the dialog, do not close it.
        for (QWidget* target : {static_cast<QWidget*>(Child(&dlg, "editTempLow")), static_cast<QWidget*>(&dlg)}) {
            for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(target, Qt::Key(key));
        }
        QVERIFY(dlg.isVisible());
        QVERIFY(m_messages.empty());

        Child<QComboBox>(&dlg, "comboInputRange")->setCurrentIndex(6);
        Type(&dlg, "editTempLow", "12a");
        // The temperatures are checked whatever the range, enabled or not.
        Child<QComboBox>(&dlg, "comboInputRange")->setCurrentIndex(3);  // ±30V
        Child<QPushButton>(&dlg, "okButton")->click();
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_TEMP_INVALID)});
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.Commands()[0].empty());

        // A threshold typed and not left (OK pressed without moving the
        // focus) is taken as typed.
        Child<QLineEdit>(&dlg, "editTempLow")->setText(Q(" 1.0 "));
        QLineEdit* high = Child(&dlg, "editLedHigh");
        high->setFocus();
        high->selectAll();
        QTest::keyClicks(high, Q("31"));
        Child<QPushButton>(&dlg, "okButton")->click();
        QCOMPARE(m_messages.size(), size_t(1));
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        // AI3 on ±30V; the high threshold 31 clamped to full scale.
        QCOMPARE(dlg.Commands(), (std::array<std::string, 4>{"AR\x22\x23" + T, "TC\"  " + T, "AL\" 00007FFF" + T,
                                                              "TF\" 000A000A" + T}));

        // Cancel (and the close box) ends without commands.
        CSetPirnoInAnalogAI other;
        other.SetChannel(0, AiChannelSettings{});
        other.show();
        Child<QPushButton>(&other, "cancelButton")->click();
        QCOMPARE(other.result(), int(QDialog::Rejected));
        QVERIFY(other.Commands()[0].empty());
    }

    // The window reads TQ-150-RZ with the analog input page in its input
    // pane (AI1 to AI3), and its OK writes the page: "SE" with a blank
    // chattering filter, then "SLEP"; a refused value first, with nothing sent.
    void readAndWindowWrite_data() {
        QTest::addColumn<bool>("remote");
        QTest::newRow("direct") << false;
        QTest::newRow("remote") << true;
    }
    void readAndWindowWrite() {
        QFETCH(bool, remote);
        CSetPirno* w = Open(UnitScenario(remote), remote);
        QVERIFY(w);
        std::vector<std::string> reads = {"SK", "SY", "MR1006", "MR0CB1", "MR0D05"};
        if (!remote) reads.insert(reads.begin(), "GJ");
        QCOMPARE(Frames(), reads);
        CSetPirnoInAnalog* p = w->InAnalog();
        QVERIFY(p->isVisibleTo(w) && !w->InDigital()->isVisibleTo(w) && w->OutDigital()->isVisibleTo(w));
        for (int i = 1; i <= 5; ++i)
            QCOMPARE(Child<QWidget>(p, qPrintable(QStringLiteral("buttonAi%1").arg(i)))->isVisibleTo(w), i <= 3);
        QVERIFY(!Child<QWidget>(p, "checkReset")->isVisibleTo(w));
        QCOMPARE(Child(p, "editDest1")->text() + "," + Child(p, "editDest2")->text(), Q("10,"));
        QCOMPARE(Child(p, "editRetry")->text(), Q("1"));
        QCOMPARE(Child<QComboBox>(p, "comboNotify")->currentText(), Q("10秒"));
        QCOMPARE(Child<QComboBox>(p, "comboSleepInterval")->currentText(), Q("1時間"));
        QVERIFY(!Child<QWidget>(p, "editWakeup")->isEnabled());
        Child<QCheckBox>(p, "checkSleep")->setChecked(true);  // however the box changes
        QVERIFY(Child<QWidget>(p, "editWakeup")->isEnabled() && Child<QWidget>(p, "labelCommandWait")->isEnabled());
        const std::pair<const char*, const char*> names[] = {
            {"editDest4", TXT_DEST_NODES}, {"editRetry", TXT_RETRY_COUNT}, {"comboNotify", TXT_NOTIFY_INTERVAL},
            {"checkSleep", TXT_SLEEP}, {"comboSleepInterval", TXT_SLEEP_INTERVAL}, {"comboCommandWait", TXT_COMMAND_WAIT},
            {"editWakeup", TXT_WAKEUP_NODE}, {"buttonAi2", "AI2の設定"}};
        for (const auto& [name, label] : names) QCOMPARE(Child<QWidget>(p, name)->accessibleName(), Q(label));

        Child(p, "editWakeup")->setText(Q("255"));
        Click(w, "okButton");
        QVERIFY(QTest::qWaitFor([&] { return !m_messages.empty() && !w->IsWriteRunning(); }, 3000));
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_WAKEUP_RANGE)});
        QCOMPARE(Frames().size(), reads.size());

        const rzsim::DeviceState before = m_sim->State(m_node);
        Child(p, "editWakeup")->setText(Q("9"));
        Child(p, "editDest1")->clear();
        Child(p, "editDest3")->setText(Q("100"));  // packed into the first slot, written as 64
        Child<QComboBox>(p, "comboCommandWait")->setCurrentIndex(2);
        m_messages.clear();
        Click(w, "okButton");
        QVERIFY(QTest::qWaitFor([w] { return !w->isVisible(); }, 6000) && w->result() == QDialog::Accepted);
        AfterClose();
        rzsim::DeviceState expected = before;
        expected.fields["sk"] = "'64000000 !";
        expected.fields["sy"] = "&09\"";
        expected.fields["mem.0D0"] = "0000000000";  // the digital output page writes what it read
        expected.fields["mem.0CB"] = "00";
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->State(m_node).resetCount, 1, 3000);
        QCOMPARE(m_sim->State(m_node).fields, expected.fields);
        const std::vector<std::string> written = FramesAfter(reads.size());
        QCOMPARE(std::vector<std::string>(written.begin(), written.begin() + 2),
                 (std::vector<std::string>{"SE'64000000 !", "SLEP&09\""}));  // a blank at position 11
    }

    // A fetch, edit and OK change exactly the channel's state on the unit,
    // with AR, TC, AL, TF in that order; meanwhile the window shows it is
    // busy and refuses its OK and Cancel; the channel writes are no window
    // write (no reset when the window closes).
    void channelFetchEditOk() {
        CSetPirno* w = Open(UnitScenario(false), false);
        QVERIFY(w);
        const std::size_t reads = Frames().size();
        const rzsim::DeviceState before = m_sim->State(0);
        m_inDialog = [this, w](CSetPirnoInAnalogAI* dlg) {
            QCOMPARE(dlg->Channel(), 1);
            QCOMPARE(Child<QComboBox>(dlg, "comboInputRange")->currentText(), Q("±30V"));
            // One sequence at a time; the window shows it is busy.
            QVERIFY(w->InAnalog()->IsChannelBusy() && !w->InAnalog()->FetchChannel(0));
            QVERIFY(Child<QProgressBar>(w, "progressBar")->isVisible() && !Child<QLabel>(w, "statusLine")->isVisible());
            QVERIFY(!Child<QWidget>(w, "okButton")->isEnabled() && !Child<QWidget>(w, "cancelButton")->isEnabled());
            w->reject();
            QVERIFY(w->isVisible());
            Child<QComboBox>(dlg, "comboInputRange")->setCurrentIndex(2);
            Type(dlg, "editLedLow", "-5");
            Type(dlg, "editLedHigh", "5");
            Child<QComboBox>(dlg, "comboLedCondition")->setCurrentIndex(1);
            Child<QComboBox>(dlg, "comboInputRange")->setCurrentIndex(6);
            Child<QComboBox>(dlg, "comboTcType")->setCurrentIndex(2);
            for (const char* b : {"radioColdOff", "radioBurnoutOn", "radioOutput7FFFFF"}) Child<QRadioButton>(dlg, b)->click();
            Child<QComboBox>(dlg, "comboScaleRange")->setCurrentIndex(3);
            Type(dlg, "editTempLow", "-10.0");
            Type(dlg, "editTempHigh", "200.5");
            Child<QPushButton>(dlg, "okButton")->click();
        };
        QVERIFY(PressAndSettle(w, "buttonAi2"));
        QCOMPARE(m_dialogs, 1);
        QCOMPARE(FramesAfter(reads),
                 (std::vector<std::string>{"AJ!", "AK!", "TJ!", "AR!&", "TC!\"&", "AL!(C0003FFF", "TF!#FF9C07D5"}));
        rzsim::DeviceState expected = before;
        expected.fields["aj.1"] = "& ";
        expected.fields["ak.1"] = "(C0003FFF";
        expected.fields["tj.1"] = "\"&#FF9C07D5";
        QCOMPARE(m_sim->State(0).fields, expected.fields);
        QVERIFY(m_messages.empty());
        QVERIFY(Child<QWidget>(w, "okButton")->isEnabled() && Child<QLabel>(w, "statusLine")->isVisible());
        Click(w, "cancelButton");
        QVERIFY(!w->isVisible() && !w->SettingsWritten());
        AfterClose();
        QCOMPARE(Frames().size(), reads + 7);
    }

    // Cancel in the dialog sends nothing, and the next press works; while
    // the window's write runs the buttons are refused.
    void channelCancelAndWriteRefusal() {
        CSetPirno* w = Open(UnitScenario(false, "fault U delay SE 600\n"), false);
        QVERIFY(w);
        const std::size_t reads = Frames().size();
        m_inDialog = [](CSetPirnoInAnalogAI* dlg) { Child<QPushButton>(dlg, "cancelButton")->click(); };
        QVERIFY(PressAndSettle(w, "buttonAi3"));
        QVERIFY(PressAndSettle(w, "buttonAi1"));
        QCOMPARE(m_dialogs, 2);
        QCOMPARE(FramesAfter(reads), (std::vector<std::string>{"AJ\"", "AK\"", "TJ\"", "AJ ", "AK ", "TJ "}));
        Click(w, "okButton");
        QVERIFY(w->IsWriteRunning());
        QVERIFY(!w->InAnalog()->FetchChannel(0));
        QVERIFY(QTest::qWaitFor([w] { return !w->isVisible(); }, 6000));
        AfterClose();
        const std::vector<std::string> written = FramesAfter(reads + 6);
        QCOMPARE(int(std::count_if(written.begin(), written.end(), [](const std::string& f) { return f[0] == 'A'; })), 0);
    }

    // "tj" comes after the time-out: the fetch message, never the dialog,
    // and the GUI thread runs on during the wait.
    void fetchTimesOut() {
        CSetPirno* w = Open(UnitScenario(false, "fault U delay TJ 1400\n"), false);
        QVERIFY(w);
        const std::size_t reads = Frames().size();
        GuiGapMeter meter;
        QVERIFY(PressAndSettle(w, "buttonAi1"));
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_CHANNEL_FETCH_FAILED)});
        QCOMPARE(nChannelCountdown.load(), CHANNEL_FETCH_FAILED);
        QTest::qWait(800);  // the late answer arrives in this window
        QVERIFY2(meter.MaxGapMs() < GuiGapMeter::kLimitMs, qPrintable(QString::number(meter.MaxGapMs())));
        QCOMPARE(FramesAfter(reads), (std::vector<std::string>{"AJ ", "AK ", "TJ "}));
        QCOMPARE(m_dialogs, 0);
        QVERIFY(Child<QWidget>(w, "okButton")->isEnabled());
    }

    // A channel command without an answer: the time-out message, the rest
    // not sent, the GUI thread running on.
    void channelCommandTimesOut() {
        CSetPirno* w = Open(UnitScenario(false, "fault U noanswer TC\n"), false);
        QVERIFY(w);
        const std::size_t reads = Frames().size();
        m_inDialog = [](CSetPirnoInAnalogAI* dlg) { Child<QPushButton>(dlg, "okButton")->click(); };
        GuiGapMeter meter;
        QVERIFY(PressAndSettle(w, "buttonAi1"));
        QVERIFY2(meter.MaxGapMs() < GuiGapMeter::kLimitMs, qPrintable(QString::number(meter.MaxGapMs())));
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_CHANNEL_TIMEOUT)});
        QCOMPARE(FramesAfter(reads), (std::vector<std::string>{"AJ ", "AK ", "TJ ", "AR  ", "TC  !"}));
    }

    // The demonstration network's TQ-150-RZ (node 8) through the main
    // window: a channel written from its dialog, then the window's write,
    // the reset, the link closed.
    void demoNodeThroughMainWindow() {
        ClearDeviceKinds();
        RegisterSettingsWindows();
        m_sim = std::make_unique<rzsim::Simulator>(rzsim::DefaultScenario());
        const int port = m_sim->StartTcp();
        QVERIFY(port > 0);
        GuiLinkCalls::Watch();
        CKORVELT_RZsetDlg dlg(nullptr, [](std::vector<PortItem>* items) { return items->clear(), true; });
        dlg.show();
        Click(&dlg, "radioRemote");
        Click(&dlg, "radioLan");
        const std::pair<const char*, QString> fields[] = {
            {"editAddress", "127.0.0.1"}, {"editPort", QString::number(port)}, {"editNode", "8"}, {"editTimeout", "5"}};
        for (const auto& [name, text] : fields) Child(&dlg, name)->setText(text);
        m_inDialog = [](CSetPirnoInAnalogAI* dlg) {
            QCOMPARE(Child<QComboBox>(dlg, "comboInputRange")->currentText(), Q("±10V"));
            QCOMPARE(Child(dlg, "editLedLow")->text(), Q("-5.00000"));
            Child<QComboBox>(dlg, "comboLedCondition")->setCurrentIndex(0);
            Child<QPushButton>(dlg, "okButton")->click();
        };
        int step = 0;
        QTimer driver;  // the window runs modally inside the connect handler
        connect(&driver, &QTimer::timeout, this, [&] {
            auto* w = qobject_cast<CSetPirno*>(QApplication::activeModalWidget());
            if (!w || w->IsWriteRunning() || w->InAnalog()->IsChannelBusy()) return;
            if (step == 0) Click(w->InAnalog(), "buttonAi1");
            if (step == 1) Child(w->InAnalog(), "editRetry")->setText(Q("4")), Click(w, "okButton");
            ++step;
        });
        driver.start(20);
        QTimer::singleShot(15000, this, [] {
            while (auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget())) w->done(-2);
        });
        Click(&dlg, "buttonConnect");
        // The link opens on the main window's worker: closed again only once
        // the window has been driven through.
        QTRY_VERIFY_WITH_TIMEOUT(step >= 2 && theLink.m_nState.load() == LINK_CLOSED && !QApplication::activeModalWidget(), 12000);
        driver.stop();
        QCOMPARE(step, 2);
        QCOMPARE(m_dialogs, 1);
        const rzsim::DeviceState unit = m_sim->State(8);
        QCOMPARE(unit.fields.at("ak.0"), std::string(" C0003FFF"));
        QCOMPARE(unit.fields.at("sk"), std::string("'0A000000 $"));
        QCOMPARE(unit.resetCount, 1);
        dlg.Shutdown();
    }
};

QTEST_MAIN(AnalogWindowTest)
#include "AnalogWindowTest.moc"
