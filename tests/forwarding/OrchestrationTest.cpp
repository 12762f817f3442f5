#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QHash>

#include "ForwardTestSupport.h"
#include "forwarding/ForwardText.h"
#include "forwarding/Forwarder.h"
#include "platform/FileError.h"
#include "resources/StringTable.h"

namespace qv::test {
namespace {

// A bare listening socket that tells whether a connection was made to it.
class Listener {
  public:
    Listener(const char* address, int port = 0) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, address, &addr.sin_addr);
        socklen_t len = sizeof addr;
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), len), 0);
        ::listen(m_fd, 8);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        this->port = ntohs(addr.sin_port);
    }
    ~Listener() { ::close(m_fd); }
    bool Connected() {
        const int fd = ::accept(m_fd, nullptr, nullptr);
        if (fd < 0) {
            return false;
        }
        ::close(fd);
        return true;
    }
    quint16 port = 0;

  private:
    int m_fd = -1;
};

class OrchestrationTest : public ::testing::Test {
  protected:
    // The script page, started before the forwarder is made with its port.
    quint16 StartServer() {
        server.server().Post("/ip", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("ok", "text/plain");
        });
        server.server().Post(
            "/fail", [](const httplib::Request&, httplib::Response& res) { res.status = 500; });
        server.Start();
        host.settings.HTTPTargetURL = QString::fromStdString(server.Url("/ip"));
        stored["HTTPTargetURL"] = host.settings.HTTPTargetURL;
        return static_cast<quint16>(server.port);
    }

    std::vector<std::string> Targets() { return test::Targets(server); }

    ScriptedPrompter prompter;
    RecordingHost host;
    LoopbackHttpServer server;
    QHash<QString, QString> stored;  // the settings file as stored
    CForwarder fwd{
        host, TestOptions(StartServer(), [this](const QString& key) { return stored.value(key); })};
};

const std::string kOnLine = "/ip?IPAddress=192.168.1.20&UserID=&Password=&StartPage=";
const std::string kOffLine = "/ip?IPAddress=&UserID=&Password=&StartPage=";

TEST(ConnectionCheck, TestsTheStoredTargetsHostOnly) {
    ScriptedPrompter prompter;
    RecordingHost host;
    Listener http("127.0.0.2");
    Listener ftp("127.0.0.3", http.port);
    QHash<QString, QString> stored;
    CForwarder fwd(host, TestOptions(http.port, [&](const QString& k) { return stored.value(k); }));
    // HTTPTargetURL wins over FTPTargetURL; only its host counts (not its port or path).
    stored = {{"HTTPTargetURL", "https://127.0.0.2:8443/dyn/StoreIP.asp"},
              {"FTPTargetURL", "ftp://127.0.0.3/www"}};
    host.settings.HTTPTargetURL = "http://127.0.0.3/edited-this-run";  // not what is tested
    EXPECT_EQ(fwd.CheckInternetConnection(), 1);
    EXPECT_TRUE(http.Connected());
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(host.Lines(), QStringList({LoadString(166), LoadString(170)}));
    EXPECT_TRUE(host.LoggedLines().isEmpty());

    stored = {{"FTPTargetURL", "ftp://127.0.0.3:2121/www"}};
    EXPECT_EQ(fwd.CheckInternetConnection(), 1);
    EXPECT_TRUE(ftp.Connected());

    stored.clear();  // neither: the built-in address
    ForwarderOptions options = TestOptions(http.port, [](const QString&) { return QString(); });
    options.fallbackTestUrl = "http://127.0.0.2/";
    CForwarder fallback(host, options);
    EXPECT_EQ(fallback.CheckInternetConnection(), 1);
    EXPECT_TRUE(http.Connected());
    EXPECT_TRUE(prompter.asked.empty());

    // "Test Internet" repeats the success as a notice.
    stored = {{"HTTPTargetURL", "http://127.0.0.2/"}};
    fwd.OnTestInternet();
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].text, LoadString(170));
    EXPECT_EQ(host.notices[0].icon, IPrompter::Information);
    EXPECT_EQ(host.notices[0].life, 7000u);
}

