// The group panel and the registration wait dialog, offscreen.
#include "forms/UiThread.h"
#include "tests/wireless/SimLink.h"
#include "wireless/GroupFile.h"
#include "wireless/SetSubG.h"
#include "wireless/SetSubG_Wait.h"
#include "wireless/WirelessUi.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstring>
#include <thread>

namespace {

template <class T>
T* Child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("missing control %s", name);
    return c;
}

WirelessGroupRecord ParentRecord() {
    WirelessGroupRecord r;
    r.nodeNumber = 1;
    r.channel = 11;
    r.commMode = 1;
    r.groupNumber = 0x0012ABCDu;
    r.encryptionEnabled = 1;
    std::memcpy(r.groupPassword, "grp12345", 8);
    std::memcpy(r.encryptionPassword, "enc                             ", 32);
    return r;
}

WirelessGroupRecord NoGroupRecord() {
    WirelessGroupRecord r;
    r.nodeNumber = 1;
    r.channel = 3;
    r.groupNumber = GROUP_NONE;
    std::memset(r.groupPassword, ' ', 8);
    return r;
}

}  // namespace

class SetSubGTest : public QObject {
    Q_OBJECT

    QStringList m_messages;
    CGroupFileCipher m_cipher;
    QTemporaryDir m_dir;

    QString Path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private slots:
    void init() {
        m_messages.clear();
        SetMessageSink([this](QWidget*, const QString& text) { m_messages << text; });
        SetGroupFileDialog({});
    }
    void cleanup() {
        SetMessageSink({});
        SetGroupFileDialog({});
    }

    void masterSwitchFollowsTheDevicesGroup() {
        theWirelessGroup = NoGroupRecord();
        CSetSubG fresh;
        QVERIFY(Child<QCheckBox>(&fresh, "chkMaster")->isChecked());
        QVERIFY(Child<QRadioButton>(&fresh, "radParent")->isChecked());
        QVERIFY(!Child<QWidget>(&fresh, "frameGroup")->isHidden());
        QCOMPARE(Child<QLineEdit>(&fresh, "edtGroupNumber")->text(), QStringLiteral("FFFFFFFF"));
        QCOMPARE(Child<QLineEdit>(&fresh, "edtChannel")->text(), QStringLiteral("3"));

        theWirelessGroup = ParentRecord();
        CSetSubG member;
        auto* master = Child<QCheckBox>(&member, "chkMaster");
        QVERIFY(!master->isChecked());
        QVERIFY(Child<QWidget>(&member, "frameGroup")->isHidden());
        QVERIFY(Child<QWidget>(&member, "radChildFile")->isHidden());
        QVERIFY(Child<QWidget>(&member, "edtNode")->isHidden());
        QVERIFY(Child<QLineEdit>(&member, "edtGroupPassword")->text().isEmpty());  // never filled by a read
        QCOMPARE(member.ValidateWirelessGroup(), int(CSetSubG::WG_NOT_REQUESTED));
        master->click();
        QVERIFY(!Child<QWidget>(&member, "frameGroup")->isHidden());
        QCOMPARE(member.PendingAction(), 0);
        QVERIFY(member.FinishWirelessGroupChange());
        QCOMPARE(m_messages, QStringList{QStringLiteral("設定を変更しました。")});
    }

    void roleClicksApplyTheRoleRule() {
        theWirelessGroup = NoGroupRecord();
        CSetSubG panel;
        auto* node = Child<QLineEdit>(&panel, "edtNode");
        auto* open = Child<QPushButton>(&panel, "btnOpenFile");
        auto* group = Child<QLineEdit>(&panel, "edtGroupNumber");
        auto* key = Child<QLineEdit>(&panel, "edtEncryptionPassword");
        QVERIFY(open->isHidden());
        QVERIFY(group->isHidden());
        QVERIFY(!node->isEnabled());
        QCOMPARE(node->text(), QStringLiteral("1"));

        Child<QRadioButton>(&panel, "radChildFile")->click();
        QVERIFY(!open->isHidden());
        QVERIFY(!group->isHidden() && !group->isEnabled());
        QVERIFY(!Child<QLineEdit>(&panel, "edtChannel")->isEnabled());
        QVERIFY(node->isEnabled());
        QVERIFY(node->text().isEmpty());  // the parent's number does not suit a child

        node->setText(QStringLiteral("5"));
        Child<QRadioButton>(&panel, "radChildManual")->click();
        QCOMPARE(node->text(), QStringLiteral("5"));
        QVERIFY(group->isEnabled() && open->isHidden());
        QVERIFY(!key->isEnabled());
        Child<QCheckBox>(&panel, "chkEncryption")->click();
        QVERIFY(key->isEnabled());

        Child<QCheckBox>(&panel, "chkMaster")->click();
        QVERIFY(group->isHidden() && node->isHidden() && Child<QWidget>(&panel, "lblMode")->isHidden());
    }

