#include "settings/SetPirno.h"

#include "forms/AnalogTexts.h"
#include "forms/UiThread.h"
#include "iounit/IoUnitProfile.h"
#include "iounit/SetPirnoInAnalog.h"
#include "iounit/SetPirnoInDigital.h"
#include "iounit/SetPirnoOutAnalog.h"
#include "iounit/SetPirnoOutDigital.h"
#include "link/Catalogue.h"
#include "ui_SetPirno.h"

#include <thread>

CSetPirno::CSetPirno(QWidget* parent) : CSettingsFrame(parent), m_ui(std::make_unique<Ui::CSetPirnoForm>()) {
    m_ui->setupUi(this);
    m_pInDigital = new CSetPirnoInDigital(m_ui->inputPane);
    m_pInAnalog = new CSetPirnoInAnalog(m_ui->inputPane);
    m_pOutDigital = new CSetPirnoOutDigital(m_ui->outputPane);
    m_pOutAnalog = new CSetPirnoOutAnalog(m_ui->outputPane);
    PlaceInPane(m_pInDigital, m_ui->inputPane);
    PlaceInPane(m_pInAnalog, m_ui->inputPane);
    PlaceInPane(m_pOutDigital, m_ui->outputPane);
    PlaceInPane(m_pOutAnalog, m_ui->outputPane);
    AttachFrame(m_ui->frameArea, m_ui->statusLine, m_ui->progressBar, m_ui->okButton, m_ui->cancelButton);
    // One command sequence on the link at a time: the channel buttons are
    // refused while the window writes, and the window shows a channel
    // sequence as busy (its OK and Cancel refused meanwhile).
    m_pInAnalog->SetWriteRunningQuery([this] { return IsWriteRunning(); });
    connect(m_pInAnalog, &CSetPirnoInAnalog::channelBusyChanged, this, [this](bool busy) { ShowLinkBusy(busy); });
    connect(m_pInAnalog, &CSetPirnoInAnalog::channelConfirmed, this,
            [this](int channel) { m_nPendingChannels.fetch_and(~(1u << channel)); });
}

CSetPirno::~CSetPirno() {
    EndWork();
    // The analog input page's own worker ends with the page (its destructor
    // waits), before the reset below could overlap it.
    delete m_pInAnalog;
    m_pInAnalog = nullptr;
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
    m_nPendingChannels.store(0);  // a profile loaded at an earlier opening is gone
    const int model = theLink.m_nModelCode.load();
    const int inputs = ModelChannels(model, CH_DI);
    const int outputs = ModelChannels(model, CH_DO);
    const int analogInputs = ModelChannels(model, CH_AI);
    const int analogOutputs = ModelChannels(model, CH_AO);
    // Input pane: the digital input page, or (TQ-150-RZ) the analog input page.
    m_pInDigital->setVisible(inputs > 0);
    if (inputs > 0) m_pInDigital->Create(inputs);
    m_pInAnalog->setVisible(analogInputs > 0);
    if (analogInputs > 0) m_pInAnalog->Create(analogInputs);
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
        case IoUnitPage::AnalogInput: valid = m_pInAnalog->Validate(); break;
        case IoUnitPage::DigitalOutput: valid = m_pOutDigital->Validate(); break;
        case IoUnitPage::AnalogOutput: valid = m_pOutAnalog->Validate(); break;
        }
        if (!valid) return false;
    }
    return true;
}

int CSetPirno::WriteDevice(const SendFailedFn& onSendFailed, StepFailure* failure) {
    std::vector<std::string> channels;
    const unsigned pending = m_nPendingChannels.load();
    for (int c = 0; c < AI_CHANNEL_COUNT; ++c) {
        if (!(pending & (1u << c))) continue;
        for (const std::string& command : BuildAiChannelCommands(c, m_pendingChannels[c])) channels.push_back(command);
    }
    if (SendAndWaitEach(channels, onSendFailed, failure) < 0) return -1;
    m_nPendingChannels.store(0);
    return WriteIoUnitPages(onSendFailed, failure);
}

