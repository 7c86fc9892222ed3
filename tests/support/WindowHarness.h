// The settings windows end to end (Qt Test, offscreen): a simulated device on
// a real channel (a pseudo-terminal, or loopback TCP), theLink opened to it and
// what the main window does around a settings window; the operator's helpers;
// the messages and device error answers shown; no link call on the GUI thread.
#pragma once

#include "app/MainDlg.h"
#include "link/ErrorAnswer.h"
#include "settings/DeviceKinds.h"
#include "settings/ProfileDocument.h"
#include "settings/RegisterSettings.h"
#include "settings/SettingsFrame.h"
#include "tests/GuiLiveness.h"
#include "tools/rzsim/Simulator.h"
#include "wireless/SetSubG.h"
#include "wireless/SetSubG_Wait.h"
#include "wireless/WirelessGroup.h"

#include <QTest>
#include <QtWidgets>

#include <algorithm>
#include <functional>
#include <memory>
#include <thread>

inline QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

template <class C = QLineEdit>
C* Child(QWidget* w, const char* name) {
    C* c = w->findChild<C*>(QString::fromLatin1(name));
    if (!c) qFatal("no child %s", name);
    return c;
}
inline void Click(QWidget* w, const char* name) { Child<QAbstractButton>(w, name)->click(); }
inline void SetText(QWidget* w, const char* name, const QString& text) { Child(w, name)->setText(text); }
// Typed like an operator (the field knows it was changed); with next, the
// focus then moves on to that control, as leaving the field does.
inline void Type(QWidget* w, const char* name, const char* text, const char* next = nullptr) {
    QLineEdit* e = Child(w, name);
    if (next) e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, Q(text));
    if (next) Child<QWidget>(w, next)->setFocus();
}
// What a field, a list or a label shows.
inline QString Text(QWidget* w, const char* name) {
    QWidget* c = Child<QWidget>(w, name);
    if (auto* e = qobject_cast<QLineEdit*>(c)) return e->text();
    if (auto* b = qobject_cast<QComboBox*>(c)) return b->currentText();
    return Child<QLabel>(w, name)->text();
}
// '1' or '0' for each control: enabled, or with shown, visible within w.
inline QString Flags(QWidget* w, std::initializer_list<const char*> names, bool shown = false) {
    QString flags;
    for (const char* name : names) flags += (shown ? Child<QWidget>(w, name)->isVisibleTo(w) : Child<QWidget>(w, name)->isEnabled()) ? '1' : '0';
    return flags;
}
using NamedTexts = std::initializer_list<std::pair<const char*, const char*>>;
// Each control's text (or accessible name), prefixed with its name in a failure.
inline void CheckTexts(QWidget* w, NamedTexts rows) {
    for (const auto& [name, text] : rows) QCOMPARE(name + (": " + Text(w, name)), name + (": " + Q(text)));
}
inline void CheckAccessibleNames(QWidget* w, NamedTexts rows) {
    for (const auto& [name, label] : rows)
        QCOMPARE(name + (": " + Child<QWidget>(w, name)->accessibleName()), name + (": " + Q(label)));
}
inline void EditPanel(CSettingsFrame* w, const std::function<void(GroupPanelFields&)>& edit) {
    GroupPanelFields f = w->Panel()->Fields();
    edit(f);
    w->Panel()->SetFields(f);
}
inline void SetFields(rzsim::DeviceState& state, NamedTexts fields) {
    for (const auto& [key, value] : fields) state.fields[key] = value;
}
// The window's profile saved to file and read back (null when either fails).
inline ProfileJson Saved(CSettingsFrame* w, const QString& file) {
    ProfileJson doc;
    ProfileModel model;
    ProfileError error;
    return w->SaveProfileTo(file) && ReadProfileFile(file.toStdString(), &doc, &model, &error) ? doc : ProfileJson();
}
inline bool Write(const QString& file, const ProfileJson& doc) {
    ProfileError error;
    return WriteProfileFile(file.toStdString(), doc, &error);
}
inline QString TempFile(const char* stem) {
    return QDir::temp().filePath(QStringLiteral("%1_%2.json").arg(stem).arg(QCoreApplication::applicationPid()));
}
// OK, then the window closes as written within the deadline.
inline bool OkCloses(QDialog* w) {
    Click(w, "okButton");
    return QTest::qWaitFor([w] { return !w->isVisible(); }, 8000) && w->result() == QDialog::Accepted;
}

class WindowHarness {
protected:
    QWidget m_main;  // stands in for the main window: handler context and owner
    std::vector<QString> m_messages;
    std::vector<std::string> m_answers;  // device error answers shown
    bool m_holdBox = false;              // keep the error answer's box open until m_closeBox
    std::function<void()> m_closeBox;
    QTimer m_closer;  // the operator closes a registration wait once it shows its outcome (or after 6 s)
    int m_waitTicks = 0;
    std::unique_ptr<rzsim::Simulator> m_sim;
    std::unique_ptr<IDeviceKind> m_kind;  // destroyed before the link closes
    QStringList m_guiLinkCalls;           // made on the GUI thread (none allowed)

    WindowHarness() {
        m_closer.callOnTimeout([this] {
            auto* wait = qobject_cast<CSetSubG_Wait*>(QApplication::activeModalWidget());
            m_waitTicks = wait ? m_waitTicks + 1 : 0;
            if (wait && (wait->WaitState() != WAIT_RUNNING || m_waitTicks > 300)) Click(wait, "btnClose");
        });
    }

