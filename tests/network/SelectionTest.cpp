#include <gtest/gtest.h>

#include "resources/Ids.h"
#include "tests/network/DocFixtures.h"

#include <QSettings>
#include <QTemporaryDir>

namespace qv::test {
namespace {

const char* const kStamp = "  Dec 06, 2026,  07:05:09 PM";

class NetworkSelection : public ::testing::Test, public DocFixture {
  protected:
    void SetUp() override {
        tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.1.1", 3)});
        tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1}), Net(3, "10.0.1.254", {2})});
        tables.ifs = Table<IfRow>({If(2, "X"), If(3, "Y")});
        resolver.Name("10.0.0.5", "h");
        resolver.Name("10.0.0.9", "h9");
    }
    void StoreIdentity(const char* number, const char* description) {
        doc.m_strInterfaceNum = number;
        doc.m_strNicDescription = description;
    }
    int Posted() const {
        return static_cast<int>(
            std::count(host.posted.begin(), host.posted.end(), kCmdSelectionChanged));
    }
};

TEST_F(NetworkSelection, FirstStartWithoutStoredSelection) {
    doc.RefreshNetworkInfo(-1);

    const QString text = QStringLiteral("Interface  or NIC Card '' have been changed on ") +
                         kStamp + " by the system or selection is now invalid.";
    EXPECT_EQ(host.Texts().back(), text);
    EXPECT_EQ(host.messages, QStringList{text + " Please reselect an IP Address."});
    EXPECT_EQ(doc.m_nSelectedRow, -1);
    EXPECT_EQ(doc.m_strSelectedIp, "---.---.---.---");
    EXPECT_EQ(Posted(), 0);
}

TEST_F(NetworkSelection, StoredSelectionCountsAsChangeOnceAtStart) {
    StoreIdentity("0x2", "X");
    doc.RefreshNetworkInfo(-1);

    EXPECT_EQ(host.Texts().back(),
              QStringLiteral("Interface: 0x2: 'X' with IP: 10.0.0.5 and Host 'h' is selected.    "
                             "Dec 06, 2026,  07:05:09 PM"));
    EXPECT_EQ(doc.m_nSelectedRow, 0);
    EXPECT_EQ(doc.m_strSelectedIp, "10.0.0.5");
    EXPECT_EQ(doc.m_strHostName, "h");
    EXPECT_EQ(host.trayAddresses, QStringList{"10.0.0.5"});
    EXPECT_EQ(host.previews, 1);
    EXPECT_EQ(Posted(), 1);
    EXPECT_TRUE(host.messages.isEmpty());

    doc.RefreshNetworkInfo(-1);  // nothing changed: no second selection
    EXPECT_EQ(Posted(), 1);
}

TEST_F(NetworkSelection, PollingCheckFindsNewAddress) {
    StoreIdentity("0x3", "Y");
    doc.RefreshNetworkInfo(-1);
    ASSERT_EQ(doc.m_nSelectedRow, 1);
    ASSERT_EQ(Posted(), 1);

    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2), Addr("10.0.1.9", 3)});
    host.lines.clear();
    EXPECT_TRUE(doc.CheckSelection());

    EXPECT_EQ(doc.Field(1, ColNicIpAddress), "10.0.1.9");
    EXPECT_EQ(doc.m_strSelectedIp, "10.0.1.9");
    EXPECT_EQ(host.trayAddresses.back(), "10.0.1.9");
    EXPECT_EQ(Posted(), 2);
    // Only the selected row was rebuilt.
    EXPECT_EQ(host.Texts().count(S(148) + "0x3"), 1);
    EXPECT_EQ(host.Texts().count(S(148) + "0x2"), 0);
    EXPECT_TRUE(host.Texts().back().startsWith("Interface: 0x3: 'Y' with IP: 10.0.1.9"));
}

