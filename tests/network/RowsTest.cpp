#include <gtest/gtest.h>

#include "tests/network/DocFixtures.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

namespace qv::test {
namespace {

const QString kDashes = QStringLiteral("-----------------");

class NetworkRows : public ::testing::Test, public DocFixture {};

TEST_F(NetworkRows, AddressWithoutNeighbourGetsPlaceholdersAndNote) {
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2)});
    tables.net = Table<IpNetRow>({Net(3, "10.1.0.1", {1, 2, 3, 4, 5, 6})});
    tables.ifs = Table<IfRow>({If(2, "eth0", {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e})});
    resolver.Name("10.0.0.5", "five.example");

    doc.BuildRows(-1);

    ASSERT_EQ(doc.m_nRowCount, 1u);
    IpAddressRow want;
    want.fields = {"10.0.0.5",
                   "0x2",
                   "unknown",
                   "eth0",
                   "00-1A-2B-3C-4D-5E",
                   "five.example",
                   "---.---.---.---",
                   kDashes,
                   "255.255.255.0",
                   "255.255.255.255",
                   "Can't find match between IP address and Network table.  "};
    EXPECT_EQ(RowAt(0), want);
}

TEST_F(NetworkRows, LoopbackAndLocalAddressNeedNoLookUp) {
    tables.addr = Table<IpAddrRow>(
        {Addr("127.0.0.1", 1, "255.0.0.0"), Addr("192.168.1.10", 2), Addr("192.168.1.11", 2)});
    tables.net = Table<IpNetRow>(
        {Net(1, "127.0.0.1", {}, kNetTypeStatic), Net(2, "192.168.1.1", {0xaa, 0, 0, 0, 0, 1})});
    tables.ifs = Table<IfRow>({If(1, "lo"), If(2, "eth0")});
    resolver.Name("192.168.1.11", "other.lan");
    doc.ReadLocalHostInfo();

    doc.BuildRows(-1);

    ASSERT_EQ(doc.m_nRowCount, 3u);
    EXPECT_EQ(At(0, ColHostName), S(147));
    EXPECT_EQ(At(0, ColDiagnosticInformation), "All is OK!");
    EXPECT_EQ(At(0, ColAddressType), "static");
    EXPECT_EQ(At(0, ColGatewayMacAddress), kDashes);  // an entry without a hardware address
    EXPECT_EQ(At(1, ColHostName), "box");
    EXPECT_EQ(At(1, ColDiagnosticInformation), "All is OK!");
    EXPECT_EQ(At(2, ColHostName), "other.lan");
    EXPECT_EQ(resolver.Asked(), std::vector<std::uint32_t>{Ip("192.168.1.11")});
}

TEST_F(NetworkRows, FieldFormats) {
    tables.addr =
        Table<IpAddrRow>({Addr("10.0.0.1", 16777219, "255.255.0.0", 0),
                          Addr("10.0.0.2", 2, "255.255.255.252", 0x01020304), Addr("10.0.0.3", 9)});
    tables.net =
        Table<IpNetRow>({Net(16777219, "10.0.0.254", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 1),
                         Net(2, "10.0.0.253", {0xde, 0xad}, 2), Net(9, "10.0.0.252", {}, 7)});
    // Index 2 has a 300-byte description; index 9 has no interface entry.
    tables.ifs = Table<IfRow>({If(16777219, "ppp0", {}), If(2, QByteArray(300, 'd'))});

    doc.BuildRows(-1);

    ASSERT_EQ(doc.m_nRowCount, 3u);
    EXPECT_EQ(At(0, ColInterfaceNumber), "0x1000003");
    EXPECT_EQ(At(0, ColBroadcastIpAddress), "0.0.0.0");
    EXPECT_EQ(At(0, ColAddressType), "other");
    EXPECT_EQ(At(0, ColGatewayMacAddress), "01-02-03-04-05-06-07-08");  // cut to 8 bytes
    EXPECT_EQ(At(0, ColNicMacAddress), kDashes);                        // no hardware address
    EXPECT_EQ(At(1, ColBroadcastIpAddress), "255.255.255.255");
    EXPECT_EQ(At(1, ColAddressType), "invalid");
    EXPECT_EQ(At(1, ColGatewayMacAddress), "DE-AD");
    EXPECT_EQ(At(1, ColNicDescription), QString(256, 'd'));
    EXPECT_EQ(At(1, ColSubnetMask), "255.255.255.252");
    EXPECT_EQ(At(2, ColAddressType), "unknown type");
    EXPECT_EQ(At(2, ColNicDescription), S(141));
    EXPECT_EQ(At(2, ColNicMacAddress), kDashes);

    const std::uint8_t mac[] = {0x00, 0x0c, 0x29, 0xab, 0xcd, 0xef};
    EXPECT_EQ(CQuorvaneDoc::FormatPhysAddress(mac, 6), "00-0C-29-AB-CD-EF");
    EXPECT_EQ(CQuorvaneDoc::FormatPhysAddress(mac, 0), "");
    EXPECT_EQ(CQuorvaneDoc::FormatPhysAddress(mac, 1), "00");
}

