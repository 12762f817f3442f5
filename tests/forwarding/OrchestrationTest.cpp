#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

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
    void SetUp() override { StartServer(); }

    // The script page.
    void StartServer() {
        server.server().Post("/ip", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("ok", "text/plain");
        });
        server.server().Post(
            "/fail", [](const httplib::Request&, httplib::Response& res) { res.status = 500; });
        server.Start();
        host.settings.HTTPTargetURL = QString::fromStdString(server.Url("/ip"));
        host.settings.StoredTargets.http = host.settings.HTTPTargetURL;
    }

    std::vector<std::string> Targets() { return test::Targets(server); }

    ScriptedPrompter prompter;
    RecordingHost host;
    LoopbackHttpServer server;
    RecordedForwarder fwd{host, TestOptions()};
};

const std::string kOnLine = "/ip?IPAddress=192.168.1.20&UserID=&Password=&StartPage=";
const std::string kOffLine = "/ip?IPAddress=&UserID=&Password=&StartPage=";

TEST(ConnectionCheck, KnocksAtTheOwnHostAndPortOfTheMethodsStoredTarget) {
    ScriptedPrompter prompter;
    RecordingHost host;
    Listener web("127.0.0.2");
    Listener ftp("127.0.0.3");
    RecordedForwarder fwd(host, TestOptions());
    // Each method checks its own target as stored (not as edited in this run), on its port.
    SettingsRecord::TargetUrls& stored = host.settings.StoredTargets;
    stored.http = QStringLiteral("https://127.0.0.2:%1/dyn/StoreIP.asp").arg(web.port);
    stored.ftp = QStringLiteral("ftp://u:pw@127.0.0.3:%1/www").arg(ftp.port);
    host.settings.HTTPTargetURL = "http://127.0.0.3/edited-this-run";
    EXPECT_EQ(fwd.CheckInternetConnection(ForwardMethod::Http), 1);
    EXPECT_TRUE(web.Connected());
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(host.Lines(),
              QStringList({LoadString(Text::CheckingConnection), LoadString(Text::ConnectionOk)}));
    EXPECT_TRUE(host.LoggedLines().isEmpty());
    EXPECT_EQ(fwd.CheckInternetConnection(ForwardMethod::Ftp), 1);
    EXPECT_TRUE(ftp.Connected());
    EXPECT_FALSE(web.Connected());

    // Without its own target, the other method's; without either, the built-in address.
    stored.ftp.clear();
    EXPECT_EQ(fwd.CheckInternetConnection(ForwardMethod::Ftp), 1);
    EXPECT_TRUE(web.Connected());
    RecordingHost nothingStored;
    ForwarderOptions options = TestOptions();
    options.fallbackTestUrl = QStringLiteral("http://127.0.0.3:%1/").arg(ftp.port);
    RecordedForwarder fallback(nothingStored, options);
    EXPECT_EQ(fallback.CheckInternetConnection(ForwardMethod::Http), 1);
    EXPECT_TRUE(ftp.Connected());
    EXPECT_TRUE(prompter.asked.empty());

    // "Test Internet" checks the chosen method's target and repeats the success as a notice.
    host.settings.Method = ForwardMethod::Ftp;
    stored.ftp = QStringLiteral("ftp://127.0.0.3:%1/").arg(ftp.port);
    RunFromEventLoop(fwd, [&] { fwd.OnTestInternet(); });
    EXPECT_TRUE(ftp.Connected());
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].text, LoadString(Text::ConnectionOk));
    EXPECT_EQ(host.notices[0].icon, IPrompter::Information);
    EXPECT_EQ(host.notices[0].life, 7000u);
}

