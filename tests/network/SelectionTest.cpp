#include <gtest/gtest.h>

#include "resources/Ids.h"
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
        doc.m_strInterfaceNum = number;
        doc.m_strNicDescription = description;
        doc.RefreshNetworkInfo(-1);
    }
    long Posted() const {
        return std::count(host.posted.begin(), host.posted.end(), kCmdSelectionChanged);
    }
};

TEST_F(NetworkSelection, FirstStartWithoutStoredSelection) {
    doc.RefreshNetworkInfo(-1);
    const QString text =
        "Interface  or NIC Card '' have been changed on   Dec 06, 2026,  07:05:09 PM by the "
        "system or selection is now invalid.";
    EXPECT_EQ(host.Texts().back(), text);
    EXPECT_EQ(host.messages, QStringList{text + " Please reselect an IP Address."});
    EXPECT_EQ(doc.m_nSelectedRow, -1);
    EXPECT_EQ(Posted(), 0);
}

TEST_F(NetworkSelection, StoredSelectionAndAddressChangeFoundByPolling) {
    Select("0x2", "X");  // at start the stored selection always counts as a change
    EXPECT_EQ(host.Texts().back(),
              "Interface: 0x2: 'X' with IP: 10.0.0.5 and Host 'h' is selected.    "
              "Dec 06, 2026,  07:05:09 PM");
    EXPECT_EQ(host.trayAddresses, QStringList{"10.0.0.5"});
    EXPECT_EQ(Posted(), 1);
    doc.CheckSelection();  // nothing changed
    EXPECT_EQ(Posted(), 1);

    tables.addr = Table<IpAddrRow>({Addr("10.0.0.9", 2), Addr("10.0.1.1", 3)});
    host.lines.clear();
    EXPECT_TRUE(doc.CheckSelection());
    EXPECT_EQ(doc.m_strSelectedIp, "10.0.0.9");
    EXPECT_EQ(host.trayAddresses.back(), "10.0.0.9");
    EXPECT_EQ(Posted(), 2);
    EXPECT_EQ(host.Texts().filter(S(148)), QStringList{S(148) + "0x2"});  // only that row
    for (const auto& line : host.lines) {
        EXPECT_FALSE(line.log) << line.text.toStdString();
    }
    EXPECT_EQ(doc.m_bLogStatus, 1);
}

TEST_F(NetworkSelection, AdapterBackUnderAnotherIndexLosesSelection) {
    Select("0x2", "X");
    tables.addr = Table<IpAddrRow>({Addr("10.0.0.5", 7), Addr("10.0.1.1", 3)});
    tables.net = Table<IpNetRow>({Net(7, "10.0.0.254", {1}), Net(3, "10.0.1.254", {2})});
    tables.ifs = Table<IfRow>({If(7, "X"), If(3, "Y")});

    doc.CheckSelection();  // one row: its interface is gone, so it keeps its text
    EXPECT_TRUE(host.Texts().contains(S(143)));
    EXPECT_EQ(doc.m_nSelectedRow, 0);

    doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(doc.m_nSelectedRow, -1);
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_TRUE(host.messages[0].startsWith("Interface 0x2 or NIC Card 'X' have been changed on"));
    EXPECT_EQ(doc.m_strInterfaceNum, "0x2");  // kept for the next refresh
    EXPECT_EQ(Posted(), 1);
}

TEST_F(NetworkSelection, OneNotFoundBoxAtATime) {
    int opened = 0;
    host.onMessage = [&] {
        if (++opened < 5) {  // two polling ticks while the box is open
            doc.CheckSelection();
            doc.CheckSelection();
        }
    };
    doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(host.messages.size(), 1);
    EXPECT_EQ(host.Texts().filter("have been changed on").size(), 3);

    doc.CheckSelection();  // closed: the next check may open one again
    EXPECT_EQ(host.messages.size(), 2);
}

TEST(NetworkProfile, SelectionSurvivesARestart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Quorvane.conf");
    {
        DocFixture f;
        QSettings profile(path, QSettings::IniFormat);
        f.doc.SetProfile(&profile);
        f.doc.OnNewDocument();
        EXPECT_EQ(f.doc.m_columns[ColHostName].size(), 10);
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
    again.doc.SetProfile(&raw);
    again.doc.OnNewDocument();
    EXPECT_EQ(again.doc.m_strNicDescription, "enp0s3 'lan'");
    EXPECT_EQ(again.doc.m_strHostName, "h.example");
    EXPECT_EQ(again.doc.m_strSelectedIp, "---.---.---.---");

    // A file that its owner made read-only is left as it is, also when root runs the program.
    QFile file(path);
    ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner));
    again.doc.m_strHostName = "other.example";
    again.doc.OnCloseDocument();
    EXPECT_EQ(file.permissions() & 0x7000, QFileDevice::ReadOwner);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("other.example"));
}

}  // namespace
}  // namespace qv::test