    // theLink opened to the simulated device, then what the main window does
    // between identification and the window: identity recorded, settings
    // cleared, the handler installed, the read, the window opened and watched.
    // Null when the link or the read fails.
    template <class Kind>
    auto Open(const std::string& scenario, bool tcp, int node, int model, std::uint32_t uid, int timeoutSec = 2) {
        CloseLink();
        m_sim = std::make_unique<rzsim::Simulator>(Parse(scenario));
        theLink.m_nMode = tcp ? LINK_TCP : LINK_SERIAL;
        theLink.m_strHost = "127.0.0.1";
        if (tcp) theLink.m_strPort = std::to_string(m_sim->StartTcp());
        else theLink.m_strComPort = m_sim->StartPty();
        theLink.m_nNode = 0;
        theLink.m_nTimeoutSec = timeoutSec;
        if (theLink.Open() != 0) return decltype(std::declval<Kind>().Window()){};
        auto kind = std::make_unique<Kind>(&m_main);
        theLink.m_nNode = node, theLink.m_nModelCode = model, theLink.m_dwUid = uid;
        theLink.ClearSettings();
        theLink.SetReplyHandler(&m_main, kind->Handler());
        auto* w = kind->ReadSettings() == 0 ? kind->Window() : nullptr;
        if (w) GuiLinkCalls::Watch(), w->OpenWindow(), w->show();
        m_kind = std::move(kind);
        return w;
    }
    static rzsim::Scenario Parse(const std::string& text) {
        rzsim::Scenario parsed;
        std::string error;
        if (!rzsim::ParseScenario(text, &parsed, &error)) qFatal("scenario: %s", error.c_str());
        return parsed;
    }
    // What the main window does once the window has closed, before it closes
    // the link: the kind's last sends, on a worker.
    void AfterClose() { std::thread([this] { m_kind->AfterWindowClosed(); }).join(); }
    void CloseLink() {
        m_kind.reset();
        m_guiLinkCalls << GuiLinkCalls::Stop();
        theLink.Close();
        theLink.SetReplyHandler(nullptr, nullptr);
        m_sim.reset();
    }
    // Frames the device received from the nth on, without the node prefix.
    QStringList Frames(qsizetype from = 0) const {
        QStringList frames;
        for (const std::string& f : m_sim->Frames()) frames << QString::fromStdString(f.substr(2));
        return frames.mid(from);
    }
    // How many frames the device received start with text (after the node prefix).
    qsizetype Sent(const QString& text) const { return Frames().filter(QRegularExpression("^" + QRegularExpression::escape(text))).size(); }
    bool Shown(const char* text) const { return std::find(m_messages.begin(), m_messages.end(), Q(text)) != m_messages.end(); }

    void BeginCase() {
        m_messages.clear(), m_answers.clear(), m_holdBox = false;
        SetMessageSink([this](QWidget*, const QString& text) { m_messages.push_back(text); });
        SetErrorAnswerPresenter([this](const std::string& text, std::function<void()> closed) {
            RunOnGui([this, text, closed] {
                m_answers.push_back(text);
                if (m_holdBox) m_closeBox = closed;
                else closed();
            });
        });
        theWirelessGroup = WirelessGroupRecord{};
        m_closer.start(20);
    }
    void EndCase() {
        m_closer.stop();
        CloseLink();
        const QStringList guiCalls = std::exchange(m_guiLinkCalls, {});
        SetMessageSink({});
        SetErrorAnswerPresenter({});
        theLink.m_nTimeoutSec = LINK_DEFAULT_TIMEOUT_SEC;
        QVERIFY2(guiCalls.isEmpty(), qPrintable(guiCalls.join(' ')));
    }

    // One connection over LAN to node through the main window's dispatch:
    // drive gets the modal window every 20 ms (the window runs inside the
    // connect handler) and tells when it is done; true once it is, the link
    // is closed again and no modal window is left. At the deadline every
    // modal window is ended.
    bool ThroughMainWindow(const rzsim::Scenario& scenario, int node, const std::function<bool(QWidget*)>& drive) {
        ClearDeviceKinds();
        RegisterSettingsWindows();
        m_sim = std::make_unique<rzsim::Simulator>(scenario);
        const int port = m_sim->StartTcp();
        GuiLinkCalls::Watch();
        CKORVELT_RZsetDlg dlg(nullptr, [](std::vector<PortItem>* items) { return items->clear(), true; });
        dlg.show();
        Click(&dlg, "radioRemote");
        Click(&dlg, "radioLan");
        for (const auto& [name, text] : {std::pair<const char*, QString>{"editAddress", "127.0.0.1"},
                                         {"editPort", QString::number(port)}, {"editNode", QString::number(node)},
                                         {"editTimeout", "5"}})
            SetText(&dlg, name, text);
        bool done = false;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, &dlg, [&] {
            if (QWidget* w = QApplication::activeModalWidget(); w && w != &dlg && !done) done = drive(w);
        });
        driver.start(20);
        QTimer::singleShot(15000, &dlg, [] {
            while (auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget())) w->done(-2);
        });
        Click(&dlg, "buttonConnect");
        const bool ok = port > 0 && QTest::qWaitFor([&] {
            return done && theLink.m_nState.load() == LINK_CLOSED && !QApplication::activeModalWidget();
        }, 14000);
        driver.stop();
        dlg.Shutdown();
        return ok;
    }
};
