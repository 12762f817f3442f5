#include "platform/DnsUpdate.h"

#include "tests/support/NamespaceChild.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/UniqueFd.h"
#include "resources/StringTable.h"
#include "tests/forwarding/ForwardTestSupport.h"

using namespace qv;
using namespace qv::test;

namespace {

constexpr quint16 kKnotPort = 53;
constexpr quint16 kSkewedKnotPort = 5301;  // the same zone, served by a clock ten minutes ahead
constexpr quint16 kSilentPort = 5302;
constexpr quint16 kTruncatingPort = 5303;
constexpr quint16 kRefusingPort = 5304;

const char* const kSecret = "c2VjcmV0c2VjcmV0c2VjcmV0c2VjcmV0c2VjcmV0MTI=";
const char* const kSecret512 =
    "bG9uZ2VyIHNlY3JldCBmb3IgdGhlIHNoYS01MTIga2V5IG9mIHRoZSB0ZXN0IHpvbmUh";

// A zone open to A and AAAA updates of home.example.org by two keys.
QByteArray KnotConfig(const QString& folder, quint16 port) {
    return QStringLiteral(R"(server:
    rundir: %1
    listen: 127.0.0.1@%2
key:
  - id: up.key
    algorithm: hmac-sha256
    secret: %3
  - id: wide.key
    algorithm: hmac-sha512
    secret: %4
acl:
  - id: home
    key: [up.key, wide.key]
    action: update
    update-type: [A, AAAA]
    update-owner: name
    update-owner-match: sub-or-equal
    update-owner-name: [home.example.org.]
database:
    storage: %1
template:
  - id: default
    storage: %1
    zonefile-sync: -1
    journal-content: none
zone:
  - domain: example.org
    acl: home
)")
        .arg(folder)
        .arg(port)
        .arg(kSecret, kSecret512)
        .toUtf8();
}

const QByteArray kZone =
    "$ORIGIN example.org.\n$TTL 60\n@ SOA ns1 hostmaster 1 3600 600 86400 60\n@ NS ns1\n"
    "ns1 A 192.0.2.53\n";

bool WriteFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// What the server on `port` serves for home.example.org of the type.
QString Served(quint16 port, const char* type) {
    QProcess dig;
    dig.start("kdig", {"@127.0.0.1", "-p", QString::number(port), "+short", "+retry=0", "+time=1",
                       "home.example.org", type});
    dig.waitForFinished(5000);
    return QString::fromUtf8(dig.readAllStandardOutput()).trimmed();
}

// knotd with a folder of its own, run by `wrapper` (e.g. faketime) when given.
struct Knot {
    Knot(quint16 port, const QStringList& wrapper) {
        const QString folder = dir.path();
        if (!WriteFile(folder + "/knot.conf", KnotConfig(folder, port)) ||
            !WriteFile(folder + "/example.org.zone", kZone)) {
            return;
        }
        const QStringList command = wrapper + QStringList{"knotd", "-c", folder + "/knot.conf"};
        process.start(command.first(), command.mid(1));
        for (int i = 0; i < 100; ++i) {
            QProcess dig;
            dig.start("kdig", {"@127.0.0.1", "-p", QString::number(port), "+short", "+retry=0",
                               "+time=1", "example.org", "SOA"});
            dig.waitForFinished(3000);
            if (!dig.readAllStandardOutput().isEmpty()) {
                ready = true;
                return;
            }
            usleep(50000);
        }
    }
    ~Knot() {
        process.terminate();
        process.waitForFinished(5000);
    }
    QTemporaryDir dir;
    QProcess process;
    bool ready = false;
};

struct StandIn {
    explicit StandIn(const QStringList& arguments) {
        process.start("/usr/bin/python3",
                      QStringList{QStringLiteral(QV_DNS_STANDIN_SCRIPT)} + arguments);
        ready = process.waitForReadyRead(5000) && process.readLine().startsWith("ready");
    }
    ~StandIn() {
        process.kill();
        process.waitForFinished(5000);
    }
    QProcess process;
    bool ready = false;
};

}  // namespace

// Runs the test in a private namespace with its loopback up; *ready stays false in the parent and
// where the servers are missing (the test is skipped then).
void EnterKnotNamespace(bool* ready) {
    *ready = false;
    bool inside = false;
    RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    if (QProcess::execute("knotd", {"--version"}) != 0 ||
        QProcess::execute("kdig", {"--version"}) != 0 ||
        QProcess::execute("faketime", {"0", "true"}) != 0 || !Sh("ip link set lo up")) {
        GTEST_SKIP() << "knot, knot-dnsutils or faketime is not installed";
    }
    *ready = true;
}

