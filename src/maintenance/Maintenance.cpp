#include "maintenance/Maintenance.h"

#include <QDir>
#include <QFileInfo>

namespace tonvola::maintenance {

QString clearQuestion()
{
    return QStringLiteral("PlayerVerzeichnis wirklich leeren?");
}

QString deleteQuestion(const QString &path)
{
    return QStringLiteral("MP3: ") + QDir::toNativeSeparators(path) + QStringLiteral(" wirklich löschen?");
}

QString goneMessage(const QString &path)
{
    return QStringLiteral("Die Datei %1 gibt es nicht mehr.").arg(QDir::toNativeSeparators(path));
}

QString failureMessage(const DeletionOutcome &outcome)
{
    return QStringLiteral("Die Datei %1 konnte nicht gelöscht werden: %2")
        .arg(QDir::toNativeSeparators(outcome.stoppedAt), outcome.failure.reason);
}

bool exists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

DeletionOutcome deleteMp3s(const QStringList &paths)
{
    DeletionOutcome outcome;
    for (const QString &path : paths) {
        if (!fs::isMp3(path))
            continue;
        const FileResult result = fs::remove(path);
        if (!result.ok()) {
            outcome.stoppedAt = path;
            outcome.failure = result;
            break;
        }
        ++outcome.deleted;
    }
    return outcome;
}

} // namespace tonvola::maintenance
