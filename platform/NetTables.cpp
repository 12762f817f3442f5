#include "platform/NetTables.h"

#include <arpa/inet.h>
#include <linux/if_addr.h>
#include <linux/if_link.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace qv {

static_assert(kIpv6Temporary == IFA_F_TEMPORARY && kIpv6DadFailed == IFA_F_DADFAILED &&
              kIpv6Deprecated == IFA_F_DEPRECATED && kIpv6Tentative == IFA_F_TENTATIVE);

void SetPhysAddr(std::uint32_t& len, std::uint8_t (&dest)[kMaxPhysAddrLen], const void* bytes,
                 std::size_t size) {
    const std::size_t n = bytes ? std::min<std::size_t>(size, kMaxPhysAddrLen) : 0;
    std::memset(dest, 0, sizeof dest);
    if (n > 0) {
        std::memcpy(dest, bytes, n);
    }
    len = static_cast<std::uint32_t>(n);
}

void SetDescription(IfRow& row, const void* bytes, std::size_t size) {
    const std::size_t n = bytes ? std::min<std::size_t>(size, kMaxDescrLen) : 0;
    std::memset(row.description, 0, sizeof row.description);
    if (n > 0) {
        std::memcpy(row.description, bytes, n);
    }
    row.descriptionLength = static_cast<std::uint32_t>(n);
}

QString DottedAddress(std::uint32_t addr) {
    unsigned char b[4];
    std::memcpy(b, &addr, 4);
    // Written straight into the string's own storage, then cut to its length.
    QString dotted(15, Qt::Uninitialized);
    QChar* text = dotted.data();
    int n = 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned v = b[i];
        if (v >= 100) {
            text[n++] = QChar(u'0' + v / 100);
        }
        if (v >= 10) {
            text[n++] = QChar(u'0' + v / 10 % 10);
        }
        text[n++] = QChar(u'0' + v % 10);
        if (i < 3) {
            text[n++] = QLatin1Char('.');
        }
    }
    dotted.truncate(n);
    return dotted;
}

QString Ipv6Text(const Ipv6Bytes& addr) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, addr.data(), text, sizeof text);
    return QString::fromLatin1(text);
}

namespace {

template <typename Row>
TableCopy<Row> Failure(int err) {
    TableCopy<Row> copy;
    copy.status = err;
    copy.error = QString::fromLocal8Bit(std::strerror(err));
    return copy;
}

std::uint32_t MaskFromPrefix(unsigned prefix) {
    if (prefix == 0) {
        return 0;
    }
    prefix = std::min(prefix, 32u);
    return htonl(0xFFFFFFFFu << (32 - prefix));
}

std::uint32_t TypeFromState(int state) {
    if (state & (NUD_PERMANENT | NUD_NOARP)) {
        return kNetTypeStatic;
    }
    if (state & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE)) {
        return kNetTypeDynamic;
    }
    if (state & (NUD_FAILED | NUD_INCOMPLETE)) {
        return kNetTypeInvalid;
    }
    return kNetTypeOther;
}

// The attributes of a message after its fixed header, by type (the last one of a type wins).
struct Attributes {
    static constexpr int kMax = 32;
    const rtattr* at[kMax] = {};

    Attributes(const rtattr* rta, long len) {
        for (; RTA_OK(rta, len); rta = RTA_NEXT(rta, len)) {
            if (rta->rta_type < kMax) {
                at[rta->rta_type] = rta;
            }
        }
    }
    bool Ipv4(int type, std::uint32_t& out) const {
        const rtattr* a = type < kMax ? at[type] : nullptr;
        if (!a || RTA_PAYLOAD(a) != 4) {
            return false;
        }
        std::memcpy(&out, RTA_DATA(a), 4);
        return true;
    }
    bool U32(int type, std::uint32_t& out) const { return Ipv4(type, out); }
    bool Ipv6(int type, Ipv6Bytes& out) const {
        const rtattr* a = type < kMax ? at[type] : nullptr;
        if (!a || RTA_PAYLOAD(a) != out.size()) {
            return false;
        }
        std::memcpy(out.data(), RTA_DATA(a), out.size());
        return true;
    }
    const rtattr* operator[](int type) const { return type < kMax ? at[type] : nullptr; }
};

