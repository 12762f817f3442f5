// The real netlink tables inside private namespaces: each test runs itself again in a child
// process under `unshare` (network, mount and host-name namespaces, inside a user namespace
// without root), builds veth links there and checks what the program makes of them and what
// the kernel announces.
#include <gtest/gtest.h>

#include "forwarding/Forwarder.h"
#include "network/AddressList.h"
#include "platform/AddressEvents.h"
#include "platform/NetTables.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "tests/network/DocFixtures.h"
#include "tests/network/PrivateNamespaces.h"
#include "tests/support/RecordingWebHost.h"
#include "views/AddressListView.h"
#include "views/ControlPane.h"
#include "views/MessageBoxPrompter.h"
#include "watch/ForwardingCommands.h"
#include "watch/WatchCore.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <tuple>

namespace qv::test {
namespace {

QByteArray Bytes(const std::uint8_t* p, std::uint32_t n) {
    return QByteArray(reinterpret_cast<const char*>(p), static_cast<qsizetype>(n));
}

// The hardware address as iproute2 shows it (sysfs still belongs to the outer namespace).
QByteArray LinkMac(const QString& ifname) {
    QProcess p;
    p.start("ip", {"-o", "link", "show", "dev", ifname});
    p.waitForFinished(10000);
    const QByteArray text = p.readAllStandardOutput();
    const int at = text.indexOf("link/ether ");
    return at < 0 ? QByteArray() : QByteArray::fromHex(text.mid(at + 11, 17).replace(':', ""));
}

// Field `col` of the row that shows `address`; empty when no row does.
// The row of `address`, or -1.
int RowOf(const AddressList& doc, const QString& address) {
    for (int r = 0; r < static_cast<int>(doc.m_rowCount); ++r) {
        if (doc.Field(r, ColNicIpAddress) == address) {
            return r;
        }
    }
    return -1;
}

QString FieldOf(const AddressList& doc, const char* address, InfoColumn col) {
    const int row = RowOf(doc, QLatin1String(address));
    return row < 0 ? QString() : doc.Field(row, col);
}

TEST(NetworkNetlink, TablesInAPrivateNamespace) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    NetlinkTables tables;
    EXPECT_EQ(tables.NetTable().status, kErrorNoData);  // a fresh namespace has no neighbours

    if (!Sh("ip link add v0 type veth peer name v1")) {
        GTEST_SKIP() << "veth links cannot be created here";
    }
    ASSERT_TRUE(
        Sh("ip link set lo up && ip link set v0 up && ip link set v1 up && "
           "ip addr add 10.9.1.1/16 dev v0 && ip addr add 10.9.0.1/24 brd + dev v0 && "
           "ip neigh add 10.9.0.2 lladdr 02:00:00:00:00:02 dev v0 nud permanent && "
           "ip neigh add 10.9.0.3 dev v0 nud incomplete && "
           "ip neigh add 239.255.255.250 lladdr 01:00:5e:7f:ff:fa dev v0 nud noarp && "
           "ip route add default via 10.9.0.2 dev v0"));
    const std::uint32_t v0 = if_nametoindex("v0"), v1 = if_nametoindex("v1");

    const auto addrs = tables.AddressTable();
    ASSERT_EQ(addrs.status, kNetTableOk) << addrs.error.toStdString();
    auto fields = [](const IpAddrRow& r) {
        return std::tuple(r.address, r.index, r.mask, r.broadcast);
    };
    ASSERT_EQ(addrs.rows.size(), 3u);  // ascending by address
    EXPECT_EQ(fields(addrs.rows[0]),
              std::tuple(Ip("10.9.0.1"), v0, Ip("255.255.255.0"), Ip("10.9.0.255")));
    EXPECT_EQ(fields(addrs.rows[1]), std::tuple(Ip("10.9.1.1"), v0, Ip("255.255.0.0"), 0u));
    EXPECT_EQ(fields(addrs.rows[2]),
              std::tuple(Ip("127.0.0.1"), if_nametoindex("lo"), Ip("255.0.0.0"), 0u));

    const auto net = tables.NetTable();
    ASSERT_EQ(net.status, kNetTableOk) << net.error.toStdString();
    auto entry = [&](const char* ip) {
        auto it = std::find_if(net.rows.begin(), net.rows.end(),
                               [&](const IpNetRow& r) { return r.address == Ip(ip); });
        return it == net.rows.end() ? IpNetRow{} : *it;
    };
    const IpNetRow gw = entry("10.9.0.2"), pending = entry("10.9.0.3");
    EXPECT_EQ(gw.index, v0);
    EXPECT_EQ(gw.type, kNetTypeStatic);
    EXPECT_FALSE(gw.noArp);
    EXPECT_TRUE(entry("239.255.255.250").noArp);
    EXPECT_EQ(Bytes(gw.hardware, gw.hardwareLength), QByteArray::fromHex("020000000002"));
    EXPECT_EQ(pending.index, v0);
    EXPECT_EQ(pending.type, kNetTypeInvalid);
    EXPECT_EQ(pending.hardwareLength, 0u);

    const auto ifs = tables.InterfaceTable();
    ASSERT_EQ(ifs.status, kNetTableOk) << ifs.error.toStdString();
    for (const auto& [index, name] : {std::pair{v0, "v0"}, std::pair{v1, "v1"}}) {
        auto it = std::find_if(ifs.rows.begin(), ifs.rows.end(),
                               [&](const IfRow& r) { return r.index == index; });
        ASSERT_NE(it, ifs.rows.end()) << name;
        EXPECT_EQ(Bytes(it->description, it->descriptionLength), name);
        EXPECT_EQ(it->hardwareLength, 6u);
        EXPECT_EQ(Bytes(it->hardware, it->hardwareLength), LinkMac(name));
    }

