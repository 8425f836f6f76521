#include "platform/PlayerLock.h"

#include "platform/Folder.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tonvola::fs {

struct PlayerLock::Held {
    std::vector<UniqueFd> folders;
};

namespace {

// The folder opened anew: flock() belongs to the open file, so two fills in one program exclude
// each other too.
UniqueFd reopen(int folder)
{
    return UniqueFd(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// The top folder of the medium, as far up as the folder's own path leads on it.
UniqueFd topOfMedium(int folder)
{
    UniqueFd here = reopen(folder);
    struct stat now {};
    if (!here.valid() || ::fstat(here.get(), &now) != 0)
        return here;
    // Deep enough for any real folder; a loop of folders ends here too.
    for (int depth = 0; depth < 256; ++depth) {
        UniqueFd up(::openat(here.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat above {};
        if (!up.valid() || ::fstat(up.get(), &above) != 0 || above.st_dev != now.st_dev || above.st_ino == now.st_ino)
            break;
        here = std::move(up);
        now = above;
    }
    return here;
}

} // namespace

PlayerLock::PlayerLock(const Folder &player, LetterCase letterCase)
{
    if (!player.isOpen())
        return;
    auto held = std::make_unique<Held>();
    held->folders.push_back(reopen(player.handle()));
    if (letterCase != LetterCase::Exact) {
        // Locked once only where the folder is the top: a second open of it would wait for the first.
        UniqueFd top = topOfMedium(player.handle());
        struct stat folder {};
        struct stat above {};
        if (!top.valid() || ::fstat(player.handle(), &folder) != 0 || ::fstat(top.get(), &above) != 0
            || folder.st_ino != above.st_ino)
            held->folders.push_back(std::move(top));
    }
    for (const UniqueFd &folder : held->folders) {
        if (!folder.valid() || ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0) {
            m_heldElsewhere = folder.valid() && errno == EWOULDBLOCK;
            if (!m_heldElsewhere)
                m_notTaken = FileResult::fromErrno(errno);
            return;
        }
    }
    m_held = std::move(held);
}

PlayerLock::~PlayerLock() = default;

} // namespace tonvola::fs