    void validationOnAWorkerShowsTheMessageOwnedByThePanel() {
        theWirelessGroup = NoGroupRecord();
        CSetSubG panel;
        Child<QRadioButton>(&panel, "radChildManual")->click();
        Child<QLineEdit>(&panel, "edtGroupNumber")->setText(QStringLiteral("12G4"));
        std::atomic<int> result{99};
        std::thread worker([&] { result = panel.ValidateWirelessGroup(); });
        QTRY_VERIFY_WITH_TIMEOUT(result.load() != 99, 3000);
        worker.join();
        QCOMPARE(result.load(), int(CSetSubG::WG_INVALID));
        QCOMPARE(m_messages, QStringList{QStringLiteral("グループ番号に使用できない文字が含まれています。")});
        QCOMPARE(panel.PendingAction(), 0);

        Child<QLineEdit>(&panel, "edtGroupNumber")->setText(QStringLiteral("12a4"));
        Child<QLineEdit>(&panel, "edtGroupPassword")->setText(QStringLiteral("pw"));
        Child<QLineEdit>(&panel, "edtNode")->setText(QStringLiteral("33"));
        std::thread again([&] { result = panel.ValidateWirelessGroup(); });
        QTRY_VERIFY_WITH_TIMEOUT(result.load() == int(CSetSubG::WG_VALID), 3000);
        again.join();
        QCOMPARE(panel.PendingAction(), 2);
        QCOMPARE(theWirelessGroup.groupNumber, 0x12A4u);
        QCOMPARE(theWirelessGroup.nodeNumber, 33);
    }

    void openingAFileFillsTheFieldsAndAFailedLoadLeavesThem() {
        const QString good = Path("parent.krz");
        QVERIFY(SaveWirelessGroupFile(good.toStdString(), ParentRecord(), &m_cipher).ok);
        const QString bad = Path("bad.krz");
        QFile::copy(good, bad);
        {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(10);  // inside the length block
            f.write("\x01\x02", 2);
        }

        theWirelessGroup = NoGroupRecord();
        CSetSubG panel;
        Child<QRadioButton>(&panel, "radChildFile")->click();
        QString chosen = good;
        bool askedToSave = true;
        SetGroupFileDialog([&](QWidget*, bool save, const QString&) {
            askedToSave = save;
            return chosen;
        });
        Child<QPushButton>(&panel, "btnOpenFile")->click();
        QVERIFY(!askedToSave);
        QCOMPARE(m_messages, QStringList{QStringLiteral("ファイルからロードしたパラメータを反映しました。")});
        QCOMPARE(Child<QLineEdit>(&panel, "edtGroupNumber")->text(), QStringLiteral("0012ABCD"));
        QCOMPARE(Child<QLineEdit>(&panel, "edtGroupPassword")->text(), QStringLiteral("grp12345"));
        QCOMPARE(Child<QLineEdit>(&panel, "edtChannel")->text(), QStringLiteral("11"));
        QVERIFY(Child<QCheckBox>(&panel, "chkEncryption")->isChecked());
        QVERIFY(Child<QRadioButton>(&panel, "radMedium")->isChecked());
        QVERIFY(Child<QLineEdit>(&panel, "edtNode")->text().isEmpty());
        QCOMPARE(theWirelessGroup.groupNumber, 0x0012ABCDu);

        // The child from the file validates once it has a node number.
        Child<QLineEdit>(&panel, "edtNode")->setText(QStringLiteral("8"));
        QCOMPARE(panel.ValidateWirelessGroup(), int(CSetSubG::WG_VALID));
        QCOMPARE(std::string(theWirelessGroup.encryptionPassword, 32), "enc" + std::string(29, ' '));

        m_messages.clear();
        Child<QLineEdit>(&panel, "edtNode")->setText(QStringLiteral("9"));
        chosen = bad;
        Child<QPushButton>(&panel, "btnOpenFile")->click();
        QCOMPARE(m_messages, QStringList{QStringLiteral("ファイル読込エラー:D-3")});
        QCOMPARE(Child<QLineEdit>(&panel, "edtNode")->text(), QStringLiteral("9"));
        QCOMPARE(theWirelessGroup.nodeNumber, 8);

        m_messages.clear();
        chosen.clear();  // cancelled
        Child<QPushButton>(&panel, "btnOpenFile")->click();
        QVERIFY(m_messages.isEmpty());
    }

