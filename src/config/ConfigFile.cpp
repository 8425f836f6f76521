#include "config/ConfigFile.h"

#include "platform/Path.h"
#include "platform/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace tonvola::config {

namespace {

// Reads one field the way quoted records have always been read back: a quoted field runs
// to its closing quote, commas included; an unquoted one ends at a comma or line end.
class FieldReader
{
public:
    explicit FieldReader(const QByteArray &bytes) : m_bytes(bytes) {}

    std::optional<QByteArray> next()
    {
        while (m_pos < m_bytes.size() && (at() == ' ' || at() == '\t'))
            ++m_pos;
        if (m_pos >= m_bytes.size())
            return std::nullopt;

        QByteArray field;
        if (at() == '"') {
            ++m_pos;
            const qsizetype close = m_bytes.indexOf('"', m_pos);
            const qsizetype end = close < 0 ? m_bytes.size() : close;
            field = m_bytes.mid(m_pos, end - m_pos);
            m_pos = close < 0 ? m_bytes.size() : close + 1;
            while (m_pos < m_bytes.size() && at() != ',' && !atLineEnd())
                ++m_pos;
            skipSeparator();
        } else {
            const qsizetype start = m_pos;
            while (m_pos < m_bytes.size() && at() != ',' && !atLineEnd())
                ++m_pos;
            field = m_bytes.mid(start, m_pos - start).trimmed();
            skipSeparator();
        }
        return field;
    }

private:
    [[nodiscard]] char at() const { return m_bytes.at(m_pos); }
    [[nodiscard]] bool atLineEnd() const { return at() == '\r' || at() == '\n'; }

    void skipSeparator()
    {
        if (m_pos >= m_bytes.size())
            return;
        // A comma, or a line end of CR LF, CR or LF.
        const bool carriageReturn = at() == '\r';
        if (at() == ',' || carriageReturn || at() == '\n')
            ++m_pos;
        if (carriageReturn && m_pos < m_bytes.size() && at() == '\n')
            ++m_pos;
    }

    const QByteArray &m_bytes;
    qsizetype m_pos = 0;
};

QByteArray record(const QString &folder)
{
    return '"' + fs::nativePath(folder + QDir::separator()) + "\"\r\n";
}

} // namespace

QString defaultPath()
{
    return QStringLiteral("config.dat");
}

QString shownPath()
{
    return QDir::toNativeSeparators(QFileInfo(defaultPath()).absoluteFilePath());
}

QString startFolder()
{
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QFileInfo(music).isDir())
        return music;
    return QDir::homePath();
}

std::optional<StoredFolders> parse(const QByteArray &bytes)
{
    FieldReader reader(bytes);
    const std::optional<QByteArray> source = reader.next();
    if (!source)
        return std::nullopt;
    const std::optional<QByteArray> player = reader.next();
    if (!player)
        return std::nullopt;
    return StoredFolders{fs::pathFromNative(*source), fs::pathFromNative(*player)};
}

std::optional<StoredFolders> load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parse(file.readAll());
}

QByteArray serialize(const QString &source, const QString &player)
{
    return record(source) + record(player);
}

fs::FileResult save(const QString &source, const QString &player, const QString &path)
{
    return fs::replaceFile(path, serialize(source, player));
}

} // namespace tonvola::config