TEST(ConnectionCheck, FailuresAreLoggedWithTheirCauseAndAskNothingMore) {
    ScriptedPrompter prompter;
    RecordingHost host;
    QString& stored = host.settings.StoredTargets.http;
    stored = "www.example.org/no-scheme";
    RecordedForwarder fwd(host, TestOptions());
    EXPECT_EQ(fwd.CheckInternetConnection(ForwardMethod::Http), 0);
    EXPECT_EQ(prompter.Texts(),
              QStringList({LoadString(Text::StoredUrlUnusable) + " 'www.example.org/no-scheme'"}));
    EXPECT_EQ(prompter.asked[0].buttons, IPrompter::Ok);
    EXPECT_EQ(prompter.asked[0].icon, IPrompter::NoIcon);
    EXPECT_EQ(host.Lines(), QStringList({LoadString(Text::CheckingConnection)}));

    // Nothing answers: the output and the log say where and why, and nobody is asked anything.
    // "Test Internet" repeats it as a notice; automatic work shows the line only.
    prompter.asked.clear();
    host.output.clear();
    const int closed = ClosedPort();
    const QString refused =
        QStringLiteral("Could not reach 127.0.0.1:%1 \u2014 connection refused").arg(closed);
    stored = QStringLiteral("http://127.0.0.1:%1/").arg(closed);
    RunFromEventLoop(fwd, [&] { fwd.OnTestInternet(); });
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_EQ(host.LoggedLines(), QStringList({LoadString(Text::NoConnection), refused + kStamp}));
    EXPECT_EQ(host.NoticeTexts(), QStringList({refused}));
    EXPECT_EQ(host.notices[0].icon, IPrompter::Warning);

    host.output.clear();
    host.notices.clear();
    RunFromEventLoop(
        fwd, [&] { fwd.ForwardAddress(ForwardMethod::Http, false, [](ForwardOutcome) {}); });
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_TRUE(host.NoticeTexts().isEmpty());
    EXPECT_TRUE(host.LoggedLines().contains(refused + kStamp));
}

TEST_F(OrchestrationTest, FlagsAndOutcomesFollowTheirTable) {
    std::vector<ForwardOutcome> outcomes;
    const auto send = [&] {
        RunFromEventLoop(fwd, [&] {
            fwd.ForwardAddress(ForwardMethod::Http, false,
                               [&](ForwardOutcome outcome) { outcomes.push_back(outcome); });
        });
    };
    send();
    EXPECT_EQ(fwd.m_httpForwarded, 1);
    EXPECT_EQ(Targets(), std::vector<std::string>({kOnLine}));

    // No address: message 128, the flag is set all the same, nothing is sent.
    fwd.m_httpForwarded = 0;
    host.selectedIp = LoadString(Text::PlaceholderAddress);
    send();
    EXPECT_EQ(prompter.Texts(), QStringList({LoadString(Text::NoAddressSelected)}));
    EXPECT_EQ(prompter.asked[0].buttons, IPrompter::OkCancel);
    EXPECT_EQ(prompter.asked[0].icon, IPrompter::Warning);
    EXPECT_EQ(fwd.m_httpForwarded, 1);
    EXPECT_EQ(Targets().size(), 1u);

    // A target of the wrong kind: message 111, the flag is cleared, nothing is sent.
    prompter.asked.clear();
    host.settings.HTTPTargetURL = "ftp://127.0.0.1/www";
    send();
    EXPECT_EQ(prompter.Texts(), QStringList({LoadString(Text::WrongUrlKind)}));
    EXPECT_EQ(fwd.m_httpForwarded, 0);
    EXPECT_EQ(Targets().size(), 1u);

    // Refused by the host: a failure (one that is worth another try).
    host.settings.HTTPTargetURL = QString::fromStdString(server.Url("/fail"));
    host.selectedIp = "192.168.1.20";
    send();
    EXPECT_EQ(outcomes, (std::vector<ForwardOutcome>{
                            ForwardOutcome::kTaken, ForwardOutcome::kNothingToSend,
                            ForwardOutcome::kNothingToSend, ForwardOutcome::kFailed}));

    // Shutdown sends the owed notice once, to the target the address went to, without a check
    // or a question; taken, it is owed no more.
    host.settings.HTTPTargetURL = QString::fromStdString(server.Url("/ip"));
    host.selectedIp = "192.168.1.20";
    RunFromEventLoop(fwd, [&] { fwd.SendBy(ForwardMethod::Http); });
    host.settings.HTTPTargetURL = "http://127.0.0.1:1/edited-since";
    int done = 0;
    host.output.clear();
    prompter.asked.clear();
    fwd.OffLineAtShutdown([&] { ++done; });
    fwd.OffLineAtShutdown([&] { ++done; });
    EXPECT_EQ(done, 2);
    EXPECT_EQ(Targets(),
              std::vector<std::string>({kOnLine, "/fail" + kOnLine.substr(3), kOnLine, kOffLine}));
    EXPECT_FALSE(host.Lines().contains(LoadString(Text::CheckingConnection)));
    EXPECT_EQ(fwd.m_httpForwarded, 0);
    EXPECT_TRUE(prompter.asked.empty());
}

