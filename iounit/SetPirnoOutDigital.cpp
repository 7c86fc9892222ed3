#include "iounit/SetPirnoOutDigital.h"

#include "forms/UiThread.h"
#include "iounit/PageControls.h"
#include "ui_SetPirnoOutDigital.h"

#include <QRegularExpressionValidator>

CSetPirnoOutDigital::CSetPirnoOutDigital(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CSetPirnoOutDigitalForm>()) {
    m_ui->setupUi(this);
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) RowOf(k).time->setValidator(digits);
}

CSetPirnoOutDigital::~CSetPirnoOutDigital() = default;

CSetPirnoOutDigital::Row CSetPirnoOutDigital::RowOf(int k) const {
    Ui::CSetPirnoOutDigitalForm& u = *m_ui;
    switch (k) {
    case 0: return {{u.radioNormal1, u.radioStartup1, u.radioOneShot1}, u.groupDo1, u.editTime1, {u.labelDo1, u.labelUnit1}};
    case 1: return {{u.radioNormal2, u.radioStartup2, u.radioOneShot2}, u.groupDo2, u.editTime2, {u.labelDo2, u.labelUnit2}};
    case 2: return {{u.radioNormal3, u.radioStartup3, u.radioOneShot3}, u.groupDo3, u.editTime3, {u.labelDo3, u.labelUnit3}};
    case 3: return {{u.radioNormal4, u.radioStartup4, u.radioOneShot4}, u.groupDo4, u.editTime4, {u.labelDo4, u.labelUnit4}};
    default: return {{u.radioNormal5, u.radioStartup5, u.radioOneShot5}, u.groupDo5, u.editTime5, {u.labelDo5, u.labelUnit5}};
    }
}

void CSetPirnoOutDigital::Create(int outputCount) {
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) {
        Row row = RowOf(k);
        row.time->setMaxLength(3);
        const bool present = k < outputCount;
        row.time->setVisible(present);
        for (QAbstractButton* b : row.modes) b->setVisible(present);
        for (QWidget* w : row.all) w->setVisible(present);
    }
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) m_device[k] = theDigitalOutputs[k];
    ShowFormValues(DigitalOutputFormFromSettings(m_device));
}

DigitalOutputFormValues CSetPirnoOutDigital::ReadFormValues() const {
    DigitalOutputFormValues f;
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) {
        Row row = RowOf(k);
        f.rows[k].mode = CheckedIndex(row.modes);
        f.rows[k].time = row.time->text().toStdString();
    }
    return f;
}

void CSetPirnoOutDigital::ShowFormValues(const DigitalOutputFormValues& f) {
    for (int k = 0; k < DIGITAL_OUTPUT_MAX; ++k) {
        Row row = RowOf(k);
        CheckIndex(row.group, row.modes, f.rows[k].mode);
        row.time->setText(QString::fromStdString(f.rows[k].time));
    }
}

bool CSetPirnoOutDigital::Validate() {
    DigitalOutputFormValues form;
    RunOnGuiBlocking([this, &form] { form = ReadFormValues(); });
    if (const char* message = ValidateDigitalOutputForm(form, m_device, theDigitalOutputs)) {
        ShowMessage(this, QString::fromUtf8(message));
        return false;
    }
    return true;
}
