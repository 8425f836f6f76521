#pragma once

#include "platform/FileResult.h"
#include "platform/NameRules.h"

#include <memory>

namespace tonvola::fs {

class Folder;

// One fill per player at a time, across programs, sessions and users: a lock the system keeps on
// the player folder itself (flock() on the folder), so that every path that reaches it (another
// spelling, a bind mount) and every user who may write it (sudo) meets the same lock, and nothing
// is written onto the player for it. A medium that ignores letter case may number each spelling
// of a folder on its own (exfat-fuse); there the top folder of the medium is locked too. The
// system releases the locks when their holder ends, however it ends.
//
// The portable path has no such locks: it keeps a QLockFile in the player folder while the fill
// runs, which the next fill takes over once its holder no longer runs. Where the folder takes no
// file, the lock file goes into the user's runtime folder, named by the canonical path (in
// folded letters where the medium ignores them), and the fill says so.
class PlayerLock
{
public:
    PlayerLock(const Folder &player, LetterCase letterCase);
    ~PlayerLock();
    PlayerLock(const PlayerLock &) = delete;
    PlayerLock &operator=(const PlayerLock &) = delete;

    // True when another fill holds the player.
    [[nodiscard]] bool heldElsewhere() const { return m_heldElsewhere; }
    // Why no lock could be taken at all (a medium that keeps no locks); a success when the lock
    // is held or held elsewhere. Such a lock does not keep a fill from running, but the user is
    // told.
    [[nodiscard]] const FileResult &notTaken() const { return m_notTaken; }

private:
    // The lock as the system keeps it: PlayerLock_posix.cpp, PlayerLock_portable.cpp.
    struct Held;
    std::unique_ptr<Held> m_held;
    bool m_heldElsewhere = false;
    FileResult m_notTaken;
};

} // namespace tonvola::fs