template <typename Header>
Attributes AttributesOf(const nlmsghdr* h) {
    const auto* fixed = static_cast<const Header*>(NLMSG_DATA(h));
    const auto* first = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(fixed) +
                                                        NLMSG_ALIGN(sizeof(Header)));
    return Attributes(
        first, static_cast<long>(h->nlmsg_len) - static_cast<long>(NLMSG_LENGTH(sizeof(Header))));
}

}  // namespace

NetlinkTables::NetlinkTables() = default;

NetlinkTables::~NetlinkTables() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

// Sends one dump request (a netlink header followed by `request`) and hands each message of the
// reply to `each`. Returns 0 or an errno value; on a socket failure the socket is opened anew for
// the next dump.
int NetlinkTables::Open() {
    if (m_fd >= 0) {
        return 0;
    }
    m_fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (m_fd < 0) {
        return errno;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        const int err = errno;
        close(m_fd);
        m_fd = -1;
        return err;
    }
    return 0;
}

int NetlinkTables::Dump(int type, const void* request, std::size_t size,
                        const std::function<void(const nlmsghdr*)>& each) {
    if (const int err = Open(); err != 0) {
        return err;
    }
    auto fail = [this](int err) {
        close(m_fd);
        m_fd = -1;
        return err;
    };
    struct {
        nlmsghdr header;
        char body[64];
    } message{};
    message.header.nlmsg_len = static_cast<std::uint32_t>(NLMSG_LENGTH(size));
    message.header.nlmsg_type = static_cast<std::uint16_t>(type);
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.header.nlmsg_seq = ++m_seq;
    std::memcpy(NLMSG_DATA(&message.header), request, std::min(size, sizeof message.body));
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (sendto(m_fd, &message, message.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
               sizeof kernel) < 0) {
        return fail(errno);
    }
    auto reserve = [this](std::size_t size) {
        if (size > m_bufferSize) {
            m_buffer.reset(new char[size]);
            m_bufferSize = size;
        }
    };
    reserve(65536);
    for (;;) {
        // The size of the next datagram first, so that none is ever cut.
        ssize_t n = recv(m_fd, m_buffer.get(), 0, MSG_PEEK | MSG_TRUNC);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n > 0) {
            reserve(static_cast<std::size_t>(n));
        }
        n = recv(m_fd, m_buffer.get(), m_bufferSize, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(errno);
        }
        auto len = static_cast<unsigned>(n);
        for (auto* h = reinterpret_cast<const nlmsghdr*>(m_buffer.get()); NLMSG_OK(h, len);
             h = NLMSG_NEXT(h, len)) {
            if (h->nlmsg_seq != m_seq) {
                continue;  // the rest of an earlier, abandoned dump
            }
            if (h->nlmsg_type == NLMSG_DONE) {
                return 0;
            }
            if (h->nlmsg_type == NLMSG_ERROR) {
                const auto* e = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
                return e->error ? -e->error : 0;
            }
            each(h);
        }
    }
}

// The addresses of `family`, ordered by address and then interface. `fill` reads the address
// into the row (false: the entry has none and is left out) and anything else of its own; `key`
// is the row's address in the order wanted.
template <typename Row, typename Fill, typename Key>
TableCopy<Row> NetlinkTables::Addresses(unsigned char family, Fill fill, Key key) {
    try {
        TableCopy<Row> copy;
        ifaddrmsg request{};
        request.ifa_family = family;
        const int err = Dump(RTM_GETADDR, &request, sizeof request, [&](const nlmsghdr* h) {
            const auto* ifa = static_cast<const ifaddrmsg*>(NLMSG_DATA(h));
            if (h->nlmsg_type != RTM_NEWADDR || ifa->ifa_family != family) {
                return;
            }
            Row row;
            if (!fill(AttributesOf<ifaddrmsg>(h), *ifa, row)) {
                return;
            }
            row.index = ifa->ifa_index;
            copy.rows.push_back(row);
        });
        if (err != 0) {
            return Failure<Row>(err);
        }
        std::stable_sort(copy.rows.begin(), copy.rows.end(), [&](const Row& x, const Row& y) {
            const auto ax = key(x), ay = key(y);
            return ax != ay ? ax < ay : x.index < y.index;
        });
        return copy;
    } catch (const std::bad_alloc&) {
        return Failure<Row>(ENOMEM);
    }
}

