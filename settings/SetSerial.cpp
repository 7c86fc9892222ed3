#include "settings/SetSerial.h"

#include "forms/SettingsTexts.h"
#include "forms/UiThread.h"
#include "settings/RelayProfiles.h"
#include "ui_SetSerial.h"

#include <QButtonGroup>
#include <QRegularExpressionValidator>

namespace {

// Position of the checked button in the group's declared order, or NO_CHOICE.
int CheckedIndex(const QList<QAbstractButton*>& buttons) {
    for (int i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked()) return i;
    }
    return NO_CHOICE;
}

// Checks the button at index; NO_CHOICE (or an index outside the group)
// leaves every button clear.
void CheckIndex(QButtonGroup* group, const QList<QAbstractButton*>& buttons, int index) {
    group->setExclusive(false);
    for (int i = 0; i < buttons.size(); ++i) buttons[i]->setChecked(i == index);
    group->setExclusive(true);
}

}  // namespace


struct SerialButtons {
    Ui::CSetSerialForm* ui;
    QList<QAbstractButton*> mode() const { return {ui->radioModeNormal, ui->radioModeRtu, ui->radioModeAscii}; }
    QList<QAbstractButton*> dataBits() const { return {ui->radioData8, ui->radioData7}; }
    QList<QAbstractButton*> stopBits() const { return {ui->radioStop1, ui->radioStop2}; }
    QList<QAbstractButton*> parity() const { return {ui->radioParityNone, ui->radioParityEven, ui->radioParityOdd}; }
    QList<QAbstractButton*> flow() const { return {ui->radioFlowNone, ui->radioFlowCts, ui->radioFlowXon}; }
    QList<QAbstractButton*> filter() const { return {ui->radioFilterOff, ui->radioFilterPass, ui->radioFilterCut}; }
    QList<QAbstractButton*> extra() const { return {ui->radioExtraNone, ui->radioExtra1, ui->radioExtra2}; }
};

CSetSerial::CSetSerial(QWidget* parent) : CSettingsFrame(parent), m_ui(std::make_unique<Ui::CSetSerialForm>()) {
    m_ui->setupUi(this);
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    m_ui->editDestNode->setValidator(digits);
    for (int i = 0; i < SERIAL_BAUD_COUNT; ++i) m_ui->comboBaud->addItem(QString::fromUtf8(SERIAL_BAUD_RATES[i]));
    for (int i = 0; i < SERIAL_TIMEOUT_COUNT; ++i) m_ui->comboTimeout->addItem(QString::fromUtf8(SERIAL_TIMEOUTS[i]));
    SerialButtons b{m_ui.get()};
    // The rules follow the checked state however it changes (mouse, keys,
    // assistive technology, the form being filled).
    for (QAbstractButton* r : b.mode() + b.filter() + QList<QAbstractButton*>{m_ui->checkEndChar})
        connect(r, &QAbstractButton::toggled, this, [this] { ApplyEnablingRules(); });
    AttachFrame(m_ui->frameArea, m_ui->statusLine, m_ui->progressBar, m_ui->okButton, m_ui->cancelButton);
}

CSetSerial::~CSetSerial() { EndWork(); }

void CSetSerial::LimitFields() {
    m_ui->editDestNode->setMaxLength(3);
    m_ui->editFilterLow->setMaxLength(2);
    m_ui->editFilterHigh->setMaxLength(2);
    m_ui->editEndChar1->setMaxLength(2);
    m_ui->editEndChar2->setMaxLength(2);
}

SerialFormValues CSetSerial::ReadFormValues() const {
    SerialButtons b{m_ui.get()};
    SerialFormValues v;
    v.destNode = m_ui->editDestNode->text().toStdString();
    v.opMode = CheckedIndex(b.mode());
    v.baudIndex = m_ui->comboBaud->currentIndex();
    v.dataBits = CheckedIndex(b.dataBits());
    v.stopBits = CheckedIndex(b.stopBits());
    v.parity = CheckedIndex(b.parity());
    v.flowControl = CheckedIndex(b.flow());
    v.filterMode = CheckedIndex(b.filter());
    v.filterLow = m_ui->editFilterLow->text().toStdString();
    v.filterHigh = m_ui->editFilterHigh->text().toStdString();
    v.timeoutIndex = m_ui->comboTimeout->currentIndex();
    v.endCharEnabled = m_ui->checkEndChar->isChecked();
    v.endChar1 = m_ui->editEndChar1->text().toStdString();
    v.endChar2 = m_ui->editEndChar2->text().toStdString();
    v.extraBytes = CheckedIndex(b.extra());
    return v;
}

