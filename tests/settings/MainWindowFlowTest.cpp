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

template <class T>
static T* Child(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    if (!c) qFatal("no child %s", name);
    return c;
}

class MainWindowFlowTest : public QObject {
    Q_OBJECT
private slots:
    void remoteSerialConverterThroughMainWindow() {
        QStringList messages;
        SetMessageSink([&](QWidget*, const QString& text) { messages << text; });
        ClearDeviceKinds();
        RegisterSettingsWindows();
        rzsim::Scenario scenario;
        std::string error;
        QVERIFY(rzsim::ParseScenario("device 0 model 14 uid 1\ndevice 3 model 15 uid 00C0FFEE\n", &scenario, &error));
        rzsim::Simulator sim(scenario);
        const int port = sim.StartTcp();
        QVERIFY(port > 0);

        CKORVELT_RZsetDlg dlg(nullptr, [](std::vector<PortItem>* items) { return items->clear(), true; });
        dlg.show();
        Child<QAbstractButton>(&dlg, "radioRemote")->click();
        Child<QAbstractButton>(&dlg, "radioLan")->click();
        const std::pair<const char*, QString> fields[] = {
            {"editAddress", "127.0.0.1"}, {"editPort", QString::number(port)}, {"editNode", "3"}, {"editTimeout", "5"}};
        for (const auto& [name, text] : fields) Child<QLineEdit>(&dlg, name)->setText(text);

        // The serial converter's window runs modally inside the dispatch:
        // drive it from a timer while the connect handler is still running.
        // A failed check, or the deadline, ends every modal window.
        bool written = false;
        QTimer driver;
        connect(&driver, &QTimer::timeout, this, [&] {
            auto* w = qobject_cast<CSetSerial*>(QApplication::activeModalWidget());
            if (!w || written || w->IsWriteRunning()) return;
            written = true;
            QVERIFY(w->windowTitle().endsWith(QStringLiteral(" ( node : 3 ) の設定")));
            // Usable although the main window disabled its controls while busy.
            QVERIFY(w->isEnabled() && Child<QAbstractButton>(w, "okButton")->isEnabled());
            Child<QLineEdit>(w, "editDestNode")->setText(QStringLiteral("42"));
            Child<QAbstractButton>(w, "okButton")->click();
        });
        driver.start(20);
        QTimer::singleShot(10000, this, [] {
            if (auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget())) w->done(-2);
        });
        Child<QAbstractButton>(&dlg, "buttonConnect")->click();
        QTRY_VERIFY_WITH_TIMEOUT(written, 8000);
        QTRY_VERIFY_WITH_TIMEOUT(theLink.m_nState.load() == LINK_CLOSED && !QApplication::activeModalWidget(), 8000);
        QCOMPARE(QString::fromStdString(sim.State(3).relay.substr(2, 2)), QStringLiteral("2A"));
        QVERIFY(messages.contains(QString::fromUtf8(MSG_WG_CHANGED)));
        driver.stop();
        dlg.Shutdown();
        SetMessageSink({});
    }
};

QTEST_MAIN(MainWindowFlowTest)
#include "MainWindowFlowTest.moc"