TableCopy<IpAddrRow> NetlinkTables::AddressTable() {
    return Addresses<IpAddrRow>(
        AF_INET,
        [](const Attributes& a, const ifaddrmsg& ifa, IpAddrRow& row) {
            if (!a.Ipv4(IFA_LOCAL, row.address) && !a.Ipv4(IFA_ADDRESS, row.address)) {
                return false;
            }
            row.mask = MaskFromPrefix(ifa.ifa_prefixlen);
            a.Ipv4(IFA_BROADCAST, row.broadcast);
            return true;
        },
        [](const IpAddrRow& row) { return ntohl(row.address); });
}

// The neighbour entries of `family`. `fill` reads the entry's address into the row (false: the
// entry has none and is left out) and anything else of its own; the rest is the same for both.
template <typename Row, typename Fill>
TableCopy<Row> NetlinkTables::Neighbours(unsigned char family, Fill fill) {
    try {
        TableCopy<Row> copy;
        ndmsg request{};
        request.ndm_family = family;
        const int err = Dump(RTM_GETNEIGH, &request, sizeof request, [&](const nlmsghdr* h) {
            const auto* nd = static_cast<const ndmsg*>(NLMSG_DATA(h));
            if (h->nlmsg_type != RTM_NEWNEIGH || nd->ndm_family != family) {
                return;
            }
            const Attributes a = AttributesOf<ndmsg>(h);
            Row row;
            if (!fill(a, *nd, row)) {
                return;
            }
            row.index = static_cast<std::uint32_t>(nd->ndm_ifindex);
            if (const rtattr* ll = a[NDA_LLADDR]) {
                SetPhysAddr(row.hardwareLength, row.hardware, RTA_DATA(ll), RTA_PAYLOAD(ll));
            }
            row.type = TypeFromState(nd->ndm_state);
            copy.rows.push_back(row);
        });
        if (err != 0) {
            return Failure<Row>(err);
        }
        return copy;
    } catch (const std::bad_alloc&) {
        return Failure<Row>(ENOMEM);
    }
}

TableCopy<IpNetRow> NetlinkTables::NetTable() {
    auto copy =
        Neighbours<IpNetRow>(AF_INET, [](const Attributes& a, const ndmsg& nd, IpNetRow& row) {
            row.noArp = (nd.ndm_state & NUD_NOARP) != 0;
            return a.Ipv4(NDA_DST, row.address);
        });
    if (copy.status == kNetTableOk && copy.rows.empty()) {
        auto none = Failure<IpNetRow>(ENODATA);
        none.status = kErrorNoData;
        return none;
    }
    return copy;
}

TableCopy<IfRow> NetlinkTables::InterfaceTable() {
    try {
        TableCopy<IfRow> copy;
        ifinfomsg request{};
        request.ifi_family = AF_UNSPEC;
        const int err = Dump(RTM_GETLINK, &request, sizeof request, [&](const nlmsghdr* h) {
            if (h->nlmsg_type != RTM_NEWLINK) {
                return;
            }
            const auto* ifi = static_cast<const ifinfomsg*>(NLMSG_DATA(h));
            const Attributes a = AttributesOf<ifinfomsg>(h);
            IfRow row;
            row.index = static_cast<std::uint32_t>(ifi->ifi_index);
            if (const rtattr* ll = a[IFLA_ADDRESS]) {
                SetPhysAddr(row.hardwareLength, row.hardware, RTA_DATA(ll), RTA_PAYLOAD(ll));
            }
            if (const rtattr* name = a[IFLA_IFNAME]) {
                const auto* text = static_cast<const char*>(RTA_DATA(name));
                SetDescription(row, text, strnlen(text, RTA_PAYLOAD(name)));
            }
            copy.rows.push_back(row);
        });
        if (err != 0) {
            return Failure<IfRow>(err);
        }
        std::sort(copy.rows.begin(), copy.rows.end(),
                  [](const auto& x, const auto& y) { return x.index < y.index; });
        return copy;
    } catch (const std::bad_alloc&) {
        return Failure<IfRow>(ENOMEM);
    }
}

