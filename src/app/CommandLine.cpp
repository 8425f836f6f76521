#include "app/CommandLine.h"

#include "mix/MixEngine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTextStream>
#include <QTranslator>

#include <csignal>
#include <cstdio>

namespace tonvola::cli {

namespace {

const QStringList &ownOptions()
{
    static const QStringList options = {
        QStringLiteral("--fill"),     QStringLiteral("--seed"), QStringLiteral("--dry-run"),
        QStringLiteral("-h"),         QStringLiteral("--help"), QStringLiteral("-?"),
        QStringLiteral("--help-all"), QStringLiteral("-v"),     QStringLiteral("--version"),
    };
    return options;
}

// Prints each step as it happens, so a long run shows its progress in a terminal too.
class StepPrinter : public MixObserver
{
public:
    explicit StepPrinter(QTextStream &out) : m_out(out) {}

    void acted(const MixStep &step) override { m_out << step.line() << '\n'; }
    // A slow stick takes a while here; the terminal says why nothing seems to happen.
    void flushing() override
    {
        m_out << "Daten werden auf den Player geschrieben …\n";
        m_out.flush();
    }

private:
    QTextStream &m_out;
};

std::atomic_bool interrupted = false;

void onInterrupt(int)
{
    interrupted.store(true);
}

} // namespace

bool wanted(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const QString option = argument.section(QLatin1Char('='), 0, 0);
        if (ownOptions().contains(option))
            return true;
    }
    return false;
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err, const std::atomic_bool *cancel)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Füllt den Ordner eines MP3-Players mit zufällig gewählten MP3-Dateien aus dem StammVerzeichnis.\n"
        "Ohne Argumente öffnet Tonvola sein Fenster."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption fillOption(QStringLiteral("fill"),
                                        QStringLiteral("Füllt PLAYER aus SOURCE, ohne Fenster."));
    const QCommandLineOption seedOption(QStringLiteral("seed"),
                                        QStringLiteral("Startwert des Zufalls; derselbe Wert wiederholt einen Lauf."),
                                        QStringLiteral("N"));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"),
                                          QStringLiteral("Zeigt nur, was ein Lauf täte; ändert keine Datei."));
    parser.addOptions({fillOption, seedOption, dryRunOption});
    parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Das StammVerzeichnis (die Sammlung)."));
    parser.addPositionalArgument(QStringLiteral("PLAYER"), QStringLiteral("Das Mp3 Player Verzeichnis."));

    if (!parser.parse(arguments)) {
        err << parser.errorText() << '\n';
        return Usage;
    }
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        out << parser.helpText();
        return Success;
    }
    if (parser.isSet(versionOption)) {
        out << "Tonvola " << QStringLiteral(TONVOLA_VERSION) << '\n';
        return Success;
    }
    if (!parser.isSet(fillOption)) {
        err << "--seed und --dry-run gelten nur zusammen mit --fill.\n";
        return Usage;
    }
    const QStringList folders = parser.positionalArguments();
    if (folders.size() != 2) {
        err << "--fill braucht genau zwei Verzeichnisse: SOURCE PLAYER.\n";
        return Usage;
    }

    MixOptions options;
    options.source = folders[0];
    options.player = folders[1];
    options.dryRun = parser.isSet(dryRunOption);
    options.cancel = cancel;
    if (parser.isSet(seedOption)) {
        bool ok = false;
        options.seed = parser.value(seedOption).toULongLong(&ok);
        if (!ok) {
            err << "--seed braucht eine ganze Zahl ab 0, nicht \"" << parser.value(seedOption) << "\".\n";
            return Usage;
        }
    }

    StepPrinter printer(out);
    MixEngine engine(options, &printer);
    const MixResult result = engine.run();

    if (!result.walked()) {
        err << result.problem() << '\n';
        return Failure;
    }
    out << result.summary() << '\n';
    out << "Startwert: " << result.seed;
    if (result.sourceCount > 0)
        out << ", Beginn bei Eintrag " << result.start + 1 << " von " << result.sourceCount;
    out << '\n';
    if (result.dryRun)
        out << "Probelauf: keine Datei wurde verändert.\n";
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
    const int code = run(arguments, out, err, &interrupted);
    out.flush();
    err.flush();
    return code;
}

} // namespace tonvola::cli