TEST(ConnectionCheck, FailuresAskNothingMoreOfTheCaller) {
    ScriptedPrompter prompter;
    RecordingHost host;
    QHash<QString, QString> stored{{"HTTPTargetURL", "www.example.org/no-scheme"}};
    CForwarder fwd(host, TestOptions(static_cast<quint16>(ClosedPort()),
                                     [&](const QString& k) { return stored.value(k); }));
    EXPECT_EQ(fwd.CheckInternetConnection(), 0);
    EXPECT_EQ(prompter.Texts(), QStringList({LoadString(164) + " 'www.example.org/no-scheme'"}));
    EXPECT_EQ(prompter.asked[0].buttons, IPrompter::Ok);
    EXPECT_EQ(prompter.asked[0].icon, IPrompter::NoIcon);
    EXPECT_EQ(host.Lines(), QStringList({LoadString(166)}));

    // Nothing answers, and there is no dial-up to fall back on.
    prompter.asked.clear();
    host.output.clear();
    stored["HTTPTargetURL"] = "http://127.0.0.1/";
    fwd.OnTestInternet();
    EXPECT_EQ(prompter.Texts(), QStringList({LoadString(165)}));
    EXPECT_EQ(host.Lines(), QStringList({LoadString(166), LoadString(167)}));
    EXPECT_TRUE(host.notices.empty());
}

TEST_F(OrchestrationTest, FlagsFollowTheirTable) {
    fwd.SendHTTPAddress();
    EXPECT_EQ(fwd.m_bHTTPForwarded, 1);
    EXPECT_EQ(Targets(), std::vector<std::string>({kOnLine}));

    // No address: message 128, the flag is set all the same, nothing is sent.
    fwd.m_bHTTPForwarded = 0;
    host.selectedIp = LoadString(115);
    fwd.SendHTTPAddress();
    EXPECT_EQ(prompter.Texts(), QStringList({LoadString(128)}));
    EXPECT_EQ(prompter.asked[0].buttons, IPrompter::OkCancel);
    EXPECT_EQ(prompter.asked[0].icon, IPrompter::Warning);
    EXPECT_EQ(fwd.m_bHTTPForwarded, 1);
    EXPECT_EQ(Targets().size(), 1u);

    // Shutdown sends the owed notice once, without a check or a question, and leaves the flag.
    int done = 0;
    host.output.clear();
    fwd.OffLineAtShutdown([&] { ++done; });
    fwd.OffLineAtShutdown([&] { ++done; });
    EXPECT_EQ(done, 2);
    EXPECT_EQ(Targets(), std::vector<std::string>({kOnLine, kOffLine}));
    EXPECT_FALSE(host.Lines().contains(LoadString(166)));
    EXPECT_EQ(fwd.m_bHTTPForwarded, 1);

    // A target of the wrong kind: message 111, the flag is cleared, nothing is sent.
    prompter.asked.clear();
    host.settings.HTTPTargetURL = "ftp://127.0.0.1/www";
    fwd.SendHTTPAddress();
    EXPECT_EQ(prompter.Texts(), QStringList({LoadString(111)}));
    EXPECT_EQ(fwd.m_bHTTPForwarded, 0);
    EXPECT_EQ(Targets().size(), 2u);
}

