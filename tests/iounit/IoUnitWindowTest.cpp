// The I/O unit window end to end: the device kind reads a simulated unit
// over a real pseudo-terminal (direct) or through a simulated LAN gateway
// (remote), the pages are driven like an operator would, and the
// simulator's state shows exactly what was written; the reset after a
// written window however it closes, and never otherwise; the validation order
// across pages and the group panel; the enabling rules and accessible names;
// one connection through the main window's dispatch.
#include "app/MainDlg.h"
#include "forms/CommonTexts.h"
#include "forms/IoUnitTexts.h"
#include "forms/UiThread.h"
#include "forms/WirelessTexts.h"
#include "iounit/SetPirnoInDigital.h"
#include "iounit/SetPirnoOutAnalog.h"
#include "iounit/SetPirnoOutDigital.h"
#include "link/Catalogue.h"
#include "link/ErrorAnswer.h"
#include "settings/ProfileDocument.h"
#include "settings/RegisterSettings.h"
#include "settings/SetPirno.h"
#include "settings/SettingsKinds.h"
#include "tests/GuiLiveness.h"
#include "tools/rzsim/Simulator.h"
#include "wireless/SetSubG.h"
#include "wireless/SetSubG_Wait.h"

#include <QTest>
#include <QtWidgets>

#include <algorithm>
#include <map>
#include <thread>
#include <utility>

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// The unit's state before the window: DI interval 5 s to node 10, chattering
// 8 ms, retry 3, sleep off, DI1 and DI2 extended, reset request on; DO1 on at
// start-up, DO3 one-shot 2 s; AO1 5 V, AO2 10 mA lit outside 0..10 mA.
const char* const kUnitState =
    "set U sk \"&0A000000\\x22#\"\nset U sy \" 00 \"\nset U mem.0C9 03\nset U mem.0CC 01\n"
    "set U mem.0CB 01\nset U mem.0D0 0000140000\n"
    "set U mem.19C 0001000000\nset U mem.1A4 FF3F0040000000000000\nset U ak.1 \"(00004000\"\n";

// The unit's scenario: attached directly (in group node 5, so the panel is
// left alone) or as node 5 behind a LAN gateway.
std::string UnitScenario(int model, bool remote, const std::string& extra = {}) {
    const int node = remote ? 5 : 0;
    std::string text = remote ? "device 0 model 14 uid 1\n" : "";
    text += "device " + std::to_string(node) + " model " + std::to_string(model) + " uid 00A1000" +
            std::to_string(model) + "\n";
    if (!remote) text += "set 0 group \"! 0012ABCD05 \"\n";
    std::string state = kUnitState;
    for (std::size_t at; (at = state.find(" U ")) != std::string::npos;) state.replace(at, 3, " " + std::to_string(node) + " ");
    return text + state + extra;
}

}  // namespace

class IoUnitWindowTest : public QObject {
    Q_OBJECT

    QWidget m_main;  // stands in for the main window: handler context and owner
    std::vector<QString> m_messages;
    std::unique_ptr<rzsim::Simulator> m_sim;
    std::unique_ptr<CIoUnitKind> m_kind;  // destroyed before the link closes
    QStringList m_guiLinkCalls;  // made by the window on the GUI thread (none allowed)

    // What the main window does between identification and the window, on a
    // real channel: settings cleared, the handler installed, the read, then
    // the window opened. Null when the link or the read fails.
    CSetPirno* Open(const std::string& scenario, bool remote, int model, int timeoutSec = 2) {
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
        theLink.m_nNode = remote ? 5 : 0, theLink.m_nModelCode = model, theLink.m_dwUid = 0x00A10000u + model;
        theLink.ClearSettings();
        theLink.SetReplyHandler(&m_main, m_kind->Handler());
        CSetPirno* w = m_kind->ReadSettings() == 0 ? m_kind->Window() : nullptr;
        // From here on the window and what it starts are watched.
        if (w) GuiLinkCalls::Watch(), w->OpenWindow(), w->show();
        return w;
    }
    // What the main window does once the window has closed, before it closes
    // the link: the kind's last sends, on a worker.
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
    int Resets(int node) const { return m_sim->State(node).resetCount; }
    // A read answered by the unit: every frame sent before it has been seen.
    // Sent from a worker, as the windows never wait on the GUI thread.
    static bool Sync() {
        bool ok = false;
        std::thread worker([&ok] { ok = SendAndWait(BuildMemoryRead(MEM_STARTUP_MASK), nullptr, nullptr) == 0; });
        worker.join();
        return ok;
    }
    int ResetFrames() const {
        const std::vector<std::string> frames = Frames();
        return int(std::count(frames.begin(), frames.end(), std::string("RSET/")));
    }

