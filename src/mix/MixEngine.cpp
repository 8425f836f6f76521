#include "mix/MixEngine.h"

#include "mix/MixRandom.h"
#include "platform/Copy.h"
#include "platform/Medium.h"
#include "platform/PlayerLock.h"

#include <QDir>

#include <cstdlib>

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

QString reasonText(MixReason why)
{
    switch (why) {
    case MixReason::OtherContent:
        return QStringLiteral("anderer Inhalt im StammVerzeichnis");
    case MixReason::WriteProtected:
        return QStringLiteral("schreibgeschützt");
    case MixReason::NoFileInCollection:
        return QStringLiteral("im StammVerzeichnis keine Datei");
    case MixReason::NoFileOnPlayer:
        return QStringLiteral("auf dem Player keine Datei");
    case MixReason::NameRefused:
        return QStringLiteral("auf dem Player nicht erlaubt");
    case MixReason::NotAFile:
        return QStringLiteral("keine gewöhnliche Datei");
    case MixReason::GoneFromCollection:
        return QStringLiteral("nicht mehr im StammVerzeichnis");
    case MixReason::None:
        break;
    }
    return {};
}

// A summary names this many skipped files; the rest are counted.
constexpr qsizetype skippedNamed = 5;

} // namespace

QString MixStep::line() const
{
    switch (action) {
    case MixAction::Copied:
        return QStringLiteral("kopiert: ") + name;
    case MixAction::TakenOff:
        return QStringLiteral("vom Player genommen: ") + name;
    case MixAction::MovedBack:
        return QStringLiteral("zurück ins StammVerzeichnis: ") + name;
    case MixAction::KeptOnPlayer:
        return QStringLiteral("auf dem Player belassen (%1): %2").arg(reasonText(why), name);
    case MixAction::NoRoom:
        return QStringLiteral("passte nicht mehr: ") + name;
    case MixAction::Skipped:
        return QStringLiteral("übersprungen: %1 (%2)").arg(name, reasonText(why));
    }
    return name;
}

