#include "wireless/WirelessUi.h"

#include "forms/UiThread.h"
#include "forms/WirelessTexts.h"
#include "link/ErrorAnswer.h"
#include "wireless/GroupFile.h"

#include <QFile>
#include <QFileDialog>
#include <QPointer>

#include <mutex>

namespace {

std::mutex g_dialogMutex;
GroupFileDialogFn g_dialog;

QString RealFileDialog(QWidget* owner, bool save, const QString& proposedName) {
    QFileDialog dlg(owner);
    dlg.setNameFilters({QString::fromUtf8(TXT_WG_FILE_FILTER_NAME), QString::fromUtf8(TXT_WG_FILE_FILTER_ALL)});
    dlg.setDefaultSuffix(QString::fromUtf8(TXT_WG_FILE_EXTENSION));
    if (save) {
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (!proposedName.isEmpty()) dlg.selectFile(proposedName);
    } else {
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFile);
    }
    if (dlg.exec() != QDialog::Accepted) return {};
    const QStringList files = dlg.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

void SetGroupFileDialog(GroupFileDialogFn fn) {
    std::lock_guard<std::mutex> lock(g_dialogMutex);
    g_dialog = std::move(fn);
}

QString AskGroupFilePath(QWidget* owner, bool save, const QString& proposedName) {
    GroupFileDialogFn fn;
    {
        std::lock_guard<std::mutex> lock(g_dialogMutex);
        fn = g_dialog;
    }
    return fn ? fn(owner, save, proposedName) : RealFileDialog(owner, save, proposedName);
}

bool SaveWirelessGroupFile(const QString& path, QWidget* owner) {
    const GroupFileResult r = SaveWirelessGroupFile(LocalPath(path), theWirelessGroup);
    if (!r.ok) ShowMessage(owner, QString::fromStdString(r.message));
    return r.ok;
}

bool LoadWirelessGroupFile(const QString& path, QWidget* owner) {
    WirelessGroupRecord rec;
    const GroupFileResult r = LoadWirelessGroupFile(LocalPath(path), &rec);
    if (!r.ok) {
        ShowMessage(owner, QString::fromStdString(r.message));
        return false;
    }
    theWirelessGroup = rec;
    return true;
}

void InstallErrorAnswerPresenter(QWidget* owner) {
    QPointer<QWidget> guard(owner);
    SetErrorAnswerPresenter([guard](const std::string& text, std::function<void()> closed) {
        PostMessageBox(guard.data(), QString::fromStdString(text), std::move(closed));
    });
}