    template <class T = QLineEdit>
    static T* Child(QWidget* w, const QString& name) {
        T* c = w->findChild<T*>(name);
        if (!c) qFatal("no child %s", qPrintable(name));
        return c;
    }
    static void Click(QWidget* w, const QString& name) { Child<QAbstractButton>(w, name)->click(); }
    // Typed like an operator: the field knows it was changed.
    static void Type(QWidget* w, const QString& name, const char* text) {
        QLineEdit* e = Child(w, name);
        e->selectAll();
        QTest::keyClicks(e, Q(text));
    }
    bool OkCloses(QDialog* w) {
        Click(w, "okButton");
        return QTest::qWaitFor([w] { return !w->isVisible(); }, 8000) && w->result() == QDialog::Accepted;
    }
    static int VisibleCount(QWidget* w, const char* pattern, int rows) {
        int n = 0;
        for (int i = 1; i <= rows; ++i) n += Child<QWidget>(w, QString::fromLatin1(pattern).arg(i))->isVisibleTo(w);
        return n;
    }

private slots:
    void init() {
        m_messages.clear();
        SetMessageSink([this](QWidget*, const QString& text) { m_messages.push_back(text); });
        SetErrorAnswerPresenter([](const std::string&, std::function<void()> closed) { RunOnGui(closed); });
        theWirelessGroup = WirelessGroupRecord{};
    }
    void cleanup() {
        CloseLink();
        const QStringList guiCalls = std::exchange(m_guiLinkCalls, {});
        QVERIFY2(guiCalls.isEmpty(), qPrintable(guiCalls.join(' ')));
        SetMessageSink({});
        SetErrorAnswerPresenter({});
        theLink.m_nTimeoutSec = LINK_DEFAULT_TIMEOUT_SEC;
    }

