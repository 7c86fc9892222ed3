// The GUI side of the settings file and of device error answers: the file
// dialogs (replaceable, so tests can answer them), save and load with their
// message boxes, and the presenter of "gi"/"sp" error answers.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>

// Asks for a settings file path; empty when the operator cancelled.
// save: the save dialog (asks before overwriting, proposes proposedName);
// otherwise the open dialog (the file must exist). Filter
// "KORVELT RZ setting files(*.krz)" / "All files (*.*)", default extension "krz".
using GroupFileDialogFn = std::function<QString(QWidget* owner, bool save, const QString& proposedName)>;

// Replaces the dialogs (tests); an empty function restores the real ones.
void SetGroupFileDialog(GroupFileDialogFn fn);

// GUI thread.
QString AskGroupFilePath(QWidget* owner, bool save, const QString& proposedName);

// Save theWirelessGroup to path / load path into it, showing the file's own
// message (owned by owner) on failure. A failed load leaves the record as it
// was. GUI thread or a worker.
bool SaveWirelessGroupFile(const QString& path, QWidget* owner);
bool LoadWirelessGroupFile(const QString& path, QWidget* owner);

// Installs the presenter of device error answers: a message box owned by
// owner that never blocks the link's receive thread; the link's
// m_nGroupWriteError keeps the code while the box is open and is 0 after.
void InstallErrorAnswerPresenter(QWidget* owner);
