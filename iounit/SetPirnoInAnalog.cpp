#include "iounit/SetPirnoInAnalog.h"

#include "forms/IoUnitTexts.h"
#include "forms/UiThread.h"
#include "iounit/AnalogInput.h"
#include "iounit/PageControls.h"
#include "iounit/SetPirnoInAnalogAI.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"
#include "ui_SetPirnoInAnalog.h"

#include <QCoreApplication>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>

#include <chrono>

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
}  // namespace

CSetPirnoInAnalog::CSetPirnoInAnalog(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::CSetPirnoInAnalogForm>()) {
    m_ui->setupUi(this);
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (QLineEdit* e : {m_ui->editDest1, m_ui->editDest2, m_ui->editDest3, m_ui->editDest4, m_ui->editRetry,
                         m_ui->editWakeup}) {
        e->setValidator(digits);
    }
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
    FillList(m_ui->comboNotify, NOTIFY_INTERVALS, NOTIFY_INTERVAL_COUNT);
    FillList(m_ui->comboSleepInterval, SLEEP_INTERVALS, SLEEP_INTERVAL_COUNT);
    FillList(m_ui->comboCommandWait, COMMAND_WAITS, COMMAND_WAIT_COUNT);
    for (int c = 0; c < AI_CHANNEL_COUNT; ++c) m_aButtons[c]->setVisible(c < inputCount);
    for (QLineEdit* e : {m_ui->editDest1, m_ui->editDest2, m_ui->editDest3, m_ui->editDest4}) e->setMaxLength(3);
    m_ui->editRetry->setMaxLength(1);
    m_ui->editWakeup->setMaxLength(3);
    // 4.
    m_device = TheAnalogInputSettings();
    ShowFormValues(AnalogInputFormFromSettings(m_device));
    // 5.
    ApplyEnablingRules();
    m_pTimer->start();
}

AnalogInputFormValues CSetPirnoInAnalog::ReadFormValues() const {
    AnalogInputFormValues f;
    const QLineEdit* dest[] = {m_ui->editDest1, m_ui->editDest2, m_ui->editDest3, m_ui->editDest4};
    for (int i = 0; i < DEST_NODE_COUNT; ++i) f.notify.destNode[i] = S(dest[i]->text());
    f.notify.retryCount = S(m_ui->editRetry->text());
    f.notify.notifyInterval = m_ui->comboNotify->currentIndex();
    f.sleep.enabled = m_ui->checkSleep->isChecked();
    f.sleep.sleepInterval = m_ui->comboSleepInterval->currentIndex();
    f.sleep.commandWait = m_ui->comboCommandWait->currentIndex();
    f.sleep.wakeupNode = S(m_ui->editWakeup->text());
    return f;
}

void CSetPirnoInAnalog::ShowFormValues(const AnalogInputFormValues& f) {
    QLineEdit* dest[] = {m_ui->editDest1, m_ui->editDest2, m_ui->editDest3, m_ui->editDest4};
    for (int i = 0; i < DEST_NODE_COUNT; ++i) dest[i]->setText(Q(f.notify.destNode[i]));
    m_ui->editRetry->setText(Q(f.notify.retryCount));
    SelectIndex(m_ui->comboNotify, f.notify.notifyInterval);
    m_ui->checkSleep->setChecked(f.sleep.enabled);
    SelectIndex(m_ui->comboSleepInterval, f.sleep.sleepInterval);
    SelectIndex(m_ui->comboCommandWait, f.sleep.commandWait);
    m_ui->editWakeup->setText(Q(f.sleep.wakeupNode));
}

void CSetPirnoInAnalog::ApplyEnablingRules() {
    const bool sleep = m_ui->checkSleep->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->comboSleepInterval, m_ui->comboCommandWait, m_ui->editWakeup,
                                                      m_ui->labelSleepInterval, m_ui->labelCommandWait,
                                                      m_ui->labelWakeup}) {
        w->setEnabled(sleep);
    }
}

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
    // The worker may be waiting for the GUI thread (a message box): keep
    // serving events until it has ended, then join.
    while (m_bWorkerRunning.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (m_worker.joinable()) m_worker.join();
}
