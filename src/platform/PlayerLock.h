#pragma once

#include "platform/Medium.h"

#include <QString>

#include <memory>

namespace tonvola::fs {

class Folder;

// One fill per player at a time, across programs: a lock keyed by the player folder's identity,
// kept in the user's runtime folder, so that nothing is written onto the player for it. The
// identity is the folder's device and inode; on a medium that ignores letter case it is the
// device and the path in folded letters, since such media may number each spelling of a folder
// on its own. The system releases the lock when its holder ends, however it ends.
//
// The portable path knows a folder only by its path: the identity is the canonical path (in
// folded letters where the medium ignores them), and the lock a QLockFile, which the next fill
// takes over once its holder no longer runs.
class PlayerLock
{
public:
    PlayerLock(const Folder &player, LetterCase letterCase);
    ~PlayerLock();
    PlayerLock(const PlayerLock &) = delete;
    PlayerLock &operator=(const PlayerLock &) = delete;

    // True when another fill holds the player. A lock that cannot be kept at all (no runtime
    // folder to keep it in) does not keep a fill from running.
    [[nodiscard]] bool heldElsewhere() const { return m_heldElsewhere; }

private:
    // The lock as the system keeps it: PlayerLock_posix.cpp, PlayerLock_portable.cpp.
    struct Held;
    std::unique_ptr<Held> m_held;
    bool m_heldElsewhere = false;
};

} // namespace tonvola::fs
