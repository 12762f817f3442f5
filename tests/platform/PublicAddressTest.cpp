// The public address sources against real HTTP hosts on loopback: an echo page that replies
// well and badly, and a router's description and address action after discovery.
#include <gtest/gtest.h>

#include <httplib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/EchoPageAddress.h"
#include "platform/RouterAddress.h"

namespace qv {
namespace {

// cpp-httplib on 127.0.0.1 and a free port; a handler may wait until the host goes.
class Host {
  public:
    httplib::Server server;

    ~Host() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closeWanted = true;
        }
        m_closing.notify_all();
        server.stop();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    void Start() {
        m_port = server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) {
            std::this_thread::yield();
        }
    }
    QString Url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(QLatin1String(path));
    }
    void WaitUntilClosing() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_closing.wait(lock, [this] { return m_closeWanted; });
    }

  private:
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_closing;
    bool m_closeWanted = false;
};

// The answer of a question, waited for on the event loop; it never comes during the call.
template <typename Query, typename... Args>
PublicAddressAnswer Answer(Args&&... args) {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "public_address_tests";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
    QEventLoop loop;
    std::optional<PublicAddressAnswer> answer;
    Query query(std::forward<Args>(args)..., [&](const PublicAddressAnswer& a) {
        EXPECT_FALSE(answer) << "answered twice";
        answer = a;
        loop.quit();
    });
    EXPECT_FALSE(answer) << "answered during the call";
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (!answer) {
        loop.exec();
    }
    EXPECT_TRUE(answer) << "no answer in 30 s";
    return answer.value_or(PublicAddressAnswer{});
}

PublicAddressAnswer AskPage(const QString& url) {
    return Answer<EchoPageAddress>(url);
}

PublicAddressAnswer AskDevice(const QByteArray& location) {
    return Answer<RouterAddress>(location);
}

void Serve(Host& host, const char* path, const std::string& body, int status = 200) {
    host.server.Get(path, [body, status](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content(body, "text/plain");
    });
}

TEST(EchoPage, TakesOnePublicAddressAndNothingElse) {
    Host host;
    Serve(host, "/ok", "203.0.113.7\r\n");
    Serve(host, "/empty", "");
    Serve(host, "/html", "<html><body>203.0.113.7</body></html>");
    Serve(host, "/two", "203.0.113.7 198.51.100.2");
    Serve(host, "/port", "203.0.113.7:8080");
    Serve(host, "/zeros", "203.0.113.007");
    Serve(host, "/private", "192.168.1.20");
    Serve(host, "/loopback", "127.0.0.1");
    Serve(host, "/gone", "203.0.113.7", 404);
    Serve(host, "/huge", std::string(10 << 20, '7'));
    host.server.Get("/endless", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
            return sink.write("203.0.113.7 ", 12);
        });
    });
    host.server.Get("/silent", [&host](const httplib::Request&, httplib::Response& res) {
        host.WaitUntilClosing();
        res.set_content("203.0.113.7", "text/plain");
    });
    host.Start();

    const PublicAddressAnswer ok = AskPage(host.Url("/ok"));
    EXPECT_TRUE(ok.reached);
    EXPECT_EQ(ok.address, "203.0.113.7");
    EXPECT_TRUE(ok.problem.isEmpty());

    const std::pair<const char*, const char*> refused[] = {
        {"/empty", "The echo page's reply is empty."},
        {"/html", "is not one IPv4 address: '<html><body>203.0.113.7</body></html>'"},
        {"/two", "is not one IPv4 address: '203.0.113.7 198.51.100.2'"},
        {"/port", "is not one IPv4 address: '203.0.113.7:8080'"},
        {"/zeros", "is not one IPv4 address"},
        {"/private", "reports the private address 192.168.1.20"},
        {"/loopback", "reports 127.0.0.1, which is no public address"},
        {"/gone", "answered with HTTP status 404"},
        {"/huge", "longer than 100 bytes"},
        {"/endless", "longer than 100 bytes"},
    };
    for (const auto& [path, why] : refused) {
        const PublicAddressAnswer a = AskPage(host.Url(path));
        EXPECT_TRUE(a.reached) << path;
        EXPECT_TRUE(a.address.isEmpty()) << path;
        EXPECT_TRUE(a.problem.contains(QLatin1String(why)))
            << path << ": " << a.problem.toStdString();
    }

    // A page that never answers costs its time limit, and no more. A question dropped meanwhile
    // never answers, not even when its own time limit has passed.
    bool droppedAnswered = false;
    auto dropped = std::make_unique<EchoPageAddress>(
        host.Url("/silent"), [&](const PublicAddressAnswer&) { droppedAnswered = true; });
    QTimer::singleShot(100, [&] { dropped.reset(); });
    QElapsedTimer clock;
    clock.start();
    const PublicAddressAnswer silent = AskPage(host.Url("/silent"));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_FALSE(dropped);
    EXPECT_FALSE(droppedAnswered);
    // Its row says why it gave no address: silent, or an address that is not http or https.
    EXPECT_TRUE(silent.reached);
    EXPECT_TRUE(silent.problem.startsWith("The echo page could not be read: "))
        << silent.problem.toStdString();
    for (const QString& url : {QStringLiteral("file:///etc/hostname"),
                               QStringLiteral("gopher://127.0.0.1/1"), QStringLiteral("nowhere")}) {
        const PublicAddressAnswer refusedScheme = AskPage(url);
        EXPECT_TRUE(refusedScheme.reached) << url.toStdString();
        EXPECT_TRUE(refusedScheme.address.isEmpty());
        EXPECT_EQ(refusedScheme.problem,
                  "The echo page's address must begin with http:// or https://: '" + url + "'.");
    }
}

