#include "iounit/SetPirnoInAnalogAI.h"

#include "forms/AnalogTexts.h"
#include "forms/UiThread.h"
#include "iounit/PageControls.h"
#include "ui_SetPirnoInAnalogAI.h"

#include <QKeyEvent>

namespace {

// A radio pair as the buttons for the field values 0 and 1.
QList<QAbstractButton*> Pair(QAbstractButton* zero, QAbstractButton* one) { return {zero, one}; }

QString Text(const std::string& utf8) { return QString::fromUtf8(utf8.c_str()); }

}  // namespace

CSetPirnoInAnalogAI::CSetPirnoInAnalogAI(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CSetPirnoInAnalogAIForm>()) {
    m_ui->setupUi(this);
    setWindowTitle(QString::fromUtf8(TXT_AI_DIALOG_TITLE));
    setFixedSize(size());
    FillList(m_ui->comboInputRange, AI_RANGE_ITEMS, AI_RANGE_COUNT);
    FillList(m_ui->comboTcType, AI_TC_TYPE_ITEMS, AI_TC_TYPE_COUNT);
    FillList(m_ui->comboScaleRange, AI_SCALE_RANGE_ITEMS, AI_SCALE_RANGE_COUNT);
    FillList(m_ui->comboLedCondition, AI_LED_CONDITION_ITEMS, AI_LED_CONDITION_COUNT);
    m_ui->okButton->setDefault(false);
    m_ui->cancelButton->setDefault(false);
    connect(m_ui->comboInputRange, &QComboBox::currentIndexChanged, this, [this] { OnRangeChanged(); });
    connect(m_ui->okButton, &QPushButton::clicked, this, [this] { OnOk(); });
    connect(m_ui->cancelButton, &QPushButton::clicked, this, [this] { reject(); });
    m_ui->editLedLow->installEventFilter(this);
    m_ui->editLedHigh->installEventFilter(this);
}

CSetPirnoInAnalogAI::~CSetPirnoInAnalogAI() = default;

void CSetPirnoInAnalogAI::SetChannel(int channel, const AiChannelSettings& rec) {
    m_nChannel = channel;
    m_rec = rec;
    m_commands = {};
    const AiChannelForm f = AiFormFromSettings(rec);
    // 1. input range, then what follows from it
    SelectIndex(m_ui->comboInputRange, f.inputRange);  // NO_CHOICE: nothing selected
    OnRangeChanged();
    // 2. LED condition and both thresholds (shown by the range change)
    SelectIndex(m_ui->comboLedCondition, f.ledCondition);
    // 3. thermocouple type and the radio pairs
    SelectIndex(m_ui->comboTcType, f.tcType);
    CheckIndex(m_ui->groupColdJunction, Pair(m_ui->radioColdOff, m_ui->radioColdOn), f.coldJunction);
    CheckIndex(m_ui->groupBurnoutDetect, Pair(m_ui->radioBurnoutOff, m_ui->radioBurnoutOn), f.burnoutDetect);
    CheckIndex(m_ui->groupBurnoutOutput, Pair(m_ui->radioOutput800000, m_ui->radioOutput7FFFFF), f.burnoutOutput);
    // 4. scaling
    SelectIndex(m_ui->comboScaleRange, f.scaleRange);
    m_ui->editTempLow->setText(Text(f.tempLow));
    m_ui->editTempHigh->setText(Text(f.tempHigh));
}

