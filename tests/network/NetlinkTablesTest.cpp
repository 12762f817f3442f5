// The real netlink tables, read inside a private network namespace: the test runs itself again
// under `unshare -n` (or `unshare -r -n` without root), builds a veth pair there and checks the
// copies field by field.
#include <gtest/gtest.h>

#include "platform/NetTables.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <unistd.h>

#include <QProcess>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace qv {
namespace {

constexpr const char* kChildEnv = "QV_NETNS_CHILD";

std::uint32_t Ip(const char* dotted) {
    return inet_addr(dotted);
}

bool Sh(const std::string& command) {
    return std::system((command + " 2>&1").c_str()) == 0;
}

// The hardware address as iproute2 reports it (sysfs still shows the outer namespace).
QByteArray LinkMac(const char* ifname) {
    QProcess p;
    p.start("ip", {"-o", "link", "show", "dev", QString::fromLatin1(ifname)});
    p.waitForFinished(10000);
    const QByteArray text = p.readAllStandardOutput();
    const int at = text.indexOf("link/ether ");
    if (at < 0) {
        return {};
    }
    QByteArray hex = text.mid(at + 11, 17);
    return QByteArray::fromHex(hex.replace(':', ""));
}

template <typename Row>
const Row* Find(const std::vector<Row>& rows, std::uint32_t addr) {
    auto it =
        std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.dwAddr == addr; });
    return it == rows.end() ? nullptr : &*it;
}

// The checks, run inside the private namespace.
void CheckTablesInNamespace() {
    NetlinkTables tables;

    // A fresh namespace has no IPv4 neighbours: "no data".
    const auto empty = tables.NetTable();
    EXPECT_EQ(empty.status, kErrorNoData);
    EXPECT_FALSE(empty.error.isEmpty());

    if (!Sh("ip link add v0 type veth peer name v1")) {
        GTEST_SKIP() << "veth links cannot be created here";
    }
    ASSERT_TRUE(Sh("ip link set lo up && ip link set v0 up && ip link set v1 up"));
    ASSERT_TRUE(Sh("ip addr add 10.9.1.1/16 dev v0"));  // no broadcast
    ASSERT_TRUE(Sh("ip addr add 10.9.0.1/24 brd + dev v0"));
    ASSERT_TRUE(Sh("ip neigh add 10.9.0.2 lladdr 02:00:00:00:00:02 dev v0 nud permanent"));
    ASSERT_TRUE(Sh("ip neigh add 10.9.0.3 dev v0 nud incomplete || true"));
    ASSERT_TRUE(Sh("ip route add default via 10.9.0.2 dev v0"));
    const std::uint32_t v0 = if_nametoindex("v0");
    const std::uint32_t v1 = if_nametoindex("v1");
    ASSERT_NE(v0, 0u);

    const auto addrs = tables.AddressTable();
    ASSERT_EQ(addrs.status, kNetTableOk) << addrs.error.toStdString();
    ASSERT_EQ(addrs.rows.size(), 3u);  // 10.9.0.1, 10.9.1.1, 127.0.0.1: ascending
    EXPECT_EQ(addrs.rows[0].dwAddr, Ip("10.9.0.1"));
    EXPECT_EQ(addrs.rows[0].dwIndex, v0);
    EXPECT_EQ(addrs.rows[0].dwMask, Ip("255.255.255.0"));
    EXPECT_EQ(addrs.rows[0].dwBCastAddr, Ip("10.9.0.255"));
    EXPECT_EQ(addrs.rows[1].dwAddr, Ip("10.9.1.1"));
    EXPECT_EQ(addrs.rows[1].dwIndex, v0);
    EXPECT_EQ(addrs.rows[1].dwMask, Ip("255.255.0.0"));
    EXPECT_EQ(addrs.rows[1].dwBCastAddr, 0u);
    EXPECT_EQ(addrs.rows[2].dwAddr, Ip("127.0.0.1"));
    EXPECT_EQ(addrs.rows[2].dwIndex, if_nametoindex("lo"));
    EXPECT_EQ(addrs.rows[2].dwMask, Ip("255.0.0.0"));

    const auto net = tables.NetTable();
    ASSERT_EQ(net.status, kNetTableOk) << net.error.toStdString();
    const IpNetRow* gw = Find(net.rows, Ip("10.9.0.2"));
    ASSERT_NE(gw, nullptr);
    EXPECT_EQ(gw->dwIndex, v0);
    EXPECT_EQ(gw->dwType, kNetTypeStatic);
    ASSERT_EQ(gw->dwPhysAddrLen, 6u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(gw->bPhysAddr), 6),
              QByteArray::fromHex("020000000002"));
    if (const IpNetRow* pending = Find(net.rows, Ip("10.9.0.3"))) {
        EXPECT_EQ(pending->dwType, kNetTypeInvalid);
        EXPECT_EQ(pending->dwPhysAddrLen, 0u);
    }

    const auto ifs = tables.InterfaceTable();
    ASSERT_EQ(ifs.status, kNetTableOk) << ifs.error.toStdString();
    EXPECT_TRUE(std::is_sorted(ifs.rows.begin(), ifs.rows.end(),
                               [](auto& a, auto& b) { return a.dwIndex < b.dwIndex; }));
    for (const auto& [index, name] : {std::pair{v0, "v0"}, std::pair{v1, "v1"}}) {
        auto it = std::find_if(ifs.rows.begin(), ifs.rows.end(),
                               [&](const IfRow& r) { return r.dwIndex == index; });
        ASSERT_NE(it, ifs.rows.end()) << name;
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(it->bDescr), it->dwDescrLen), name);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(it->bPhysAddr), it->dwPhysAddrLen),
                  LinkMac(name));
        EXPECT_EQ(it->dwPhysAddrLen, 6u);
    }

    const auto routes = tables.DefaultGateways();
    ASSERT_EQ(routes.status, kNetTableOk) << routes.error.toStdString();
    ASSERT_EQ(routes.rows.size(), 1u);
    EXPECT_EQ(routes.rows[0].dwIndex, v0);
    EXPECT_EQ(routes.rows[0].dwAddr, Ip("10.9.0.2"));
}

// The first `unshare` invocation that works here, or nothing.
std::optional<QStringList> UnshareArgs() {
    for (const QStringList& args : {QStringList{"-n"}, QStringList{"-r", "-n"}}) {
        QProcess p;
        p.start("unshare", args + QStringList{"true"});
        if (p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit &&
            p.exitCode() == 0) {
            return args;
        }
    }
    return std::nullopt;
}

TEST(NetworkNetlink, TablesInAPrivateNamespace) {
    if (std::getenv(kChildEnv)) {
        CheckTablesInNamespace();
        return;
    }
    if (QProcess::execute("ip", {"-V"}) != 0) {
        GTEST_SKIP() << "iproute2 ('ip') is not installed";
    }
    const auto unshare = UnshareArgs();
    if (!unshare) {
        GTEST_SKIP() << "network namespaces are not allowed here (unshare -n and unshare -r -n "
                        "both failed)";
    }
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);

    QProcess child;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildEnv, "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("unshare", *unshare + QStringList{QString::fromLocal8Bit(self),
                                                  "--gtest_filter=NetworkNetlink.*"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray out = child.readAll();
    if (out.contains("[  SKIPPED ]")) {
        GTEST_SKIP() << "skipped inside the namespace:\n" << out.toStdString();
    }
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
}

}  // namespace
}  // namespace qv
