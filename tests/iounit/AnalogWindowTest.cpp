// TQ-150-RZ end to end (Qt Test, offscreen): the I/O unit window reads a
// simulated unit directly or behind a simulated LAN gateway with the analog
// input page in its input pane and its OK writes the page; the channel buttons
// fetch a channel, the dialog "AIの設定" is driven like an operator would and
// its AR, TC, AL, TF change exactly the channel's state; one command sequence
// on the link at a time; time-outs with the GUI thread running on; the
// demonstration network's unit through the main window; the dialog on its own.
#include "forms/AnalogTexts.h"
#include "forms/CommonTexts.h"
#include "forms/IoUnitTexts.h"
#include "iounit/AnalogInput.h"
#include "iounit/SetPirnoInAnalog.h"
#include "iounit/SetPirnoInAnalogAI.h"
#include "iounit/SetPirnoInDigital.h"
#include "iounit/SetPirnoOutDigital.h"
#include "settings/SetPirno.h"
#include "settings/SettingsKinds.h"
#include "tests/support/WindowHarness.h"

namespace {

const std::string T(1, static_cast<char>(REPLY_TERMINATOR));

// Notifications every 10 s to node 10 (chattering filter 3 left by a digital
// unit's tool), retry 1, sleep off; AI2 on ±30V. Attached directly (in group
// node 5, so the panel is left alone) or as node 8 behind a LAN gateway.
std::string UnitScenario(bool remote, const std::string& faults = {}) {
    std::string text = remote ? "device 0 model 14 uid 1\ndevice 8 model 8 uid 00A10008\n"
                              : "device 0 model 8 uid 00A10008\nset 0 group \"! 0012ABCD05 \"\n";
    for (const char* set : {"sk \"'0A000000#!\"", "sy \" 00 \"", "mem.100 000203060000", "aj.1 \"# \""})
        text += (remote ? "set 8 " : "set 0 ") + std::string(set) + "\n";
    return text + faults;
}

// Types into a channel dialog's field and leaves it.
void Enter(QWidget* dlg, const char* field, const char* text) { Type(dlg, field, text, "comboLedCondition"); }
void Range(QWidget* dlg, int index) { Child<QComboBox>(dlg, "comboInputRange")->setCurrentIndex(index); }

}  // namespace

class AnalogWindowTest : public QObject, WindowHarness {
    Q_OBJECT

    QTimer m_driver;  // acts in the channel dialog while it runs modally
    std::function<void(CSetPirnoInAnalogAI*)> m_inDialog;
    int m_dialogs = 0;

    CSetPirno* Open(const std::string& scenario, bool remote = false) {
        return WindowHarness::Open<CIoUnitKind>(scenario, remote, remote ? 8 : 0, MODEL_TQ150, 0x00A10008u, 1);
    }
    // Presses an AI button of the window, then waits until the page is idle.
    static bool PressAndSettle(CSetPirno* w, const char* button) {
        Click(w->InAnalog(), button);
        return QTest::qWaitFor([w] { return !w->InAnalog()->IsChannelBusy(); }, 6000);
    }

private slots:
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
    void init() {
        BeginCase();
        m_inDialog = nullptr;
        m_dialogs = 0;
        m_driver.start(20);
    }
    void cleanup() {
        m_driver.stop();
        EndCase();
    }

