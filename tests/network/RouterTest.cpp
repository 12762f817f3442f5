// The router over UPnP inside private namespaces set up as a home network: no router at all;
// Debian's miniupnpd, which will not report its private external address (the double NAT case);
// and a stand-in router that reports a public address and then another, which the program and the
// headless watcher forward.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <functional>
#include <optional>

#include "forwarding/Forwarder.h"
#include "network/AddressList.h"
#include "platform/RouterAddress.h"
#include "platform/UniqueFd.h"
#include "tests/network/DocFixtures.h"
#include "tests/network/PrivateNamespaces.h"
#include "tests/support/RecordingWebHost.h"
#include "views/ControlPane.h"
#include "watch/ForwardingCommands.h"
#include "watch/WatchCore.h"

namespace qv::test {
namespace {

// Inside the namespace: the router's LAN link with 192.168.77.1, where multicast is routed, and
// its WAN link with a private address and the default route.
void MakeHomeNetwork() {
    ASSERT_TRUE(
        Sh("ip link set lo up && ip link add lan0 type veth peer name lan1 && "
           "ip link add wan0 type veth peer name wan1 && "
           "ip addr add 192.168.77.1/24 dev lan0 && ip addr add 10.9.0.2/24 dev wan0 && "
           "for l in lan0 lan1 wan0 wan1; do ip link set $l up; done && "
           "ip route add default via 10.9.0.1 dev wan0 && "
           "ip route add 239.0.0.0/8 dev lan0"));
}

bool Until(const std::function<bool()>& done, int ms = 15000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

// The router's answer to one question, waited for on the event loop.
PublicAddressAnswer AskRouter() {
    QEventLoop loop;
    std::optional<PublicAddressAnswer> answer;
    RouterAddress query([&](const PublicAddressAnswer& a) {
        answer = a;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (!answer) {
        loop.exec();
    }
    EXPECT_TRUE(answer) << "no answer in 30 s";
    return answer.value_or(PublicAddressAnswer{});
}

// Points the notes of where each network's router lives at a new folder: the network is new.
void NewNotes(const QTemporaryDir& dir, const char* name) {
    const QString folder = dir.filePath(QString::fromLatin1(name));
    QDir().mkpath(folder);
    qputenv("XDG_RUNTIME_DIR", folder.toUtf8());
}

// Runs `quorvane-cli list` with the settings under `dir`; a name server that does not answer
// gives up after a second.
void RunList(QProcess& list, const QTemporaryDir& dir) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("RES_OPTIONS", "timeout:1 attempts:1");
    list.setProcessEnvironment(env);
    list.start(QStringLiteral(QV_CLI_PATH), {"list"});
    EXPECT_TRUE(list.waitForFinished(60000));
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

TEST(NetworkRouter, NoRouterThenARouterBehindAnotherOne) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    const QString daemon = QStandardPaths::findExecutable("miniupnpd", {"/usr/sbin", "/sbin"});
    if (daemon.isEmpty()) {
        GTEST_SKIP() << "miniupnpd is not installed (scripts/install-deps.sh installs it)";
    }
    MakeHomeNetwork();

    int argc = 1;
    char name[] = "netlink_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;

    // A listing waits for the router only a moment beyond the local rows: the first one on this
    // network shows the router's row as being looked up; it notes that none answered, and the
    // next one has no row for it.
    NewNotes(dir, "listing");
    const auto listing = [&] {
        QProcess list;
        RunList(list, dir);
        return list.readAllStandardOutput();
    };
    EXPECT_TRUE(listing().contains("Looking up ...\tUPnP\t"));
    EXPECT_FALSE(listing().contains("\tUPnP\t"));

    NewNotes(dir, "first");

    // No router: discovery gives up after its time-out, and the next question on this network
    // is answered from the note without a search.
    QElapsedTimer clock;
    clock.start();
    const PublicAddressAnswer none = AskRouter();
    EXPECT_GE(clock.elapsed(), RouterAddress::kDiscoveryMs * 9 / 10);
    EXPECT_LT(clock.elapsed(), RouterAddress::kDiscoveryMs + 1000);
    EXPECT_FALSE(none.reached);
    EXPECT_EQ(none.problem, "No UPnP router answered within 2 s.");
    clock.restart();
    EXPECT_EQ(AskRouter().problem, none.problem);
    EXPECT_LT(clock.elapsed(), RouterAddress::kDiscoveryMs / 2);

    // A router that comes later is found once the note has expired; here, on a "new" network.
    NewNotes(dir, "second");
    ASSERT_TRUE(WriteFile(dir.filePath("miniupnpd.conf"),
                          "ext_ifname=wan0\nlistening_ip=lan0\nhttp_port=0\nenable_natpmp=no\n"
                          "enable_upnp=yes\nsecure_mode=yes\nfriendly_name=Quorvane Test Router\n"
                          "uuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b\n"));
    QProcess router;
    router.setProcessChannelMode(QProcess::MergedChannels);
    router.start(daemon, {"-d", "-4", "-f", dir.filePath("miniupnpd.conf"), "-P",
                          dir.filePath("miniupnpd.pid")});
    ASSERT_TRUE(router.waitForStarted());
    QByteArray said;
    const bool listening = Until([&] {
        router.waitForReadyRead(50);
        said += router.readAll();
        return said.contains("HTTP listening on port") || router.state() != QProcess::Running;
    });
    if (router.state() != QProcess::Running) {
        GTEST_SKIP() << "miniupnpd does not run here: " << said.toStdString();
    }
    ASSERT_TRUE(listening) << said.toStdString();

    const PublicAddressAnswer nat = AskRouter();
    EXPECT_TRUE(nat.reached);
    EXPECT_TRUE(nat.address.isEmpty());
    EXPECT_EQ(nat.description, "Quorvane Test Router");
    EXPECT_EQ(nat.gateway, "192.168.77.1");
    EXPECT_EQ(nat.problem,
              "The UPnP router has no external address: it is not connected, or it sits behind "
              "another router (double NAT).");

    // The program's list shows its row in the same eleven fields.
    QProcess list;
    RunList(list, dir);
    EXPECT_EQ(list.exitCode(), 0);
    const QList<QByteArray> lines = list.readAllStandardOutput().split('\n');
    const auto upnp = std::find_if(lines.begin(), lines.end(),
                                   [](const QByteArray& l) { return l.contains("\tUPnP\t"); });
    ASSERT_NE(upnp, lines.end()) << list.readAllStandardError().toStdString();
    const QList<QByteArray> fields = upnp->split('\t');
    ASSERT_EQ(fields.size(), 11);
    EXPECT_EQ(fields.mid(0, 4),
              (QList<QByteArray>{"---.---.---.---", "UPnP", "public", "Quorvane Test Router"}));
    EXPECT_EQ(fields[6], "192.168.77.1");
    EXPECT_TRUE(fields[10].startsWith("The UPnP router has no external address"))
        << fields[10].data();
    router.terminate();
    router.waitForFinished();
}

// A device on the LAN link that names a description, or a control address, on another host (here
// a loopback server of the test's own, standing for a local service) is not followed: nothing
// reaches that host, and the row says why.
TEST(NetworkRouter, AnswersNamingAnotherHostAreNotFollowed) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    MakeHomeNetwork();
    int argc = 1;
    char name[] = "netlink_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    UniqueFd trap(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    ASSERT_EQ(::bind(trap.get(), reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(trap.get(), 8), 0);
    ASSERT_EQ(::getsockname(trap.get(), reinterpret_cast<sockaddr*>(&at), &size), 0);
    const QString local = QStringLiteral("http://127.0.0.1:%1").arg(ntohs(at.sin_port));

    QTemporaryDir dir;
    const QString addressFile = dir.filePath("external");
    ASSERT_TRUE(WriteFile(addressFile, "203.0.113.7"));
    const std::pair<QString, QString> hostile[] = {
        {"location=" + local + "/desc.xml",
         "The UPnP device at 192.168.77.1 names its description at another address, which is "
         "not followed: '" +
             local + "/desc.xml'."},
        {"control=" + local + "/ctl/IPConn",
         "The UPnP router's description names its control address on another host, which is not "
         "followed: '" +
             local + "/ctl/IPConn'."},
    };
    for (const auto& [option, why] : hostile) {
        QProcess router;
        router.start("/usr/bin/python3",
                     {QStringLiteral(QV_UPNP_ROUTER_SCRIPT), "192.168.77.1", addressFile, option});
        ASSERT_TRUE(router.waitForReadyRead(10000)) << router.readAllStandardError().toStdString();
        const PublicAddressAnswer answer = AskRouter();
        EXPECT_TRUE(answer.reached) << option.toStdString();
        EXPECT_TRUE(answer.address.isEmpty()) << option.toStdString();
        EXPECT_EQ(answer.problem, why);
        router.kill();
        router.waitForFinished();
    }
    EXPECT_LT(::accept4(trap.get(), nullptr, nullptr, SOCK_CLOEXEC), 0);  // nobody came
    EXPECT_EQ(errno, EAGAIN);
}

TEST(NetworkRouter, ConnectedRoutersAddressAndItsChangeAreForwarded) {
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    MakeHomeNetwork();
    QTemporaryDir dir;
    const QString addressFile = dir.filePath("external");
    ASSERT_TRUE(WriteFile(addressFile, "203.0.113.7"));
    QProcess router;
    router.start("/usr/bin/python3",
                 {QStringLiteral(QV_UPNP_ROUTER_SCRIPT), "192.168.77.1", addressFile});
    ASSERT_TRUE(router.waitForReadyRead(10000)) << router.readAllStandardError().toStdString();
    ProgramInNamespace program;

    // A router that gives its address is taken at once, before the search has ended.
    QTemporaryDir notes;
    NewNotes(notes, "run");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(AskRouter().address, "203.0.113.7");
    EXPECT_LT(clock.elapsed(), RouterAddress::kDiscoveryMs);

    RecordingWebHost web;
    auto forwarded = [&](qsizetype from) {
        QStringList addresses;
        for (const QString& query : web.Queries().mid(from)) {
            addresses << query.section('&', 0, 0);
        }
        return addresses;
    };

    // The headless watcher ticks the router's row, forwards its address, and sends the off-line
    // notice when it is stopped; a send then forwards that row's address once.
    ASSERT_TRUE(QDir().mkpath(program.config.filePath("Calvort")) &&
                QDir().mkpath(dir.filePath("run")));
    QFile::setPermissions(dir.filePath("run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(WriteFile(program.config.filePath("Calvort/Quorvane.conf"),
                          "[Settings]\nEnableFlags=0 1 1 1 0 0 0 0 0 0 0 0 1\nHTTPTargetURL=" +
                              web.Url().toUtf8() + "\n"));
    QProcess watch;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    env.insert("RES_OPTIONS", "timeout:1 attempts:1");
    env.remove(kChildVariable);
    watch.setProcessEnvironment(env);
    watch.setProcessChannelMode(QProcess::MergedChannels);
    watch.start(QStringLiteral(QV_CLI_PATH), {"watch", "--interface", "UPnP"});
    EXPECT_TRUE(Until([&] { return !forwarded(0).isEmpty(); }, 30000));
    watch.terminate();
    ASSERT_TRUE(watch.waitForFinished(15000));
    EXPECT_EQ(watch.exitCode(), 0) << watch.readAll().toStdString();
    EXPECT_EQ(forwarded(0), (QStringList{"IPAddress=203.0.113.7", "IPAddress="}));
    watch.start(QStringLiteral(QV_CLI_PATH), {"send"});
    ASSERT_TRUE(watch.waitForFinished(30000));
    EXPECT_EQ(watch.exitCode(), 0) << watch.readAll().toStdString();
    EXPECT_EQ(forwarded(2), QStringList{"IPAddress=203.0.113.7"});
    const qsizetype before = web.Queries().size();

    // A listing on a network where the router is noted asks it directly: its row is complete.
    watch.setProcessChannelMode(QProcess::SeparateChannels);
    watch.start(QStringLiteral(QV_CLI_PATH), {"list"});
    ASSERT_TRUE(watch.waitForFinished(30000));
    EXPECT_TRUE(watch.readAllStandardOutput().contains("203.0.113.7\tUPnP\tpublic\t"));

    NetlinkTables tables;
    FakeResolver resolver;
    ForwardingPane set(tables, resolver, web.Url());
    AddressList& doc = set.doc;
    ControlPane& pane = set.pane;
    pane.Watcher().SetMinuteMs(100);  // the router may be asked again after 100 ms
    auto refreshed = [&](const std::function<void()>& start) {
        QThread::msleep(150);
        start();
        return Until([&] { return !doc.IsRefreshing() && !doc.IsAskingPublicSources(); });
    };
    auto sent = [&] {
        Until([&] { return !pane.IsBusy(); });
        return forwarded(before);
    };

    doc.OnNewDocument();
    ASSERT_TRUE(refreshed([&] { doc.RefreshNetworkInfo(-1); }));
    int row = -1;
    for (int r = 0; r < static_cast<int>(doc.m_rowCount); ++r) {
        row = doc.Field(r, ColInterfaceNumber) == "UPnP" ? r : row;
    }
    ASSERT_GE(row, 0) << pane.OutputText().toStdString();
    EXPECT_EQ(doc.Field(row, ColNicIpAddress), "203.0.113.7");
    EXPECT_EQ(doc.Field(row, ColNicDescription), "Stand-in Router");
    EXPECT_EQ(doc.Field(row, ColGatewayIpAddress), "192.168.77.1");
    doc.SelectRow(row);
    EXPECT_TRUE(Until([&] { return sent().size() == 1; }));
    EXPECT_EQ(sent(), QStringList{"IPAddress=203.0.113.7"});

    // The router's address changes: the quiet check finds it and forwards it.
    ASSERT_TRUE(WriteFile(addressFile, "203.0.113.99"));
    ASSERT_TRUE(refreshed([&] { doc.CheckSelection(); }));
    EXPECT_TRUE(Until([&] { return sent().size() == 2; }));
    EXPECT_EQ(sent().value(1), "IPAddress=203.0.113.99");

    // The router goes: its row keeps the address and says so; nothing more is forwarded.
    router.kill();
    router.waitForFinished();
    ASSERT_TRUE(refreshed([&] { doc.CheckSelection(); }));
    EXPECT_EQ(doc.Field(row, ColNicIpAddress), "203.0.113.99");
    EXPECT_TRUE(doc.Field(row, ColDiagnosticInformation)
                    .startsWith("No UPnP router answered within 2 s. Last confirmed "));
    EXPECT_EQ(sent().size(), 2);
    EXPECT_EQ(doc.m_selectedRow, row);
    pane.SetForwarding(nullptr);
}

}  // namespace
}  // namespace qv::test
