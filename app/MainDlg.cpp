#include "app/MainDlg.h"

#include "app/AppStart.h"
#include "app/SearchNode.h"
#include "forms/AppTexts.h"
#include "forms/CommonTexts.h"
#include "forms/UiThread.h"
#include "link/ErrorAnswer.h"
#include "ui_MainDlg.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QTimer>

#include <chrono>

#ifndef RZ_VERSION_MAJOR
#define RZ_VERSION_MAJOR 0
#define RZ_VERSION_MINOR 0
#define RZ_VERSION_PATCH 0
#define RZ_VERSION_TWEAK 0
#endif

namespace {

// The completion message of a step (posted to the main window), naming the
// step it completes.
const QEvent::Type WM_STEP_DONE = static_cast<QEvent::Type>(QEvent::User + 0x8000);
struct StepDoneEvent : QEvent {
    explicit StepDoneEvent(int s) : QEvent(WM_STEP_DONE), step(s) {}
    const int step;
};

constexpr int kPollMs = 10;

QString Txt(const char* utf8) { return QString::fromUtf8(utf8); }

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

const char kMdCommand[] = {'M', 'D', static_cast<char>(REPLY_TERMINATOR), 0};
const char kGsCommand[] = {'G', 'S', static_cast<char>(REPLY_TERMINATOR), 0};

}  // namespace

CKORVELT_RZsetDlg::CKORVELT_RZsetDlg(QWidget* parent, PortInventoryFn inventory)
    : QDialog(parent), m_ui(std::make_unique<Ui::MainDlg>()), m_inventory(std::move(inventory)), m_self(this) {
    // Construction: settings windows of every registered kind, version text.
    for (SettingsKind kind : {SettingsKind::IoUnit, SettingsKind::Gateway, SettingsKind::Serial}) {
        if (const DeviceKindFactory* factory = FindDeviceKind(kind)) {
            if (auto instance = (*factory)(this)) m_kinds[kind] = std::move(instance);
        }
    }
    m_strVersion = FormatVersionText(RZ_VERSION_MAJOR, RZ_VERSION_MINOR, RZ_VERSION_PATCH, RZ_VERSION_TWEAK);
    m_settingsFileCipher = std::make_unique<CGroupFileCipher>();

    // Device error answers ("gi", "sp") are shown owned by this window and
    // released once closed.
    QPointer<CKORVELT_RZsetDlg> self(this);
    SetErrorAnswerPresenter([self](const std::string& text, std::function<void()> closed) {
        PostMessageBox(self.data(), QString::fromStdString(text), std::move(closed));
    });

    // Dialog initialisation.
    m_ui->setupUi(this);
    setWindowTitle(Txt(TXT_PROGRAM_TITLE));
    setWindowIcon(AppIcon());  // large and small window icon
    m_ui->labelVersion->setText(VersionText());
    m_ui->editTimeout->setText(Txt(TXT_DEFAULT_TIMEOUT));
    m_ui->progressBar->setRange(0, 0);  // marquee
    m_ui->progressBar->setVisible(false);
    m_ui->editPort->setText(Txt(TXT_DEFAULT_TCP_PORT));
    m_ui->editAddress->setMaxLength(MAIN_ADDRESS_MAX);
    m_ui->editPort->setMaxLength(MAIN_PORT_MAX);
    m_ui->editNode->setMaxLength(MAIN_NODE_MAX);
    m_ui->editTimeout->setMaxLength(MAIN_TIMEOUT_MAX);
    const QRegularExpression digits(QStringLiteral("[0-9]*"));
    for (QLineEdit* edit : {m_ui->editPort, m_ui->editNode, m_ui->editTimeout})
        edit->setValidator(new QRegularExpressionValidator(digits, edit));
    m_ui->radioDirect->setChecked(true);
    m_ui->radioLan->setChecked(true);
    RefreshPortLists();
    UpdateControlStates();

    // The rules follow the checked state however it changes (mouse, keys,
    // assistive technology).
    for (QRadioButton* radio : {m_ui->radioDirect, m_ui->radioRemote, m_ui->radioLan, m_ui->radioUsb})
        connect(radio, &QRadioButton::toggled, this, [this] { UpdateControlStates(); });
    connect(m_ui->buttonConnect, &QPushButton::clicked, this, [this] { OnConnect(); });
    connect(m_ui->buttonSearch, &QPushButton::clicked, this, [this] { OnNodeSearch(); });

    // Enter never activates a button: swallowed for every control.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

    m_watcher = new PortWatcher(this);
    connect(m_watcher, &PortWatcher::changed, this, [this] { RefreshPortLists(); });

    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, [this] { OnWatchdogTick(); });
    m_timer->start();

    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CKORVELT_RZsetDlg::~CKORVELT_RZsetDlg() {
    Shutdown();
    SetErrorAnswerPresenter({});
    m_kinds.clear();
    m_settingsFileCipher.reset();
}

