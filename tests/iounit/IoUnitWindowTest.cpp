// The I/O unit window end to end: the device kind reads a simulated unit
// directly or behind a simulated LAN gateway, the pages are driven like an
// operator would, and the simulator's state shows exactly what was written;
// the reset after a written window however it closes, and never otherwise;
// the validation order across pages and the group panel; the enabling rules
// and accessible names; a TQ-150-RZ profile saved, loaded and written.
#include "forms/CommonTexts.h"
#include "forms/IoUnitTexts.h"
#include "forms/WirelessTexts.h"
#include "iounit/SetPirnoInDigital.h"
#include "iounit/SetPirnoOutAnalog.h"
#include "iounit/SetPirnoOutDigital.h"
#include "link/Catalogue.h"
#include "settings/SetPirno.h"
#include "settings/SettingsKinds.h"
#include "tests/support/WindowHarness.h"

namespace {

// DI interval 5 s to node 10, chattering 8 ms, retry 3, sleep off, DI1 and
// DI2 extended, reset request on; DO1 on at start-up, DO3 one-shot 2 s; AO1
// 5 V, AO2 10 mA lit outside 0..10 mA. Attached directly (in group node 5,
// so the panel is left alone) or as node 5 behind a LAN gateway.
std::string UnitScenario(int model, bool remote, const std::string& extra = {}) {
    const std::string node = remote ? "5" : "0", unit = " model " + std::to_string(model) + " uid 00A1000" + std::to_string(model);
    std::string text = remote ? "device 0 model 14 uid 1\ndevice 5" + unit + "\n" : "device 0" + unit + "\nset 0 group \"! 0012ABCD05 \"\n";
    for (const char* set : {"sk \"&0A000000\\x22#\"", "sy \" 00 \"", "mem.0C9 03", "mem.0CC 01", "mem.0CB 01", "mem.0D0 0000140000",
                            "mem.19C 0001000000", "mem.1A4 FF3F0040000000000000", "ak.1 \"(00004000\""})
        text += "set " + node + " " + set + "\n";
    return text + extra;
}

}  // namespace

class IoUnitWindowTest : public QObject, WindowHarness {
    Q_OBJECT

    CSetPirno* Open(const std::string& scenario, bool remote, int model, int timeoutSec = 2) {
        return WindowHarness::Open<CIoUnitKind>(scenario, remote, remote ? 5 : 0, model, 0x00A10000u + model, timeoutSec);
    }
    // A read answered by the unit: every frame sent before it has been seen.
    // Sent from a worker, as the windows never wait on the GUI thread.
    static bool Sync() {
        bool ok = false;
        std::thread([&ok] { ok = SendAndWait(BuildMemoryRead(MEM_STARTUP_MASK), nullptr, nullptr) == 0; }).join();
        return ok;
    }
    int Resets() const { return Sent("RSET/"); }
    static int VisibleCount(QWidget* w, const char* pattern) {
        int n = 0;
        for (int i = 1; i <= 5; ++i) n += Child<QWidget>(w, qPrintable(QString::fromLatin1(pattern).arg(i)))->isVisibleTo(w);
        return n;
    }

private slots:
    void init() { BeginCase(); }
    void cleanup() { EndCase(); }

