#include "text/EjectText.h"

#include "platform/FileName.h"
#include "text/FileText.h"

#include <QDir>

namespace tonvola::ejecttext {

QString message(const fs::EjectResult &result)
{
    const QString player = fs::printableName(QDir::toNativeSeparators(result.mountPoint));
    switch (result.status) {
    case fs::EjectResult::Status::Done:
        return QStringLiteral("Der Player %1 ist ausgeworfen und kann jetzt abgezogen werden.").arg(player);
    case fs::EjectResult::Status::Unmounted:
        return QStringLiteral("Der Player %1 ist ausgehängt und kann jetzt abgezogen werden.").arg(player);
    case fs::EjectResult::Status::NoService:
        return QStringLiteral("Der Player kann hier nicht ausgeworfen werden, denn die Arbeitsumgebung bietet "
                              "dafür keinen Dienst (UDisks2) an. Bitte werfen Sie ihn in der Dateiverwaltung aus.");
    case fs::EjectResult::Status::NotRemovable:
        return QStringLiteral("Das Mp3 Player Verzeichnis liegt auf %1, keinem Wechselmedium; dort gibt es nichts "
                              "auszuwerfen.")
            .arg(player);
    case fs::EjectResult::Status::Busy:
        return QStringLiteral("Der Player %1 kann nicht ausgeworfen werden, weil ein anderes Programm noch Dateien "
                              "darauf benutzt. Bitte schließen Sie diese und versuchen Sie es noch einmal.")
            .arg(player);
    case fs::EjectResult::Status::NotAuthorized:
        return QStringLiteral("Der Player %1 kann nicht ausgeworfen werden: Das System erlaubt es diesem Benutzer "
                              "nicht.")
            .arg(player);
    case fs::EjectResult::Status::Failed:
        break;
    }
    switch (result.failedStep) {
    case fs::EjectResult::Step::Flush:
        return QStringLiteral("Die Daten konnten nicht vollständig auf den Player %1 geschrieben werden: %2")
            .arg(player, filetext::reason(result.cause));
    case fs::EjectResult::Step::PowerOff:
        return QStringLiteral("Der Player %1 ist ausgehängt, aber sein Laufwerk ließ sich nicht abschalten: %2")
            .arg(player, filetext::reason(result.cause));
    case fs::EjectResult::Step::Unmount:
    case fs::EjectResult::Step::None:
        break;
    }
    return QStringLiteral("Der Player %1 konnte nicht ausgeworfen werden: %2")
        .arg(player, filetext::reason(result.cause));
}

} // namespace tonvola::ejecttext
