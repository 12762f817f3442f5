#include "platform/HostsFile.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace qv {
namespace {

// Host names longer than this are not taken (the system's limit for a returned name).
constexpr std::size_t kMaxName = 1024;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

void HostsFile::Load() {
    struct stat st {};
    if (stat(m_path.c_str(), &st) != 0) {
        m_entries.clear();
        m_byAddress.clear();
        m_bLoaded = false;
        return;
    }
    if (m_bLoaded && st.st_dev == m_dev && st.st_ino == m_ino && st.st_size == m_size &&
        st.st_mtim.tv_sec == m_mtime.tv_sec && st.st_mtim.tv_nsec == m_mtime.tv_nsec) {
        return;
    }
    m_entries.clear();
    m_byAddress.clear();
    m_bLoaded = true;
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    m_size = st.st_size;
    m_mtime = st.st_mtim;

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(m_path.c_str(), "re"),
                                                         std::fclose);
    if (!file) {
        return;
    }
    std::string text;
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) {
        text.append(chunk, n);
    }
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', end - p));
        eol = eol ? eol : end;
        const char* hash = static_cast<const char*>(std::memchr(p, '#', eol - p));
        const char* stop = hash ? hash : eol;
        std::vector<std::string> words;
        for (const char* w = p; w < stop;) {
            while (w < stop && IsBlank(*w)) {
                ++w;
            }
            const char* e = w;
            while (e < stop && !IsBlank(*e)) {
                ++e;
            }
            if (e > w) {
                words.emplace_back(w, e);
            }
            w = e;
        }
        p = eol + 1;
        in_addr addr{};
        if (words.size() < 2 || words[0].size() >= INET_ADDRSTRLEN ||
            inet_pton(AF_INET, words[0].c_str(), &addr) != 1 || words[1].size() > kMaxName) {
            continue;
        }
        words.erase(words.begin());
        m_byAddress.emplace(addr.s_addr, m_entries.size());
        m_entries.push_back({addr.s_addr, std::move(words)});
    }
}

std::optional<QString> HostsFile::NameOf(std::uint32_t addr) const {
    const auto it = m_byAddress.find(addr);
    if (it == m_byAddress.end()) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(m_entries[it->second].names.front());
}

std::vector<std::uint32_t> HostsFile::AddressesOf(const QString& name) const {
    const QByteArray wanted = name.toLocal8Bit();
    std::vector<std::uint32_t> found;
    for (const Entry& e : m_entries) {
        for (const std::string& n : e.names) {
            if (qstrnicmp(n.data(), static_cast<qsizetype>(n.size()), wanted.constData(),
                          wanted.size()) == 0) {
                found.push_back(e.addr);
                break;
            }
        }
    }
    return found;
}

}  // namespace qv
