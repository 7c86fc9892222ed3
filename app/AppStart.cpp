#include "app/AppStart.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>

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
