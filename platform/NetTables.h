#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct nlmsghdr;

namespace qv {

// Sizes of the fixed fields of the table rows.
inline constexpr std::uint32_t kMaxPhysAddrLen = 8;
inline constexpr std::uint32_t kMaxDescrLen = 256;

// Status of a table copy: 0 for success; kErrorNoData when the neighbour table holds no entry.
inline constexpr int kNetTableOk = 0;
inline constexpr int kErrorNoData = 232;

// Neighbour entry types.
enum NetEntryType : std::uint32_t {
    kNetTypeOther = 1,
    kNetTypeInvalid = 2,
    kNetTypeDynamic = 3,
    kNetTypeStatic = 4,
};

// One IPv4 address of the machine. Addresses are in network byte order.
struct IpAddrRow {
    std::uint32_t address = 0;
    std::uint32_t index = 0;  // kernel interface index
    std::uint32_t mask = 0;
    std::uint32_t broadcast = 0;  // the broadcast address, 0 when the address has none
};

// An IPv6 address in network byte order.
using Ipv6Bytes = std::array<std::uint8_t, 16>;

// The kernel's marks of an IPv6 address that the rows show or leave out.
enum Ipv6AddressFlag : std::uint32_t {
    kIpv6Temporary = 0x01,   // a privacy address, replaced every day
    kIpv6DadFailed = 0x08,   // a duplicate found on the link: unusable
    kIpv6Deprecated = 0x20,  // still valid, no longer preferred for new connections
    kIpv6Tentative = 0x40,   // duplicate detection still runs: not usable yet
};

// One IPv6 address of the machine.
struct Ipv6AddrRow {
    Ipv6Bytes addr = {};
    std::uint32_t index = 0;
    std::uint32_t prefixLength = 0;
    std::uint32_t flags = 0;  // Ipv6AddressFlag bits
};

// One IPv6 neighbour entry; `router` when the neighbour announced itself as a router.
struct Ipv6NetRow {
    std::uint32_t index = 0;
    std::uint32_t hardwareLength = 0;
    std::uint8_t hardware[kMaxPhysAddrLen] = {};
    Ipv6Bytes addr = {};
    std::uint32_t type = kNetTypeOther;
    bool router = false;
};

// One IPv4 neighbour (ARP) entry.
struct IpNetRow {
    std::uint32_t index = 0;
    std::uint32_t hardwareLength = 0;
    std::uint8_t hardware[kMaxPhysAddrLen] = {};
    std::uint32_t address = 0;
    std::uint32_t type = kNetTypeOther;
    // Kept without resolving (a multicast group, a broadcast address): no neighbour host.
    bool noArp = false;
};

// One network interface; the description is the interface name, without a terminator.
struct IfRow {
    std::uint32_t index = 0;
    std::uint32_t hardwareLength = 0;
    std::uint8_t hardware[kMaxPhysAddrLen] = {};
    std::uint32_t descriptionLength = 0;
    std::uint8_t description[kMaxDescrLen] = {};
};

// The gateway of a default route leaving through interface index.
struct DefaultGatewayRow {
    std::uint32_t index = 0;
    std::uint32_t address = 0;
};

// A table copy with the status of the call that took it. On failure `error` holds the system's
// text for the status and `rows` is empty.
template <typename Row>
struct TableCopy {
    int status = kNetTableOk;
    QString error;
    std::vector<Row> rows;
};

// Copies the size-limited fields of a row; longer input is cut, never overflows.
void SetPhysAddr(std::uint32_t& len, std::uint8_t (&dest)[kMaxPhysAddrLen], const void* bytes,
                 std::size_t size);
void SetDescription(IfRow& row, const void* bytes, std::size_t size);

// The machine's network tables. Each call takes a fresh copy.
class INetTables {
  public:
    virtual ~INetTables() = default;
    // Every IPv4 address, ascending by address (then by interface index).
    virtual TableCopy<IpAddrRow> AddressTable() = 0;
    // The IPv4 neighbour table in kernel order; status kErrorNoData when it is empty.
    virtual TableCopy<IpNetRow> NetTable() = 0;
    // Every interface, ascending by index.
    virtual TableCopy<IfRow> InterfaceTable() = 0;
    // The gateways of the main table's IPv4 default routes, lowest metric first.
    virtual TableCopy<DefaultGatewayRow> DefaultGateways() = 0;
    // Every IPv6 address, ascending by address (then by interface index); none by default.
    virtual TableCopy<Ipv6AddrRow> Ipv6AddressTable() { return {}; }
    // The IPv6 neighbour table in kernel order (empty is no failure); none by default.
    virtual TableCopy<Ipv6NetRow> Ipv6NetTable() { return {}; }
};

// The tables read from the kernel as rtnetlink dumps, all on one socket that stays open. The
// default gateways come from a dump of the main routing table only.
class NetlinkTables : public INetTables {
  public:
    NetlinkTables();
    ~NetlinkTables() override;
    NetlinkTables(const NetlinkTables&) = delete;
    NetlinkTables& operator=(const NetlinkTables&) = delete;

    TableCopy<IpAddrRow> AddressTable() override;
    TableCopy<IpNetRow> NetTable() override;
    TableCopy<IfRow> InterfaceTable() override;
    TableCopy<DefaultGatewayRow> DefaultGateways() override;
    TableCopy<Ipv6AddrRow> Ipv6AddressTable() override;
    TableCopy<Ipv6NetRow> Ipv6NetTable() override;

  private:
    int Open();
    int Dump(int type, const void* request, std::size_t size,
             const std::function<void(const nlmsghdr*)>& each);
    template <typename Row, typename Fill, typename Key>
    TableCopy<Row> Addresses(unsigned char family, Fill fill, Key key);
    template <typename Row, typename Fill>
    TableCopy<Row> Neighbours(unsigned char family, Fill fill);

    int m_fd = -1;
    std::uint32_t m_seq = 0;
    // Left unfilled until the kernel writes into it: a short dump touches only what it needs.
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_bufferSize = 0;
};

// The tables every component uses unless it is handed others.
INetTables& DefaultNetTables();

// Dotted text of an address in network byte order: "192.168.1.5".
QString DottedAddress(std::uint32_t addr);
// The shortest standard text of an IPv6 address: "2001:db8::5".
QString Ipv6Text(const Ipv6Bytes& addr);

}  // namespace qv
