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
    QHash<QByteArray, qint64> last;
    while (const std::optional<QByteArrayView> line = nextLine()) {
        const qsizetype space = line->indexOf(' ');
        const qint64 run = space > 0 ? line->first(space).toLongLong(&ok) : -1;
        // A garbled memory is no memory: half of it would order the rest wrongly.
        if (!ok || run < 1 || run > count || space + 1 >= line->size())
            return;
        last.insert(unescaped(line->sliced(space + 1)), run);
    }
    if (!rest.isEmpty())
        return;
    m_runs = count;
    m_last = std::move(last);
}

QString MixMemory::save(qsizetype count, const std::function<FileName(qsizetype)> &nameAt,
                        const std::function<bool(qsizetype)> &onPlayer)
{
    const qint64 run = thisRun();
    QByteArray content = header;
    content += m_pair.toHex() + '\n';
    content += "runs " + QByteArray::number(run) + '\n';
    QHash<QByteArray, qint64> last;
    last.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const FileName name = nameAt(i);
        const qint64 was = onPlayer(i) ? run : lastRun(name);
        if (was < 1)
            continue;
        content += QByteArray::number(was) + ' ';
        appendEscaped(content, name.native());
        content += '\n';
        last.insert(name.native(), was);
    }
    if (!QDir().mkpath(folder()))
        return QStringLiteral("Der Ordner %1 kann nicht angelegt werden").arg(folder());
    if (const FileResult written = fs::replaceFile(m_path, content); !written.ok())
        return written.reason;
    m_runs = run;
    m_last = std::move(last);
    return {};
}

} // namespace tonvola
