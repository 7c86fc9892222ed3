// CSetPirnoOutDigital: the digital output page of the I/O unit window, one
// row per output ("通常", "起動時ON", "ワンショット" and the one-shot time).
// A borderless child form; the logic is in DigitalOutputCore.
#pragma once

#include "iounit/DigitalOutputCore.h"

#include <QWidget>

#include <memory>

class QAbstractButton;
class QButtonGroup;
class QLineEdit;

namespace Ui {
class CSetPirnoOutDigitalForm;
}

class CSetPirnoOutDigital : public QWidget {
    Q_OBJECT
public:
    explicit CSetPirnoOutDigital(QWidget* parent = nullptr);
    ~CSetPirnoOutDigital() override;

    Ui::CSetPirnoOutDigitalForm* Form() const { return m_ui.get(); }

    // GUI thread, each time the window opens: rows DO1..DOoutputCount shown,
    // the others hidden (they keep what the read put in them), the stored
    // table shown.
    void Create(int outputCount);

    // GUI thread.
    DigitalOutputFormValues ReadFormValues() const;
    void ShowFormValues(const DigitalOutputFormValues& values);

    // Write worker: reads the form on the GUI thread and validates every row
    // into theDigitalOutputs; on a refused value shows the message (owned by
    // the page) and returns false.
    bool Validate();

private:
    struct Row {
        QList<QAbstractButton*> modes;  // 通常, 起動時ON, ワンショット
        QButtonGroup* group;
        QLineEdit* time;
        QList<QWidget*> all;  // everything of the row, to hide it
    };
    Row RowOf(int k) const;

    std::unique_ptr<Ui::CSetPirnoOutDigitalForm> m_ui;
    DoChannelSettings m_device[DIGITAL_OUTPUT_MAX];
};
