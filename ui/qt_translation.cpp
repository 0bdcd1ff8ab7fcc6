#include "ui/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

bool LoadQtKoreanTranslation(QTranslator& translator) {
    const QLocale korean(QLocale::Korean, QLocale::SouthKorea);
    const QStringList folders = {
        QLibraryInfo::path(QLibraryInfo::TranslationsPath),
        QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    for (const QString& folder : folders) {
        for (const QString& catalog : {QStringLiteral("qt"), QStringLiteral("qtbase")}) {
            if (translator.load(korean, catalog, QStringLiteral("_"), folder)) {
                return true;
            }
        }
    }
    return false;
}
