#include <gtest/gtest.h>

#include "platform/RouterAddress.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "tests/network/DocFixtures.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace qv::test {
namespace {

class NetworkSelection : public ::testing::Test, public DocFixture {
  protected:
    void SetUp() override {
        tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.1.1", 3)});
        tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1}), Net(3, "10.0.1.254", {2})});
        tables.ifs = Table<IfRow>({If(2, "X"), If(3, "Y")});
        resolver.Name("10.0.0.5", "h");
    }
    void Select(const char* number, const char* description) {
        doc.m_interfaceNum = number;
        doc.m_nicDescription = description;
        doc.RefreshNetworkInfo(-1);
    }
    long Posted() const { return host.selectionChanges; }
};

TEST_F(NetworkSelection, FirstStartAsksForATickWithoutABox) {
    doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(host.Texts().back(), "Please tick the IP Address to watch in the list above.");
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_EQ(doc.m_selectedRow, -1);
    EXPECT_EQ(Posted(), 0);

    // A stored selection that is really gone still gets its box.
    Select("0x9", "Z");
    const QString text =
        "Interface 0x9 or NIC Card 'Z' have been changed on   Dec 06, 2026,  07:05:09 PM by the "
        "system or selection is now invalid.";
    EXPECT_EQ(host.Texts().back(), text);
    EXPECT_EQ(host.messages, QStringList{text + " Please reselect an IP Address."});
}

TEST_F(NetworkSelection, StoredSelectionAndAddressChangeFoundByPolling) {
    Select("0x2", "X");  // at start the stored selection always counts as a change
    EXPECT_EQ(host.Texts().back(),
              "Interface: 0x2: 'X' with IP: 10.0.0.5 and Host 'h' is selected.    "
              "Dec 06, 2026,  07:05:09 PM");
    EXPECT_EQ(host.trayAddresses, QStringList{"10.0.0.5"});
    EXPECT_EQ(Posted(), 1);
    host.lines.clear();
    doc.CheckSelection();  // nothing changed
    EXPECT_EQ(Posted(), 1);
    EXPECT_EQ(host.Texts().filter(S(Text::UpdatingHost)),
              QStringList{S(Text::UpdatingHost) + "0x2"});  // only that row

    // The same address under another host name is shown and kept, not forwarded.
    resolver.Name("10.0.0.5", "h2");
    doc.CheckSelection();
    EXPECT_EQ(doc.m_hostName, "h2");
    EXPECT_TRUE(host.Texts().back().contains("Host 'h2' is selected"));
    EXPECT_EQ(Posted(), 1);

    tables.addr = Table<IpAddrRow>({Addr("10.0.0.9", 2), Addr("10.0.1.1", 3)});
    host.lines.clear();
    EXPECT_TRUE(doc.CheckSelection());
    EXPECT_EQ(doc.m_selectedIp, "10.0.0.9");
    EXPECT_EQ(host.trayAddresses.back(), "10.0.0.9");
    EXPECT_EQ(Posted(), 2);
    for (const auto& line : host.lines) {
        EXPECT_FALSE(line.log) << line.text.toStdString();
    }
    EXPECT_EQ(doc.m_logStatus, 1);
}

TEST_F(NetworkSelection, AdapterBackUnderAnotherIndexLosesSelection) {
    Select("0x2", "X");
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 7), Addr("10.0.1.1", 3)});
    tables.net = Table<IpNetRow>({Net(7, "10.0.0.254", {1}), Net(3, "10.0.1.254", {2})});
    tables.ifs = Table<IfRow>({If(7, "X"), If(3, "Y")});

    doc.CheckSelection();  // one row: its interface is gone, so it keeps its text
    EXPECT_TRUE(host.Texts().contains(S(Text::SelectionLost)));
    EXPECT_EQ(doc.m_selectedRow, 0);

    doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(doc.m_selectedRow, -1);
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_TRUE(host.messages[0].startsWith("Interface 0x2 or NIC Card 'X' have been changed on"));
    EXPECT_EQ(doc.m_interfaceNum, "0x2");  // kept for the next refresh
    EXPECT_EQ(Posted(), 1);
}

TEST_F(NetworkSelection, SecondAddressStaysSelectedAndALostAddressIsNotReported) {
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.0.6", 2), Addr("10.0.1.1", 3)});
    doc.RefreshNetworkInfo(-1);
    doc.SelectRow(1);
    doc.CheckSelection();
    doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(doc.m_selectedRow, 1);
    EXPECT_EQ(At(0, ColNicIpAddress), "10.0.0.5");
    EXPECT_EQ(At(1, ColNicIpAddress), "10.0.0.6");
    EXPECT_EQ(host.trayAddresses, QStringList{"10.0.0.6"});

    // Every address of the interface is gone: the selection is lost, nothing reported as selected
    // or forwarded, and the tray shows the placeholder until an address is back.
    tables.addr = Table<IpAddrRow>({Addr("10.0.1.1", 3)});
    host.lines.clear();
    doc.CheckSelection();
    doc.CheckSelection();
    EXPECT_EQ(host.Texts().filter(S(Text::SelectionLost)).size(), 2);
    EXPECT_TRUE(host.Texts().filter("is selected").isEmpty());
    EXPECT_EQ(host.trayAddresses.mid(1), QStringList{"---.---.---.---"});
    EXPECT_EQ(doc.m_selectedIp, "---.---.---.---");
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.1.1", 3)});
    doc.CheckSelection();
    EXPECT_EQ(host.trayAddresses.mid(2), QStringList{"10.0.0.5"});
    EXPECT_EQ(Posted(), 2);  // the tick and the address found again
}

