// CSetSerial: the serial converter's settings window (operating mode, serial
// line, MODBUS address filter, packetising) on the shared frame.
#pragma once

#include "settings/SerialCore.h"
#include "settings/SettingsFrame.h"

#include <memory>

class QButtonGroup;

namespace Ui {
class CSetSerialForm;
}

class CSetSerial : public CSettingsFrame {
    Q_OBJECT
public:
    explicit CSetSerial(QWidget* parent = nullptr);
    ~CSetSerial() override;

    Ui::CSetSerialForm* Form() const { return m_ui.get(); }

    // GUI thread: the form's current values / shows values in the form.
    SerialFormValues ReadFormValues() const;
    void ShowFormValues(const SerialFormValues& values);
    // The enabling rules for the current choices.
    void ApplyEnablingRules();

protected:
    void LimitFields() override;
    void FillForm() override;
    bool ValidateForm() override;
    int WriteDevice(const SendFailedFn& onSendFailed, StepFailure* failure) override;
    void OnFormEnabled() override { ApplyEnablingRules(); }
    bool FormToProfile(ProfileJson* settings, ProfileError* error) override;
    bool ProfileToForm(const ProfileJson& settings, ProfileError* error) override;

private:
    std::unique_ptr<Ui::CSetSerialForm> m_ui;
    // The values the device reported when the window opened: a group left
    // without a selection writes these back.
    RelaySettings m_device{};
};