const char* const kDescription =
    "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
    "<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
    "<friendlyName>Home Router</friendlyName><deviceList><device>"
    "<friendlyName>WANConnectionDevice</friendlyName><serviceList><service>"
    "<serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>"
    "<controlURL>/ctl/Cmn</controlURL></service><service>"
    "<serviceType>urn:schemas-upnp-org:service:WANIPConnection:1</serviceType>"
    "<controlURL>/ctl/IPConn</controlURL></service></serviceList>"
    "</device></deviceList></device></root>";

std::string AddressReply(const std::string& address) {
    return "<?xml version=\"1.0\"?><s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
           "<u:GetExternalIPAddressResponse "
           "xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:1\"><NewExternalIPAddress>" +
           address +
           "</NewExternalIPAddress></u:GetExternalIPAddressResponse></s:Body></s:Envelope>";
}

// After discovery: the router's description and its answer, good and bad.
TEST(RouterAddress, DescriptionAndAddressActionGiveAnAddressOrAPlainProblem) {
    Host host;
    std::mutex mutex;
    std::string reply = AddressReply("203.0.113.7");
    int status = 200;
    std::string action;
    Serve(host, "/desc.xml", kDescription);
    Serve(host, "/huge.xml", std::string(kDescription) + std::string(1 << 20, ' '));
    Serve(host, "/broken.xml", "<root><device><friendlyName>x</device>");
    Serve(host, "/noservice.xml", "<root><device><friendlyName>x</friendlyName></device></root>");
    host.server.Post("/ctl/IPConn", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex);
        action = req.get_header_value("SOAPAction");
        res.status = status;
        res.set_content(reply, "text/xml");
    });
    host.Start();
    const QByteArray location = host.Url("/desc.xml").toLatin1();
    auto ask = [&](const std::string& answer, int code = 200) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            reply = answer;
            status = code;
        }
        return AskDevice(location);
    };

    const PublicAddressAnswer connected = ask(AddressReply("203.0.113.7"));
    EXPECT_EQ(connected.address, "203.0.113.7");
    EXPECT_EQ(connected.description, "Home Router");
    EXPECT_EQ(connected.gateway, "127.0.0.1");
    EXPECT_EQ(action, "\"urn:schemas-upnp-org:service:WANIPConnection:1#GetExternalIPAddress\"");

    // Double NAT: the private address is never taken for the public one; the row says why.
    const PublicAddressAnswer nat = ask(AddressReply("10.0.0.2"));
    EXPECT_TRUE(nat.reached);
    EXPECT_EQ(nat.address, "");
    EXPECT_TRUE(
        nat.problem.contains("private external address 10.0.0.2: it is behind another "
                             "router (double NAT)"))
        << nat.problem.toStdString();

    const std::pair<std::string, const char*> refused[] = {
        {AddressReply("0.0.0.0"), "has no external address: it is not connected"},
        {AddressReply(""), "has no external address"},
        {AddressReply("203.0.113.7:80"), "not one IPv4 address: '203.0.113.7:80'"},
        {AddressReply("224.0.0.1"), "reports 224.0.0.1, which is no external address"},
        {"<s:Envelope><s:Body>", "did not tell its external address: the reply is not a valid XML"},
        {std::string(20000, 'x'),
         "did not tell its external address: the reply is larger than 16 KB"},
    };
    for (const auto& [answer, why] : refused) {
        const PublicAddressAnswer a = ask(answer);
        EXPECT_TRUE(a.reached);
        EXPECT_TRUE(a.address.isEmpty());
        EXPECT_EQ(a.description, "Home Router");
        EXPECT_TRUE(a.problem.contains(QLatin1String(why))) << a.problem.toStdString();
    }
    // It answers discovery but refuses the address request.
    const PublicAddressAnswer fault =
        ask("<s:Envelope "
            "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/"
            "\"><s:Body><s:Fault><detail><UPnPError><errorCode>501</errorCode>"
            "<errorDescription>Action Failed</errorDescription></UPnPError></detail></s:Fault>"
            "</s:Body></s:Envelope>",
            500);
    EXPECT_TRUE(
        fault.problem.endsWith("did not tell its external address: UPnP error 501 Action Failed."))
        << fault.problem.toStdString();

    for (const auto& [path, why] :
         {std::pair{"/huge.xml", "is larger than 64 KB"},
          std::pair{"/broken.xml", "not a valid XML"},
          std::pair{"/noservice.xml", "offers no WAN IP or PPP connection service"},
          std::pair{"/missing.xml", "HTTP status 404"}}) {
        const PublicAddressAnswer a = AskDevice(host.Url(path).toLatin1());
        EXPECT_TRUE(a.reached) << path;
        EXPECT_TRUE(a.address.isEmpty()) << path;
        EXPECT_TRUE(a.problem.startsWith("The UPnP router's description could not be read: "))
            << a.problem.toStdString();
        EXPECT_TRUE(a.problem.contains(QLatin1String(why))) << a.problem.toStdString();
    }
    EXPECT_TRUE(AskDevice("file:///etc/passwd").problem.contains("not an http"));
}

}  // namespace
}  // namespace qv