TableCopy<DefaultGatewayRow> NetlinkTables::DefaultGateways() {
    try {
        std::vector<std::pair<std::uint32_t, DefaultGatewayRow>> found;  // (metric, gateway)
        rtmsg request{};
        request.rtm_family = AF_INET;
        request.rtm_table = RT_TABLE_MAIN;
        // With strict checking the kernel sends the main table only, not the local table's
        // route for every address; older kernels send every table, which the test below sorts out.
        if (const int err = Open(); err != 0) {
            return Failure<DefaultGatewayRow>(err);
        }
        const int on = 1, off = 0;
        const bool strict =
            setsockopt(m_fd, SOL_NETLINK, NETLINK_GET_STRICT_CHK, &on, sizeof on) == 0;
        const int err = Dump(RTM_GETROUTE, &request, sizeof request, [&](const nlmsghdr* h) {
            const auto* rt = static_cast<const rtmsg*>(NLMSG_DATA(h));
            if (h->nlmsg_type != RTM_NEWROUTE || rt->rtm_family != AF_INET ||
                rt->rtm_type != RTN_UNICAST || rt->rtm_dst_len != 0) {
                return;
            }
            const Attributes a = AttributesOf<rtmsg>(h);
            std::uint32_t table = rt->rtm_table, metric = 0, oif = 0;
            a.U32(RTA_TABLE, table);
            if (table != RT_TABLE_MAIN) {
                return;
            }
            a.U32(RTA_PRIORITY, metric);
            a.U32(RTA_OIF, oif);
            DefaultGatewayRow row;
            if (a.Ipv4(RTA_GATEWAY, row.address)) {
                row.index = oif;
                found.emplace_back(metric, row);
            }
            if (const rtattr* multi = a[RTA_MULTIPATH]) {
                auto len = static_cast<long>(RTA_PAYLOAD(multi));
                for (auto* nh = static_cast<const rtnexthop*>(RTA_DATA(multi));
                     len >= static_cast<long>(sizeof *nh) && nh->rtnh_len >= sizeof *nh &&
                     nh->rtnh_len <= len;
                     len -= RTNH_ALIGN(nh->rtnh_len), nh = RTNH_NEXT(nh)) {
                    const Attributes hop(RTNH_DATA(nh),
                                         static_cast<long>(nh->rtnh_len) - RTNH_LENGTH(0));
                    if (hop.Ipv4(RTA_GATEWAY, row.address)) {
                        row.index = static_cast<std::uint32_t>(nh->rtnh_ifindex);
                        found.emplace_back(metric, row);
                    }
                }
            }
        });
        if (strict && m_fd >= 0) {
            setsockopt(m_fd, SOL_NETLINK, NETLINK_GET_STRICT_CHK, &off, sizeof off);
        }
        if (err != 0) {
            return Failure<DefaultGatewayRow>(err);
        }
        std::stable_sort(found.begin(), found.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        TableCopy<DefaultGatewayRow> copy;
        for (const auto& f : found) {
            copy.rows.push_back(f.second);
        }
        return copy;
    } catch (const std::bad_alloc&) {
        return Failure<DefaultGatewayRow>(ENOMEM);
    }
}

TableCopy<Ipv6AddrRow> NetlinkTables::Ipv6AddressTable() {
    return Addresses<Ipv6AddrRow>(
        AF_INET6,
        [](const Attributes& a, const ifaddrmsg& ifa, Ipv6AddrRow& row) {
            if (!a.Ipv6(IFA_LOCAL, row.addr) && !a.Ipv6(IFA_ADDRESS, row.addr)) {
                return false;
            }
            row.prefixLength = ifa.ifa_prefixlen;
            row.flags = ifa.ifa_flags;
            a.U32(IFA_FLAGS, row.flags);  // all the flags, where the kernel sends them
            return true;
        },
        [](const Ipv6AddrRow& row) { return row.addr; });
}

TableCopy<Ipv6NetRow> NetlinkTables::Ipv6NetTable() {
    return Neighbours<Ipv6NetRow>(AF_INET6,
                                  [](const Attributes& a, const ndmsg& nd, Ipv6NetRow& row) {
                                      row.router = (nd.ndm_flags & NTF_ROUTER) != 0;
                                      return a.Ipv6(NDA_DST, row.addr);
                                  });
}

INetTables& DefaultNetTables() {
    static NetlinkTables tables;
    return tables;
}

}  // namespace qv
