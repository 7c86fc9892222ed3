// CSetPirnoInAnalogAI: the modal dialog "AIの設定" for one analog input
// channel. It edits a copy of the channel's record and, on OK, prepares the
// four commands that the analog input page sends; it sends nothing itself.
// Enter and Esc do not close it, only its buttons (and the close box, as
// Cancel) do. GUI thread only.
#pragma once

#include "iounit/AnalogChannel.h"

#include <QDialog>

#include <array>
#include <memory>
#include <string>

class QAbstractButton;
class QLineEdit;

namespace Ui {
class CSetPirnoInAnalogAIForm;
}

class CSetPirnoInAnalogAI : public QDialog {
    Q_OBJECT
public:
    explicit CSetPirnoInAnalogAI(QWidget* parent = nullptr);
    ~CSetPirnoInAnalogAI() override;

    // Before the dialog is shown: the channel (0..4) and its record as the
    // fetch left it; the controls are filled from it.
    void SetChannel(int channel, const AiChannelSettings& rec);
    int Channel() const { return m_nChannel; }
    // The record as edited (thresholds converted when their fields were
    // left; the rest rebuilt by a successful OK).
    const AiChannelSettings& Settings() const { return m_rec; }
    // After OK: input range, thermocouple, LED, temperature scaling.
    const std::array<std::string, 4>& Commands() const { return m_commands; }

    Ui::CSetPirnoInAnalogAIForm* Form() const { return m_ui.get(); }
    AiChannelForm ReadFormValues() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnRangeChanged();
    void ShowThresholds();
    void LeaveThreshold(QLineEdit* field, std::int32_t* code);
    void OnOk();

    std::unique_ptr<Ui::CSetPirnoInAnalogAIForm> m_ui;
    int m_nChannel = 0;
    AiChannelSettings m_rec{};
    std::array<std::string, 4> m_commands;
};
