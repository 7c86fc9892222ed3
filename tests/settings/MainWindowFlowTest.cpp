// One connection through the main window: remote setting over LAN to a
// serial converter behind the simulated gateway, its window opened by the
// dispatch, edited, written, and the link closed when it has closed.
#include "app/MainDlg.h"
#include "forms/UiThread.h"
#include "forms/WirelessTexts.h"
#include "link/DeviceLink.h"
#include "settings/RegisterSettings.h"
#include "settings/SetSerial.h"
#include "tools/rzsim/Simulator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include <memory>

class MainWindowFlowTest : public QObject {
    Q_OBJECT
private slots:
    void remoteSerialConverterThroughMainWindow() {
        std::vector<QString> messages;
        SetMessageSink([&](QWidget*, const QString& text) { messages.push_back(text); });
        ClearDeviceKinds();
        RegisterSettingsWindows();

        rzsim::Scenario scenario;
        std::string error;
        QVERIFY(rzsim::ParseScenario("device 0 model 14 uid 1\ndevice 3 model 15 uid 00C0FFEE\n", &scenario, &error));
        rzsim::Simulator sim(scenario);
        const int port = sim.StartTcp();
        QVERIFY(port > 0);

        CKORVELT_RZsetDlg dlg(nullptr, [](std::vector<PortItem>* items) {
            items->clear();
            return true;
        });
        dlg.show();
        auto button = [&](const char* name) { return dlg.findChild<QAbstractButton*>(QString::fromLatin1(name)); };
        auto edit = [&](const char* name) { return dlg.findChild<QLineEdit*>(QString::fromLatin1(name)); };
        QVERIFY(button("radioRemote") && button("radioLan") && edit("editAddress") && edit("editNode"));
        button("radioRemote")->click();
        button("radioLan")->click();
        edit("editAddress")->setText(QStringLiteral("127.0.0.1"));
        edit("editPort")->setText(QString::number(port));
        edit("editNode")->setText(QStringLiteral("3"));
        edit("editTimeout")->setText(QStringLiteral("5"));

        // The serial converter's window runs modally inside the dispatch:
        // drive it from a timer while the connect handler is still running.
        bool written = false;
        QTimer driver;
        connect(&driver, &QTimer::timeout, this, [&] {
            auto* w = qobject_cast<CSetSerial*>(QApplication::activeModalWidget());
            if (!w || written || w->IsWriteRunning()) return;
            QVERIFY(w->windowTitle().endsWith(QStringLiteral(" ( node : 3 ) の設定")));
            // Usable although the main window disabled its controls while busy.
            QVERIFY(w->isEnabled());
            QVERIFY(w->findChild<QAbstractButton*>(QStringLiteral("okButton"))->isEnabled());
            w->findChild<QLineEdit*>(QStringLiteral("editDestNode"))->setText(QStringLiteral("42"));
            written = true;
            w->findChild<QAbstractButton*>(QStringLiteral("okButton"))->click();
        });
        driver.start(20);
        // Never leave a modal window running after a failed check.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, this, [] {
            if (auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget())) w->done(-2);
        });
        guard.start(10000);
        button("buttonConnect")->click();
        QTRY_VERIFY_WITH_TIMEOUT(written, 8000);
        QTRY_VERIFY_WITH_TIMEOUT(theLink.m_nState.load() == LINK_CLOSED && QApplication::activeModalWidget() == nullptr,
                                 8000);
        QCOMPARE(QString::fromStdString(sim.State(3).relay.substr(2, 2)), QStringLiteral("2A"));
        QCOMPARE(theLink.m_dwUid.load(), 0x00C0FFEEu);
        QVERIFY(std::find(messages.begin(), messages.end(), QString::fromUtf8(MSG_WG_CHANGED)) != messages.end());
        driver.stop();
        dlg.Shutdown();
        SetMessageSink({});
    }
};

QTEST_MAIN(MainWindowFlowTest)
#include "MainWindowFlowTest.moc"