    // Each of the five models, direct and remote: its reads, its panes, and
    // a write of every page that changes exactly what was edited, then the
    // reset as the window closes.
    void modelReadEditWrite_data() {
        QTest::addColumn<int>("model");
        QTest::addColumn<bool>("remote");
        for (int model : {1, 2, 3, 4, 9}) {
            for (bool remote : {false, true}) {
                QTest::addRow("%s %s", GetModelName(model, 0).c_str(), remote ? "remote" : "direct") << model << remote;
            }
        }
    }
    void modelReadEditWrite() {
        QFETCH(int, model);
        QFETCH(bool, remote);
        const int node = remote ? 5 : 0;
        CSetPirno* w = Open(UnitScenario(model, remote), remote, model);
        QVERIFY(w);
        const int di = ModelChannels(model, CH_DI), dout = ModelChannels(model, CH_DO), ao = ModelChannels(model, CH_AO);
        std::vector<std::string> reads;
        if (!remote) reads.push_back("GJ");
        if (di) reads.insert(reads.end(), {"SK", "SY", "MR0C91", "MR0CC1"});
        if (dout) reads.insert(reads.end(), {"MR0CB1", "MR0D05"});
        if (ao) reads.insert(reads.end(), {"MR19C5", "MR1A4A", "AK ", "AK!", "AK\""});
        QCOMPARE(Frames(), reads);
        QCOMPARE(w->InDigital()->isVisibleTo(w), di > 0);
        QCOMPARE(w->OutDigital()->isVisibleTo(w), dout > 0);
        QCOMPARE(w->OutAnalog()->isVisibleTo(w), ao > 0);
        // Remote: the panel's area out of view, the panes at the left edge.
        QCOMPARE(w->Panel()->mapTo(w, QPoint(w->Panel()->width(), 0)).x() > 0, !remote);
        for (const char* pane : {"inputPane", "outputPane"}) {
            const QRect r = Child<QFrame>(w, pane)->geometry();
            QVERIFY(r.left() > 0 && r.right() < w->width() && (r.left() < 40) == remote);
        }
        QCOMPARE(w->windowTitle(), QString::fromStdString(GetModelName(model, 0)) + Q(" ( node : 5 ) の設定"));

        rzsim::DeviceState expected = m_sim->State(node);
        if (di) {
            QCOMPARE(VisibleCount(w, "checkDi%1", 5), di);
            QCOMPARE(Child(w, "editDest1")->text(), Q("10"));
            QCOMPARE(Child<QComboBox>(w, "comboChatter")->currentText(), Q("8ms"));
            QVERIFY(Child<QAbstractButton>(w, "checkReset")->isChecked() && !Child<QComboBox>(w, "comboSleepInterval")->isEnabled());
            Child(w, "editDest1")->clear();
            Child(w, "editDest3")->setText("7");  // packed into the first slot
            Child(w, "editRetry")->setText("5");
            Child<QAbstractButton>(w, "checkSleep")->setChecked(true);  // "1時間" preselected
            Child<QComboBox>(w, "comboCommandWait")->setCurrentIndex(2);
            Child(w, "editWakeup")->setText("3");
            expected.fields["sk"] = "&07000000\"%";
            expected.fields["sy"] = "&03\"";
        }
        if (dout) {
            QCOMPARE(VisibleCount(w, "editTime%1", 5), dout);
            QVERIFY(Child<QAbstractButton>(w, "radioStartup1")->isChecked() && Child<QAbstractButton>(w, "radioOneShot3")->isChecked());
            QCOMPARE(Child(w, "editTime3")->text(), Q("20"));
            Click(w, "radioOneShot2");
            Child(w, "editTime2")->setText("50");
            expected.fields["mem.0D0"] = "0032140000";
        }
        if (ao) {
            QCOMPARE(VisibleCount(w, "editValue%1", 5), ao);
            QCOMPARE(Child(w, "editValue1")->text(), Q("4.99985"));
            QCOMPARE(Child(w, "editValue2")->text(), Q(" 10.000"));
            QCOMPARE(Child<QComboBox>(w, "comboCondition2")->currentText(), Q("範囲外"));
            Click(w, "radioCurrent3");
            Type(w, "editValue3", "4");  // 4 mA: code 1999, sent low byte first
            Child<QComboBox>(w, "comboCondition1")->setCurrentIndex(1);
            Type(w, "editLow1", "-2");
            Type(w, "editHigh1", "3");
            expected.fields["mem.19C"] = "0001010000";
            expected.fields["mem.1A4"] = "FF3F0040991900000000";
            expected.fields["ak.0"] = "(E6672666";
            expected.fields["ak.2"] = " 80007FFF";  // the default it reported, written back
        }
        const std::size_t readCount = Frames().size();
        QVERIFY(OkCloses(w));
        QVERIFY(m_messages == std::vector<QString>{Q(MSG_WG_CHANGED)});
        AfterClose();
        QTRY_COMPARE_WITH_TIMEOUT(Resets(node), 1, 3000);  // the reset awaits no answer
        const rzsim::DeviceState after = m_sim->State(node);
        QCOMPARE(after.fields, expected.fields);
        QCOMPARE(after.group, expected.group);
        const std::vector<std::string> frames = Frames();
        QCOMPARE(frames.back(), std::string("RSET/"));
        QCOMPARE(int(frames.size() - readCount), 4 * (di > 0) + 2 * (dout > 0) + (ao ? 2 + ao : 0) + 1);
    }

