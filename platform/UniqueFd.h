#pragma once

#include <unistd.h>

#include <cerrno>

namespace qv {

// Owns a file descriptor and closes it on every way out.
class UniqueFd {
  public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    // Gives the descriptor up to the caller, who closes it.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

    // Closes now; returns 0, or the errno of a failed close (a delayed write error shows up here).
    int Close() {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0 ? 0 : errno;
    }

  private:
    int m_fd;
};

}  // namespace qv
