#include "platform/WrittenRecord.h"

#include <QDateTime>
#include <QFile>
#include <QLoggingCategory>

#include <array>
#include <cstdlib>

namespace tonvola::fs {

namespace {

Q_LOGGING_CATEGORY(lcRecord, "tonvola.record")

constexpr char recordName[] = ".tonvola-written";

// A modification time kept to two seconds (FAT) still counts as the one written.
constexpr qint64 timeSlackNs = 2000000000;
// A copy whose modification time was not written yet shows the time of its writing; the record
// notes it moments later.
constexpr qint64 writingSlackS = 5;

QByteArray copyLine(const QByteArray &name, qint64 size, qint64 modifiedNs, qint64 writtenAtS)
{
    return "+ " + QByteArray::number(size) + ' ' + QByteArray::number(modifiedNs) + ' ' + QByteArray::number(writtenAtS)
           + ' ' + name.toHex() + '\n';
}

// A line of its own, which a record reader that does not know it passes over as garbled.
QByteArray originLine(const QByteArray &name, const QByteArray &origin)
{
    return "= " + name.toHex() + ' ' + origin.toHex() + '\n';
}

QByteArray removalLine(const QByteArray &name)
{
    return "- " + name.toHex() + '\n';
}

} // namespace

QByteArrayView WrittenRecord::header()
{
    return "tonvola-written 1\n";
}

void WrittenRecord::read()
{
    QFile file;
    if (!openForReading(*m_folder, fileName(), file).ok())
        return;
    // A record never grows large; one much larger is no record of the program's.
    constexpr qint64 largest = qint64(64) * 1024 * 1024;
    if (file.size() > largest || file.readLine() != header())
        return;
    // Line by line, so that a record of 100,000 copies never sits in memory beside its names.
    // A line cut short by a power cut, or garbled, is passed over.
    while (!file.atEnd())
        readLine(file.readLine());
}

void WrittenRecord::readLine(QByteArrayView line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    ++m_lines;
    std::array<QByteArrayView, 6> fields;
    qsizetype count = 0;
    for (qsizetype from = 0; count < qsizetype(fields.size());) {
        const qsizetype space = line.indexOf(' ', from);
        fields[count++] = line.sliced(from, (space < 0 ? line.size() : space) - from);
        if (space < 0)
            break;
        from = space + 1;
    }
    if (count == 2 && fields[0] == "-") {
        const QByteArray name = QByteArray::fromHex(fields[1].toByteArray());
        m_items.remove(name);
        m_origins.remove(name);
        return;
    }
    if (count == 3 && fields[0] == "=" && !fields[2].isEmpty()) {
        const QByteArray name = QByteArray::fromHex(fields[1].toByteArray());
        if (m_items.contains(name))
            m_origins.insert(name, QByteArray::fromHex(fields[2].toByteArray()));
        return;
    }
    if (count != 5 || fields[0] != "+" || fields[4].isEmpty())
        return;
    bool sizeOk = false;
    bool timeOk = false;
    bool writtenOk = false;
    const Item item{fields[1].toLongLong(&sizeOk), fields[2].toLongLong(&timeOk), fields[3].toLongLong(&writtenOk)};
    if (sizeOk && timeOk && writtenOk && item.size >= 0) {
        const QByteArray name = QByteArray::fromHex(fields[4].toByteArray());
        m_items.insert(name, item);
        m_origins.remove(name);
    }
}

FileName WrittenRecord::fileName()
{
    return FileName::fromNative(recordName);
}

qint64 WrittenRecord::growthFor(const FileName &name, bool copy)
{
    // "+ SIZE MTIME WRITTEN HEX\n" with numbers of at most 20 digits, or "- HEX\n".
    const qint64 hex = 2 * name.native().size();
    return copy ? 2 + 3 * 21 + hex + 1 : 2 + hex + 1;
}

qint64 WrittenRecord::headerSize()
{
    return header().size();
}

bool WrittenRecord::isBrokenCopy(const FileName &name, const Entry &now) const
{
    const auto found = m_items.constFind(name.native());
    if (found == m_items.cend() || !now.isFile() || now.size >= found->size)
        return false;
    // Shorter than written. It is the program's copy while its time is the one the copy got or
    // the time of its writing; a file the user put there since would be younger.
    return std::llabs(now.modifiedNs - found->modifiedNs) < timeSlackNs
           || now.modifiedNs / 1000000000 <= found->writtenAtS + writingSlackS;
}

bool WrittenRecord::vouchesFor(const FileName &name, const Entry &onPlayer, const Entry &inCollection) const
{
    const auto found = m_items.constFind(name.native());
    if (found == m_items.cend() || !onPlayer.isFile() || !inCollection.isFile())
        return false;
    // A copy takes its source's size and time, so the record's are both files' own.
    const auto asWritten = [&found](const Entry &entry) {
        return entry.size == found->size && std::llabs(entry.modifiedNs - found->modifiedNs) < timeSlackNs;
    };
    return asWritten(onPlayer) && asWritten(inCollection);
}

void WrittenRecord::append(const QByteArray &lines, qsizetype count)
{
    if (!m_folder || !m_folder->isOpen() || lines.isEmpty())
        return;
    // Without a record the program only knows less; the copies are what matters.
    if (const QString problem = appendLine(lines); !problem.isEmpty())
        qCWarning(lcRecord) << "record of written copies not kept:" << problem;
    m_lines += count;
}

void WrittenRecord::noteCopies(const QList<std::pair<FileName, Entry>> &copies, const QList<FileName> &takenBack,
                               const QList<QByteArray> &origins)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QByteArray lines;
    qsizetype count = 0;
    for (const FileName &name : takenBack) {
        m_origins.remove(name.native());
        if (m_items.remove(name.native())) {
            lines += removalLine(name.native());
            ++count;
        }
    }
    for (qsizetype i = 0; i < copies.size(); ++i) {
        const auto &[name, copy] = copies[i];
        m_items.insert(name.native(), {copy.size, copy.modifiedNs, now});
        lines += copyLine(name.native(), copy.size, copy.modifiedNs, now);
        m_origins.remove(name.native());
        if (i < origins.size() && !origins[i].isEmpty()) {
            m_origins.insert(name.native(), origins[i]);
            lines += originLine(name.native(), origins[i]);
            ++count;
        }
    }
    append(lines, count + copies.size());
}