    // The main table's default routes, lowest metric first; other tables do not count.
    ASSERT_TRUE(
        Sh("ip route add default via 10.9.1.9 dev v0 metric 50 && "
           "ip route add default via 10.9.0.3 dev v0 table 100"));
    const auto routes = tables.DefaultGateways();
    ASSERT_EQ(routes.rows.size(), 2u) << routes.error.toStdString();
    EXPECT_EQ(std::pair(routes.rows[0].index, routes.rows[0].address),
              std::pair(v0, Ip("10.9.0.2")));
    EXPECT_EQ(routes.rows[1].address, Ip("10.9.1.9"));

    // The broadcast column: each address's own, none for loopback, a peer address or an
    // address added without one.
    ASSERT_TRUE(Sh("ip addr add 10.9.2.1 peer 10.9.2.2 dev v1"));
    FakeResolver resolver;
    AddressList doc(tables, resolver);
    doc.OnNewDocument();
    doc.BuildRows(-1);
    EXPECT_EQ(FieldOf(doc, "10.9.0.1", ColBroadcastIpAddress), "10.9.0.255");
    for (const char* none : {"10.9.1.1", "10.9.2.1", "127.0.0.1"}) {
        EXPECT_EQ(FieldOf(doc, none, ColBroadcastIpAddress), "0.0.0.0") << none;
    }
}

// The kernel's announcements reach the listener as one report per burst: a burst of address
// changes gives one report after it has ended, a storm of two thousand gives a handful, and
// nothing is reported while nothing changes.
TEST(NetworkNetlink, AddressEventsComeOncePerBurst) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    ProgramInNamespace program;
    if (!Sh("ip link add v0 type veth peer name v1 && ip link set v0 up")) {
        GTEST_SKIP() << "veth links cannot be created here";
    }
    AddressEvents events(nullptr, 200, 1000);
    ASSERT_TRUE(events.Start()) << events.ErrorText().toStdString();
    QSignalSpy changed(&events, &AddressEvents::Changed);

    QTest::qWait(400);
    EXPECT_EQ(changed.count(), 0);  // idle: no report
    ASSERT_TRUE(Sh("for i in 1 2 3 4 5; do ip addr add 10.9.2.$i/24 dev v0; done"));
    EXPECT_TRUE(changed.wait(3000));
    QTest::qWait(600);
    EXPECT_EQ(changed.count(), 1);
    changed.clear();
    ASSERT_TRUE(Sh("ip -6 addr add 2001:db8:9::1/64 dev v0 nodad"));  // IPv6 changes count too
    EXPECT_TRUE(changed.wait(3000));

    changed.clear();
    QTemporaryFile batch;
    ASSERT_TRUE(batch.open());
    for (int i = 0; i < 2000; ++i) {
        batch.write(
            QString("addr add 10.%1.%2.1/32 dev v0\n").arg(20 + i / 250).arg(i % 250).toUtf8());
    }
    batch.flush();
    ASSERT_TRUE(Sh("ip -batch " + batch.fileName().toStdString()));
    EXPECT_TRUE(changed.wait(3000));
    QTest::qWait(1500);
    EXPECT_GE(changed.count(), 1);
    EXPECT_LE(changed.count(), 3);
}

// A ticked second address of an interface, through the control pane's real forwarding to a web
// host on loopback: the host gets the ticked address and only the addresses that replace it.
TEST(NetworkNetlink, OnlyTheTickedAddressIsForwarded) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    if (!Sh("ip link add v0 type veth peer name v1")) {
        GTEST_SKIP() << "veth links cannot be created here";
    }
    ASSERT_TRUE(
        Sh("ip link set lo up && ip link set v0 up && ip link set v1 up && "
           "ip addr add 10.9.0.5/24 dev v0 && ip addr add 10.9.0.6/24 dev v0 && "
           "ip addr add 10.9.7.1/24 dev v1"));
    ProgramInNamespace program;

    RecordingWebHost web;
    NetlinkTables tables;
    FakeResolver resolver;
    ForwardingPane set(tables, resolver, web.Url());
    AddressList& doc = set.doc;
    ControlPane& pane = set.pane;
    QStringList tray;
    pane.SetTrayAddressHandler([&](const QString& a) { tray << a; });
    pane.Settings().AskRouter = false;
    // Runs what the document posted (the forwarding), as the event loop would.
    auto settle = [&] {
        set.Settle();
        EXPECT_FALSE(pane.IsBusy());
        QStringList addresses;
        for (const QString& query : web.Queries()) {
            addresses << query.section('&', 0, 0);
        }
        return addresses;
    };

    doc.OnNewDocument();
    doc.RefreshNetworkInfo(-1);
    ASSERT_EQ(doc.Field(1, ColNicIpAddress), "10.9.0.6");
    doc.SelectRow(1);  // the user ticks the second address of v0
    EXPECT_EQ(settle(), QStringList{"IPAddress=10.9.0.6"}) << pane.OutputText().toStdString();
    doc.CheckSelection();
    doc.RefreshNetworkInfo(-1);
    doc.CheckSelection();
    EXPECT_EQ(settle().size(), 1);
    EXPECT_EQ(doc.Field(0, ColNicIpAddress), "10.9.0.5");
    EXPECT_EQ(doc.Field(1, ColNicIpAddress), "10.9.0.6");

    // The ticked address goes: the interface's other address is the change.
    ASSERT_TRUE(Sh("ip addr del 10.9.0.6/24 dev v0"));
    doc.CheckSelection();
    EXPECT_EQ(settle().mid(1), QStringList{"IPAddress=10.9.0.5"});

    // The interface loses its last address: nothing is forwarded or reported as selected, the
    // tray shows the placeholder; the next address found is forwarded.
    ASSERT_TRUE(Sh("ip addr del 10.9.0.5/24 dev v0"));
    const qsizetype before = pane.OutputText().size();
    doc.CheckSelection();
    doc.CheckSelection();
    EXPECT_EQ(settle().size(), 2);
    EXPECT_FALSE(pane.OutputText().mid(before).contains("is selected"));
    EXPECT_EQ(tray.last(), "---.---.---.---");
    ASSERT_TRUE(Sh("ip addr add 10.9.0.9/24 dev v0"));
    doc.CheckSelection();
    EXPECT_EQ(settle().mid(2), QStringList{"IPAddress=10.9.0.9"});
    EXPECT_EQ(tray.last(), "10.9.0.9");
    pane.SetForwarding(nullptr);
}

