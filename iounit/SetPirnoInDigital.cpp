#include "iounit/SetPirnoInDigital.h"

#include "forms/IoUnitTexts.h"
#include "forms/UiThread.h"
#include "iounit/PageControls.h"
#include "ui_SetPirnoInDigital.h"

CSetPirnoInDigital::CSetPirnoInDigital(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CSetPirnoInDigitalForm>()) {
    m_ui->setupUi(this);
    m_controls = NotifySleepControlsOf(*m_ui);
    AcceptDigitsOnly(this, m_controls);
    // The rules follow the boxes however they change (mouse, keyboard,
    // assistive technology, or the form being filled).
    connect(m_ui->checkExtension, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
    connect(m_ui->checkSleep, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
}

CSetPirnoInDigital::~CSetPirnoInDigital() = default;

void CSetPirnoInDigital::Create(int inputCount) {
    PrepareNotifySleep(m_controls);
    FillList(m_ui->comboChatter, CHATTER_FILTERS, CHATTER_FILTER_COUNT);
    QCheckBox* boxes[] = {m_ui->checkDi1, m_ui->checkDi2, m_ui->checkDi3, m_ui->checkDi4, m_ui->checkDi5};
    for (int n = 0; n < DIGITAL_INPUT_MAX; ++n) boxes[n]->setVisible(n < inputCount);

    m_device = TheDigitalInputSettings();
    ShowFormValues(DigitalInputFormFromSettings(m_device));
    ApplyEnablingRules();
}

DigitalInputFormValues CSetPirnoInDigital::ReadFormValues() const {
    DigitalInputFormValues f;
    f.notify = ReadNotifyControls(m_controls);
    f.resetRequest = m_ui->checkReset->isChecked();
    f.chatterFilter = m_ui->comboChatter->currentIndex();
    f.extensionEnabled = m_ui->checkExtension->isChecked();
    const QCheckBox* boxes[] = {m_ui->checkDi1, m_ui->checkDi2, m_ui->checkDi3, m_ui->checkDi4, m_ui->checkDi5};
    for (int n = 0; n < DIGITAL_INPUT_MAX; ++n) f.di[n] = boxes[n]->isChecked();
    f.sleep = ReadSleepControls(m_controls);
    return f;
}

void CSetPirnoInDigital::ShowFormValues(const DigitalInputFormValues& f) {
    ShowNotifyControls(m_controls, f.notify);
    m_ui->checkReset->setChecked(f.resetRequest);
    SelectIndex(m_ui->comboChatter, f.chatterFilter);
    m_ui->checkExtension->setChecked(f.extensionEnabled);
    QCheckBox* boxes[] = {m_ui->checkDi1, m_ui->checkDi2, m_ui->checkDi3, m_ui->checkDi4, m_ui->checkDi5};
    for (int n = 0; n < DIGITAL_INPUT_MAX; ++n) boxes[n]->setChecked(f.di[n]);
    ShowSleepControls(m_controls, f.sleep);
}

void CSetPirnoInDigital::ApplyEnablingRules() {
    const bool extension = m_ui->checkExtension->isChecked();
    for (QCheckBox* box : {m_ui->checkDi1, m_ui->checkDi2, m_ui->checkDi3, m_ui->checkDi4, m_ui->checkDi5}) {
        box->setEnabled(extension);
    }
    ApplySleepEnabling(m_controls);
}

bool CSetPirnoInDigital::Validate() {
    DigitalInputFormValues form;
    RunOnGuiBlocking([this, &form] { form = ReadFormValues(); });
    if (const char* message = ValidateDigitalInputForm(form, m_device, &TheDigitalInputSettings())) {
        ShowMessage(this, QString::fromUtf8(message));
        return false;
    }
    return true;
}
