#include <gtest/gtest.h>

#include "tests/network/DocFixtures.h"

namespace qv::test {
namespace {

class NetworkRefresh : public ::testing::Test, public DocFixture {
  protected:
    void SetUp() override {
        tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("127.0.0.1", 1)});
        tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1})});
        tables.ifs = Table<IfRow>({If(1, "lo"), If(2, "eth0")});
    }
};

TEST_F(NetworkRefresh, StatusLinesOfAFullRefresh) {
    EXPECT_TRUE(doc.RefreshNetworkInfo(-1));

    EXPECT_EQ(host.localHost, "box     IP : 192.168.1.10");
    EXPECT_EQ(host.heading, "Output Information");
    ASSERT_EQ(host.lines.size(), 5u);
    const bool replaceUnlogged = !host.lines[0].append && !host.lines[0].log;
    EXPECT_TRUE(replaceUnlogged);
    EXPECT_EQ(host.lines[0].text, "Updating IP Address information");
    EXPECT_EQ(host.lines[1].text, "Updating host information on interface: 0x2");
    EXPECT_TRUE(host.lines[1].append && host.lines[1].log);
    EXPECT_EQ(host.lines[2].text, "Updating host information on interface: 0x1");
    EXPECT_EQ(host.lines[3].text, "IP Address display is Complete!");
    EXPECT_FALSE(host.lines[3].log);
    EXPECT_EQ(host.lines[4].text, "Please tick the IP Address to watch in the list above.");
    EXPECT_EQ(host.logChecks, 1);
}

TEST_F(NetworkRefresh, ALoopbackHostAddressGivesWayToTheMachinesOwn) {
    // No default route: the first address that is not loopback.
    tables.addr =
        Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.1.7", 3), Addr("127.0.0.1", 1)});
    resolver.localIp = "127.0.1.1";
    doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(host.localHost, "box     IP : 10.0.0.5");
    EXPECT_EQ(At(0, ColHostName), "box");
}

TEST_F(NetworkRefresh, EmptyNeighbourTable) {
    // Filled by the forced look-ups of the non-loopback addresses.
    tables.netQueue = {Failed<IpNetRow>(kErrorNoData, "No data available")};
    doc.BuildRows(-1);
    EXPECT_EQ(tables.netCalls, 2);
    EXPECT_EQ(host.lines[1].text, S(163));
    EXPECT_EQ(resolver.asked, (std::vector<std::uint32_t>{Ip("10.0.0.5"), Ip("10.0.0.5")}));
    EXPECT_EQ(At(0, ColGatewayIpAddress), "10.0.0.254");

    // Still empty: the error line, and the rows are built all the same.
    tables.net = Failed<IpNetRow>(kErrorNoData, "No data available");
    host.lines.clear();
    doc.BuildRows(-1);
    const QStringList texts = host.Texts();
    EXPECT_EQ(texts.mid(0, 3), (QStringList{S(136), S(163), "IP Net Table:  No data available"}));
    EXPECT_FALSE(texts.contains(S(142)));
    EXPECT_EQ(texts.back(), S(137));
    ASSERT_EQ(doc.m_nRowCount, 2u);
    EXPECT_EQ(At(1, ColDiagnosticInformation), S(146) + " ");
}

TEST_F(NetworkRefresh, MissingTableKeepsTheRows) {
    doc.BuildRows(-1);
    const IpAddressRow before = doc.Row(1);

    tables.addr = Table<IpAddrRow>({});
    host.lines.clear();
    doc.BuildRows(-1);
    EXPECT_EQ(host.Texts(), (QStringList{S(136), S(138), S(142)}));

    // Every table is asked for and reports its own problem; a failing neighbour table is not
    // taken for an empty one.
    tables.addr = Failed<IpAddrRow>(105, "No buffer space available");
    tables.net = Failed<IpNetRow>(1, "Operation not permitted");
    tables.ifs = Table<IfRow>({});
    host.lines.clear();
    doc.BuildRows(-1);
    EXPECT_EQ(host.Texts(),
              (QStringList{S(136), "IP Address Table:  No buffer space available",
                           "IP Net Table:  Operation not permitted", S(140), S(142)}));
    EXPECT_EQ(doc.m_nRowCount, 2u);
    EXPECT_EQ(doc.Row(1), before);
}

}  // namespace
}  // namespace qv::test
