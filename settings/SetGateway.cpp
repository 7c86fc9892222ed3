#include "settings/SetGateway.h"

#include "forms/UiThread.h"
#include "settings/RelayProfiles.h"
#include "ui_SetGateway.h"

#include <QRegularExpressionValidator>

CSetGateway::CSetGateway(QWidget* parent) : CSettingsFrame(parent), m_ui(std::make_unique<Ui::CSetGatewayForm>()) {
    m_ui->setupUi(this);
    // The operating mode is never shown: the write always sends normal.
    for (QWidget* w : {static_cast<QWidget*>(m_ui->labelOpMode), static_cast<QWidget*>(m_ui->radioModeNormal),
                       static_cast<QWidget*>(m_ui->radioModeRtu), static_cast<QWidget*>(m_ui->radioModeAscii)}) {
        w->hide();
    }
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    m_ui->editDestNode->setValidator(digits);
    // The ports are filled right-aligned (" 1024"): leading blanks, then digits.
    auto* port = new QRegularExpressionValidator(QRegularExpression(QStringLiteral(" *[0-9]*")), this);
    m_ui->editCommandPort->setValidator(port);
    m_ui->editSerialPort->setValidator(port);
    AttachFrame(m_ui->frameArea, m_ui->statusLine, m_ui->progressBar, m_ui->okButton, m_ui->cancelButton);
}

CSetGateway::~CSetGateway() { EndWork(); }

void CSetGateway::LimitFields() {
    m_ui->editIp->setMaxLength(15);
    m_ui->editMask->setMaxLength(15);
    m_ui->editGateway->setMaxLength(15);
    m_ui->editCommandPort->setMaxLength(5);
    m_ui->editDestNode->setMaxLength(3);
    m_ui->editSerialPort->setMaxLength(5);
}

void CSetGateway::FillForm() {
    ShowFormValues(GatewayFormFromSettings(TheRelaySettings()));
    const QString mac = QString::fromStdString(FormatMac(m_abMacAddress));
    m_ui->macText->setText(mac);
    m_ui->macText->setAccessibleDescription(mac);  // its name is the caption; the value shows here
}

GatewayFormValues CSetGateway::ReadFormValues() const {
    GatewayFormValues form;
    form.destNode = m_ui->editDestNode->text().toStdString();
    form.commandPort = m_ui->editCommandPort->text().toStdString();
    form.serialPort = m_ui->editSerialPort->text().toStdString();
    form.ipAddress = m_ui->editIp->text().toStdString();
    form.subnetMask = m_ui->editMask->text().toStdString();
    form.defaultGateway = m_ui->editGateway->text().toStdString();
    return form;
}

void CSetGateway::ShowFormValues(const GatewayFormValues& form) {
    m_ui->editDestNode->setText(QString::fromStdString(form.destNode));
    m_ui->editCommandPort->setText(QString::fromStdString(form.commandPort));
    m_ui->editSerialPort->setText(QString::fromStdString(form.serialPort));
    m_ui->editIp->setText(QString::fromStdString(form.ipAddress));
    m_ui->editMask->setText(QString::fromStdString(form.subnetMask));
    m_ui->editGateway->setText(QString::fromStdString(form.defaultGateway));
}

bool CSetGateway::ValidateForm() {
    GatewayFormValues form;
    RunOnGuiBlocking([this, &form] { form = ReadFormValues(); });
    if (const char* message = ValidateGatewayForm(form, TheRelaySettings())) {
        ShowMessage(this, QString::fromUtf8(message));
        return false;
    }
    return true;
}

int CSetGateway::WriteDevice(const SendFailedFn& onSendFailed, StepFailure* failure) {
    return WriteGatewaySettings(TheRelaySettings(), onSendFailed, failure);
}

bool CSetGateway::FormToProfile(ProfileJson* settings, ProfileError* error) {
    RelaySettings checked = TheRelaySettings();
    if (const char* message = ValidateGatewayForm(ReadFormValues(), checked)) {
        *error = ProfileError{"", message};
        return false;
    }
    *settings = GatewayProfileSettings(checked);
    return true;
}

bool CSetGateway::ProfileToForm(const ProfileJson& settings, ProfileError* error) {
    GatewayFormValues form;
    RelaySettings checked = TheRelaySettings();
    if (!GatewayFormFromProfile(settings, &form, error) || ValidateGatewayForm(form, checked)) return false;
    ShowFormValues(GatewayFormFromSettings(checked));  // as the window shows a device's values
    return true;
}
