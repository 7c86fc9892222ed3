// The gateway and serial converter windows end to end: the device kinds read
// a simulated device over a real pseudo-terminal or loopback TCP, the window
// is driven like an operator would, and the simulator's state shows what was
// written. Last, one connection through the main window's dispatch.
#include "forms/CommonTexts.h"
#include "forms/SettingsTexts.h"
#include "forms/WirelessTexts.h"
#include "settings/SetGateway.h"
#include "settings/SetSerial.h"
#include "settings/SettingsKinds.h"
#include "tests/support/WindowHarness.h"
#include "wireless/GroupFile.h"
#include "wireless/WirelessUi.h"

#include <cstring>

namespace {

// A serial converter attached directly, in group node 5.
const std::string kDirectSerial = "device 0 model 15 uid 1\nset 0 group \"! 0012ABCD05 \"\n";
// A gateway attached directly, in no group yet.
const std::string kGateway = "device 0 model 13 uid 0A0B0C0D\n";

}  // namespace

class SettingsWindowTest : public QObject, WindowHarness {
    Q_OBJECT

    CGroupFileCipher m_cipher;  // the settings file's cipher, built with the main window
    QStringList m_asked;        // names offered for saving the group's file (saving is the panel's part)

private slots:
    void init() {
        BeginCase();
        m_asked.clear();
        SetGroupFileDialog([this](QWidget*, bool save, const QString& name) {
            m_asked << (save ? name : QString());
            return QString();
        });
    }
    void cleanup() {
        EndCase();
        SetGroupFileDialog({});
    }

    // A serial converter attached directly: read; Enter; the enabling rules;
    // a refused value refusing the profile's save with its message; a profile
    // saved and loaded back changed, or refused (nothing sent until OK); an error
    // answer, even with code 0, ends the write at once with its own message
    // only, nothing stored, the form live long before the time-out; OK again
    // writes exactly the form as soon as the device accepts.
    void serialDirect() {
        const std::string scenario = kDirectSerial + "set 0 relay \"% 03  !!0D00 01F7\"\n";
        CSetSerial* w = Open<CSerialKind>(scenario + "fault 0 error SP 0\n", false, 0, 15, 0x12345678, 5);
        QVERIFY(w);
        QCOMPARE(Frames().join('|'), Q("GJ|SJ"));
        QCOMPARE(QAccessible::queryAccessibleInterface(Child<QLabel>(w, "statusLine"))->text(QAccessible::Name),
                 Q("UID : 12345678"));
        QVERIFY(w->Panel()->isVisibleTo(w));
        CheckTexts(w, {{"editDestNode", "3"}, {"comboBaud", "9600"}});  // filled from the device
        QTest::keyClick(Child(w, "editDestNode"), Qt::Key_Return);  // Enter neither writes nor closes
        QTest::keyClick(w, Qt::Key_Enter);
        QVERIFY(w->isVisible() && !w->IsWriteRunning());
        // The rules follow a checked state changed without a click, as keys
        // or assistive technology change it.
        Child<QAbstractButton>(w, "radioModeRtu")->setChecked(true);
        QVERIFY(!Child<QComboBox>(w, "comboTimeout")->isEnabled() && !Child(w, "editFilterLow")->isEnabled());
        Child<QAbstractButton>(w, "radioFilterPass")->setChecked(true);
        QVERIFY(Child(w, "editFilterLow")->isEnabled());

        SetText(w, "editFilterLow", "00");
        const QString file = TempFile("rzset_serial");
        QVERIFY(Saved(w, file).is_null());
        QCOMPARE(m_messages.back(), Q("プロファイルを保存できません。\n") + Q(MSG_FILTER_RANGE));
        QVERIFY(!QFile::exists(file));
        SetText(w, "editFilterLow", "01");
        ProfileJson doc = Saved(w, file);
        QCOMPARE(doc["settings"]["baudRate"], "9600");
        for (auto [baud, accepted] : {std::pair{"115200", true}, std::pair{"115201", false}}) {
            doc["settings"]["baudRate"] = baud;
            QVERIFY(Write(file, doc));
            QCOMPARE(w->LoadProfileFrom(file), accepted);
        }
        QFile::remove(file);
        QVERIFY(m_messages.back().startsWith(Q("プロファイルを読み込めません。\nsettings.baudRate: 次のいずれかで指定してください")));
        QCOMPARE(Text(w, "comboBaud"), Q("115200"));  // as loaded before the refusal
        QCOMPARE(w->contextMenuPolicy(), Qt::ActionsContextMenu);
        QCOMPARE(Frames().size(), 2);

        SetText(w, "editDestNode", "7");
        for (const char* button : {"radioStop2", "radioParityEven", "radioFlowCts"}) Click(w, button);
        SetText(w, "editFilterLow", "10");
        SetText(w, "editFilterHigh", "20");
        m_messages.clear();
        QElapsedTimer clock;
        clock.start();
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(!w->IsWriteRunning() && Child(w, "editDestNode")->isEnabled(), 2000);
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(m_answers, std::vector<std::string>{"設定送信エラー:SP-00"});
        QVERIFY(m_messages.empty() && w->isVisible());
        QCOMPARE(m_sim->State(0).relay.substr(2, 2), std::string("03"));
        m_sim->SetScenario(Parse(scenario));
        QVERIFY(OkCloses(w));
        QCOMPARE(m_messages, std::vector<QString>{Q(MSG_WG_CHANGED)});
        QCOMPARE(QString::fromStdString(m_sim->State(0).relay), Q("**07!!!!0D00!1020"));  // 115200: index 10
        QCOMPARE(Sent("SP"), 2);
        QCOMPARE(Sent("GI"), 0);  // the group was not to be changed
    }