// ---------------------------------------------------------------- form rules

void CKORVELT_RZsetDlg::UpdateControlStates() {
    const bool direct = m_ui->radioDirect->isChecked();
    const bool remote = m_ui->radioRemote->isChecked();
    const bool lan = m_ui->radioLan->isChecked();
    const bool usb = m_ui->radioUsb->isChecked();
    m_ui->labelDirectNote->setEnabled(direct);
    m_ui->comboDirectPort->setEnabled(direct);
    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->labelRemoteNote, m_ui->groupGateway, m_ui->labelTimeout,
                                                      m_ui->labelNode, m_ui->radioLan, m_ui->radioUsb,
                                                      m_ui->editTimeout, m_ui->editNode, m_ui->buttonSearch})
        w->setEnabled(remote);
    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->labelAddress, m_ui->editAddress, m_ui->labelPort, m_ui->editPort})
        w->setEnabled(remote && lan);
    m_ui->comboGatewayPort->setEnabled(remote && usb);
}

std::string CKORVELT_RZsetDlg::SelectedPort(int list, QString* typed) const {
    const QComboBox* combo = list == 0 ? m_ui->comboDirectPort : m_ui->comboGatewayPort;
    const QString text = combo->currentText().trimmed();
    if (text.isEmpty()) return {};
    const int index = combo->currentIndex();
    if (index >= 0 && index < m_ports.Count() && combo->itemText(index) == combo->currentText())
        return m_ports.Entries()[index].identity;
    if (typed) *typed = combo->currentText();
    return text.toStdString();  // a device path typed by the operator
}

void CKORVELT_RZsetDlg::RefreshPortLists() {
    // A device path typed by the operator (not an entry of the table) is put
    // back into the list's edit field after the refresh.
    QString typed[2];
    const std::string remembered[2] = {SelectedPort(0, &typed[0]), SelectedPort(1, &typed[1])};
    m_ui->comboDirectPort->clear();
    m_ui->comboGatewayPort->clear();
    // While busy every control stays disabled; the restore applies the
    // enabling rules later.
    if (!m_bBusyLook) {
        const bool remote = m_ui->radioRemote->isChecked();
        m_ui->comboDirectPort->setEnabled(m_ui->radioDirect->isChecked());
        m_ui->comboGatewayPort->setEnabled(remote && m_ui->radioUsb->isChecked());
    }

    // The inventory's items count even when it reports a failure (for
    // instance for the last device it looked at).
    std::vector<PortItem> items;
    if (m_inventory) m_inventory(&items);
    FillPortTable(&m_ports, items, PortNamesAreComNames());
    // Without ports the lists stay empty; they keep the state the mode gives
    // them, so that a device path can still be typed in.
    if (m_ports.Count() > 0) {
        for (const PortEntry& entry : m_ports.Entries()) {
            m_ui->comboDirectPort->addItem(QString::fromStdString(entry.name));
            m_ui->comboGatewayPort->addItem(QString::fromStdString(entry.name));
        }
        const PortSelection sel = ChoosePortSelection(m_ports, remembered[0], remembered[1]);
        m_ui->comboDirectPort->setCurrentIndex(sel.direct);
        m_ui->comboGatewayPort->setCurrentIndex(sel.gateway);
    }
    QComboBox* const lists[2] = {m_ui->comboDirectPort, m_ui->comboGatewayPort};
    for (int i = 0; i < 2; ++i)
        if (!typed[i].isEmpty() && m_ports.Find(remembered[i]) < 0) lists[i]->setEditText(typed[i]);
}

