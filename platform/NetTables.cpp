#include "platform/NetTables.h"

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <netlink/errno.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/link.h>
#include <netlink/route/neighbour.h>
#include <netlink/route/route.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace qv {

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
    std::memset(row.bDescr, 0, sizeof row.bDescr);
    if (n > 0) {
        std::memcpy(row.bDescr, bytes, n);
    }
    row.dwDescrLen = static_cast<std::uint32_t>(n);
}

QString DottedAddress(std::uint32_t addr) {
    unsigned char b[4];
    std::memcpy(b, &addr, 4);
    return QString::asprintf("%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

namespace {

struct SocketDeleter {
    void operator()(nl_sock* sock) const { nl_socket_free(sock); }
};
struct CacheDeleter {
    void operator()(nl_cache* cache) const { nl_cache_free(cache); }
};
using CachePtr = std::unique_ptr<nl_cache, CacheDeleter>;

QString NetlinkErrorText(int err) {
    return QString::fromLocal8Bit(nl_geterror(err));
}

template <typename Row>
TableCopy<Row> Failure(int status, const QString& text) {
    TableCopy<Row> copy;
    copy.status = status;
    copy.error = text;
    return copy;
}

template <typename Row>
TableCopy<Row> OutOfMemory() {
    return Failure<Row>(ENOMEM, QString::fromLocal8Bit(std::strerror(ENOMEM)));
}

// Opens a route socket and fills one cache with `alloc`. Returns 0 or a (negative) libnl error.
template <typename Alloc>
int LoadCache(Alloc alloc, CachePtr& out) {
    std::unique_ptr<nl_sock, SocketDeleter> sock(nl_socket_alloc());
    if (!sock) {
        return -NLE_NOMEM;
    }
    int err = nl_connect(sock.get(), NETLINK_ROUTE);
    if (err < 0) {
        return err;
    }
    nl_cache* cache = nullptr;
    err = alloc(sock.get(), &cache);
    if (err < 0) {
        return err;
    }
    out.reset(cache);
    return 0;
}

// Calls f for each object of the cache, cast to T.
template <typename T, typename F>
void ForEach(nl_cache* cache, F f) {
    for (nl_object* obj = nl_cache_get_first(cache); obj; obj = nl_cache_get_next(obj)) {
        f(reinterpret_cast<T*>(obj));
    }
}

// The four bytes of an IPv4 nl_addr, in network order.
bool Ipv4Bytes(nl_addr* addr, std::uint32_t& out) {
    if (!addr || nl_addr_get_family(addr) != AF_INET || nl_addr_get_len(addr) != 4) {
        return false;
    }
    std::memcpy(&out, nl_addr_get_binary_addr(addr), 4);
    return true;
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

}  // namespace

TableCopy<IpAddrRow> NetlinkTables::AddressTable() {
    try {
        CachePtr cache;
        if (int err = LoadCache(rtnl_addr_alloc_cache, cache); err < 0) {
            return Failure<IpAddrRow>(-err, NetlinkErrorText(err));
        }
        TableCopy<IpAddrRow> copy;
        ForEach<rtnl_addr>(cache.get(), [&](rtnl_addr* a) {
            IpAddrRow row;
            if (rtnl_addr_get_family(a) != AF_INET ||
                !Ipv4Bytes(rtnl_addr_get_local(a), row.dwAddr)) {
                return;
            }
            row.dwIndex = static_cast<std::uint32_t>(rtnl_addr_get_ifindex(a));
            row.dwMask = MaskFromPrefix(static_cast<unsigned>(rtnl_addr_get_prefixlen(a)));
            Ipv4Bytes(rtnl_addr_get_broadcast(a), row.dwBCastAddr);
            copy.rows.push_back(row);
        });
        std::stable_sort(copy.rows.begin(), copy.rows.end(), [](const auto& x, const auto& y) {
            const auto ax = ntohl(x.dwAddr), ay = ntohl(y.dwAddr);
            return ax != ay ? ax < ay : x.dwIndex < y.dwIndex;
        });
        return copy;
    } catch (const std::bad_alloc&) {
        return OutOfMemory<IpAddrRow>();
    }
}

TableCopy<IpNetRow> NetlinkTables::NetTable() {
    try {
        CachePtr cache;
        if (int err = LoadCache(rtnl_neigh_alloc_cache, cache); err < 0) {
            return Failure<IpNetRow>(-err, NetlinkErrorText(err));
        }
        TableCopy<IpNetRow> copy;
        ForEach<rtnl_neigh>(cache.get(), [&](rtnl_neigh* n) {
            IpNetRow row;
            if (rtnl_neigh_get_family(n) != AF_INET ||
                !Ipv4Bytes(rtnl_neigh_get_dst(n), row.dwAddr)) {
                return;
            }
            row.dwIndex = static_cast<std::uint32_t>(rtnl_neigh_get_ifindex(n));
            if (nl_addr* ll = rtnl_neigh_get_lladdr(n)) {
                SetPhysAddr(row.dwPhysAddrLen, row.bPhysAddr, nl_addr_get_binary_addr(ll),
                            nl_addr_get_len(ll));
            }
            row.dwType = TypeFromState(rtnl_neigh_get_state(n));
            copy.rows.push_back(row);
        });
        if (copy.rows.empty()) {
            return Failure<IpNetRow>(kErrorNoData, QString::fromLocal8Bit(std::strerror(ENODATA)));
        }
        return copy;
    } catch (const std::bad_alloc&) {
        return OutOfMemory<IpNetRow>();
    }
}

TableCopy<IfRow> NetlinkTables::InterfaceTable() {
    try {
        CachePtr cache;
        auto alloc = [](nl_sock* sock, nl_cache** out) {
            return rtnl_link_alloc_cache(sock, AF_UNSPEC, out);
        };
        if (int err = LoadCache(alloc, cache); err < 0) {
            return Failure<IfRow>(-err, NetlinkErrorText(err));
        }
        TableCopy<IfRow> copy;
        ForEach<rtnl_link>(cache.get(), [&](rtnl_link* l) {
            IfRow row;
            row.dwIndex = static_cast<std::uint32_t>(rtnl_link_get_ifindex(l));
            if (nl_addr* ll = rtnl_link_get_addr(l)) {
                SetPhysAddr(row.dwPhysAddrLen, row.bPhysAddr, nl_addr_get_binary_addr(ll),
                            nl_addr_get_len(ll));
            }
            if (const char* name = rtnl_link_get_name(l)) {
                SetDescription(row, name, std::strlen(name));
            }
            copy.rows.push_back(row);
        });
        std::sort(copy.rows.begin(), copy.rows.end(),
                  [](const auto& x, const auto& y) { return x.dwIndex < y.dwIndex; });
        return copy;
    } catch (const std::bad_alloc&) {
        return OutOfMemory<IfRow>();
    }
}

TableCopy<DefaultGatewayRow> NetlinkTables::DefaultGateways() {
    try {
        CachePtr cache;
        auto alloc = [](nl_sock* sock, nl_cache** out) {
            return rtnl_route_alloc_cache(sock, AF_INET, 0, out);
        };
        if (int err = LoadCache(alloc, cache); err < 0) {
            return Failure<DefaultGatewayRow>(-err, NetlinkErrorText(err));
        }
        std::vector<std::pair<std::uint32_t, DefaultGatewayRow>> found;  // (metric, gateway)
        ForEach<rtnl_route>(cache.get(), [&](rtnl_route* r) {
            nl_addr* dst = rtnl_route_get_dst(r);
            if (rtnl_route_get_family(r) != AF_INET || rtnl_route_get_table(r) != RT_TABLE_MAIN ||
                rtnl_route_get_type(r) != RTN_UNICAST || (dst && nl_addr_get_prefixlen(dst) != 0)) {
                return;
            }
            const int hops = rtnl_route_get_nnexthops(r);
            for (int i = 0; i < hops; ++i) {
                rtnl_nexthop* nh = rtnl_route_nexthop_n(r, i);
                DefaultGatewayRow row;
                if (!nh || !Ipv4Bytes(rtnl_route_nh_get_gateway(nh), row.dwAddr)) {
                    continue;
                }
                row.dwIndex = static_cast<std::uint32_t>(rtnl_route_nh_get_ifindex(nh));
                found.emplace_back(rtnl_route_get_priority(r), row);
            }
        });
        std::stable_sort(found.begin(), found.end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
        TableCopy<DefaultGatewayRow> copy;
        for (const auto& f : found) {
            copy.rows.push_back(f.second);
        }
        return copy;
    } catch (const std::bad_alloc&) {
        return OutOfMemory<DefaultGatewayRow>();
    }
}

INetTables& DefaultNetTables() {
    static NetlinkTables tables;
    return tables;
}

}  // namespace qv
