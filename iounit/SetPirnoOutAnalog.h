// CSetPirnoOutAnalog: the analog output page of the I/O unit window, one row
// per output (range voltage/current, initial value, LED thresholds and
// condition). A borderless child form; the logic is in AnalogOutputCore.
//
// The fields show physical values; the page keeps the 16-bit codes behind
// them. A field the operator changed is converted to its code when it loses
// the focus (and, at the latest, when the page is validated), in the scale it
// was typed in; a field left alone keeps its code exactly, so showing and
// reading back never shifts a value by rounding.
#pragma once

#include "iounit/AnalogOutputCore.h"

#include <QWidget>

#include <memory>

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLineEdit;

namespace Ui {
class CSetPirnoOutAnalogForm;
}

class CSetPirnoOutAnalog : public QWidget {
    Q_OBJECT
public:
    explicit CSetPirnoOutAnalog(QWidget* parent = nullptr);
    ~CSetPirnoOutAnalog() override;

    Ui::CSetPirnoOutAnalogForm* Form() const { return m_ui.get(); }

    // GUI thread, each time the window opens: rows AO1..AOoutputCount shown,
    // the others hidden, the stored table shown.
    void Create(int outputCount);

    // GUI thread: the radio buttons, lists and codes (pending field changes
    // converted first).
    AnalogOutputFormValues ReadFormValues();
    // GUI thread: shows the values (a loaded profile) as the page shows codes.
    void ShowFormValues(const AnalogOutputFormValues& values);

    // Write worker: reads the form on the GUI thread and validates it into
    // theAnalogOutputs; on a refused value shows the message (owned by the
    // page) and returns false.
    bool Validate();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        QList<QAbstractButton*> ranges;  // 電圧, 電流
        QButtonGroup* group;
        QLineEdit* value;
        QLineEdit* low;
        QLineEdit* high;
        QComboBox* condition;
        QWidget* label;
    };
    Row RowOf(int k) const;
    // The fields of output k from its codes, in the scale of its checked button.
    void ShowOutput(int k);
    // The changed fields of output k to codes, in the scale they were shown in.
    void ConvertOutput(int k);

    std::unique_ptr<Ui::CSetPirnoOutAnalogForm> m_ui;
    int m_nCount = 0;
    AoRowValues m_rows[ANALOG_OUTPUT_MAX];
    int m_shownRange[ANALOG_OUTPUT_MAX] = {};
    AoChannelSettings m_device[ANALOG_OUTPUT_MAX];
};