TEST_F(NetworkSelection, AdapterBackUnderAnotherIndexLosesSelection) {
    StoreIdentity("0x2", "X");
    doc.RefreshNetworkInfo(-1);
    ASSERT_EQ(doc.m_nSelectedRow, 0);

    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 7), Addr("10.0.1.1", 3)});
    tables.net = Table<IpNetRow>({Net(7, "10.0.0.254", {1}), Net(3, "10.0.1.254", {2})});
    tables.ifs = Table<IfRow>({If(7, "X"), If(3, "Y")});

    // The quiet check rebuilds only the selected row: 143, and the old row is still selected.
    doc.CheckSelection();
    EXPECT_TRUE(host.Texts().contains(S(143)));
    EXPECT_EQ(doc.m_nSelectedRow, 0);

    // A full refresh shows the new index: the selection is lost but its identity kept.
    doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(doc.m_nSelectedRow, -1);
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_TRUE(host.messages[0].startsWith("Interface 0x2 or NIC Card 'X' have been changed on"));
    EXPECT_EQ(doc.m_strInterfaceNum, "0x2");
    EXPECT_EQ(doc.m_strSelectedIp, "10.0.0.5");
    EXPECT_EQ(Posted(), 1);
}

TEST_F(NetworkSelection, OneNotFoundBoxAtATime) {
    int nested = 0;
    host.onMessage = [&] {
        // Two polling ticks arrive while the box is open.
        if (++nested <= 2) {
            doc.CheckSelection();
            doc.CheckSelection();
        }
    };
    doc.RefreshNetworkInfo(-1);

    EXPECT_EQ(host.messages.size(), 1);
    EXPECT_EQ(host.Texts().filter("have been changed on").size(), 3);  // all three reported
    EXPECT_EQ(doc.m_bLogStatus, 1);

    doc.CheckSelection();  // the box was closed: the next check may open one again
    EXPECT_EQ(host.messages.size(), 2);
}

TEST_F(NetworkSelection, ClickSelectsRowAndIgnoresRowsOutside) {
    doc.RefreshNetworkInfo(-1);
    doc.SelectRow(1);
    EXPECT_EQ(doc.m_strInterfaceNum, "0x3");
    EXPECT_EQ(doc.m_strNicDescription, "Y");
    EXPECT_EQ(Posted(), 1);

    doc.SelectRow(2);
    doc.SelectRow(-1);
    EXPECT_EQ(doc.m_nSelectedRow, 1);
    EXPECT_EQ(Posted(), 1);
}

TEST(NetworkProfile, SelectionSurvivesARestart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Quorvane.conf");
    {
        DocFixture f;
        QSettings profile(path, QSettings::IniFormat);
        f.doc.SetProfile(&profile);
        ASSERT_TRUE(f.doc.OnNewDocument());
        EXPECT_EQ(f.doc.m_strInterfaceNum, "");
        for (const auto& column : f.doc.m_columns) {
            EXPECT_EQ(column.size(), 10);
        }
        f.tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 2)});
        f.tables.net = Table<IpNetRow>({Net(2, "10.0.0.254", {1})});
        f.tables.ifs = Table<IfRow>({If(2, "enp0s3 'lan'")});
        f.resolver.Name("10.0.0.5", "h.example");
        f.doc.RefreshNetworkInfo(-1);
        f.doc.SelectRow(0);
        f.doc.OnCloseDocument();
    }
    QSettings raw(path, QSettings::IniFormat);
    EXPECT_EQ(raw.value("Data/InterfaceNum").toString(), "0x2");
    EXPECT_EQ(raw.value("Data/NICDescription").toString(), "enp0s3 'lan'");
    EXPECT_EQ(raw.value("Data/HostName").toString(), "h.example");

    DocFixture again;
    QSettings profile(path, QSettings::IniFormat);
    again.doc.SetProfile(&profile);
    again.doc.OnNewDocument();
    EXPECT_EQ(again.doc.m_strInterfaceNum, "0x2");
    EXPECT_EQ(again.doc.m_strNicDescription, "enp0s3 'lan'");
    EXPECT_EQ(again.doc.m_strHostName, "h.example");
    EXPECT_EQ(again.doc.m_strSelectedIp, "---.---.---.---");  // filled by the first refresh
}

}  // namespace
}  // namespace qv::test
