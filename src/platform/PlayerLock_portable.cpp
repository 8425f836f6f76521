#include "platform/PlayerLock.h"

#include "platform/Folder.h"
#include "platform/Path.h"

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
    if (!player.isOpen())
        return;
    // True when the lock is held here or by another fill; false when it cannot be taken.
    const auto take = [this](const QString &path) {
        auto held = std::make_unique<Held>(path);
        // A fill holds the player for as long as it runs, which may be an hour.
        held->lock.setStaleLockTime(0);
        if (held->lock.tryLock(0)) {
            m_held = std::move(held);
            return true;
        }
        m_heldElsewhere = held->lock.error() == QLockFile::LockFailedError;
        return m_heldElsewhere;
    };
    // In the player folder itself, where every path to it and every user who writes it meet it.
    if (take(player.pathOf(FileName::fromNative(".tonvola-fill.lock")).text()))
        return;
    m_notTaken = FileResult::failure(FileResult::Status::Failed, FileResult::Reason::LockFileRefused);
    // A player that takes no file still keeps a second fill of this user's off, through the same path.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString canonical = QFileInfo(player.path()).canonicalFilePath();
    const QString folder = joinPath(runtime, QStringLiteral("tonvola"));
    if (runtime.isEmpty() || canonical.isEmpty() || !QDir().mkpath(folder))
        return;
    const QByteArray identity =
        QCryptographicHash::hash(caseKey(FileName::fromText(canonical), letterCase), QCryptographicHash::Sha1)
            .toHex()
            .left(24);
    if (take(joinPath(folder, QStringLiteral("fill-%1.lock").arg(QLatin1String(identity)))) && m_heldElsewhere)
        m_notTaken = FileResult::success();
}

PlayerLock::~PlayerLock() = default;

} // namespace tonvola::fs