// One IPv4 and one IPv6 row ticked together: both are watched and go in one request, the tray
// shows both, and each change, of one address or of both at once, reaches the host once.
TEST(NetworkNetlink, BothFamiliesAreWatchedTogether) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    if (!Sh("ip link add v0 type veth peer name v1 && "
            "sysctl -qw net.ipv6.conf.v0.dad_transmits=0 net.ipv6.conf.v0.accept_ra=0")) {
        GTEST_SKIP() << "veth links or their IPv6 settings cannot be made here";
    }
    ASSERT_TRUE(
        Sh("ip link set lo up && ip link set v0 up && ip link set v1 up && "
           "ip addr add 10.9.0.5/24 dev v0 && ip -6 addr add 2001:db8:1::5/64 dev v0 nodad"));
    ProgramInNamespace program;

    RecordingWebHost web;
    NetlinkTables tables;
    FakeResolver resolver;
    ForwardingPane set(tables, resolver, web.Url());
    AddressList& doc = set.doc;
    ControlPane& pane = set.pane;
    QStringList tray;
    pane.SetTrayAddressHandler([&](const QString& a) { tray << a; });
    pane.Settings().AskRouter = false;
    auto rowOf = [&](const QString& address) { return RowOf(doc, address); };
    auto sent = [&] {
        set.Settle();
        QStringList pairs;
        for (const QString& query : web.Queries()) {
            pairs << query.section('&', 0, 1);
        }
        return pairs;
    };

    doc.OnNewDocument();
    doc.RefreshNetworkInfo(-1);
    set.TickBox(rowOf("10.9.0.5"));
    set.TickBox(rowOf("2001:db8:1::5"));
    EXPECT_EQ(set.view.CheckedItem(), rowOf("10.9.0.5"));
    EXPECT_EQ(set.view.SecondItem(), rowOf("2001:db8:1::5"));
    EXPECT_EQ(tray.last(), "10.9.0.5, 2001:db8:1::5");
    const QStringList first = sent();
    ASSERT_FALSE(first.isEmpty()) << pane.OutputText().toStdString();
    EXPECT_EQ(first.last(), "IPAddress=10.9.0.5&IPv6Address=2001:db8:1::5");

    struct Change {
        const char* command;
        QString pairs;
    };
    const Change changes[] = {
        {"ip -6 addr del 2001:db8:1::5/64 dev v0 && ip -6 addr add 2001:db8:1::6/64 dev v0 nodad",
         "IPAddress=10.9.0.5&IPv6Address=2001:db8:1::6"},
        {"ip addr del 10.9.0.5/24 dev v0 && ip addr add 10.9.0.7/24 dev v0",
         "IPAddress=10.9.0.7&IPv6Address=2001:db8:1::6"},
        {"ip addr del 10.9.0.7/24 dev v0 && ip addr add 10.9.0.8/24 dev v0 && "
         "ip -6 addr del 2001:db8:1::6/64 dev v0 && ip -6 addr add 2001:db8:1::8/64 dev v0 nodad",
         "IPAddress=10.9.0.8&IPv6Address=2001:db8:1::8"},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.command);
        const qsizetype before = sent().size();
        ASSERT_TRUE(Sh(change.command));
        doc.CheckSelection();
        doc.CheckSelection();
        EXPECT_EQ(sent().mid(before), QStringList{change.pairs}) << pane.OutputText().toStdString();
    }
    EXPECT_EQ(tray.last(), "10.9.0.8, 2001:db8:1::8");
    pane.SetForwarding(nullptr);
}