    // The dialog on its own: what it shows of the record, names, the range
    // change, leaving a threshold field; Enter and Esc; OK's checks and
    // commands.
    void channelDialog() {
        CSetPirnoInAnalogAI dlg;
        dlg.SetChannel(2, {.m_nInputRange = 1, .m_nTcType = 3, .m_nColdJunction = 1, .m_nBurnoutDetect = 0,
                           .m_nBurnoutOutput = 1, .m_nLedLow = 0xC000, .m_nLedHigh = 0x4000, .m_nLedCondition = 1,
                           .m_nScaleRange = 2, .m_nTempLow = -10, .m_nTempHigh = 1000});
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        CheckTexts(&dlg, {{"comboInputRange", "±1V"}, {"comboTcType", "E"}, {"comboScaleRange", "1-5V"},
                          {"comboLedCondition", "範囲外で点灯"}, {"editTempLow", "-1.0"}, {"editTempHigh", "100.0"},
                          {"editLedLow", "-0.5000"}, {"editLedHigh", " 0.5000"}, {"labelLedLowUnit", "V"}});
        for (const char* on : {"radioColdOn", "radioBurnoutOff", "radioOutput7FFFFF"})
            QVERIFY2(Child<QRadioButton>(&dlg, on)->isChecked(), on);
        QCOMPARE(Flags(&dlg, {"comboTcType", "editTempLow", "radioOutput800000", "editLedLow"}), Q("0001"));
        CheckAccessibleNames(&dlg, {{"comboInputRange", TXT_AI_INPUT_RANGE}, {"comboTcType", TXT_AI_TC_TYPE},
                                    {"radioColdOn", "ON"}, {"radioBurnoutOff", "OFF"}, {"radioOutput800000", "800000h"},
                                    {"comboScaleRange", TXT_AI_SCALE_RANGE}, {"editTempLow", TXT_AI_TEMP_LOW},
                                    {"editTempHigh", TXT_AI_TEMP_HIGH}, {"editLedLow", TXT_LED_LOW},
                                    {"editLedHigh", TXT_LED_HIGH}, {"comboLedCondition", TXT_LED_HEADING},
                                    {"okButton", "OK"}, {"cancelButton", "キャンセル"}});

        // ±1V -> ±10V: the codes stay, the reading is ten times larger.
        Range(&dlg, 2);
        CheckTexts(&dlg, {{"editLedLow", "-5.00000"}, {"editLedHigh", "5.00015"}});
        QCOMPARE(dlg.Settings().m_nLedLow, 0xC000);
        // Leaving a field converts, clamps and shows what will be sent.
        Enter(&dlg, "editLedLow", "-12");
        QCOMPARE(Text(&dlg, "editLedLow"), Q("-10.00000"));
        QCOMPARE(dlg.Settings().m_nLedLow, 0x8000);
        Range(&dlg, 6);
        QCOMPARE(Flags(&dlg, {"comboTcType", "editTempHigh", "radioOutput800000"}), Q("111"));
        QCOMPARE(Text(&dlg, "labelLedLowUnit"), Q("℃"));

        // Enter and Esc, in a field or on the dialog, do not close it.
        for (QWidget* target : {static_cast<QWidget*>(Child(&dlg, "editTempLow")), static_cast<QWidget*>(&dlg)}) {
            for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(target, Qt::Key(key));
        }
        QVERIFY(dlg.isVisible() && m_messages.empty());
        // The temperatures are checked whatever the range, enabled or not.
        Enter(&dlg, "editTempLow", "12a");
        Range(&dlg, 3);  // ±30V
        Click(&dlg, "okButton");
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_TEMP_INVALID)});
        QVERIFY(dlg.isVisible() && dlg.Commands()[0].empty());
        // A threshold typed and not left (OK without moving the focus) is
        // taken as typed: 31 clamped to full scale.
        SetText(&dlg, "editTempLow", " 1.0 ");
        Type(&dlg, "editLedHigh", "31");
        Click(&dlg, "okButton");
        QCOMPARE(m_messages.size(), size_t(1));
        QVERIFY(!dlg.isVisible() && dlg.result() == QDialog::Accepted);
        QCOMPARE(dlg.Commands(), (std::array<std::string, 4>{"AR\"#" + T, "TC\"#%" + T, "AL\"(80007FFF" + T,
                                                              "TF\"\"000A03E8" + T}));
    }

    // The window reads TQ-150-RZ with the analog input page in its input
    // pane (AI1 to AI3). A refused value: nothing sent. A channel fetched,
    // edited and OK changes exactly its state with AR, TC, AL, TF in that
    // order; meanwhile the window shows it is busy and refuses its OK, Cancel
    // and close box. Cancel in the dialog sends nothing. The channel writes
    // are no window write. The window's OK writes the page ("SE" with a blank
    // chattering filter, "SLEP"), the channel buttons refused meanwhile; the
    // unit is reset.
    void readChannelsAndWrite_data() {
        QTest::addColumn<bool>("remote");
        QTest::newRow("direct") << false;
        QTest::newRow("remote") << true;
    }
    void readChannelsAndWrite() {
        QFETCH(bool, remote);
        const int node = remote ? 8 : 0;
        CSetPirno* w = Open(UnitScenario(remote, "fault " + std::to_string(node) + " delay SE 600\n"), remote);
        QVERIFY(w);
        const QString reads = "SK|SY|MR1006|MR0CB1|MR0D05";
        QCOMPARE(Frames().join('|'), (remote ? "" : "GJ|") + reads);
        const qsizetype readCount = Frames().size();
        CSetPirnoInAnalog* p = w->InAnalog();
        QVERIFY(p->isVisibleTo(w) && !w->InDigital()->isVisibleTo(w) && w->OutDigital()->isVisibleTo(w));
        QCOMPARE(Flags(p, {"buttonAi1", "buttonAi2", "buttonAi3", "buttonAi4", "buttonAi5", "checkReset"}, true), Q("111000"));
        CheckTexts(p, {{"editDest1", "10"}, {"editDest2", ""}, {"editRetry", "1"}, {"comboNotify", "10秒"},
                       {"comboSleepInterval", "1時間"}});
        QCOMPARE(Flags(p, {"editWakeup", "labelCommandWait"}), Q("00"));
        Child<QCheckBox>(p, "checkSleep")->setChecked(true);  // however the box changes
        QCOMPARE(Flags(p, {"editWakeup", "labelCommandWait"}), Q("11"));
        CheckAccessibleNames(p, {{"editDest4", TXT_DEST_NODES}, {"editRetry", TXT_RETRY_COUNT},
                                 {"comboNotify", TXT_NOTIFY_INTERVAL}, {"checkSleep", TXT_SLEEP},
                                 {"comboSleepInterval", TXT_SLEEP_INTERVAL}, {"comboCommandWait", TXT_COMMAND_WAIT},
                                 {"editWakeup", TXT_WAKEUP_NODE}, {"buttonAi2", "AI2の設定"}});
        SetText(p, "editWakeup", "255");
        Click(w, "okButton");
        QVERIFY(QTest::qWaitFor([&] { return !m_messages.empty() && !w->IsWriteRunning(); }, 3000));
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_WAKEUP_RANGE)});
        QCOMPARE(Frames().size(), readCount);

        rzsim::DeviceState expected = m_sim->State(node);
        m_inDialog = [w](CSetPirnoInAnalogAI* dlg) {
            QCOMPARE(dlg->Channel(), 1);
            QCOMPARE(Text(dlg, "comboInputRange"), Q("±30V"));
            QVERIFY(w->InAnalog()->IsChannelBusy() && !w->InAnalog()->FetchChannel(0));
            QCOMPARE(Flags(w, {"progressBar", "statusLine"}, true) + Flags(w, {"okButton", "cancelButton"}), Q("1000"));
            w->reject();
            QVERIFY(w->isVisible());
            Range(dlg, 2);
            Enter(dlg, "editLedLow", "-5");
            Enter(dlg, "editLedHigh", "5");
            Child<QComboBox>(dlg, "comboLedCondition")->setCurrentIndex(1);
            Range(dlg, 6);
            Child<QComboBox>(dlg, "comboTcType")->setCurrentIndex(2);
            for (const char* b : {"radioColdOff", "radioBurnoutOn", "radioOutput7FFFFF"}) Click(dlg, b);
            Child<QComboBox>(dlg, "comboScaleRange")->setCurrentIndex(3);
            Enter(dlg, "editTempLow", "-10.0");
            Enter(dlg, "editTempHigh", "200.5");
            Click(dlg, "okButton");
        };
        m_messages.clear();
        QVERIFY(PressAndSettle(w, "buttonAi2"));
        QCOMPARE(Frames(readCount).join('|'), Q("AJ!|AK!|TJ!|AR!&|TC!\"&|AL!(C0003FFF|TF!#FF9C07D5"));
        SetFields(expected, {{"aj.1", "& "}, {"ak.1", "(C0003FFF"}, {"tj.1", "\"&#FF9C07D5"}});
        QCOMPARE(m_sim->State(node).fields, expected.fields);
        QVERIFY(m_messages.empty() && !w->SettingsWritten());
        QCOMPARE(Flags(w, {"progressBar", "statusLine"}, true) + Flags(w, {"okButton", "cancelButton"}), Q("0111"));
        m_inDialog = [](CSetPirnoInAnalogAI* dlg) { Click(dlg, "cancelButton"); };
        QVERIFY(PressAndSettle(w, "buttonAi3") && PressAndSettle(w, "buttonAi1"));
        QCOMPARE(m_dialogs, 3);
        QCOMPARE(Frames(readCount + 7).join('|'), Q("AJ\"|AK\"|TJ\"|AJ |AK |TJ "));

        SetText(p, "editWakeup", "9");
        Child(p, "editDest1")->clear();
        SetText(p, "editDest3", "100");  // packed into the first slot, written as 64
        Child<QComboBox>(p, "comboCommandWait")->setCurrentIndex(2);
        Click(w, "okButton");
        QVERIFY(w->IsWriteRunning() && !w->InAnalog()->FetchChannel(0));
        QVERIFY(QTest::qWaitFor([w] { return !w->isVisible(); }, 6000) && w->result() == QDialog::Accepted);
        AfterClose();
        // The digital output page writes what it read.
        SetFields(expected, {{"sk", "'64000000 !"}, {"sy", "&09\""}, {"mem.0D0", "0000000000"}, {"mem.0CB", "00"}});
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->State(node).resetCount, 1, 3000);
        QCOMPARE(m_sim->State(node).fields, expected.fields);
        // A blank at position 11; no channel command after the page's writes.
        QCOMPARE(Frames(readCount + 13).join('|'), Q("SE'64000000 !|SLEP&09\"|MW0CB100|MW0D050000000000|RSET/"));
    }

    // No answer in time, for the fetch ("tj" after the time-out) or a channel
    // command: its message, nothing after it, never the dialog after a failed
    // fetch (the late answer included), the GUI thread running on meanwhile.
    void channelTimesOut_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("pressOk");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("frames");
        QTest::newRow("fetch") << "fault 0 delay TJ 1400\n" << false << Q(MSG_CHANNEL_FETCH_FAILED) << "AJ |AK |TJ ";
        QTest::newRow("command") << "fault 0 noanswer TC\n" << true << Q(MSG_CHANNEL_TIMEOUT) << "AJ |AK |TJ |AR  |TC  !";
    }
    void channelTimesOut() {
        QFETCH(QString, fault);
        QFETCH(bool, pressOk);
        QFETCH(QString, message);
        QFETCH(QString, frames);
        CSetPirno* w = Open(UnitScenario(false, fault.toStdString()));
        QVERIFY(w);
        const qsizetype reads = Frames().size();
        if (pressOk) m_inDialog = [](CSetPirnoInAnalogAI* dlg) { Click(dlg, "okButton"); };
        GuiGapMeter meter;
        QVERIFY(PressAndSettle(w, "buttonAi1"));
        QCOMPARE(m_messages, std::vector<QString>{message});
        if (!pressOk) QCOMPARE(nChannelCountdown.load(), CHANNEL_FETCH_FAILED);
        QTest::qWait(800);  // a late answer arrives in this time
        QVERIFY2(meter.MaxGapMs() < GuiGapMeter::kLimitMs, qPrintable(QString::number(meter.MaxGapMs())));
        QCOMPARE(m_messages.size(), size_t(1));
        QCOMPARE(Frames(reads).join('|'), frames);
        QCOMPARE(m_dialogs, int(pressOk));
        QVERIFY(Child<QWidget>(w, "okButton")->isEnabled());
    }

    // The demonstration network's TQ-150-RZ (node 8) through the main
    // window: a channel written from its dialog, then the window's write,
    // the reset, the link closed.
    void demoNodeThroughMainWindow() {
        m_inDialog = [](CSetPirnoInAnalogAI* dlg) {
            CheckTexts(dlg, {{"comboInputRange", "±10V"}, {"editLedLow", "-5.00000"}});
            Child<QComboBox>(dlg, "comboLedCondition")->setCurrentIndex(0);
            Click(dlg, "okButton");
        };
        int step = 0;
        QVERIFY(ThroughMainWindow(rzsim::DefaultScenario(), 8, [&](QWidget* modal) {
            auto* w = qobject_cast<CSetPirno*>(modal);
            if (!w || w->IsWriteRunning() || w->InAnalog()->IsChannelBusy()) return false;
            if (step == 0) Click(w->InAnalog(), "buttonAi1");
            if (step == 1) SetText(w->InAnalog(), "editRetry", "4"), Click(w, "okButton");
            return ++step == 2;
        }));
        QCOMPARE(m_dialogs, 1);
        QCOMPARE(m_sim->State(8).fields.at("ak.0"), std::string(" C0003FFF"));
        QCOMPARE(m_sim->State(8).fields.at("sk"), std::string("'0A000000 $"));
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->State(8).resetCount, 1, 3000);
    }
};

QTEST_MAIN(AnalogWindowTest)
#include "AnalogWindowTest.moc"
