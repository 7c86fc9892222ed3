#include "app/AppStart.h"

#include "link/DeviceLink.h"
#include "link/Trace.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QStringList>

#include <cerrno>
#include <cstring>

void InstallFormFont() {
    const QStringList candidates = {QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                                    QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic"),
                                    QStringLiteral("TakaoGothic"), QStringLiteral("MS Gothic")};
    const QStringList families = QFontDatabase::families();
    QStringList present;
    for (const QString& family : candidates)
        if (families.contains(family)) present << family;
    if (!present.isEmpty()) {
        QFont::insertSubstitutions(QStringLiteral("MS UI Gothic"), present);
        QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), present);
    }
    // Every window of the program uses the form font, not only the main one.
    QApplication::setFont(QFont(QStringLiteral("MS UI Gothic"), 9));
}

QIcon AppIcon() {
    // The resource lives in a static library: register it once before use.
    static const bool registered = [] {
        Q_INIT_RESOURCE(rzset);
        return true;
    }();
    (void)registered;
    QIcon icon;
    icon.addFile(QStringLiteral(":/rzset/rzset-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/rzset/rzset-32.png"), QSize(32, 32));
    return icon;
}

CTraceFile::CTraceFile(const QStringList& arguments) {
    const int at = arguments.indexOf(QStringLiteral("--trace"));
    if (at < 0) return;
    if (at + 1 >= arguments.size()) {
        std::fprintf(stderr, "rzset: --trace needs a file\n");
        m_bFailed = true;
        return;
    }
    const QByteArray path = arguments[at + 1].toLocal8Bit();
    m_file = std::fopen(path.constData(), "w");
    if (!m_file) {
        std::fprintf(stderr, "rzset: cannot write the trace to %s: %s\n", path.constData(), std::strerror(errno));
        m_bFailed = true;
        return;
    }
    StartTrace(m_file);
}

CTraceFile::~CTraceFile() {
    if (!m_file) return;
    theLink.Close();
    StopTrace();
    std::fclose(m_file);
}
