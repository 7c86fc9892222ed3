// The analog input channel dialog "AIの設定" and the analog input page's
// channel buttons driven like an operator would (Qt Test, offscreen) against
// the simulator: what the dialog shows for a fetched record, the range
// change, leaving a threshold field, Enter and Esc, OK's message and
// commands; a fetch, edit and OK on the wire, Cancel, a fetch and a command
// that time out while the GUI thread keeps running.
#include "forms/AnalogTexts.h"
#include "forms/IoUnitTexts.h"
#include "forms/UiThread.h"
#include "iounit/AnalogInput.h"
#include "iounit/IoUnitCore.h"
#include "iounit/SetPirnoInAnalog.h"
#include "iounit/SetPirnoInAnalogAI.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"
#include "tools/rzsim/Simulator.h"

#include <QSignalSpy>
#include <QTest>
#include <QtWidgets>

#include <atomic>
#include <thread>

static QString Q(const char* utf8) { return QString::fromUtf8(utf8); }
static const std::string T(1, static_cast<char>(REPLY_TERMINATOR));

// The longest pause of the GUI thread's event loop while it runs (a 10 ms
// timer that notes the gaps between its ticks).
class GuiStallMeter {
public:
    GuiStallMeter() {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
        });
        m_timer.start(10);
    }
    qint64 Longest() const { return std::max(m_longest, m_clock.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

class AnalogWindowTest : public QObject {
    Q_OBJECT

    std::vector<QString> m_messages;
    std::unique_ptr<rzsim::Simulator> m_sim;
    std::unique_ptr<CSetPirnoInAnalog> m_page;
    QTimer m_driver;  // acts in the channel dialog while it runs modally
    std::function<void(CSetPirnoInAnalogAI*)> m_inDialog;
    int m_dialogs = 0;

    // TQ-150-RZ attached over a pseudo-terminal, the page open for it.
    void StartPage(const std::string& scenario) {
        rzsim::Scenario parsed;
        std::string error;
        if (!rzsim::ParseScenario("device 0 model 8 uid 8\n" + scenario, &parsed, &error)) qFatal("%s", error.c_str());
        m_sim = std::make_unique<rzsim::Simulator>(parsed);
        theLink.m_nMode = LINK_SERIAL;
        theLink.m_strComPort = m_sim->StartPty();
        theLink.m_nNode = 0;
        theLink.m_nTimeoutSec = 1;
        theLink.m_nModelCode = MODEL_TQ150;
        theLink.ClearSettings();
        QCOMPARE(theLink.Open(), 0);
        theLink.SetReplyHandler(this, &IoUnitReplyHandler);
        m_page = std::make_unique<CSetPirnoInAnalog>();
        m_page->Create(ModelChannels(MODEL_TQ150, CH_AI));
        m_page->show();
    }
    std::vector<std::string> Frames() const { return m_sim->Frames(); }
    // Presses an AI button, then waits until the page is idle again.
    bool PressAndSettle(const char* button, int deadlineMs = 6000) {
        Child<QPushButton>(m_page.get(), button)->click();
        return QTest::qWaitFor([this] { return !m_page->IsChannelBusy(); }, deadlineMs);
    }

    template <class C = QLineEdit>
    static C* Child(QWidget* w, const char* name) {
        C* c = w->findChild<C*>(QString::fromLatin1(name));
        if (!c) qFatal("no child %s", name);
        return c;
    }
    // Types text into a field and moves the focus on, as an operator would.
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
    }
    void cleanup() {
        m_driver.stop();
        m_page.reset();
        theLink.Close();
        theLink.SetReplyHandler(nullptr, nullptr);
        theLink.m_nTimeoutSec = LINK_DEFAULT_TIMEOUT_SEC;
        m_sim.reset();
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
        const auto& cmds = dlg.Commands();
        QCOMPARE(cmds[0], "AR\x22\x23" + T);  // AI3 on ±30V
        QCOMPARE(cmds[1], "TC\"  " + T);
        QCOMPARE(cmds[2], "AL\" 00007FFF" + T);
        QCOMPARE(cmds[3], "TF\" 000A000A" + T);

        // Cancel (and the close box) ends without commands.
        CSetPirnoInAnalogAI other;
        other.SetChannel(0, AiChannelSettings{});
        other.show();
        Child<QPushButton>(&other, "cancelButton")->click();
        QCOMPARE(other.result(), int(QDialog::Rejected));
        QVERIFY(other.Commands()[0].empty());
    }

    // The page shows the stored settings, follows "スリープ有効", names its
    // controls after their labels and validates on a worker thread.
    void pageFormAndValidation() {
        StartPage("");
        AnalogInputSettings& s = TheAnalogInputSettings();
        s.m_anDestNode[0] = 5, s.m_anDestNode[2] = 100, s.m_nRetryCount = 3, s.m_nNotifyInterval = 9;
        s.m_nCommandWait = 1, s.m_aChannel[0].m_nInputRange = 4;
        m_page->Create(ModelChannels(MODEL_TQ150, CH_AI));
        CSetPirnoInAnalog* p = m_page.get();
        QCOMPARE(Child(p, "editDest1")->text() + "," + Child(p, "editDest2")->text() + "," + Child(p, "editDest3")->text(),
                 Q("5,,100"));
        QCOMPARE(Child(p, "editRetry")->text(), Q("3"));
        QCOMPARE(Child<QComboBox>(p, "comboNotify")->currentText(), Q("10分"));
        QCOMPARE(Child<QComboBox>(p, "comboSleepInterval")->currentText(), Q("1時間"));
        QCOMPARE(Child<QComboBox>(p, "comboCommandWait")->currentText(), Q("10秒"));
        QVERIFY(!Child<QCheckBox>(p, "checkSleep")->isChecked() && !Child<QWidget>(p, "editWakeup")->isEnabled());
        Child<QCheckBox>(p, "checkSleep")->setChecked(true);  // however the box changes
        QVERIFY(Child<QWidget>(p, "editWakeup")->isEnabled() && Child<QWidget>(p, "labelCommandWait")->isEnabled());
        const std::pair<const char*, const char*> names[] = {
            {"editDest4", TXT_DEST_NODES}, {"editRetry", TXT_RETRY_COUNT}, {"comboNotify", TXT_NOTIFY_INTERVAL},
            {"checkSleep", TXT_SLEEP}, {"comboSleepInterval", TXT_SLEEP_INTERVAL}, {"comboCommandWait", TXT_COMMAND_WAIT},
            {"editWakeup", TXT_WAKEUP_NODE}, {"buttonAi2", "AI2の設定"}};
        for (const auto& [name, label] : names) QCOMPARE(Child<QWidget>(p, name)->accessibleName(), Q(label));

        // On the window's write worker: the first refused value, then a valid form.
        auto validate = [p] {
            std::atomic<int> result{-1};
            std::thread worker([&] { result = p->Validate() ? 1 : 0; });
            const bool ended = QTest::qWaitFor([&] { return result.load() != -1; }, 3000);
            worker.join();
            return ended ? result.load() : -1;
        };
        Child(p, "editWakeup")->setText(Q("255"));
        QCOMPARE(validate(), 0);
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_WAKEUP_RANGE)});
        Child(p, "editWakeup")->setText(Q("254"));
        Child(p, "editDest1")->clear();
        QCOMPARE(validate(), 1);
        QCOMPARE((std::vector<int>{s.m_anDestNode[0], s.m_anDestNode[1], s.m_nSleepCode, s.m_nWakeupNode,
                                   s.m_aChannel[0].m_nInputRange}),
                 (std::vector<int>{100, 0, 6, 254, 0}));
    }

    // TQ-150-RZ: AI1 to AI3; a fetch, edit and OK change exactly the
    // channel's state on the device, with AR, TC, AL, TF in that order.
    void channelFetchEditOk() {
        StartPage("set 0 aj.1 \"# \"\n");
        for (int i = 1; i <= 5; ++i) {
            const QString name = QStringLiteral("buttonAi%1").arg(i);
            QCOMPARE(m_page->findChild<QPushButton*>(name)->isVisibleTo(m_page.get()), i <= 3);
        }
        QVERIFY(!Child<QWidget>(m_page.get(), "checkReset")->isVisibleTo(m_page.get()));
        const rzsim::DeviceState before = m_sim->State(0);
        QSignalSpy busy(m_page.get(), &CSetPirnoInAnalog::channelBusyChanged);
        m_inDialog = [this](CSetPirnoInAnalogAI* dlg) {
            QCOMPARE(dlg->Channel(), 1);
            QCOMPARE(Child<QComboBox>(dlg, "comboInputRange")->currentText(), Q("±30V"));
            QVERIFY(m_page->IsChannelBusy() && !m_page->FetchChannel(0));  // one sequence at a time
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
        QVERIFY(PressAndSettle("buttonAi2"));
        QCOMPARE(m_dialogs, 1);
        QCOMPARE(Frames(), (std::vector<std::string>{"00AJ!", "00AK!", "00TJ!", "00AR!&", "00TC!\"&", "00AL!(C0003FFF",
                                                     "00TF!#FF9C07D5"}));
        rzsim::DeviceState expected = before;
        expected.fields["aj.1"] = "& ";
        expected.fields["ak.1"] = "(C0003FFF";
        expected.fields["tj.1"] = "\"&#FF9C07D5";
        QCOMPARE(m_sim->State(0).fields, expected.fields);
        QCOMPARE(busy.size(), 2);  // busy from the press until the last command
        QVERIFY(m_messages.empty());
    }

    // Cancel in the dialog sends nothing; the buttons take the next press.
    void channelCancelSendsNothing() {
        StartPage("");
        m_inDialog = [](CSetPirnoInAnalogAI* dlg) { Child<QPushButton>(dlg, "cancelButton")->click(); };
        QVERIFY(PressAndSettle("buttonAi3"));
        QCOMPARE(Frames(), (std::vector<std::string>{"00AJ\"", "00AK\"", "00TJ\""}));
        // While the window writes, the buttons are refused.
        m_page->SetWriteRunningQuery([] { return true; });
        QVERIFY(!m_page->FetchChannel(0));
        m_page->SetWriteRunningQuery([] { return false; });
        QVERIFY(PressAndSettle("buttonAi1"));
        QCOMPARE(m_dialogs, 2);
        QCOMPARE(Frames().size(), size_t(6));
    }

    // "tj" comes after the time-out: the fetch message, never the dialog,
    // and the GUI thread runs on during the wait.
    void fetchTimesOut() {
        StartPage("fault 0 delay TJ 1400\n");
        GuiStallMeter meter;
        QVERIFY(PressAndSettle("buttonAi1"));
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_CHANNEL_FETCH_FAILED)});
        QCOMPARE(nChannelCountdown.load(), CHANNEL_FETCH_FAILED);
        QTest::qWait(800);  // the late answer arrives in this window
        QVERIFY2(meter.Longest() < 100, qPrintable(QString::number(meter.Longest())));
        QCOMPARE(m_dialogs, 0);
        QCOMPARE(Frames(), (std::vector<std::string>{"00AJ ", "00AK ", "00TJ "}));
    }

    // A channel command without an answer: the time-out message, the rest
    // not sent, the GUI thread running on.
    void channelCommandTimesOut() {
        StartPage("fault 0 noanswer TC\n");
        m_inDialog = [](CSetPirnoInAnalogAI* dlg) { Child<QPushButton>(dlg, "okButton")->click(); };
        GuiStallMeter meter;
        QVERIFY(PressAndSettle("buttonAi1"));
        QVERIFY2(meter.Longest() < 100, qPrintable(QString::number(meter.Longest())));
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_CHANNEL_TIMEOUT)});
        const auto frames = Frames();
        QCOMPARE(frames.size(), size_t(5));
        QCOMPARE(frames[3].substr(0, 5) + frames[4].substr(0, 5), std::string("00AR 00TC "));
    }
};

QTEST_MAIN(AnalogWindowTest)
#include "AnalogWindowTest.moc"
