// How a run reads both folders before it plans: what the engine knows of each file.

#include "mix/MixEngine.h"

#include "platform/Copy.h"
#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/MediumIdentity.h"
#include "platform/Path.h"
#include "platform/Temporary.h"

#include <QElapsedTimer>
#include <QThread>

namespace tonvola {

namespace {

// The folder as its medium names it, so that the memory of the pair survives another mount path.
QByteArray identityOf(const fs::Folder &folder)
{
    const QByteArray identity = fs::mediumIdentity(folder.path());
    return identity.isEmpty() ? fs::nativePath(folder.path()) : identity;
}

} // namespace

void MixEngine::lookAtFiles(const fs::Listing &source, const fs::Listing &player, MixInput &input)
{
    // A look at a file on a stick in user space is a round trip to its process: thousands of
    // them take seconds, which the window and the terminal show.
    MixPreparing looking;
    looking.total = source.names.size() + player.names.size();
    lookAtSource(source, input, looking);
    waitForFreshFiles(input);
    lookAtPlayer(player, input, looking);
}

void MixEngine::lookAtSource(const fs::Listing &source, MixInput &input, MixPreparing &looking)
{
    input.source.resize(source.names.size());
    for (qsizetype i = 0; i < source.names.size(); ++i) {
        MixInput::Source &file = input.source[static_cast<std::size_t>(i)];
        file.name = source.names[i];
        if (m_treeFiles.empty()) {
            file.entry = m_source.look(file.name);
        } else {
            // Looked at by the walk, while each folder was open once.
            const MixTree::File &where = m_treeFiles[static_cast<std::size_t>(i)];
            file.folder = where.folder;
            if (!(where.own == file.name))
                file.own = where.own;
            file.entry = where.entry;
        }
        if (++looking.done % 256 == 0)
            m_observer->preparing(looking);
    }
    m_treeFiles = {};
}

void MixEngine::lookAtPlayer(const fs::Listing &player, MixInput &input, MixPreparing &looking)
{
    input.player.resize(player.names.size());
    for (qsizetype j = 0; j < player.names.size(); ++j) {
        MixInput::OnPlayer &file = input.player[static_cast<std::size_t>(j)];
        file.name = player.names[j];
        file.entry = m_player.look(file.name);
        file.broken = m_record->isBrokenCopy(file.name, file.entry);
        if (++looking.done % 256 == 0)
            m_observer->preparing(looking);
        file.writtenAtS = m_record->writtenAt(file.name);
    }
}

void MixEngine::recall(MixInput &input)
{
    m_memory = MixMemory(identityOf(m_source), identityOf(m_player));
    for (MixInput::Source &file : input.source)
        file.lastRun = m_memory.lastRun(file.name);
    // The memory knows the collection's names; a player file is the collection file of its key.
    std::vector<qsizetype> sourceOf(static_cast<std::size_t>(input.keyCount), -1);
    for (qsizetype i = 0; i < static_cast<qsizetype>(input.source.size()); ++i)
        sourceOf[static_cast<std::size_t>(input.source[static_cast<std::size_t>(i)].key)] = i;
    for (MixInput::OnPlayer &file : input.player) {
        const qsizetype i = sourceOf[static_cast<std::size_t>(file.key)];
        if (i < 0)
            continue;
        const MixInput::Source &original = input.source[static_cast<std::size_t>(i)];
        file.arrivedRun = m_memory.arrivedIn(original.name);
        file.vouched = !file.broken && m_record->vouchesFor(file.name, file.entry, original.entry);
    }
    findWayBack(input, sourceOf);
}

bool MixEngine::measure(MixInput &input, MixResult &result)
{
    const std::optional<qint64> available = fs::availableBytes(m_player);
    if (!available) {
        result.fail(MixResult::Step::FreeSpace, m_player.path(), notAnswering());
        return false;
    }
    input.freeBytes = *available;
    if (const fs::Entry record = m_player.look(fs::WrittenRecord::fileName()); record.isFile())
        input.recordBytes = record.size;
    if (const qint64 most = m_memory.folderEntries(); most > 0) {
        if (const std::optional<qint64> used = fs::fatEntriesUsed(m_player)) {
            // A copy is written under its temporary name before it gets its own, and the record
            // may be new.
            qint64 setAside = fs::fatEntriesFor(fs::FileName::fromNative(fs::temporaryName(fs::Temporary::Copy, 0)));
            if (input.recordBytes < 0)
                setAside += fs::fatEntriesFor(fs::WrittenRecord::fileName());
            input.freeEntries = std::max<qint64>(0, most - *used - setAside);
        }
    }
    input.cluster = fs::allocationUnit(m_player);
    input.largestFile = fs::largestFile(m_player);
    input.playerKeepsFatNames = fs::keepsFatNames(m_player);
    input.collectionNameMax = fs::longestName(m_source);
    input.collectionKeepsFatNames = fs::keepsFatNames(m_source);
    return true;
}

void MixEngine::confirmBrokenCopies(MixInput &input)
{
    // The record's word alone never takes a file away: only the collection's file of that name
    // can show that the one on the player is a copy of it cut short. A file of other bytes is the
    // user's, and the walk names it as a repeat with other content.
    std::vector<qsizetype> sourceOfKey;
    for (MixInput::OnPlayer &file : input.player) {
        if (!file.broken)
            continue;
        if (sourceOfKey.empty()) {
            sourceOfKey.assign(static_cast<std::size_t>(input.keyCount), -1);
            for (qsizetype i = 0; i < static_cast<qsizetype>(input.source.size()); ++i)
                sourceOfKey[static_cast<std::size_t>(input.source[static_cast<std::size_t>(i)].key)] = i;
        }
        const qsizetype i = file.key < 0 ? -1 : sourceOfKey[static_cast<std::size_t>(file.key)];
        file.broken = i >= 0
                      && fs::isCutShortOf(folderOf(input.source[static_cast<std::size_t>(i)]),
                                          ownName(input.source[static_cast<std::size_t>(i)]), m_player, file.name);
        // Not asked again next time: the file under that name is not the copy the record knows.
        if (!file.broken && !m_options.dryRun)
            m_record->noteRemoved(file.name);
    }
}

void MixEngine::waitForFreshFiles(MixInput &input)
{
    // Long enough for a file manager to finish an album it is copying, short enough that a press
    // of the button still answers at once; a file that grows all the while is left for later.
    constexpr qint64 longestWaitMs = 6000;
    constexpr unsigned long lookAgainMs = 200;
    std::vector<std::size_t> fresh;
    for (std::size_t i = 0; i < input.source.size(); ++i) {
        if (fs::isBeingWritten(input.source[i].entry))
            fresh.push_back(i);
    }
    if (fresh.empty())
        return;
    m_observer->waiting(static_cast<qsizetype>(fresh.size()));
    QElapsedTimer waited;
    waited.start();
    while (!fresh.empty() && waited.elapsed() < longestWaitMs && !(m_options.cancel && *m_options.cancel)) {
        QThread::msleep(lookAgainMs);
        std::erase_if(fresh, [&](std::size_t i) {
            MixInput::Source &file = input.source[i];
            file.entry = folderOf(file).look(ownName(file));
            return !fs::isBeingWritten(file.entry);
        });
    }
}

void MixEngine::readTree(fs::Listing &source)
{
    std::vector<MixTree::File> files;
    files.reserve(static_cast<std::size_t>(source.names.size()));
    for (const fs::FileName &name : source.names)
        files.push_back({-1, name, m_source.look(name)});
    QList<MixTree::Unreadable> unreadable;
    m_tree->walk(files, unreadable, m_options.cancel);
    for (const MixTree::Unreadable &folder : unreadable) {
        MixStep step;
        step.action = MixAction::Skipped;
        step.name = fs::FileName::fromNative(folder.path);
        step.why = MixReason::FolderUnreadable;
        m_treeNotes.append(step);
        qCWarning(lcMix) << "folder left out:" << folder.path << fs::describe(folder.why);
    }
    keepFirstOfEachName(files, treeNames(files), source);
}

fs::FileNames MixEngine::treeNames(const std::vector<MixTree::File> &files) const
{
    // A name that two files of the collection have is one on the player as the player compares
    // names; each of them then takes its path.
    QHash<QByteArray, qsizetype> owners;
    owners.reserve(static_cast<qsizetype>(files.size()));
    for (const MixTree::File &file : files)
        ++owners[fs::caseKey(file.own, m_playerCase)];
    const qsizetype longest = fs::longestName(m_player);
    fs::FileNames names;
    names.reserve(static_cast<qsizetype>(files.size()));
    for (const MixTree::File &file : files) {
        const bool shared = file.folder >= 0 && owners.value(fs::caseKey(file.own, m_playerCase)) > 1;
        names.append(shared ? treeName(m_tree->path(file.folder), file.own, longest) : file.own);
    }
    return names;
}

QByteArray MixEngine::treePath(const MixTree::File &file) const
{
    return file.folder < 0 ? file.own.native() : m_tree->path(file.folder) + '/' + file.own.native();
}

std::vector<char> MixEngine::namesTaken(const std::vector<MixTree::File> &files, const fs::FileNames &names) const
{
    // A joined name may be another file's own one: the file whose path comes first keeps it,
    // the same in every run, and the other is named and left out.
    QHash<QByteArray, std::size_t> holder;
    holder.reserve(names.size());
    std::vector<char> taken(files.size(), 0);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const QByteArray key = fs::caseKey(names[static_cast<qsizetype>(i)], m_playerCase);
        const auto found = holder.constFind(key);
        if (found == holder.cend()) {
            holder.insert(key, i);
            continue;
        }
        std::size_t keeps = *found;
        std::size_t leaves = i;
        if (treePath(files[leaves]) < treePath(files[keeps]))
            std::swap(keeps, leaves);
        holder.insert(key, keeps);
        taken[leaves] = 1;
    }
    return taken;
}

