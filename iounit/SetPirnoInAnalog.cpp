#include "iounit/SetPirnoInAnalog.h"

#include "forms/UiThread.h"
#include "iounit/AnalogInput.h"
#include "iounit/SetPirnoInAnalogAI.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"
#include "ui_SetPirnoInAnalog.h"

#include <QPointer>
#include <QPushButton>
#include <QTimer>


CSetPirnoInAnalog::CSetPirnoInAnalog(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CSetPirnoInAnalogForm>()) {
    m_ui->setupUi(this);
    m_controls = NotifySleepControlsOf(*m_ui);
    AcceptDigitsOnly(this, m_controls);
    // The rule follows the box however it changes.
    connect(m_ui->checkSleep, &QCheckBox::toggled, this, [this] { ApplyEnablingRules(); });
    QPushButton* buttons[] = {m_ui->buttonAi1, m_ui->buttonAi2, m_ui->buttonAi3, m_ui->buttonAi4, m_ui->buttonAi5};
    for (int c = 0; c < AI_CHANNEL_COUNT; ++c) {
        m_aButtons[c] = buttons[c];
        connect(buttons[c], &QPushButton::clicked, this, [this, c] { FetchChannel(c); });
    }
    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(CHANNEL_TIMER_MS);
    connect(m_pTimer, &QTimer::timeout, this, [this] { OnTimer(); });
    nReadyChannel.store(-1);
}

CSetPirnoInAnalog::~CSetPirnoInAnalog() {
    m_pTimer->stop();
    JoinWorker();
}

void CSetPirnoInAnalog::Create(int inputCount) {
    // 1.
    nReadyChannel.store(-1);
    m_ui->checkReset->hide();  // on the form, never read by this page
    // 2., 3.
    PrepareNotifySleep(m_controls);
    for (int c = 0; c < AI_CHANNEL_COUNT; ++c) m_aButtons[c]->setVisible(c < inputCount);
    // 4.
    m_device = TheAnalogInputSettings();
    ShowFormValues(AnalogInputFormFromSettings(m_device));
    // 5.
    ApplyEnablingRules();
    m_pTimer->start();
}

AnalogInputFormValues CSetPirnoInAnalog::ReadFormValues() const {
    return {ReadNotifyControls(m_controls), ReadSleepControls(m_controls)};
}

void CSetPirnoInAnalog::ShowFormValues(const AnalogInputFormValues& f) {
    ShowNotifyControls(m_controls, f.notify);
    ShowSleepControls(m_controls, f.sleep);
}

void CSetPirnoInAnalog::ApplyEnablingRules() { ApplySleepEnabling(m_controls); }

bool CSetPirnoInAnalog::Validate() {
    AnalogInputFormValues form;
    RunOnGuiBlocking([this, &form] { form = ReadFormValues(); });
    if (const char* message = ValidateAnalogInputForm(form, m_device, &TheAnalogInputSettings())) {
        ShowMessage(this, QString::fromUtf8(message));
        return false;
    }
    return true;
}

void CSetPirnoInAnalog::ClosePage() {
    m_pTimer->stop();
    // A fetched channel whose dialog never opened is dropped with the window.
    if (m_nChannelState.load() == CHANNEL_FETCHED) {
        nReadyChannel.store(-1);
        SetChannelState(CHANNEL_IDLE);
    }
}

void CSetPirnoInAnalog::SetChannelState(ChannelState state) {
    const bool wasBusy = IsChannelBusy();
    m_nChannelState.store(state);
    if (wasBusy != IsChannelBusy()) emit channelBusyChanged(IsChannelBusy());
}

bool CSetPirnoInAnalog::FetchChannel(int channel) {
    // One command sequence on the link at a time.
    if (IsChannelBusy() || (m_writeRunning && m_writeRunning())) return false;
    if (channel < 0 || channel >= AI_CHANNEL_COUNT) return false;
    SetChannelState(CHANNEL_FETCHING);
    RunOnWorker(
        [this, channel] {
            return ::FetchChannel(channel, [this](const std::string& text) {
                       ShowMessage(this, QString::fromUtf8(text.c_str()));
                   }) == 0;
        },
        [this](bool fetched) {
            // The answers were all stored before the last wait returned, so
            // the hand-over value is final here. A failed fetch never opens
            // the dialog, even for an answer that raced its time-out.
            if (fetched && nReadyChannel.load() != -1) {
                SetChannelState(CHANNEL_FETCHED);
            } else {
                nReadyChannel.store(-1);
                SetChannelState(CHANNEL_IDLE);
            }
        });
    return true;
}

void CSetPirnoInAnalog::OnTimer() {
    if (m_nChannelState.load() != CHANNEL_FETCHED) return;
    const int channel = nReadyChannel.exchange(-1);
    if (channel < 0 || channel >= AI_CHANNEL_COUNT) {
        SetChannelState(CHANNEL_IDLE);
        return;
    }
    SetChannelState(CHANNEL_DIALOG);
    CSetPirnoInAnalogAI dialog(this);
    dialog.SetChannel(channel, TheAnalogInputSettings().m_aChannel[channel]);
    const bool confirmed = dialog.exec() == QDialog::Accepted;
    // The record keeps what the dialog converted, as the fetch's copy.
    TheAnalogInputSettings().m_aChannel[channel] = dialog.Settings();
    if (!confirmed) {
        SetChannelState(CHANNEL_IDLE);
        return;
    }
    SetChannelState(CHANNEL_SENDING);
    emit channelConfirmed(channel);
    const std::array<std::string, 4> commands = dialog.Commands();
    RunOnWorker(
        [this, commands] {
            return SendChannelCommands(commands, [this](const std::string& text) {
                       ShowMessage(this, QString::fromUtf8(text.c_str()));
                   }) == 0;
        },
        [this](bool) { SetChannelState(CHANNEL_IDLE); });
}

void CSetPirnoInAnalog::RunOnWorker(std::function<bool()> job, std::function<void(bool)> done) {
    if (m_worker.joinable()) m_worker.join();  // ended: its last step was clearing the flag
    m_bWorkerRunning.store(true);
    QPointer<CSetPirnoInAnalog> self(this);
    m_worker = std::thread([this, self, job = std::move(job), done = std::move(done)] {
        const bool ok = job();
        // The page outlives the worker (its destructor waits), so the
        // result is queued to it before the flag is cleared.
        RunOnGui([self, done, ok] {
            if (self) done(ok);
        });
        m_bWorkerRunning.store(false);
    });
}

void CSetPirnoInAnalog::JoinWorker() {
    // The worker may be waiting for the GUI thread (a message box, a
    // blocking call): keep serving both until it has ended, then join.
    ServeGuiUntil([this] { return !m_bWorkerRunning.load(); });
    if (m_worker.joinable()) m_worker.join();
}
