// The gateway and serial converter windows end to end: the device kinds read
// a simulated device over a real pseudo-terminal or loopback TCP, the window
// is driven like an operator would, and the simulator's state shows what was
// written.
#include "forms/CommonTexts.h"
#include "forms/SettingsTexts.h"
#include "forms/UiThread.h"
#include "forms/WirelessTexts.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"
#include "link/ErrorAnswer.h"
#include "settings/RegisterSettings.h"
#include "settings/SetGateway.h"
#include "settings/SetSerial.h"
#include "settings/SettingsKinds.h"
#include "tools/rzsim/Simulator.h"
#include "wireless/GroupFile.h"
#include "wireless/GroupPanelLogic.h"
#include "wireless/SetSubG.h"
#include "wireless/SetSubG_Wait.h"
#include "wireless/WirelessGroup.h"
#include "wireless/WirelessUi.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

int Count(const std::vector<std::string>& frames, const std::string& prefix) {
    int n = 0;
    for (const auto& f : frames) n += f.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

bool AnyContains(const std::vector<std::string>& frames, const std::string& text) {
    for (const auto& f : frames) {
        if (f.find(text) != std::string::npos) return true;
    }
    return false;
}

// A simulated device on a real channel, and theLink opened to it.
struct Rig {
    std::unique_ptr<rzsim::Simulator> sim;
    bool ok = false;

    Rig(const std::string& scenarioText, bool tcp) {
        rzsim::Scenario scenario;
        std::string error;
        if (!rzsim::ParseScenario(scenarioText, &scenario, &error)) {
            qWarning("scenario: %s", error.c_str());
            return;
        }
        sim = std::make_unique<rzsim::Simulator>(scenario);
        if (tcp) {
            int port = sim->StartTcp();
            if (port < 0) return;
            theLink.m_nMode = LINK_TCP;
            theLink.m_strHost = "127.0.0.1";
            theLink.m_strPort = std::to_string(port);
        } else {
            std::string path = sim->StartPty();
            if (path.empty()) return;
            theLink.m_nMode = LINK_SERIAL;
            theLink.m_strComPort = path;
        }
        theLink.m_nNode = 0;
        ok = theLink.Open() == 0;
    }
    ~Rig() {
        theLink.Close();
        theLink.SetReplyHandler(nullptr, nullptr);
        sim.reset();
    }
};

}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT

    QWidget m_main;  // stands in for the main window: handler context and owner
    CGroupFileCipher m_cipher;  // the settings file's cipher, built with the main window
    std::vector<QString> m_messages;

    // What the main window does between identification and the window:
    // identity recorded, settings cleared, the kind's handler installed, read.
    int Prepare(IDeviceKind& kind, int node, int model, std::uint32_t uid) {
        theLink.m_nNode = node;
        theLink.m_nModelCode = model;
        theLink.m_nModelExt = 0;
        theLink.m_dwUid = uid;
        theLink.ClearSettings();
        theLink.SetReplyHandler(&m_main, kind.Handler());
        return kind.ReadSettings();
    }

    template <class T>
    static T* Child(QWidget* w, const char* name) {
        T* c = w->findChild<T*>(QString::fromLatin1(name));
        if (!c) qWarning("no child %s", name);
        return c;
    }
    static void Click(QWidget* w, const char* name) { Child<QAbstractButton>(w, name)->click(); }
    static void SetText(QWidget* w, const char* name, const char* text) { Child<QLineEdit>(w, name)->setText(Q(text)); }
    bool Shown(const char* text) const {
        for (const auto& m : m_messages) {
            if (m == Q(text)) return true;
        }
        return false;
    }

