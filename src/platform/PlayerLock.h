#pragma once

#include "platform/Medium.h"

#include <QString>

namespace tonvola::fs {

class Folder;

// One fill per player at a time, across programs: a lock keyed by the player folder's identity,
// kept in the user's runtime folder, so that nothing is written onto the player for it. The
// identity is the folder's device and inode; on a medium that ignores letter case it is the
// device and the path in folded letters, since such media may number each spelling of a folder
// on its own. The system releases the lock when its holder ends, however it ends.
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
    int m_fd = -1;
    bool m_heldElsewhere = false;
};

} // namespace tonvola::fs