// IPv6 on a real link: a router's announcement gives v0 an address of its own making and a
// temporary one, with the router in the neighbour table; the rows show the global, unique-local
// and deprecated addresses with their marks, twenty addresses of one link each get a row, and
// link-local ones none. The temporary row takes no tick; a ticked IPv6 address is forwarded by
// HTTP (to a web host on ::1) and by FTP (the page checked on the server's disk), and
// quorvane-cli list prints the rows in its eleven fields.
TEST(NetworkNetlink, Ipv6RowsAreTickedAndForwarded) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    if (!Sh("ip link add v0 type veth peer name v1 && "
            "sysctl -qw net.ipv6.conf.v0.dad_transmits=0 net.ipv6.conf.v0.use_tempaddr=2 "
            "net.ipv6.conf.v1.dad_transmits=0 net.ipv6.conf.v1.accept_ra=0")) {
        GTEST_SKIP() << "veth links or their IPv6 settings cannot be made here";
    }
    const QByteArray routerMac = LinkMac("v1");
    ASSERT_TRUE(
        Sh("ip link set lo up && ip link set v0 up && ip link set v1 up && "
           "ip -6 addr add 2001:db8:1::5/64 dev v0 nodad && "
           "ip -6 addr add fd00:1::5/48 dev v0 nodad && "
           "ip -6 addr add 2001:db8:2::5/64 dev v0 nodad preferred_lft 0 && "
           "for i in $(seq 1 20); do ip -6 addr add 2001:db8:3::$i/64 dev v1 nodad; done && "
           "/usr/bin/python3 " QV_ROUTER_ADVERT_SCRIPT " v1 " +
           routerMac.toHex(':').toStdString() + " 2001:db8:7::"));
    ProgramInNamespace program;
    NetlinkTables tables;
    // The kernel makes the announced addresses and checks them for duplicates first.
    auto temporary = [&]() -> std::optional<Ipv6AddrRow> {
        for (const auto& a : tables.Ipv6AddressTable().rows) {
            if ((a.flags & kIpv6Temporary) && !(a.flags & kIpv6Tentative)) {
                return a;
            }
        }
        return std::nullopt;
    };
    for (int i = 0; i < 200 && !temporary(); ++i) {
        QTest::qWait(50);
    }
    ASSERT_TRUE(temporary().has_value()) << "no temporary address from the router's announcement";
    const QString temp = Ipv6Text(temporary()->addr);
    EXPECT_TRUE(temp.startsWith("2001:db8:7:0:")) << temp.toStdString();

    const auto net6 = tables.Ipv6NetTable().rows;
    const auto router = std::find_if(net6.begin(), net6.end(), [](const Ipv6NetRow& n) {
        return n.router && n.index == if_nametoindex("v0");
    });
    ASSERT_NE(router, net6.end());
    EXPECT_EQ(Bytes(router->hardware, router->hardwareLength), routerMac);

    RecordingWebHost web(RecordingWebHost::kPostOnly, "::1");
    FakeResolver resolver;
    ForwardingPane set(tables, resolver, web.Url());
    AddressList& doc = set.doc;
    AddressListView& view = set.view;
    ControlPane& pane = set.pane;
    SettingsRecord& s = pane.Settings();
    doc.OnNewDocument();
    doc.RefreshNetworkInfo(-1);

    auto rowOf = [&](const QString& address) { return RowOf(doc, address); };
    const QString gateway = Ipv6Text(router->addr);
    EXPECT_EQ(FieldOf(doc, "2001:db8:1::5", ColGatewayIpAddress), gateway);
    EXPECT_EQ(FieldOf(doc, "2001:db8:1::5", ColGatewayMacAddress),
              QString::fromLatin1(routerMac.toHex('-').toUpper()));
    EXPECT_EQ(FieldOf(doc, "2001:db8:1::5", ColSubnetMask), "/64");
    EXPECT_EQ(FieldOf(doc, "2001:db8:1::5", ColBroadcastIpAddress), "----");
    EXPECT_EQ(FieldOf(doc, "fd00:1::5", ColSubnetMask), "/48");
    EXPECT_TRUE(FieldOf(doc, "2001:db8:2::5", ColDiagnosticInformation).startsWith("Deprecated"));
    EXPECT_TRUE(FieldOf(doc, temp.toLatin1().constData(), ColDiagnosticInformation)
                    .startsWith("Temporary"));
    for (int i = 1; i <= 20; ++i) {
        EXPECT_EQ(FieldOf(doc, qPrintable(QString("2001:db8:3::%1").arg(i)), ColNicDescription),
                  "v1")
            << i;
    }
    for (int r = 0; r < static_cast<int>(doc.m_rowCount); ++r) {
        EXPECT_FALSE(doc.Field(r, ColNicIpAddress).startsWith("fe80"));
    }

    // Ticking in the list: the temporary row refuses, the address of its own making is taken
    // and forwarded as it is.
    const QModelIndex tempBox = view.model()->index(rowOf(temp), ColNicIpAddress);
    EXPECT_FALSE(tempBox.flags() & Qt::ItemIsUserCheckable);
    set.TickBox(tempBox.row());
    EXPECT_EQ(tempBox.data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(doc.m_selectedRow, -1);
    set.TickBox(rowOf("2001:db8:1::5"));
    set.Settle();
    ASSERT_EQ(web.Queries().size(), 1) << pane.OutputText().toStdString();
    EXPECT_EQ(web.Queries()[0].section('&', 0, 0), "IPAddress=2001:db8:1::5");
    doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(doc.m_selectedIp, "2001:db8:1::5");
    EXPECT_EQ(view.model()->index(doc.m_selectedRow, 0).data(Qt::CheckStateRole).toInt(),
              Qt::Checked);

    // By FTP: the page with the address in URL form, on the server's disk.
    QTemporaryDir root, local;
    QProcess ftp;
    ftp.start("/usr/bin/python3", {QV_FTP_SERVER_SCRIPT, root.path()});
    if (!ftp.waitForReadyRead(10000)) {
        GTEST_SKIP() << "the FTP server did not start (is python3-pyftpdlib installed?)";
    }
    const int ftpPort = ftp.readLine().trimmed().toInt();
    QFile page(local.filePath("home.htm"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<a href=\"http://IPHERE\">home</a>\r\n");
    page.close();
    s.Method = ForwardMethod::Ftp;
    s.FTPTargetURL = s.StoredTargets.ftp = QString("ftp://127.0.0.1:%1/").arg(ftpPort);
    s.FTPForwardWebPage = page.fileName();
    s.FTPReplacementString = "IPHERE";
    s.FTPStartPage = "Demo/Default.asp";
    s.FTPUserID = "user";
    s.FTPPassword = "secret";
    set.forwarder.SendBy(ForwardMethod::Ftp);
    set.Settle();
    QFile uploaded(root.filePath("home.htm"));
    ASSERT_TRUE(uploaded.open(QIODevice::ReadOnly)) << pane.OutputText().toStdString();
    EXPECT_EQ(uploaded.readAll(), "<a href=\"http://[2001:db8:1::5]/Demo/Default.asp\">home</a>\n");
    ftp.kill();
    ftp.waitForFinished(5000);
    pane.SetForwarding(nullptr);

    // The command-line listing: the same rows, eleven fields each. It runs on Qt's own event
    // loop, as where Qt is built without GLib: the router's answer comes from a helper thread,
    // and the wait for it must end all the same.
    QProcess cli;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_NO_GLIB", "1");
    cli.setProcessEnvironment(env);
    cli.start(QV_CLI_PATH, {"list"});
    ASSERT_TRUE(cli.waitForFinished(20000));
    const QList<QByteArray> lines = cli.readAllStandardOutput().split('\n');
    const auto listed = std::find_if(lines.begin(), lines.end(), [](const QByteArray& l) {
        return l.startsWith("2001:db8:1::5\t");
    });
    ASSERT_NE(listed, lines.end());
    EXPECT_EQ(listed->split('\t').size(), 11);
    EXPECT_TRUE(listed->contains("\t/64\t----\t")) << listed->toStdString();
}

// Debian's hosts file maps the host name to 127.0.1.1: the local host line shows the address of
// the interface with the default route, and that row gets the host name.
TEST(NetworkNetlink, LocalHostLineWithAPrivateHostsFile) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    QTemporaryDir dir;
    QFile hosts(dir.filePath("hosts")), resolv(dir.filePath("resolv.conf"));
    ASSERT_TRUE(hosts.open(QIODevice::WriteOnly) && resolv.open(QIODevice::WriteOnly));
    hosts.write("127.0.0.1 localhost\n127.0.1.1 qv-box.example qv-box\n");
    resolv.write("nameserver 127.0.0.1\n");  // nothing answers there: look-ups fail at once
    hosts.close();
    resolv.close();
    if (!Sh("mount --bind " + hosts.fileName().toStdString() + " /etc/hosts && mount --bind " +
            resolv.fileName().toStdString() + " /etc/resolv.conf && hostname qv-box") ||
        !Sh("ip link add v0 type veth peer name v1")) {
        GTEST_SKIP() << "the hosts file or the links cannot be set up here";
    }
    ASSERT_TRUE(
        Sh("ip link set lo up && ip link set v0 up && ip link set v1 up && "
           "ip addr add 10.9.0.5/24 dev v0 && ip addr add 10.9.3.5/24 dev v1 && "
           "ip route add default via 10.9.3.1 dev v1"));

    NetlinkTables tables;
    RecordingHost host;
    AddressList doc(tables);
    host.Record(doc);
    doc.OnNewDocument();
    doc.RefreshNetworkInfo(-1);
    EXPECT_EQ(host.localHost, "qv-box     IP : 10.9.3.5");
    EXPECT_EQ(FieldOf(doc, "10.9.3.5", ColHostName), "qv-box");
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

// A name server on 127.0.0.1:53 that answers the PTR queries of odd last octets ("odd-N.test")
// after 200 ms and drops the others, except that it cuts short the answer for 10.9.0.1 at once
// (with no TCP port for the whole of it); with `silent` it drops every query.
class PartialNameServer {
  public:
    explicit PartialNameServer(bool silent) : m_silent(silent) {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_port = htons(53);
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_bound = bind(m_fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0;
        m_thread = std::thread([this] { Serve(); });
    }
    ~PartialNameServer() {
        m_stop = true;
        m_thread.join();
        close(m_fd);
    }
    bool Bound() const { return m_bound; }
    int Queries() const { return m_queries; }

  private:
    void Serve() {
        using Clock = std::chrono::steady_clock;
        struct Delayed {
            Clock::time_point due;
            std::string reply;
            sockaddr_in to;
        };
        std::vector<Delayed> delayed;
        while (!m_stop) {
            std::erase_if(delayed, [&](const Delayed& d) {
                return Clock::now() >= d.due &&
                       sendto(m_fd, d.reply.data(), d.reply.size(), 0,
                              reinterpret_cast<const sockaddr*>(&d.to), sizeof d.to) >= 0;
            });
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) {
                continue;
            }
            unsigned char q[512];
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            const ssize_t n =
                recvfrom(m_fd, q, sizeof q, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
            ++m_queries;
            // The question: the first label is the address's last octet.
            if (m_silent || n < 17 || q[12] < 1 || q[12] > 3 ||
                (q[13 + q[12] - 1] - '0') % 2 == 0) {
                continue;
            }
            std::size_t end = 12;
            while (end < static_cast<std::size_t>(n) && q[end] != 0) {
                end += 1 + q[end];
            }
            end += 5;  // the root label, type and class
            const std::string name = "odd-" + std::string(q + 13, q + 13 + q[12]);
            std::string reply(reinterpret_cast<char*>(q), end);
            reply[2] = static_cast<char>(0x81);  // a response, recursion desired
            reply[3] = static_cast<char>(0x80);  // recursion available, no error
            if (q[12] == 1 && q[13] == '1' && q[14] == 1 && q[15] == '0') {  // 10.9.0.1
                reply[2] |= 0x02;  // truncated, without the answer
                reply[7] = 0;
                reply[8] = reply[9] = reply[10] = reply[11] = 0;
                sendto(m_fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                       fromLen);
                continue;
            }
            reply[7] = 1;  // one answer
            reply[8] = reply[9] = reply[10] = reply[11] = 0;
            const std::string rdata =
                char(name.size()) + name + char(4) + std::string("test") + char(0);
            reply += std::string("\xC0\x0C\x00\x0C\x00\x01\x00\x00\x01\x2C", 10);
            reply += char(0);
            reply += char(rdata.size());
            reply += rdata;
            delayed.push_back({Clock::now() + std::chrono::milliseconds(200), reply, from});
        }
    }

    bool m_silent;
    int m_fd = -1;
    bool m_bound = false;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_queries{0};
    std::thread m_thread;
};

// Reverse look-ups against real name servers in the namespace: dnsmasq with its own hosts file
// fills the names in as they come (the list shows "Looking up ..." until then), a second refresh
// is answered from the cache without a query, and a server that drops all or half of the queries
// ends the refresh at its deadline with the resolver's time-out texts. With three hundred more
// addresses, a half-answering server still names every odd one, quorvane-cli send asks a silent
// server nothing, and a server that refuses gives every row its failure text without being asked
// about each address.
TEST(NetworkNetlink, ReverseLookUpsFromRealNameServers) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    if (QProcess::execute("dnsmasq", {"--version"}) != 0) {
        GTEST_SKIP() << "dnsmasq is not installed";
    }
    QTemporaryDir dir;
    auto write = [&](const char* name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName().toStdString();
    };
    const std::string hosts =
        write("hosts", "127.0.0.1 localhost\n127.0.1.1 qv-box\n2001:db8:5::2 qv-six\n");
    const std::string resolv = write("resolv.conf", "nameserver 127.0.0.1\n");
    write("names",
          "10.9.0.1 host-a.test\n10.9.0.2 host-b.test\n10.9.3.5 qv-box\n2001:db8:5::1 six.test\n");
    if (!Sh("mount --bind " + hosts + " /etc/hosts && mount --bind " + resolv +
            " /etc/resolv.conf && hostname qv-box") ||
        !Sh("ip link add v0 type veth peer name v1")) {
        GTEST_SKIP() << "the hosts file or the links cannot be set up here";
    }
    ASSERT_TRUE(
        Sh("ip link set lo up && ip link set v0 up && ip link set v1 up && "
           "for i in 1 2 3 4; do ip addr add 10.9.0.$i/24 dev v0; done && "
           "ip addr add 10.9.3.5/24 dev v1 && ip route add default via 10.9.3.1 dev v1 && "
           "ip -6 addr add 2001:db8:5::1/64 dev v1 nodad && "
           "ip -6 addr add 2001:db8:5::2/64 dev v1 nodad && "
           "ip neigh add 10.9.0.254 lladdr 02:00:00:00:00:fe dev v0 nud permanent && "
           "ip neigh add 10.9.3.1 lladdr 02:00:00:00:00:01 dev v1 nud permanent"));
    ProgramInNamespace program;

    const QString log = dir.filePath("queries.log");
    QProcess dnsmasq;
    dnsmasq.start("dnsmasq",
                  {"--keep-in-foreground", "--no-resolv", "--no-hosts", "--bogus-priv",
                   "--addn-hosts=" + dir.filePath("names"), "--listen-address=127.0.0.1",
                   "--bind-interfaces", "--port=53", "--local-ttl=300", "--log-queries",
                   "--log-facility=" + log, "--pid-file=", "--user=root", "--group=root"});
    auto ptrQueries = [&] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count("query[PTR]") : -1;
    };
    auto started = [&] {
        QFile f(log);
        return f.open(QIODevice::ReadOnly) && f.readAll().contains("started");
    };
    for (int i = 0; i < 100 && !started(); ++i) {
        QTest::qWait(50);
    }
    if (!started()) {
        GTEST_SKIP() << "dnsmasq did not start: " << dnsmasq.readAllStandardError().toStdString();
    }

    NetlinkTables tables;
    SystemResolver resolver;
    ListWithPane list(tables, resolver);
    AddressList& doc = list.doc;
    AddressListView& view = list.view;
    doc.OnNewDocument();
    QTimer wake;  // the waits below never block for long, whatever happens
    wake.start(20);
    auto settle = [](const AddressList& d) {
        QElapsedTimer t;
        t.start();
        while (d.IsRefreshing() && t.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return !d.IsRefreshing();
    };
    auto shown = [&](const char* address) {
        const QAbstractItemModel* lines = view.model();
        const auto text = [&](int r, int column) {
            return lines->index(r, column).data().toString();
        };
        for (int r = 0; r < lines->rowCount(); ++r) {
            if (text(r, ColNicIpAddress) == QLatin1String(address)) {
                return (text(r, ColHostName) + " | " + text(r, ColDiagnosticInformation))
                    .toStdString();
            }
        }
        return std::string();
    };

    ASSERT_TRUE(doc.RefreshNetworkInfo(-1));
    EXPECT_TRUE(doc.IsRefreshing());
    EXPECT_EQ(shown("10.9.0.1"), "Looking up ... | ");
    EXPECT_EQ(shown("10.9.3.5"), "qv-box | All is OK!");
    ASSERT_TRUE(settle(doc));
    EXPECT_EQ(shown("10.9.0.1"), "host-a.test | All is OK!");
    EXPECT_EQ(shown("10.9.0.2"), "host-b.test | All is OK!");
    EXPECT_EQ(shown("10.9.0.3"), "Host name unknown | Authoritative answer host not found.");
    // IPv6 names: from the name server under ip6.arpa, and from the hosts file.
    EXPECT_EQ(FieldOf(doc, "2001:db8:5::1", ColHostName).toStdString(), "six.test");
    EXPECT_EQ(FieldOf(doc, "2001:db8:5::2", ColHostName).toStdString(), "qv-six");
    EXPECT_EQ(ptrQueries(), 5);

    // Names and failures come from the cache: the refresh ends at once, with no query.
    ASSERT_TRUE(doc.RefreshNetworkInfo(-1));
    EXPECT_FALSE(doc.IsRefreshing());
    EXPECT_EQ(FieldOf(doc, "10.9.0.2", ColHostName).toStdString(), "host-b.test");
    EXPECT_EQ(FieldOf(doc, "10.9.0.4", ColHostName).toStdString(), "Host name unknown");
    EXPECT_EQ(ptrQueries(), 5);

    // Without its hosts-file line the local host's address comes from the name server, and the
    // rows follow it.
    write("hosts", "127.0.0.1 localhost\n");
    RecordingHost recorder;
    AddressList second(tables, resolver);
    recorder.Record(second);
    second.OnNewDocument();
    second.RefreshNetworkInfo(-1);
    ASSERT_TRUE(settle(second));
    EXPECT_EQ(recorder.localHost.toStdString(), "qv-box     IP : 10.9.3.5");
    EXPECT_EQ(FieldOf(second, "10.9.3.5", ColHostName).toStdString(), "qv-box");
    write("hosts", "127.0.0.1 localhost\n127.0.1.1 qv-box\n");
    dnsmasq.terminate();
    dnsmasq.waitForFinished(5000);

    ASSERT_TRUE(
        Sh("for i in $(seq 1 300); do echo addr add 10.9.$((i / 250 + 1)).$((i % 250 + 1))/16 "
           "dev v0; done | ip -batch -"));
    for (const bool silent : {true, false}) {
        PartialNameServer server(silent);
        ASSERT_TRUE(server.Bound());
        SystemResolver fresh;
        RecordingHost host;
        AddressList quiet(tables, fresh);
        host.Record(quiet);
        quiet.SetLookupDeadline(1000);
        quiet.OnNewDocument();
        quiet.RefreshNetworkInfo(-1);
        ASSERT_TRUE(settle(quiet));
        EXPECT_EQ(host.finished, 1);
        EXPECT_GE(server.Queries(), 4);
        const std::string timedOut =
            "Host name unknown | Nonauthoritative host not found, or server failed.";
        auto row = [&](const char* a) {
            return (FieldOf(quiet, a, ColHostName) + " | " +
                    FieldOf(quiet, a, ColDiagnosticInformation))
                .toStdString();
        };
        // The TCP retry of the cut answer is refused (c-ares then fails the queries waiting with
        // it); the server has answered, so the queries sent later still get their names.
        EXPECT_EQ(row("10.9.0.1"), timedOut);
        EXPECT_EQ(row("10.9.0.2"), timedOut);
        if (silent) {
            EXPECT_EQ(row("10.9.0.3"), timedOut);
        }
        EXPECT_EQ(row("10.9.0.4"), timedOut);
        EXPECT_EQ(row("10.9.2.51"), silent ? timedOut : "odd-51.test | All is OK!");
        EXPECT_EQ(row("10.9.1.200"), timedOut);
        if (!silent) {
            continue;
        }
        // quorvane-cli send needs only the address: it asks the silent server nothing and does
        // not wait for it.
        RecordingWebHost web;
        QTemporaryDir state;
        ASSERT_TRUE(QDir().mkpath(program.config.filePath("Calvort")));
        QFile settings(program.config.filePath("Calvort/Quorvane.conf"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
        settings.write("[Settings]\nAskRouter=0\nHTTPTargetURL=" + web.Url().toUtf8() +
                       "\n[Data]\nInterfaceNum=0x" + QByteArray::number(if_nametoindex("v0"), 16) +
                       "\nNICDescription=v0\nIPAddress=10.9.0.3\n");
        settings.close();
        const int queries = server.Queries();
        QProcess send;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_STATE_HOME", state.path());
        send.setProcessEnvironment(env);
        send.start(QV_CLI_PATH, {"send"});
        ASSERT_TRUE(send.waitForFinished(20000));
        EXPECT_EQ(send.exitCode(), 0) << send.readAllStandardError().toStdString();
        ASSERT_EQ(web.Queries().size(), 1);
        EXPECT_EQ(web.Queries()[0].section('&', 0, 0), "IPAddress=10.9.0.3");
        EXPECT_EQ(server.Queries(), queries);
    }
    // Nothing listens on port 53 now: every look-up is refused. The namespace's count of
    // datagrams that found no port tells how many queries went out.
    auto noPorts = [] {
        QFile snmp("/proc/net/snmp");
        const auto lines =
            snmp.open(QIODevice::ReadOnly) ? snmp.readAll().split('\n') : QList<QByteArray>();
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            if (lines[i].startsWith("Udp:") && lines[i + 1].startsWith("Udp:")) {
                const auto names = lines[i].split(' '), values = lines[i + 1].split(' ');
                return values.value(names.indexOf("NoPorts")).toLongLong();
            }
        }
        return -1LL;
    };
    SystemResolver refused;
    RecordingHost host;
    AddressList doc3(tables, refused);
    host.Record(doc3);
    doc3.OnNewDocument();
    const long long before = noPorts();
    doc3.RefreshNetworkInfo(-1);
    ASSERT_TRUE(settle(doc3));
    EXPECT_LT(noPorts() - before, 300);
    for (const char* a : {"10.9.0.1", "10.9.1.100", "10.9.2.51"}) {
        EXPECT_EQ(FieldOf(doc3, a, ColDiagnosticInformation).toStdString(),
                  "Nonauthoritative host not found, or server failed.");
    }
    unsetenv("XDG_CONFIG_HOME");
}

// Nothing the watcher does by itself waits for a person, with the window shown: a notice and a
// box left open never hold up the forwarding of a change; a lost address gives its one line, no
// box and no log entry, and keeps the tick; a refresh asked for during an exchange runs after it.
TEST(NetworkNetlink, AutomaticWorkNeverWaitsBehindOpenBoxes) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    if (!Sh("ip link add v0 type veth peer name v1")) {
        GTEST_SKIP() << "veth links cannot be created here";
    }
    ASSERT_TRUE(
        Sh("ip link set lo up && ip link set v0 up && ip link set v1 up && "
           "ip addr add 10.9.0.5/24 dev v0"));
    ProgramInNamespace program;
    RecordingWebHost web;
    NetlinkTables tables;
    FakeResolver resolver;
    ForwardingPane set(tables, resolver, web.Url());
    ControlPane& pane = set.pane;
    MessageBoxPrompter boxes(&pane);  // real boxes that nobody clicks
    SetPrompter(&boxes);
    pane.resize(800, 400);
    pane.show();
    pane.OnInitialUpdate();  // the address events start
    SettingsRecord& s = pane.Settings();
    s.HTTPTargetURL = s.StoredTargets.http = web.Url();
    s.AutoForward = s.CheckForChange = s.NotifyOnSend = s.LoggingEnabled = true;
    s.AskRouter = false;
    s.CheckTime = 60;
    s.LoggingFile = program.config.filePath("log.txt");
    set.Settle();
    const auto sent = [&] {
        QStringList addresses;
        for (const QString& query : web.Queries()) {
            addresses << query.section('&', 0, 0).section('=', 1);
        }
        return addresses;
    };
    const auto waitFor = [](const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return done();
    };
    const auto boxesSaying = [](const QString& text) {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            n += box && box->isVisible() && box->text().contains(text);
        }
        return n;
    };
    const auto logged = [&] {
        QFile log(s.LoggingFile);
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    };

    set.doc.SelectRow(0);
    ASSERT_TRUE(waitFor([&] { return sent() == QStringList{"10.9.0.5"}; }));
    // The notice of the send opens once the host's reply is read, which may be after the request
    // arrived.
    ASSERT_TRUE(waitFor([&] { return boxesSaying("10.9.0.5") == 1; }));
    pane.ShowMessage("An old box that nobody closes.");
    ASSERT_EQ(boxesSaying("nobody closes"), 1);

    ASSERT_TRUE(Sh("ip addr del 10.9.0.5/24 dev v0 && ip addr add 10.9.0.7/24 dev v0"));
    EXPECT_TRUE(waitFor([&] { return sent().contains("10.9.0.7"); }))
        << sent().join(' ').toStdString();
    EXPECT_EQ(boxesSaying("nobody closes"), 1);

    // The send's result is logged once the host's reply is read.
    EXPECT_TRUE(
        waitFor([&] { return logged().contains(FormatString(Text::HttpSentOutput, "10.9.0.7")); }));
    const qsizetype logSize = logged().size();
    ASSERT_TRUE(Sh("ip addr del 10.9.0.7/24 dev v0"));
    EXPECT_TRUE(waitFor([&] {
        return pane.OutputText().contains(LoadString(Text::SelectionLost));
    })) << pane.OutputText().toStdString();
    set.Settle();
    EXPECT_FALSE(pane.OutputText().contains("have been changed"));
    EXPECT_EQ(boxesSaying("have been changed"), 0);
    EXPECT_EQ(logged().size(), logSize) << logged().mid(logSize).toStdString();
    ASSERT_TRUE(Sh("ip addr add 10.9.0.8/24 dev v0"));
    EXPECT_TRUE(waitFor([&] { return sent().contains("10.9.0.8"); }));

    // "Send Now", and "Refresh Data" while the host takes its time.
    set.Settle();
    web.delayMs = 500;
    pane.PostPaneCommand(Command::ManualSend);
    ASSERT_TRUE(waitFor([&] { return pane.IsBusy(); }));
    pane.PostPaneCommand(Command::Refresh);
    EXPECT_TRUE(waitFor([&] { return sent().size() == 4 && !pane.IsBusy(); }));
    set.Settle();
    const QString log = logged();
    const qsizetype result =
        log.lastIndexOf(FormatString(Text::HttpSentOutput, "10.9.0.8").left(40));
    const qsizetype refresh = log.lastIndexOf("Updating host information");
    EXPECT_GE(result, 0);
    EXPECT_GT(refresh, result) << log.toStdString();
    EXPECT_TRUE(pane.OutputText().startsWith(LoadString(Text::Updating)))
        << pane.OutputText().toStdString();
    EXPECT_EQ(boxesSaying("nobody closes"), 1);
    SetPrompter(nullptr);
    pane.SetForwarding(nullptr);
}

}  // namespace
}  // namespace qv::test