// Updates against Knot in a private namespace, each case read back with a real query: a change
// replaces the record, the off-line notice deletes it (driven without the event loop, as at
// shutdown), and a wrong key, a server clock ten minutes ahead, a silent server and a refusing
// one give their failures and leave the record alone. A server that truncates every UDP answer
// is asked again over TCP; the zone is found from the SOA record where it is not given.
TEST(DnsUpdate, UpdatesAndFailuresAgainstARealServer) {
    bool ready = false;
    EnterKnotNamespace(&ready);
    if (!ready) {
        return;
    }
    int argc = 1;
    char name[] = "dns_update_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    Knot knot(kKnotPort, {});
    Knot skewed(kSkewedKnotPort, {"faketime", "-f", "+600s"});
    ASSERT_TRUE(knot.ready && skewed.ready) << "knotd did not start";
    StandIn truncating({"truncate", QString::number(kTruncatingPort), QString::number(kKnotPort)});
    StandIn refusing({"refuse", QString::number(kRefusingPort)});
    ASSERT_TRUE(truncating.ready && refusing.ready);
    UniqueFd silent(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_port = htons(kSilentPort);
    bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(silent.get(), reinterpret_cast<sockaddr*>(&bound), sizeof bound), 0);

    const TsigKey key{"up.key", "hmac-sha256", kSecret};
    const TsigKey wide{"wide.key", "HMAC-SHA512", kSecret512};
    const TsigKey wrong{"up.key", "hmac-sha256", kSecret512};
    struct Case {
        const char* what;
        quint16 port;
        TsigKey key;
        QString zone;
        QString address;  // empty: delete
        DnsFailure failure;
        const char* servedA;  // what knot serves afterwards
        bool withoutEventLoop = false;
    };
    const Case cases[] = {
        {"change", kKnotPort, key, "", "192.0.2.7", DnsFailure::None, "192.0.2.7"},
        {"second change, other key", kKnotPort, wide, "example.org.", "192.0.2.8", DnsFailure::None,
         "192.0.2.8"},
        {"IPv6 beside it", kKnotPort, key, "", "2001:db8::8", DnsFailure::None, "192.0.2.8"},
        {"wrong key", kKnotPort, wrong, "", "192.0.2.66", DnsFailure::KeyRejected, "192.0.2.8"},
        {"clock skew", kSkewedKnotPort, key, "example.org", "192.0.2.66", DnsFailure::KeyRejected,
         "192.0.2.8"},
        {"silent", kSilentPort, key, "example.org", "192.0.2.66", DnsFailure::NoAnswer,
         "192.0.2.8"},
        {"refused", kRefusingPort, key, "example.org", "192.0.2.66", DnsFailure::Refused,
         "192.0.2.8"},
        {"not in a zone", kKnotPort, key, "", "", DnsFailure::NotZone, "192.0.2.8"},
        {"truncated, over TCP", kTruncatingPort, key, "", "192.0.2.9", DnsFailure::None,
         "192.0.2.9"},
        {"off line", kKnotPort, key, "", "", DnsFailure::None, "", true},
    };
    DnsUpdate update(DnsLimits{std::chrono::milliseconds(300), std::chrono::milliseconds(2000)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordChange change;
        change.zone = c.zone;
        change.name = c.failure == DnsFailure::NotZone ? "home.example.net" : "home.example.org";
        change.address = c.address;
        change.type = c.address.isEmpty() ? RecordType::A : RecordTypeOf(c.address);
        std::optional<DnsUpdateResult> result;
        update.Send({"127.0.0.1", c.port}, c.key, change,
                    [&](const DnsUpdateResult& r) { result = r; });
        if (c.withoutEventLoop) {
            RunDnsUpdatesUntil([&] { return result.has_value(); }, QDeadlineTimer(5000));
        }
        QDeadlineTimer limit(5000);
        while (!result && !limit.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        ASSERT_TRUE(result);
        EXPECT_EQ(result->failure, c.failure)
            << result->code << " " << result->detail.toStdString();
        EXPECT_EQ(result->served, c.failure == DnsFailure::None);
        if (c.failure == DnsFailure::None) {
            EXPECT_EQ(result->zone, "example.org");
        }
        EXPECT_EQ(Served(kKnotPort, "A"), c.servedA);
    }
    EXPECT_EQ(Served(kKnotPort, "AAAA"), "2001:db8::8");
}

// The forwarder's DNS method: a change sets the record and the output box says that the server
// serves it; the off-line step at shutdown, run without the event loop, deletes it.
TEST(DnsUpdate, ForwarderSetsTheRecordAndRemovesItAtShutdown) {
    bool ready = false;
    EnterKnotNamespace(&ready);
    if (!ready) {
        return;
    }
    int argc = 1;
    char name[] = "dns_update_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    Knot knot(kKnotPort, {});
    ASSERT_TRUE(knot.ready) << "knotd did not start";

    ScriptedPrompter prompter;
    RecordingHost host;
    SettingsRecord& s = host.settings;
    s.Method = ForwardMethod::DnsUpdate;
    s.DNSServer = "127.0.0.1";
    s.DNSRecordName = "home.example.org";
    s.DNSKeyName = "up.key";
    s.DNSKeySecret = kSecret;
    host.selectedIp = "192.0.2.20";
    host.secondIp = "2001:db8::20";  // an IPv6 row ticked beside: its AAAA record goes along
    RecordedForwarder forwarder(host, TestOptions());
    forwarder.ForwardNow();
    QDeadlineTimer limit(5000);
    while (forwarder.IsBusy() && !limit.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_EQ(Served(kKnotPort, "A"), "192.0.2.20");
    EXPECT_EQ(Served(kKnotPort, "AAAA"), "2001:db8::20");
    EXPECT_TRUE(host.Lines().contains(
        "Record home.example.org A 192.0.2.20 is served by 127.0.0.1" + kStamp))
        << host.Lines().join('\n').toStdString();
    EXPECT_EQ(
        host.NoticeTexts().last(),
        LoadString(Text::DnsSentNotice).replace(QLatin1String("%s"), "192.0.2.20, 2001:db8::20"));

    bool ended = false;
    forwarder.OffLineAtShutdown([&ended] { ended = true; });
    EXPECT_TRUE(ended);
    EXPECT_EQ(Served(kKnotPort, "A"), "");
    EXPECT_EQ(Served(kKnotPort, "AAAA"), "");
    EXPECT_TRUE(
        host.Lines().contains("Record home.example.org A is removed from 127.0.0.1" + kStamp))
        << host.Lines().join('\n').toStdString();
}