int CKORVELT_RZsetDlg::ValidateTarget(bool forSearch) {
    TargetForm form;
    form.remote = m_ui->radioRemote->isChecked();
    form.lan = m_ui->radioLan->isChecked();
    form.usb = m_ui->radioUsb->isChecked();
    form.directPort = SelectedPort(0);
    form.gatewayPort = SelectedPort(1);
    form.address = m_ui->editAddress->text().toStdString();
    form.port = m_ui->editPort->text().toStdString();
    form.node = m_ui->editNode->text().toStdString();
    const TargetResult r = CheckTarget(form, forSearch);
    theLink.m_nMode = r.mode;
    if (r.setComPort) theLink.m_strComPort = r.comPort;
    if (r.setHost) theLink.m_strHost = r.host;
    if (r.setPort) theLink.m_strPort = r.port;
    if (r.message) {
        Message(Txt(r.message));
        return -1;
    }
    return r.node;
}

// ---------------------------------------------------------------- controls

void CKORVELT_RZsetDlg::ApplyBusyLook() {
    for (QWidget* w : findChildren<QWidget*>()) {
        if (w->window() != this) continue;  // the settings windows are children, not controls
        if (w == m_ui->labelVersion || w == m_ui->progressBar) continue;
        w->setEnabled(false);
    }
    m_ui->buttonConnect->setEnabled(true);
    m_ui->buttonConnect->setText(Txt(TXT_ABORT));
    m_ui->buttonConnect->setAccessibleName(Txt(TXT_ABORT));
    m_bBusyLook = true;
}

void CKORVELT_RZsetDlg::ApplyRestore() {
    for (QWidget* w : findChildren<QWidget*>())
        if (w->window() == this) w->setEnabled(true);
    m_ui->buttonConnect->setText(Txt(TXT_MAIN_CONNECT));
    m_ui->buttonConnect->setAccessibleName(Txt(TXT_MAIN_CONNECT));
    m_bBusyLook = false;
    UpdateControlStates();
    // A search window that a step ended before it was shown goes too.
    if (!m_bSearchShown) ForgetSearchWindow();
}

void CKORVELT_RZsetDlg::RestoreControls() {
    if (IsGuiThread()) {
        ApplyRestore();
        return;
    }
    QPointer<CKORVELT_RZsetDlg> self = m_self;
    RunOnGui([self] {
        if (self) self->ApplyRestore();
    });
}

void CKORVELT_RZsetDlg::ShowProgress(bool show) {
    QPointer<CKORVELT_RZsetDlg> self = m_self;
    RunOnGui([self, show] {
        if (!self) return;
        self->m_ui->labelVersion->setVisible(!show);
        self->m_ui->progressBar->setVisible(show);
    });
}

void CKORVELT_RZsetDlg::Message(const QString& text) {
    if (m_bShuttingDown) return;  // the window is going away: nobody to tell
    ShowMessage(this, text);
}

bool CKORVELT_RZsetDlg::OpenLink(int* error) {
    if (theLink.Open() >= 0) return true;
    *error = theLink.m_nError;
    return false;
}

void CKORVELT_RZsetDlg::CloseLink() {
    std::lock_guard<std::mutex> lock(m_closeMutex);
    theLink.Close();
}

// ---------------------------------------------------------------- workers

CSearchNode* CKORVELT_RZsetDlg::SearchWindow() const { return m_search.data(); }

bool CKORVELT_RZsetDlg::WorkersIdle() const {
    return !m_bWorkerRunning && !m_bProgressRunning && !m_bCloserRunning;
}

void CKORVELT_RZsetDlg::JoinWorkers() {
    // Workers of a finished step have done their last effect; joining them
    // does not wait for the GUI thread.
    if (m_worker.joinable()) m_worker.join();
    if (m_progress.joinable()) m_progress.join();
    if (m_closer.joinable()) m_closer.join();
}

