// CSetGateway: the wireless gateway's settings window (LAN parameters, MAC
// address, serial communication gateway function) on the shared frame.
#pragma once

#include "settings/GatewayCore.h"
#include "settings/SettingsFrame.h"

#include <memory>

namespace Ui {
class CSetGatewayForm;
}

class CSetGateway : public CSettingsFrame {
    Q_OBJECT
public:
    explicit CSetGateway(QWidget* parent = nullptr);
    ~CSetGateway() override;

    Ui::CSetGatewayForm* Form() const { return m_ui.get(); }

protected:
    void LimitFields() override;
    void FillForm() override;
    bool ValidateForm() override;
    int WriteDevice(const SendFailedFn& onSendFailed, StepFailure* failure) override;
    bool FormToProfile(ProfileJson* settings, ProfileError* error) override;
    bool ProfileToForm(const ProfileJson& settings, ProfileError* error) override;

private:
    GatewayFormValues ReadFormValues() const;
    void ShowFormValues(const GatewayFormValues& form);

    std::unique_ptr<Ui::CSetGatewayForm> m_ui;
};