void MixEngine::keepFirstOfEachName(const std::vector<MixTree::File> &files, const fs::FileNames &names,
                                    fs::Listing &source)
{
    const std::vector<char> taken = namesTaken(files, names);
    fs::FileNames kept;
    kept.reserve(names.size());
    QHash<QByteArray, std::size_t> fileOf;
    fileOf.reserve(names.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::FileName &name = names[static_cast<qsizetype>(i)];
        if (taken[i]) {
            MixStep step;
            step.action = MixAction::Skipped;
            step.name = fs::FileName::fromNative(treePath(files[i]));
            step.why = MixReason::NameTaken;
            step.other = name;
            m_treeNotes.append(step);
            continue;
        }
        kept.append(name);
        fileOf.insert(name.native(), i);
    }
    source.keys = fs::inListOrder(std::move(kept));
    source.names = fs::namesOf(source.keys);
    m_treeFiles.clear();
    m_treeFiles.reserve(static_cast<std::size_t>(source.names.size()));
    for (const fs::FileName &name : source.names)
        m_treeFiles.push_back(files[fileOf.value(name.native())]);
}

void MixEngine::followOrigins(MixInput &input)
{
    // A file's name on the player follows what else the collection holds: a copy made while its
    // name was its own keeps it when another file of that name comes, and the other way round.
    // The record knows where each copy came from, so it is still found as that file's copy.
    QHash<QByteArray, qsizetype> byOrigin;
    std::vector<char> keyOnPlayer(static_cast<std::size_t>(input.keyCount), 0);
    for (const MixInput::OnPlayer &file : input.player)
        keyOnPlayer[static_cast<std::size_t>(file.key)] = 1;
    for (MixInput::OnPlayer &file : input.player) {
        const QByteArray origin = m_record->originOf(file.name);
        if (origin.isEmpty())
            continue;
        if (byOrigin.isEmpty()) {
            for (qsizetype i = 0; i < static_cast<qsizetype>(input.source.size()); ++i) {
                const MixInput::Source &source = input.source[static_cast<std::size_t>(i)];
                if (source.folder >= 0)
                    byOrigin.insert(m_tree->path(source.folder) + '/' + ownName(source).native(), i);
            }
        }
        const qsizetype i = byOrigin.value(origin, -1);
        if (i < 0)
            continue;
        const qsizetype key = input.source[static_cast<std::size_t>(i)].key;
        // Where the player holds that file under its present name too, each name stays its own.
        if (key == file.key || keyOnPlayer[static_cast<std::size_t>(key)])
            continue;
        keyOnPlayer[static_cast<std::size_t>(file.key)] = 0;
        keyOnPlayer[static_cast<std::size_t>(key)] = 1;
        file.key = key;
    }
}

