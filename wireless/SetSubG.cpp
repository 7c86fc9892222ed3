#include "wireless/SetSubG.h"

#include "forms/CommonTexts.h"
#include "forms/UiThread.h"
#include "forms/WirelessTexts.h"
#include "link/DeviceLink.h"
#include "wireless/SetSubG_Wait.h"
#include "wireless/WirelessUi.h"

#include "ui_SetSubG.h"

#include <QRegularExpressionValidator>

struct CSetSubG::Ui : ::Ui::SetSubGForm {};

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string S(const QString& s) {
    return s.toStdString();
}

void Apply(const ControlState& state, std::initializer_list<QWidget*> widgets) {
    for (QWidget* w : widgets) {
        w->setVisible(state.visible);
        w->setEnabled(state.enabled);
    }
}

}  // namespace

CSetSubG::CSetSubG(QWidget* parent) : QWidget(parent), m_ui(std::make_unique<Ui>()) {
    m_ui->setupUi(this);
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    m_ui->edtChannel->setValidator(digits);
    m_ui->edtNode->setValidator(digits);
    m_ui->edtGroupPassword->setEchoMode(QLineEdit::Password);
    m_ui->edtEncryptionPassword->setEchoMode(QLineEdit::Password);

    // The rules follow the checked state however it changes (mouse, keys,
    // assistive technology); while SetFields fills the panel they wait for
    // its caller.
    connect(m_ui->chkMaster, &QCheckBox::toggled, this, [this] {
        if (!m_bFilling) ApplyVisibility();
    });
    for (QAbstractButton* b : {static_cast<QAbstractButton*>(m_ui->radParent),
                               static_cast<QAbstractButton*>(m_ui->radChildFile),
                               static_cast<QAbstractButton*>(m_ui->radChildManual),
                               static_cast<QAbstractButton*>(m_ui->chkEncryption)}) {
        connect(b, &QAbstractButton::toggled, this, [this] {
            if (!m_bFilling) ApplyRoleRule();
        });
    }
    connect(m_ui->btnOpenFile, &QPushButton::clicked, this, [this] { OpenSettingsFile(); });

    InitFromRecord();
}

CSetSubG::~CSetSubG() = default;

void CSetSubG::InitFromRecord() {
    m_ui->edtGroupNumber->setMaxLength(WG_GROUP_NUMBER_MAX);
    m_ui->edtGroupPassword->setMaxLength(WG_GROUP_PASSWORD_MAX);
    m_ui->edtChannel->setMaxLength(WG_CHANNEL_MAX);
    m_ui->edtEncryptionPassword->setMaxLength(WG_ENCRYPTION_PASSWORD_MAX);
    m_ui->edtNode->setMaxLength(WG_NODE_MAX);

    GroupPanelFields f = Fields();
    f.master = true;
    f.role = WG_ROLE_PARENT;
    // A fresh panel for every opening: nothing typed for an earlier device
    // (passwords above all) is carried over; the device never reports them.
    f.groupPassword.clear();
    f.encryptionPassword.clear();
    ShowRecordInFields(theWirelessGroup, &f);
    // A device that already belongs to a group is left alone unless asked.
    if (theWirelessGroup.groupNumber != GROUP_NONE) f.master = false;
    SetFields(f);
    ApplyVisibility();
    m_nPendingAction.store(WG_PENDING_NONE);
}

GroupPanelFields CSetSubG::Fields() const {
    GroupPanelFields f;
    f.master = m_ui->chkMaster->isChecked();
    f.role = m_ui->radChildFile->isChecked()     ? WG_ROLE_CHILD_FILE
             : m_ui->radChildManual->isChecked() ? WG_ROLE_CHILD_MANUAL
                                                 : WG_ROLE_PARENT;
    f.groupNumber = S(m_ui->edtGroupNumber->text());
    f.groupPassword = S(m_ui->edtGroupPassword->text());
    f.channel = S(m_ui->edtChannel->text());
    f.encryption = m_ui->chkEncryption->isChecked();
    f.encryptionPassword = S(m_ui->edtEncryptionPassword->text());
    f.mode = m_ui->radLong->isChecked() ? 2 : m_ui->radMedium->isChecked() ? 1 : 0;
    f.node = S(m_ui->edtNode->text());
    return f;
}

