#include "wireless/SetSubG_Wait.h"

#include "forms/UiThread.h"
#include "forms/WirelessTexts.h"

#include "ui_SetSubG_Wait.h"

#include <QKeyEvent>
#include <QPointer>

struct CSetSubG_Wait::Ui : ::Ui::SetSubGWaitForm {};

namespace {
bool IsEnterKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
}  // namespace

CSetSubG_Wait::CSetSubG_Wait(QWidget* parent, int pollMs)
    : QDialog(parent), m_ui(std::make_unique<Ui>()), m_poller(pollMs) {
    m_ui->setupUi(this);
    setWindowTitle(QString::fromUtf8(TXT_WG_WAIT_TITLE));
    m_ui->lblText->setText(QString::fromUtf8(TXT_WG_WAIT_RUNNING));
    m_ui->btnClose->setText(QString::fromUtf8(TXT_WG_WAIT_CLOSE));
    m_ui->btnClose->setAccessibleName(QString::fromUtf8(TXT_WG_WAIT_CLOSE));
    m_ui->btnClose->setDefault(true);
    connect(m_ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    // Marquee: a busy bar moves while the worker polls.
    m_ui->barWait->setRange(0, 0);
    m_ui->barWait->show();
    // Enter must not press the default button, wherever the focus is.
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);

    QPointer<CSetSubG_Wait> self(this);
    m_poller.Start(
        [self](int state) {
            RunOnGui([self, state] {
                if (self) self->ShowOutcome(state);
            });
        },
        [self] {
            RunOnGui([self] {
                if (self) self->OnWorkerEnded();
            });
        });
}

CSetSubG_Wait::~CSetSubG_Wait() {
    // The worker has ended when the dialog was closed (done() waits for it
    // without holding this thread); it only posts to the GUI, so joining it
    // here cannot deadlock either way.
    m_poller.Finish();
}

void CSetSubG_Wait::ShowOutcome(int state) {
    if (state == WAIT_SUCCEEDED || state == WAIT_FAILED) {
        m_ui->barWait->setRange(0, 1);
        m_ui->barWait->hide();
        m_ui->lblText->setText(QString::fromUtf8(state == WAIT_SUCCEEDED ? TXT_WG_WAIT_SUCCEEDED : TXT_WG_WAIT_FAILED));
    } else {
        // The poll could not be sent: keep the waiting text, stop the bar.
        m_ui->barWait->setRange(0, 1);
        m_ui->barWait->hide();
    }
}

void CSetSubG_Wait::done(int result) {
    // The outcome is the state at this moment: an answer that arrives after
    // the operator closed the dialog must not turn it into success.
    m_poller.RequestStop();
    if (!m_poller.Ended()) {
        // A "GQ" may be on its way: the dialog goes when the worker has
        // ended, so that the caller's next exchange starts with nothing of
        // this one outstanding.
        m_bClosing = true;
        m_nCloseResult = result;
        return;
    }
    m_bClosing = false;
    QDialog::done(result);
}

void CSetSubG_Wait::OnWorkerEnded() {
    if (!m_bClosing) return;
    m_bClosing = false;
    QDialog::done(m_nCloseResult);
}

void CSetSubG_Wait::keyPressEvent(QKeyEvent* event) {
    if (IsEnterKey(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CSetSubG_Wait::eventFilter(QObject* watched, QEvent* event) {
    if (IsEnterKey(event)) {
        event->accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
