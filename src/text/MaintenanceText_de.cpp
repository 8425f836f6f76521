#include "text/MaintenanceText.h"

#include "platform/FileName.h"
#include "text/FileText.h"

#include <QDir>

namespace tonvola::maintenancetext {

QString clearQuestion()
{
    return QStringLiteral("PlayerVerzeichnis wirklich leeren?");
}

QString deleteQuestion(const QString &path)
{
    return QStringLiteral("MP3: ") + fs::printableName(QDir::toNativeSeparators(path))
           + QStringLiteral(" wirklich löschen?");
}

QString gone(const QString &path)
{
    return QStringLiteral("Die Datei %1 gibt es nicht mehr.").arg(fs::printableName(QDir::toNativeSeparators(path)));
}

QString failure(const maintenance::DeletionOutcome &outcome)
{
    return QStringLiteral("Die Datei %1 konnte nicht gelöscht werden: %2")
        .arg(fs::printableName(QDir::toNativeSeparators(outcome.stoppedAt)), filetext::reason(outcome.failure));
}

} // namespace tonvola::maintenancetext
