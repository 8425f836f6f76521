#include "app/CommandLine.h"

#include "config/Settings.h"
#include "mix/MixEngine.h"
#include "mix/MixText.h"
#include "platform/Process.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QLocale>
#include <QTextStream>
#include <QTranslator>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace tonvola::cli {

namespace {

// Qt's own options for the window (QGuiApplication's and QApplication's); the window program
// gets them as they were given.
// Only --help-all lists them.
struct WindowOption {
    const char *name;
    const char *value; // nullptr for an option without one
    const char *description;
};
constexpr WindowOption windowOptions[] = {
    {"platform", "NAME", "Plattform-Plugin von Qt, etwa xcb, wayland oder offscreen."},
    {"platformpluginpath", "ORDNER", "Ordner, in dem Qt nach Plattform-Plugins sucht."},
    {"platformtheme", "NAME", "Plattform-Design von Qt, etwa gtk3."},
    {"plugin", "NAME", "Lädt ein weiteres Qt-Plugin, etwa für Eingabegeräte."},
    {"qwindowgeometry", "BxH+X+Y", "Größe und Lage des Hauptfensters, etwa 640x480+10+10."},
    {"qwindowicon", "DATEI", "Symbol der Fenster."},
    {"qwindowtitle", "TITEL", "Titel des Hauptfensters."},
    {"session", "ID", "Stellt eine Sitzung der Sitzungsverwaltung wieder her."},
    {"display", "ANZEIGE", "X11-Anzeige, auf der die Fenster erscheinen, etwa :0."},
    {"geometry", "BxH+X+Y", "Wie -qwindowgeometry."},
    {"style", "STIL", "Qt-Stil der Fenster, etwa Fusion."},
    {"stylesheet", "DATEI", "Qt-Stylesheet für die Fenster."},
    {"qmljsdebugger", "WERT", "Schaltet den QML-Debugger ein (für Entwickler)."},
    {"reverse", nullptr, "Ordnet die Fenster von rechts nach links an."},
    {"widgetcount", nullptr, "Meldet am Ende, wie viele Widgets noch bestanden (für Entwickler)."},
    {"nograb", nullptr, "Maus und Tastatur werden nie allein belegt."},
    {"dograb", nullptr, "Belegt Maus und Tastatur auch unter einem Debugger."},
};

constexpr char usageLines[] = "Aufruf: tonvola [Qt-Fensteroptionen]\n"
                              "        tonvola --fill [--seed N] [--dry-run] [--exchange PROZENT] [--quiet] SOURCE "
                              "PLAYER\n";

enum class WindowOptionsHelp { Hidden, Shown };

void describe(QCommandLineParser &parser, WindowOptionsHelp windowHelp = WindowOptionsHelp::Hidden)
{
    // Qt's window options are words after a single dash (-platform, -style).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Füllt den Ordner eines MP3-Players mit zufällig gewählten MP3-Dateien aus dem StammVerzeichnis.\n"
        "Ohne --fill öffnet Tonvola sein Fenster; das nimmt auch die Fensteroptionen von Qt an\n"
        "(etwa -platform, -style, -display, -geometry, -reverse)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("fill"), QStringLiteral("Füllt PLAYER aus SOURCE, ohne Fenster.")},
        {QStringLiteral("seed"), QStringLiteral("Startwert des Zufalls; derselbe Wert wiederholt einen Lauf."),
         QStringLiteral("N")},
        {QStringLiteral("dry-run"), QStringLiteral("Zeigt nur, was ein Lauf täte; ändert keine Datei.")},
        {QStringLiteral("exchange"),
         QStringLiteral("Anteil der Musik auf dem Player nach Größe, in Prozent, den ein Lauf gegen neue "
                        "Dateien tauscht (0 bis 100; 0 füllt nur freien Platz; sonst die Einstellung des "
                        "Fensters, anfangs 50)."),
         QStringLiteral("PROZENT")},
        {QStringLiteral("subfolders"),
         QStringLiteral("Nimmt auch die MP3-Dateien der Unterordner von SOURCE (sonst die Einstellung des "
                        "Fensters, anfangs aus).")},
        {QStringLiteral("no-subfolders"),
         QStringLiteral("Nimmt nur die eigenen MP3-Dateien von SOURCE, was auch das Fenster gewählt hat.")},
        {{QStringLiteral("q"), QStringLiteral("quiet")},
         QStringLiteral("Nennt nur Fehler und die Zusammenfassung, keine Datei einzeln.")},
    });
    for (const WindowOption &window : windowOptions) {
        QCommandLineOption option(QString::fromLatin1(window.name), QString::fromUtf8(window.description));
        if (window.value)
            option.setValueName(QString::fromLatin1(window.value));
        if (windowHelp == WindowOptionsHelp::Hidden)
            option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Das StammVerzeichnis (die Sammlung)."));
    parser.addPositionalArgument(QStringLiteral("PLAYER"), QStringLiteral("Das Mp3 Player Verzeichnis."));
}