TEST_F(OrchestrationTest, ShutdownCancelsTheRunningExchangeAndAsksNobody) {
    ForwarderOptions options = TestOptions();
    options.limits.total = std::chrono::milliseconds(60000);
    RecordedForwarder patient(host, options);
    bool done = false;
    // The address never gets an answer: shutdown comes while it waits. The off-line notice gets
    // a log-in challenge.
    server.server().Post("/slow", [&](const httplib::Request& req, httplib::Response& res) {
        if (!req.get_param_value("IPAddress").empty()) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [&] { patient.OffLineAtShutdown([&] { done = true; }); }, Qt::QueuedConnection);
            server.WaitForRelease();
        }
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"members\"");
    });
    host.settings.HTTPTargetURL = QString::fromStdString(server.Url("/slow"));
    host.settings.NotifyOnSend = true;
    host.credentialAnswers = {Credentials{"joe", "pw"}};
    RunFromEventLoop(patient, [&] { patient.SendBy(ForwardMethod::Http); });
    EXPECT_TRUE(done);
    const QStringList lines = host.Lines();
    EXPECT_TRUE(
        lines.filter(QRegularExpression("^" + LoadString(Text::ErrorPrefix) + "42 ")).size() == 1)
        << lines.join('\n').toStdString();
    EXPECT_EQ(Targets().back(), "/slow?IPAddress=&UserID=&Password=&StartPage=");
    EXPECT_EQ(lines.last(), LoadString(Text::AccessDenied) + kStamp);
    EXPECT_TRUE(host.credentialRequests.isEmpty());
    EXPECT_TRUE(host.notices.empty());
    EXPECT_TRUE(prompter.asked.empty());
    server.Release();
}

