#include "text/CommandLineText.h"

#include "platform/FileName.h"
#include "text/FileText.h"

#include <QDir>

namespace tonvola::clitext {

namespace {

struct WindowOption {
    const char *name;
    const char *value; // nullptr for an option without one
    const char *description;
};
constexpr WindowOption windowOptionTexts[] = {
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

} // namespace

QList<QCommandLineOption> fillOptions()
{
    return {
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
    };
}

QList<QCommandLineOption> windowOptions()
{
    QList<QCommandLineOption> options;
    for (const WindowOption &window : windowOptionTexts) {
        QCommandLineOption option(QString::fromLatin1(window.name), QString::fromUtf8(window.description));
        if (window.value)
            option.setValueName(QString::fromLatin1(window.value));
        options.append(option);
    }
    return options;
}

QString description()
{
    return QStringLiteral(
        "Füllt den Ordner eines MP3-Players mit zufällig gewählten MP3-Dateien aus dem StammVerzeichnis.\n"
        "Ohne --fill öffnet Tonvola sein Fenster; das nimmt auch die Fensteroptionen von Qt an\n"
        "(etwa -platform, -style, -display, -geometry, -reverse).");
}

QString sourceArgument()
{
    return QStringLiteral("Das StammVerzeichnis (die Sammlung).");
}

QString playerArgument()
{
    return QStringLiteral("Das Mp3 Player Verzeichnis.");
}

QString usage()
{
    return QStringLiteral("Aufruf: tonvola [Qt-Fensteroptionen]\n"
                          "        tonvola --fill [--seed N] [--dry-run] [--exchange PROZENT] [--quiet] SOURCE "
                          "PLAYER\n");
}

QString wrongUse(const QString &problem)
{
    return problem + QLatin1Char('\n') + usage() + QStringLiteral("Mehr dazu: tonvola --help\n");
}

QString unknownOption(const QString &option)
{
    return QStringLiteral("Unbekannte Option: %1").arg(fs::printableName(option));
}

QString onlyWithFill()
{
    return QStringLiteral("--seed, --dry-run, --exchange, --subfolders, --no-subfolders und --quiet "
                          "gelten nur zusammen mit --fill.");
}

QString unexpectedArgument(const QString &argument)
{
    return QStringLiteral("Unerwartetes Argument: %1 (Verzeichnisse nur zusammen mit --fill)")
        .arg(fs::printableName(argument));
}

QString nothingToDo()
{
    return QStringLiteral("Ohne --fill gibt es auf der Kommandozeile nichts zu tun.");
}

QString windowOnly(const QString &option)
{
    return QStringLiteral("Die Option %1 gilt nur für das Fenster, nicht für --fill.").arg(option);
}

QString twoFolders()
{
    return QStringLiteral("--fill braucht genau zwei Verzeichnisse: SOURCE PLAYER.");
}

QString notAPercent(const QString &value)
{
    return QStringLiteral("--exchange braucht eine ganze Zahl von 0 bis 100, nicht \"%1\".")
        .arg(fs::printableName(value));
}

QString subfoldersOrNot()
{
    return QStringLiteral("--subfolders und --no-subfolders schließen einander aus.");
}

QString notASeed(const QString &value)
{
    return QStringLiteral("--seed braucht eine ganze Zahl ab 0, nicht \"%1\".").arg(fs::printableName(value));
}

QString seedLine(quint64 seed)
{
    return QStringLiteral("Startwert: %1").arg(seed);
}

QString dryRunChangedNothing()
{
    return QStringLiteral("Probelauf: keine Datei wurde verändert.");
}

QString windowMissing(const QString &program)
{
    return QStringLiteral("Das Fenster von Tonvola konnte nicht gestartet werden: %1 fehlt\n")
        .arg(QDir::toNativeSeparators(program));
}

QString windowNotStarted(const fs::FileResult &why)
{
    return QStringLiteral("Das Fenster von Tonvola konnte nicht gestartet werden: %1\n").arg(filetext::reason(why));
}

QString noGraphicalSession()
{
    return QStringLiteral("Tonvola braucht für sein Fenster eine grafische Sitzung (X11 oder Wayland), "
                          "aber es ist keine erreichbar.\n"
                          "Ohne Fenster füllt Tonvola den Player so: tonvola --fill SOURCE PLAYER\n");
}

QString howToSeeQtsReasons()
{
    return QStringLiteral("Qts eigene Meldungen dazu zeigt: QT_DEBUG_PLUGINS=1 tonvola\n");
}

} // namespace tonvola::clitext
