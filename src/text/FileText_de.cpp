#include "text/FileText.h"

namespace tonvola::filetext {

namespace {

using Reason = fs::FileResult::Reason;

// What the system says of a call that failed.
QString systemSaid(Reason reason)
{
    switch (reason) {
    case Reason::NoSuchEntry:
        return QStringLiteral("Die Datei oder das Verzeichnis ist nicht vorhanden");
    case Reason::PathPartNotAFolder:
        return QStringLiteral("Ein Teil des Pfades ist kein Verzeichnis");
    case Reason::MediumNotReady:
        return QStringLiteral("Der Datenträger ist nicht bereit");
    case Reason::IsAFolder:
        return QStringLiteral("Das ist ein Verzeichnis, keine Datei");
    case Reason::NameExists:
        return QStringLiteral("Eine Datei dieses Namens ist bereits vorhanden");
    case Reason::MediumFull:
        return QStringLiteral("Auf dem Datenträger ist kein Platz mehr frei");
    case Reason::QuotaUsedUp:
        return QStringLiteral("Das Speicherkontingent ist erschöpft");
    case Reason::FileTooLarge:
        return QStringLiteral("Die Datei ist zu groß für diesen Datenträger");
    case Reason::MediumReadOnly:
        return QStringLiteral("Der Datenträger ist schreibgeschützt");
    case Reason::AccessDenied:
        return QStringLiteral("Zugriff verweigert");
    case Reason::NotPermitted:
        return QStringLiteral("Der Vorgang ist nicht zulässig (die Datei ist geschützt)");
    case Reason::FileBusy:
        return QStringLiteral("Die Datei wird gerade benutzt");
    case Reason::NameTooLong:
        return QStringLiteral("Der Name ist zu lang");
    case Reason::InputOutput:
        return QStringLiteral("Ein-/Ausgabefehler auf dem Datenträger");
    default:
        return {};
    }
}

// What the program found out for itself.
QString foundOut(Reason reason)
{
    switch (reason) {
    case Reason::NoFolderGiven:
        return QStringLiteral("Es ist kein Verzeichnis angegeben");
    case Reason::FolderMissing:
        return QStringLiteral("Das Verzeichnis ist nicht vorhanden");
    case Reason::NotAFolder:
        return QStringLiteral("Das ist kein Verzeichnis");
    case Reason::NotARegularFile:
        return QStringLiteral("Das ist keine gewöhnliche Datei");
    case Reason::OtherMediumMounted:
        return QStringLiteral("Dort ist ein anderer Datenträger eingehängt");
    case Reason::MediumNotMounted:
        return QStringLiteral("Der Datenträger ist nicht (mehr) eingebunden");
    case Reason::MediumNotAnswering:
        return QStringLiteral("Der Datenträger antwortet nicht");
    case Reason::FileWriteProtected:
        return QStringLiteral("Die Datei ist schreibgeschützt");
    case Reason::ChangedMeanwhile:
        return QStringLiteral("Die Datei wurde inzwischen verändert");
    case Reason::ChangedWhileCopying:
        return QStringLiteral("Die Datei wurde während des Kopierens verändert");
    case Reason::WrittenByOther:
        return QStringLiteral("Die Datei wird gerade von einem anderen Programm geschrieben");
    case Reason::NoFileThatLarge:
        return QStringLiteral("Der Datenträger nimmt keine Datei dieser Größe auf");
    case Reason::NameNotAllowed:
        return QStringLiteral("Der Datenträger erlaubt diesen Dateinamen nicht");
    case Reason::FolderTakesNoMore:
        return QStringLiteral("Das Verzeichnis nimmt keine weiteren Einträge auf");
    case Reason::WriteFailed:
        return QStringLiteral("Unbekannter Fehler beim Schreiben");
    case Reason::LockFileRefused:
        return QStringLiteral("das Verzeichnis nimmt keine Sperrdatei auf");
    case Reason::CollectionGone:
        return QStringLiteral("Das StammVerzeichnis ist nicht mehr erreichbar");
    case Reason::Cancelled:
        return QStringLiteral("Abgebrochen");
    case Reason::TimesNotKept:
        return QStringLiteral("der Datenträger übernimmt die Änderungszeit nicht, die Kopien tragen die Zeit des "
                              "Kopierens");
    case Reason::FlushUnconfirmed:
        return QStringLiteral("das System bestätigt nicht, dass alles auf dem Datenträger steht; bitte den "
                              "Player vor dem Abziehen auswerfen");
    default:
        return {};
    }
}

} // namespace

QString reason(const fs::FileResult &result)
{
    switch (result.reason) {
    case Reason::None:
        return {};
    case Reason::System:
        return result.words;
    default:
        break;
    }
    const QString said = systemSaid(result.reason);
    return said.isEmpty() ? foundOut(result.reason) : said;
}

} // namespace tonvola::filetext
