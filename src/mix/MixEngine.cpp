#include "mix/MixEngine.h"

#include "mix/MixActing.h"
#include "mix/MixRandom.h"
#include "platform/Copy.h"
#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/Temporary.h"

#include <QSet>

#include <algorithm>

namespace tonvola {

namespace {

MixObserver &silentObserver()
{
    static MixObserver observer;
    return observer;
}

// Writes out what a run wrote into the folder; a failure to is the run's, unless it failed already.
void flushFolder(const fs::Folder &folder, const QList<int> &files, bool freed, MixResult &result)
{
    const bool cancelled = result.status == MixResult::Status::Cancelled;
    const fs::FileResult done = fs::flush(folder, files, freed || cancelled ? fs::Freed::Room : fs::Freed::Nothing);
    result.keepNote(done);
    if (!done.ok() && result.status != MixResult::Status::Failed)
        result.fail(MixResult::Step::Flush, folder.path(), done);
}

} // namespace

MixEngine::MixEngine(MixOptions options, MixObserver *observer)
    : m_options(std::move(options)), m_observer(observer ? observer : &silentObserver())
{}

MixEngine::~MixEngine() = default;

fs::FileNames MixEngine::playerNames() const
{
    return m_now.names();
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
    if (!read(m_input, result, lock))
        return result;

    const MixPlan plan = makeMixPlan(m_input, result.seed, m_options.exchangePercent,
                                     [this](qsizetype i, qsizetype j) { return compare(i, j); });
    tellPlan(plan, result);
    if (m_options.dryRun) {
        for (const QList<MixStep> *steps : {&plan.removals, &plan.copies}) {
            for (const MixStep &step : *steps)
                report(result, step);
        }
        return result;
    }
    MixActing acting(context(result), plan);
    if (acting.removeAndMoveBack())
        acting.copy();
    finish(acting, result);
    return result;
}

void MixEngine::tellPlan(const MixPlan &plan, MixResult &result)
{
    result.sourceCount = plan.sourceCount;
    result.start = plan.start;
    result.last = plan.last;
    result.visited = plan.sourceCount;
    result.plannedCopies = plan.copies.size();
    result.plannedBytes = plan.copyBytes;
    result.freeBytes = m_input.freeBytes;
    result.newInCollection = std::count_if(m_input.source.begin(), m_input.source.end(),
                                           [this](const auto &file) { return file.key < 0 || !m_now.holds(file.key); });
    if (plan.sourceCount > 0) {
        const MixInput::Source &last = m_input.source[static_cast<std::size_t>(plan.last)];
        result.lastSelected = folderOf(last).pathOf(ownName(last));
    }
    const fs::FileNames sourceNames = listedSourceNames(plan, result);
    m_observer->started(sourceNames, playerNames(), plan.start);
    m_observer->planned(plan);
    for (const MixStep &step : m_treeNotes)
        report(result, step);
    for (const MixStep &step : plan.notes)
        report(result, step);
}

fs::FileNames MixEngine::listedSourceNames(const MixPlan &plan, MixResult &result) const
{
    // The window's list shows the collection folder's own files, with sub-folders too.
    fs::FileNames sourceNames;
    sourceNames.reserve(static_cast<qsizetype>(m_input.source.size()));
    for (std::size_t i = 0; i < m_input.source.size(); ++i) {
        const MixInput::Source &file = m_input.source[i];
        if (file.folder >= 0)
            continue;
        if (m_options.subfolders && static_cast<qsizetype>(i) == plan.last)
            result.last = sourceNames.size();
        sourceNames.append(file.name);
    }
    if (m_options.subfolders) {
        result.treeFiles = static_cast<qsizetype>(m_input.source.size());
        if (plan.sourceCount > 0 && m_input.source[static_cast<std::size_t>(plan.last)].folder >= 0)
            result.last = -1;
    }
    return sourceNames;
}

MixContext MixEngine::context(MixResult &result)
{
    return {m_options, *m_observer, m_source,   m_player, m_input,  *m_tree,
            *m_record, m_wayBack,   m_compared, m_now,    m_memory, result};
}

void MixEngine::finish(const MixActing &acting, MixResult &result)
{
    // Nothing is written out to a player that is gone, nor is a run that lost it a good one.
    if (result.failedStep == MixResult::Step::PlayerGone || !m_player.isReachable()) {
        result.fail(MixResult::Step::PlayerGone, m_player.path(), {});
        return;
    }
    // A cancelled run did not get round to its choice, so it leaves the order as it found it.
    if (result.status != MixResult::Status::Cancelled)
        rememberOrder();
    const bool recordRewritten = forgetGoneNames();
    // Players are pulled out as soon as the run says it is over, so what it wrote, also
    // before a failure or a cancel, has to be on the medium by then.
    if (acting.changedPlayer() || acting.wroteToSource())
        flush(acting, recordRewritten, result);
    acting.failForRefusals();
}

void MixEngine::rememberOrder()
{
    const fs::FileResult saved = m_memory.save(
        static_cast<qsizetype>(m_input.source.size()),
        [this](qsizetype i) { return m_input.source[static_cast<std::size_t>(i)].name; },
        [this](qsizetype i) { return m_now.holds(m_input.source[static_cast<std::size_t>(i)].key); });
    if (!saved.ok())
        qCWarning(lcMix) << "order of the next runs not kept:" << fs::describe(saved);
}

bool MixEngine::forgetGoneNames()
{
    QSet<QByteArray> present;
    for (const fs::FileName &name : m_player.mp3Files(fs::Folder::Order::None).names)
        present.insert(name.native());
    return m_record->keepOnly([&present](const fs::FileName &name) { return present.contains(name.native()); });
}

void MixEngine::flush(const MixActing &acting, bool recordRewritten, MixResult &result)
{
    m_observer->flushing();
    if (acting.changedPlayer())
        flushFolder(m_player, {m_record->handle()}, acting.freedOnPlayer() || m_leftoversOnPlayer || recordRewritten,
                    result);
    if (acting.wroteToSource())
        flushFolder(m_source, {}, acting.freedInSource() || m_leftoversInSource, result);
}

bool MixEngine::open(MixResult &result)
{
    m_source = fs::Folder(m_options.source);
    m_player = fs::Folder(m_options.player);
    for (const fs::Folder *folder : {&m_source, &m_player}) {
        if (!folder->isOpen()) {
            result.status = folder->opened().status == fs::FileResult::Status::NotFound
                                ? MixResult::Status::FolderMissing
                                : MixResult::Status::FolderUnreadable;
            result.path = folder->path();
            result.cause = folder->opened();
            return false;
        }
    }
    // Asked of the medium, not of the paths: the same folder reached by another spelling or a
    // link would otherwise have its files taken for repeats and deleted.
    if (fs::isSameFolder(m_source, m_player)) {
        result.status = MixResult::Status::SameFolder;
        return false;
    }
    m_tree = std::make_unique<MixTree>(m_source);
    return true;
}

bool MixEngine::read(MixInput &input, MixResult &result, std::optional<fs::PlayerLock> &lock)
{
    fs::Listing source;
    fs::Listing player;
    if (!readLists(source, player, result))
        return false;
    m_playerCase = fs::letterCase(m_player, player.names,
                                  m_options.dryRun ? fs::CaseProbe::ListedNamesOnly : fs::CaseProbe::MayWriteProbeFile);
    if (!m_options.dryRun && !lockPlayer(result, lock))
        return false;
    if (m_options.subfolders)
        readTree(source);
    m_record = std::make_unique<fs::WrittenRecord>(m_player);
    lookAtFiles(source, player, input);
    input.assignKeys(source.keys, player.keys, m_playerCase);
    // The lists' collation keys have served; with 100,000 names on each side they take more
    // memory than what the run keeps of the files.
    source = {};
    player = {};
    if (m_options.subfolders)
        followOrigins(input);
    confirmBrokenCopies(input);
    recall(input);
    if (!measure(input, result))
        return false;
    m_now.reset(input.keyCount);
    for (const MixInput::OnPlayer &file : input.player)
        m_now.set(file.key, file.name, file.entry.isFile());
    return true;
}

bool MixEngine::readLists(fs::Listing &source, fs::Listing &player, MixResult &result)
{
    // A folder that cannot be read is no empty folder.
    source = m_source.mp3Files();
    player = m_player.mp3Files();
    for (const auto &[folder, listing] : {std::pair{&m_source, &source}, std::pair{&m_player, &player}}) {
        if (!listing->result.ok()) {
            result.status = MixResult::Status::FolderUnreadable;
            result.path = folder->path();
            result.cause = listing->result;
            return false;
        }
    }
    // A collection of artist and album folders would fill nothing, and not say why.
    if (!m_options.subfolders && source.names.isEmpty() && hasMp3Below(m_source)) {
        result.status = MixResult::Status::OnlyInSubfolders;
        result.path = m_source.path();
        return false;
    }
    return true;
}

bool MixEngine::lockPlayer(MixResult &result, std::optional<fs::PlayerLock> &lock)
{
    lock.emplace(m_player, m_playerCase);
    if (lock->heldElsewhere()) {
        result.status = MixResult::Status::PlayerBusy;
        return false;
    }
    // A fill started meanwhile through another path would not be kept off.
    result.lockNotTaken = lock->notTaken();
    // A temporary file whose writer is gone was left by a run that was killed; one whose
    // writer lives (another fill that moves files back into this collection) stays.
    m_leftoversOnPlayer = fs::removeLeftovers(m_player);
    m_leftoversInSource = fs::removeLeftovers(m_source);
    return true;
}

} // namespace tonvola