// The first window option among the ones given, or an empty text.
QString windowOptionIn(const QCommandLineParser &parser)
{
    for (const WindowOption &window : windowOptions) {
        if (parser.isSet(QString::fromLatin1(window.name)))
            return QString::fromLatin1(window.name);
    }
    return {};
}

// An option as the user typed it, found by the name the parser reports.
QString asTyped(const QStringList &arguments, const QString &name)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        qsizetype dashes = 0;
        while (dashes < argument.size() && argument[dashes] == QLatin1Char('-'))
            ++dashes;
        if (dashes > 0 && argument.mid(dashes).section(QLatin1Char('='), 0, 0) == name)
            return argument.section(QLatin1Char('='), 0, 0);
    }
    return name;
}

// Prints each step as it happens, so a long run shows its progress in a terminal too.
class StepPrinter : public MixObserver
{
public:
    StepPrinter(QTextStream &out, bool quiet, bool showProgress)
        : m_out(out), m_quiet(quiet), m_showProgress(showProgress && !quiet)
    {
        m_since.start();
    }

    void acted(const MixStep &step) override
    {
        if (m_quiet)
            return;
        clearProgress();
        m_out << step.line() << '\n';
    }
    void transferring(const MixTransfer &transfer) override
    {
        if (!m_showProgress)
            return;
        if (!m_clock.isValid())
            m_clock.start();
        // A few times a second is enough for the eye and costs the copying nothing.
        constexpr qint64 intervalMs = 200;
        if (m_shown && m_clock.elapsed() - m_shownAt < intervalMs)
            return;
        m_shownAt = m_clock.elapsed();
        QString text = mixtext::progress(transfer, m_clock.elapsed());
        constexpr qsizetype width = 79;
        if (text.size() > width)
            text = text.left(width - 1) + QChar(u'…');
        m_out << '\r' << text << "\x1b[K";
        m_out.flush();
        m_shown = true;
    }
    // Said on the terminal only once it takes a while, as the flush below: no step of the run.
    void preparing(const MixPreparing &preparing) override
    {
        constexpr qint64 quietMs = 500;
        constexpr qint64 intervalMs = 200;
        const qint64 now = m_since.elapsed();
        if (!m_showProgress || now < quietMs || (m_shown && now - m_preparedAt < intervalMs))
            return;
        m_preparedAt = now;
        m_out << '\r' << mixtext::preparing(preparing) << "\x1b[K";
        m_out.flush();
        m_shown = true;
    }
    // Said on the terminal only, as the flush below: the wait is no step of the run.
    void waiting(qsizetype files) override
    {
        if (!m_showProgress)
            return;
        m_out << '\r' << mixtext::waiting(files) << "\x1b[K";
        m_out.flush();
        m_shown = true;
    }
    // A slow stick takes a while here; the terminal says why nothing seems to happen. It is no
    // step of the run, so scripts do not read it.
    void flushing() override
    {
        if (!m_showProgress)
            return;
        m_out << "\rDaten werden auf den Player geschrieben …\x1b[K";
        m_out.flush();
        m_shown = true;
    }
    void clearProgress()
    {
        if (!m_shown)
            return;
        m_out << "\r\x1b[K";
        m_shown = false;
    }

private:
    QTextStream &m_out;
    bool m_quiet;
    bool m_showProgress;
    bool m_shown = false;
    QElapsedTimer m_clock;
    QElapsedTimer m_since;
    qint64 m_preparedAt = 0;
    qint64 m_shownAt = 0;
};

std::atomic_bool interrupted = false;

void onInterrupt(int)
{
    interrupted.store(true);
}

} // namespace