bool CKORVELT_RZsetDlg::StepCancelled(int step) const {
    return m_bShuttingDown || m_nAbortedStep == step || m_nStep != step;
}

void CKORVELT_RZsetDlg::StartWorker(std::function<void()> fn) {
    // The previous worker has armed its step or posted its end: past its
    // last effect, so the join does not wait for the GUI thread.
    if (m_worker.joinable()) m_worker.join();
    m_bWorkerRunning = true;
    m_worker = std::thread([this, fn = std::move(fn)] {
        fn();
        m_bWorkerRunning = false;
    });
}

void CKORVELT_RZsetDlg::EnterBusy(bool armed) {
    ApplyBusyLook();
    const int step = ++m_nStep;  // an older progress worker ends quietly
    if (m_progress.joinable()) m_progress.join();
    m_bStepArmed = armed;
    m_nStepEnd = STEP_GOES_ON;
    m_nStepError = 0;
    m_nBusy = BUSY_RUNNING;
    m_bProgressRunning = true;
    m_progress = std::thread([this, step] { ProgressThread(step); });
}

void CKORVELT_RZsetDlg::EndWorker(int end, int error) {
    m_nStepError = error;
    m_nStepEnd = end;
    m_bStepArmed = true;  // the last effect: hands the two above over
}

void CKORVELT_RZsetDlg::ProgressThread(int step) {
    ShowProgress(true);
    // A step that its worker ended itself is not waited for further.
    while ((!m_bStepArmed || (theLink.m_nPending.load() != 0 && m_nStepEnd == STEP_GOES_ON)) &&
           m_nBusy != BUSY_ABORT && m_nStep == step)
        Sleep(kPollMs);
    ShowProgress(false);
    if (m_nStep != step) {
        m_bProgressRunning = false;
        return;
    }
    if (m_nBusy == BUSY_ABORT) {
        m_nBusy = BUSY_IDLE;
        m_nPhase = PHASE_NONE;
        m_nAbortedStep = step;  // before the close: a send or wait it breaks is no fault
        CloseLink();
        // The step's worker, woken by the close, finishes first so that
        // nothing of this step outlives the restored controls.
        while (!m_bStepArmed) Sleep(kPollMs);
        RestoreControls();
        m_bProgressRunning = false;
        return;
    }
    if (m_nStepEnd != STEP_GOES_ON) {
        FinishStep(m_nStepEnd, m_nStepError);
        m_bProgressRunning = false;
        return;
    }
    m_nWatchdog = 1;  // before the message, so that its reset cannot be overtaken
    PostStepDone(step);
    m_bProgressRunning = false;
}

void CKORVELT_RZsetDlg::FinishStep(int end, int error) {
    switch (end) {
    case STEP_OPEN_FAILED:  // the link stays closed
        Message(QString::fromStdString(OpenFailureMessage(theLink.m_nMode, error, theLink.m_strComPort)));
        break;
    case STEP_UNSUPPORTED:
        CloseLink();
        Message(Txt(MSG_UNSUPPORTED_MODEL));
        break;
    case STEP_READ_FAILED:
        Message(Txt(MSG_READ_FAILED));
        CloseLink();
        break;
    case STEP_SEARCH_FAILED:
        Message(FormatText(MSG_COMM_ERROR_CODE, error));
        CloseLink();
        break;
    default:
        break;
    }
    m_nPhase = PHASE_NONE;
    RestoreControls();
    m_nBusy = BUSY_IDLE;
}

void CKORVELT_RZsetDlg::PostStepDone(int step) {
    // Through the one hand-over to the GUI thread, which then posts the
    // completion message to this window's own queue.
    QPointer<CKORVELT_RZsetDlg> self = m_self;
    RunOnGui([self, step] {
        if (self) QCoreApplication::postEvent(self.data(), new StepDoneEvent(step));
    });
}