TEST_F(OrchestrationTest, ShutdownWithNothingOwedSendsNothing) {
    host.settings.HTTPTargetURL = "mailto:someone@example.org";
    fwd.SendHTTPAddress();  // only a failed parse
    bool done = false;
    fwd.OffLineAtShutdown([&] { done = true; });
    EXPECT_TRUE(done);
    EXPECT_TRUE(server.Requests().empty());

    // With FTP chosen an owed HTTP notice is not sent either.
    host.settings.UseHTTP = 0;
    CForwarder other(host, TestOptions(0, {}));
    other.m_bHTTPForwarded = 1;
    other.OffLineAtShutdown();
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(OrchestrationTest, FailedExchangesLeaveTheFlagsButOffLineNoticesClearThem) {
    host.settings.HTTPTargetURL = QString::fromStdString(server.Url("/fail"));
    fwd.SendHTTPAddress();
    EXPECT_EQ(host.Lines().last(), LoadString(121) + "500" + kStamp);
    EXPECT_EQ(fwd.m_bHTTPForwarded, 1);

    // Without a connection the notice stops before sending, and the flag stays.
    stored["HTTPTargetURL"] = "http://127.0.0.9/";
    fwd.NotifyHTTPOffLine();
    EXPECT_EQ(host.Lines().last(), LoadString(167));
    EXPECT_EQ(fwd.m_bHTTPForwarded, 1);

    stored["HTTPTargetURL"] = host.settings.HTTPTargetURL;
    fwd.NotifyHTTPOffLine();
    EXPECT_EQ(host.Lines().last(), LoadString(121) + "500" + kStamp);
    EXPECT_EQ(fwd.m_bHTTPForwarded, 0);
}

TEST_F(OrchestrationTest, SwitchingMethodOffersToTakeDownTheOldOne) {
    host.settings.AutoForward = 1;
    fwd.SendHTTPAddress();
    ASSERT_EQ(fwd.m_bHTTPForwarded, 1);

    host.settings.UseHTTP = 0;
    prompter.answers = {IPrompter::AnswerYes};
    fwd.OfferOffLineNotice(1);
    EXPECT_EQ(prompter.Texts(), QStringList({LoadString(161)}));
    EXPECT_EQ(prompter.asked[0].buttons, IPrompter::YesNo);
    EXPECT_EQ(Targets(), std::vector<std::string>({kOnLine, kOffLine}));
    EXPECT_EQ(fwd.m_bHTTPForwarded, 0);

    // Answering No leaves the flag; with nothing owed for FTP nothing is asked.
    host.settings.UseHTTP = 1;
    fwd.SendHTTPAddress();
    host.settings.UseHTTP = 0;
    prompter.answers = {IPrompter::AnswerNo};
    fwd.OfferOffLineNotice(1);
    EXPECT_EQ(fwd.m_bHTTPForwarded, 1);
    fwd.OfferOffLineNotice(0);
    EXPECT_EQ(prompter.asked.size(), 2u);
}

TEST_F(OrchestrationTest, HiddenPaneOffersToStopAutomaticForwarding) {
    host.settings.HTTPTargetURL = "htp://typo/ip";
    host.settings.AutoForward = 1;
    host.paneVisible = false;
    prompter.answers = {IPrompter::AnswerOk, IPrompter::AnswerYes};
    fwd.OnAddressChanged();
    EXPECT_EQ(prompter.Texts(), QStringList({LoadString(111), LoadString(127)}));
    EXPECT_EQ(host.settings.AutoForward, 0);
    EXPECT_EQ(host.generalFills, 1);

    // With AutoForward off, an address change sends nothing; the manual send still does.
    host.settings.HTTPTargetURL = QString::fromStdString(server.Url("/ip"));
    fwd.OnAddressChanged();
    EXPECT_TRUE(server.Requests().empty());
    fwd.ForwardNow();
    EXPECT_EQ(Targets(), std::vector<std::string>({kOnLine}));
}

TEST_F(OrchestrationTest, CommandsArrivingDuringAnExchangeWaitForIt) {
    bool busyWhenServed = false;
    // A pane command posted now is served by the event loop that runs during the exchange.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            busyWhenServed = fwd.IsBusy();
            fwd.NotifyHTTPOffLine();
        },
        Qt::QueuedConnection);
    fwd.SendHTTPAddress();
    EXPECT_TRUE(busyWhenServed);
    EXPECT_FALSE(fwd.IsBusy());
    EXPECT_EQ(Targets(), std::vector<std::string>({kOnLine, kOffLine}));
    // The second exchange began after the first had ended.
    const QStringList lines = host.Lines();
    const qsizetype firstEnd = lines.indexOf(FormatString(131, "192.168.1.20") + kStamp);
    const qsizetype secondStart = lines.lastIndexOf(LoadString(166));
    EXPECT_GE(firstEnd, 0);
    EXPECT_GT(secondStart, firstEnd);
    EXPECT_EQ(fwd.m_bHTTPForwarded, 0);
}

TEST_F(OrchestrationTest, PreviewShowsWhatIsSent) {
    host.settings.HTTPTargetURL = "http://h/s.asp";
    host.settings.UserIDQueryString = "a b&c";
    fwd.UpdateForwardPreview();
    EXPECT_EQ(host.statusLine,
              "http://h/s.asp?IPAddress=192.168.1.20&UserID=a%20b%26c&Password=&StartPage=");
    host.settings.PasswordQueryString = "s3cret";
    fwd.UpdateForwardPreview();
    EXPECT_EQ(host.statusLine,
              "http://h/s.asp?IPAddress=192.168.1.20&UserID=a%20b%26c&Password=****&StartPage=");

    QTemporaryDir dir;
    QFile page(dir.path() + "/home.htm");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    host.settings.UseHTTP = 0;
    host.settings.FTPForwardWebPage = page.fileName();
    host.settings.FTPTargetURL = "ftp://h/www";
    fwd.UpdateForwardPreview();
    EXPECT_EQ(host.statusLine, "Send 'home.htm' to 'ftp://h/www/'");
    host.settings.FTPTargetURL = "ftp://h/www/";
    fwd.UpdateForwardPreview();
    EXPECT_EQ(host.statusLine, "Send 'home.htm' to 'ftp://h/www/'");

    // A missing page shows in the line itself, without a notice that would take keystrokes.
    host.settings.FTPForwardWebPage = dir.path() + "/gone.htm";
    fwd.UpdateForwardPreview();
    EXPECT_EQ(host.statusLine, FileErrorText(169, kFileNotFound));
    EXPECT_TRUE(host.NoticeTexts().isEmpty());
}

}  // namespace
}  // namespace qv::test