bool wantsWindow(const QStringList &arguments)
{
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty())
        return false;
    const QStringList given = parser.optionNames();
    return std::all_of(given.begin(), given.end(), [&](const QString &name) {
        return std::any_of(std::begin(windowOptions), std::end(windowOptions),
                           [&](const WindowOption &window) { return name == QLatin1String(window.name); });
    });
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err, const std::atomic_bool *cancel,
        bool progressOnTerminal)
{
    QCommandLineParser parser;
    describe(parser);
    const auto wrongUse = [&err](const QString &problem) {
        err << problem << '\n' << usageLines << "Mehr dazu: tonvola --help\n";
        return Usage;
    };

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty())
            return wrongUse(parser.errorText());
        return wrongUse(
            QStringLiteral("Unbekannte Option: %1").arg(fs::printableName(asTyped(arguments, unknown.first()))));
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        QCommandLineParser help;
        describe(help, parser.isSet(QStringLiteral("help-all")) ? WindowOptionsHelp::Shown : WindowOptionsHelp::Hidden);
        // Qt's own first line knows one form of use only.
        out << usageLines << help.helpText().section(QLatin1Char('\n'), 1);
        return Success;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << "Tonvola " << QStringLiteral(TONVOLA_VERSION) << '\n';
        return Success;
    }
    const QStringList folders = parser.positionalArguments();
    if (!parser.isSet(QStringLiteral("fill"))) {
        if (parser.isSet(QStringLiteral("seed")) || parser.isSet(QStringLiteral("dry-run"))
            || parser.isSet(QStringLiteral("exchange")) || parser.isSet(QStringLiteral("subfolders"))
            || parser.isSet(QStringLiteral("no-subfolders")) || parser.isSet(QStringLiteral("quiet")))
            return wrongUse(QStringLiteral("--seed, --dry-run, --exchange, --subfolders, --no-subfolders und --quiet "
                                           "gelten nur zusammen mit --fill."));
        if (!folders.isEmpty())
            return wrongUse(QStringLiteral("Unerwartetes Argument: %1 (Verzeichnisse nur zusammen mit --fill)")
                                .arg(fs::printableName(folders.first())));
        return wrongUse(QStringLiteral("Ohne --fill gibt es auf der Kommandozeile nichts zu tun."));
    }
    if (const QString window = windowOptionIn(parser); !window.isEmpty())
        return wrongUse(QStringLiteral("Die Option %1 gilt nur für das Fenster, nicht für --fill.")
                            .arg(asTyped(arguments, window)));
    if (folders.size() != 2)
        return wrongUse(QStringLiteral("--fill braucht genau zwei Verzeichnisse: SOURCE PLAYER."));

    MixOptions options;
    options.source = folders[0];
    options.player = folders[1];
    options.dryRun = parser.isSet(QStringLiteral("dry-run"));
    options.cancel = cancel;
    options.exchangePercent = settings::exchangePercent(defaultExchangePercent);
    if (parser.isSet(QStringLiteral("exchange"))) {
        const QString percent = parser.value(QStringLiteral("exchange"));
        bool ok = false;
        options.exchangePercent = percent.toInt(&ok);
        if (!ok || options.exchangePercent < 0 || options.exchangePercent > 100)
            return wrongUse(QStringLiteral("--exchange braucht eine ganze Zahl von 0 bis 100, nicht \"%1\".")
                                .arg(fs::printableName(percent)));
    }
    if (parser.isSet(QStringLiteral("subfolders")) && parser.isSet(QStringLiteral("no-subfolders")))
        return wrongUse(QStringLiteral("--subfolders und --no-subfolders schließen einander aus."));
    options.subfolders = parser.isSet(QStringLiteral("subfolders"))
                         || (!parser.isSet(QStringLiteral("no-subfolders")) && settings::subfolders());
    if (parser.isSet(QStringLiteral("seed"))) {
        const QString seed = parser.value(QStringLiteral("seed"));
        bool ok = false;
        options.seed = seed.toULongLong(&ok);
        if (!ok)
            return wrongUse(
                QStringLiteral("--seed braucht eine ganze Zahl ab 0, nicht \"%1\".").arg(fs::printableName(seed)));
    }

    const bool quiet = parser.isSet(QStringLiteral("quiet"));
    StepPrinter printer(out, quiet, progressOnTerminal);
    MixEngine engine(options, &printer);
    const MixResult result = engine.run();
    printer.clearProgress();

    if (!result.walked()) {
        err << result.problem() << '\n';
        // The window's message alone; a terminal can say why.
        if (result.status == MixResult::Status::SameFolder)
            err << mixtext::sameFolder(options.source, options.player) << '\n';
        return Failure;
    }
    out << result.summary() << '\n';
    if (!quiet) {
        out << "Startwert: " << result.seed << '\n';
        if (result.dryRun)
            out << "Probelauf: keine Datei wurde verändert.\n";
    }
    if (result.status == MixResult::Status::Failed) {
        err << result.problem() << '\n';
        return Failure;
    }
    return result.status == MixResult::Status::Cancelled ? Cancelled : Success;
}

int runOnConsole(const QStringList &arguments)
{
    QCoreApplication::setApplicationName(QStringLiteral("tonvola"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TONVOLA_VERSION));
    QTranslator translator;
    if (translator.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const int code = run(arguments, out, err, &interrupted, fs::process::standardOutputIsTerminal());
    out.flush();
    err.flush();
    return code;
}

} // namespace tonvola::cli