QString MixResult::summary() const
{
    QString text = QStringLiteral("%1 kopiert, %2 vom Player genommen, %3 zurück ins StammVerzeichnis")
                       .arg(files(counts.copied))
                       .arg(counts.takenOff)
                       .arg(counts.movedBack);
    if (counts.keptOnPlayer > 0)
        text += QStringLiteral(", %1 auf dem Player belassen").arg(counts.keptOnPlayer);
    if (counts.noRoom > 0)
        text += counts.noRoom == 1 ? QStringLiteral(", 1 passte nicht mehr")
                                   : QStringLiteral(", %1 passten nicht mehr").arg(counts.noRoom);
    if (!skipped.isEmpty()) {
        QStringList named;
        for (qsizetype i = 0; i < std::min(skipped.size(), skippedNamed); ++i)
            named.append(QStringLiteral("%1 (%2)").arg(skipped[i].name, reasonText(skipped[i].why)));
        text += QStringLiteral("; übersprungen: ") + named.join(QStringLiteral(", "));
        if (skipped.size() > skippedNamed)
            text += QStringLiteral(" und %1 weitere").arg(skipped.size() - skippedNamed);
    }
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
    case Status::FolderUnreadable:
        return QStringLiteral("Das Verzeichnis %1 kann nicht gelesen werden: %2").arg(shown, reason);
    case Status::PlayerBusy:
        return QStringLiteral("Auf diesem Player läuft bereits eine Füllung.");
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
    case Step::PlayerGone:
        return QStringLiteral("Der Player ist nicht mehr erreichbar.");
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

void MixCounts::add(MixAction action)
{
    switch (action) {
    case MixAction::Copied:
        ++copied;
        break;
    case MixAction::TakenOff:
        ++takenOff;
        break;
    case MixAction::MovedBack:
        ++movedBack;
        break;
    case MixAction::KeptOnPlayer:
        ++keptOnPlayer;
        break;
    case MixAction::NoRoom:
        ++noRoom;
        break;
    case MixAction::Skipped:
        break;
    }
}

void MixEngine::note(MixResult &result, MixAction action, const FileName &name, MixReason why)
{
    MixStep step{action, name.text(), why};
    // Copies, deletions and move-backs are counted where they happen.
    if (action == MixAction::KeptOnPlayer || action == MixAction::NoRoom)
        result.counts.add(action);
    else if (action == MixAction::Skipped)
        result.skipped.append(step);
    m_observer->acted(step);
}

bool MixEngine::playerGone(MixResult &result)
{
    if (m_options.dryRun || m_player.isReachable())
        return false;
    fail(result, MixResult::Step::PlayerGone, m_options.player, QString());
    return true;
}

bool MixEngine::playerGoneLately(MixResult &result)
{
    // A look at the path costs as much as a small copy. What the run writes meanwhile goes
    // through its handle: onto the medium while it is attached, never into the bare folder.
    constexpr qint64 interval = 100;
    if (m_sinceLookedForPlayer.isValid() && m_sinceLookedForPlayer.elapsed() < interval)
        return false;
    m_sinceLookedForPlayer.start();
    return playerGone(result);
}

std::optional<qint64> MixEngine::availableOnPlayer()
{
    if (m_options.dryRun)
        return m_simulatedFree;
    return m_freeSpace->available();
}

MixResult MixEngine::run()
{
    MixResult result;
    result.dryRun = m_options.dryRun;
    result.seed = m_options.seed.value_or(MixRandom::seedFromClock());
    if (!open(result))
        return result;
    // A dry run changes nothing, so it may look on while a fill runs.
    std::optional<fs::PlayerLock> lock;
    if (!m_options.dryRun) {
        lock.emplace(m_player);
        if (lock->heldElsewhere()) {
            result.status = MixResult::Status::PlayerBusy;
            return result;
        }
        // Holding the player, no other copy can be writing into it: what remains under the
        // program's temporary names was left by a run that was killed.
        fs::removeLeftovers(m_player);
    }
    if (!list(result))
        return result;
    walk(result);

    const MixCounts &done = result.counts;
    if (result.dryRun || done.copied + done.takenOff + done.movedBack == 0)
        return result;
    // Players are pulled out as soon as the run says it is over, so what it wrote, also
    // before a failure or a cancel, has to be on the medium by then.
    const bool playerThere = result.failedStep != MixResult::Step::PlayerGone;
    if (playerThere)
        m_observer->flushing();
    for (const fs::Folder *folder : {&m_player, &m_source}) {
        if ((folder == &m_source && !m_wroteToSource) || (folder == &m_player && !playerThere))
            continue;
        const FileResult flushed = fs::flush(*folder);
        if (!flushed.ok() && result.status != MixResult::Status::Failed)
            fail(result, MixResult::Step::Flush, folder->path(), flushed.reason);
    }
    return result;
}

bool MixEngine::open(MixResult &result)
{
    m_source = fs::Folder(m_options.source);
    m_player = fs::Folder(m_options.player);
    for (const fs::Folder *folder : {&m_source, &m_player}) {
        if (!folder->isOpen()) {
            result.status = folder->opened().status == FileResult::Status::NotFound
                                ? MixResult::Status::FolderMissing
                                : MixResult::Status::FolderUnreadable;
            result.path = folder->path();
            result.reason = folder->opened().reason;
            return false;
        }
    }
    // Compared on disk, not as text: the same folder reached by another spelling or a link
    // would otherwise have its files taken for repeats and deleted.
    if (m_source.isSameAs(m_player)) {
        result.status = MixResult::Status::SameFolder;
        return false;
    }
    return true;
}

bool MixEngine::list(MixResult &result)
{
    // Both lists before anything is touched: a folder that cannot be read is no empty folder.
    fs::Listing source = m_source.mp3Files();
    fs::Listing player = m_player.mp3Files();
    for (const auto &[folder, listing] : {std::pair{&m_source, &source}, std::pair{&m_player, &player}}) {
        if (!listing->result.ok()) {
            result.status = MixResult::Status::FolderUnreadable;
            result.path = folder->path();
            result.reason = listing->result.reason;
            return false;
        }
    }
    m_sourceNames = std::move(source.names);
    m_playerNames = std::move(player.names);
    m_playerIgnoresCase = fs::namesIgnoreCase(
        m_player, m_playerNames, m_options.dryRun ? fs::CaseProbe::ListedNamesOnly : fs::CaseProbe::MayWriteProbeFile);
    m_playerKeepsFatNames = fs::keepsFatNames(m_player);
    m_playerTimeResolutionNs = fs::timeResolutionNs(m_player);
    m_list = PlayerList(player.keys, source.keys, m_playerIgnoresCase);
    m_copiedThisRun.clear();
    m_wroteToSource = false;
    if (!m_options.dryRun)
        m_freeSpace.emplace(m_player);
    if (m_options.dryRun) {
        const std::optional<qint64> available = fs::availableBytes(m_player);
        if (!available) {
            fail(result, MixResult::Step::FreeSpace, m_options.player,
                 QStringLiteral("Der Datenträger antwortet nicht."));
            return false;
        }
        m_simulatedFree = *available;
        m_sameVolume = m_source.sharesVolumeWith(m_player);
    }
    return true;
}

void MixEngine::walk(MixResult &result)
{
    MixRandom random(result.seed);
    const qsizetype count = m_sourceNames.size();
    result.sourceCount = count;
    result.start = random.nextPosition(count);
    m_observer->started(m_sourceNames, m_playerNames, result.start);

    for (qsizetype i = result.start; i < count; ++i) {
        if (cancelled()) {
            result.status = MixResult::Status::Cancelled;
            return;
        }
        const FileName &name = m_sourceNames.at(i);
        result.lastSelected = m_source.pathOf(name);
        ++result.visited;
        m_observer->visiting(i);

        // One look tells whether it is still there, still a file, and its size.
        const fs::Entry candidate = m_source.look(name);
        if (!candidate.isFile()) {
            note(result, MixAction::Skipped, name,
                 candidate.kind == fs::Entry::Kind::Missing ? MixReason::GoneFromCollection : MixReason::NotAFile);
            continue;
        }
        const std::optional<qint64> available = availableOnPlayer();
        if (!available) {
            if (!playerGone(result))
                fail(result, MixResult::Step::FreeSpace, m_options.player,
                     QStringLiteral("Der Datenträger antwortet nicht."));
            return;
        }
        if (!fitsOnPlayer(candidate.size, *available))
            continue;

        // The presence check goes through the whole player list, so its last entry is selected last.
        if (m_list.count() > 0)
            result.lastSelected = m_player.pathOf(m_list.name(m_list.keyAt(m_list.count() - 1)));

        const qsizetype key = m_list.keyOfSource(i);
        if (m_list.contains(key)) {
            if (!takeOff(key, candidate, name, result))
                return;
            continue;
        }
        if (m_playerKeepsFatNames && fs::fatRefuses(name)) {
            note(result, MixAction::Skipped, name, MixReason::NameRefused);
            continue;
        }

        // The chance is drawn before every copy, also when the player has nothing to give back.
        if (random.next() < 0.5 && m_list.count() > 0) {
            const qsizetype pick = m_list.keyAt(random.nextPosition(m_list.count()));
            result.lastSelected = m_player.pathOf(m_list.name(pick));
            if (!moveBack(pick, result))
                return;
        }
        if (!copyCandidate(i, candidate, result))
            return;
    }
    // A medium pulled while nothing more fitted has had nothing written to it, but the run
    // must not say it went well.
    (void)playerGone(result);
}

bool MixEngine::playerFileNotThere(qsizetype key, const fs::Entry &there, MixResult &result)
{
    if (there.kind == fs::Entry::Kind::Other) {
        note(result, MixAction::KeptOnPlayer, m_list.name(key), MixReason::NoFileOnPlayer);
        return true;
    }
    // Gone with its medium, or taken away by another program: then it is off the list.
    if (playerGone(result))
        return false;
    m_list.erase(key);
    return true;
}

MixEngine::OnPlayer MixEngine::lookOnPlayer(const FileName &name) const
{
    // A dry run's copies exist only in its bookkeeping; they are what they were copied from.
    if (m_options.dryRun && m_copiedThisRun.contains(name.native()))
        return {&m_source, m_source.look(name)};
    return {&m_player, m_player.look(name)};
}

bool MixEngine::sameFile(const fs::Entry &inCollection, const FileName &name, const OnPlayer &onPlayer,
                         const FileName &playerName) const
{
    if (inCollection.size != onPlayer.entry.size)
        return false;
    // The program's own copies keep the time, within what the medium can hold of it.
    if (std::llabs(inCollection.modifiedNs - onPlayer.entry.modifiedNs) < m_playerTimeResolutionNs)
        return true;
    return fs::haveSameBytes(m_source, name, *onPlayer.folder, playerName);
}

bool MixEngine::takeOff(qsizetype key, const fs::Entry &candidate, const FileName &name, MixResult &result)
{
    const FileName onPlayer = m_list.name(key);
    const OnPlayer found = lookOnPlayer(onPlayer);
    const fs::Entry &there = found.entry;
    // The same file comes up again: the repeat goes. Anything else on the player is the user's.
    if (!there.isFile())
        return playerFileNotThere(key, there, result);
    if (!sameFile(candidate, name, found, onPlayer)) {
        note(result, MixAction::KeptOnPlayer, onPlayer, MixReason::OtherContent);
        return true;
    }
    if (there.writeProtected) {
        note(result, MixAction::KeptOnPlayer, onPlayer, MixReason::WriteProtected);
        return true;
    }
    if (m_options.dryRun) {
        m_simulatedFree += there.size;
    } else if (const FileResult removed = m_player.remove(onPlayer); !removed.ok()) {
        if (playerGone(result))
            return false;
        if (removed.status == FileResult::Status::PermissionDenied) {
            note(result, MixAction::KeptOnPlayer, onPlayer, MixReason::WriteProtected);
            return true;
        }
        fail(result, MixResult::Step::Delete, m_player.pathOf(onPlayer).text(), removed.reason);
        return false;
    } else if (playerGoneLately(result)) {
        return false;
    } else {
        m_freeSpace->freed(there.size);
    }
    m_list.erase(key);
    note(result, MixAction::TakenOff, onPlayer);
    ++result.counts.takenOff;
    return true;
}

bool MixEngine::moveBack(qsizetype key, MixResult &result)
{
    const FileName name = m_list.name(key);
    const QString from = m_player.pathOf(name).text();
    const OnPlayer found = lookOnPlayer(name);
    const fs::Entry &onPlayer = found.entry;
    if (!onPlayer.isFile())
        return playerFileNotThere(key, onPlayer, result);
    if (onPlayer.writeProtected) {
        note(result, MixAction::KeptOnPlayer, name, MixReason::WriteProtected);
        return true;
    }

    // Never replace a collection file by another one: identical means the player's copy can
    // simply go; different means both stay where they are. A copy this run made from there is
    // identical without looking again.
    const bool copiedThisRun = m_copiedThisRun.contains(name.native());
    bool alreadyInCollection = copiedThisRun;
    if (!copiedThisRun) {
        const fs::Entry inCollection = m_source.look(name);
        if (inCollection.kind == fs::Entry::Kind::Other) {
            note(result, MixAction::KeptOnPlayer, name, MixReason::NoFileInCollection);
            return true;
        }
        if (inCollection.isFile()) {
            if (!sameFile(inCollection, name, found, name)) {
                note(result, MixAction::KeptOnPlayer, name, MixReason::OtherContent);
                return true;
            }
            alreadyInCollection = true;
        }
    }

    if (m_options.dryRun) {
        m_simulatedFree += alreadyInCollection || !m_sameVolume ? onPlayer.size : 0;
    } else {
        if (!alreadyInCollection) {
            const FileResult copied = copyReporting(MixAction::MovedBack, m_player, name, m_source, onPlayer.size);
            if (copied.status == FileResult::Status::Cancelled) {
                result.status = MixResult::Status::Cancelled;
                return false;
            }
            if (!copied.ok()) {
                if (!playerGone(result))
                    fail(result, MixResult::Step::MoveBack, from, copied.reason);
                return false;
            }
            m_wroteToSource = true;
        }
        if (const FileResult removed = m_player.remove(name); !removed.ok()) {
            // A move: the collection does not keep a second copy of a file that stays on the player.
            if (!alreadyInCollection)
                (void)m_source.remove(name);
            if (playerGone(result))
                return false;
            if (removed.status == FileResult::Status::PermissionDenied) {
                note(result, MixAction::KeptOnPlayer, name, MixReason::WriteProtected);
                return true;
            }
            fail(result, MixResult::Step::Delete, from, removed.reason);
            return false;
        }
        if (playerGoneLately(result))
            return false;
        m_freeSpace->freed(onPlayer.size);
    }
    m_list.erase(key);
    ++result.counts.movedBack;
    MixStep step{MixAction::MovedBack, name.text()};
    step.alreadyInCollection = alreadyInCollection;
    m_observer->acted(step);
    return true;
}

FileResult MixEngine::copyReporting(MixAction action, const fs::Folder &from, const FileName &name,
                                    const fs::Folder &to, qint64 size)
{
    const QString shown = name.text();
    m_observer->copying(action, shown, 0, size);
    CopyOptions options;
    options.cancel = m_options.cancel;
    options.progress = [this, action, &shown](qint64 done, qint64 total) {
        m_observer->copying(action, shown, done, total);
    };
    return fs::copyFile(from, name, to, options);
}

bool MixEngine::copyCandidate(qsizetype sourcePosition, const fs::Entry &candidate, MixResult &result)
{
    const FileName &name = m_sourceNames.at(sourcePosition);
    const qsizetype key = m_list.keyOfSource(sourcePosition);
    if (m_options.dryRun) {
        m_simulatedFree -= candidate.size;
    } else {
        const FileResult copied = copyReporting(MixAction::Copied, m_source, name, m_player, candidate.size);
        if (copied.ok() ? playerGoneLately(result) : playerGone(result))
            return false;
        switch (copied.status) {
        case FileResult::Status::Ok:
            m_freeSpace->wrote(candidate.size);
            break;
        case FileResult::Status::Cancelled:
            result.status = MixResult::Status::Cancelled;
            return false;
        case FileResult::Status::NoSpace:
            // A full player is what the user asked for; smaller files may still fit.
            m_freeSpace->lookAgain();
            note(result, MixAction::NoRoom, name);
            return true;
        case FileResult::Status::NameRefused:
            m_playerKeepsFatNames = m_playerKeepsFatNames || fs::fatRefuses(name);
            note(result, MixAction::Skipped, name, MixReason::NameRefused);
            return true;
        case FileResult::Status::NotAFile:
            note(result, MixAction::Skipped, name, MixReason::NotAFile);
            return true;
        case FileResult::Status::AlreadyExists:
            // Listed names are known; what holds this one on the player is no file.
            note(result, MixAction::KeptOnPlayer, name, MixReason::NoFileOnPlayer);
            return true;
        default:
            if (m_source.look(name).kind == fs::Entry::Kind::Missing) {
                note(result, MixAction::Skipped, name, MixReason::GoneFromCollection);
                return true;
            }
            fail(result, MixResult::Step::Copy, m_source.pathOf(name).text(), copied.reason);
            return false;
        }
    }
    m_copiedThisRun.insert(name.native());
    m_list.insert(key, name);
    ++result.counts.copied;
    m_observer->acted({MixAction::Copied, name.text()});
    return true;
}

} // namespace tonvola