AiChannelForm CSetPirnoInAnalogAI::ReadFormValues() const {
    AiChannelForm f;
    f.inputRange = ListChoice(m_ui->comboInputRange->currentIndex(), AI_RANGE_COUNT);
    f.tcType = ListChoice(m_ui->comboTcType->currentIndex(), AI_TC_TYPE_COUNT);
    f.coldJunction = CheckedIndex(Pair(m_ui->radioColdOff, m_ui->radioColdOn));
    f.burnoutDetect = CheckedIndex(Pair(m_ui->radioBurnoutOff, m_ui->radioBurnoutOn));
    f.burnoutOutput = CheckedIndex(Pair(m_ui->radioOutput800000, m_ui->radioOutput7FFFFF));
    f.scaleRange = ListChoice(m_ui->comboScaleRange->currentIndex(), AI_SCALE_RANGE_COUNT);
    f.tempLow = m_ui->editTempLow->text().toStdString();
    f.tempHigh = m_ui->editTempHigh->text().toStdString();
    f.ledCondition = ListChoice(m_ui->comboLedCondition->currentIndex(), AI_LED_CONDITION_COUNT);
    f.ledLow = m_ui->editLedLow->text().toStdString();
    f.ledHigh = m_ui->editLedHigh->text().toStdString();
    return f;
}

void CSetPirnoInAnalogAI::OnRangeChanged() {
    const int range = ListChoice(m_ui->comboInputRange->currentIndex(), AI_RANGE_COUNT);
    const bool tc = AiThermocoupleEnabled(range);
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_ui->labelTcType, m_ui->comboTcType, m_ui->labelColdJunction, m_ui->radioColdOn, m_ui->radioColdOff,
             m_ui->labelBurnoutDetect, m_ui->radioBurnoutOn, m_ui->radioBurnoutOff, m_ui->labelBurnoutOutput,
             m_ui->radioOutput800000, m_ui->radioOutput7FFFFF, m_ui->groupScale}) {
        w->setEnabled(tc);
    }
    const QString unit = QString::fromUtf8(AiUnitText(range));
    m_ui->labelLedLowUnit->setText(unit);
    m_ui->labelLedHighUnit->setText(unit);
    // The codes stay; only their reading follows the range.
    ShowThresholds();
}

void CSetPirnoInAnalogAI::ShowThresholds() {
    const int range = ListChoice(m_ui->comboInputRange->currentIndex(), AI_RANGE_COUNT);
    m_ui->editLedLow->setText(Text(FormatThreshold(m_rec.m_nLedLow, range)));
    m_ui->editLedHigh->setText(Text(FormatThreshold(m_rec.m_nLedHigh, range)));
}

void CSetPirnoInAnalogAI::LeaveThreshold(QLineEdit* field, std::int32_t* code) {
    const int range = ListChoice(m_ui->comboInputRange->currentIndex(), AI_RANGE_COUNT);
    *code = ThresholdCodeFromText(field->text().toStdString(), range, *code);
    // The field shows what will be sent (a value beyond full scale clamped).
    field->setText(Text(FormatThreshold(*code, range)));
}

bool CSetPirnoInAnalogAI::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_ui->editLedLow) LeaveThreshold(m_ui->editLedLow, &m_rec.m_nLedLow);
        else if (watched == m_ui->editLedHigh) LeaveThreshold(m_ui->editLedHigh, &m_rec.m_nLedHigh);
    }
    return QDialog::eventFilter(watched, event);
}

void CSetPirnoInAnalogAI::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();  // only the buttons close the dialog
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CSetPirnoInAnalogAI::OnOk() {
    // A threshold typed but not yet left (OK pressed without the focus
    // moving, as assistive tools do) is taken as if its field had been left.
    const int range = ListChoice(m_ui->comboInputRange->currentIndex(), AI_RANGE_COUNT);
    if (m_ui->editLedLow->text().toStdString() != FormatThreshold(m_rec.m_nLedLow, range))
        LeaveThreshold(m_ui->editLedLow, &m_rec.m_nLedLow);
    if (m_ui->editLedHigh->text().toStdString() != FormatThreshold(m_rec.m_nLedHigh, range))
        LeaveThreshold(m_ui->editLedHigh, &m_rec.m_nLedHigh);

    if (const char* message = ValidateAiChannel(ReadFormValues(), m_rec)) {
        ShowMessage(this, QString::fromUtf8(message));
        return;
    }
    m_commands = BuildAiChannelCommands(m_nChannel, m_rec);
    accept();
}
