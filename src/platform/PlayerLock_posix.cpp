#include "platform/PlayerLock.h"

#include "platform/Folder.h"
#include "platform/UniqueFd.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tonvola::fs {

struct PlayerLock::Held {
    UniqueFd file;
};

namespace {

// A folder only the user can write to: XDG_RUNTIME_DIR, or a folder of the user's own in /tmp
// where the session has none. Empty when neither can be trusted.
QByteArray runtimeFolder()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    QByteArray folder;
    if (runtime && runtime[0] == '/') {
        folder = QByteArray(runtime) + "/tonvola";
    } else {
        folder = "/tmp/tonvola-" + QByteArray::number(::getuid());
    }
    ::mkdir(folder.constData(), 0700);
    struct stat st {};
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()
        || (st.st_mode & 077) != 0)
        return {};
    return folder;
}

} // namespace

PlayerLock::PlayerLock(const Folder &player, LetterCase letterCase)
{
    struct stat st {};
    const QByteArray folder = runtimeFolder();
    if (folder.isEmpty() || !player.isOpen() || ::fstat(player.handle(), &st) != 0)
        return;
    QByteArray identity = QByteArray::number(static_cast<quint64>(st.st_ino), 16);
    if (letterCase != LetterCase::Exact) {
        const QString canonical = QFileInfo(player.path()).canonicalFilePath();
        if (!canonical.isEmpty())
            identity =
                QCryptographicHash::hash(caseKey(FileName::fromText(canonical), letterCase), QCryptographicHash::Sha1)
                    .toHex()
                    .left(24);
    }
    const QByteArray path =
        folder + "/fill-" + QByteArray::number(static_cast<quint64>(st.st_dev), 16) + '-' + identity + ".lock";
    UniqueFd file(::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid())
        return;
    // flock() belongs to the open file, so two fills in one program exclude each other too.
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        m_heldElsewhere = errno == EWOULDBLOCK;
        return;
    }
    m_held = std::make_unique<Held>(Held{std::move(file)});
}

PlayerLock::~PlayerLock() = default;

} // namespace tonvola::fs
