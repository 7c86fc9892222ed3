// The group panel and the registration wait dialog, offscreen.
#include "forms/UiThread.h"
#include "tests/wireless/SimLink.h"
#include "wireless/GroupFile.h"
#include "wireless/SetSubG.h"
#include "wireless/SetSubG_Wait.h"
#include "wireless/WirelessUi.h"
#include "link/ErrorAnswer.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <thread>

template <class T = QWidget>
static T* Child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("missing control %s", name);
    return c;
}

static void Type(QWidget* w, const char* name, const char* text) {
    Child<QLineEdit>(w, name)->setText(QString::fromUtf8(text));
}

static void Click(QWidget* w, const char* name) {
    Child<QAbstractButton>(w, name)->click();
}

static WirelessGroupRecord Record(std::uint32_t group) {
    WirelessGroupRecord r;
    r.nodeNumber = 1;
    r.channel = 11;
    r.commMode = 1;
    r.groupNumber = group;
    r.encryptionEnabled = 1;
    std::memcpy(r.groupPassword, "grp12345", 8);
    std::memcpy(r.encryptionPassword, "enc                             ", 32);
    return r;
}

class SetSubGTest : public QObject {
    Q_OBJECT
    QStringList m_messages;
    CGroupFileCipher m_cipher;
    QTemporaryDir m_dir;

private slots:
    void init() {
        m_messages.clear();
        SetMessageSink([this](QWidget*, const QString& text) { m_messages << text; });
        theWirelessGroup = Record(GROUP_NONE);
        theWirelessGroup.encryptionEnabled = 0;
    }
    void cleanup() {
        SetMessageSink({});
        SetGroupFileDialog({});
    }

    void masterSwitchAndRoleRules() {
        theWirelessGroup = Record(0x0012ABCDu);  // already in a group: switch cleared
        CSetSubG member;
        QVERIFY(!Child<QCheckBox>(&member, "chkMaster")->isChecked());
        QVERIFY(Child(&member, "frameGroup")->isHidden() && Child(&member, "edtNode")->isHidden());
        QCOMPARE(member.ValidateWirelessGroup(), int(CSetSubG::WG_NOT_REQUESTED));
        QVERIFY(member.FinishWirelessGroupChange());
        QCOMPARE(m_messages, QStringList{QStringLiteral("設定を変更しました。")});

        theWirelessGroup.groupNumber = GROUP_NONE;
        CSetSubG panel;
        QVERIFY(Child<QCheckBox>(&panel, "chkMaster")->isChecked());
        QVERIFY(Child(&panel, "btnOpenFile")->isHidden() && !Child(&panel, "edtNode")->isEnabled());
        QCOMPARE(Child<QLineEdit>(&panel, "edtNode")->text(), QStringLiteral("1"));
        Click(&panel, "radChildFile");
        QVERIFY(!Child(&panel, "btnOpenFile")->isHidden() && !Child(&panel, "edtChannel")->isEnabled());
        QVERIFY(Child<QLineEdit>(&panel, "edtNode")->text().isEmpty());  // the parent's number
        Type(&panel, "edtNode", "5");
        Click(&panel, "radChildManual");
        QCOMPARE(Child<QLineEdit>(&panel, "edtNode")->text(), QStringLiteral("5"));
        QVERIFY(Child(&panel, "edtEncryptionPassword")->isEnabled());  // encryption on in the record
        Click(&panel, "chkEncryption");
        QVERIFY(!Child(&panel, "edtEncryptionPassword")->isEnabled());
        Click(&panel, "chkMaster");
        QVERIFY(Child(&panel, "edtGroupNumber")->isHidden() && Child(&panel, "lblMode")->isHidden());
    }

    void validationOnAWorkerShowsItsMessage() {
        CSetSubG panel;
        Click(&panel, "radChildManual");
        Type(&panel, "edtGroupNumber", "12G4");
        std::atomic<int> result{99};
        std::thread worker([&] { result = panel.ValidateWirelessGroup(); });
        QTRY_VERIFY_WITH_TIMEOUT(result.load() != 99, 3000);
        worker.join();
        QCOMPARE(result.load(), int(CSetSubG::WG_INVALID));
        QCOMPARE(m_messages, QStringList{QStringLiteral("グループ番号に使用できない文字が含まれています。")});
        QCOMPARE(panel.PendingAction(), 0);
    }

    void openingAFileFillsTheFieldsAndAFailedLoadLeavesThem() {
        const QString good = m_dir.filePath("parent.krz"), bad = m_dir.filePath("bad.krz");
        QVERIFY(SaveWirelessGroupFile(good.toStdString(), Record(0x0012ABCDu), &m_cipher).ok);
        QFile(bad).open(QIODevice::WriteOnly);  // empty: no version
        CSetSubG panel;
        Click(&panel, "radChildFile");
        QString chosen = good;
        SetGroupFileDialog([&](QWidget*, bool save, const QString&) { return save ? QString() : chosen; });
        Click(&panel, "btnOpenFile");
        QCOMPARE(m_messages, QStringList{QStringLiteral("ファイルからロードしたパラメータを反映しました。")});
        QCOMPARE(Child<QLineEdit>(&panel, "edtGroupNumber")->text(), QStringLiteral("0012ABCD"));
        QCOMPARE(Child<QLineEdit>(&panel, "edtGroupPassword")->text(), QStringLiteral("grp12345"));
        QVERIFY(Child<QRadioButton>(&panel, "radMedium")->isChecked());
        QVERIFY(Child<QLineEdit>(&panel, "edtNode")->text().isEmpty());
        Type(&panel, "edtNode", "8");
        QCOMPARE(panel.ValidateWirelessGroup(), int(CSetSubG::WG_VALID));
        QCOMPARE(panel.PendingAction(), 2);

        m_messages.clear();
        chosen = bad;
        Click(&panel, "btnOpenFile");
        QCOMPARE(m_messages, QStringList{QStringLiteral("ファイル読込エラー:V-0")});
        QCOMPARE(Child<QLineEdit>(&panel, "edtNode")->text(), QStringLiteral("8"));
        QCOMPARE(theWirelessGroup.nodeNumber, 8);
    }

