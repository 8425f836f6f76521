#include "platform/Folder.h"

#include "platform/Listing.h"
#include "platform/Native_p.h"
#include "platform/Path.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>

namespace tonvola::fs {

// Where the path led when the folder was opened: the folder itself, and the medium holding it.
// A medium unmounted under a run leaves a bare mount point of the same path on another volume.
struct Folder::Native {
    QString canonical;
    QByteArray device;
    QString root;
};

namespace {

qint64 nsOf(const QDateTime &time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() * 1000000 : 0;
}

FileResult notThere()
{
    return FileResult::fromErrno(ENOENT);
}

} // namespace

Entry entryFrom(const QFileInfo &info)
{
    // A link that leads nowhere still holds the name.
    if (!info.exists())
        return info.isSymLink() ? Entry{Entry::Kind::Other} : Entry{};
    Entry entry;
    entry.kind = info.isFile() ? Entry::Kind::File : Entry::Kind::Other;
    entry.size = info.size();
    // Qt keeps times to the millisecond; both sides of every comparison come from here.
    entry.modifiedNs = nsOf(info.lastModified());
    entry.changedNs = nsOf(info.metadataChangeTime());
    // The permission bits, not whether this user may write: root may write everything.
    entry.writeProtected = !info.permission(QFileDevice::WriteOwner);
    return entry;
}

FileResult writeFailure(const Folder &folder, qint64 needed, const QFileDevice *file)
{
    if (!folder.isReachable())
        return notThere();
    const QStorageInfo medium(folder.path());
    if (medium.isValid() && medium.isReadOnly())
        return FileResult::fromErrno(EROFS);
    // Qt's own word for a full medium, or a medium without room for the file, now that what was
    // written of it is gone again.
    if ((file && file->error() == QFileDevice::ResourceError) || (medium.isValid() && medium.bytesAvailable() < needed))
        return FileResult::fromErrno(ENOSPC);
    if (!QFileInfo(folder.path()).isWritable())
        return FileResult::fromErrno(EACCES);
    return file ? FileResult::described(FileResult::Status::Failed, file->errorString())
                : FileResult::failure(FileResult::Status::Failed, FileResult::Reason::WriteFailed);
}

Folder::Folder(QString path) : m_path(std::move(path))
{
    if (m_path.isEmpty()) {
        m_opened = FileResult::failure(FileResult::Status::NotFound, FileResult::Reason::NoFolderGiven);
        return;
    }
    const QFileInfo info(m_path);
    if (!info.exists())
        m_opened = FileResult::failure(FileResult::Status::NotFound, FileResult::Reason::FolderMissing);
    else if (!info.isDir())
        m_opened = FileResult::failure(FileResult::Status::NotFound, FileResult::Reason::NotAFolder);
    else if (!info.isReadable())
        m_opened = FileResult::fromErrno(EACCES);
    else {
        const QStorageInfo medium(m_path);
        m_native = std::make_unique<Native>(Native{info.canonicalFilePath(), medium.device(), medium.rootPath()});
        m_opened = FileResult::success();
    }
}

Folder::Folder() = default;
Folder::~Folder() = default;
Folder::Folder(Folder &&other) noexcept = default;
Folder &Folder::operator=(Folder &&other) noexcept = default;

int Folder::handle() const
{
    return -1;
}

bool Folder::isSameAs(const Folder &other) const
{
    if (m_native && other.m_native)
        return m_native->canonical == other.m_native->canonical;
    return isSameDirectory(m_path, other.m_path);
}

bool Folder::isReachable() const
{
    if (!m_native || QFileInfo(m_path).canonicalFilePath() != m_native->canonical)
        return false;
    const QStorageInfo medium(m_path);
    return medium.device() == m_native->device && medium.rootPath() == m_native->root;
}

Listing Folder::mp3Files(Order order, FileNames *folders) const
{
    Listing listing;
    if (!isOpen()) {
        listing.result = m_opened;
        return listing;
    }
    // Files and links to files; hidden ones, pipes and devices are left out.
    QDirIterator it(m_path, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (isMp3(it.fileName()))
            listing.names.append(FileName::fromText(it.fileName()));
    }
    if (folders)
        folders->append(subFolders().names);
    // Qt reads a folder that went away, or cannot be read, as an empty one.
    if (!isReachable())
        listing.result = FileResult::failure(FileResult::Status::NotFound, FileResult::Reason::FolderMissing);
    else if (!QFileInfo(m_path).isReadable())
        listing.result = FileResult::fromErrno(EACCES);
    if (order == Order::None)
        return listing;
    listing.keys = inListOrder(std::move(listing.names));
    listing.names = namesOf(listing.keys);
    return listing;
}

Listing Folder::subFolders() const
{
    Listing listing;
    if (!isOpen()) {
        listing.result = m_opened;
        return listing;
    }
    QDirIterator it(m_path, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    while (it.hasNext()) {
        it.next();
        listing.names.append(FileName::fromText(it.fileName()));
    }
    if (!QFileInfo(m_path).isReadable())
        listing.result = FileResult::fromErrno(EACCES);
    return listing;
}

Folder::Contents Folder::readChild(const FileName &name) const
{
    Contents contents;
    const Folder folder = child(name);
    if (!folder.isOpen()) {
        contents.result = folder.opened();
        return contents;
    }
    const Listing listing = folder.mp3Files(Order::None, &contents.folders);
    contents.result = listing.result;
    for (const FileName &file : listing.names) {
        const Entry entry = folder.look(file);
        if (entry.isFile()) {
            contents.files.append(file);
            contents.entries.push_back(entry);
        }
    }
    return contents;
}

Folder Folder::child(const FileName &name) const
{
    const QString path = joinPath(m_path, name.text());
    if (QFileInfo(path).isSymLink()) {
        Folder folder;
        folder.m_path = path;
        folder.m_opened = FileResult::failure(FileResult::Status::NotAFile, FileResult::Reason::NotAFolder);
        return folder;
    }
    return Folder(path);
}

Entry Folder::look(const FileName &name) const
{
    if (!isOpen())
        return {};
    return entryFrom(QFileInfo(pathOf(name).text()));
}

FileResult Folder::remove(const FileName &name) const
{
    if (!isOpen())
        return m_opened;
    const QString path = pathOf(name).text();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return notThere();
    // A link goes, whatever it leads to.
    if (!info.isSymLink()) {
        if (info.isDir())
            return FileResult::fromErrno(EISDIR);
        if (info.isFile() && !info.permission(QFileDevice::WriteOwner))
            return native::writeProtected();
    }
    QFile file(path);
    if (file.remove())
        return FileResult::success();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return notThere();
    const QStorageInfo medium(m_path);
    if (medium.isValid() && medium.isReadOnly())
        return FileResult::fromErrno(EROFS);
    // What else keeps a file there is the system's protection of it.
    return FileResult::described(FileResult::Status::PermissionDenied, file.errorString());
}

FileResult Folder::removeIfUnchanged(const FileName &name, const Entry &seen) const
{
    if (!isOpen())
        return m_opened;
    const QFileInfo info(pathOf(name).text());
    if (!info.exists() && !info.isSymLink())
        return notThere();
    // The name itself, as the POSIX path looks at it: a link there is not the file compared.
    if (info.isSymLink() || !entryFrom(info).isUnchangedSince(seen))
        return native::changedMeanwhile();
    return remove(name);
}

FileResult openForReading(const Folder &folder, const FileName &name, QFile &file)
{
    if (!folder.isOpen())
        return folder.opened();
    const QString path = folder.pathOf(name).text();
    const QFileInfo info(path);
    // Only a file is opened: Qt would wait on a pipe for a writer that never comes.
    if (!info.isFile())
        return info.exists() ? native::notAFile() : notThere();
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return info.isReadable() ? FileResult::described(FileResult::Status::Failed, file.errorString())
                                 : FileResult::fromErrno(EACCES);
    return FileResult::success();
}

Likeness compareFiles(const Folder &a, const FileName &aName, const Folder &b, const FileName &bName, Entry *seenA,
                      Entry *seenB, Span span, qint64 *read)
{
    if (read)
        *read = 0;
    QFile fa;
    QFile fb;
    if (!openForReading(a, aName, fa).ok() || !openForReading(b, bName, fb).ok())
        return Likeness::Unreadable;
    // Qt cannot ask an open file what it is; its name is looked at right after opening instead.
    const Entry ea = a.look(aName);
    const Entry eb = b.look(bName);
    if (!ea.isFile() || !eb.isFile())
        return Likeness::Unreadable;
    // Links and folders reached twice lead to one canonical path. Hard links do not, and are
    // compared as two files: removing one name leaves the file under the other.
    if (const QString canonical = QFileInfo(fa).canonicalFilePath();
        !canonical.isEmpty() && canonical == QFileInfo(fb).canonicalFilePath())
        return Likeness::SameFile;
    if (seenA)
        *seenA = ea;
    if (seenB)
        *seenB = eb;
    if (ea.size != eb.size)
        return Likeness::OtherBytes;
    const auto readerOf = [](QFile &file) {
        return [&file](char *data, qint64 size) { return file.read(data, size); };
    };
    const auto skipper = [](QFile &file) { return [&file](qint64 offset) { return file.seek(offset); }; };
    return native::compareSpan(ea.size, span, readerOf(fa), readerOf(fb), skipper(fa), skipper(fb), read);
}

bool isCutShortOf(const Folder &whole, const FileName &wholeName, const Folder &part, const FileName &partName)
{
    QFile fw;
    QFile fp;
    if (!openForReading(whole, wholeName, fw).ok() || !openForReading(part, partName, fp).ok())
        return false;
    if (const QString canonical = QFileInfo(fw).canonicalFilePath();
        !canonical.isEmpty() && canonical == QFileInfo(fp).canonicalFilePath())
        return false;
    if (fp.size() > fw.size())
        return false;
    // A part that matches the whole to its end is the whole file, no cut copy.
    const qint64 matched = native::matchedPrefix(
        fp.size(), [&fw](char *data, qint64 size) { return fw.read(data, size); },
        [&fp](char *data, qint64 size) { return fp.read(data, size); });
    return matched >= 0 && matched < fw.size();
}

} // namespace tonvola::fs
