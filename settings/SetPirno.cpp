#include "settings/SetPirno.h"

#include "iounit/SetPirnoInDigital.h"
#include "iounit/SetPirnoOutAnalog.h"
#include "iounit/SetPirnoOutDigital.h"
#include "link/Catalogue.h"
#include "ui_SetPirno.h"

CSetPirno::CSetPirno(QWidget* parent) : CSettingsFrame(parent), m_ui(std::make_unique<Ui::CSetPirnoForm>()) {
    m_ui->setupUi(this);
    m_pInDigital = new CSetPirnoInDigital(m_ui->inputPane);
    m_pOutDigital = new CSetPirnoOutDigital(m_ui->outputPane);
    m_pOutAnalog = new CSetPirnoOutAnalog(m_ui->outputPane);
    PlaceInPane(m_pInDigital, m_ui->inputPane);
    PlaceInPane(m_pOutDigital, m_ui->outputPane);
    PlaceInPane(m_pOutAnalog, m_ui->outputPane);
    AttachFrame(m_ui->frameArea, m_ui->statusLine, m_ui->progressBar, m_ui->okButton, m_ui->cancelButton);
}

CSetPirno::~CSetPirno() {
    EndWork();
    // Destroyed after a write without its owner's step after the close (the
    // program ends; the link is closed by then, so nothing waits): the unit
    // is reset all the same if it still can be.
    SendResetAfterWrite();
}

void CSetPirno::PlaceInPane(QWidget* page, QFrame* pane) {
    const QRect inner = pane->contentsRect();
    page->setGeometry(inner.x() + 2, inner.y() + 2, inner.width() - 6, inner.height() - 6);
    page->hide();
}

void CSetPirno::FillForm() {
    m_bSettingsWritten.store(false);
    const int model = theLink.m_nModelCode.load();
    const int inputs = ModelChannels(model, CH_DI);
    const int outputs = ModelChannels(model, CH_DO);
    const int analogOutputs = ModelChannels(model, CH_AO);
    // Input pane: the digital input page, or (TQ-150-RZ) the analog input
    // page, which is not built yet: the pane stays empty.
    m_pInDigital->setVisible(inputs > 0);
    if (inputs > 0) m_pInDigital->Create(inputs);
    // Output pane: the digital or the analog output page.
    m_pOutDigital->setVisible(outputs > 0);
    if (outputs > 0) m_pOutDigital->Create(outputs);
    m_pOutAnalog->setVisible(analogOutputs > 0);
    if (analogOutputs > 0) m_pOutAnalog->Create(analogOutputs);
}

bool CSetPirno::ValidateForm() {
    // Page order; the first refused page ends the write before any later
    // page or the group panel is looked at.
    for (IoUnitPage page : IoUnitPages(theLink.m_nModelCode.load())) {
        bool valid = true;
        switch (page) {
        case IoUnitPage::DigitalInput: valid = m_pInDigital->Validate(); break;
        case IoUnitPage::AnalogInput: break;  // no analog input page yet
        case IoUnitPage::DigitalOutput: valid = m_pOutDigital->Validate(); break;
        case IoUnitPage::AnalogOutput: valid = m_pOutAnalog->Validate(); break;
        }
        if (!valid) return false;
    }
    return true;
}

int CSetPirno::WriteDevice(const SendFailedFn& onSendFailed, StepFailure* failure) {
    return WriteIoUnitPages(onSendFailed, failure);
}

void CSetPirno::OnWriteSucceeded() { m_bSettingsWritten.store(true); }

bool CSetPirno::SendResetAfterWrite() {
    if (!m_bSettingsWritten.exchange(false)) return false;
    SendIoUnitReset();  // a lost link just fails the write; nothing to report
    return true;
}
