// The gateway and serial converter windows end to end: the device kinds read
// a simulated device over a real pseudo-terminal or loopback TCP, the window
// is driven like an operator would, and the simulator's state shows what was
// written. Last, one connection through the main window's dispatch.
#include "app/MainDlg.h"
#include "forms/CommonTexts.h"
#include "forms/SettingsTexts.h"
#include "forms/UiThread.h"
#include "forms/WirelessTexts.h"
#include "link/Catalogue.h"
#include "link/ErrorAnswer.h"
#include "settings/SetGateway.h"
#include "settings/RegisterSettings.h"
#include "settings/SetSerial.h"
#include "settings/SettingsKinds.h"
#include "tests/GuiLiveness.h"
#include "tools/rzsim/Simulator.h"
#include "wireless/GroupFile.h"
#include "wireless/SetSubG.h"
#include "wireless/SetSubG_Wait.h"
#include "wireless/WirelessUi.h"

#include <QTest>
#include <QtWidgets>

#include <algorithm>
#include <cstring>
#include <utility>

// A serial converter attached directly, in group node 5.
static const std::string kDirectSerial = "device 0 model 15 uid 1\nset 0 group \"! 0012ABCD05 \"\n";

static QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

class SettingsWindowTest : public QObject {
    Q_OBJECT

    QWidget m_main;  // stands in for the main window: handler context and owner
    CGroupFileCipher m_cipher;  // the settings file's cipher, built with the main window
    std::vector<QString> m_messages;
    std::vector<std::string> m_answers;  // device error answers shown
    bool m_holdBox = false;              // keep the error answer's box open
    std::function<void()> m_closeBox;
    QStringList m_asked;  // names offered for saving the group's file (saving is the panel's part)
    std::unique_ptr<rzsim::Simulator> m_sim;
    std::unique_ptr<IDeviceKind> m_kind;  // destroyed before the link closes
    QStringList m_guiLinkCalls;  // made by the windows on the GUI thread (none allowed)

    // A simulated device on a real channel with theLink opened to it, then
    // what the main window does between identification and the window:
    // identity recorded, settings cleared, the kind's handler installed,
    // read; then the window opened. Null when the link or the read fails.
    template <class Kind>
    auto Open(const std::string& scenario, bool tcp, int node, int model, std::uint32_t uid, int timeoutSec = 2) {
        Start(scenario);
        theLink.m_nMode = tcp ? LINK_TCP : LINK_SERIAL;
        theLink.m_strHost = "127.0.0.1";
        if (tcp) theLink.m_strPort = std::to_string(m_sim->StartTcp());  // "-1" fails to open
        else theLink.m_strComPort = m_sim->StartPty();                    // "" fails to open
        theLink.m_nNode = 0;
        theLink.m_nTimeoutSec = timeoutSec;
        if (theLink.Open() != 0) return decltype(std::declval<Kind>().Window()){};
        auto kind = std::make_unique<Kind>(&m_main);
        theLink.m_nNode = node, theLink.m_nModelCode = model, theLink.m_dwUid = uid;
        theLink.ClearSettings();
        theLink.SetReplyHandler(&m_main, kind->Handler());
        auto* w = kind->ReadSettings() == 0 ? kind->Window() : nullptr;
        // From here on the window and what it starts are watched.
        if (w) GuiLinkCalls::Watch(), w->OpenWindow(), w->show();
        m_kind = std::move(kind);
        return w;
    }
    void Start(const std::string& scenario) {
        CloseLink();
        rzsim::Scenario parsed;
        std::string error;
        if (!rzsim::ParseScenario(scenario, &parsed, &error)) qFatal("scenario: %s", error.c_str());
        m_sim = std::make_unique<rzsim::Simulator>(parsed);
    }
    void CloseLink() {
        m_kind.reset();
        m_guiLinkCalls << GuiLinkCalls::Stop();
        theLink.Close();
        theLink.SetReplyHandler(nullptr, nullptr);
        m_sim.reset();
    }
    rzsim::Simulator& Sim() { return *m_sim; }
    // How many frames the device received contain text.
    int Sent(const std::string& text) {
        const auto frames = m_sim->Frames();
        return int(std::count_if(frames.begin(), frames.end(), [&](const std::string& f) { return f.find(text) != f.npos; }));
    }