void CSetPirno::OnWriteSucceeded() { m_bSettingsWritten.store(true); }

bool CSetPirno::SendResetAfterWrite() {
    if (!m_bSettingsWritten.exchange(false)) return false;
    SendIoUnitReset();  // a lost link just fails the write; nothing to report
    return true;
}

bool CSetPirno::IsLinkBusy() const { return m_pInAnalog && m_pInAnalog->IsChannelBusy(); }

void CSetPirno::done(int result) {
    if (m_pInAnalog) m_pInAnalog->ClosePage();
    CSettingsFrame::done(result);
}

bool CSetPirno::FetchChannels(AiChannelSettings (&out)[AI_CHANNEL_COUNT]) {
    std::vector<std::string> commands;
    for (int c = 0; c < ModelChannels(theLink.m_nModelCode.load(), CH_AI); ++c)
        for (std::string& command : ChannelFetchCommands(c)) commands.push_back(std::move(command));
    setEnabled(false);
    std::atomic<bool> done{false};
    int result = 0;
    std::thread worker([&] {
        nChannelCountdown = CHANNEL_FETCH_FAILED;  // no channel dialog opens for these answers
        result = SendAndWaitEach(commands, nullptr, nullptr);
        done = true;
    });
    // The GUI thread never waits on the link: it keeps serving events.
    ServeGuiUntil([&done] { return done.load(); });
    worker.join();
    setEnabled(true);
    for (int c = 0; c < AI_CHANNEL_COUNT; ++c) out[c] = TheAnalogInputSettings().m_aChannel[c];
    return result == 0;
}

bool CSetPirno::FormToProfile(ProfileJson* settings, ProfileError* error) {
    const int model = theLink.m_nModelCode.load();
    IoUnitFormValues form = IoUnitFormFromRecords(TheIoUnitRecords());
    if (ModelChannels(model, CH_AI) > 0) {
        // The channels' settings live in the unit until a dialog fetches them.
        if (!FetchChannels(form.channels)) {
            *error = ProfileError{"", MSG_CHANNEL_FETCH_FAILED};
            return false;
        }
        const unsigned pending = m_nPendingChannels.load();
        for (int c = 0; c < AI_CHANNEL_COUNT; ++c)
            if (pending & (1u << c)) form.channels[c] = m_pendingChannels[c];
        form.analogInput = m_pInAnalog->ReadFormValues();
    }
    if (ModelChannels(model, CH_DI) > 0) form.digitalInput = m_pInDigital->ReadFormValues();
    if (ModelChannels(model, CH_DO) > 0) form.digitalOutput = m_pOutDigital->ReadFormValues();
    if (ModelChannels(model, CH_AO) > 0) form.analogOutput = m_pOutAnalog->ReadFormValues();
    IoUnitRecords checked;
    if (const char* message = ValidateIoUnitForm(form, TheIoUnitRecords(), model, &checked)) {
        *error = ProfileError{"", message};
        return false;
    }
    *settings = IoUnitProfileSettings(IoUnitFormFromRecords(checked), model);
    return true;
}

bool CSetPirno::ProfileToForm(const ProfileJson& settings, ProfileError* error) {
    const int model = theLink.m_nModelCode.load();
    IoUnitFormValues form;
    if (!IoUnitFormFromProfile(settings, model, TheIoUnitRecords(), &form, error)) return false;
    if (ModelChannels(model, CH_AI) > 0) {
        m_pInAnalog->ShowFormValues(form.analogInput);
        for (int c = 0; c < AI_CHANNEL_COUNT; ++c) m_pendingChannels[c] = form.channels[c];
        m_nPendingChannels.store((1u << ModelChannels(model, CH_AI)) - 1);
    }
    if (ModelChannels(model, CH_DI) > 0) m_pInDigital->ShowFormValues(form.digitalInput);
    if (ModelChannels(model, CH_DO) > 0) m_pOutDigital->ShowFormValues(form.digitalOutput);
    if (ModelChannels(model, CH_AO) > 0) m_pOutAnalog->ShowFormValues(form.analogOutput);
    return true;
}