void CKORVELT_RZsetDlg::EndStep(std::function<void()> work, std::function<void()> onGui) {
    ++m_nStep;  // a progress worker still looking at the step ends quietly
    if (m_bShuttingDown) return;  // the shutdown closes the link
    QPointer<CKORVELT_RZsetDlg> self = m_self;
    StartWorker([self, work = std::move(work), onGui = std::move(onGui)] {
        work();
        RunOnGui([self, onGui] {
            if (!self) return;
            self->ApplyRestore();
            if (onGui) onGui();
        });
    });
}

void CKORVELT_RZsetDlg::IdentifyThread(int step, int node) {
    int error = 0;
    if (!OpenLink(&error)) {
        // After "中止" the failure is no news to the operator.
        EndWorker(StepCancelled(step) ? STEP_GOES_ON : STEP_OPEN_FAILED, error);
        return;
    }
    theLink.m_nNode = node;
    if (StepCancelled(step)) {
        CloseLink();  // "中止" or the shutdown came while the link opened
    } else {
        int failed = 0;
        if (theLink.SendCommand(kMdCommand) < 0 || theLink.SendCommand(kGsCommand) < 0) failed = theLink.m_nError;
        if (failed) {
            CloseLink();
            // A send that failed because "中止" had closed the link is no error.
            if (!StepCancelled(step)) Message(FormatText(MSG_COMM_ERROR_CODE, failed));
        } else if (theLink.WaitReplies(theLink.m_nTimeoutSec) == 0) {
            int running = BUSY_RUNNING;
            m_nBusy.compare_exchange_strong(running, BUSY_IDLE);
            CloseLink();
        }
    }
    theLink.SetPending(0);
    EndWorker(STEP_GOES_ON, 0);
}

void CKORVELT_RZsetDlg::ReadThread(int step, IDeviceKind* kind) {
    theLink.ClearSettings();
    if (!kind) {
        EndWorker(STEP_UNSUPPORTED, 0);
        return;
    }
    // The context is this window; the handler stays installed while the
    // settings window is open, as that window installs none of its own.
    theLink.SetReplyHandler(this, kind->Handler());
    const bool read = kind->ReadSettings() >= 0;
    // Ended by "中止" (the link was closed under the read) or the shutdown:
    // no message, no window.
    EndWorker(read || StepCancelled(step) ? STEP_GOES_ON : STEP_READ_FAILED, 0);
}

void CKORVELT_RZsetDlg::SearchThread(int step) {
    int error = 0;
    if (!OpenLink(&error)) {
        EndWorker(StepCancelled(step) ? STEP_GOES_ON : STEP_OPEN_FAILED, error);
        return;
    }
    if (StepCancelled(step)) {
        CloseLink();
        EndWorker(STEP_GOES_ON, 0);
        return;
    }
    if (CSearchNode::SendSearch() < 0) {
        error = theLink.m_nError;
        EndWorker(StepCancelled(step) ? STEP_GOES_ON : STEP_SEARCH_FAILED, error);
        return;
    }
    // The window is modal on the GUI thread, as a thread of its own would
    // run it; the answers already arrived are in its list.
    QPointer<CKORVELT_RZsetDlg> self = m_self;
    RunOnGui([self, step] {
        if (self) self->RunNodeSearch(step);
    });
    EndWorker(STEP_GOES_ON, 0);
}

// ---------------------------------------------------------------- buttons

void CKORVELT_RZsetDlg::OnConnect() {
    int running = BUSY_RUNNING;
    if (m_nBusy.compare_exchange_strong(running, BUSY_ABORT)) return;  // "中止"
    if (m_bBusyLook || m_bShuttingDown) return;  // a step is still winding down

    int seconds = 0;
    if (const char* msg = CheckTimeoutText(m_ui->editTimeout->text().toStdString(), &seconds)) {
        Message(Txt(msg));
        return;
    }
    theLink.m_nTimeoutSec = seconds;
    const int node = ValidateTarget(false);
    if (node < 0) return;
    m_nTargetNode = node;

    m_bIdentified = false;
    theLink.SetReplyHandler(this, &CKORVELT_RZsetDlg::MainReplyHandler);
    m_nPhase = PHASE_IDENTIFY;
    // The link opens on the worker: a gateway that does not answer the
    // connect holds it, not this window.
    EnterBusy(false);
    StartWorker([this, step = m_nStep.load(), node] { IdentifyThread(step, node); });
}