TEST_F(NetworkRows, DescriptionEndsAtFirstNul) {
    IfRow row = If(4, QByteArray("wlan0\0garbage", 13));
    auto found = CQuorvaneDoc::FindIfEntry({If(3, "eth0"), row}, 4);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->position, 1u);
    EXPECT_EQ(found->description, "wlan0");
    row.dwDescrLen = 100000;  // a length beyond the field is cut, never read past it
    EXPECT_EQ(CQuorvaneDoc::FindIfEntry({row}, 4)->description, "wlan0");
}

TEST_F(NetworkRows, HardwareOnlyDropsRowsWithoutNeighbour) {
    tables.addr =
        Table<IpAddrRow>({Addr("10.0.0.1", 2), Addr("127.0.0.1", 1), Addr("10.0.0.3", 3)});
    tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1}), Net(3, "10.0.0.254", {2})});
    tables.ifs = Table<IfRow>({If(1, "lo"), If(2, "eth0"), If(3, "eth1")});
    host.hardwareOnly = true;

    doc.BuildRows(-1);

    ASSERT_EQ(doc.m_nRowCount, 2u);
    EXPECT_EQ(At(0, ColNicIpAddress), "10.0.0.1");
    EXPECT_EQ(At(1, ColNicIpAddress), "10.0.0.3");
    EXPECT_EQ(At(1, ColNicDescription), "eth1");
}

TEST_F(NetworkRows, OneRowRebuildTakesFirstAddressOfItsInterface) {
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.0.6", 2), Addr("10.0.1.1", 3)});
    tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1}), Net(3, "10.0.1.254", {2})});
    tables.ifs = Table<IfRow>({If(2, "eth0"), If(3, "eth1")});
    doc.BuildRows(-1);
    ASSERT_EQ(At(1, ColNicIpAddress), "10.0.0.6");
    const IpAddressRow third = RowAt(2);

    tables.addr = Table<IpAddrRow>({Addr("10.0.0.7", 2), Addr("10.0.0.8", 2), Addr("10.0.1.2", 3)});
    host.lines.clear();
    doc.BuildRows(1);

    EXPECT_EQ(At(0, ColNicIpAddress), "10.0.0.5");  // other rows untouched
    EXPECT_EQ(At(1, ColNicIpAddress), "10.0.0.7");
    EXPECT_EQ(RowAt(2), third);
    EXPECT_EQ(doc.m_nRowCount, 3u);
    EXPECT_EQ(host.Texts().back(), S(137));

    // The interface is gone: the row keeps its text and the build stops with 143.
    tables.addr = Table<IpAddrRow>({Addr("10.0.1.2", 3)});
    host.lines.clear();
    doc.BuildRows(1);
    EXPECT_EQ(At(1, ColNicIpAddress), "10.0.0.7");
    EXPECT_EQ(host.Texts().back(), S(143));
    EXPECT_FALSE(host.Texts().contains(S(137)));
}

TEST_F(NetworkRows, HardwareOnlyBlanksRebuiltRowWithoutNeighbour) {
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.1.1", 3)});
    tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1}), Net(3, "10.0.1.254", {2})});
    tables.ifs = Table<IfRow>({If(2, "eth0"), If(3, "eth1")});
    doc.BuildRows(-1);

    tables.net = Table<IpNetRow>({Net(3, "10.0.1.254", {2})});
    host.hardwareOnly = true;
    doc.BuildRows(0);

    EXPECT_EQ(RowAt(0), IpAddressRow{});
    EXPECT_EQ(At(1, ColNicIpAddress), "10.0.1.1");
    EXPECT_EQ(doc.m_nRowCount, 2u);
}

TEST_F(NetworkRows, FailedLookUpsGoToTheDiagnostic) {
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.0.6", 3), Addr("10.0.0.7", 2)});
    tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1})});
    tables.ifs = Table<IfRow>({If(2, "eth0"), If(3, "eth1")});
    resolver.Fail("10.0.0.5", kLookupNoData);
    resolver.Fail("10.0.0.6", kLookupTryAgain);
    resolver.Fail("10.0.0.7", kLookupUnknown);

    doc.BuildRows(-1);

    EXPECT_EQ(At(0, ColHostName), "Host name unknown");
    EXPECT_EQ(At(0, ColDiagnosticInformation), "No host data record available.");
    // Both problems, the missing neighbour first.
    EXPECT_EQ(At(1, ColDiagnosticInformation),
              S(146) + " Nonauthoritative host not found, or server failed.");
    EXPECT_EQ(At(2, ColDiagnosticInformation), "Host name unavailable, reason unknown.");
}

