#include "app/Application.h"

#include "text/CommandLineText.h"
#include "widgets/Appearance.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTextStream>
#include <QTranslator>

#include <cstdlib>

namespace tonvola {

namespace {

QtMessageHandler qtHandler = nullptr;

// Qt's reasons for not opening a window, held back until it is clear whether one opens.
QList<std::pair<QtMsgType, QString>> &platformMessages()
{
    static QList<std::pair<QtMsgType, QString>> messages;
    return messages;
}

void whileStarting(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        if (QLatin1String(context.category).startsWith(QLatin1String("qt.qpa")))
            platformMessages().append({type, message});
        else
            qtHandler(type, context, message);
        return;
    }
    QTextStream err(stderr);
    err << clitext::noGraphicalSession();
    // Qt's own lines ("could not connect to display", the plugins it tried) only repeat that in
    // English; who looks into why a session does not answer asks Qt for them.
    if (qEnvironmentVariableIsSet("QT_DEBUG_PLUGINS")) {
        for (const auto &[kind, reason] : platformMessages())
            err << "Qt: " << reason << '\n';
        if (platformMessages().isEmpty())
            err << "Qt: " << message.section(QLatin1Char('\n'), 0, 0) << '\n';
    } else {
        err << clitext::howToSeeQtsReasons();
    }
    err.flush();
    std::_Exit(1);
}

} // namespace

void exitWhenNoWindowCanOpen()
{
    qtHandler = qInstallMessageHandler(whileStarting);
}

void setupApplication(QApplication &app)
{
    if (qtHandler) {
        qInstallMessageHandler(qtHandler);
        for (const auto &[kind, reason] : std::as_const(platformMessages()))
            qtHandler(kind, QMessageLogContext(nullptr, 0, nullptr, "qt.qpa"), reason);
        platformMessages().clear();
    }
    QApplication::setApplicationName(QStringLiteral("Tonvola"));
    QApplication::setApplicationVersion(QStringLiteral(TONVOLA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(TONVOLA_ID));
    appearance::initResources();

    // The program speaks German whatever the desktop's language, so Qt's own buttons must too.
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    auto *translator = new QTranslator(&app);
    if (translator->load(german, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
}

} // namespace tonvola