void CKORVELT_RZsetDlg::OnNodeSearch() {
    if (m_bBusyLook || m_bShuttingDown) return;
    const int node = ValidateTarget(true);
    if (node < 0) return;
    m_nTargetNode = node;
    theLink.SetReplyHandler(this, &CKORVELT_RZsetDlg::MainReplyHandler);
    // A fresh window with an empty list, there before "SN" goes out, so
    // that every answer is listed.
    ForgetSearchWindow();
    m_search = new CSearchNode(this);
    ++m_nSearchSession;
    m_nPhase = PHASE_NODE_SEARCH;
    EnterBusy(false);
    StartWorker([this, step = m_nStep.load()] { SearchThread(step); });
}

void CKORVELT_RZsetDlg::ForgetSearchWindow() {
    ++m_nSearchSession;  // rows still on their way are dropped
    if (m_search) m_search->deleteLater();
    m_search = nullptr;
}

void CKORVELT_RZsetDlg::RunNodeSearch(int step) {
    // Ended meanwhile ("中止" or the shutdown): that path restores and drops
    // the window.
    if (StepCancelled(step) || m_nBusy != BUSY_RUNNING || !m_search) return;
    CSearchNode* search = m_search;
    m_bSearchShown = true;
    search->RunModal();
    m_bSearchShown = false;
    const int picked = search->m_nSelectedNode;
    ForgetSearchWindow();
    if (m_bShuttingDown) return;
    m_nPhase = PHASE_NONE;
    EndStep([this] { CloseLink(); },
            [this, picked] {
                if (picked != -1) m_ui->editNode->setText(QString::number(picked));
                m_nBusy = BUSY_IDLE;
            });
}

// ---------------------------------------------------------------- replies

int CKORVELT_RZsetDlg::MainReplyHandler(void* ctx, const unsigned char* reply, int len) {
    auto* self = static_cast<CKORVELT_RZsetDlg*>(ctx);
    const MainReply r = ParseMainReply(reply, len);
    if (r.parsed) {
        switch (r.kind) {
        case MainReply::UnitId:
            theLink.m_dwUid = r.uid;
            break;
        case MainReply::ModelCode:
            theLink.m_nModelValue = r.modelValue;
            theLink.m_nModelCode = r.modelCode;
            theLink.m_nModelExt = r.modelExt;
            self->m_bIdentified = true;
            break;
        case MainReply::Node: {
            // A queued copy for the list; dropped when that window has closed.
            QPointer<CKORVELT_RZsetDlg> guard = self->m_self;
            const int session = self->m_nSearchSession.load();
            const NodeAnswer answer = r.node;
            RunOnGui([guard, session, answer] {
                if (guard && guard->m_search && guard->m_nSearchSession == session)
                    guard->m_search->AddNodeRow(answer);
            });
            break;
        }
        default:
            break;
        }
    }
    return r.counts ? 1 : 0;
}

// ---------------------------------------------------------------- steps

bool CKORVELT_RZsetDlg::event(QEvent* e) {
    if (e->type() == WM_STEP_DONE) {
        OnStepDone(static_cast<StepDoneEvent*>(e)->step);
        return true;
    }
    return QDialog::event(e);
}

void CKORVELT_RZsetDlg::AbortStep() {
    m_nBusy = BUSY_IDLE;
    m_nPhase = PHASE_NONE;
    EndStep([this] { CloseLink(); });
}