// A ticked IPv6 address stays ticked among its interface's other addresses; when it goes, the
// interface's next IPv6 address that can be ticked takes its place, and only then an IPv4 one.
TEST_F(NetworkSelection, TickedIpv6AddressStaysAndIsFollowedInItsFamily) {
    tables.addr6 = Table<Ipv6AddrRow>({Addr6("2001:db8::5", 2), Addr6("2001:db8::6", 2)});
    doc.RefreshNetworkInfo(-1);
    ASSERT_EQ(At(3, ColNicIpAddress), "2001:db8::6");
    doc.SelectRow(3);
    doc.CheckSelection();
    doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(doc.m_selectedRow, 3);
    EXPECT_EQ(host.trayAddresses, QStringList{"2001:db8::6"});

    tables.addr6 = Table<Ipv6AddrRow>(
        {Addr6("2001:db8::1", 2, kIpv6Temporary), Addr6("2001:db8::7", 2, kIpv6Deprecated)});
    doc.CheckSelection();
    tables.addr6 = Table<Ipv6AddrRow>({Addr6("2001:db8::1", 2, kIpv6Temporary)});
    doc.CheckSelection();
    EXPECT_EQ(host.trayAddresses.mid(1), (QStringList{"2001:db8::7", "10.0.0.5"}));
}

TEST(NetworkProfile, SelectionSurvivesARestart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Quorvane.conf");
    auto machine = [](DocFixture& f) {
        f.tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.0.6", 2)});
        f.tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1})});
        f.tables.ifs = Table<IfRow>({If(2, "enp0s3 'lan'")});
        f.resolver.Name("10.0.0.5", "h.example");
        f.resolver.Name("10.0.0.6", "h.example");
    };
    {
        DocFixture f;
        QSettings profile(path, QSettings::IniFormat);
        f.doc.SetProfile(&profile);
        f.doc.OnNewDocument();
        EXPECT_EQ(f.doc.m_texts.Rows(), 10u);
        machine(f);
        f.doc.RefreshNetworkInfo(-1);
        f.doc.SelectRow(1);
        f.doc.OnCloseDocument();
    }
    QSettings raw(path, QSettings::IniFormat);
    EXPECT_EQ(raw.value("Data/InterfaceNum").toString(), "0x2");
    EXPECT_EQ(raw.value("Data/NICDescription").toString(), "enp0s3 'lan'");
    EXPECT_EQ(raw.value("Data/HostName").toString(), "h.example");
    EXPECT_EQ(raw.value("Data/IPAddress").toString(), "10.0.0.6");

    // The same address comes back, forwarded once; a file without the address (an older one)
    // takes the interface's first address as before.
    for (const char* expected : {"10.0.0.6", "10.0.0.5"}) {
        DocFixture again;
        machine(again);
        again.doc.SetProfile(&raw);
        again.doc.OnNewDocument();
        EXPECT_EQ(again.doc.m_selectedIp, "---.---.---.---");
        again.doc.RefreshNetworkInfo(-1);
        EXPECT_EQ(again.host.trayAddresses, QStringList{expected});
        raw.remove("Data/IPAddress");
    }

    // A file that its owner made read-only is left as it is, also when root runs the program.
    DocFixture again;
    machine(again);
    again.doc.SetProfile(&raw);
    again.doc.OnNewDocument();
    QFile file(path);
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner));
    again.doc.m_hostName = "other.example";
    EXPECT_FALSE(again.doc.StoreSelection());
    EXPECT_EQ(file.permissions() & 0x7000, QFileDevice::ReadOwner);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("other.example"));
}

