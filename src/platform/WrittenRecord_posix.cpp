#include "platform/WrittenRecord.h"

#include "platform/Medium.h"
#include "platform/Native_p.h"
#include "platform/Temporary.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tonvola::fs {

// The record, open for appending from its first new line on.
struct WrittenRecord::Log {
    UniqueFd file;
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
        UniqueFd file(::openat(m_folder->handle(), fileName().native().constData(),
                               O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644));
        if (!file.valid())
            return qt_error_string(errno);
        struct stat st {};
        if (::fstat(file.get(), &st) == 0 && st.st_size == 0
            && ::write(file.get(), header().data(), static_cast<size_t>(header().size())) != header().size())
            return qt_error_string(errno);
        m_log = std::make_unique<Log>(Log{std::move(file)});
    }
    if (::write(m_log->file.get(), line.constData(), static_cast<size_t>(line.size())) != line.size())
        return qt_error_string(errno);
    return {};
}

int WrittenRecord::handle() const
{
    return m_log ? m_log->file.get() : -1;
}

QString WrittenRecord::replaceWith(const QByteArray &content)
{
    const int dir = m_folder->handle();
    QByteArray temporary;
    UniqueFd out = createLocked(dir, Temporary::Copy, temporary);
    bool written = out.valid();
    for (qsizetype done = 0; written && done < content.size();) {
        const ssize_t n = ::write(out.get(), content.constData() + done, static_cast<size_t>(content.size() - done));
        written = n > 0;
        done += n;
    }
    // The new record takes the old one's place only once it is whole on the medium.
    if (written && flushFiles(*m_folder, {out.get()}).ok()
        && ::renameat(dir, temporary.constData(), dir, fileName().native().constData()) == 0) {
        m_log.reset();
        return {};
    }
    QString problem = qt_error_string(errno);
    if (out.valid())
        ::unlinkat(dir, temporary.constData(), 0);
    return problem;
}

} // namespace tonvola::fs