void CKORVELT_RZsetDlg::OnStepDone(int step) {
    m_nWatchdog = 0;
    // Shutting down, or the step has ended meanwhile (its message is late).
    if (m_bShuttingDown || step != m_nStep) return;
    const int phase = m_nPhase;
    if (phase != PHASE_IDENTIFY && phase != PHASE_READ_SETTINGS && phase != PHASE_OPEN_WINDOW) return;
    m_nPhase = PHASE_NONE;
    // "中止" pressed after the step had already finished: still an abort.
    if (m_nBusy == BUSY_ABORT) {
        AbortStep();
        return;
    }
    if (phase == PHASE_IDENTIFY) {
        StartSettingsRead();
    } else if (phase == PHASE_READ_SETTINGS) {
        // Read: the window opens on the next completion, nothing pending.
        m_nPhase = PHASE_OPEN_WINDOW;
        EnterBusy(true);
    } else {
        OpenSettingsWindow();
    }
}

void CKORVELT_RZsetDlg::StartSettingsRead() {
    // Only a model parsed from this connection's own "md" decides.
    IDeviceKind* kind = nullptr;
    if (m_bIdentified) {
        auto it = m_kinds.find(SettingsKindForModel(theLink.m_nModelCode));
        if (it != m_kinds.end()) kind = it->second.get();
    }
    // The read (or, for a model not served, the close and the message) runs
    // on the worker while the window stays busy: "中止" ends it at once.
    m_nPhase = PHASE_READ_SETTINGS;
    EnterBusy(false);
    StartWorker([this, step = m_nStep.load(), kind] { ReadThread(step, kind); });
}

void CKORVELT_RZsetDlg::OpenSettingsWindow() {
    if (m_nBusy != BUSY_RUNNING) {
        AbortStep();  // ended meanwhile: the link closes, the controls come back
        return;
    }
    m_nBusy = BUSY_IDLE;
    auto it = m_kinds.find(SettingsKindForModel(theLink.m_nModelCode));
    IDeviceKind* kind = it != m_kinds.end() ? it->second.get() : nullptr;
    if (kind) kind->RunWindow();
    // What the kind still sends (the I/O unit's reset) goes out before the
    // link closes, both on the worker.
    EndStep([this, kind] {
        if (kind) kind->AfterWindowClosed();
        CloseLink();
    });
}

void CKORVELT_RZsetDlg::OnWatchdogTick() {
    if (m_nWatchdog == 0) return;
    if (++m_nWatchdog <= WATCHDOG_LIMIT) return;
    m_nBusy = BUSY_IDLE;
    m_nPhase = PHASE_NONE;  // a completion that still arrives is swallowed
    m_nWatchdog = 0;
    EndStep([this] {
        CloseLink();
        Message(Txt(MSG_OVERLOAD));
    });
}

// ---------------------------------------------------------------- keys, end

bool CKORVELT_RZsetDlg::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    }
    return QDialog::eventFilter(watched, e);
}

void CKORVELT_RZsetDlg::done(int result) {
    Shutdown();
    QDialog::done(result);
}

void CKORVELT_RZsetDlg::Shutdown() {
    if (!m_bShuttingDown.exchange(true)) {
        if (m_timer) m_timer->stop();
        if (m_search) m_search->reject();
        int running = BUSY_RUNNING;
        m_nBusy.compare_exchange_strong(running, BUSY_ABORT);
        ++m_nStep;  // the progress worker ends at its next look
        // The close wakes a worker's wait; it runs on a thread of its own,
        // as it may have to wait for a write in progress. A worker still
        // opening the link closes it itself.
        if (m_closer.joinable()) m_closer.join();
        m_bCloserRunning = true;
        m_closer = std::thread([this] {
            CloseLink();
            m_bCloserRunning = false;
        });
    }
    // Workers may still hand effects to this thread: keep serving them (also
    // when this runs inside one of those calls) until all have finished.
    QElapsedTimer clock;
    clock.start();
    while (!WorkersIdle() && clock.elapsed() < 150000) {
        if (IsGuiThread()) {
            ServeGuiCalls();
            QCoreApplication::processEvents(QEventLoop::AllEvents, kPollMs);
        }
        Sleep(1);
    }
    JoinWorkers();
    if (!m_bSearchShown) ForgetSearchWindow();
    theLink.SetReplyHandler(nullptr, nullptr);
    m_nBusy = BUSY_IDLE;
    m_nPhase = PHASE_NONE;
    m_nWatchdog = 0;
}