void WrittenRecord::noteRemoved(const FileName &name)
{
    m_origins.remove(name.native());
    if (m_items.remove(name.native()))
        append(removalLine(name.native()));
}

bool WrittenRecord::keepOnly(const std::function<bool(const FileName &)> &present)
{
    bool forgot = false;
    for (auto it = m_items.begin(); it != m_items.end();) {
        if (present(FileName::fromNative(it.key()))) {
            ++it;
        } else {
            m_origins.remove(it.key());
            it = m_items.erase(it);
            forgot = true;
        }
    }
    // A name that is gone must not outlive it in the record: a file of the user's may take it
    // later. Otherwise the record is rewritten only once it has grown much longer than needed.
    if (!m_folder || !m_folder->isOpen() || (!forgot && m_lines <= 2 * m_items.size() + 16))
        return false;
    QByteArray content = header().toByteArray();
    for (auto it = m_items.cbegin(); it != m_items.cend(); ++it) {
        content += copyLine(it.key(), it->size, it->modifiedNs, it->writtenAtS);
        if (const auto origin = m_origins.constFind(it.key()); origin != m_origins.cend())
            content += originLine(it.key(), *origin);
    }
    if (const QString problem = replaceWith(content); !problem.isEmpty()) {
        qCWarning(lcRecord) << "record of written copies not tidied:" << problem;
        return false;
    }
    m_lines = m_items.size();
    return true;
}

} // namespace tonvola::fs
