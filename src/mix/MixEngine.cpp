#include "mix/MixEngine.h"

#include "mix/MixRandom.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace tonvola {

namespace {

MixObserver &silentObserver()
{
    static MixObserver observer;
    return observer;
}

QString files(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 Datei") : QStringLiteral("%1 Dateien").arg(n);
}

} // namespace

QString MixResult::summary() const
{
    QString text = QStringLiteral("%1 kopiert, %2 vom Player genommen, %3 zurück ins StammVerzeichnis")
                       .arg(files(counts.copied))
                       .arg(counts.takenOff)
                       .arg(counts.movedBack);
    if (counts.keptOnPlayer > 0)
        text += QStringLiteral(", %1 auf dem Player belassen").arg(counts.keptOnPlayer);
    switch (status) {
    case Status::Cancelled:
        return QStringLiteral("Abgebrochen: ") + text;
    case Status::Failed:
        return QStringLiteral("Fehler: ") + text;
    default:
        return text;
    }
}

QString MixResult::problem() const
{
    const QString shown = QDir::toNativeSeparators(path);
    switch (status) {
    case Status::Done:
    case Status::Cancelled:
        return {};
    case Status::SameFolder:
        return QStringLiteral("Bitte wählen Sie ein anderes Verzeichnis!");
    case Status::FolderMissing:
        return QStringLiteral("Das Verzeichnis %1 ist nicht erreichbar: %2").arg(shown, reason);
    case Status::Failed:
        break;
    }
    switch (failedStep) {
    case Step::Read:
        return QStringLiteral("Die Datei %1 konnte nicht gelesen werden: %2").arg(shown, reason);
    case Step::Copy:
        return QStringLiteral("Die Datei %1 konnte nicht kopiert werden: %2").arg(shown, reason);
    case Step::Delete:
        return QStringLiteral("Die Datei %1 konnte nicht vom Player gelöscht werden: %2").arg(shown, reason);
    case Step::MoveBack:
        return QStringLiteral("Die Datei %1 konnte nicht ins StammVerzeichnis zurückgelegt werden: %2")
            .arg(shown, reason);
    case Step::FreeSpace:
        return QStringLiteral("Der freie Platz in %1 konnte nicht ermittelt werden: %2").arg(shown, reason);
    case Step::Flush:
        return QStringLiteral("Die Dateien konnten nicht vollständig nach %1 geschrieben werden: %2")
            .arg(shown, reason);
    case Step::None:
        break;
    }
    return reason;
}

MixEngine::MixEngine(MixOptions options, MixObserver *observer)
    : m_options(std::move(options)), m_observer(observer ? observer : &silentObserver())
{}

bool MixEngine::cancelled() const
{
    return m_options.cancel && m_options.cancel->load(std::memory_order_relaxed);
}

void MixEngine::fail(MixResult &result, MixResult::Step step, const QString &path, const QString &reason)
{
    result.status = MixResult::Status::Failed;
    result.failedStep = step;
    result.path = path;
    result.reason = reason;
}

std::optional<qint64> MixEngine::availableOnPlayer() const
{
    if (m_options.dryRun)
        return m_simulatedFree;
    return fs::availableBytes(m_options.player);
}

MixResult MixEngine::run()
{
    MixResult result = walk();
    const MixCounts &done = result.counts;
    if (result.dryRun || done.copied + done.takenOff + done.movedBack == 0)
        return result;
    // Players are pulled out as soon as the run says it is over, so what it wrote, also
    // before a failure or a cancel, has to be on the medium by then.
    for (const QString &folder : {m_options.player, m_options.source}) {
        if (folder == m_options.source && done.movedBack == 0)
            continue;
        const FileResult flushed = fs::flushVolume(folder);
        if (!flushed.ok() && result.status != MixResult::Status::Failed)
            fail(result, MixResult::Step::Flush, folder, flushed.reason);
    }
    return result;
}

