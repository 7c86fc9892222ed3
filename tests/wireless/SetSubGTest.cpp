// The group panel and the registration wait dialog, offscreen.
#include "forms/UiThread.h"
#include "link/ErrorAnswer.h"
#include "tests/wireless/SimLink.h"
#include "wireless/GroupFile.h"
#include "wireless/SetSubG.h"
#include "wireless/SetSubG_Wait.h"
#include "wireless/WirelessUi.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <future>

template <class T = QWidget>
static T* Child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("missing control %s", name);
    return c;
}

static QLineEdit* Edit(QWidget* w, const char* name) { return Child<QLineEdit>(w, name); }
static void Click(QWidget* w, const char* name) { Child<QAbstractButton>(w, name)->click(); }

class SetSubGTest : public QObject {
    Q_OBJECT
    QStringList m_messages;
    CGroupFileCipher m_cipher;
    QTemporaryDir m_dir;

private slots:
    void init() {
        m_messages.clear();
        SetMessageSink([this](QWidget*, const QString& text) { m_messages << text; });
        theWirelessGroup = WirelessGroupRecord{1, 11, 1, GROUP_NONE, 1};  // no group yet: switch on
    }
    void cleanup() {
        SetMessageSink({});
        SetGroupFileDialog({});
        SetErrorAnswerPresenter({});
    }

