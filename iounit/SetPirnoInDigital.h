// CSetPirnoInDigital: the digital input page of the I/O unit window
// (destinations, retry count, notification interval, chattering filter,
// reset request, individual extension, sleep). A borderless child form; the
// logic is in DigitalInputCore.
#pragma once

#include "iounit/DigitalInputCore.h"
#include "iounit/NotifySleepControls.h"

#include <QWidget>

#include <memory>

namespace Ui {
class CSetPirnoInDigitalForm;
}

class CSetPirnoInDigital : public QWidget {
    Q_OBJECT
public:
    explicit CSetPirnoInDigital(QWidget* parent = nullptr);
    ~CSetPirnoInDigital() override;

    Ui::CSetPirnoInDigitalForm* Form() const { return m_ui.get(); }

    // GUI thread, each time the window opens for a model with inputs
    // DI1..DIinputCount: the stored settings shown, the boxes of the other
    // inputs hidden (their bits kept), the enabling rules applied.
    void Create(int inputCount);

    // GUI thread.
    DigitalInputFormValues ReadFormValues() const;
    void ShowFormValues(const DigitalInputFormValues& values);
    // DI1..DI5 follow "個別延長有効", the sleep controls "スリープ有効".
    void ApplyEnablingRules();

    // Write worker: reads the form on the GUI thread and validates it into
    // TheDigitalInputSettings(); on a refused value shows the message (owned
    // by the page) and returns false.
    bool Validate();

private:
    std::unique_ptr<Ui::CSetPirnoInDigitalForm> m_ui;
    NotifySleepControls m_controls{};
    // What the device reported when the page opened: a list left without a
    // selection writes it back.
    DigitalInputSettings m_device{};
};
