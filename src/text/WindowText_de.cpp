#include "text/WindowText.h"

#include "platform/FileName.h"
#include "platform/Path.h"
#include "text/FileText.h"

#include <QDir>
#include <QLocale>

namespace tonvola::windowtext {

namespace {

QString shown(const QString &path)
{
    return fs::printableName(QDir::toNativeSeparators(path));
}

} // namespace

QString choosePlayerFolderFirst()
{
    return QStringLiteral("Bitte wählen Sie zuerst das Mp3 Player Verzeichnis aus.");
}

QString chooseSourceFolderFirst()
{
    return QStringLiteral("Bitte wählen Sie zuerst das StammVerzeichnis aus.");
}

QString driveNotReady(const QString &root, const fs::FileResult &why)
{
    return QStringLiteral("Das Laufwerk %1 ist nicht bereit: %2").arg(shown(root), filetext::reason(why));
}

QString pathFieldName()
{
    return QStringLiteral("Pfad des Ordners");
}

QString pathFieldHint()
{
    return QStringLiteral("Pfad eingeben");
}

QString lostFolder(const QString &folder)
{
    return QStringLiteral("%1 ist nicht erreichbar.").arg(fs::shownPath(folder));
}

QString folderNotShown(const QString &folder, const fs::FileResult &why)
{
    return QStringLiteral("Das Verzeichnis %1 kann nicht angezeigt werden: %2")
        .arg(shown(folder), filetext::reason(why));
}

QString folderGone(const QString &folder)
{
    return QStringLiteral("Das Verzeichnis %1 ist nicht mehr vorhanden.").arg(shown(folder));
}

QString sourceMissing(const QString &folder)
{
    return QStringLiteral("StammVerzeichnis fehlt: %1").arg(folder);
}

QString sourceMissingExplained(const QString &folder)
{
    return QStringLiteral("Das StammVerzeichnis %1 ist nicht da. Tonvola zeigt es, sobald sein "
                          "Laufwerk angeschlossen ist.")
        .arg(folder);
}

QString playerMissing(const QString &folder)
{
    return QStringLiteral("Mp3 Player Verzeichnis fehlt: %1").arg(folder);
}

QString playerMissingExplained(const QString &folder)
{
    return QStringLiteral("Das Mp3 Player Verzeichnis %1 ist nicht da. Schließen Sie den Player an; "
                          "Tonvola zeigt das Verzeichnis, sobald es da ist.")
        .arg(folder);
}

QString freeRoom(qint64 bytes)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    return QStringLiteral("Frei: %1").arg(german.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat));
}

QString freeRoomUnknown()
{
    return QStringLiteral("Frei: unbekannt");
}

QString freeRoomUnreachable()
{
    return QStringLiteral("nicht erreichbar");
}

QString fillRunning()
{
    return QStringLiteral("Tonvola läuft …");
}

QString fillCancelling()
{
    return QStringLiteral("Wird abgebrochen …");
}

QString ejecting()
{
    return QStringLiteral("Der Player wird ausgeworfen …");
}

QString configKeptIn(const QString &file)
{
    return QStringLiteral("Die beiden Verzeichnisse werden in %1 gelesen und gespeichert.").arg(file);
}

QString configSavesIn(const QString &file)
{
    return QStringLiteral("Speichert die beiden Verzeichnisse in %1").arg(file);
}

QString saveSameFolderQuestion(const QString &folder)
{
    return QStringLiteral("StammVerzeichnis und Mp3 Player Verzeichnis sind dasselbe Verzeichnis: %1\nDamit "
                          "kann Tonvola nicht füllen. Trotzdem speichern?")
        .arg(shown(folder));
}

QString configNotSaved(const QString &file, const fs::FileResult &why)
{
    return QStringLiteral("Die Konfiguration konnte nicht in %1 gespeichert werden: %2")
        .arg(file, filetext::reason(why));
}

QString exchangeTitle()
{
    return QStringLiteral("Austausch je Lauf");
}

QString exchangeQuestion()
{
    return QStringLiteral("Wie viel Prozent der Musik auf dem Player, nach Größe, soll jeder\n"
                          "Lauf gegen neue Dateien aus dem StammVerzeichnis tauschen?\n"
                          "Bei 0 füllt er nur den freien Platz, bei 100 tauscht er alles.");
}

QString settingNotSaved()
{
    return QStringLiteral("Die Einstellung konnte nicht gespeichert werden.");
}

} // namespace tonvola::windowtext
