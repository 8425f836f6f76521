#include "mix/MixMemory.h"

#include "platform/SaveFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <optional>

namespace tonvola {

namespace {

constexpr char header[] = "tonvola-memory 1\n";

// Names are bytes; only the two that end or start an escape need one.
void appendEscaped(QByteArray &out, const QByteArray &name)
{
    if (!name.contains('\\') && !name.contains('\n')) {
        out += name;
        return;
    }
    for (const char c : name) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

QByteArray unescaped(QByteArrayView text)
{
    if (!text.contains('\\'))
        return text.toByteArray();
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            out += text[++i] == 'n' ? '\n' : text[i];
            continue;
        }
        out += text[i];
    }
    return out;
}

} // namespace

MixMemory::MixMemory(const QByteArray &collection, const QByteArray &player) : m_pair(collection + '\0' + player)
{
    const QByteArray id = QCryptographicHash::hash(m_pair, QCryptographicHash::Sha256).toHex().left(32);
    m_path = folder() + QStringLiteral("/memory-") + QString::fromLatin1(id);
    read();
}

QString MixMemory::folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(state + QStringLiteral("/tonvola"));
}

void MixMemory::read()
{
    QFile file(m_path);
    // 100,000 names take a few MB; a much larger file is none of ours.
    constexpr qint64 largest = qint64(64) * 1024 * 1024;
    if (!file.open(QIODevice::ReadOnly) || file.size() > largest)
        return;
    const QByteArray content = file.readAll();
    QByteArrayView rest(content);
    const auto nextLine = [&rest]() -> std::optional<QByteArrayView> {
        const qsizetype end = rest.indexOf('\n');
        if (end < 0)
            return std::nullopt;
        const QByteArrayView line = rest.first(end);
        rest = rest.sliced(end + 1);
        return line;
    };
    if (!rest.startsWith(header))
        return;
    rest = rest.sliced(qstrlen(header));
    // The pair is written out whole, so that another pair's file, by whatever chance it has the
    // same name, is never taken for this one's.
    const std::optional<QByteArrayView> pair = nextLine();
    const std::optional<QByteArrayView> runs = nextLine();
    if (!pair || !runs || *pair != m_pair.toHex() || !runs->startsWith("runs "))
        return;
    bool ok = false;
    const qint64 count = runs->sliced(5).toLongLong(&ok);
    if (!ok || count < 0)
        return;
    qint64 folderEntries = -1;
    if (rest.startsWith("entries ")) {
        const std::optional<QByteArrayView> entries = nextLine();
        folderEntries = entries ? entries->sliced(8).toLongLong(&ok) : 0;
        if (!ok || folderEntries < 1)
            return;
    }
    QHash<QByteArray, Stay> stays;
    stays.reserve(content.count('\n'));
    while (const std::optional<QByteArrayView> line = nextLine()) {
        // A garbled memory is no memory: half of it would order the rest wrongly.
        if (!readStay(*line, count, stays))
            return;
    }
    if (!rest.isEmpty())
        return;
    m_runs = count;
    m_folderEntries = folderEntries;
    m_stays = std::move(stays);
}

bool MixMemory::readStay(QByteArrayView line, qint64 runs, QHash<QByteArray, Stay> &stays)
{
    // "LAST SINCE NAME"
    const qsizetype first = line.indexOf(' ');
    const qsizetype second = first > 0 ? line.indexOf(' ', first + 1) : -1;
    bool ok = false;
    bool sinceOk = false;
    const Stay stay{second > 0 ? line.first(first).toLongLong(&ok) : -1,
                    second > 0 ? line.sliced(first + 1, second - first - 1).toLongLong(&sinceOk) : -1};
    if (!ok || !sinceOk || stay.last < 1 || stay.last > runs || stay.since < 1 || stay.since > stay.last
        || second + 1 >= line.size())
        return false;
    stays.insert(unescaped(line.sliced(second + 1)), stay);
    return true;
}

fs::FileResult MixMemory::save(qsizetype count, const std::function<fs::FileName(qsizetype)> &nameAt,
                               const std::function<bool(qsizetype)> &onPlayer)
{
    const qint64 run = thisRun();
    QByteArray content = header;
    // Most names are short; one growth of the buffer at most.
    content.reserve(count * 48);
    content += m_pair.toHex() + '\n';
    content += "runs " + QByteArray::number(run) + '\n';
    if (m_folderEntries > 0)
        content += "entries " + QByteArray::number(m_folderEntries) + '\n';
    // Changed in place, one look-up per file: a second table of 100,000 names would cost as
    // much again. Whatever the write's outcome, this is now the memory after the run.
    m_stays.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const fs::FileName name = nameAt(i);
        const bool there = onPlayer(i);
        auto found = m_stays.find(name.native());
        if (found == m_stays.end()) {
            if (!there)
                continue;
            found = m_stays.insert(name.native(), Stay{});
        }
        Stay &stay = *found;
        if (there) {
            // A stay goes on from the run before; otherwise it begins now.
            stay.since = stay.last == m_runs && stay.since > 0 ? stay.since : run;
            stay.last = run;
        }
        stay.savedIn = run;
        content += QByteArray::number(stay.last);
        content += ' ';
        content += QByteArray::number(stay.since);
        content += ' ';
        appendEscaped(content, name.native());
        content += '\n';
    }
    // Files that left the collection leave the memory.
    m_stays.removeIf([run](const auto &item) { return item.value().savedIn != run; });
    m_runs = run;
    // A folder that cannot be made leaves the file nowhere to go, and the write says why.
    QDir().mkpath(folder());
    return fs::replaceFile(m_path, content);
}

} // namespace tonvola
