#include "platform/Copy.h"

#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/NameRules.h"
#include "platform/Native_p.h"
#include "platform/Temporary.h"
#include "platform/WrittenRecord.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace tonvola::fs {

namespace {

// Small enough that a cancel or a look at the progress comes within moments even on a slow stick.
constexpr qint64 chunkSize = qint64(128) * 1024;

// The failure of giving the copy its name. Qt does not tell why a rename failed; what the
// folder and the name show now does.
FileResult namingFailure(const Folder &to, const FileName &name, const QFile &file)
{
    const QFileInfo target(to.pathOf(name).text());
    if (target.exists() || target.isSymLink())
        return FileResult::fromErrno(EEXIST);
    if (fatRefuses(name))
        return FileResult::failure(FileResult::Status::NameRefused, FileResult::Reason::NameNotAllowed);
    return writeFailure(to, 0, &file);
}

} // namespace

// A copy whose data is written out under a temporary name, waiting for its own: QSaveFile
// wrote it whole, with the source's time, and flushed it.
struct CopyBatch::Staged {
    FileName name;
    TemporaryFile temporary;
    Entry source;
    bool timeKept = true;
    const Folder *to = nullptr;
    QByteArray origin;
    FileResult result;
    bool named = false;

    [[nodiscard]] FileResult write(QFile &in, QSaveFile &out, const CopyOptions &options) const;
    void takeName();
};

FileResult CopyBatch::Staged::write(QFile &in, QSaveFile &out, const CopyOptions &options) const
{
    thread_local const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(chunkSize);
    const qint64 total = source.size;
    qint64 copied = 0;
    for (;;) {
        if (options.cancel && options.cancel->load(std::memory_order_relaxed))
            return FileResult::cancelled();
        const qint64 n = in.read(buffer.get(), chunkSize);
        if (n < 0)
            return FileResult::described(FileResult::Status::Failed, in.errorString());
        if (n == 0)
            break;
        if (out.write(buffer.get(), n) != n)
            return writeFailure(*to, source.size, &out);
        copied += n;
        if (options.progress)
            options.progress(copied, total);
    }
    // Written to or replaced while it was read: its size or its times tell, as Qt tells no
    // file numbers.
    if (copied != total)
        return native::sourceChanged();
    return FileResult::success();
}

void CopyBatch::Staged::takeName()
{
    const QString target = to->pathOf(name).text();
    QFile file(temporary.path);
    // QFile::rename refuses an existing name itself. On a medium without a rename that
    // refuses, a file that appears between that look and the rename is replaced: the
    // moment the POSIX path leaves open on such media too.
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        result = FileResult::fromErrno(EEXIST);
    else if (!file.rename(target))
        result = namingFailure(*to, name, file);
    if (!result.ok())
        QFile::remove(temporary.path);
    else if (!timeKept)
        result.reason = FileResult::Reason::TimesNotKept;
    named = result.ok();
}

CopyBatch::CopyBatch(const Folder &to) : m_to(to), m_largestFile(largestFile(to))
{}

CopyBatch::~CopyBatch()
{
    discard();
}

void CopyBatch::discard()
{
    for (const std::unique_ptr<Staged> &staged : m_staged)
        QFile::remove(staged->temporary.path);
    m_staged.clear();
    m_bytes = 0;
}

FileResult CopyBatch::add(const Folder &from, const FileName &name, const CopyOptions &options)
{
    if (!m_to.isOpen())
        return m_to.opened();
    QFile in;
    if (FileResult opened = openForReading(from, name, in); !opened.ok())
        return opened;
    auto staged = std::make_unique<Staged>();
    staged->name = options.as.isEmpty() ? name : options.as;
    staged->to = options.into ? options.into : &m_to;
    staged->origin = options.origin;
    const Folder &to = *staged->to;
    // Qt cannot ask the open file what it is; its name is looked at right after opening.
    staged->source = from.look(name);
    if (!staged->source.isFile() || (options.expected && !staged->source.isUnchangedSince(*options.expected)))
        return native::sourceChanged();
    if (isBeingWritten(staged->source))
        return native::sourceInUse();
    if (staged->source.size > m_largestFile)
        return native::tooLarge();

    std::optional<TemporaryFile> temporary = reserveTemporary(to, Temporary::Copy);
    if (!temporary)
        return writeFailure(to, staged->source.size);
    QSaveFile out(temporary->path);
    if (!out.open(QIODevice::WriteOnly))
        return writeFailure(to, staged->source.size, &out);
    if (FileResult written = staged->write(in, out, options); !written.ok())
        return written;
    if (!from.look(name).isUnchangedSince(staged->source))
        return native::sourceChanged();
    // Everything written reaches the file before its time is set, or the last write would set
    // it anew.
    if (!out.flush()
        || !out.setFileTime(QDateTime::fromMSecsSinceEpoch(staged->source.modifiedNs / 1000000),
                            QFileDevice::FileModificationTime))
        return writeFailure(to, staged->source.size, &out);
    // The data is flushed onto the medium before the file takes even its temporary name.
    if (!out.commit())
        return writeFailure(to, staged->source.size, &out);
    // Qt sets one time of a file at a time, which file systems in user space on FUSE 2 (exFAT)
    // pass over: the copy then has the time of its writing, seconds after its source's (a source
    // written moments ago is not copied), where FAT would only round it to two seconds.
    constexpr qint64 fatRounding = 2000000000;
    staged->timeKept =
        std::abs(entryFrom(QFileInfo(temporary->path)).modifiedNs - staged->source.modifiedNs) < fatRounding;
    staged->temporary = std::move(*temporary);
    m_bytes += staged->source.size;
    m_staged.push_back(std::move(staged));
    return FileResult::success();
}

QList<CopyBatch::Named> CopyBatch::commit(WrittenRecord *record, Names /*names*/)
{
    if (m_staged.empty())
        return {};
    // The data of each copy is on the medium already. Its name follows as the system writes it:
    // Qt cannot flush a folder, so Names::Flushed promises no more than Names::Later here.
    giveNames();
    QList<Named> named = outcomes();
    if (record)
        noteNamed(*record, named);
    m_staged.clear();
    m_bytes = 0;
    return named;
}

void CopyBatch::giveNames()
{
    for (const std::unique_ptr<Staged> &staged : m_staged)
        staged->takeName();
}

QList<CopyBatch::Named> CopyBatch::outcomes() const
{
    QList<Named> named;
    named.reserve(count());
    for (const std::unique_ptr<Staged> &staged : m_staged)
        named.append({staged->name, staged->result, staged->source, staged->named, staged->to, staged->origin});
    return named;
}

} // namespace tonvola::fs