    // The reset goes out only after a finished write: Cancel after a written
    // window whose group step failed still resets; a window never written,
    // or whose write failed, sends nothing.
    void resetOnlyAfterWrite() {
        CSetPirno* w = Open(UnitScenario(1, false), false, 1);
        QVERIFY(w);
        Click(w, "cancelButton");
        AfterClose();
        QVERIFY(!w->isVisible() && Sync());
        QCOMPARE(ResetFrames(), 0);

        w = Open(UnitScenario(1, false, "fault 0 noanswer MW0D0\n"), false, 1, 1);
        QVERIFY(w);
        Click(w, "okButton");
        QVERIFY(QTest::qWaitFor([&] { return !m_messages.empty() && !w->IsWriteRunning(); }, 5000));
        QVERIFY(m_messages == std::vector<QString>{Q(MSG_COMM_ERROR)} && w->isVisible());
        Click(w, "cancelButton");
        AfterClose();
        QVERIFY(!w->isVisible() && Sync());
        QCOMPARE(ResetFrames(), 0);

        // "中止" while a page is written: nothing more goes out, nothing counts
        // as written, no reset.
        m_messages.clear();
        w = Open(UnitScenario(3, false, "fault 0 delay SLEP 1000\n"), false, 3);
        QVERIFY(w);
        auto* ok = Child<QAbstractButton>(w, "okButton");
        ok->click();
        QVERIFY(QTest::qWaitFor([&] { return ok->text() == Q("中止") && Frames().back().rfind("SLEP", 0) == 0; }, 3000));
        ok->click();
        QVERIFY(QTest::qWaitFor([&] { return !w->IsWriteRunning() && ok->text() == Q("OK"); }, 3000));
        QVERIFY(!w->SettingsWritten() && w->isVisible() && m_messages.empty());
        Click(w, "cancelButton");
        AfterClose();
        QVERIFY(Sync());
        QVERIFY(Frames().end()[-2].rfind("SLEP", 0) == 0);  // then only the test's own read
        QCOMPARE(ResetFrames(), 0);

        // Enrolled as a child that the parent does not take: the settings are
        // written, the registration wait fails, the window stays open.
        w = Open(UnitScenario(1, false, "set 0 group \"! FFFFFFFF01 \"\ngq 1\n"), false, 1);
        QVERIFY(w);
        GroupPanelFields f = w->Panel()->Fields();
        f.role = WG_ROLE_CHILD_MANUAL, f.groupNumber = "0012ABCD", f.groupPassword = "pw", f.channel = "1", f.node = "7";
        w->Panel()->SetFields(f);
        QTimer closer;  // the operator closes the wait once it shows its outcome
        connect(&closer, &QTimer::timeout, [&] {
            auto* wait = qobject_cast<CSetSubG_Wait*>(QApplication::activeModalWidget());
            if (wait && wait->WaitState() != WAIT_RUNNING) Click(wait, "btnClose");
        });
        closer.start(20);
        Click(w, "okButton");
        auto* cancel = Child<QAbstractButton>(w, "cancelButton");  // enabled once the write's end was handled
        QVERIFY(QTest::qWaitFor([&] { return w->SettingsWritten() && cancel->isEnabled() && !QApplication::activeModalWidget(); }, 8000));
        QVERIFY(w->isVisible() && Sync());
        QCOMPARE(ResetFrames(), 0);
        cancel->click();
        QVERIFY(!w->isVisible());
        AfterClose();
        QVERIFY(!w->SendResetAfterWrite());  // once only
        QVERIFY(Sync());
        QCOMPARE(ResetFrames(), 1);
    }

    // Pages are validated in page order and each stops the write before any
    // later page or the group panel is looked at; nothing is sent meanwhile.
    void validationOrderAcrossPages() {
        // No group yet: the panel is to be written and refuses an empty password.
        CSetPirno* w = Open(UnitScenario(9, false, "set 0 group \"! FFFFFFFF01 \"\n"), false, 9);
        QVERIFY(w);
        const std::size_t reads = Frames().size();
        Child(w, "editRetry")->setText("8");
        Type(w, "editLow1", "3");
        Type(w, "editHigh1", "2");
        const char* expected[] = {MSG_RETRY_RANGE, MSG_LED_THRESHOLD_ORDER, MSG_WG_GROUP_PASSWORD_LENGTH};
        for (const char* message : expected) {
            m_messages.clear();
            Click(w, "okButton");
            QVERIFY(QTest::qWaitFor([&] { return !m_messages.empty() && !w->IsWriteRunning(); }, 3000));
            QVERIFY2(m_messages == std::vector<QString>{Q(message)}, qPrintable(m_messages.front()));
            if (message == expected[0]) Child(w, "editRetry")->setText("7");
            if (message == expected[1]) Type(w, "editHigh1", "3");  // equal thresholds are accepted
        }
        QCOMPARE(Frames().size(), reads);
        QVERIFY(!w->SettingsWritten());
    }