    void parentCompletionOffersTheSaveDialogWithTheNewGroup() {
        theWirelessGroup = NoGroupRecord();
        CSetSubG panel;
        Child<QLineEdit>(&panel, "edtGroupPassword")->setText(QStringLiteral("pw"));
        QCOMPARE(panel.ValidateWirelessGroup(), int(CSetSubG::WG_VALID));
        QCOMPARE(panel.PendingAction(), 1);
        theWirelessGroup.groupNumber = 0x0012ABCDu;  // as the "gi" reply leaves it

        QString proposed;
        const QString target = Path("saved.krz");
        SetGroupFileDialog([&](QWidget*, bool save, const QString& name) {
            proposed = name;
            return save ? target : QString();
        });
        QVERIFY(panel.FinishWirelessGroupChange());
        QCOMPARE(proposed, QStringLiteral("KORZ_0012ABCD.krz"));
        QCOMPARE(m_messages,
                 QStringList{QStringLiteral("親機として設定を変更しました。無線設定保存ダイアログを開きます。")});
        QCOMPARE(QFileInfo(target).size(), qint64(83));
        WirelessGroupRecord back;
        QVERIFY(LoadWirelessGroupFile(target.toStdString(), &back, &m_cipher).ok);
        QCOMPARE(back.groupNumber, 0x0012ABCDu);
        QCOMPARE(back.nodeNumber, 1);

        // A save that fails still lets the window close; the save says why.
        m_messages.clear();
        SetGroupFileDialog([&](QWidget*, bool, const QString&) { return Path("no/folder/x.krz"); });
        QVERIFY(panel.FinishWirelessGroupChange());
        QCOMPARE(m_messages.size(), 2);
        QCOMPARE(m_messages.at(1), QStringLiteral("ファイルを開けませんでした。"));
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
            auto* label = Child<QLabel>(&dlg, "lblText");
            auto* bar = Child<QProgressBar>(&dlg, "barWait");
            QVERIFY(label->text().startsWith(QStringLiteral("設定を変更しました。\n\n無線グループ登録中。")));
            QVERIFY(!bar->isHidden());
            dlg.open();
            QTRY_COMPARE_WITH_TIMEOUT(label->text(), text, 5000);
            QCOMPARE(dlg.WaitState(), state);
            QVERIFY(bar->isHidden());
            QVERIFY(dlg.isVisible());  // waits for the operator
            Child<QPushButton>(&dlg, "btnClose")->click();
            QVERIFY(!dlg.isVisible());
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
            auto* close = Child<QPushButton>(&dlg, "btnClose");
            QTRY_VERIFY_WITH_TIMEOUT(dlg.Polls() >= 2, 3000);
            QTest::keyClick(close, Qt::Key_Return);
            QTest::keyClick(&dlg, Qt::Key_Enter);
            QVERIFY(dlg.isVisible());
            QTest::keyClick(&dlg, Qt::Key_Escape);
            QVERIFY(!dlg.isVisible());
            // A success that arrives now does not count.
            theLink.m_nRegStatus = 0;
            QVERIFY(!dlg.Succeeded());
            teardown.start();
        }
        QVERIFY(teardown.elapsed() < 400);
        QCOMPARE(theLink.m_nPending.load(), 0);
    }

    void childCompletionRunsTheWaitModally() {
        SimLink link("device 0 model 13\ngq 0\n");
        QVERIFY2(link.ok(), link.error().c_str());
        theWirelessGroup = NoGroupRecord();
        CSetSubG panel;
        Child<QRadioButton>(&panel, "radChildManual")->click();
        Child<QLineEdit>(&panel, "edtGroupNumber")->setText(QStringLiteral("1234"));
        Child<QLineEdit>(&panel, "edtGroupPassword")->setText(QStringLiteral("pw"));
        Child<QLineEdit>(&panel, "edtNode")->setText(QStringLiteral("2"));
        QCOMPARE(panel.ValidateWirelessGroup(), int(CSetSubG::WG_VALID));

        // Closes the wait once it reports success (bounded by its own deadline).
        QElapsedTimer clock;
        clock.start();
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            auto* dlg = qobject_cast<CSetSubG_Wait*>(QApplication::activeModalWidget());
            if (dlg && (dlg->WaitState() == WAIT_SUCCEEDED || clock.elapsed() > 5000)) dlg->accept();
        });
        closer.start(20);
        QVERIFY(panel.FinishWirelessGroupChange());
        closer.stop();
        QTRY_VERIFY_WITH_TIMEOUT(link.CountFrames("GQ") >= 2, 2000);  // the last poll may still be on its way
        QCOMPARE(theLink.m_nPending.load(), 0);
    }
};

QTEST_MAIN(SetSubGTest)
#include "SetSubGTest.moc"