// The public address rows follow the local ones. The ticked one is known by its source: it
// stays ticked across a restart and a change of its address (which is forwarded); a failed
// question keeps its address; the refresh ends when the sources have answered, where it must.
TEST(NetworkPublicRows, KnownByTheirSourceAcrossRestartsAndFailures) {
    QTemporaryDir dir;
    QSettings profile(dir.filePath("Quorvane.conf"), QSettings::IniFormat);
    const QString echo = QStringLiteral("http://user:pw@echo.example/ip?k=1");
    auto machine = [&](DocFixture& f) {
        f.tables.addr = Table<IpAddrRow>({Addr("192.168.1.10", 2)});
        f.tables.ifs = Table<IfRow>({If(2, "eth0")});
        f.host.sources = {true, echo, 0};
        f.publicSources.answers[""] = {true, "203.0.113.7", {}, "Home Router", "192.168.1.1"};
        f.publicSources.answers[echo] = {true, "203.0.113.7", {}, {}, {}};
        f.doc.SetProfile(&profile);
        f.doc.OnNewDocument();
        f.doc.RefreshNetworkInfo(-1);
    };
    {
        DocFixture f;
        machine(f);
        ASSERT_EQ(f.doc.m_rowCount, 3u);
        EXPECT_EQ(f.doc.Row(1).fields,
                  (std::array<QString, kColumnCount>{
                      "203.0.113.7", "UPnP", "public", "Home Router", "-----------------",
                      "Host name unknown", "192.168.1.1", "-----------------", "---.---.---.---",
                      "---.---.---.---",
                      "Public address from the UPnP router at 192.168.1.1, confirmed Dec 06, "
                      "2026, 07:05:09 PM."}));
        EXPECT_EQ(f.At(2, ColInterfaceNumber), "Web");
        EXPECT_EQ(f.At(2, ColNicDescription), "Echo page at echo.example");
        EXPECT_EQ(f.At(2, ColDiagnosticInformation),
                  "Public address from the echo page http://echo.example/ip, confirmed Dec 06, "
                  "2026, 07:05:09 PM.");
        f.doc.SelectRow(1);
        f.doc.OnCloseDocument();
    }

    DocFixture f;
    f.publicSources.deferred = true;  // the answers come from the event loop
    machine(f);
    EXPECT_TRUE(f.doc.IsRefreshing());
    EXPECT_EQ(f.host.finished, 0);
    // Until a source asked for the first time answers, its row says so and cannot be ticked.
    EXPECT_EQ(f.At(1, ColNicIpAddress), "Looking up ...");
    EXPECT_EQ(f.At(2, ColNicIpAddress), "Looking up ...");
    EXPECT_FALSE(f.doc.IsTickable(1));
    f.publicSources.Deliver();
    EXPECT_FALSE(f.doc.IsRefreshing());
    EXPECT_EQ(f.doc.m_selectedRow, 1);
    EXPECT_EQ(f.host.trayAddresses, QStringList{"203.0.113.7"});
    EXPECT_TRUE(f.host.messages.isEmpty());

    // The router stops answering: the row keeps its address and says so; nothing is forwarded.
    f.publicSources.deferred = false;
    f.publicSources.answers[""] = {false, {}, "No UPnP router answered within 2 s.", {}, {}};
    f.doc.CheckSelection();
    EXPECT_EQ(f.At(1, ColNicIpAddress), "203.0.113.7");
    EXPECT_EQ(f.At(1, ColDiagnosticInformation),
              "No UPnP router answered within 2 s. Last confirmed Dec 06, 2026, 07:05:09 PM; "
              "asked Dec 06, 2026, 07:05:09 PM.");
    EXPECT_EQ(f.host.trayAddresses.size(), 1);

    // A router behind another router (double NAT) reports a private address: the row says so,
    // and that address is never taken for the public one.
    f.publicSources.answers[""] = RouterAddress::Judge("10.0.0.2");
    f.publicSources.answers[""].description = "Home Router";
    f.doc.CheckSelection();
    EXPECT_EQ(f.host.trayAddresses.last(), "203.0.113.7");
    EXPECT_EQ(f.At(1, ColNicIpAddress), "203.0.113.7");
    EXPECT_TRUE(f.At(1, ColDiagnosticInformation)
                    .startsWith("The UPnP router reports the private external address 10.0.0.2: "
                                "it is behind another router (double NAT)"))
        << f.At(1, ColDiagnosticInformation).toStdString();

    // Each source is asked at most once in its interval; turned off, its row goes.
    f.host.sources.minIntervalMs = 60000;
    f.doc.RefreshNetworkInfo(-1);
    const qsizetype asked = f.publicSources.asked.size();
    f.doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(f.publicSources.asked.size(), asked);
    f.host.sources = {};
    f.doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(f.doc.m_rowCount, 1u);
    EXPECT_EQ(f.doc.m_selectedRow, -1);
    EXPECT_EQ(f.host.messages.size(), 1);

    // With a local address ticked, the refresh (and so the check and the forwarding of a local
    // change) does not wait for the sources; their rows are filled in when they answer.
    DocFixture local;
    local.tables.addr = Table<IpAddrRow>({Addr("192.168.1.10", 2)});
    local.tables.ifs = Table<IfRow>({If(2, "eth0")});
    local.host.sources = {true, {}, 0};
    local.publicSources.answers[""] = {true, "203.0.113.7", {}, "Home Router", "192.168.1.1"};
    local.doc.OnNewDocument();
    local.doc.RefreshNetworkInfo(-1);
    local.doc.SelectRow(0);
    local.publicSources.deferred = true;
    local.publicSources.answers[""].address = "203.0.113.8";
    local.doc.RefreshNetworkInfo(-1);
    EXPECT_FALSE(local.doc.IsRefreshing());
    EXPECT_TRUE(local.doc.IsAskingPublicSources());
    local.publicSources.Deliver();
    EXPECT_FALSE(local.doc.IsAskingPublicSources());
    EXPECT_EQ(local.At(1, ColNicIpAddress), "203.0.113.8");
    EXPECT_EQ(local.doc.m_selectedRow, 0);
}

}  // namespace
}  // namespace qv::test