TEST_F(OrchestrationTest, ShutdownWithNothingOwedSendsNothing) {
    host.settings.HTTPTargetURL = "mailto:someone@example.org";
    RunFromEventLoop(fwd, [&] { fwd.SendBy(ForwardMethod::Http); });  // only a failed parse
    bool done = false;
    fwd.OffLineAtShutdown([&] { done = true; });
    EXPECT_TRUE(done);
    EXPECT_TRUE(server.Requests().empty());

    // With FTP chosen an owed HTTP notice is not sent either.
    host.settings.Method = ForwardMethod::Ftp;
    RecordedForwarder other(host, TestOptions());
    other.m_httpForwarded = 1;
    other.OffLineAtShutdown();
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(OrchestrationTest, OffLineNoticesGoToTheirOwnTargetAndStayOwedUntilTaken) {
    LoopbackFtpServer ftp;
    if (!ftp.Started()) {
        GTEST_SKIP() << ftp.why.toStdString();
    }
    QTemporaryDir local;
    QFile page(local.path() + "/home.htm");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<a href=\"http://IPHERE\">");
    page.close();
    SettingsRecord& s = host.settings;
    s.FTPTargetURL = ftp.Url("/");
    s.StoredTargets.ftp = s.FTPTargetURL;
    s.FTPForwardWebPage = page.fileName();
    s.FTPReplacementString = "IPHERE";
    s.FTPUserID = "user";
    s.FTPPassword = "secret";
    s.OffLineDomain = "offline.example.org";

    // After sending by both methods, each notice goes to its own host. The HTTP notice names
    // the address the host took, whatever is selected now.
    s.NotifyOnSend = true;
    RunFromEventLoop(fwd, [&] { fwd.SendBy(ForwardMethod::Http); });
    RunFromEventLoop(fwd, [&] { fwd.SendBy(ForwardMethod::Ftp); });
    ASSERT_EQ(fwd.m_ftpUploaded, 1);
    host.selectedIp = "192.168.1.99";
    RunFromEventLoop(fwd, [&] { fwd.NotifyOffLine(ForwardMethod::Http); });
    host.selectedIp = "192.168.1.20";
    EXPECT_EQ(Targets(), std::vector<std::string>({kOnLine, kOffLine}));
    EXPECT_EQ(fwd.m_httpForwarded, 0);
    EXPECT_TRUE(host.NoticeTexts().last().endsWith("'192.168.1.20' has gone off line."))
        << host.NoticeTexts().last().toStdString();
    RunFromEventLoop(fwd, [&] { fwd.SendBy(ForwardMethod::Http); });
    RunFromEventLoop(fwd, [&] { fwd.NotifyOffLine(ForwardMethod::Ftp); });
    EXPECT_EQ(ftp.Bytes("home.htm"), "<a href=\"http://offline.example.org\">");
    EXPECT_EQ(fwd.m_ftpUploaded, 0);
    EXPECT_EQ(Targets().size(), 3u);

    // A notice the host refused, or one that found no connection, stays owed; shutdown sends
    // it once more.
    s.HTTPTargetURL = QString::fromStdString(server.Url("/fail"));
    s.StoredTargets.http = s.HTTPTargetURL;
    RunFromEventLoop(fwd, [&] { fwd.SendBy(ForwardMethod::Http); });
    RunFromEventLoop(fwd, [&] { fwd.NotifyOffLine(ForwardMethod::Http); });
    EXPECT_EQ(host.Lines().last(), LoadString(Text::GotStatusCode) + "500" + kStamp);
    EXPECT_EQ(fwd.m_httpForwarded, 1);
    s.StoredTargets.http = QStringLiteral("http://127.0.0.1:%1/").arg(ClosedPort());
    RunFromEventLoop(fwd, [&] { fwd.NotifyOffLine(ForwardMethod::Http); });
    EXPECT_TRUE(host.LoggedLines().contains(LoadString(Text::NoConnection)));
    EXPECT_EQ(fwd.m_httpForwarded, 1);
    fwd.OffLineAtShutdown();
    EXPECT_EQ(Targets().back(), "/fail?IPAddress=&UserID=&Password=&StartPage=");
    EXPECT_EQ(Targets().size(), 6u);
}

TEST_F(OrchestrationTest, SwitchingMethodOffersToTakeDownTheOldOne) {
    host.settings.AutoForward = true;
    RunFromEventLoop(fwd, [&] { fwd.SendBy(ForwardMethod::Http); });
    ASSERT_EQ(fwd.m_httpForwarded, 1);

    host.settings.Method = ForwardMethod::Ftp;
    prompter.answers = {IPrompter::AnswerYes};
    RunFromEventLoop(fwd, [&] { fwd.OfferOffLineNotice(ForwardMethod::Http); });
    EXPECT_EQ(prompter.Texts(), QStringList({LoadString(Text::TakeDownHttpQuestion)}));
    EXPECT_EQ(prompter.asked[0].buttons, IPrompter::YesNo);
    EXPECT_EQ(Targets(), std::vector<std::string>({kOnLine, kOffLine}));
    EXPECT_EQ(fwd.m_httpForwarded, 0);

    // Answering No leaves the flag; with nothing owed for FTP nothing is asked.
    host.settings.Method = ForwardMethod::Http;
    RunFromEventLoop(fwd, [&] { fwd.SendBy(ForwardMethod::Http); });
    host.settings.Method = ForwardMethod::Ftp;
    prompter.answers = {IPrompter::AnswerNo};
    RunFromEventLoop(fwd, [&] { fwd.OfferOffLineNotice(ForwardMethod::Http); });
    EXPECT_EQ(fwd.m_httpForwarded, 1);
    RunFromEventLoop(fwd, [&] { fwd.OfferOffLineNotice(ForwardMethod::Ftp); });
    EXPECT_EQ(prompter.asked.size(), 2u);
}