MixResult MixEngine::walk()
{
    MixResult result;
    m_copiedThisRun.clear();
    result.dryRun = m_options.dryRun;
    result.seed = m_options.seed.value_or(MixRandom::seedFromClock());
    MixRandom random(result.seed);

    for (const QString &folder : {m_options.source, m_options.player}) {
        if (!fs::isDirectory(folder)) {
            result.status = MixResult::Status::FolderMissing;
            result.path = folder;
            result.reason = QStringLiteral("Das Verzeichnis ist nicht vorhanden.");
            return result;
        }
    }
    // Compared on disk, not as text: the same folder reached by another spelling or a link
    // would otherwise have its files taken for repeats and deleted.
    if (fs::isSameDirectory(m_options.source, m_options.player)) {
        result.status = MixResult::Status::SameFolder;
        return result;
    }

    m_sourceNames = fs::mp3Files(m_options.source);
    const QStringList playerNames = fs::mp3Files(m_options.player);
    m_list = PlayerList(playerNames, m_sourceNames);
    m_playerIgnoresCase = fs::namesIgnoreCase(m_options.player);
    if (m_options.dryRun) {
        const std::optional<qint64> available = fs::availableBytes(m_options.player);
        if (!available) {
            fail(result, MixResult::Step::FreeSpace, m_options.player,
                 QStringLiteral("Der Datenträger antwortet nicht."));
            return result;
        }
        m_simulatedFree = *available;
        const QStorageInfo sourceVolume(m_options.source);
        m_sameVolume = sourceVolume.isValid() && sourceVolume == QStorageInfo(m_options.player);
    }

    const qsizetype count = m_sourceNames.size();
    result.sourceCount = count;
    result.start = random.nextPosition(count);
    m_observer->started(m_sourceNames, playerNames, result.start);

    for (qsizetype i = result.start; i < count; ++i) {
        if (cancelled()) {
            result.status = MixResult::Status::Cancelled;
            return result;
        }
        const QString &name = m_sourceNames.at(i);
        const QString candidate = fs::joinPath(m_options.source, name);
        result.lastSelected = candidate;
        ++result.visited;
        m_observer->visiting(i);

        // Size first: the one look at the file then also answers whether it is there.
        const std::optional<qint64> size = fs::fileSize(candidate);
        if (!size) {
            fail(result, MixResult::Step::Read, candidate, QStringLiteral("Die Datei ist nicht mehr vorhanden."));
            return result;
        }
        const std::optional<qint64> available = availableOnPlayer();
        if (!available) {
            fail(result, MixResult::Step::FreeSpace, m_options.player,
                 QStringLiteral("Der Datenträger antwortet nicht."));
            return result;
        }
        if (!fitsOnPlayer(*size, *available))
            continue;

        // The presence check goes through the whole player list, so its last entry is selected last.
        if (m_list.count() > 0)
            result.lastSelected = fs::joinPath(m_options.player, m_list.name(m_list.keyAt(m_list.count() - 1)));

        const qsizetype key = m_list.keyOfSource(i);
        if (m_list.contains(key)) {
            if (!takeOff(key, result))
                return result;
            continue;
        }

        // The chance is drawn before every copy, also when the player has nothing to give back.
        if (random.next() < 0.5 && m_list.count() > 0) {
            const qsizetype pick = m_list.keyAt(random.nextPosition(m_list.count()));
            result.lastSelected = fs::joinPath(m_options.player, m_list.name(pick));
            if (!moveBack(pick, result))
                return result;
        }
        if (!copyCandidate(i, *size, result))
            return result;
    }
    return result;
}

bool MixEngine::takeOff(qsizetype key, MixResult &result)
{
    const QString &name = m_list.name(key);
    const QString path = fs::joinPath(m_options.player, name);
    if (m_options.dryRun) {
        m_simulatedFree += QFileInfo(path).size();
    } else if (const FileResult removed = fs::remove(path); !removed.ok()) {
        fail(result, MixResult::Step::Delete, path, removed.reason);
        return false;
    }
    m_list.erase(key);
    ++result.counts.takenOff;
    m_observer->acted({MixAction::TakenOff, name});
    return true;
}

