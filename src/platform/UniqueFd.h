#pragma once

#include <unistd.h>

namespace tonvola::fs {

// Owns one open file descriptor and closes it once.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other) {
            if (m_fd >= 0)
                ::close(m_fd);
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }

    [[nodiscard]] int get() const { return m_fd; }
    // Gives up ownership, for a caller that closes the descriptor itself.
    [[nodiscard]] int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    [[nodiscard]] bool valid() const { return m_fd >= 0; }
    // Closing reports the last write errors of some file systems, so it is checked.
    [[nodiscard]] int close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc;
    }

private:
    int m_fd = -1;
};

} // namespace tonvola::fs