    // Enabling follows the boxes however they change; every control is
    // named by its label; a range change shows the same codes in its scale.
    void enablingAndNames() {
        CSetPirno* w = Open(UnitScenario(9, true), true, 9);
        QVERIFY(w);
        auto* sleep = Child<QCheckBox>(w, "checkSleep");
        sleep->setChecked(true);  // not a click: as assistive technology would
        QVERIFY(Child<QComboBox>(w, "comboCommandWait")->isEnabled() && Child<QLabel>(w, "labelWakeup")->isEnabled());
        QCOMPARE(Child<QComboBox>(w, "comboSleepInterval")->currentText(), Q("1時間"));
        Child<QCheckBox>(w, "checkExtension")->setChecked(false);
        QVERIFY(!Child<QCheckBox>(w, "checkDi1")->isEnabled());
        Child<QAbstractButton>(w, "radioCurrent1")->setChecked(true);
        QCOMPARE(Child(w, "editValue1")->text(), Q(" 10.000"));  // the code of 5 V read as current

        QSet<QString> labels;
        for (const char* t : {TXT_DEST_NODES, TXT_RETRY_COUNT, TXT_NOTIFY_INTERVAL, TXT_RESET_REQUEST, TXT_CHATTER_FILTER,
                              TXT_EXTENSION, TXT_SLEEP, TXT_SLEEP_INTERVAL, TXT_COMMAND_WAIT, TXT_WAKEUP_NODE, TXT_DO_NORMAL,
                              TXT_DO_STARTUP_ON, TXT_DO_ONE_SHOT, TXT_AO_VOLTAGE, TXT_AO_CURRENT, TXT_LED_LOW, TXT_LED_HIGH,
                              TXT_LED_CONDITION}) {
            labels << Q(t);
        }
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

        // The window is reused for the next unit: another model, other pages.
        Click(w, "cancelButton");
        theLink.m_nModelCode = 1;
        w->OpenWindow();
        QVERIFY(!w->InDigital()->isVisibleTo(w) && w->OutDigital()->isVisibleTo(w) && !w->OutAnalog()->isVisibleTo(w));
        QCOMPARE(w->windowTitle(), Q("TQ-110-RZ ( node : 5 ) の設定"));
    }

