#include "app/CommandLine.h"

#include "config/Settings.h"
#include "mix/MixEngine.h"
#include "platform/Process.h"
#include "text/CommandLineText.h"
#include "text/MixText.h"

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
#include <optional>

namespace tonvola::cli {

namespace {

enum class WindowOptionsHelp { Hidden, Shown };

void describe(QCommandLineParser &parser, WindowOptionsHelp windowHelp = WindowOptionsHelp::Hidden)
{
    // Qt's window options are words after a single dash (-platform, -style).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(clitext::description());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions(clitext::fillOptions());
    // Only --help-all lists the window's options.
    for (QCommandLineOption &option : clitext::windowOptions()) {
        if (windowHelp == WindowOptionsHelp::Hidden)
            option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    parser.addPositionalArgument(QStringLiteral("SOURCE"), clitext::sourceArgument());
    parser.addPositionalArgument(QStringLiteral("PLAYER"), clitext::playerArgument());
}

bool isWindowOption(const QString &name)
{
    const QList<QCommandLineOption> options = clitext::windowOptions();
    return std::any_of(options.begin(), options.end(),
                       [&](const QCommandLineOption &option) { return option.names().constFirst() == name; });
}

// The first window option among the ones given, or an empty text.
QString windowOptionIn(const QCommandLineParser &parser)
{
    for (const QCommandLineOption &option : clitext::windowOptions()) {
        if (parser.isSet(option.names().constFirst()))
            return option.names().constFirst();
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
        m_out << mixtext::line(step) << '\n';
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
        m_out << '\r' << mixtext::flushing() << "\x1b[K";
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

int refuse(QTextStream &err, const QString &problem)
{
    err << clitext::wrongUse(problem);
    return Usage;
}

// What the parser could not read: Qt's own words, or the option it does not know as it was typed.
QString parseProblem(const QCommandLineParser &parser, const QStringList &arguments)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty())
        return parser.errorText();
    return clitext::unknownOption(asTyped(arguments, unknown.first()));
}

// The help and the version, which are told at once; nothing where neither is asked for.
std::optional<int> answerAtOnce(const QCommandLineParser &parser, QTextStream &out)
{
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        QCommandLineParser help;
        describe(help, parser.isSet(QStringLiteral("help-all")) ? WindowOptionsHelp::Shown : WindowOptionsHelp::Hidden);
        // Qt's own first line knows one form of use only.
        out << clitext::usage() << help.helpText().section(QLatin1Char('\n'), 1);
        return Success;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << "Tonvola " << QStringLiteral(TONVOLA_VERSION) << '\n';
        return Success;
    }
    return std::nullopt;
}

// Why the arguments name no fill that could run; empty where they do.
QString fillUseProblem(const QCommandLineParser &parser, const QStringList &arguments)
{
    const QStringList folders = parser.positionalArguments();
    if (!parser.isSet(QStringLiteral("fill"))) {
        const QStringList fillOnly{QStringLiteral("seed"),          QStringLiteral("dry-run"),
                                   QStringLiteral("exchange"),      QStringLiteral("subfolders"),
                                   QStringLiteral("no-subfolders"), QStringLiteral("quiet")};
        if (std::any_of(fillOnly.begin(), fillOnly.end(), [&](const QString &name) { return parser.isSet(name); }))
            return clitext::onlyWithFill();
        if (!folders.isEmpty())
            return clitext::unexpectedArgument(folders.first());
        return clitext::nothingToDo();
    }
    if (const QString window = windowOptionIn(parser); !window.isEmpty())
        return clitext::windowOnly(asTyped(arguments, window));
    if (folders.size() != 2)
        return clitext::twoFolders();
    return {};
}

// The fill's options from the arguments, and from the settings where the arguments say nothing;
// the problem where a value is wrong.
QString readFillOptions(const QCommandLineParser &parser, MixOptions &options)
{
    const QStringList folders = parser.positionalArguments();
    options.source = folders[0];
    options.player = folders[1];
    options.dryRun = parser.isSet(QStringLiteral("dry-run"));
    options.exchangePercent = settings::exchangePercent(defaultExchangePercent);
    if (parser.isSet(QStringLiteral("exchange"))) {
        const QString percent = parser.value(QStringLiteral("exchange"));
        bool ok = false;
        options.exchangePercent = percent.toInt(&ok);
        if (!ok || options.exchangePercent < 0 || options.exchangePercent > 100)
            return clitext::notAPercent(percent);
    }
    if (parser.isSet(QStringLiteral("subfolders")) && parser.isSet(QStringLiteral("no-subfolders")))
        return clitext::subfoldersOrNot();
    options.subfolders = parser.isSet(QStringLiteral("subfolders"))
                         || (!parser.isSet(QStringLiteral("no-subfolders")) && settings::subfolders());
    if (parser.isSet(QStringLiteral("seed"))) {
        const QString seed = parser.value(QStringLiteral("seed"));
        bool ok = false;
        options.seed = seed.toULongLong(&ok);
        if (!ok)
            return clitext::notASeed(seed);
    }
    return {};
}

// Runs the fill, one line per step, and tells how it ended. Returns the exit code.
int fill(const MixOptions &options, bool quiet, QTextStream &out, QTextStream &err, bool progressOnTerminal)
{
    StepPrinter printer(out, quiet, progressOnTerminal);
    MixEngine engine(options, &printer);
    const MixResult result = engine.run();
    printer.clearProgress();

    if (!result.walked()) {
        err << mixtext::problem(result) << '\n';
        // The window's message alone; a terminal can say why.
        if (result.status == MixResult::Status::SameFolder)
            err << mixtext::sameFolder(options.source, options.player) << '\n';
        return Failure;
    }
    out << mixtext::summary(result) << '\n';
    if (!quiet) {
        out << clitext::seedLine(result.seed) << '\n';
        if (result.dryRun)
            out << clitext::dryRunChangedNothing() << '\n';
    }
    if (result.status == MixResult::Status::Failed) {
        err << mixtext::problem(result) << '\n';
        return Failure;
    }
    return result.status == MixResult::Status::Cancelled ? Cancelled : Success;
}

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
    return std::all_of(given.begin(), given.end(), isWindowOption);
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err, const std::atomic_bool *cancel,
        bool progressOnTerminal)
{
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments))
        return refuse(err, parseProblem(parser, arguments));
    if (const std::optional<int> answered = answerAtOnce(parser, out))
        return *answered;
    if (const QString problem = fillUseProblem(parser, arguments); !problem.isEmpty())
        return refuse(err, problem);
    MixOptions options;
    options.cancel = cancel;
    if (const QString problem = readFillOptions(parser, options); !problem.isEmpty())
        return refuse(err, problem);
    return fill(options, parser.isSet(QStringLiteral("quiet")), out, err, progressOnTerminal);
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