TEST_F(NetworkRows, ManyLookUpsKeepRowOrder) {
    std::vector<IpAddrRow> addrs;
    for (int i = 1; i <= 40; ++i) {
        const QByteArray ip = "10.0.0." + QByteArray::number(i);
        addrs.push_back(Addr(ip.constData(), 2));
        // Later addresses answer first, so results arrive out of order.
        resolver.names[Ip(ip.constData())] = {"host" + QString::number(i), 0};
    }
    resolver.during = [](std::uint32_t addr) {
        std::this_thread::sleep_for(std::chrono::microseconds(2000 - (ntohl(addr) & 0xff) * 40));
    };
    tables.addr = Table<IpAddrRow>(addrs);
    tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1})});
    tables.ifs = Table<IfRow>({If(2, "eth0")});

    doc.BuildRows(-1);

    ASSERT_EQ(doc.m_nRowCount, 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(At(i, ColNicIpAddress), "10.0.0." + QString::number(i + 1));
        EXPECT_EQ(At(i, ColHostName), "host" + QString::number(i + 1));
    }
    EXPECT_EQ(host.Texts().count(S(148) + "0x2"), 40);
}

TEST_F(NetworkRows, LookUpsRunTogetherWhileTheHostStaysResponsive) {
    // Each look-up waits until eight are running at once and the host has been kept alive, so a
    // build that ran them one by one, more than eight at a time, or blocked the host shows here.
    std::mutex m;
    std::condition_variable cv;
    int running = 0;
    int most = 0;
    resolver.during = [&](std::uint32_t) {
        std::unique_lock lock(m);
        most = std::max(most, ++running);
        cv.notify_all();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!(most >= 8 && host.keepAlive > 0) && std::chrono::steady_clock::now() < deadline) {
            cv.wait_for(lock, std::chrono::milliseconds(5));
        }
        --running;
    };
    std::vector<IpAddrRow> addrs;
    for (int i = 1; i <= 20; ++i) {
        addrs.push_back(Addr(("10.0.0." + QByteArray::number(i)).constData(), 2));
    }
    tables.addr = Table<IpAddrRow>(addrs);
    tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1})});
    tables.ifs = Table<IfRow>({If(2, "eth0")});

    doc.BuildRows(-1);

    EXPECT_EQ(most, 8);
    EXPECT_GT(host.keepAlive, 0);
    EXPECT_EQ(resolver.Asked().size(), 20u);
    EXPECT_EQ(doc.m_nRowCount, 20u);
}

TEST(NetworkGateway, DefaultRouteGatewayIsPreferred) {
    const std::vector<IpNetRow> net = {
        Net(3, "10.0.0.1", {9}, kNetTypeStatic),     // the gateway, but on another interface
        Net(2, "10.0.0.7", {0xa}, kNetTypeDynamic),  // a printer, first on interface 2
        Net(2, "10.0.0.1", {0xb}, kNetTypeStatic),   // interface 2's gateway
        Net(2, "10.0.0.99", {0xc}, kNetTypeDynamic),
    };
    auto found = CQuorvaneDoc::FindNetEntry(net, 2, {{3, Ip("10.0.0.99")}, {2, Ip("10.0.0.1")}});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->position, 2u);
    EXPECT_EQ(found->address, "10.0.0.1");
    EXPECT_EQ(found->type, "static");

    // No default route, or a gateway the table does not hold: the first entry of the interface.
    EXPECT_EQ(CQuorvaneDoc::FindNetEntry(net, 2)->position, 1u);
    EXPECT_EQ(CQuorvaneDoc::FindNetEntry(net, 2, {{2, Ip("10.0.0.200")}})->position, 1u);
    EXPECT_FALSE(CQuorvaneDoc::FindNetEntry(net, 5, {{5, Ip("10.0.0.1")}}));
}

TEST_F(NetworkRows, GatewayColumnsComeFromTheGatewayEntry) {
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2)});
    tables.net = Table<IpNetRow>(
        {Net(2, "10.0.0.7", {0xaa, 0xaa}, kNetTypeDynamic), Net(2, "10.0.0.1", {0xbb, 0xbb}, 4)});
    tables.ifs = Table<IfRow>({If(2, "eth0")});
    tables.gateways = Table<DefaultGatewayRow>({{2, Ip("10.0.0.1")}});

    doc.BuildRows(-1);

    EXPECT_EQ(At(0, ColGatewayIpAddress), "10.0.0.1");
    EXPECT_EQ(At(0, ColGatewayMacAddress), "BB-BB");
    EXPECT_EQ(At(0, ColAddressType), "static");

    // An unreadable route table only loses the preference.
    tables.gateways = Failed<DefaultGatewayRow>(1, "Operation not permitted");
    doc.BuildRows(-1);
    EXPECT_EQ(At(0, ColGatewayIpAddress), "10.0.0.7");
    EXPECT_EQ(At(0, ColGatewayMacAddress), "AA-AA");
}

}  // namespace
}  // namespace qv::test
