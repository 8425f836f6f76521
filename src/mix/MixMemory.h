#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <algorithm>
#include <functional>

namespace tonvola {

// When each collection file was last on one player, counted in that pair's runs, so that a fill
// brings first what the player has held least recently and the whole collection comes round in
// turn. One small file per pair of collection and player in the user's state folder. A file that
// is missing, unreadable, garbled or another pair's is no memory, never a failure: the run then
// deals in plain random order and leaves a fresh memory.
class MixMemory
{
public:
    MixMemory() = default;
    // The pair's memory as it was left; the player is named by its medium (fs::mediumIdentity),
    // so that a stick stays the same player under another mount path.
    MixMemory(const QByteArray &collection, const QByteArray &player);

    // $XDG_STATE_HOME/tonvola, by default ~/.local/state/tonvola.
    [[nodiscard]] static QString folder();
    [[nodiscard]] QString path() const { return m_path; }

    // The run that is about to be made, counted from 1.
    [[nodiscard]] qint64 thisRun() const { return m_runs + 1; }
    // The run in which the file was last on the player; -1 when never, as far as it knows.
    [[nodiscard]] qint64 lastRun(const fs::FileName &name) const { return m_stays.value(name.native()).last; }
    // For a file that was on the player in the last run: the run that brought it there; -1 else.
    [[nodiscard]] qint64 arrivedIn(const fs::FileName &name) const
    {
        const Stay stay = m_stays.value(name.native());
        return stay.last == m_runs ? stay.since : -1;
    }

    // How many entries the player folder takes at most, as a run that found it full of them
    // counted them (fs::fatEntriesUsed); -1 for a folder that never was full of entries.
    [[nodiscard]] qint64 folderEntries() const { return m_folderEntries; }
    // The folder took no more entries with `used` of them taken; the lowest count found stays.
    void folderFullAt(qint64 used) { m_folderEntries = m_folderEntries < 0 ? used : std::min(m_folderEntries, used); }

    // Keeps what this run leaves, whole or not at all: each of the collection's files, and
    // whether it is on the player now; files no longer in the collection leave the memory.
    [[nodiscard]] fs::FileResult save(qsizetype count, const std::function<fs::FileName(qsizetype)> &nameAt,
                                      const std::function<bool(qsizetype)> &onPlayer);

private:
    void read();

    QByteArray m_pair;
    QString m_path;
    qint64 m_runs = 0;
    qint64 m_folderEntries = -1;
    // The last run a file was on the player, and the run its stay there began.
    struct Stay {
        qint64 last = -1;
        qint64 since = -1;
        qint64 savedIn = 0; // the run that wrote it last, while the memory is written
    };
    QHash<QByteArray, Stay> m_stays;

    // One line of the memory into `stays`; false for a line that is garbled.
    [[nodiscard]] static bool readStay(QByteArrayView line, qint64 runs, QHash<QByteArray, Stay> &stays);
};

} // namespace tonvola
