#include "platform/WrittenRecord.h"

#include <QFile>
#include <QSaveFile>

namespace tonvola::fs {

// The record, open for appending from its first new line on.
struct WrittenRecord::Log {
    QFile file;
};

WrittenRecord::WrittenRecord() = default;

WrittenRecord::WrittenRecord(const Folder &folder) : m_folder(&folder)
{
    read();
}

WrittenRecord::~WrittenRecord() = default;

QString WrittenRecord::appendLine(const QByteArray &line)
{
    if (!m_log) {
        auto log = std::make_unique<Log>();
        log->file.setFileName(m_folder->pathOf(fileName()).text());
        if (!log->file.open(QIODevice::WriteOnly | QIODevice::Append))
            return log->file.errorString();
        if (log->file.size() == 0 && log->file.write(header().data(), header().size()) != header().size())
            return log->file.errorString();
        m_log = std::move(log);
    }
    // Each line goes to the system at once, as the POSIX path writes it.
    if (m_log->file.write(line) != line.size() || !m_log->file.flush())
        return m_log->file.errorString();
    return {};
}

int WrittenRecord::handle() const
{
    return -1;
}

QString WrittenRecord::replaceWith(const QByteArray &content)
{
    // QSaveFile puts the new record in the old one's place once it is whole on the medium.
    QSaveFile out(m_folder->pathOf(fileName()).text());
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit())
        return out.errorString();
    m_log.reset();
    return {};
}

} // namespace tonvola::fs
