#include "iounit/SetPirnoInDigital.h"

#include "forms/IoUnitTexts.h"
#include "forms/UiThread.h"
#include "iounit/PageControls.h"
#include "ui_SetPirnoInDigital.h"

#include <QRegularExpressionValidator>

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
}  // namespace

CSetPirnoInDigital::CSetPirnoInDigital(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CSetPirnoInDigitalForm>()) {
    m_ui->setupUi(this);
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (QLineEdit* e : {m_ui->editDest1, m_ui->editDest2, m_ui->editDest3, m_ui->editDest4, m_ui->editRetry,
                         m_ui->editWakeup}) {
        e->setValidator(digits);
    }
    // The rules follow the boxes however they change (mouse, keyboard,
    // assistive technology, or the form being filled).
    connect(m_ui->checkExtension, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
    connect(m_ui->checkSleep, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
}

CSetPirnoInDigital::~CSetPirnoInDigital() = default;

void CSetPirnoInDigital::Create(int inputCount) {
    FillList(m_ui->comboNotify, NOTIFY_INTERVALS, NOTIFY_INTERVAL_COUNT);
    FillList(m_ui->comboChatter, CHATTER_FILTERS, CHATTER_FILTER_COUNT);
    FillList(m_ui->comboSleepInterval, SLEEP_INTERVALS, SLEEP_INTERVAL_COUNT);
    FillList(m_ui->comboCommandWait, COMMAND_WAITS, COMMAND_WAIT_COUNT);
    for (QLineEdit* e : {m_ui->editDest1, m_ui->editDest2, m_ui->editDest3, m_ui->editDest4}) e->setMaxLength(3);
    m_ui->editRetry->setMaxLength(1);
    m_ui->editWakeup->setMaxLength(3);
    QCheckBox* boxes[] = {m_ui->checkDi1, m_ui->checkDi2, m_ui->checkDi3, m_ui->checkDi4, m_ui->checkDi5};
    for (int n = 0; n < DIGITAL_INPUT_MAX; ++n) boxes[n]->setVisible(n < inputCount);

    m_device = TheDigitalInputSettings();
    ShowFormValues(DigitalInputFormFromSettings(m_device));
    ApplyEnablingRules();
}

DigitalInputFormValues CSetPirnoInDigital::ReadFormValues() const {
    DigitalInputFormValues f;
    const QLineEdit* dest[] = {m_ui->editDest1, m_ui->editDest2, m_ui->editDest3, m_ui->editDest4};
    for (int i = 0; i < DEST_NODE_COUNT; ++i) f.notify.destNode[i] = S(dest[i]->text());
    f.notify.retryCount = S(m_ui->editRetry->text());
    f.notify.notifyInterval = m_ui->comboNotify->currentIndex();
    f.resetRequest = m_ui->checkReset->isChecked();
    f.chatterFilter = m_ui->comboChatter->currentIndex();
    f.extensionEnabled = m_ui->checkExtension->isChecked();
    const QCheckBox* boxes[] = {m_ui->checkDi1, m_ui->checkDi2, m_ui->checkDi3, m_ui->checkDi4, m_ui->checkDi5};
    for (int n = 0; n < DIGITAL_INPUT_MAX; ++n) f.di[n] = boxes[n]->isChecked();
    f.sleep.enabled = m_ui->checkSleep->isChecked();
    f.sleep.sleepInterval = m_ui->comboSleepInterval->currentIndex();
    f.sleep.commandWait = m_ui->comboCommandWait->currentIndex();
    f.sleep.wakeupNode = S(m_ui->editWakeup->text());
    return f;
}

void CSetPirnoInDigital::ShowFormValues(const DigitalInputFormValues& f) {
    QLineEdit* dest[] = {m_ui->editDest1, m_ui->editDest2, m_ui->editDest3, m_ui->editDest4};
    for (int i = 0; i < DEST_NODE_COUNT; ++i) dest[i]->setText(Q(f.notify.destNode[i]));
    m_ui->editRetry->setText(Q(f.notify.retryCount));
    SelectIndex(m_ui->comboNotify, f.notify.notifyInterval);
    m_ui->checkReset->setChecked(f.resetRequest);
    SelectIndex(m_ui->comboChatter, f.chatterFilter);
    m_ui->checkExtension->setChecked(f.extensionEnabled);
    QCheckBox* boxes[] = {m_ui->checkDi1, m_ui->checkDi2, m_ui->checkDi3, m_ui->checkDi4, m_ui->checkDi5};
    for (int n = 0; n < DIGITAL_INPUT_MAX; ++n) boxes[n]->setChecked(f.di[n]);
    m_ui->checkSleep->setChecked(f.sleep.enabled);
    SelectIndex(m_ui->comboSleepInterval, f.sleep.sleepInterval);
    SelectIndex(m_ui->comboCommandWait, f.sleep.commandWait);
    m_ui->editWakeup->setText(Q(f.sleep.wakeupNode));
}

void CSetPirnoInDigital::ApplyEnablingRules() {
    const bool extension = m_ui->checkExtension->isChecked();
    for (QCheckBox* box : {m_ui->checkDi1, m_ui->checkDi2, m_ui->checkDi3, m_ui->checkDi4, m_ui->checkDi5}) {
        box->setEnabled(extension);
    }
    const bool sleep = m_ui->checkSleep->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->comboSleepInterval, m_ui->comboCommandWait, m_ui->editWakeup,
                                                      m_ui->labelSleepInterval, m_ui->labelCommandWait,
                                                      m_ui->labelWakeup}) {
        w->setEnabled(sleep);
    }
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
