#pragma once

#include "mix/MixPlan.h"
#include "platform/Folder.h"

#include <QHash>
#include <QLoggingCategory>

#include <vector>

namespace tonvola {

struct MixOptions;
struct MixResult;
class MixMemory;
class MixObserver;
class MixTree;
namespace fs {
class WrittenRecord;
}

Q_DECLARE_LOGGING_CATEGORY(lcMix)

// What a comparison saw, by the player's index: the removal it allows first checks that
// neither file changed since.
struct MixCompared {
    qsizetype sourceIndex = -1;
    fs::Entry source;
    fs::Entry player;
    // A copy the record vouches for: its tags are compared just before it goes, so that
    // nothing is read of files that stay, and a dry run reads nothing of it.
    bool tagsLeft = false;
};

// The player's list as the run sees it now, by key; observers ask for it during a run.
class MixPlayerList
{
public:
    void reset(qsizetype keyCount);
    // Keys outside the list (a collection file new to the player) are left alone.
    void set(qsizetype key, const fs::FileName &name, bool present);
    [[nodiscard]] bool holds(qsizetype key) const { return m_present[static_cast<std::size_t>(key)] != 0; }
    [[nodiscard]] fs::FileNames names() const;

private:
    std::vector<fs::FileName> m_nameOfKey;
    std::vector<char> m_present;
};

// By the player's index: the folder a move back goes into (-1, the collection itself), and
// whether a file of its name there may be its source, to be compared before it is written.
struct MixWayBack {
    std::vector<qsizetype> into;
    std::vector<char> mayBeThere;

    [[nodiscard]] qsizetype folderOf(qsizetype playerIndex) const
    {
        const auto at = static_cast<std::size_t>(playerIndex);
        return at < into.size() ? into[at] : -1;
    }
    [[nodiscard]] bool mayBeThereFor(qsizetype playerIndex) const
    {
        const auto at = static_cast<std::size_t>(playerIndex);
        return at < mayBeThere.size() && mayBeThere[at];
    }
};

// What carrying out a plan works with: the folders and files as the run read them, and the
// result it builds.
struct MixContext {
    const MixOptions &options;
    MixObserver &observer;
    const fs::Folder &source;
    const fs::Folder &player;
    const MixInput &input;
    MixTree &tree;
    fs::WrittenRecord &record;
    const MixWayBack &wayBack;
    const QHash<qsizetype, MixCompared> &compared;
    MixPlayerList &now;
    MixMemory &memory;
    MixResult &result;
};

// The collection file's name in its own folder; `name` is the one it has on the player.
[[nodiscard]] inline const fs::FileName &ownName(const MixInput::Source &file)
{
    return file.own.isEmpty() ? file.name : file.own;
}

// Counts a step into the result and tells the observer of it.
void reportStep(MixResult &result, MixObserver &observer, const MixStep &step);

} // namespace tonvola