    // Remote setting of the demonstration network's TQ-130-RZ through the
    // main window: the I/O unit window opened by the dispatch, written, the
    // unit reset, the link closed when it has closed.
    void remoteUnitThroughMainWindow() {
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
            {"editAddress", "127.0.0.1"}, {"editPort", QString::number(port)}, {"editNode", "1"}, {"editTimeout", "5"}};
        for (const auto& [name, text] : fields) Child(&dlg, name)->setText(text);
        bool written = false;
        QTimer driver;  // the window runs modally inside the connect handler
        connect(&driver, &QTimer::timeout, this, [&] {
            auto* w = qobject_cast<CSetPirno*>(QApplication::activeModalWidget());
            if (!w || written || w->IsWriteRunning()) return;
            written = true;
            Child(w, "editTime1")->setText("9");
            Click(w, "radioOneShot1");
            Click(w, "okButton");
        });
        driver.start(20);
        QTimer::singleShot(10000, this, [] {
            if (auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget())) w->done(-2);
        });
        Click(&dlg, "buttonConnect");
        QTRY_VERIFY_WITH_TIMEOUT(written, 8000);
        QTRY_VERIFY_WITH_TIMEOUT(theLink.m_nState.load() == LINK_CLOSED && !QApplication::activeModalWidget(), 8000);
        QCOMPARE(m_sim->State(1).fields.at("mem.0D0"), std::string("090A000000"));
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->State(1).resetCount, 1, 3000);
        driver.stop();
        dlg.Shutdown();
    }

    // A profile saved from the window and loaded back with changes: the
    // pages show it, nothing is sent until OK, and OK writes it; a profile
    // of another model is refused and leaves the form as it was.
    void profileSaveAndLoad() {
        CSetPirno* w = Open(UnitScenario(9, true), true, 9);
        QVERIFY(w);
        const QString file = QDir::temp().filePath(QStringLiteral("rzset_io_%1.json").arg(QCoreApplication::applicationPid()));
        QVERIFY(w->SaveProfileTo(file));
        ProfileJson doc;
        ProfileModel model;
        ProfileError error;
        QVERIFY(ReadProfileFile(file.toStdString(), &doc, &model, &error));
        QCOMPARE(doc["settings"]["analogOutput"]["AO1"]["initialValue"].get<double>(), 4.99985);
        doc["settings"]["digitalInput"]["retryCount"] = 5;
        doc["settings"]["analogOutput"]["AO2"]["initialValue"] = 12.5;
        QVERIFY(WriteProfileFile(file.toStdString(), doc, &error));
        const std::size_t reads = Frames().size();
        QVERIFY(w->LoadProfileFrom(file));
        QCOMPARE(Child(w->InDigital(), "editRetry")->text(), Q("5"));
        QCOMPARE(Child(w->OutAnalog(), "editValue2")->text(), Q(" 12.500"));
        QCOMPARE(Frames().size(), reads);

        doc["model"] = {{"name", "TQ-120-RZ"}, {"code", 2}, {"ext", 0}};
        QVERIFY(WriteProfileFile(file.toStdString(), doc, &error));
        QVERIFY(!w->LoadProfileFrom(file));
        QCOMPARE(m_messages.back(), Q("プロファイルを読み込めません。\nmodel: TQ-120-RZ のプロファイルです。TQ-160-RZ には使えません。"));
        QCOMPARE(Child(w->InDigital(), "editRetry")->text(), Q("5"));
        const QList<QAction*> menu = w->actions();
        QCOMPARE(menu.size(), 2);
        QCOMPARE(menu[0]->text() + menu[1]->text(), Q("プロファイルの保存...プロファイルの読込..."));

        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 8000);
        AfterClose();
        QCOMPARE(QString::fromStdString(m_sim->State(5).fields["sk"]), Q("&0A000000\"%"));
        QCOMPARE(QString::fromStdString(m_sim->State(5).fields["mem.1A4"]), Q("FF3FFF4F000000000000"));
        QFile::remove(file);
    }

    // TQ-150-RZ: saving fetches every channel's settings (reads only); a
    // loaded profile's channels go out at OK before the page's writes, as
    // the channel dialog would send them.
    void analogInputProfile() {
        CSetPirno* w = Open(UnitScenario(8, true, "set 5 tj.1 \"\\x23\\x27$FF9C09C4\"\n"), true, 8);
        QVERIFY(w);
        const QString file = QDir::temp().filePath(QStringLiteral("rzset_ai_%1.json").arg(QCoreApplication::applicationPid()));
        std::size_t frames = Frames().size();
        QVERIFY(w->SaveProfileTo(file));
        std::vector<std::string> fetched = Frames();
        fetched.erase(fetched.begin(), fetched.begin() + static_cast<std::ptrdiff_t>(frames));
        QCOMPARE(fetched.size(), size_t(9));
        QCOMPARE(QString::fromStdString(fetched[3] + fetched[4] + fetched[5]), Q("AJ!AK!TJ!"));
        ProfileJson doc;
        ProfileModel model;
        ProfileError error;
        QVERIFY(ReadProfileFile(file.toStdString(), &doc, &model, &error));
        ProfileJson& ai2 = doc["settings"]["analogInput"]["AI2"];
        QCOMPARE(QString::fromStdString(ai2["thermocouple"].get<std::string>() + ai2["burnoutOutput"].get<std::string>()),
                 Q("E7FFFFFh"));
        QCOMPARE(ai2["tempLow"].get<double>(), -10.0);
        ai2["tempHigh"] = 300.0;
        QVERIFY(WriteProfileFile(file.toStdString(), doc, &error));
        frames = Frames().size();
        QVERIFY(w->LoadProfileFrom(file));
        QCOMPARE(Frames().size(), frames);
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 8000);
        AfterClose();
        QTRY_COMPARE_WITH_TIMEOUT(Frames().size(), frames + 17, 3000);
        std::vector<std::string> written = Frames();
        written.erase(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(frames));
        QCOMPARE(written.size(), size_t(12 + 2 + 2 + 1));  // channels, SE and SLEP, the outputs, RSET
        QCOMPARE(QString::fromStdString(written[7]), Q("TF!$FF9C0BB8"));
        QCOMPARE(QString::fromStdString(m_sim->State(5).fields["tj.1"]), Q("#'$FF9C0BB8"));
        QFile::remove(file);
    }
};

QTEST_MAIN(IoUnitWindowTest)
#include "IoUnitWindowTest.moc"
