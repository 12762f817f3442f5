#include "platform/HostsFile.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace qv {
namespace {

// Host names longer than this are not taken (the system's limit for a returned name).
constexpr std::size_t kMaxName = 1024;
// The most of a hosts file that is read: a link to a device that never ends costs no more.
constexpr std::size_t kMaxText = 16u << 20;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

template <typename F, typename G>
void HostsFile::ForEachLine(F f, G six) const {
    const char* const base = m_text.data();
    const char* p = base;
    const char* const end = p + m_text.size();
    std::vector<std::pair<std::uint32_t, std::uint32_t>> words;
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', end - p));
        eol = eol ? eol : end;
        const char* hash = static_cast<const char*>(std::memchr(p, '#', eol - p));
        const char* stop = hash ? hash : eol;
        words.clear();
        for (const char* w = p; w < stop;) {
            while (w < stop && IsBlank(*w)) {
                ++w;
            }
            const char* e = w;
            while (e < stop && !IsBlank(*e)) {
                ++e;
            }
            if (e > w) {
                words.emplace_back(static_cast<std::uint32_t>(w - base),
                                   static_cast<std::uint32_t>(e - w));
            }
            w = e;
        }
        p = eol + 1;
        char text[INET6_ADDRSTRLEN] = {};
        in_addr addr{};
        Ipv6Bytes addr6{};
        if (words.size() < 2 || words[0].second >= sizeof text) {
            continue;
        }
        std::memcpy(text, base + words[0].first, words[0].second);
        if (inet_pton(AF_INET, text, &addr) == 1) {
            f(addr.s_addr, words);
        } else if (inet_pton(AF_INET6, text, addr6.data()) == 1) {
            six(addr6, words);
        }
    }
}

void HostsFile::Load() {
    struct stat st {};
    // Only a regular file is read: a FIFO would hold the refresh, a device never end.
    if (stat(m_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        m_text.clear();
        m_entries.clear();
        m_entries6.clear();
        m_loaded = false;
        return;
    }
    if (m_loaded && st.st_dev == m_dev && st.st_ino == m_ino && st.st_size == m_size &&
        st.st_mtim.tv_sec == m_mtime.tv_sec && st.st_mtim.tv_nsec == m_mtime.tv_nsec) {
        return;
    }
    m_loaded = true;
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    m_size = st.st_size;
    m_mtime = st.st_mtim;

    std::string text;
    // Opened without waiting, and read only when it is still a regular file.
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat opened {};
    if (fd >= 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
        char chunk[65536];
        for (ssize_t n; text.size() < kMaxText && (n = ::read(fd, chunk, sizeof chunk)) != 0;) {
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                break;
            }
            text.append(chunk, std::min(std::size_t(n), kMaxText - text.size()));
        }
    }
    if (fd >= 0) {
        ::close(fd);
    }
    SetText(std::move(text));
}

void HostsFile::SetText(std::string text) {
    m_text = std::move(text);
    m_entries.clear();
    m_entries6.clear();
    std::uint32_t line = 0;
    ForEachLine(
        [&](std::uint32_t addr, const auto& words) {
            if (words[1].second <= kMaxName) {
                m_entries.push_back({ntohl(addr), line++, words[1].first, words[1].second});
            }
        },
        [&](const Ipv6Bytes& addr, const auto& words) {
            if (words[1].second <= kMaxName) {
                m_entries6.push_back({addr, line++, words[1].first, words[1].second});
            }
        });
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry& x, const Entry& y) {
        return x.addr != y.addr ? x.addr < y.addr : x.line < y.line;
    });
    std::sort(m_entries6.begin(), m_entries6.end(), [](const Entry6& x, const Entry6& y) {
        return x.addr != y.addr ? x.addr < y.addr : x.line < y.line;
    });
}

std::optional<QString> HostsFile::NameOf(const Ipv6Bytes& addr) const {
    const auto it =
        std::lower_bound(m_entries6.begin(), m_entries6.end(), addr,
                         [](const Entry6& e, const Ipv6Bytes& k) { return e.addr < k; });
    if (it == m_entries6.end() || it->addr != addr) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(m_text.data() + it->nameAt,
                                  static_cast<qsizetype>(it->nameLength));
}

std::optional<QString> HostsFile::NameOf(std::uint32_t addr) const {
    const std::uint32_t key = ntohl(addr);
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), key,
                                     [](const Entry& e, std::uint32_t k) { return e.addr < k; });
    if (it == m_entries.end() || it->addr != key) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(m_text.data() + it->nameAt,
                                  static_cast<qsizetype>(it->nameLength));
}

std::vector<std::uint32_t> HostsFile::AddressesOf(const QString& name) const {
    const QByteArray wanted = name.toLocal8Bit();
    std::vector<std::uint32_t> found;
    ForEachLine(
        [&](std::uint32_t addr, const auto& words) {
            for (std::size_t i = 1; i < words.size(); ++i) {
                if (qstrnicmp(m_text.data() + words[i].first, words[i].second, wanted.constData(),
                              wanted.size()) == 0) {
                    found.push_back(addr);
                    return;
                }
            }
        },
        [](const Ipv6Bytes&, const auto&) {});
    return found;
}

}  // namespace qv
