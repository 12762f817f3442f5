#include <gtest/gtest.h>

#include "tests/network/DocFixtures.h"

namespace qv::test {
namespace {

class NetworkRefresh : public ::testing::Test, public DocFixture {
  protected:
    void SetUp() override {
        tables.addr = Table<IpAddrRow>({Addr("127.0.0.1", 1, "255.0.0.0"), Addr("10.0.0.5", 2)});
        tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1, 2, 3, 4, 5, 6})});
        tables.ifs = Table<IfRow>({If(1, "lo"), If(2, "eth0")});
    }
};

TEST_F(NetworkRefresh, StatusLinesOfAFullRefresh) {
    EXPECT_TRUE(doc.RefreshNetworkInfo(-1));

    EXPECT_EQ(host.localHost, "box     IP : 192.168.1.10");
    EXPECT_EQ(host.heading, "Output Information");
    ASSERT_EQ(host.lines.size(), 5u);
    EXPECT_EQ(host.lines[0].text, "Updating IP Address information");
    EXPECT_FALSE(host.lines[0].append);
    EXPECT_FALSE(host.lines[0].log);
    EXPECT_EQ(host.lines[1].text, "Updating host information on interface: 0x1");
    EXPECT_TRUE(host.lines[1].append && host.lines[1].log);
    EXPECT_EQ(host.lines[2].text, "Updating host information on interface: 0x2");
    EXPECT_EQ(host.lines[3].text, "IP Address display is Complete!");
    EXPECT_TRUE(host.lines[3].append);
    EXPECT_FALSE(host.lines[3].log);
    EXPECT_TRUE(host.lines[4].text.startsWith("Interface  or NIC Card ''"));  // selection check
    EXPECT_EQ(host.logChecks, 1);
}

TEST_F(NetworkRefresh, LocalHostLineWithoutAddressOrName) {
    resolver.localIp.reset();
    doc.ReadLocalHostInfo();
    EXPECT_EQ(host.localHost, "box");
    EXPECT_EQ(doc.m_strLocalHostIp, "");

    resolver.hostName.reset();
    doc.ReadLocalHostInfo();
    EXPECT_EQ(host.localHost, "");
    EXPECT_EQ(doc.m_strLocalHostName, "");
}

TEST_F(NetworkRefresh, EmptyNeighbourTableIsFilledByLookUps) {
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("127.0.0.1", 1, "255.0.0.0")});
    tables.netQueue = {Failed<IpNetRow>(kErrorNoData, "No data available")};

    doc.BuildRows(-1);

    EXPECT_EQ(tables.netCalls, 2);
    EXPECT_EQ(host.lines[1].text, S(163));
    EXPECT_TRUE(host.lines[1].append);
    // The forced population looked up the non-loopback address; the rows looked it up again.
    EXPECT_EQ(resolver.Asked(), (std::vector<std::uint32_t>{Ip("10.0.0.5"), Ip("10.0.0.5")}));
    EXPECT_EQ(doc.m_nRowCount, 2u);
    EXPECT_EQ(doc.Field(0, ColGatewayIpAddress), "10.0.0.254");
}

TEST_F(NetworkRefresh, StillEmptyNeighbourTableStillGivesRows) {
    tables.addr = Table<IpAddrRow>({Addr("127.0.0.1", 1, "255.0.0.0")});
    tables.net = Failed<IpNetRow>(kErrorNoData, "No data available");

    doc.BuildRows(-1);

    EXPECT_TRUE(resolver.Asked().empty());  // loopback only: nothing to look up
    const QStringList texts = host.Texts();
    ASSERT_GE(texts.size(), 3);
    EXPECT_EQ(texts[1], S(163));
    EXPECT_EQ(texts[2], "IP Net Table:  No data available");
    EXPECT_FALSE(texts.contains(S(142)));
    EXPECT_EQ(texts.back(), S(137));
    ASSERT_EQ(doc.m_nRowCount, 1u);
    EXPECT_EQ(doc.Field(0, ColDiagnosticInformation), S(146) + " ");
}

TEST_F(NetworkRefresh, MissingTableKeepsTheRows) {
    doc.BuildRows(-1);
    const IpAddressRow before = doc.Row(1);

    // An empty address table: 138, then 142, and nothing else changes.
    tables.addr = Table<IpAddrRow>({});
    host.lines.clear();
    doc.BuildRows(-1);
    EXPECT_EQ(host.Texts(), (QStringList{S(136), S(138), S(142)}));
    EXPECT_EQ(doc.m_nRowCount, 2u);
    EXPECT_EQ(doc.Row(1), before);

    // A failing neighbour table is not taken for an empty one.
    SetUp();
    tables.net = Failed<IpNetRow>(1, "Operation not permitted");
    host.lines.clear();
    doc.BuildRows(-1);
    EXPECT_EQ(host.Texts(),
              (QStringList{S(136), "IP Net Table:  Operation not permitted", S(142)}));

    // All three tables are always asked for, each reporting its own problem.
    tables.addr = Failed<IpAddrRow>(105, "No buffer space available");
    tables.ifs = Table<IfRow>({});
    host.lines.clear();
    doc.BuildRows(-1);
    EXPECT_EQ(host.Texts(),
              (QStringList{S(136), "IP Address Table:  No buffer space available",
                           "IP Net Table:  Operation not permitted", S(140), S(142)}));
    EXPECT_EQ(doc.Row(1), before);
}

TEST_F(NetworkRefresh, QuietCheckLogsNothingAndRestoresLogging) {
    doc.RefreshNetworkInfo(-1);
    host.lines.clear();

    doc.CheckSelection();

    ASSERT_FALSE(host.lines.empty());
    for (const auto& line : host.lines) {
        EXPECT_FALSE(line.log) << line.text.toStdString();
    }
    EXPECT_EQ(doc.m_bLogStatus, 1);
}

}  // namespace
}  // namespace qv::test
