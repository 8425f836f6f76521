#include "platform/Temporary.h"

#include "platform/Folder.h"
#include "platform/Native_p.h"
#include "platform/Path.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QMutex>
#include <QRandomGenerator>

#include <algorithm>
#include <atomic>

namespace tonvola::fs {

namespace {

constexpr QByteArrayView lockPrefix(".tonvola-");
constexpr QByteArrayView lockSuffix(".lock");
// A writer's token: the first half of the number in its temporary files' names.
constexpr qsizetype tokenDigits = 8;

QString lockPath(const QString &folder, QByteArrayView token)
{
    return joinPath(folder,
                    QString::fromLatin1(lockPrefix.toByteArray() + token.toByteArray() + lockSuffix.toByteArray()));
}

// The lock this program holds in one folder while it has temporary files there.
struct WriterLock {
    WriterLock(const QString &path, quint32 writer) : lock(path), token(writer) {}
    QLockFile lock;
    const quint32 token;
    std::atomic<quint32> made = 0;
};

std::shared_ptr<WriterLock> takeWriterLock(const QString &folder)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        const quint32 token = QRandomGenerator::global()->generate();
        const QByteArray digits = QByteArray::number(token, 16).rightJustified(tokenDigits, '0');
        auto writer = std::make_shared<WriterLock>(lockPath(folder, digits), token);
        // Stale only once its holder is gone, however long it is held: a copy onto a slow stick
        // takes minutes.
        writer->lock.setStaleLockTime(0);
        if (writer->lock.tryLock(0))
            return writer;
        if (writer->lock.error() != QLockFile::LockFailedError)
            return nullptr;
    }
    return nullptr;
}

// All of the program's temporary files in one folder share one lock, released with the last.
std::shared_ptr<WriterLock> writerLockFor(const QString &folder)
{
    static QMutex mutex;
    static QHash<QString, std::weak_ptr<WriterLock>> held;
    const QMutexLocker locker(&mutex);
    if (std::shared_ptr<WriterLock> writer = held.value(folder).lock())
        return writer;
    held.removeIf([](const auto &entry) { return entry.value().expired(); });
    std::shared_ptr<WriterLock> writer = takeWriterLock(folder);
    if (writer)
        held.insert(folder, writer);
    return writer;
}

// The token of the writer whose file this is, for the program's temporary files, for what
// QSaveFile left of writing one (the name and ".XXXXXX", six letters) and for writers' locks;
// empty for every other name.
QByteArray writerToken(QByteArrayView name)
{
    if (name.startsWith(lockPrefix) && name.endsWith(lockSuffix)) {
        const QByteArrayView token = name.sliced(lockPrefix.size()).chopped(lockSuffix.size());
        const auto isDigit = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
        return token.size() == tokenDigits && std::all_of(token.cbegin(), token.cend(), isDigit) ? token.toByteArray()
                                                                                                 : QByteArray();
    }
    QByteArrayView number = native::leftoverNumber(name);
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (number.isEmpty() && name.size() > 7 && name[name.size() - 7] == '.'
        && std::all_of(name.cend() - 6, name.cend(), isLetter))
        number = native::leftoverNumber(name.chopped(7));
    return number.first(std::min(number.size(), tokenDigits)).toByteArray();
}

} // namespace

std::optional<TemporaryFile> reserveTemporary(const Folder &folder, Temporary kind)
{
    if (!folder.isOpen())
        return std::nullopt;
    std::shared_ptr<WriterLock> writer = writerLockFor(folder.path());
    if (!writer)
        return std::nullopt;
    const quint64 number = (quint64(writer->token) << 32) | writer->made.fetch_add(1);
    TemporaryFile file;
    file.name = temporaryName(kind, number);
    file.path = joinPath(folder.path(), QString::fromLatin1(file.name));
    file.writer = std::move(writer);
    return file;
}

bool removeLeftovers(const Folder &folder)
{
    if (!folder.isOpen())
        return false;
    QHash<QByteArray, QStringList> byWriter;
    QDirIterator it(folder.path(), QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (it.fileInfo().isSymLink() || !it.fileInfo().isFile())
            continue;
        if (const QByteArray token = writerToken(QFile::encodeName(it.fileName())); !token.isEmpty())
            byWriter[token].append(it.filePath());
    }
    bool removed = false;
    for (auto writer = byWriter.cbegin(); writer != byWriter.cend(); ++writer) {
        // A lock that can be taken has no writer any more: QLockFile takes over a lock only from
        // a program that no longer runs on this computer. One held on another computer (a
        // network share) stays, and so do its files.
        QLockFile lock(lockPath(folder.path(), writer.key()));
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0))
            continue;
        for (const QString &path : writer.value()) {
            if (QFileInfo(path).fileName() != QFileInfo(lock.fileName()).fileName())
                removed = QFile::remove(path) || removed;
        }
    }
    return removed;
}

bool native::withProbeFile(const Folder &folder, const std::function<void(QByteArray &name)> &ask)
{
    const std::optional<TemporaryFile> probe = reserveTemporary(folder, Temporary::Probe);
    if (!probe)
        return false;
    QFile made(probe->path);
    if (!made.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    made.close();
    QByteArray name = probe->name;
    ask(name);
    QFile::remove(joinPath(folder.path(), QFile::decodeName(name)));
    return true;
}

bool native::renameWithin(const Folder &folder, const QByteArray &from, const QByteArray &to)
{
    return QFile::rename(joinPath(folder.path(), QFile::decodeName(from)),
                         joinPath(folder.path(), QFile::decodeName(to)));
}

} // namespace tonvola::fs
