#include "settings/SettingsFrame.h"

#include "forms/CommonTexts.h"
#include "forms/SettingsTexts.h"
#include "forms/UiThread.h"
#include "link/Catalogue.h"
#include "link/DeviceLink.h"
#include "wireless/SetSubG.h"
#include "wireless/WirelessGroup.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <chrono>

namespace {
bool IsEnterKey(QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
    int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
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
}

void CSettingsFrame::EndWork() {
    if (m_bWorkerRunning.load()) {
        // Ask the worker to stop reporting; it still finishes its current
        // wait, which the link bounds by its time-out.
        m_nWriteState.store(WRITE_STOPPED);
        m_nWriteResult.store(RESULT_NONE);
    }
    JoinWorker();
}

void CSettingsFrame::JoinWorker() {
    // The worker may be waiting for the GUI thread (a message, a form read):
    // keep serving events until it has ended, then join.
    while (m_bWorkerRunning.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        SleepMs(2);
    }
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
    m_pStatus->setText(QString::fromStdString(FormatStatusLine(theLink.m_dwUid.load())));
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
    InstallEnterFilter();
}

void CSettingsFrame::reject() {
    if (m_bWorkerRunning.load()) return;  // a write is still on its way
    QDialog::reject();
}

void CSettingsFrame::OnOk() {
    if (m_nWriteState.load() == WRITE_RUNNING) {
        m_nWriteState.store(WRITE_STOPPED);
        m_nWriteResult.store(RESULT_NONE);
        return;
    }
    // One write at a time: a worker that is still finishing (after a stop
    // request or an error answer) keeps OK from starting another.
    if (m_bWorkerRunning.load()) return;
    if (m_worker.joinable()) m_worker.join();  // ended: its last step was clearing the flag
    m_bWorkerRunning.store(true);
    m_bWorkerDone.store(false);
    m_worker = std::thread([this] { WorkerMain(); });
}

void CSettingsFrame::WorkerMain() {
    auto finish = [this] { m_bWorkerRunning.store(false); };
    if (!ValidateForm()) return finish();
    // The panel is only checked for a direct target: for a remote one it is
    // out of view, its group settings are never written, and a check could
    // refuse the write with a message about fields the operator cannot see.
    int panel = CSetSubG::WG_NOT_REQUESTED;
    if (theLink.m_nNode.load() == 0) {
        panel = m_pSubG->ValidateWirelessGroup();
        if (panel == CSetSubG::WG_INVALID) return finish();
    }

    m_nWriteResult.store(RESULT_COMM_ERROR);
    // The state comes first: a click on the changed button is then a stop
    // request, not a new press on an idle window.
    m_nWriteState.store(WRITE_RUNNING);
    RunOnGuiBlocking([this] { SetFormEnabled(false); });
    SleepMs(10);
    m_watcher = std::thread([this] { WatcherMain(); });

    auto onSendFailed = [this](int err) { ShowMessage(this, FormatText(MSG_COMM_ERROR_CODE, err)); };
    StepFailure failure;
    bool ok = WriteDevice(onSendFailed, &failure) >= 0;
    if (ok && theLink.m_nNode.load() == 0 && panel == CSetSubG::WG_VALID) {
        // The panel's write shows its own message on a failed send.
        ok = m_pSubG->WriteWirelessGroup() >= 0;
        if (!ok) failure.error = theLink.m_nError.load();
    }

    bool linkLost = false;
    if (ok) {
        OnWriteSucceeded();
        m_nWriteResult.store(RESULT_WRITTEN);
    } else {
        m_nWriteState.store(WRITE_STOPPED);
        if (IsLinkLostError(failure.error)) {
            linkLost = true;
            ShowMessage(this, QString::fromUtf8(MSG_LINK_LOST));
        }
    }
    m_bWorkerDone.store(true);
    if (m_watcher.joinable()) m_watcher.join();
    if (linkLost) {
        QMetaObject::invokeMethod(this, [this] { OnLinkLost(); }, Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(this, [this] { OnWorkFinished(); }, Qt::QueuedConnection);
    }
    finish();
}

void CSettingsFrame::WatcherMain() {
    QMetaObject::invokeMethod(this, [this] { ShowProgress(true); }, Qt::QueuedConnection);
    // The display stays up until the worker ends, a stop request or a device
    // error answer; the awaited count is left to the worker's wait.
    while (theLink.m_nGroupWriteError.load() == 0 && m_nWriteState.load() != WRITE_STOPPED &&
           !m_bWorkerDone.load()) {
        SleepMs(10);
    }
    QMetaObject::invokeMethod(this, [this] { ShowProgress(false); }, Qt::QueuedConnection);
    if (m_nWriteState.load() == WRITE_STOPPED || !m_bWorkerDone.load()) {
        // Stop request, failure or error answer: the form comes back now; the
        // worker's notification follows when its current wait has ended.
        m_nWriteState.store(WRITE_IDLE);
        QMetaObject::invokeMethod(this, [this] { SetFormEnabled(true); }, Qt::QueuedConnection);
    }
}

void CSettingsFrame::ShowProgress(bool show) {
    m_pProgress->setVisible(show);
    m_pStatus->setVisible(!show);
}

void CSettingsFrame::SetFormEnabled(bool enabled) {
    for (QObject* o : children()) {
        if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow()) w->setEnabled(enabled);
    }
    if (!enabled) {
        m_pOk->setText(QString::fromUtf8(TXT_ABORT));
        m_pOk->setEnabled(true);
        m_pProgress->setEnabled(true);  // a direct child: the write shows it enabled
    } else {
        m_pOk->setText(QString::fromUtf8(TXT_OK));
        OnFormEnabled();
    }
}

void CSettingsFrame::OnWorkFinished() {
    m_nWriteState.store(WRITE_IDLE);
    SetFormEnabled(true);
    if (m_nWriteResult.load() == RESULT_COMM_ERROR) {
        m_nWriteResult.store(RESULT_NONE);
        ShowMessage(this, QString::fromUtf8(MSG_COMM_ERROR));
    }
    if (m_nWriteResult.load() == RESULT_WRITTEN && m_pSubG->FinishWirelessGroupChange()) {
        m_nWriteResult.store(RESULT_NONE);
        // Closing waits for the worker's last step (clearing its flag).
        JoinWorker();
        done(QDialog::Accepted);
    }
}

void CSettingsFrame::OnLinkLost() {
    m_nWriteState.store(WRITE_STOPPED);
    QThread::msleep(100);
    JoinWorker();
    done(RESULT_LINK_LOST);
}
