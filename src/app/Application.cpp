#include "app/Application.h"

#include "app/Appearance.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tonvola {

void setupApplication(QApplication &app)
{
    QApplication::setApplicationName(QStringLiteral("Tonvola"));
    QApplication::setApplicationVersion(QStringLiteral(TONVOLA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tonvola"));
    appearance::initResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tonvola/tonvola.svg")));

    // The program speaks German whatever the desktop's language, so Qt's own buttons must too.
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    auto *translator = new QTranslator(&app);
    if (translator->load(german, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

} // namespace tonvola