    void parentCompletionOffersTheSaveDialogWithTheNewGroup() {
        CSetSubG panel;
        Type(&panel, "edtGroupPassword", "pw");
        QCOMPARE(panel.ValidateWirelessGroup(), int(CSetSubG::WG_VALID));
        theWirelessGroup.groupNumber = 0x0012ABCDu;  // as the "gi" reply leaves it
        QString proposed;
        const QString target = m_dir.filePath("saved.krz");
        SetGroupFileDialog([&](QWidget*, bool save, const QString& name) {
            proposed = name;
            return save ? target : QString();
        });
        QVERIFY(panel.FinishWirelessGroupChange());
        QCOMPARE(proposed, QStringLiteral("KORZ_0012ABCD.krz"));
        QCOMPARE(m_messages, QStringList{QStringLiteral("親機として設定を変更しました。無線設定保存ダイアログを開きます。")});
        QCOMPARE(QFileInfo(target).size(), qint64(83));
    }

    void deviceErrorAnswerNeverBlocksTheReceiveThread() {
        CSetSubG owner;
        InstallErrorAnswerPresenter(&owner);
        std::atomic<bool> returned{false};
        std::atomic<int> counted{-1};
        std::thread receiver([&] {
            const unsigned char gi[] = {'g', 'i', ' ', ' ', 0x25, REPLY_TERMINATOR};
            counted = OnWirelessGroupWriteReply(gi, 6);
            returned = true;
        });
        // The GUI runs no events meanwhile: a presenter that waited for it would never return.
        QDeadlineTimer deadline(2000);
        while (!returned && !deadline.hasExpired()) std::this_thread::yield();
        QVERIFY(returned);
        receiver.join();
        QCOMPARE(counted.load(), 0);
        QCOMPARE(theLink.m_nGroupWriteError.load(), 5);  // held while the box is up
        QTRY_COMPARE_WITH_TIMEOUT(m_messages, QStringList{QStringLiteral("設定送信エラー:GI-05")}, 3000);
        QCOMPARE(theLink.m_nGroupWriteError.load(), 0);
        SetErrorAnswerPresenter({});
    }

    void waitDialogShowsTheOutcome_data() {
        QTest::addColumn<QString>("statuses");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("text");
        QTest::newRow("registered") << "2 2 0" << int(WAIT_SUCCEEDED) << QStringLiteral("設定に成功しました。");
        QTest::newRow("refused") << "1" << int(WAIT_FAILED)
                                 << QStringLiteral("設定に失敗しました。\n\n設定が間違っている、親機の電源が入っていない、\n"
                                                   "電波の状態が悪い、といった可能性がございます。");
    }
    void waitDialogShowsTheOutcome() {
        QFETCH(QString, statuses);
        QFETCH(int, state);
        QFETCH(QString, text);
        SimLink link("device 0 model 13\ngq " + statuses.toStdString() + "\n");
        QVERIFY2(link.ok(), link.error().c_str());
        {
            CSetSubG_Wait dlg;
            QCOMPARE(dlg.windowTitle(), QStringLiteral("子機として設定"));
            dlg.open();
            QTRY_COMPARE_WITH_TIMEOUT(Child<QLabel>(&dlg, "lblText")->text(), text, 5000);
            QCOMPARE(dlg.WaitState(), state);
            QVERIFY(Child(&dlg, "barWait")->isHidden());
            QVERIFY(dlg.isVisible());  // waits for the operator
            Click(&dlg, "btnClose");
            QCOMPARE(dlg.Succeeded(), state == WAIT_SUCCEEDED);
        }
        QCOMPARE(theLink.m_nPending.load(), 0);
    }

    void enterIsSwallowedAndClosingEarlyFails() {
        SimLink link("device 0 model 13\ngq 2\n");
        QVERIFY2(link.ok(), link.error().c_str());
        QElapsedTimer teardown;
        {
            CSetSubG_Wait dlg;
            dlg.open();
            QTRY_VERIFY_WITH_TIMEOUT(dlg.Polls() >= 2, 3000);
            QTest::keyClick(Child(&dlg, "btnClose"), Qt::Key_Return);
            QTest::keyClick(&dlg, Qt::Key_Enter);
            QVERIFY(dlg.isVisible());
            QTest::keyClick(&dlg, Qt::Key_Escape);
            QVERIFY(!dlg.isVisible());
            theLink.m_nRegStatus = 0;  // a success arriving now does not count
            QVERIFY(!dlg.Succeeded());
            teardown.start();
        }
        QVERIFY(teardown.elapsed() < 400);  // at most one send, not a poll cycle
        QCOMPARE(theLink.m_nPending.load(), 0);
    }
};

QTEST_MAIN(SetSubGTest)
#include "SetSubGTest.moc"
