#include <gtest/gtest.h>

#include "resources/StringTable.h"
#include "tests/network/DocFixtures.h"

#include <QCoreApplication>
#include <QTimer>

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
    EXPECT_EQ(host.finished, 1);
}

// A quiet check stays quiet to its end, also when its rows are built later from the event loop,
// once the local host's address has been answered.
TEST_F(NetworkRefresh, AQuietCheckLogsNothingWhenItsRowsComeLater) {
    int argc = 1;
    char name[] = "network_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    resolver.holdLocal = true;
    doc.CheckSelection();
    ASSERT_TRUE(resolver.heldLocal);
    std::exchange(resolver.heldLocal, nullptr)(resolver.localIp);
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(doc.IsRefreshing());
    EXPECT_TRUE(host.Texts().contains("Updating host information on interface: 0x2"));
    for (const auto& line : host.lines) {
        EXPECT_FALSE(line.log) << line.text.toStdString();
    }
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
    EXPECT_EQ(host.lines[1].text, S(Text::NetTableEmpty));
    EXPECT_EQ(resolver.asked, (std::vector<std::uint32_t>{Ip("10.0.0.5"), Ip("10.0.0.5")}));
    EXPECT_EQ(At(0, ColGatewayIpAddress), "10.0.0.254");

    // Still empty: the error line, and the rows are built all the same.
    tables.net = Failed<IpNetRow>(kErrorNoData, "No data available");
    host.lines.clear();
    doc.BuildRows(-1);
    const QStringList texts = host.Texts();
    EXPECT_EQ(texts.mid(0, 3), (QStringList{S(Text::Updating), S(Text::NetTableEmpty),
                                            "IP Net Table:  No data available"}));
    EXPECT_FALSE(texts.contains(S(Text::TableMissing)));
    EXPECT_EQ(texts.back(), S(Text::UpdateComplete));
    ASSERT_EQ(doc.m_rowCount, 2u);
    EXPECT_EQ(At(1, ColDiagnosticInformation), S(Text::NoNeighbourMatch) + " ");
}

TEST_F(NetworkRefresh, MissingTableKeepsTheRows) {
    doc.BuildRows(-1);
    const IpAddressRow before = doc.Row(1);

    tables.addr = Table<IpAddrRow>({});
    host.lines.clear();
    doc.BuildRows(-1);
    EXPECT_EQ(host.Texts(),
              (QStringList{S(Text::Updating), S(Text::NoAddresses), S(Text::TableMissing)}));

    // Every table is asked for and reports its own problem; a failing neighbour table is not
    // taken for an empty one.
    tables.addr = Failed<IpAddrRow>(105, "No buffer space available");
    tables.net = Failed<IpNetRow>(1, "Operation not permitted");
    tables.ifs = Table<IfRow>({});
    host.lines.clear();
    doc.BuildRows(-1);
    EXPECT_EQ(host.Texts(),
              (QStringList{S(Text::Updating), "IP Address Table:  No buffer space available",
                           "IP Net Table:  Operation not permitted", S(Text::NoInterfaceEntries),
                           S(Text::TableMissing)}));
    EXPECT_EQ(doc.m_rowCount, 2u);
    EXPECT_EQ(doc.Row(1), before);
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// Look-ups that the test answers by hand; destroying them marks them cancelled.
struct HeldResolver : FakeResolver {
    struct Held : PendingLookups {
        bool* cancelled;
        explicit Held(bool* c) : cancelled(c) {}
        ~Held() override { *cancelled = true; }
    };
    ReverseLookupAnswer answer;
    int starts = 0;
    bool cancelled = false;

    std::unique_ptr<PendingLookups> StartReverseLookups(const std::vector<std::uint32_t>&, int,
                                                        ReverseLookupAnswer a) override {
        answer = std::move(a);
        ++starts;
        cancelled = false;
        return std::make_unique<Held>(&cancelled);
    }
};

// The rows come at once with "Looking up ..."; answers fill them in place; the deadline gives the
// rest the time-out text; a check asked for meanwhile follows; the selection check and a tick
// given while a name is pending only ever take finished host names.
TEST(NetworkRefreshLookUps, RowsFillInAsAnswersComeAndTheRefreshEndsAtTheDeadline) {
    int argc = 1;
    char name[] = "network_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    FakeTables tables;
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.0.6", 2)});
    tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1})});
    tables.ifs = Table<IfRow>({If(2, "eth0")});
    HeldResolver resolver;
    FixedClock clock;
    RecordingHost host;
    AddressList doc(tables, resolver, clock);
    host.Record(doc);
    doc.OnNewDocument();
    doc.SetLookupDeadline(50);
    doc.m_interfaceNum = "0x2";
    doc.m_nicDescription = "eth0";
    doc.m_storedIp = "10.0.0.6";
    QTimer wake;  // the waits below never block for long, whatever happens
    wake.start(20);
    auto settle = [&] {
        for (int i = 0; i < 1000 && doc.IsRefreshing(); ++i) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return !doc.IsRefreshing();
    };

    ASSERT_TRUE(doc.RefreshNetworkInfo(-1));
    EXPECT_TRUE(doc.IsRefreshing());
    EXPECT_EQ(doc.Field(0, ColHostName), "Looking up ...");
    EXPECT_TRUE(host.trayAddresses.isEmpty());  // no selection check before the names are in
    resolver.answer(1, {"six.example", kLookupOk});
    EXPECT_EQ(host.changedRows, std::vector<int>{1});
    EXPECT_EQ(doc.Field(1, ColHostName), "six.example");
    EXPECT_EQ(doc.Field(1, ColDiagnosticInformation), "All is OK!");
    ASSERT_TRUE(settle());
    EXPECT_TRUE(resolver.cancelled);
    EXPECT_EQ(doc.Field(0, ColHostName), "Host name unknown");
    EXPECT_EQ(doc.Field(0, ColDiagnosticInformation),
              "Nonauthoritative host not found, or server failed.");
    EXPECT_EQ(host.trayAddresses, QStringList{"10.0.0.6"});
    EXPECT_EQ(doc.m_hostName, "six.example");
    EXPECT_TRUE(host.Texts().filter("Looking up").isEmpty());

    // A tick on a row whose name is still pending takes the name when it comes; a check asked
    // for meanwhile follows the refresh.
    doc.RefreshNetworkInfo(-1);
    doc.SelectRow(0);
    EXPECT_TRUE(doc.CheckSelection());
    EXPECT_EQ(resolver.starts, 2);
    resolver.answer(0, {"five.example", kLookupOk});
    resolver.answer(1, {"six.example", kLookupOk});
    for (int i = 0; i < 1000 && resolver.starts < 3; ++i) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    resolver.answer(0, {"five.example", kLookupOk});  // the check's own look-up of row 0
    ASSERT_TRUE(settle());
    EXPECT_EQ(host.finished, 3);
    EXPECT_EQ(doc.m_hostName, "five.example");
    EXPECT_EQ(host.trayAddresses, (QStringList{"10.0.0.6", "10.0.0.5"}));
}

}  // namespace
}  // namespace qv::test
