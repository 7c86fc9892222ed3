#include "settings/SettingsFrame.h"

#include "forms/CommonTexts.h"
#include "forms/ProfileTexts.h"
#include "forms/SettingsTexts.h"
#include "forms/UiThread.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"
#include "wireless/SetSubG.h"
#include "wireless/WirelessGroup.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

namespace {
bool IsEnterKey(QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
    int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
}  // namespace

CSettingsFrame::CSettingsFrame(QWidget* parent) : QDialog(parent) {}

CSettingsFrame::~CSettingsFrame() { EndWork(); }

void CSettingsFrame::AttachFrame(QFrame* area, QLabel* statusLine, QProgressBar* progress, QPushButton* ok,
                                 QPushButton* cancel) {
    m_pArea = area;
    m_pStatus = statusLine;
    m_pProgress = progress;
    m_pOk = ok;
    m_pCancel = cancel;
    m_pSubG = new CSetSubG(area);
    m_pStatus->setFont(QFont(QString::fromUtf8(TXT_STATUS_FONT), STATUS_FONT_POINTS));
    m_pProgress->setRange(0, 0);  // indeterminate
    m_pOk->setAutoDefault(false);
    m_pOk->setDefault(false);
    m_pCancel->setAutoDefault(false);
    connect(m_pOk, &QPushButton::clicked, this, [this] { OnOk(); });
    connect(m_pCancel, &QPushButton::clicked, this, [this] { reject(); });

    // The profile actions live in the window's context menu, so the form's
    // layout stays as designed; the shortcuts reach them from the keyboard.
    m_pSaveProfile = new QAction(QString::fromUtf8(TXT_PROFILE_SAVE), this);
    m_pLoadProfile = new QAction(QString::fromUtf8(TXT_PROFILE_LOAD), this);
    m_pSaveProfile->setShortcut(QKeySequence::Save);
    m_pLoadProfile->setShortcut(QKeySequence::Open);
    connect(m_pSaveProfile, &QAction::triggered, this, [this] { OnSaveProfile(); });
    connect(m_pLoadProfile, &QAction::triggered, this, [this] { OnLoadProfile(); });
    addAction(m_pSaveProfile);
    addAction(m_pLoadProfile);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

namespace {
ProfileModel ConnectedModel() {
    const int code = theLink.m_nModelCode.load();
    return ProfileModel{code, code == MODEL_EXTENDED ? theLink.m_nModelExt.load() : 0};
}
}  // namespace

void CSettingsFrame::OnSaveProfile() {
    const ProfileModel model = ConnectedModel();
    QString name = QString::fromStdString(GetModelName(model.code, model.ext));
    if (const int node = theLink.m_nNode.load()) name += QStringLiteral("_node%1").arg(node);
    const QString path = QFileDialog::getSaveFileName(this, QString::fromUtf8(TXT_PROFILE_SAVE).remove(QStringLiteral("...")),
                                                      name + QLatin1Char('.') + QString::fromUtf8(TXT_PROFILE_SUFFIX),
                                                      QString::fromUtf8(TXT_PROFILE_FILTER));
    if (!path.isEmpty()) SaveProfileTo(path);
}

void CSettingsFrame::OnLoadProfile() {
    const QString path = QFileDialog::getOpenFileName(this, QString::fromUtf8(TXT_PROFILE_LOAD).remove(QStringLiteral("...")),
                                                      QString(), QString::fromUtf8(TXT_PROFILE_FILTER));
    if (!path.isEmpty()) LoadProfileFrom(path);
}

bool CSettingsFrame::SaveProfileTo(const QString& path) {
    if (m_bWorkerRunning.load()) return false;
    ProfileJson settings;
    ProfileError error;
    bool ok = FormToProfile(&settings, &error);
    if (ok) ok = WriteProfileFile(path.toStdString(), MakeProfile(ConnectedModel(), std::move(settings)), &error);
    if (!ok) ShowMessage(this, FormatText(FMT_PROFILE_NOT_SAVED, QString::fromStdString(error.Text())));
    return ok;
}

bool CSettingsFrame::LoadProfileFrom(const QString& path) {
    if (m_bWorkerRunning.load()) return false;
    ProfileJson doc;
    ProfileModel model;
    ProfileError error;
    const ProfileModel connected = ConnectedModel();
    const bool ok = ReadProfileFile(path.toStdString(), &doc, &model, &error) &&
                    CheckProfileModel(model, connected.code, connected.ext, &error) &&
                    ProfileToForm(doc["settings"], &error);
    if (!ok) ShowMessage(this, FormatText(FMT_PROFILE_REFUSED, QString::fromStdString(error.Text())));
    return ok;
}

void CSettingsFrame::EndWork() {
    // A write still on its way stops at once: its wait ends and nothing more
    // is sent. Its end, should it be served while waiting, changes nothing.
    m_bTearingDown = true;
    const bool stopping = m_bWorkerRunning.load();
    if (stopping) {
        int idle = WRITE_IDLE;
        if (!m_nWriteState.compare_exchange_strong(idle, WRITE_STOPPED)) RequestStop();
    }
    JoinWorker();
    if (stopping) theLink.AllowSending();  // the link outlives this window
}

void CSettingsFrame::JoinWorker() {
    // The worker may be waiting for the GUI thread (a message, a form read):
    // keep serving its calls and the events until it has ended, then join.
    // The calls are served directly too, as this may run inside one of them.
    ServeGuiUntil([this] { return !m_bThreadActive.load(); });
    if (m_worker.joinable()) m_worker.join();
}

void CSettingsFrame::InstallEnterFilter() {
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
}

bool CSettingsFrame::eventFilter(QObject* watched, QEvent* event) {
    if (IsEnterKey(event)) {
        event->accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CSettingsFrame::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CSettingsFrame::OpenWindow() {
    if (!m_bGeometrySaved) {
        m_designSize = size();
        for (QObject* o : children()) {
            if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow()) m_designGeometry.append({w, w->geometry()});
        }
        m_bGeometrySaved = true;
    }
    for (const auto& [w, rect] : m_designGeometry) w->setGeometry(rect);
    setFixedSize(m_designSize);
    // The owner may have disabled its whole widget tree (this window
    // included) while it was busy: start from everything enabled; the
    // panel's and the form's own rules below disable what they must.
    setEnabled(true);
    for (QWidget* w : findChildren<QWidget*>()) w->setEnabled(true);

    // 1. icon
    setWindowIcon(QApplication::windowIcon());
    // 3. title
    const bool remote = theLink.m_nNode.load() != 0;
    std::string model = GetModelName(theLink.m_nModelCode.load(), theLink.m_nModelExt.load());
    setWindowTitle(QString::fromStdString(
        FormatSettingsTitle(model, theLink.m_nNode.load(), remote ? 0 : theWirelessGroup.nodeNumber)));
    // 4., 5. identity line, idle
    const QString identity = QString::fromStdString(FormatStatusLine(theLink.m_dwUid.load()));
    m_pStatus->setText(identity);
    m_pStatus->setAccessibleName(identity);  // the value itself, not a caption
    m_nWriteState.store(WRITE_IDLE);
    ShowProgress(false);
    SetFormEnabled(true);
    // 6. limits
    LimitFields();
    // 7. the panel inside the frame area
    QRect inner = m_pArea->contentsRect();
    m_pSubG->setGeometry(inner.x() + 2, inner.y() + 2, inner.width() - 6, inner.height() - 6);
    m_pSubG->InitFromRecord();
    m_pSubG->show();
    // 8. the form
    FillForm();
    // 9. remote shift: the panel's area goes out of view
    if (remote) {
        int shift = m_pArea->contentsRect().width() + 20;
        for (const auto& [w, rect] : m_designGeometry) w->move(rect.x() - shift, rect.y());
        setFixedSize(m_designSize.width() - shift, m_designSize.height());
    }
    // 10.
    m_nWriteResult.store(RESULT_NONE);
    m_bCloseRequested = false;
    InstallEnterFilter();
}

void CSettingsFrame::reject() {
    if (IsLinkBusy()) return;  // another command sequence of the window is on the link
    if (!m_bWorkerRunning.load()) {
        QDialog::reject();
        return;
    }
    // The close box or Escape while the worker runs: no write is started
    // (still validating) or the write stops; the window closes when the
    // worker's end reaches OnWorkFinished.
    m_bCloseRequested = true;
    int idle = WRITE_IDLE;
    if (!m_nWriteState.compare_exchange_strong(idle, WRITE_STOPPED)) RequestStop();
}

bool CSettingsFrame::RequestStop() {
    int running = WRITE_RUNNING;
    if (!m_nWriteState.compare_exchange_strong(running, WRITE_STOPPED)) return false;
    m_nWriteResult.store(RESULT_NONE);
    theLink.StopSending();  // the current wait ends now; nothing more goes out
    return true;
}

void CSettingsFrame::ShowLinkBusy(bool busy) {
    ShowProgress(busy);
    m_pOk->setEnabled(!busy);
    m_pCancel->setEnabled(!busy);
    m_pSaveProfile->setEnabled(!busy);
    m_pLoadProfile->setEnabled(!busy);
}

void CSettingsFrame::OnOk() {
    if (m_nWriteState.load() == WRITE_RUNNING) {
        RequestStop();
        return;
    }
    // One write at a time, until its end has been dealt with here; the form
    // is disabled until then, so this only guards against a click queued
    // meanwhile. Nor does a write start while another command sequence of
    // the window is on the link.
    if (m_bWorkerRunning.load() || IsLinkBusy()) return;
    if (m_worker.joinable()) m_worker.join();
    m_bWorkerRunning.store(true);
    m_bThreadActive.store(true);
    m_worker = std::thread([this] { WorkerMain(); });
}

void CSettingsFrame::WorkerMain() {
    bool valid = ValidateForm();
    // The panel is only checked for a direct target: for a remote one it is
    // out of view, its group settings are never written, and a check could
    // refuse the write with a message about fields the operator cannot see.
    int panel = CSetSubG::WG_NOT_REQUESTED;
    if (valid && theLink.m_nNode.load() == 0) {
        panel = m_pSubG->ValidateWirelessGroup();
        valid = panel != CSetSubG::WG_INVALID;
    }
    bool wrote = false;
    bool linkLost = false;
    if (valid) {
        m_nWriteResult.store(RESULT_COMM_ERROR);
        // The state comes first: a click on the changed button is then a
        // stop request, not a new press on an idle window. A close request
        // that came during the validation has set it to stopped: no write.
        int idle = WRITE_IDLE;
        if (m_nWriteState.compare_exchange_strong(idle, WRITE_RUNNING)) {
            wrote = true;
            linkLost = !RunWrite(panel);
        } else {
            m_nWriteResult.store(RESULT_NONE);
        }
    }
    // The window outlives the worker (EndWork joins it first), so the guard
    // only matters for a window deleted by other means.
    QPointer<CSettingsFrame> self(this);
    RunOnGui([self, linkLost, wrote] {
        if (!self) return;
        if (linkLost) self->OnLinkLost();
        else self->OnWorkFinished(wrote);
    });
    m_bThreadActive.store(false);  // the last step: OnWorkFinished joins after it
}

bool CSettingsFrame::RunWrite(int panel) {
    RunOnGuiBlocking([this] {
        SetFormEnabled(false);
        ShowProgress(true);
    });
    auto onSendFailed = [this](int err) { ShowMessage(this, FormatText(MSG_COMM_ERROR_CODE, err)); };
    StepFailure failure;
    bool ok = WriteDevice(onSendFailed, &failure) >= 0;
    if (ok && theLink.m_nNode.load() == 0 && panel == CSetSubG::WG_VALID) {
        // The panel's write shows its own message on a failed send.
        ok = m_pSubG->WriteWirelessGroup() >= 0;
        if (!ok) failure.error = theLink.m_nError.load();
    }

    int running = WRITE_RUNNING;
    int commError = RESULT_COMM_ERROR;
    if (ok) {
        // Written unless a stop came first; a stop after this is too late.
        if (m_nWriteState.compare_exchange_strong(running, WRITE_ENDING)) {
            OnWriteSucceeded();
            m_nWriteResult.compare_exchange_strong(commError, RESULT_WRITTEN);
        }
        return true;
    }
    m_nWriteState.compare_exchange_strong(running, WRITE_STOPPED);
    if (IsEndedOnPurpose(failure.error)) {
        // The device's own message was shown, or the operator stopped.
        m_nWriteResult.compare_exchange_strong(commError, RESULT_NONE);
        return true;
    }
    if (IsLinkLostError(failure.error)) {
        m_nWriteResult.store(RESULT_NONE);
        ShowMessage(this, QString::fromUtf8(MSG_LINK_LOST));
        return false;
    }
    return true;  // "通信エラー" follows, unless a stop request silenced it
}

void CSettingsFrame::ShowProgress(bool show) {
    m_pProgress->setVisible(show);
    m_pStatus->setVisible(!show);
}

void CSettingsFrame::SetFormEnabled(bool enabled) {
    for (QObject* o : children()) {
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow()) w->setEnabled(enabled);
    }
    m_pSaveProfile->setEnabled(enabled);
    m_pLoadProfile->setEnabled(enabled);
    // The accessible name follows the caption.
    const QString caption = QString::fromUtf8(enabled ? TXT_OK : TXT_ABORT);
    m_pOk->setText(caption);
    m_pOk->setAccessibleName(caption);
    if (!enabled) {
        m_pOk->setEnabled(true);
        m_pProgress->setEnabled(true);  // a direct child: the write shows it enabled
    } else {
        OnFormEnabled();
    }
}

void CSettingsFrame::OnWorkFinished(bool wrote) {
    JoinWorker();  // its last step was clearing its flag: no wait
    m_bWorkerRunning.store(false);
    if (m_bTearingDown) return;
    m_nWriteState.store(WRITE_IDLE);
    theLink.AllowSending();
    if (wrote) {
        ShowProgress(false);
        SetFormEnabled(true);
    }
    const int result = m_nWriteResult.exchange(RESULT_NONE);
    if (result == RESULT_COMM_ERROR) ShowMessage(this, QString::fromUtf8(MSG_COMM_ERROR));
    if (result == RESULT_WRITTEN && m_pSubG->FinishWirelessGroupChange()) {
        m_bCloseRequested = false;
        done(QDialog::Accepted);
        return;
    }
    if (m_bCloseRequested) {
        m_bCloseRequested = false;
        QDialog::reject();
    }
}

void CSettingsFrame::OnLinkLost() {
    JoinWorker();
    m_bWorkerRunning.store(false);
    if (m_bTearingDown) return;
    m_nWriteState.store(WRITE_STOPPED);
    theLink.AllowSending();
    QThread::msleep(100);
    done(RESULT_LINK_LOST);
}