    // A gateway behind the LAN gateway: no group read or write, the panel out
    // of view, a narrower window.
    void remoteGateway() {
        // A group record left from an earlier direct session (no group yet)
        // opens the hidden panel with its master switch on; it is not checked.
        theWirelessGroup.groupNumber = GROUP_NONE;
        CSetGateway* w = Open<CGatewayKind>("device 0 model 14 uid 1\ndevice 4 model 13 uid 4\n", true, 4, 13, 4);
        QVERIFY(w);
        QCOMPARE(m_sim->Frames(), (std::vector<std::string>{"04SJ", "04GK", "04MR01A6"}));
        QAccessibleInterface* mac = QAccessible::queryAccessibleInterface(Child<QLabel>(w, "macText"));
        QCOMPARE(mac->text(QAccessible::Name) + mac->text(QAccessible::Description), Q("MACアドレス :00-80-AB-12-34-56"));
        QCOMPARE(Text(w, "editSerialPort"), Q(" 1024"));
        QVERIFY(Child(w, "editSerialPort")->hasAcceptableInput());
        QVERIFY(w->Panel()->mapTo(w, QPoint(w->Panel()->width(), 0)).x() <= 0);
        // The window narrowed with the form: no empty strip where the panel was.
        const int gap = w->width() - Child<QPushButton>(w, "cancelButton")->geometry().right();
        QVERIFY2(gap > 0 && gap < 40, qPrintable(QString::number(gap)));
        SetText(w, "editDestNode", "9");
        SetText(w, "editIp", "10.0.0.2");
        QVERIFY(OkCloses(w));
        QCOMPARE(Sent("SP  09    0000 0000"), 1);
        QCOMPARE(Sent("GE27130400 0A000002FFFFFF00C0A800FE"), 1);
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
        QVERIFY(OkCloses(w));
        QVERIFY(Sent("GQ") >= 3);  // polled until the third answer said registered
        // The file's blank encryption password travels as it was loaded.
        QCOMPARE(Frames().count(Q("GI$\"5A0B0C0D07pass 1   ") + QString("20").repeated(32)), 1);
        QCOMPARE(theLink.m_nPending.load(), 0);
        QFile::remove(path);
    }

    // A gateway made parent of a new group. "中止" while "GE" waits for its
    // answer: the form is live at once, "GI" never goes out, nothing is
    // reported. A refused group write: the device's message only, no file
    // offered, the form live once the message was closed. OK again writes the
    // relay and LAN settings, then the group; the group's file is offered for
    // saving under the new group's number.
    void gatewayParentStopRefusalRetry() {
        m_holdBox = true;
        CSetGateway* w = Open<CGatewayKind>(kGateway + "fault 0 delay GE 1500\n", false, 0, 13, 0x0A0B0C0D, 4);
        QVERIFY(w);
        QVERIFY(w->Panel()->Fields().master);  // no group yet
        EditPanel(w, [](GroupPanelFields& f) { f.role = WG_ROLE_PARENT, f.groupPassword = "pass 1", f.channel = "3"; });
        auto* ok = Child<QAbstractButton>(w, "okButton");
        ok->click();
        QTRY_COMPARE_WITH_TIMEOUT(Sent("GE"), 1, 2000);
        QCOMPARE(ok->text() + "|" + ok->accessibleName(), Q("中止|中止"));
        QVERIFY(!Child(w, "editIp")->isEnabled() && Child<QProgressBar>(w, "progressBar")->isEnabled());
        QElapsedTimer clock;
        clock.start();
        ok->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w->IsWriteRunning() && Child(w, "editIp")->isEnabled(), 1000);
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(ok->text() + "|" + ok->accessibleName(), Q("OK|OK"));
        QVERIFY(m_messages.empty() && w->isVisible() && Sent("GI") == 0);

        m_sim->SetScenario(Parse(kGateway + "fault 0 error GI 7\n"));
        ok->click();
        QTRY_COMPARE_WITH_TIMEOUT(m_answers, std::vector<std::string>{"設定送信エラー:GI-07"}, 3000);
        m_closeBox();
        QTRY_VERIFY_WITH_TIMEOUT(!w->IsWriteRunning() && Child<QAbstractButton>(w, "cancelButton")->isEnabled(), 2000);
        QVERIFY(m_messages.empty() && m_asked.isEmpty() && w->isVisible());

        m_sim->SetScenario(Parse(kGateway));
        QVERIFY(OkCloses(w));
        QStringList sent;
        for (const QString& f : Frames()) sent << f.left(2);
        QCOMPARE(sent.join(' '), Q("GJ SJ GK MR SP GE SP GE GI SP GE GI"));
        QCOMPARE(Frames().back(), Q("GI# FFFFFFFF01pass 1   ") + QString(64, '0'));
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

    // A serial converter behind the LAN gateway through the main window's
    // dispatch: usable although the main window disabled its controls while
    // busy, edited, written, the link closed when it has closed.
    void remoteSerialConverterThroughMainWindow() {
        bool usable = false;
        QVERIFY(ThroughMainWindow(Parse("device 0 model 14 uid 1\ndevice 3 model 15 uid 00C0FFEE\n"), 3, [&](QWidget* modal) {
            auto* w = qobject_cast<CSetSerial*>(modal);
            if (!w || w->IsWriteRunning()) return false;
            usable = w->isEnabled() && Child<QAbstractButton>(w, "okButton")->isEnabled();
            SetText(w, "editDestNode", "42");
            Click(w, "okButton");
            return true;
        }));
        QVERIFY(usable);
        QCOMPARE(m_sim->State(3).relay.substr(2, 2), std::string("2A"));
        QVERIFY(Shown(MSG_WG_CHANGED));
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
