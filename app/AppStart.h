// Application-wide set-up shared by the program and the window tests.
#pragma once

#include <cstdio>

class QApplication;
class QIcon;
#include <QStringList>

// Maps the form font "MS UI Gothic" to an installed Japanese font, so that
// every text renders with real glyphs.
void InstallFormFont();

// The application icon ("RZ" on blue) in 16 x 16 and 32 x 32.
QIcon AppIcon();

// "--trace FILE" on the command line: every frame the link sends and
// receives is written to FILE (created or emptied) while this object lives.
// Without the option it does nothing.
class CTraceFile {
public:
    explicit CTraceFile(const QStringList& arguments);
    // Stops the trace and closes the file (the link is closed first, so no
    // frame is traced into a closed file).
    ~CTraceFile();
    CTraceFile(const CTraceFile&) = delete;
    CTraceFile& operator=(const CTraceFile&) = delete;

    // The option was given without a file, or the file cannot be written;
    // the reason went to stderr.
    bool Failed() const { return m_bFailed; }

private:
    std::FILE* m_file = nullptr;
    bool m_bFailed = false;
};