TEST_F(OrchestrationTest, HiddenPaneOffersToStopAutomaticForwarding) {
    host.settings.HTTPTargetURL = "htp://typo/ip";
    host.settings.AutoForward = true;
    host.paneVisible = false;
    prompter.answers = {IPrompter::AnswerOk, IPrompter::AnswerYes};
    RunFromEventLoop(fwd, [&] { fwd.OnAddressChanged(); });
    EXPECT_EQ(prompter.Texts(), QStringList({LoadString(Text::WrongUrlKind),
                                             LoadString(Text::DisableForwardingQuestion)}));
    EXPECT_EQ(host.settings.AutoForward, 0);
    EXPECT_EQ(host.generalFills, 1);

    // With AutoForward off, an address change sends nothing; the manual send still does.
    host.settings.HTTPTargetURL = QString::fromStdString(server.Url("/ip"));
    RunFromEventLoop(fwd, [&] { fwd.OnAddressChanged(); });
    EXPECT_TRUE(server.Requests().empty());
    RunFromEventLoop(fwd, [&] { fwd.ForwardNow(); });
    EXPECT_EQ(Targets(), std::vector<std::string>({kOnLine}));
}

TEST_F(OrchestrationTest, CommandsArrivingDuringAnExchangeWaitForIt) {
    bool commandReturned = false;
    bool servedInsideCommand = false;
    bool busyWhenServed = false;
    RunFromEventLoop(fwd, [&] {
        // A pane command posted now is served by the program's event loop while the exchange
        // runs, never by a loop nested in the command that started it.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [&] {
                servedInsideCommand = !commandReturned;
                busyWhenServed = fwd.IsBusy();
                fwd.NotifyOffLine(ForwardMethod::Http);
            },
            Qt::QueuedConnection);
        fwd.SendBy(ForwardMethod::Http);
        commandReturned = true;
    });
    EXPECT_FALSE(servedInsideCommand);
    EXPECT_TRUE(busyWhenServed);
    EXPECT_FALSE(fwd.IsBusy());
    EXPECT_EQ(Targets(), std::vector<std::string>({kOnLine, kOffLine}));
    // The second exchange began after the first had ended.
    const QStringList lines = host.Lines();
    const qsizetype firstEnd =
        lines.indexOf(FormatString(Text::HttpSentOutput, "192.168.1.20") + kStamp);
    const qsizetype secondStart = lines.lastIndexOf(LoadString(Text::CheckingConnection));
    EXPECT_GE(firstEnd, 0);
    EXPECT_GT(secondStart, firstEnd);
    EXPECT_EQ(fwd.m_httpForwarded, 0);
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
    // A password in the URL is masked too; the URL's own query is joined with "&".
    host.settings.HTTPTargetURL = "http://joe:pw@h/s.asp?key=1";
    fwd.UpdateForwardPreview();
    EXPECT_EQ(host.statusLine,
              "http://joe:****@h/s.asp?key=1&IPAddress=192.168.1.20&UserID=a%20b%26c&Password=****"
              "&StartPage=");

    QTemporaryDir dir;
    QFile page(dir.path() + "/home.htm");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    host.settings.Method = ForwardMethod::Ftp;
    host.settings.FTPForwardWebPage = page.fileName();
    host.settings.FTPTargetURL = "ftp://h/www";
    fwd.UpdateForwardPreview();
    EXPECT_EQ(host.statusLine, "Send 'home.htm' to 'ftp://h/www/'");
    host.settings.FTPTargetURL = "ftp://u:pw@h/www/";
    fwd.UpdateForwardPreview();
    EXPECT_EQ(host.statusLine, "Send 'home.htm' to 'ftp://u:****@h/www/'");

    // A missing page shows in the line itself, without a notice that would take keystrokes.
    host.settings.FTPForwardWebPage = dir.path() + "/gone.htm";
    fwd.UpdateForwardPreview();
    EXPECT_EQ(host.statusLine, FileErrorText(Text::PageFileProblem, kFileNotFound));
    EXPECT_TRUE(host.NoticeTexts().isEmpty());
}

}  // namespace
}  // namespace qv::test
