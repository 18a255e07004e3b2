#include "uilanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace velmar
{

bool installJapaneseQtTexts(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    // qtbase covers every widget and dialog the program uses.
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    if (!translator->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"), dir)) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace velmar
