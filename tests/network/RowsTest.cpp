#include <gtest/gtest.h>

#include "resources/StringTable.h"
#include "tests/network/DocFixtures.h"

#include <algorithm>

namespace qv::test {
namespace {

const QString kDashes = QStringLiteral("-----------------");

class NetworkRows : public ::testing::Test, public DocFixture {
  protected:
    void Use(std::vector<IpAddrRow> addrs, std::vector<IpNetRow> net, std::vector<IfRow> ifs) {
        tables.addr = Table(std::move(addrs));
        tables.net = Table(std::move(net));
        tables.ifs = Table(std::move(ifs));
    }
};

TEST_F(NetworkRows, AddressWithoutNeighbourGetsPlaceholders) {
    Use({Addr("10.0.0.5", 2)}, {Net(3, "10.1.0.1", {1})}, {If(2, "eth0")});
    resolver.Name("10.0.0.5", "five");
    doc.BuildRows(-1);

    ASSERT_EQ(doc.m_rowCount, 1u);
    IpAddressRow want;
    want.fields = {"10.0.0.5",
                   "0x2",
                   "unknown",
                   "eth0",
                   "02-00-00-00-00-01",
                   "five",
                   "---.---.---.---",
                   kDashes,
                   "255.255.255.0",
                   "10.0.0.255",
                   "Can't find match between IP address and Network table.  "};
    EXPECT_EQ(doc.Row(0), want);
}

TEST_F(NetworkRows, FieldFormatsAndOversizedInput) {
    IfRow odd = If(2, QByteArray(300, 'd'));  // cut to 256 bytes
    IfRow nul = If(4, QByteArray("wlan0\0junk", 10));
    nul.descriptionLength = 100000;  // a length beyond the field is never followed
    Use({Addr("10.0.0.1", 16777219, false), Addr("10.0.0.2", 2), Addr("10.0.0.3", 9),
         Addr("10.0.0.4", 4)},
        {Net(16777219, "10.0.0.254", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 1),
         Net(2, "10.0.0.253", {0xde, 0xad}, 2), Net(9, "10.0.0.252", {}, 7)},
        {If(16777219, "ppp0"), odd, nul});
    doc.BuildRows(-1);

    EXPECT_EQ(At(0, ColInterfaceNumber), "0x1000003");
    EXPECT_EQ(At(0, ColBroadcastIpAddress), "0.0.0.0");
    EXPECT_EQ(At(0, ColAddressType), "other");
    EXPECT_EQ(At(0, ColGatewayMacAddress), "01-02-03-04-05-06-07-08");
    EXPECT_EQ(At(1, ColBroadcastIpAddress), "10.0.0.255");
    EXPECT_EQ(At(1, ColAddressType), "invalid");
    EXPECT_EQ(At(1, ColGatewayMacAddress), "DE-AD");
    EXPECT_EQ(At(1, ColNicDescription), QString(256, 'd'));
    EXPECT_EQ(At(2, ColAddressType), "unknown type");
    EXPECT_EQ(At(2, ColNicDescription), "No interface description available.");
    EXPECT_EQ(At(2, ColNicMacAddress), kDashes);
    EXPECT_EQ(At(3, ColNicDescription), "wlan0");
}

TEST_F(NetworkRows, HardwareOnlyDropsRowsWithoutNeighbour) {
    Use({Addr("10.0.0.1", 2), Addr("127.0.0.1", 1), Addr("10.0.0.3", 3)},
        {Net(2, "10.0.0.254", {1}), Net(3, "10.0.0.254", {2})},
        {If(1, "lo"), If(2, "eth0"), If(3, "eth1")});
    host.hardwareOnly = true;
    doc.BuildRows(-1);
    ASSERT_EQ(doc.m_rowCount, 2u);
    EXPECT_EQ(At(1, ColNicIpAddress), "10.0.0.3");
    EXPECT_EQ(At(1, ColNicDescription), "eth1");

    // Rebuilding a row whose interface lost its neighbour leaves the row blank.
    tables.net = Table<IpNetRow>({Net(3, "10.0.0.254", {2})});
    doc.BuildRows(0);
    EXPECT_EQ(doc.Row(0), IpAddressRow{});
    EXPECT_EQ(At(1, ColNicIpAddress), "10.0.0.3");
    EXPECT_EQ(doc.m_rowCount, 2u);
}

TEST_F(NetworkRows, OneRowRebuildStaysOnItsOwnAddress) {
    Use({Addr("10.0.0.5", 2), Addr("10.0.0.6", 2), Addr("10.0.1.1", 3)},
        {Net(2, "10.0.0.254", {1}), Net(3, "10.0.1.254", {2})}, {If(2, "eth0"), If(3, "eth1")});
    doc.BuildRows(-1);
    const IpAddressRow third = doc.Row(2);

    resolver.Name("10.0.0.6", "six");
    tables.addr = Table<IpAddrRow>(
        {Addr("10.0.0.4", 2), Addr("10.0.0.5", 2), Addr("10.0.0.6", 2), Addr("10.0.1.2", 3)});
    doc.BuildRows(1);
    EXPECT_EQ(At(0, ColNicIpAddress), "10.0.0.5");
    EXPECT_EQ(At(1, ColNicIpAddress), "10.0.0.6");
    EXPECT_EQ(At(1, ColHostName), "six");
    EXPECT_EQ(doc.Row(2), third);
    EXPECT_EQ(doc.m_rowCount, 3u);
    EXPECT_EQ(host.Texts().back(), S(Text::UpdateComplete));

    // A long run of one-row rebuilds (the periodic check) frees the texts it replaces and keeps
    // every row's own.
    const IpAddressRow second = doc.Row(1);
    for (int i = 0; i < 300; ++i) {
        doc.BuildRows(1);
    }
    EXPECT_LT(doc.m_texts.TextCount(), 2 * doc.m_texts.Rows() * kColumnCount + 64 + 40);
    EXPECT_EQ(doc.Row(1), second);
    EXPECT_EQ(doc.Row(2), third);

    // Its address is gone: every row is rebuilt, so no row keeps an address that is gone.
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.7", 2), Addr("10.0.1.2", 3)});
    doc.BuildRows(1);
    EXPECT_EQ(doc.m_rowCount, 2u);
    EXPECT_EQ(At(0, ColNicIpAddress), "10.0.0.7");
    EXPECT_EQ(At(1, ColNicIpAddress), "10.0.1.2");

    // The interface has no address left: the selection is lost, and the row keeps its text.
    tables.addr = Table<IpAddrRow>({Addr("10.0.1.2", 3)});
    EXPECT_EQ(doc.BuildRows(0), AddressList::BuildResult::InterfaceGone);
    EXPECT_EQ(At(0, ColNicIpAddress), "10.0.0.7");
    EXPECT_EQ(host.Texts().back(), S(Text::SelectionLost));
}

// IPv6 rows follow the IPv4 rows: global and unique-local addresses only, the prefix length as
// mask, the router entry as gateway, "----" where IPv4 has a broadcast address; temporary and
// deprecated addresses are marked and a temporary one cannot be ticked. The hardware-only filter
// and the IPv6 option drop rows.
TEST_F(NetworkRows, Ipv6RowsFollowTheIpv4Rows) {
    Use({Addr("10.0.0.5", 2)}, {Net(2, "10.0.0.254", {1})}, {If(2, "eth0"), If(3, "eth1")});
    tables.addr6 = Table<Ipv6AddrRow>(
        {Addr6("::1", 1, 0, 128), Addr6("2001:db8::5", 2), Addr6("2001:db8::9", 2, kIpv6Temporary),
         Addr6("2001:db8::a", 2, kIpv6Deprecated), Addr6("2001:db8::b", 2, kIpv6Tentative),
         Addr6("2001:db8::c", 2, kIpv6DadFailed), Addr6("fd00:0:0:1:0:0:0:1", 3, 0, 48),
         Addr6("fe80::1", 2), Addr6("ff02::1", 2)});
    tables.net6 = Table<Ipv6NetRow>({Net6(2, "fe80::2", false), Net6(2, "fe80::1", true),
                                     Net6(3, "fd00::9", false, kNetTypeStatic)});
    doc.BuildRows(-1);

    ASSERT_EQ(doc.m_rowCount, 5u);
    IpAddressRow want;
    want.fields = {"2001:db8::5",
                   "0x2",
                   "dynamic",
                   "eth0",
                   "02-00-00-00-00-01",
                   "Host name unknown",
                   "fe80::1",
                   "02-00-00-00-00-66",
                   "/64",
                   "----",
                   "Authoritative answer host not found."};
    EXPECT_EQ(doc.Row(1), want);
    EXPECT_EQ(At(2, ColDiagnosticInformation),
              "Temporary address: it changes by design and cannot be ticked. "
              "Authoritative answer host not found.");
    EXPECT_EQ(At(3, ColDiagnosticInformation).left(19), "Deprecated address:");
    EXPECT_EQ(At(4, ColNicIpAddress), "fd00:0:0:1::1");
    EXPECT_EQ(At(4, ColSubnetMask), "/48");
    EXPECT_EQ(At(4, ColGatewayIpAddress), "----");  // no router on eth1
    EXPECT_TRUE(At(4, ColDiagnosticInformation).startsWith(S(Text::NoNeighbourMatch)));
    EXPECT_TRUE(doc.IsTickable(1) && doc.IsTickable(3) && !doc.IsTickable(5));
    EXPECT_FALSE(doc.IsTickable(2));
    doc.SelectRow(2);
    EXPECT_EQ(doc.m_selectedRow, -1);
    EXPECT_TRUE(host.trayAddresses.isEmpty());

    tables.addr6.rows.erase(tables.addr6.rows.begin() + 2);  // the temporary address goes
    doc.BuildRows(-1);
    EXPECT_EQ(At(2, ColNicIpAddress), "2001:db8::a");
    EXPECT_TRUE(doc.IsTickable(2));

    host.hardwareOnly = true;  // eth1 has an IPv6 neighbour, and no IPv4 one
    tables.net6 = Table<Ipv6NetRow>({Net6(3, "fd00::9", false)});
    doc.BuildRows(-1);
    ASSERT_EQ(doc.m_rowCount, 2u);
    EXPECT_EQ(At(1, ColNicIpAddress), "fd00:0:0:1::1");
    host.ipv6 = false;
    doc.BuildRows(-1);
    EXPECT_EQ(doc.m_rowCount, 1u);
}

TEST_F(NetworkRows, HostNamesAndLookUpFailures) {
    Use({Addr("10.0.0.5", 2), Addr("10.0.0.6", 3), Addr("10.0.0.7", 2), Addr("127.0.0.1", 1),
         Addr("192.168.1.10", 2)},
        {Net(1, "127.0.0.1", {}, kNetTypeStatic), Net(2, "10.0.0.254", {1})},
        {If(2, "eth0"), If(3, "eth1")});
    resolver.Fail("10.0.0.5", kLookupNoData);
    resolver.Fail("10.0.0.6", kLookupTryAgain);
    resolver.Fail("10.0.0.7", kLookupUnknown);
    doc.ReadLocalHostInfo();
    doc.BuildRows(-1);

    EXPECT_EQ(At(0, ColHostName), "Host name unknown");
    EXPECT_EQ(At(0, ColDiagnosticInformation), "No host data record available.");
    EXPECT_EQ(At(1, ColDiagnosticInformation),
              S(Text::NoNeighbourMatch) + " Nonauthoritative host not found, or server failed.");
    EXPECT_EQ(At(2, ColDiagnosticInformation), "Host name unavailable, reason unknown.");
    // Loopback and the local host's own address are never looked up.
    EXPECT_EQ(At(3, ColHostName), "Host name unknown");
    EXPECT_EQ(At(3, ColDiagnosticInformation), "All is OK!");
    EXPECT_EQ(At(3, ColGatewayMacAddress), kDashes);  // an entry without a hardware address
    EXPECT_EQ(At(4, ColHostName), "box");
    EXPECT_EQ(resolver.asked.size(), 3u);
}

TEST_F(NetworkRows, GatewayColumnsComeFromTheDefaultRouteGateway) {
    Use({Addr("10.0.0.5", 2)},
        {Net(3, "10.0.0.1", {9}), Net(2, "10.0.0.7", {0xaa}, kNetTypeDynamic),
         Net(2, "10.0.0.1", {0xbb}, kNetTypeStatic)},
        {If(2, "eth0")});
    tables.gateways = Table<DefaultGatewayRow>({{3, Ip("10.0.0.7")}, {2, Ip("10.0.0.1")}});
    doc.BuildRows(-1);
    EXPECT_EQ(At(0, ColGatewayIpAddress), "10.0.0.1");
    EXPECT_EQ(At(0, ColGatewayMacAddress), "BB");
    EXPECT_EQ(At(0, ColAddressType), "static");

    // A multicast group, a broadcast address or a NOARP entry is never the gateway, even when
    // it comes first; the route's gateway before its neighbour entry exists is shown without a MAC.
    IpNetRow noArp = Net(2, "10.0.0.9", {0xcc}, kNetTypeStatic);
    noArp.noArp = true;
    Use({Addr("10.0.0.5", 2)},
        {Net(2, "239.255.255.250", {0x01, 0x00, 0x5e, 0x7f, 0xff, 0xfa}, kNetTypeStatic),
         Net(2, "255.255.255.255", {0xff}, kNetTypeStatic), noArp,
         Net(2, "10.0.0.7", {0xaa}, kNetTypeDynamic)},
        {If(2, "eth0")});
    tables.gateways = Table<DefaultGatewayRow>({{2, Ip("10.0.0.200")}});
    doc.BuildRows(-1);
    EXPECT_EQ(At(0, ColGatewayIpAddress), "10.0.0.200");
    EXPECT_EQ(At(0, ColGatewayMacAddress), kDashes);
    EXPECT_EQ(At(0, ColAddressType), "unknown");
    EXPECT_FALSE(At(0, ColDiagnosticInformation).contains(S(Text::NoNeighbourMatch)));

    // Without a route to go by, the first entry that can be a gateway.
    tables.gateways = Failed<DefaultGatewayRow>(1, "Operation not permitted");
    doc.BuildRows(-1);
    EXPECT_EQ(At(0, ColGatewayIpAddress), "10.0.0.7");
    EXPECT_EQ(At(0, ColGatewayMacAddress), "AA");
    EXPECT_EQ(At(0, ColAddressType), "dynamic");
}

}  // namespace
}  // namespace qv::test