    template <class T = QLineEdit>
    static T* Child(QWidget* w, const char* name) {
        T* c = w->findChild<T*>(QString::fromLatin1(name));
        if (!c) qFatal("no child %s", name);
        return c;
    }
    static void Click(QWidget* w, const char* name) { Child<QAbstractButton>(w, name)->click(); }
    static void SetText(QWidget* w, const char* name, const char* text) { Child(w, name)->setText(Q(text)); }
    static void EditPanel(CSettingsFrame* w, const std::function<void(GroupPanelFields&)>& edit) {
        GroupPanelFields f = w->Panel()->Fields();
        edit(f);
        w->Panel()->SetFields(f);
    }
    bool Shown(const char* text) const { return std::find(m_messages.begin(), m_messages.end(), Q(text)) != m_messages.end(); }
    // OK, then the window closes as written within the deadline.
    static bool OkCloses(QDialog* w) {
        Click(w, "okButton");
        return QTest::qWaitFor([w] { return !w->isVisible(); }, 8000) && w->result() == QDialog::Accepted;
    }

private slots:
    void init() {
        m_messages.clear(), m_answers.clear(), m_asked.clear(), m_holdBox = false;
        SetGroupFileDialog([this](QWidget*, bool save, const QString& name) {
            m_asked << (save ? name : QString());
            return QString();
        });
        SetMessageSink([this](QWidget*, const QString& text) { m_messages.push_back(text); });
        SetErrorAnswerPresenter([this](const std::string& text, std::function<void()> closed) {
            RunOnGui([this, text, closed] {
                m_answers.push_back(text);
                if (m_holdBox) m_closeBox = closed;
                else closed();
            });
        });
        theWirelessGroup = WirelessGroupRecord{};
    }
    void cleanup() {
        CloseLink();
        const QStringList guiCalls = std::exchange(m_guiLinkCalls, {});
        QVERIFY2(guiCalls.isEmpty(), qPrintable(guiCalls.join(' ')));
        SetMessageSink({});
        SetErrorAnswerPresenter({});
        SetGroupFileDialog({});
        theLink.m_nTimeoutSec = LINK_DEFAULT_TIMEOUT_SEC;
    }

    // A serial converter attached directly: read, edit, write.
    void serialDirect() {
        CSetSerial* w = Open<CSerialKind>(kDirectSerial + "set 0 relay \"% 03  !!0D00 01F7\"\n", false, 0, 15, 0x12345678);
        QVERIFY(w);
        QCOMPARE(Sim().Frames(), (std::vector<std::string>{"00GJ", "00SJ"}));
        QCOMPARE(w->windowTitle(), QString::fromStdString(GetModelName(15, 0)) + Q(" ( node : 5 ) の設定"));
        QCOMPARE(QAccessible::queryAccessibleInterface(Child<QLabel>(w, "statusLine"))->text(QAccessible::Name),
                 Q("UID : 12345678"));
        QVERIFY(w->Panel()->isVisibleTo(w));
        QCOMPARE(Child(w, "editDestNode")->text(), Q("3"));  // filled from the device
        QCOMPARE(Child<QComboBox>(w, "comboBaud")->currentText(), Q("9600"));
        // Enter neither writes nor closes.
        QTest::keyClick(Child(w, "editDestNode"), Qt::Key_Return);
        QTest::keyClick(w, Qt::Key_Enter);
        QVERIFY(w->isVisible() && !w->IsWriteRunning());

        // The rules follow a checked state changed without a click, as keys
        // or assistive technology change it.
        Child<QAbstractButton>(w, "radioModeRtu")->setChecked(true);
        QVERIFY(!Child<QComboBox>(w, "comboTimeout")->isEnabled() && !Child(w, "editFilterLow")->isEnabled());
        Child<QAbstractButton>(w, "radioFilterPass")->setChecked(true);
        QVERIFY(Child(w, "editFilterLow")->isEnabled());
        // A refused value: its message, nothing sent, the window stays.
        SetText(w, "editFilterLow", "00");
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(Shown(MSG_FILTER_RANGE) && !w->IsWriteRunning(), 3000);
        QCOMPARE(Sim().Frames().size(), size_t(2));

        SetText(w, "editDestNode", "7");
        Child<QComboBox>(w, "comboBaud")->setCurrentIndex(10);
        for (const char* button : {"radioStop2", "radioParityEven", "radioFlowCts"}) Click(w, button);
        SetText(w, "editFilterLow", "10");
        SetText(w, "editFilterHigh", "20");
        QVERIFY(OkCloses(w));
        QVERIFY(Shown(MSG_WG_CHANGED));
        QCOMPARE(QString::fromStdString(Sim().State(0).relay), Q("**07!!!!0D00!1020"));
        QCOMPARE(Sent("00SP"), 1);
        QCOMPARE(Sent("00GI"), 0);  // the group was not to be changed
    }

