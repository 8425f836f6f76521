#include "platform/PlayerLock.h"

#include "platform/Folder.h"
#include "platform/Listing.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace tonvola::fs {

struct PlayerLock::Held {
    explicit Held(const QString &path) : lock(path) {}
    QLockFile lock;
};

PlayerLock::PlayerLock(const Folder &player, LetterCase letterCase)
{
    // Qt makes sure that only the user may write to the runtime folder.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString canonical = player.isOpen() ? QFileInfo(player.path()).canonicalFilePath() : QString();
    if (runtime.isEmpty() || canonical.isEmpty()) {
        m_notTaken = QStringLiteral("Es gibt kein Laufzeitverzeichnis für die Sperre");
        return;
    }
    const QString folder = joinPath(runtime, QStringLiteral("tonvola"));
    if (!QDir().mkpath(folder)) {
        m_notTaken = QStringLiteral("Das Verzeichnis %1 kann nicht angelegt werden").arg(folder);
        return;
    }
    const QByteArray identity =
        QCryptographicHash::hash(caseKey(FileName::fromText(canonical), letterCase), QCryptographicHash::Sha1)
            .toHex()
            .left(24);
    auto held = std::make_unique<Held>(joinPath(folder, QStringLiteral("fill-%1.lock").arg(QLatin1String(identity))));
    // A fill holds the player for as long as it runs, which may be an hour.
    held->lock.setStaleLockTime(0);
    if (held->lock.tryLock(0))
        m_held = std::move(held);
    else if (held->lock.error() == QLockFile::LockFailedError)
        m_heldElsewhere = true;
    else
        m_notTaken = QStringLiteral("Die Sperrdatei kann nicht angelegt werden");
}

PlayerLock::~PlayerLock() = default;

} // namespace tonvola::fs
