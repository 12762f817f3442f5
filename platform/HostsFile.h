#pragma once

#include "platform/NetTables.h"

#include <QString>

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// The IPv4 and IPv6 lines of a hosts file ("address name aliases... # comment"). Load() reads the
// file again only when it has changed since the last read; the text is kept as read, with an index
// of the first name of each line sorted by address.
class HostsFile {
  public:
    explicit HostsFile(std::string path = "/etc/hosts") : m_path(std::move(path)) {}

    void Load();
    // Takes `text` as the file's content (Load's second half; for tests and fuzzing).
    void SetText(std::string text);
    // The first name of the first line of `addr` (network order).
    std::optional<QString> NameOf(std::uint32_t addr) const;
    std::optional<QString> NameOf(const Ipv6Bytes& addr) const;
    // The addresses of the lines that list `name` (as name or alias), in file order.
    std::vector<std::uint32_t> AddressesOf(const QString& name) const;

  private:
    struct Entry {
        std::uint32_t addr;  // host order, for sorting
        std::uint32_t line;  // position in the file, so that the first line wins
        std::uint32_t nameAt;
        std::uint32_t nameLength;
    };
    struct Entry6 {
        Ipv6Bytes addr;
        std::uint32_t line;
        std::uint32_t nameAt;
        std::uint32_t nameLength;
    };
    // Calls f(addr, words) for each IPv4 line and six(addr, words) for each IPv6 line; words are
    // (offset, length) pairs in m_text.
    template <typename F, typename G>
    void ForEachLine(F f, G six) const;

    std::string m_path;
    bool m_loaded = false;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    off_t m_size = 0;
    timespec m_mtime{};
    std::string m_text;
    std::vector<Entry> m_entries;
    std::vector<Entry6> m_entries6;
};

}  // namespace qv