    // Each of the five models, direct and remote: its reads, its panes, and
    // a write of every page that changes exactly what was edited, then the
    // reset as the window closes.
    void modelReadEditWrite_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("remote");
        for (int model : {1, 2, 3, 4, 9}) {
            for (bool remote : {false, true})
                QTest::addRow("%s %s", GetModelName(model, 0).c_str(), remote ? "remote" : "direct") << model << remote;
        }
    }
    void modelReadEditWrite() {
        QFETCH(int, model);
        QFETCH(bool, remote);
        const int node = remote ? 5 : 0;
        CSetPirno* w = Open(UnitScenario(model, remote), remote, model);
        QVERIFY(w);
        const int di = ModelChannels(model, CH_DI), dout = ModelChannels(model, CH_DO), ao = ModelChannels(model, CH_AO);
        QStringList reads;
        if (!remote) reads << "GJ";
        if (di) reads << "SK" << "SY" << "MR0C91" << "MR0CC1";
        if (dout) reads << "MR0CB1" << "MR0D05";
        if (ao) reads << "MR19C5" << "MR1A4A" << "AK " << "AK!" << "AK\"";
        QCOMPARE(Frames(), reads);
        QCOMPARE((std::array{w->InDigital()->isVisibleTo(w), w->OutDigital()->isVisibleTo(w), w->OutAnalog()->isVisibleTo(w)}),
                 (std::array{di > 0, dout > 0, ao > 0}));
        // Remote: the panel's area out of view, the panes at the left edge.
        QCOMPARE(w->Panel()->mapTo(w, QPoint(w->Panel()->width(), 0)).x() > 0, !remote);
        for (const char* pane : {"inputPane", "outputPane"}) {
            const QRect r = Child<QFrame>(w, pane)->geometry();
            QVERIFY(r.left() > 0 && r.right() < w->width() && (r.left() < 40) == remote);
        }
        QCOMPARE(w->windowTitle(), QString::fromStdString(GetModelName(model, 0)) + Q(" ( node : 5 ) の設定"));

        rzsim::DeviceState expected = m_sim->State(node);
        if (di) {
            QCOMPARE(VisibleCount(w, "checkDi%1"), di);
            CheckTexts(w, {{"editDest1", "10"}, {"comboChatter", "8ms"}});
            QVERIFY(Child<QAbstractButton>(w, "checkReset")->isChecked() && !Child<QComboBox>(w, "comboSleepInterval")->isEnabled());
            Child(w, "editDest1")->clear();
            SetText(w, "editDest3", "7");  // packed into the first slot
            SetText(w, "editRetry", "5");
            Child<QAbstractButton>(w, "checkSleep")->setChecked(true);  // "1時間" preselected
            Child<QComboBox>(w, "comboCommandWait")->setCurrentIndex(2);
            SetText(w, "editWakeup", "3");
            SetFields(expected, {{"sk", "&07000000\"%"}, {"sy", "&03\""}});
        }
        if (dout) {
            QCOMPARE(VisibleCount(w, "editTime%1"), dout);
            QVERIFY(Child<QAbstractButton>(w, "radioStartup1")->isChecked() && Child<QAbstractButton>(w, "radioOneShot3")->isChecked());
            QCOMPARE(Text(w, "editTime3"), Q("20"));
            Click(w, "radioOneShot2");
            SetText(w, "editTime2", "50");
            SetFields(expected, {{"mem.0D0", "0032140000"}});
        }
        if (ao) {
            QCOMPARE(VisibleCount(w, "editValue%1"), ao);
            CheckTexts(w, {{"editValue1", "4.99985"}, {"editValue2", " 10.000"}, {"comboCondition2", "範囲外"}});
            Click(w, "radioCurrent3");
            Type(w, "editValue3", "4");  // 4 mA: code 1999, sent low byte first
            Child<QComboBox>(w, "comboCondition1")->setCurrentIndex(1);
            Type(w, "editLow1", "-2");
            Type(w, "editHigh1", "3");
            SetFields(expected, {{"mem.19C", "0001010000"}, {"mem.1A4", "FF3F0040991900000000"}, {"ak.0", "(E6672666"},
                                 {"ak.2", " 80007FFF"}});  // AO3's: the default it reported, written back
        }
        const qsizetype readCount = Frames().size();
        QVERIFY(OkCloses(w));
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_WG_CHANGED)});
        AfterClose();
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->State(node).resetCount, 1, 3000);  // the reset awaits no answer
        const rzsim::DeviceState after = m_sim->State(node);
        QCOMPARE(after.fields, expected.fields);
        QCOMPARE(after.group, expected.group);
        const QStringList frames = Frames(readCount);
        QCOMPARE(frames.back(), Q("RSET/"));
        QCOMPARE(int(frames.size()), 4 * (di > 0) + 2 * (dout > 0) + (ao ? 2 + ao : 0) + 1);
    }

    // No reset after a failed write, "中止" or the close box during a write:
    // nothing more goes out, nothing counts as written, the window closes at
    // the end of the write it stopped.
    void noResetWithoutWrite() {
        CSetPirno* w = Open(UnitScenario(3, false, "fault 0 noanswer MW0D0\nfault 0 delay SLEP 1000\n"), false, 3);
        QVERIFY(w);
        auto* ok = Child<QAbstractButton>(w, "okButton");
        ok->click();
        QVERIFY(QTest::qWaitFor([&] { return !m_messages.empty() && !w->IsWriteRunning(); }, 8000));
        QVERIFY(m_messages == std::vector<QString>{Q(MSG_COMM_ERROR)} && w->isVisible() && !w->SettingsWritten());
        m_messages.clear();
        for (bool stop : {true, false}) {
            const qsizetype sent = Frames().size();
            ok->click();
            QVERIFY(QTest::qWaitFor([&] { return ok->text() == Q("中止") && Frames(sent).join('|').contains("SLEP"); }, 3000));
            stop ? ok->click() : w->reject();
            QVERIFY(QTest::qWaitFor([&] { return !w->IsWriteRunning() && ok->text() == Q("OK"); }, 3000));
            QVERIFY(!w->SettingsWritten() && w->isVisible() == stop && m_messages.empty());
        }
        AfterClose();
        QVERIFY(Sync());
        QVERIFY(Frames().end()[-2].startsWith("SLEP"));  // then only the test's own read
        QCOMPARE(Resets(), 0);
    }

    // Pages are validated in page order and each stops the write before any
    // later page or the group panel is looked at; nothing is sent meanwhile.
    // Then enrolled as a child that the parent does not take: the settings
    // are written, the registration wait fails, the window stays open with no
    // reset; Cancel then resets the unit, once.
    void validationOrderThenFailedEnrolment() {
        // No group yet: the panel is to be written and refuses an empty password.
        CSetPirno* w = Open(UnitScenario(9, false, "set 0 group \"! FFFFFFFF01 \"\ngq 1\n"), false, 9);
        QVERIFY(w);
        const qsizetype reads = Frames().size();
        SetText(w, "editRetry", "8");
        Type(w, "editLow1", "3");
        Type(w, "editHigh1", "2");
        const char* expected[] = {MSG_RETRY_RANGE, MSG_LED_THRESHOLD_ORDER, MSG_WG_GROUP_PASSWORD_LENGTH};
        for (const char* message : expected) {
            m_messages.clear();
            Click(w, "okButton");
            QVERIFY(QTest::qWaitFor([&] { return !m_messages.empty() && !w->IsWriteRunning(); }, 3000));
            QCOMPARE(m_messages, std::vector<QString>{Q(message)});
            if (message == expected[0]) SetText(w, "editRetry", "7");
            if (message == expected[1]) Type(w, "editHigh1", "3");  // equal thresholds are accepted
        }
        QCOMPARE(Frames().size(), reads);
        QVERIFY(!w->SettingsWritten());

        EditPanel(w, [](GroupPanelFields& f) {
            f.role = WG_ROLE_CHILD_MANUAL, f.groupNumber = "0012ABCD", f.groupPassword = "pw", f.channel = "1", f.node = "7";
        });
        Click(w, "okButton");
        auto* cancel = Child<QAbstractButton>(w, "cancelButton");  // enabled once the write's end was handled
        QVERIFY(QTest::qWaitFor([&] { return w->SettingsWritten() && cancel->isEnabled() && !QApplication::activeModalWidget(); }, 8000));
        QVERIFY(w->isVisible() && Sync());
        QCOMPARE(Resets(), 0);
        cancel->click();
        QVERIFY(!w->isVisible());
        AfterClose();
        QVERIFY(!w->SendResetAfterWrite());  // once only
        QVERIFY(Sync());
        QCOMPARE(Resets(), 1);
    }

    // TQ-160-RZ behind the gateway. Enabling follows the boxes however they
    // change; every control is named by its label; a range change shows the
    // same code in its scale. Then the window is reused for the next unit:
    // another model, other pages.
    void enablingNamesAndReuse() {
        CSetPirno* w = Open(UnitScenario(9, true), true, 9);
        QVERIFY(w);
        Child<QCheckBox>(w, "checkSleep")->setChecked(true);  // not a click: as assistive technology would
        Child<QCheckBox>(w, "checkExtension")->setChecked(false);
        QCOMPARE(Flags(w, {"comboCommandWait", "labelWakeup", "checkDi1"}), Q("110"));
        QCOMPARE(Text(w, "comboSleepInterval"), Q("1時間"));
        Child<QAbstractButton>(w, "radioCurrent1")->setChecked(true);
        QCOMPARE(Text(w, "editValue1"), Q(" 10.000"));  // the code of 5 V read as current

        QSet<QString> labels;
        for (const char* t : {TXT_DEST_NODES, TXT_RETRY_COUNT, TXT_NOTIFY_INTERVAL, TXT_RESET_REQUEST, TXT_CHATTER_FILTER,
                              TXT_EXTENSION, TXT_SLEEP, TXT_SLEEP_INTERVAL, TXT_COMMAND_WAIT, TXT_WAKEUP_NODE, TXT_DO_NORMAL,
                              TXT_DO_STARTUP_ON, TXT_DO_ONE_SHOT, TXT_AO_VOLTAGE, TXT_AO_CURRENT, TXT_LED_LOW, TXT_LED_HIGH,
                              TXT_LED_CONDITION})
            labels << Q(t);
        for (int n = 1; n <= 5; ++n) labels << QStringLiteral("DI%1").arg(n) << QStringLiteral("DO%1 :").arg(n) << QStringLiteral("AO%1 :").arg(n);
        for (QWidget* page : {static_cast<QWidget*>(w->InDigital()), static_cast<QWidget*>(w->OutDigital()),
                              static_cast<QWidget*>(w->OutAnalog())}) {
            for (QWidget* c : page->findChildren<QWidget*>()) {
                if (!qobject_cast<QLineEdit*>(c) && !qobject_cast<QComboBox*>(c) && !qobject_cast<QAbstractButton*>(c)) continue;
                QVERIFY2(labels.contains(c->accessibleName()), qPrintable(c->objectName() + " " + c->accessibleName()));
                if (auto* b = qobject_cast<QAbstractButton*>(c); b && !b->text().isEmpty()) QCOMPARE(b->accessibleName(), b->text());
            }
        }
        QCOMPARE(Child(w, "editTime2")->accessibleName(), Q("DO2 :"));
        QCOMPARE(Child<QWidget>(w, "radioCurrent3")->accessibleDescription(), Q("AO3 :"));

        Click(w, "cancelButton");
        theLink.m_nModelCode = 1;
        w->OpenWindow();
        QVERIFY(!w->InDigital()->isVisibleTo(w) && w->OutDigital()->isVisibleTo(w) && !w->OutAnalog()->isVisibleTo(w));
        QCOMPARE(w->windowTitle(), Q("TQ-110-RZ ( node : 5 ) の設定"));
    }

    // TQ-150-RZ: saving fetches every channel's settings (reads only); a
    // loaded profile's channels go out at OK before the page's writes, as
    // the channel dialog would send them.
    void analogInputProfile() {
        CSetPirno* w = Open(UnitScenario(8, true, "set 5 tj.1 \"\\x23\\x27$FF9C09C4\"\n"), true, 8);
        QVERIFY(w);
        const QString file = TempFile("rzset_ai");
        qsizetype frames = Frames().size();
        ProfileJson doc = Saved(w, file);
        QVERIFY(doc.is_object());
        QCOMPARE(Frames(frames).join('|'), Q("AJ |AK |TJ |AJ!|AK!|TJ!|AJ\"|AK\"|TJ\""));
        ProfileJson& ai2 = doc["settings"]["analogInput"]["AI2"];
        QCOMPARE(ai2["thermocouple"].get<std::string>() + ai2["burnoutOutput"].get<std::string>(), std::string("E7FFFFFh"));
        ai2["tempHigh"] = 300.0;
        QVERIFY(Write(file, doc));
        frames = Frames().size();
        QVERIFY(w->LoadProfileFrom(file));
        QCOMPARE(Frames().size(), frames);
        QVERIFY(OkCloses(w));
        AfterClose();
        QTRY_COMPARE_WITH_TIMEOUT(Frames().size(), frames + 17, 3000);  // channels, SE and SLEP, the outputs, RSET
        QCOMPARE(Frames(frames)[7], Q("TF!$FF9C0BB8"));
        QCOMPARE(m_sim->State(5).fields["tj.1"], std::string("#'$FF9C0BB8"));
        QFile::remove(file);
    }
};

QTEST_MAIN(IoUnitWindowTest)
#include "IoUnitWindowTest.moc"
