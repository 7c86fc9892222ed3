#include "iounit/SetPirnoOutAnalog.h"

#include "forms/IoUnitTexts.h"
#include "forms/UiThread.h"
#include "iounit/PageControls.h"
#include "ui_SetPirnoOutAnalog.h"

#include <QEvent>

CSetPirnoOutAnalog::CSetPirnoOutAnalog(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CSetPirnoOutAnalogForm>()) {
    m_ui->setupUi(this);
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) {
        Row row = RowOf(k);
        FillList(row.condition, LED_CONDITIONS, LED_CONDITION_COUNT);
        for (QLineEdit* e : {row.value, row.low, row.high}) e->installEventFilter(this);
        // Another range shows the same codes in its own scale, however the
        // button was changed.
        for (QAbstractButton* b : row.ranges) {
            connect(b, &QAbstractButton::toggled, this, [this, k](bool checked) {
                if (!checked) return;
                ConvertOutput(k);
                ShowOutput(k);
            });
        }
    }
}

CSetPirnoOutAnalog::~CSetPirnoOutAnalog() = default;

CSetPirnoOutAnalog::Row CSetPirnoOutAnalog::RowOf(int k) const {
    Ui::CSetPirnoOutAnalogForm& u = *m_ui;
    switch (k) {
    case 0: return {{u.radioVoltage1, u.radioCurrent1}, u.groupAo1, u.editValue1, u.editLow1, u.editHigh1, u.comboCondition1, u.labelAo1};
    case 1: return {{u.radioVoltage2, u.radioCurrent2}, u.groupAo2, u.editValue2, u.editLow2, u.editHigh2, u.comboCondition2, u.labelAo2};
    case 2: return {{u.radioVoltage3, u.radioCurrent3}, u.groupAo3, u.editValue3, u.editLow3, u.editHigh3, u.comboCondition3, u.labelAo3};
    case 3: return {{u.radioVoltage4, u.radioCurrent4}, u.groupAo4, u.editValue4, u.editLow4, u.editHigh4, u.comboCondition4, u.labelAo4};
    default: return {{u.radioVoltage5, u.radioCurrent5}, u.groupAo5, u.editValue5, u.editLow5, u.editHigh5, u.comboCondition5, u.labelAo5};
    }
}

void CSetPirnoOutAnalog::Create(int outputCount) {
    m_nCount = outputCount;
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) m_device[k] = theAnalogOutputs[k];
    const AnalogOutputFormValues shown = AnalogOutputFormFromSettings(m_device);
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) {
        Row row = RowOf(k);
        row.value->setMaxLength(8);
        const bool present = k < outputCount;
        for (QWidget* w : std::initializer_list<QWidget*>{row.ranges[0], row.ranges[1], row.value, row.low, row.high,
                                                          row.condition, row.label}) {
            w->setVisible(present);
        }
        m_rows[k] = shown.rows[k];
        {
            // The codes are shown once below; the buttons must not convert
            // the texts of an earlier opening meanwhile.
            const QSignalBlocker b0(row.ranges[0]), b1(row.ranges[1]);
            CheckIndex(row.group, row.ranges, shown.rows[k].range);
        }
        SelectIndex(row.condition, shown.rows[k].ledCondition);
        ShowOutput(k);
    }
}

void CSetPirnoOutAnalog::ShowFormValues(const AnalogOutputFormValues& values) {
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) {
        Row row = RowOf(k);
        m_rows[k] = values.rows[k];
        {
            const QSignalBlocker b0(row.ranges[0]), b1(row.ranges[1]);
            CheckIndex(row.group, row.ranges, values.rows[k].range);
        }
        SelectIndex(row.condition, values.rows[k].ledCondition);
        ShowOutput(k);  // the fields are no longer modified: the codes stand
    }
}

void CSetPirnoOutAnalog::ShowOutput(int k) {
    Row row = RowOf(k);
    const int range = CheckedIndex(row.ranges);
    m_shownRange[k] = range;
    row.value->setText(QString::fromStdString(FormatAoCode(m_rows[k].initialValue, range)));
    row.low->setText(QString::fromStdString(FormatAoCode(m_rows[k].ledLow, range)));
    row.high->setText(QString::fromStdString(FormatAoCode(m_rows[k].ledHigh, range)));
}

void CSetPirnoOutAnalog::ConvertOutput(int k) {
    Row row = RowOf(k);
    const std::pair<QLineEdit*, long*> fields[] = {
        {row.value, &m_rows[k].initialValue}, {row.low, &m_rows[k].ledLow}, {row.high, &m_rows[k].ledHigh}};
    for (const auto& [edit, code] : fields) {
        if (edit->isModified()) *code = AoCodeFromText(edit->text().toStdString(), m_shownRange[k]);
    }
}

bool CSetPirnoOutAnalog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) {
            Row row = RowOf(k);
            if (watched == row.value || watched == row.low || watched == row.high) {
                ConvertOutput(k);
                ShowOutput(k);
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

AnalogOutputFormValues CSetPirnoOutAnalog::ReadFormValues() {
    AnalogOutputFormValues f;
    for (int k = 0; k < ANALOG_OUTPUT_MAX; ++k) {
        Row row = RowOf(k);
        // A change still in its field (OK pressed without leaving it) counts.
        ConvertOutput(k);
        ShowOutput(k);
        f.rows[k] = m_rows[k];
        f.rows[k].range = CheckedIndex(row.ranges);
        f.rows[k].ledCondition = row.condition->currentIndex();
    }
    return f;
}

bool CSetPirnoOutAnalog::Validate() {
    AnalogOutputFormValues form;
    RunOnGuiBlocking([this, &form] { form = ReadFormValues(); });
    if (const char* message = ValidateAnalogOutputForm(form, m_nCount, m_device, theAnalogOutputs)) {
        ShowMessage(this, QString::fromUtf8(message));
        return false;
    }
    return true;
}
