#include "dialog/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tamboro {

bool TranslateQtTexts(QCoreApplication& app, const QLocale& locale, const QString& folder)
{
    auto* translator = new QTranslator(&app);
    // qtbase_<language>.qm for the locale's languages in turn (ja_JP, ja, …).
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

QString QtTranslationsFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

}  // namespace tamboro