void MixEngine::findWayBack(MixInput &input, const std::vector<qsizetype> &sourceOf)
{
    m_wayBack.into.assign(input.player.size(), -1);
    m_wayBack.mayBeThere.assign(input.player.size(), 0);
    for (std::size_t j = 0; j < input.player.size(); ++j) {
        MixInput::OnPlayer &file = input.player[j];
        const qsizetype i = file.key < 0 ? -1 : sourceOf[static_cast<std::size_t>(file.key)];
        if (i >= 0) {
            const MixInput::Source &original = input.source[static_cast<std::size_t>(i)];
            m_wayBack.into[j] = original.folder;
            file.backName = original.own;
            continue;
        }
        // A copy of a sub-folder's file that the run does not take (the choice is off, or the
        // file is gone) goes back where it came from, if that folder is still there.
        const QByteArray origin = m_record->originOf(file.name);
        const qsizetype slash = origin.lastIndexOf('/');
        if (slash <= 0 || slash + 1 >= origin.size() || origin[slash + 1] == '.')
            continue;
        const qsizetype folder = m_tree->find(origin.first(slash));
        m_tree->trim();
        if (folder < 0)
            continue;
        m_wayBack.into[j] = folder;
        file.backName = fs::FileName::fromNative(origin.sliced(slash + 1));
        m_wayBack.mayBeThere[j] = 1;
    }
}

fs::Likeness MixEngine::compare(qsizetype sourceIndex, qsizetype playerIndex)
{
    m_tree->trim();
    MixCompared compared;
    compared.sourceIndex = sourceIndex;
    if (const MixInput::OnPlayer &file = m_input.player[static_cast<std::size_t>(playerIndex)]; file.vouched) {
        compared.source = m_input.source[static_cast<std::size_t>(sourceIndex)].entry;
        compared.player = file.entry;
        compared.tagsLeft = true;
        m_compared.insert(playerIndex, compared);
        return fs::Likeness::SameBytes;
    }
    const MixInput::Source &original = m_input.source[static_cast<std::size_t>(sourceIndex)];
    const fs::Likeness likeness = fs::compareFiles(folderOf(original), ownName(original), m_player,
                                                   m_input.player[static_cast<std::size_t>(playerIndex)].name,
                                                   &compared.source, &compared.player);
    MixPreparing comparing;
    comparing.stage = MixPreparing::Stage::Comparing;
    comparing.done = ++m_comparedWhole;
    m_observer->preparing(comparing);
    if (likeness == fs::Likeness::SameBytes)
        m_compared.insert(playerIndex, compared);
    return likeness;
}

} // namespace tonvola
