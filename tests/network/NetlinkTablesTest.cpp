// The real netlink tables, read inside a private network namespace: the test runs itself again
// under `unshare -n` (or `unshare -r -n` without root), builds a veth pair there and checks the
// copies field by field; and the address events that the kernel announces there.
#include <gtest/gtest.h>

#include "platform/AddressEvents.h"
#include "platform/NetTables.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>

namespace qv {
namespace {

std::uint32_t Ip(const char* dotted) {
    return inet_addr(dotted);
}
bool Sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}
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

void CheckTablesInNamespace() {
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
           "ip route add default via 10.9.0.2 dev v0"));
    const std::uint32_t v0 = if_nametoindex("v0"), v1 = if_nametoindex("v1");

    const auto addrs = tables.AddressTable();
    ASSERT_EQ(addrs.status, kNetTableOk) << addrs.error.toStdString();
    auto fields = [](const IpAddrRow& r) {
        return std::tuple(r.dwAddr, r.dwIndex, r.dwMask, r.dwBCastAddr);
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
                               [&](const IpNetRow& r) { return r.dwAddr == Ip(ip); });
        return it == net.rows.end() ? IpNetRow{} : *it;
    };
    const IpNetRow gw = entry("10.9.0.2"), pending = entry("10.9.0.3");
    EXPECT_EQ(gw.dwIndex, v0);
    EXPECT_EQ(gw.dwType, kNetTypeStatic);
    EXPECT_EQ(Bytes(gw.bPhysAddr, gw.dwPhysAddrLen), QByteArray::fromHex("020000000002"));
    EXPECT_EQ(pending.dwIndex, v0);
    EXPECT_EQ(pending.dwType, kNetTypeInvalid);
    EXPECT_EQ(pending.dwPhysAddrLen, 0u);

    const auto ifs = tables.InterfaceTable();
    ASSERT_EQ(ifs.status, kNetTableOk) << ifs.error.toStdString();
    for (const auto& [index, name] : {std::pair{v0, "v0"}, std::pair{v1, "v1"}}) {
        auto it = std::find_if(ifs.rows.begin(), ifs.rows.end(),
                               [&](const IfRow& r) { return r.dwIndex == index; });
        ASSERT_NE(it, ifs.rows.end()) << name;
        EXPECT_EQ(Bytes(it->bDescr, it->dwDescrLen), name);
        EXPECT_EQ(it->dwPhysAddrLen, 6u);
        EXPECT_EQ(Bytes(it->bPhysAddr, it->dwPhysAddrLen), LinkMac(name));
    }

    const auto routes = tables.DefaultGateways();
    ASSERT_EQ(routes.rows.size(), 1u) << routes.error.toStdString();
    EXPECT_EQ(std::pair(routes.rows[0].dwIndex, routes.rows[0].dwAddr),
              std::pair(v0, Ip("10.9.0.2")));
}

// The kernel's announcements reach the listener as one report per burst: a burst of address
// changes gives one report after it has ended, a storm of two thousand gives a handful, and
// nothing is reported while nothing changes.
void CheckEventsInNamespace() {
    int argc = 1;
    char name[] = "netlink_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    if (!Sh("ip link add v0 type veth peer name v1 && ip link set v0 up")) {
        GTEST_SKIP() << "veth links cannot be created here";
    }
    AddressEvents events(nullptr, 200, 1000);
    ASSERT_TRUE(events.Start()) << events.ErrorText().toStdString();
    QSignalSpy changed(&events, &AddressEvents::Changed);
    auto settle = [&](int ms) { QTest::qWait(ms); };

    settle(400);
    EXPECT_EQ(changed.count(), 0);  // idle: no report
    ASSERT_TRUE(Sh("for i in 1 2 3 4 5; do ip addr add 10.9.2.$i/24 dev v0; done"));
    EXPECT_TRUE(changed.wait(3000));
    settle(600);
    EXPECT_EQ(changed.count(), 1);

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
    settle(1500);
    EXPECT_GE(changed.count(), 1);
    EXPECT_LE(changed.count(), 3);
}

// Runs this test binary again inside a private network namespace, with `filter` selecting the
// test that builds its links there.
void RunInPrivateNamespace(const char* filter) {
    if (QProcess::execute("ip", {"-V"}) != 0) {
        GTEST_SKIP() << "iproute2 ('ip') is not installed";
    }
    QStringList unshare;
    for (const QStringList& args : {QStringList{"-n"}, QStringList{"-r", "-n"}}) {
        if (QProcess::execute("unshare", args + QStringList{"true"}) == 0) {
            unshare = args;
            break;
        }
    }
    if (unshare.isEmpty()) {
        GTEST_SKIP() << "network namespaces are not allowed here (unshare -n and unshare -r -n "
                        "both failed)";
    }
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);

    QProcess child;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QV_NETNS_CHILD", "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("unshare", unshare + QStringList{self, QString("--gtest_filter=") + filter});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray out = child.readAll();
    if (out.contains("[  SKIPPED ]")) {
        GTEST_SKIP() << "skipped inside the namespace:\n" << out.toStdString();
    }
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
}

TEST(NetworkNetlink, TablesInAPrivateNamespace) {
    if (std::getenv("QV_NETNS_CHILD")) {
        CheckTablesInNamespace();
        return;
    }
    RunInPrivateNamespace("NetworkNetlink.TablesInAPrivateNamespace");
}

TEST(NetworkNetlink, AddressEventsInAPrivateNamespace) {
    if (std::getenv("QV_NETNS_CHILD")) {
        CheckEventsInNamespace();
        return;
    }
    RunInPrivateNamespace("NetworkNetlink.AddressEventsInAPrivateNamespace");
}

}  // namespace
}  // namespace qv