    // A gateway behind the LAN gateway: no group read or write, the panel out
    // of view, a narrower window.
    void remoteGateway() {
        // A group record left from an earlier direct session (no group yet)
        // opens the hidden panel with its master switch on; it is not checked.
        theWirelessGroup.groupNumber = GROUP_NONE;
        CSetGateway* w = Open<CGatewayKind>("device 0 model 14 uid 1\ndevice 4 model 13 uid 4\n", true, 4, 13, 4);
        QVERIFY(w);
        QCOMPARE(Sim().Frames(), (std::vector<std::string>{"04SJ", "04GK", "04MR01A6"}));
        QAccessibleInterface* mac = QAccessible::queryAccessibleInterface(Child<QLabel>(w, "macText"));
        QCOMPARE(mac->text(QAccessible::Name) + mac->text(QAccessible::Description), Q("MACアドレス :00-80-AB-12-34-56"));
        QCOMPARE(Child(w, "editSerialPort")->text(), Q(" 1024"));
        QVERIFY(Child(w, "editSerialPort")->hasAcceptableInput());
        QFrame* area = Child<QFrame>(w, "frameArea");
        const int shift = area->contentsRect().width() + 20;
        QCOMPARE(area->geometry().right(), 15 - shift + area->width() - 1);
        QVERIFY(w->Panel()->mapTo(w, QPoint(w->Panel()->width(), 0)).x() <= 0);
        // The window narrowed with the form: no empty strip where the panel was.
        const int gap = w->width() - Child<QPushButton>(w, "cancelButton")->geometry().right();
        QVERIFY2(gap > 0 && gap < 40, qPrintable(QString::number(gap)));
        SetText(w, "editDestNode", "9");
        SetText(w, "editIp", "10.0.0.2");
        QVERIFY(OkCloses(w));
        QCOMPARE(Sent("04SP  09    0000 0000"), 1);
        QCOMPARE(Sent("04GE27130400 0A000002FFFFFF00C0A800FE"), 1);
        QCOMPARE(Sent("GI") + Sent("GJ"), 0);
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_WG_CHANGED)});
    }

    // A serial converter enrolled as a child from a parent's settings file:
    // its relay settings, then the group from the file with its own node
    // number, then the registration wait until the device reports success.
    void childEnrolledFromFile() {
        const QString path = QDir::temp().filePath(QStringLiteral("rz-child-%1.krz").arg(QCoreApplication::applicationPid()));
        WirelessGroupRecord parent{1, 4, 2, 0x5A0B0C0Du, 0, {}, {}};
        std::memcpy(parent.groupPassword, "pass 1  ", 8);
        std::memset(parent.encryptionPassword, ' ', 32);
        QVERIFY(SaveWirelessGroupFile(path.toStdString(), parent).ok);
        SetGroupFileDialog([path](QWidget*, bool save, const QString&) { return save ? QString() : path; });
        CSetSerial* w = Open<CSerialKind>("device 0 model 15 uid 7\nset 0 group \"! FFFFFFFF00 \"\ngq 2 2 0\n", false, 0, 15, 7);
        QVERIFY(w);
        EditPanel(w, [](GroupPanelFields& f) { f.role = WG_ROLE_CHILD_FILE; });
        w->Panel()->OpenSettingsFile();
        QCOMPARE(w->Panel()->Fields().node, std::string());  // the file holds the parent's node number
        EditPanel(w, [](GroupPanelFields& f) { f.node = "7"; });

        QDeadlineTimer deadline(6000);
        QTimer closer;  // the operator closes the wait once it shows its outcome
        connect(&closer, &QTimer::timeout, [&] {
            auto* wait = qobject_cast<CSetSubG_Wait*>(QApplication::activeModalWidget());
            if (wait && (wait->WaitState() != WAIT_RUNNING || deadline.hasExpired())) Click(wait, "btnClose");
        });
        closer.start(20);
        QVERIFY(OkCloses(w));
        QVERIFY(Sent("00GQ") >= 3);  // polled until the third answer said registered
        // The file's blank encryption password travels as it was loaded.
        const auto frames = Sim().Frames();
        const std::string gi = "00GI$\"5A0B0C0D07pass 1   " + QStringLiteral("20").repeated(32).toStdString();
        QCOMPARE(int(std::count(frames.begin(), frames.end(), gi)), 1);
        QCOMPARE(theLink.m_nPending.load(), 0);
        QFile::remove(path);
    }

    // An error answer, even with code 0, ends the write at once: its own
    // message only, nothing stored, the form live long before the time-out;
    // OK again succeeds as soon as the device accepts.
    void serialErrorAnswerThenRetry() {
        const std::string scenario = kDirectSerial + "set 0 relay \"% 03  !!0D00 01F7\"\n";
        CSetSerial* w = Open<CSerialKind>(scenario + "fault 0 error SP 0\n", false, 0, 15, 1, 5);
        QVERIFY(w);
        QElapsedTimer clock;
        clock.start();
        SetText(w, "editDestNode", "9");
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(!w->IsWriteRunning() && Child(w, "editDestNode")->isEnabled(), 2000);
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(m_answers, std::vector<std::string>{"設定送信エラー:SP-00"});
        QVERIFY(m_messages.empty() && w->isVisible());
        QCOMPARE(Sim().State(0).relay.substr(2, 2), std::string("03"));
        rzsim::Scenario accepting;
        std::string error;
        QVERIFY(rzsim::ParseScenario(scenario, &accepting, &error));
        Sim().SetScenario(accepting);
        QVERIFY(OkCloses(w));
        QCOMPARE(Sim().State(0).relay.substr(2, 2), std::string("09"));
        QCOMPARE(Sent("00SP"), 2);
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_WG_CHANGED)});
    }

    // A refused group write: the device's message only, no settings file
    // offered; Cancel closes at once once the message was closed.
    void groupWriteRejectedThenCancel() {
        m_holdBox = true;
        CSetGateway* w = Open<CGatewayKind>("device 0 model 13 uid 0A0B0C0D\nfault 0 error GI 7\n", false, 0, 13, 0x0A0B0C0D, 5);
        QVERIFY(w);
        EditPanel(w, [](GroupPanelFields& f) { f.groupPassword = "pw", f.channel = "2"; });
        Click(w, "okButton");
        QTRY_COMPARE_WITH_TIMEOUT(m_answers, std::vector<std::string>{"設定送信エラー:GI-07"}, 3000);
        m_closeBox();
        QTRY_VERIFY_WITH_TIMEOUT(Child<QAbstractButton>(w, "cancelButton")->isEnabled(), 2000);
        Click(w, "cancelButton");
        QVERIFY(!w->isVisible());
        QCOMPARE(w->result(), int(QDialog::Rejected));
        QVERIFY(m_messages.empty() && m_asked.isEmpty());
        QCOMPARE(Sent("00GI"), 1);
    }

    // A gateway made parent of a new group. "中止" while "GE" waits for its
    // answer: the form is live at once, "GI" never goes out, nothing is
    // reported. OK again writes its relay and LAN settings, then the group;
    // the group's file is offered for saving under the new group's number.
    void stopThenParentOfANewGroup() {
        CSetGateway* w = Open<CGatewayKind>("device 0 model 13 uid 0A0B0C0D\nfault 0 delay GE 1500\n", false, 0, 13, 0x0A0B0C0D, 4);
        QVERIFY(w);
        QVERIFY(w->Panel()->Fields().master);  // no group yet
        EditPanel(w, [](GroupPanelFields& f) { f.role = WG_ROLE_PARENT, f.groupPassword = "pass 1", f.channel = "3"; });
        auto* ok = Child<QAbstractButton>(w, "okButton");
        ok->click();
        QTRY_COMPARE_WITH_TIMEOUT(Sent("00GE"), 1, 2000);
        QCOMPARE(ok->text(), Q("中止"));
        QCOMPARE(ok->accessibleName(), Q("中止"));
        QVERIFY(!Child(w, "editIp")->isEnabled() && Child<QProgressBar>(w, "progressBar")->isEnabled());
        QElapsedTimer clock;
        clock.start();
        ok->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w->IsWriteRunning() && Child(w, "editIp")->isEnabled(), 1000);
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(ok->text(), Q("OK"));
        QCOMPARE(ok->accessibleName(), Q("OK"));
        QVERIFY(m_messages.empty() && w->isVisible());
        QVERIFY(OkCloses(w));
        const auto frames = Sim().Frames();
        std::vector<std::string> sent;
        for (const std::string& f : frames) sent.push_back(f.substr(0, 4));
        QCOMPARE(sent, (std::vector<std::string>{"00GJ", "00SJ", "00GK", "00MR", "00SP", "00GE", "00SP", "00GE", "00GI"}));
        QCOMPARE(QString::fromStdString(frames[8]), Q("00GI# FFFFFFFF01pass 1   ") + QString(64, QLatin1Char('0')));
        QVERIFY(Shown(MSG_WG_PARENT_CHANGED));
        const std::uint32_t group = rzsim::NewGroupNumber(0x0A0B0C0D);
        QCOMPARE(theWirelessGroup.groupNumber, group);  // from the "gi" answer
        QCOMPARE(m_asked, QStringList{QString::asprintf("KORZ_%08X.krz", group)});
    }

    // The device drops the connection during the write: the link-lost
    // message, and the window closes with -1.
    void linkLostDuringWrite() {
        CSetSerial* w = Open<CSerialKind>("device 0 model 14 uid 1\ndevice 3 model 15 uid 3\nfault drop-after 2\n", true, 3, 15, 3, 3);
        QVERIFY(w);
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
        QCOMPARE(w->result(), CSettingsFrame::RESULT_LINK_LOST);
        QVERIFY(Shown(MSG_LINK_LOST) && !Shown(MSG_COMM_ERROR) && !w->IsWriteRunning());
    }

    // Remote setting over LAN to a serial converter behind the gateway: its
    // window opened by the main window's dispatch, edited, written, and the
    // link closed when it has closed.
    void remoteSerialConverterThroughMainWindow() {
        ClearDeviceKinds();
        RegisterSettingsWindows();
        Start("device 0 model 14 uid 1\ndevice 3 model 15 uid 00C0FFEE\n");
        const int port = Sim().StartTcp();
        QVERIFY(port > 0);
        GuiLinkCalls::Watch();
        CKORVELT_RZsetDlg dlg(nullptr, [](std::vector<PortItem>* items) { return items->clear(), true; });
        dlg.show();
        Click(&dlg, "radioRemote");
        Click(&dlg, "radioLan");
        const std::pair<const char*, QString> fields[] = {
            {"editAddress", "127.0.0.1"}, {"editPort", QString::number(port)}, {"editNode", "3"}, {"editTimeout", "5"}};
        for (const auto& [name, text] : fields) Child(&dlg, name)->setText(text);
        // The window runs modally inside the dispatch: driven from a timer
        // while the connect handler still runs. A failed check, or the
        // deadline, ends every modal window.
        bool written = false;
        QTimer driver;
        connect(&driver, &QTimer::timeout, this, [&] {
            auto* w = qobject_cast<CSetSerial*>(QApplication::activeModalWidget());
            if (!w || written || w->IsWriteRunning()) return;
            written = true;
            // Usable although the main window disabled its controls while busy.
            QVERIFY(w->isEnabled() && Child<QAbstractButton>(w, "okButton")->isEnabled());
            SetText(w, "editDestNode", "42");
            Click(w, "okButton");
        });
        driver.start(20);
        QTimer::singleShot(10000, this, [] {
            if (auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget())) w->done(-2);
        });
        Click(&dlg, "buttonConnect");
        QTRY_VERIFY_WITH_TIMEOUT(written, 8000);
        QTRY_VERIFY_WITH_TIMEOUT(theLink.m_nState.load() == LINK_CLOSED && !QApplication::activeModalWidget(), 8000);
        QCOMPARE(Sim().State(3).relay.substr(2, 2), std::string("2A"));
        QVERIFY(Shown(MSG_WG_CHANGED));
        driver.stop();
        dlg.Shutdown();
    }

    // The serial converter's profile: the window's validation before saving,
    // a saved profile loaded back with changes (nothing sent), refusals
    // naming the field, and the actions in the window's context menu.
    void profileSaveAndLoad() {
        CSetSerial* w = Open<CSerialKind>(kDirectSerial, false, 0, 15, 1);
        QVERIFY(w);
        const QString file = QDir::temp().filePath(QStringLiteral("rzset_serial_%1.json").arg(QCoreApplication::applicationPid()));
        SetText(w, "editFilterLow", "00");
        QVERIFY(!w->SaveProfileTo(file));
        QCOMPARE(m_messages.back(), Q("プロファイルを保存できません。\n") + Q(MSG_FILTER_RANGE));
        QVERIFY(!QFile::exists(file));
        SetText(w, "editFilterLow", "01");
        QVERIFY(w->SaveProfileTo(file));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(f.readAll());
        f.close();
        QVERIFY(text.contains(Q("\"baudRate\": \"9600\"")));
        const std::size_t frames = Sim().Frames().size();
        for (auto [from, to, accepted] : {std::tuple{"\"9600\"", "\"115200\"", true},
                                          std::tuple{"\"115200\"", "\"115201\"", false},
                                          std::tuple{"\"115201\"", "\"115200\"", true}}) {
            text.replace(Q(from), Q(to));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(text.toUtf8());
            f.close();
            QCOMPARE(w->LoadProfileFrom(file), accepted);
        }
        QCOMPARE(m_messages.back().left(40), Q("プロファイルを読み込めません。\nsettings.baudRate: 次のいずれかで指定してください").left(40));
        QCOMPARE(Child<QComboBox>(w, "comboBaud")->currentText(), Q("115200"));
        QCOMPARE(Sim().Frames().size(), frames);  // nothing sent until OK
        QCOMPARE(w->contextMenuPolicy(), Qt::ActionsContextMenu);
        QVERIFY(OkCloses(w));
        QCOMPARE(QString::fromStdString(Sim().State(0).relay).left(1), Q("*"));  // index 10: 115200
        QFile::remove(file);
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