void CSetSubG::SetFields(const GroupPanelFields& f) {
    m_bFilling = true;
    m_ui->chkMaster->setChecked(f.master);
    (f.role == WG_ROLE_CHILD_FILE     ? m_ui->radChildFile
     : f.role == WG_ROLE_CHILD_MANUAL ? m_ui->radChildManual
                                      : m_ui->radParent)
        ->setChecked(true);
    m_ui->edtGroupNumber->setText(Q(f.groupNumber));
    m_ui->edtGroupPassword->setText(Q(f.groupPassword));
    m_ui->edtChannel->setText(Q(f.channel));
    m_ui->chkEncryption->setChecked(f.encryption);
    m_ui->edtEncryptionPassword->setText(Q(f.encryptionPassword));
    (f.mode == 2 ? m_ui->radLong : f.mode == 1 ? m_ui->radMedium : m_ui->radFast)->setChecked(true);
    m_ui->edtNode->setText(Q(f.node));
    m_bFilling = false;
}

void CSetSubG::ApplyLayout() {
    const GroupPanelFields f = Fields();
    const GroupPanelLayout l = ComputePanelLayout(f.master, f.role, f.encryption);
    Ui& u = *m_ui;
    Apply(l.roleButtons, {u.radParent, u.radChildFile, u.radChildManual});
    Apply(l.openButton, {u.btnOpenFile});
    Apply(l.groupNumber, {u.lblGroupNumber, u.edtGroupNumber});
    Apply(l.settings, {u.lblGroupPassword, u.edtGroupPassword, u.lblChannel, u.edtChannel, u.chkEncryption,
                       u.lblEncryptionPassword, u.lblMode, u.radFast, u.radMedium, u.radLong});
    Apply(l.encryptionPassword, {u.edtEncryptionPassword});
    Apply(l.node, {u.lblNode, u.edtNode});
    u.frameGroup->setVisible(l.frameVisible);
}

void CSetSubG::ApplyVisibility() {
    ApplyLayout();
    if (m_ui->chkMaster->isChecked()) ApplyRoleRule();
}

void CSetSubG::ApplyRoleRule() {
    if (!m_ui->chkMaster->isChecked()) return;
    ApplyLayout();
    const GroupPanelFields f = Fields();
    if (ShouldClearNodeField(f.role, f.node)) m_ui->edtNode->clear();
}

int CSetSubG::ValidateWirelessGroup() {
    GroupPanelFields fields;
    RunOnGuiBlocking([this, &fields] { fields = Fields(); });
    if (!fields.master) {
        // Nothing prepared by an earlier attempt may drive the completion
        // of a write that does not touch the group.
        m_nPendingAction.store(WG_PENDING_NONE);
        return WG_NOT_REQUESTED;
    }
    const GroupValidation v = ValidateGroupFields(fields, &theWirelessGroup);
    if (v.result < 0) {
        ShowMessage(this, Q(v.message));
        return WG_INVALID;
    }
    m_nPendingAction.store(v.pendingAction);
    return WG_VALID;
}

int CSetSubG::WriteWirelessGroup() {
    const int r = SendWirelessGroupWrite();
    const int err = theLink.m_nError.load();
    // A send refused after a stop request is no communication error.
    if (r == GW_SEND_FAILED && !IsEndedOnPurpose(err)) ShowMessage(this, FormatText(MSG_COMM_ERROR_CODE, err));
    return r == GW_OK ? 0 : -1;
}

bool CSetSubG::FinishWirelessGroupChange() {
    switch (DecideCompletion(m_nPendingAction.load())) {
    case CompletionStep::Message:
        ShowMessage(this, QString::fromUtf8(MSG_WG_CHANGED));
        return true;
    case CompletionStep::SaveFile: {
        ShowMessage(this, QString::fromUtf8(MSG_WG_PARENT_CHANGED));
        const QString path = AskGroupFilePath(this, true, Q(DefaultGroupFileName(theWirelessGroup.groupNumber)));
        if (!path.isEmpty()) SaveWirelessGroupFile(path, this);  // reports its own errors
        return true;
    }
    case CompletionStep::RegistrationWait: {
        CSetSubG_Wait wait(this);
        wait.exec();
        return wait.Succeeded();
    }
    }
    return false;
}

void CSetSubG::OpenSettingsFile() {
    const QString path = AskGroupFilePath(this, false, {});
    if (path.isEmpty()) return;
    if (!LoadWirelessGroupFile(path, this)) return;  // record and fields untouched
    GroupPanelFields f = Fields();
    ShowLoadedRecordInFields(theWirelessGroup, &f);
    SetFields(f);
    ApplyRoleRule();
    ShowMessage(this, QString::fromUtf8(MSG_WG_FILE_APPLIED));
}