void CSetSerial::ShowFormValues(const SerialFormValues& v) {
    SerialButtons b{m_ui.get()};
    m_ui->editDestNode->setText(QString::fromStdString(v.destNode));
    CheckIndex(m_ui->groupMode, b.mode(), v.opMode);
    m_ui->comboBaud->setCurrentIndex(v.baudIndex);  // -1: no entry shown
    CheckIndex(m_ui->groupDataBits, b.dataBits(), v.dataBits);
    CheckIndex(m_ui->groupStopBits, b.stopBits(), v.stopBits);
    CheckIndex(m_ui->groupParity, b.parity(), v.parity);
    CheckIndex(m_ui->groupFlow, b.flow(), v.flowControl);
    CheckIndex(m_ui->groupFilter, b.filter(), v.filterMode);
    m_ui->editFilterLow->setText(QString::fromStdString(v.filterLow));
    m_ui->editFilterHigh->setText(QString::fromStdString(v.filterHigh));
    m_ui->comboTimeout->setCurrentIndex(v.timeoutIndex);
    m_ui->checkEndChar->setChecked(v.endCharEnabled);
    m_ui->editEndChar1->setText(QString::fromStdString(v.endChar1));
    m_ui->editEndChar2->setText(QString::fromStdString(v.endChar2));
    CheckIndex(m_ui->groupExtra, b.extra(), v.extraBytes);
}

void CSetSerial::ApplyEnablingRules() {
    SerialButtons b{m_ui.get()};
    SerialEnabling e =
        SerialEnablingFor(CheckedIndex(b.mode()), CheckedIndex(b.filter()), m_ui->checkEndChar->isChecked());
    for (QAbstractButton* r : b.filter()) r->setEnabled(e.filterChoices);
    m_ui->labelFilter->setEnabled(e.filterChoices);
    for (QWidget* w : {static_cast<QWidget*>(m_ui->editFilterLow), static_cast<QWidget*>(m_ui->editFilterHigh),
                       static_cast<QWidget*>(m_ui->labelFilterRange), static_cast<QWidget*>(m_ui->labelFilterDash)}) {
        w->setEnabled(e.filterRange);
    }
    for (QWidget* w : {static_cast<QWidget*>(m_ui->comboTimeout), static_cast<QWidget*>(m_ui->checkEndChar),
                       static_cast<QWidget*>(m_ui->labelPacketHeading), static_cast<QWidget*>(m_ui->labelTimeout)}) {
        w->setEnabled(e.packetising);
    }
    m_ui->editEndChar1->setEnabled(e.endChars);
    m_ui->editEndChar2->setEnabled(e.endChars);
    for (QAbstractButton* r : b.extra()) r->setEnabled(e.extraBytes);
    m_ui->labelExtra->setEnabled(e.extraBytes);
}

void CSetSerial::FillForm() {
    m_device = TheRelaySettings();
    m_ui->comboBaud->setCurrentIndex(0);
    m_ui->comboTimeout->setCurrentIndex(0);
    ShowFormValues(SerialFormFromSettings(m_device));
    ApplyEnablingRules();
}

bool CSetSerial::ValidateForm() {
    SerialFormValues form;
    RunOnGuiBlocking([this, &form] { form = ReadFormValues(); });
    const std::string firstBefore = form.endChar1;
    const char* message = ValidateSerialForm(form, m_device, TheRelaySettings());
    if (form.endChar1 != firstBefore) {
        // A lone second end character moved into the first field.
        RunOnGuiBlocking([this, &form] {
            m_ui->editEndChar1->setText(QString::fromStdString(form.endChar1));
            m_ui->editEndChar2->setText(QString::fromStdString(form.endChar2));
        });
    }
    if (message) {
        ShowMessage(this, QString::fromUtf8(message));
        return false;
    }
    return true;
}

int CSetSerial::WriteDevice(const SendFailedFn& onSendFailed, StepFailure* failure) {
    return WriteSerialSettings(TheRelaySettings(), onSendFailed, failure);
}

bool CSetSerial::FormToProfile(ProfileJson* settings, ProfileError* error) {
    SerialFormValues form = ReadFormValues();
    RelaySettings checked{};
    if (const char* message = ValidateSerialForm(form, m_device, checked)) {
        *error = ProfileError{"", message};
        return false;
    }
    *settings = SerialProfileSettings(checked);
    return true;
}

bool CSetSerial::ProfileToForm(const ProfileJson& settings, ProfileError* error) {
    SerialFormValues form;
    if (!SerialFormFromProfile(settings, &form, error)) return false;
    ShowFormValues(form);
    ApplyEnablingRules();
    return true;
}