    // Validation runs on a worker; its message is shown from the GUI thread.
    // An earlier attempt leaves nothing behind: a valid child validation
    // followed by one with the master switch clear prepares nothing, and a
    // fresh opening starts with empty passwords.
    void nothingCarriedOverBetweenAttempts() {
        CSetSubG panel;
        auto validate = [&panel] {  // the worker reads the fields on this thread
            auto result = std::async(std::launch::async, [&panel] { return panel.ValidateWirelessGroup(); });
            (void)QTest::qWaitFor([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 3000);
            return result.get();
        };
        Child<QAbstractButton>(&panel, "radChildManual")->setChecked(true);  // no click: keys, assistive technology
        QVERIFY(Child(&panel, "edtGroupNumber")->isEnabled());
        Edit(&panel, "edtGroupNumber")->setText("12G4");
        QCOMPARE(validate(), int(CSetSubG::WG_INVALID));
        QCOMPARE(m_messages, QStringList{QStringLiteral("グループ番号に使用できない文字が含まれています。")});
        QCOMPARE(panel.PendingAction(), 0);
        QVERIFY(Child(&panel, "edtEncryptionPassword")->isEnabled());  // encryption is on in the record
        for (auto [name, text] : {std::pair{"edtGroupNumber", "0012ABCD"}, {"edtGroupPassword", "pass1"},
                                  {"edtEncryptionPassword", "key1"}, {"edtNode", "7"}})
            Edit(&panel, name)->setText(text);
        QCOMPARE(validate(), int(CSetSubG::WG_VALID));
        QCOMPARE(panel.PendingAction(), 2);
        Child<QAbstractButton>(&panel, "chkMaster")->toggle();
        QVERIFY(Child(&panel, "edtGroupNumber")->isHidden() && Child(&panel, "lblMode")->isHidden());
        QCOMPARE(validate(), int(CSetSubG::WG_NOT_REQUESTED));
        QCOMPARE(panel.PendingAction(), 0);
        panel.InitFromRecord();
        QCOMPARE(Edit(&panel, "edtGroupPassword")->text() + Edit(&panel, "edtEncryptionPassword")->text(), QString());
    }

    // A parent saves the group's file; a child loads it, and a failed load
    // changes nothing.
    void groupFileFromParentToChild() {
        const QString saved = m_dir.filePath("saved.krz"), bad = m_dir.filePath("missing.krz");
        QString chosen = saved;
        SetGroupFileDialog([&](QWidget*, bool save, const QString&) { return save ? saved : chosen; });
        CSetSubG parent;
        Edit(&parent, "edtGroupPassword")->setText("pw");
        Edit(&parent, "edtEncryptionPassword")->setText("key1");
        QCOMPARE(parent.ValidateWirelessGroup(), int(CSetSubG::WG_VALID));
        theWirelessGroup.groupNumber = 0x0012ABCDu;  // as the "gi" reply leaves it
        QVERIFY(parent.FinishWirelessGroupChange());

        theWirelessGroup = WirelessGroupRecord{1, 2, 0, GROUP_NONE};
        CSetSubG child;
        Click(&child, "radChildFile");  // the role rule as the controls apply it
        QVERIFY(!Child(&child, "btnOpenFile")->isHidden() && !Child(&child, "edtChannel")->isEnabled());
        QVERIFY(Edit(&child, "edtNode")->text().isEmpty());  // was the parent's number
        Click(&child, "btnOpenFile");
        QCOMPARE(Edit(&child, "edtGroupNumber")->text() + "/" + Edit(&child, "edtGroupPassword")->text(), QStringLiteral("0012ABCD/pw      "));
        Edit(&child, "edtNode")->setText("8");
        QCOMPARE(child.ValidateWirelessGroup(), int(CSetSubG::WG_VALID));
        chosen = bad;
        Click(&child, "btnOpenFile");
        QCOMPARE(Edit(&child, "edtNode")->text(), QStringLiteral("8"));
        QCOMPARE(theWirelessGroup.nodeNumber, 8);  // the record keeps the validated values
        QCOMPARE(m_messages, (QStringList{QStringLiteral("親機として設定を変更しました。無線設定保存ダイアログを開きます。"),
                                          QStringLiteral("ファイルからロードしたパラメータを反映しました。"),
                                          QStringLiteral("ファイルを開けませんでした。")}));
    }

    void deviceErrorAnswerNeverBlocksTheReceiveThread() {
        CSetSubG owner;
        InstallErrorAnswerPresenter(&owner);
        static const unsigned char gi[] = {'g', 'i', ' ', ' ', 0x25, REPLY_TERMINATOR};
        auto counted = std::async(std::launch::async, [] { return OnWirelessGroupWriteReply(gi, 6); });
        // The GUI runs no events meanwhile: a presenter that waited for it would never return.
        QCOMPARE(counted.wait_for(std::chrono::seconds(2)), std::future_status::ready);
        QCOMPARE(counted.get(), 0);
        QCOMPARE(theLink.m_nGroupWriteError.load(), 5);  // held while the box is up
        QTRY_COMPARE_WITH_TIMEOUT(m_messages, QStringList{QStringLiteral("設定送信エラー:GI-05")}, 3000);
        QCOMPARE(theLink.m_nGroupWriteError.load(), 0);
        QCOMPARE(theWirelessGroup.groupNumber, GROUP_NONE);
    }

    // A refusal is shown and waits for the operator; Enter never closes the
    // dialog; closing before an outcome fails, cutting the pause short; the
    // unanswered polls are not awaited afterwards.
    void waitDialogRefusalKeysAndEarlyClose() {
        SimLink link("device 0 model 13\ngq 2 1 2\n");
        QVERIFY2(link.ok(), link.error().c_str());
        {
            CSetSubG_Wait dlg;
            dlg.open();
            // The label is changed after the state (the worker hands it to
            // this thread): wait for what the operator sees.
            QTRY_VERIFY_WITH_TIMEOUT(Child<QLabel>(&dlg, "lblText")->text().startsWith(QStringLiteral("設定に失敗しました。")), 5000);
            QCOMPARE(dlg.WaitState(), WAIT_FAILED);
            QVERIFY(Child(&dlg, "barWait")->isHidden() && dlg.isVisible());  // waits for the operator
            Click(&dlg, "btnClose");
        }
        constexpr int kPollMs = 1500;  // long enough that waiting out a pause would show
        QElapsedTimer teardown;
        {
            CSetSubG_Wait dlg(nullptr, kPollMs);
            dlg.open();
            QTRY_VERIFY_WITH_TIMEOUT(dlg.Polls() >= 1, 3 * kPollMs);  // now in its next pause
            QTest::keyClick(Child(&dlg, "btnClose"), Qt::Key_Return);
            QTest::keyClick(&dlg, Qt::Key_Enter);
            QVERIFY(dlg.isVisible());
            teardown.start();
            QTest::keyClick(&dlg, Qt::Key_Escape);
            theLink.m_nRegStatus = 0;  // a success arriving now does not count
            // Gone once the worker has ended, which the close wakes at once.
            QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), kPollMs / 2);
            QVERIFY(!dlg.Succeeded());
        }
        QVERIFY(teardown.elapsed() < kPollMs * 2 / 3);  // the pause is cut short, not waited out
        QCOMPARE(theLink.m_nPending.load(), 0);  // the unanswered polls are not awaited any more
    }
};

QTEST_MAIN(SetSubGTest)
#include "SetSubGTest.moc"