private slots:
    void init() {
        m_messages.clear();
        SetMessageSink([this](QWidget*, const QString& text) { m_messages.push_back(text); });
        theLink.m_nTimeoutSec = 2;
        theWirelessGroup = WirelessGroupRecord{};
    }
    void cleanup() {
        SetMessageSink({});
        SetErrorAnswerPresenter({});
        SetGroupFileDialog({});
        theLink.m_nTimeoutSec = LINK_DEFAULT_TIMEOUT_SEC;
    }

    void registersBothKinds() {
        ClearDeviceKinds();
        RegisterSettingsWindows();
        const DeviceKindFactory* gateway = FindDeviceKind(SettingsKindForModel(13));
        const DeviceKindFactory* serial = FindDeviceKind(SettingsKindForModel(15));
        QVERIFY(gateway && serial);
        QVERIFY((*gateway)(&m_main)->Handler() == &GatewayReplyHandler);
        QVERIFY((*serial)(&m_main)->Handler() == &SerialReplyHandler);
        QVERIFY(FindDeviceKind(SettingsKindForModel(14)) == gateway);
    }

    // A serial converter attached directly: read, edit, write.
    void serialDirect() {
        Rig rig("device 0 model 15 uid 12345678\n"
                "set 0 group \"! 0012ABCD05 \"\n"
                "set 0 relay \"% 03  !!0D00 01F7\"\n",
                false);
        QVERIFY(rig.ok);
        CSerialKind kind(&m_main);
        QCOMPARE(Prepare(kind, 0, 15, 0x12345678), 0);
        QCOMPARE(rig.sim->Frames(), (std::vector<std::string>{"00GJ", "00SJ"}));

        CSetSerial* w = kind.Window();
        w->OpenWindow();
        w->show();
        QCOMPARE(w->windowTitle(), QString::fromStdString(GetModelName(15, 0)) + Q(" ( node : 5 ) の設定"));
        QCOMPARE(Child<QLabel>(w, "statusLine")->text(), Q("UID : 12345678"));
        QVERIFY(w->Panel()->isVisibleTo(w));
        // Filled from the device, with the enabling rules of normal mode.
        QCOMPARE(Child<QLineEdit>(w, "editDestNode")->text(), Q("3"));
        QCOMPARE(Child<QComboBox>(w, "comboBaud")->currentText(), Q("9600"));
        QCOMPARE(Child<QComboBox>(w, "comboTimeout")->currentText(), Q("10ms"));
        QVERIFY(Child<QCheckBox>(w, "checkEndChar")->isChecked());
        QCOMPARE(Child<QLineEdit>(w, "editEndChar1")->text(), Q("0D"));
        QVERIFY(Child<QLineEdit>(w, "editEndChar1")->isEnabled());
        QVERIFY(!Child<QRadioButton>(w, "radioFilterPass")->isEnabled());
        QCOMPARE(Child<QLineEdit>(w, "editFilterHigh")->text(), Q("F7"));
        // Inputs carry their label as accessible name.
        QCOMPARE(Child<QLineEdit>(w, "editDestNode")->accessibleName(), Q("送信先ノード  (1-254) :"));
        QCOMPARE(Child<QComboBox>(w, "comboBaud")->accessibleName(), Q("通信速度 :"));

        // Enter neither writes nor closes.
        const auto before = rig.sim->Frames().size();
        QTest::keyClick(Child<QLineEdit>(w, "editDestNode"), Qt::Key_Return);
        QTest::keyClick(w, Qt::Key_Enter);
        QVERIFY(w->isVisible());
        QVERIFY(!w->IsWriteRunning());

        Click(w, "radioModeRtu");
        QVERIFY(Child<QRadioButton>(w, "radioFilterPass")->isEnabled());
        QVERIFY(!Child<QComboBox>(w, "comboTimeout")->isEnabled());
        QVERIFY(!Child<QLineEdit>(w, "editFilterLow")->isEnabled());
        Click(w, "radioFilterPass");
        QVERIFY(Child<QLineEdit>(w, "editFilterLow")->isEnabled());

        // A refused value: its message, nothing sent, the window stays.
        SetText(w, "editFilterLow", "00");
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(Shown(MSG_FILTER_RANGE) && !w->IsWriteRunning(), 3000);
        QCOMPARE(rig.sim->Frames().size(), before);
        QCOMPARE(Child<QPushButton>(w, "okButton")->text(), Q("OK"));

        SetText(w, "editDestNode", "7");
        Child<QComboBox>(w, "comboBaud")->setCurrentIndex(10);
        Click(w, "radioStop2");
        Click(w, "radioParityEven");
        Click(w, "radioFlowCts");
        SetText(w, "editFilterLow", "10");
        SetText(w, "editFilterHigh", "20");
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
        QCOMPARE(w->result(), int(QDialog::Accepted));
        QVERIFY(Shown(MSG_WG_CHANGED));
        QCOMPARE(QString::fromStdString(rig.sim->State(0).relay), Q("**07!!!!0D00!1020"));
        QCOMPARE(Count(rig.sim->Frames(), "00SP"), 1);
        QVERIFY(!AnyContains(rig.sim->Frames(), "00GI"));  // the group was not to be changed
    }

    // Remote nodes through the LAN gateway: no group read or write, the panel
    // out of view, a narrower window.
    void remoteNodes() {
        Rig rig("device 0 model 14 uid 00000001\n"
                "device 3 model 15 uid 00000003\n"
                "device 4 model 13 uid 00000004\n",
                true);
        QVERIFY(rig.ok);
        {
            CSerialKind kind(&m_main);
            QCOMPARE(Prepare(kind, 3, 15, 3), 0);
            QCOMPARE(rig.sim->Frames(), (std::vector<std::string>{"03SJ"}));
            CSetSerial* w = kind.Window();
            w->OpenWindow();
            w->show();
            QCOMPARE(w->windowTitle(), QString::fromStdString(GetModelName(15, 0)) + Q(" ( node : 3 ) の設定"));
            QFrame* area = Child<QFrame>(w, "frameArea");
            const int shift = area->contentsRect().width() + 20;
            QCOMPARE(area->geometry().right(), 15 - shift + area->width() - 1);
            QVERIFY(w->Panel()->mapTo(w, QPoint(w->Panel()->width(), 0)).x() <= 0);
            QCOMPARE(w->width(), 880 - shift);
            SetText(w, "editDestNode", "12");
            Click(w, "okButton");
            QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
            QCOMPARE(w->result(), int(QDialog::Accepted));
            QCOMPARE(rig.sim->State(3).relay.substr(2, 2), std::string("0C"));
        }
        rig.sim->ClearFrames();
        m_messages.clear();
        // A group record left from an earlier direct session (no group yet)
        // opens the hidden panel with its master switch on; it is not checked.
        theWirelessGroup.groupNumber = GROUP_NONE;
        {
            CGatewayKind kind(&m_main);
            QCOMPARE(Prepare(kind, 4, 13, 4), 0);
            QCOMPARE(rig.sim->Frames(), (std::vector<std::string>{"04SJ", "04GK", "04MR01A6"}));
            // Through RunWindow, as the main window runs it.
            bool driven = false;
            QTimer::singleShot(0, this, [&] {
                CSetGateway* w = kind.Window();
                QCOMPARE(Child<QLabel>(w, "macText")->text(), Q("00-80-AB-12-34-56"));
                QCOMPARE(Child<QLineEdit>(w, "editIp")->text(), Q("192.168.0.1"));
                QCOMPARE(Child<QLineEdit>(w, "editCommandPort")->text(), Q("10003"));
                QCOMPARE(Child<QLineEdit>(w, "editSerialPort")->text(), Q(" 1024"));
                QVERIFY(w->width() < 896);
                SetText(w, "editDestNode", "9");
                SetText(w, "editIp", "10.0.0.2");
                driven = true;
                Click(w, "okButton");
            });
            QTimer guard;  // never leave the modal loop running after a failed check
            guard.setSingleShot(true);
            connect(&guard, &QTimer::timeout, this, [&] { kind.Window()->done(-2); });
            guard.start(8000);
            int result = kind.RunWindow();
            QVERIFY(driven);
            QCOMPARE(result, int(QDialog::Accepted));
            const auto frames = rig.sim->Frames();
            QVERIFY(AnyContains(frames, "04SP  09    0000 0000"));
            QVERIFY(AnyContains(frames, "04GE27130400 0A000002FFFFFF00C0A800FE"));
            QVERIFY(!AnyContains(frames, "GI") && !AnyContains(frames, "GJ"));
            QCOMPARE(rig.sim->State(4).lan, std::string("27130400 0A000002FFFFFF00C0A800FE"));
            QCOMPARE(m_messages, std::vector<QString>{Q(MSG_WG_CHANGED)});
        }
    }

    // A gateway made parent of a new group saves the group's file; a serial
    // converter enrolled from that file waits for its registration.
    void parentThenChildFromFile() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString proposed;
        SetGroupFileDialog([&](QWidget*, bool save, const QString& name) {
            if (save) proposed = name;
            return dir.filePath(save ? name : proposed);
        });
        std::uint32_t group = 0;
        {
            Rig rig("device 0 model 13 uid 0A0B0C0D\n", false);
            QVERIFY(rig.ok);
            CGatewayKind kind(&m_main);
            QCOMPARE(Prepare(kind, 0, 13, 0x0A0B0C0D), 0);
            CSetGateway* w = kind.Window();
            w->OpenWindow();
            w->show();
            GroupPanelFields f = w->Panel()->Fields();
            QVERIFY(f.master);  // no group yet
            f.role = WG_ROLE_PARENT;
            f.groupPassword = "pass 1";
            f.channel = "3";
            w->Panel()->SetFields(f);
            Click(w, "okButton");
            QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
            QCOMPARE(w->result(), int(QDialog::Accepted));
            QVERIFY(Shown(MSG_WG_PARENT_CHANGED));
            group = rzsim::NewGroupNumber(0x0A0B0C0D);
            QCOMPARE(theWirelessGroup.groupNumber, group);
            QCOMPARE(proposed, QString::asprintf("KORZ_%08X.krz", group));
            QCOMPARE(QFileInfo(dir.filePath(proposed)).size(), qint64(83));
            const auto frames = rig.sim->Frames();
            QCOMPARE(frames.size(), size_t(7));  // GJ SJ GK MR, then SP GE GI in order
            QVERIFY(frames[4].rfind("00SP", 0) == 0 && frames[5].rfind("00GE", 0) == 0);
            const std::string gi = rig.sim->Frames().back();
            QCOMPARE(QString::fromStdString(gi), Q("00GI# FFFFFFFF01pass 1  ") + Q(" ") + QString(64, QLatin1Char('0')));
        }
        {
            Rig rig("device 0 model 15 uid 00000022\ngq 2 0\n", false);
            QVERIFY(rig.ok);
            CSerialKind kind(&m_main);
            QCOMPARE(Prepare(kind, 0, 15, 0x22), 0);
            CSetSerial* w = kind.Window();
            w->OpenWindow();
            w->show();
            GroupPanelFields f = w->Panel()->Fields();
            f.role = WG_ROLE_CHILD_FILE;
            w->Panel()->SetFields(f);
            w->Panel()->ApplyRoleRule();
            w->Panel()->OpenSettingsFile();
            QVERIFY(Shown(MSG_WG_FILE_APPLIED));
            f = w->Panel()->Fields();
            QCOMPARE(f.node, std::string());
            f.node = "6";
            w->Panel()->SetFields(f);

            // Close the registration wait once it reports success.
            QTimer closer;
            connect(&closer, &QTimer::timeout, this, [] {
                if (auto* wait = qobject_cast<CSetSubG_Wait*>(QApplication::activeModalWidget()); wait && wait->Succeeded())
                    wait->reject();
            });
            closer.start(20);
            Click(w, "okButton");
            QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 8000);
            QCOMPARE(w->result(), int(QDialog::Accepted));
            const std::string gi = rig.sim->State(0).lastGroupWrite;
            QCOMPARE(QString::fromStdString(gi.substr(0, 20)),
                     QString::asprintf("# %08X06", group) + Q("pass 1  "));
            QVERIFY(Count(rig.sim->Frames(), "00GQ") >= 2);
        }
    }

    // "sp" error answer: the form comes back while the message is open, the
    // wait runs into its time-out and the write fails; nothing is stored.
    void serialErrorAnswer() {
        Rig rig("device 0 model 15 uid 1\nset 0 group \"! 0012ABCD05 \"\nfault 0 error SP 65\n", false);
        QVERIFY(rig.ok);
        std::vector<std::string> answers;
        std::function<void()> closeBox;
        SetErrorAnswerPresenter([&](const std::string& text, std::function<void()> closed) {
            RunOnGui([&answers, &closeBox, text, closed] {
                answers.push_back(text);
                closeBox = closed;
            });
        });
        theLink.m_nTimeoutSec = 2;
        CSerialKind kind(&m_main);
        QCOMPARE(Prepare(kind, 0, 15, 1), 0);
        const std::string relayBefore = rig.sim->State(0).relay;
        CSetSerial* w = kind.Window();
        w->OpenWindow();
        w->show();
        SetText(w, "editDestNode", "9");
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(answers.size() == 1, 3000);
        QCOMPARE(answers[0], std::string("設定送信エラー:SP-41"));
        QCOMPARE(theLink.m_nGroupWriteError.load(), 0x41);
        // The form comes back while the message is open and the worker still
        // waits for an answer that will not be counted.
        QTRY_VERIFY_WITH_TIMEOUT(Child<QPushButton>(w, "okButton")->text() == Q("OK"), 1000);
        QVERIFY(Child<QLineEdit>(w, "editDestNode")->isEnabled());
        QVERIFY(w->IsWriteRunning());
        QVERIFY(!Shown(MSG_COMM_ERROR));
        Click(w, "okButton");      // no second write
        Click(w, "cancelButton");  // no closing under the worker
        QVERIFY(w->isVisible());
        closeBox();
        QCOMPARE(theLink.m_nGroupWriteError.load(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(Shown(MSG_COMM_ERROR), 4000);
        QTRY_VERIFY_WITH_TIMEOUT(!w->IsWriteRunning(), 2000);
        QVERIFY(w->isVisible());
        QVERIFY(!Shown(MSG_WG_CHANGED));
        QCOMPARE(rig.sim->State(0).relay, relayBefore);
        Click(w, "cancelButton");
        QVERIFY(!w->isVisible());
    }

    // A rejected group write: no settings file, the window stays open.
    void groupWriteRejected() {
        Rig rig("device 0 model 13 uid 0A0B0C0D\nfault 0 error GI 7\n", false);
        QVERIFY(rig.ok);
        std::vector<std::string> answers;
        SetErrorAnswerPresenter([&](const std::string& text, std::function<void()> closed) {
            RunOnGui([&answers, text, closed] {
                answers.push_back(text);
                closed();
            });
        });
        int dialogs = 0;
        SetGroupFileDialog([&](QWidget*, bool, const QString&) {
            ++dialogs;
            return QString();
        });
        theLink.m_nTimeoutSec = 1;
        CGatewayKind kind(&m_main);
        QCOMPARE(Prepare(kind, 0, 13, 0x0A0B0C0D), 0);
        CSetGateway* w = kind.Window();
        w->OpenWindow();
        w->show();
        GroupPanelFields f = w->Panel()->Fields();
        f.groupPassword = "pw";
        f.channel = "2";
        w->Panel()->SetFields(f);
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(Shown(MSG_COMM_ERROR), 4000);
        QCOMPARE(answers, std::vector<std::string>{"設定送信エラー:GI-07"});
        QTRY_VERIFY_WITH_TIMEOUT(!w->IsWriteRunning(), 2000);
        QVERIFY(w->isVisible());
        QCOMPARE(dialogs, 0);
        QVERIFY(!Shown(MSG_WG_PARENT_CHANGED));
        QCOMPARE(Count(rig.sim->Frames(), "00GI"), 1);
        w->reject();
        QVERIFY(!w->isVisible());
    }

    // A stop request gives the form back at once; the write already sent
    // still finishes, and then closes the window; a second OK in the
    // meantime starts nothing.
    void stopRequestDuringWrite() {
        Rig rig("device 0 model 15 uid 1\nset 0 group \"! 0012ABCD05 \"\nfault 0 delay SP 1200\n", false);
        QVERIFY(rig.ok);
        theLink.m_nTimeoutSec = 4;
        CSerialKind kind(&m_main);
        QCOMPARE(Prepare(kind, 0, 15, 1), 0);
        CSetSerial* w = kind.Window();
        w->OpenWindow();
        w->show();
        QPushButton* ok = Child<QPushButton>(w, "okButton");
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(ok->text() == Q("中止") && w->WriteState() == CSettingsFrame::WRITE_RUNNING, 2000);
        QVERIFY(!Child<QLineEdit>(w, "editDestNode")->isEnabled());
        QVERIFY(ok->isEnabled());
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(ok->text() == Q("OK") && Child<QLineEdit>(w, "editDestNode")->isEnabled(), 1000);
        QVERIFY(w->IsWriteRunning());
        Click(w, "okButton");    // refused: the first write still runs
        Click(w, "cancelButton");  // refused as well
        QVERIFY(w->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
        QCOMPARE(w->result(), int(QDialog::Accepted));
        QCOMPARE(Count(rig.sim->Frames(), "00SP"), 1);
        QVERIFY(!Shown(MSG_COMM_ERROR));
    }

    // The device drops the connection during the write: the link-lost
    // message, and the window closes with -1.
    void linkLostDuringWrite() {
        Rig rig("device 0 model 14 uid 1\ndevice 3 model 15 uid 3\nfault drop-after 2\n", true);
        QVERIFY(rig.ok);
        theLink.m_nTimeoutSec = 3;
        CSerialKind kind(&m_main);
        QCOMPARE(Prepare(kind, 3, 15, 3), 0);
        CSetSerial* w = kind.Window();
        w->OpenWindow();
        w->show();
        Click(w, "okButton");
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
        QCOMPARE(w->result(), CSettingsFrame::RESULT_LINK_LOST);
        QVERIFY(Shown(MSG_LINK_LOST));
        QVERIFY(!Shown(MSG_COMM_ERROR));
        QVERIFY(!w->IsWriteRunning());
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