bool MixEngine::moveBack(qsizetype key, MixResult &result)
{
    const QString name = m_list.name(key);
    const QString from = fs::joinPath(m_options.player, name);
    const QString into = fs::joinPath(m_options.source, name);
    const bool copiedThisRun = m_copiedThisRun.contains(name);
    // A dry run's copies exist only in its bookkeeping.
    const auto size = [&] { return QFileInfo(m_options.dryRun && copiedThisRun ? into : from).size(); };

    bool alreadyInCollection = false;
    if (QFileInfo::exists(into)) {
        // Never replace a collection file by another one: identical means the player's copy
        // can simply go; different means both stay where they are. A copy this run made from
        // there is identical without reading both files again.
        if (!copiedThisRun && !fs::haveSameContent(from, into)) {
            ++result.counts.keptOnPlayer;
            m_observer->acted({MixAction::KeptOnPlayer, name});
            return true;
        }
        alreadyInCollection = true;
    }

    if (m_options.dryRun) {
        m_simulatedFree += alreadyInCollection || !m_sameVolume ? size() : 0;
    } else {
        if (!alreadyInCollection) {
            const FileResult copied =
                copyReporting(MixAction::MovedBack, name, from, m_options.source, Overwrite::No, size());
            if (copied.status == FileResult::Status::Cancelled) {
                result.status = MixResult::Status::Cancelled;
                return false;
            }
            if (!copied.ok()) {
                fail(result, MixResult::Step::MoveBack, from, copied.reason);
                return false;
            }
        }
        if (const FileResult removed = fs::remove(from); !removed.ok()) {
            fail(result, MixResult::Step::Delete, from, removed.reason);
            return false;
        }
    }
    m_list.erase(key);
    ++result.counts.movedBack;
    m_observer->acted({MixAction::MovedBack, name, alreadyInCollection});
    return true;
}

FileResult MixEngine::copyReporting(MixAction action, const QString &name, const QString &from, const QString &folder,
                                    Overwrite overwrite, qint64 size)
{
    m_observer->copying(action, name, 0, size);
    CopyOptions options;
    options.overwrite = overwrite;
    options.cancel = m_options.cancel;
    options.progress = [this, action, &name](qint64 done, qint64 total) {
        m_observer->copying(action, name, done, total);
    };
    return fs::copyInto(from, folder, options);
}

bool MixEngine::copyCandidate(qsizetype sourcePosition, qint64 size, MixResult &result)
{
    const QString &name = m_sourceNames.at(sourcePosition);
    const QString candidate = fs::joinPath(m_options.source, name);
    if (m_options.dryRun) {
        m_simulatedFree -= size;
        m_copiedThisRun.insert(name);
        m_list.insert(m_list.keyOfSource(sourcePosition));
        ++result.counts.copied;
        m_observer->acted({MixAction::Copied, name});
        return true;
    }

    // A name the list does not hold but the medium calls taken: one that differs only in
    // letter case on a medium that ignores case. The copy replaces it under the new name.
    const bool clash = m_playerIgnoresCase && QFileInfo::exists(fs::joinPath(m_options.player, name));

    const FileResult copied = copyReporting(MixAction::Copied, name, candidate, m_options.player, Overwrite::Yes, size);
    if (copied.status == FileResult::Status::Cancelled) {
        result.status = MixResult::Status::Cancelled;
        return false;
    }
    if (!copied.ok()) {
        fail(result, MixResult::Step::Copy, candidate, copied.reason);
        return false;
    }

    if (clash)
        m_list = PlayerList(fs::mp3Files(m_options.player), m_sourceNames);
    else
        m_list.insert(m_list.keyOfSource(sourcePosition));
    m_copiedThisRun.insert(name);
    ++result.counts.copied;
    m_observer->acted({MixAction::Copied, name});
    return true;
}

} // namespace tonvola
