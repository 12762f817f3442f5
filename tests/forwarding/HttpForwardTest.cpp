#include <gtest/gtest.h>

#include <QFile>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "ForwardTestSupport.h"
#include "forwarding/ForwardText.h"
#include "forwarding/Forwarder.h"
#include "resources/StringTable.h"
#include "settings/PasswordStore.h"

namespace qv::test {
namespace {

class HttpForwardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SettingsRecord& s = host.settings;
        s.SendUserID = true;
        s.UserIDQueryString = QStringLiteral("joe");
        s.SendPassword = false;
        s.SendStartPage = true;
        s.StartPageQueryString = QStringLiteral("Demo/Default.asp");
        s.SendAdditional = false;
    }

    // Parses `url` as the target (as a send does) and forwards `address` to it.
    void Forward(const std::string& url, const QString& address = QStringLiteral("192.168.1.20")) {
        ASSERT_EQ(fwd.ParseTargetURL(QString::fromStdString(url), kServiceHttp), 1);
        fwd.HTTPForward(address);
    }

    ScriptedPrompter prompter;
    RecordingHost host;
    LoopbackHttpServer server;
    RecordedForwarder fwd{host, TestOptions()};
};

TEST_F(HttpForwardTest, SendsOnePostWithTheQueryAndReportsSuccess) {
    server.server().Post("/dyn/StoreIP.asp", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html>stored</html>", "text/html");
    });
    server.Start();
    Forward(server.Url("/dyn/StoreIP.asp"));

    const auto seen = server.Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].target,
              "/dyn/StoreIP.asp?IPAddress=192.168.1.20&UserID=joe&StartPage=/Demo/Default.asp");
    EXPECT_EQ(seen[0].Header("Accept"), "text/*");
    EXPECT_EQ(seen[0].Header("User-Agent"), "Calvort_Quorvane");
    EXPECT_EQ(seen[0].Header("Content-Length"), "0");
    EXPECT_FALSE(seen[0].HasHeader("Content-Type"));

    const QString success =
        LoadString(Text::HttpSentOutput).replace(QLatin1String("%s"), "192.168.1.20") + kStamp;
    EXPECT_EQ(host.Lines(), QStringList({LoadString(Text::OpeningInternet),
                                         LoadString(Text::Connected), success}));
    EXPECT_FALSE(host.output[0].append);
    EXPECT_FALSE(host.output[0].log);
    EXPECT_EQ(host.LoggedLines(), QStringList({LoadString(Text::Connected), success}));
    EXPECT_EQ(host.headings, QStringList({LoadString(Text::OutputCaption)}));
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].text,
              LoadString(Text::HttpSentNotice).replace(QLatin1String("%s"), "192.168.1.20"));
    EXPECT_EQ(host.notices[0].life, 7000u);
    EXPECT_TRUE(host.responses.empty());  // ShowHostResponse is off
    EXPECT_FALSE(host.busyCursor);
}

TEST_F(HttpForwardTest, QueryPairsFollowTheirFlagsAndEncodeWhatWouldBreakTheQuery) {
    server.server().Post("/s", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("ok", "text/plain");
    });
    server.Start();
    SettingsRecord& s = host.settings;
    struct Case {
        std::function<void()> set;
        QString address;
        std::string expected;
    };
    const Case cases[] = {
        // The off-line notice: an empty address, then the optional pairs.
        {[] {}, QString(), "/s?IPAddress=&UserID=joe&StartPage=/Demo/Default.asp"},
        // A user pair with an empty tag is left out; an empty value still sends the pair.
        {[&] { s.UserIDQueryStringTag.clear(); }, "1.2.3.4",
         "/s?IPAddress=1.2.3.4&StartPage=/Demo/Default.asp"},
        {[&] {
             s.UserIDQueryStringTag = QStringLiteral("UserID");
             s.UserIDQueryString.clear();
             s.StartPageQueryString = QStringLiteral("\\Demo\\Default.asp");
         },
         "1.2.3.4", "/s?IPAddress=1.2.3.4&UserID=&StartPage=\\Demo\\Default.asp"},
        // The additional text is glued on as typed.
        {[&] {
             s.SendUserID = false;
             s.SendStartPage = false;
             s.SendAdditional = true;
             s.AdditionalQueryString = QStringLiteral("&mode=2");
         },
         "1.2.3.4", "/s?IPAddress=1.2.3.4&mode=2"},
        // Characters that would split a pair or the request are encoded.
        {[&] {
             s.SendAdditional = false;
             s.SendUserID = true;
             s.UserIDQueryString = QStringLiteral("a&b=c d#e+f%g\r\nX: y");
             s.SendPassword = true;
             s.PasswordQueryString = QStringLiteral("p\u00e4ss/\\?");
         },
         "1.2.3.4",
         "/s?IPAddress=1.2.3.4&UserID=a%26b%3Dc%20d%23e%2Bf%25g%0D%0AX:%20y&Password=p%C3%A4ss/"
         "\\?"},
    };
    for (const Case& c : cases) {
        c.set();
        const size_t before = server.Requests().size();
        Forward(server.Url("/s"), c.address);
        const auto targets = Targets(server);
        ASSERT_EQ(targets.size(), before + 1);
        EXPECT_EQ(targets.back(), c.expected);
    }
    // The off-line notice's success line shows the empty address between its quotes.
    EXPECT_TRUE(host.Lines().contains(
        LoadString(Text::HttpSentOutput).replace(QLatin1String("%s"), QString()) + kStamp));
}

TEST_F(HttpForwardTest, RedirectsKeepTheSecretsWithTheTypedHostOnly) {
    LoopbackHttpServer otherHost("127.0.0.2");
    LoopbackHttpServer otherPort;
    for (LoopbackHttpServer* other : {&otherHost, &otherPort}) {
        other->server().Post("/there.asp", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("moved ok", "text/plain");
        });
        other->Start();
    }
    // "/old?to=URL": a redirect to URL (the target's own query joins the address query).
    server.server().Post("/old", [&](const httplib::Request& req, httplib::Response& res) {
        res.status = 302;
        res.set_header("Location", req.get_param_value("to"));
    });
    server.server().Post("/new", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("here", "text/plain");
    });
    server.server().Post("/relative", [](const httplib::Request&, httplib::Response& res) {
        res.status = 301;
        res.set_header("Location", "/new");  // relative: not followed
    });
    server.Start();
    host.settings.SendPassword = true;
    host.settings.PasswordQueryString = QStringLiteral("s3cret");
    const std::string secrets = "&UserID=joe&Password=s3cret";
    const std::string address = "IPAddress=192.168.1.20";
    const std::string start = "&StartPage=/Demo/Default.asp";

    // Another host, or the same host on another port: the address goes, the secrets stay.
    for (LoopbackHttpServer* other : {&otherHost, &otherPort}) {
        const std::string there = other->Url("/there.asp");
        Forward(server.Url("/old?to=" + there));
        EXPECT_EQ(Targets(server).back(), "/old?to=" + there + "&" + address + secrets + start);
        ASSERT_EQ(Targets(*other).size(), 1u);
        EXPECT_EQ(Targets(*other)[0], "/there.asp?" + address + start);
        EXPECT_TRUE(host.LoggedLines().contains(LoadString(Text::RedirectedTo) +
                                                QString::fromStdString(there)));
        EXPECT_EQ(host.Lines().last(), FormatString(Text::HttpSentOutput, "192.168.1.20") + kStamp);
    }
    // The typed scheme, host and port get them again, masked in the log.
    Forward(server.Url("/old?to=" + server.Url("/new")));
    EXPECT_EQ(Targets(server).back(), "/new?" + address + secrets + start);
    EXPECT_TRUE(host.LoggedLines().contains(
        QString::fromStdString("/new?" + address + "&UserID=joe&Password=****" + start)));
    for (const QString& line : host.Lines()) {
        EXPECT_FALSE(line.contains(QLatin1String("s3cret"))) << line.toStdString();
    }

    // A relative location cannot be split: error 118.
    host.output.clear();
    Forward(server.Url("/relative"));
    EXPECT_EQ(host.Lines().last(), LoadString(Text::InvalidRedirect) + kStamp);
    EXPECT_EQ(host.notices.back().text, LoadString(Text::ExchangeFailed));
}

TEST_F(HttpForwardTest, RedirectFailuresEndInTheirErrors) {
    auto redirect = [&](const std::string& path, int code, const char* location) {
        server.server().Post(path, [=](const httplib::Request&, httplib::Response& res) {
            res.status = code;
            if (location) {
                res.set_header("Location", location);
            }
        });
    };
    redirect("/ftp", 302, "ftp://127.0.0.1/pub/");
    redirect("/none", 302, nullptr);
    redirect("/empty", 303, "");
    std::string self;
    server.server().Post("/again", [&](const httplib::Request&, httplib::Response& res) {
        res.status = 302;
        res.set_header("Location", self);
    });
    server.server().Post("/missing",
                         [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
    redirect("/escape", 302, "ftp://127.0.0.1/\x1b]0;owned\x07\x1b[2J FAKE");
    // 307 and 308 are followed like 302, and the request stays a POST.
    std::string kept;
    for (const char* path : {"/temporary", "/permanent"}) {
        server.server().Post(path, [&, path](const httplib::Request&, httplib::Response& res) {
            res.status = std::string(path) == "/temporary" ? 307 : 308;
            res.set_header("Location", kept);
        });
    }
    std::vector<std::string> keptMethods;
    server.server().Post("/kept", [&](const httplib::Request& req, httplib::Response& res) {
        keptMethods.push_back(req.method);
        res.set_content("kept", "text/plain");
    });
    server.Start();
    self = server.Url("/again");
    kept = server.Url("/kept");
    struct Case {
        std::string path;
        QStringList tail;  // the last output lines
    };
    const Case cases[] = {
        {"/ftp",
         {LoadString(Text::RedirectedTo) + "ftp://127.0.0.1/pub/",
          LoadString(Text::RedirectNotHttp) + kStamp}},
        {"/none", {LoadString(Text::RedirectWithoutLocation) + kStamp}},
        {"/empty", {LoadString(Text::RedirectedTo), LoadString(Text::InvalidRedirect) + kStamp}},
        {"/again",
         {LoadString(Text::GotStatusCode) + "302" + kStamp}},  // a second redirect is not followed
        {"/missing", {LoadString(Text::GotStatusCode) + "404" + kStamp}},
    };
    for (const Case& c : cases) {
        host.output.clear();
        Forward(server.Url(c.path));
        const QStringList lines = host.Lines();
        ASSERT_GE(lines.size(), c.tail.size()) << c.path;
        EXPECT_EQ(lines.mid(lines.size() - c.tail.size()), c.tail) << c.path;
        EXPECT_TRUE(host.output.back().log);
        EXPECT_EQ(host.notices.back().text, LoadString(Text::ExchangeFailed)) << c.path;
    }
    for (const char* path : {"/temporary", "/permanent"}) {
        host.output.clear();
        Forward(server.Url(path));
        EXPECT_EQ(host.Lines().last(), FormatString(Text::HttpSentOutput, "192.168.1.20") + kStamp)
            << path;
    }
    EXPECT_EQ(keptMethods, std::vector<std::string>({"POST", "POST"}));

    // What the host wrote is shown with its control characters replaced.
    host.output.clear();
    Forward(server.Url("/escape"));
    EXPECT_TRUE(
        host.LoggedLines().contains(LoadString(Text::RedirectedTo) +
                                    QString("ftp://127.0.0.1/\uFFFD]0;owned\uFFFD\uFFFD[2J FAKE")))
        << host.Lines().join('|').toStdString();
}

TEST_F(HttpForwardTest, HttpsIsVerifiedReachedByRedirectAndNeverLeftForHttp) {
    QTemporaryDir dir;
    TestCertificate certificate(dir.path());
    if (!certificate.Made()) {
        GTEST_SKIP() << "the openssl tool could not make a test certificate";
    }
    LoopbackHttpServer tls("127.0.0.1", certificate.cert, certificate.key);
    std::string secureUrl;
    server.server().Post("/plain", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("plain", "text/plain");
    });
    server.server().Post("/up", [&](const httplib::Request&, httplib::Response& res) {
        res.status = 302;
        res.set_header("Location", secureUrl);
    });
    server.Start();
    tls.server().Post("/s", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("secure", "text/plain");
    });
    const std::string plain = server.Url("/plain");
    tls.server().Post("/down", [&](const httplib::Request&, httplib::Response& res) {
        res.status = 302;
        res.set_header("Location", plain);
    });
    tls.Start();
    const QString secure = QStringLiteral("https://127.0.0.1:%1/s").arg(tls.port);
    secureUrl = secure.toStdString();

    // An unknown certificate is refused before anything is sent.
    Forward(secure.toStdString());
    EXPECT_TRUE(host.Lines().last().startsWith(LoadString(Text::ErrorPrefix) + "60 "))
        << host.Lines().last().toStdString();
    EXPECT_TRUE(tls.Requests().empty());

    ForwarderOptions options = TestOptions();
    options.limits.caFile = QString::fromStdString(certificate.cert);
    RecordedForwarder trusting(host, options);
    ASSERT_EQ(trusting.ParseTargetURL(secure, kServiceHttp), 1);
    trusting.HTTPForward("10.0.0.1");
    EXPECT_EQ(host.Lines().last(), FormatString(Text::HttpSentOutput, "10.0.0.1") + kStamp);
    ASSERT_EQ(tls.Requests().size(), 1u);

    // From HTTP up to HTTPS is followed, without the secrets: another scheme and port.
    ASSERT_EQ(trusting.ParseTargetURL(QString::fromStdString(server.Url("/up")), kServiceHttp), 1);
    trusting.HTTPForward("10.0.0.1");
    EXPECT_EQ(host.Lines().last(), FormatString(Text::HttpSentOutput, "10.0.0.1") + kStamp);
    ASSERT_EQ(tls.Requests().size(), 2u);
    EXPECT_EQ(tls.Requests()[1].target, "/s?IPAddress=10.0.0.1&StartPage=/Demo/Default.asp");

    ASSERT_EQ(trusting.ParseTargetURL(QStringLiteral("https://127.0.0.1:%1/down").arg(tls.port),
                                      kServiceHttp),
              1);
    trusting.HTTPForward("10.0.0.1");
    EXPECT_EQ(host.Lines().mid(host.Lines().size() - 2),
              QStringList({LoadString(Text::RedirectedTo) + QString::fromStdString(plain),
                           LoadString(Text::SecureRedirectRefused) + kStamp}));
    EXPECT_EQ(server.Requests().size(), 1u);  // only "/up"
}

TEST_F(HttpForwardTest, AuthenticationAnswersTheChallengeOnceAndStopsOnRefusal) {
    const std::string basic = "Basic am9lOnB3";  // joe:pw
    auto challenge = [](httplib::Response& res, const char* scheme) {
        res.status = 401;
        res.set_header("WWW-Authenticate",
                       std::string(scheme) + " realm=\"members\", nonce=\"n0nce\", qop=\"auth\"");
    };
    server.server().Post("/auth", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Authorization") == basic) {
            res.set_content("welcome", "text/plain");
        } else {
            challenge(res, "Basic");
        }
    });
    server.server().Post("/digest", [&](const httplib::Request& req, httplib::Response& res) {
        const std::string answer = req.get_header_value("Authorization");
        if (answer.rfind("Digest ", 0) == 0 &&
            answer.find("username=\"joe\"") != std::string::npos &&
            answer.find("nonce=\"n0nce\"") != std::string::npos) {
            res.set_content("welcome", "text/plain");
        } else {
            challenge(res, "Digest");
        }
    });
    LoopbackHttpServer other("127.0.0.2");
    other.server().Post("/x", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("ok", "text/plain");
    });
    other.Start();
    server.server().Post("/auth-then-away",
                         [&](const httplib::Request& req, httplib::Response& res) {
                             if (req.get_header_value("Authorization") == basic) {
                                 res.status = 302;
                                 res.set_header("Location", other.Url("/x"));
                             } else {
                                 challenge(res, "Basic");
                             }
                         });
    server.Start();
    const QString success = FormatString(Text::HttpSentOutput, "192.168.1.20") + kStamp;

    // The host sees the challenged request and one answer in its own scheme, Basic or Digest.
    for (const char* path : {"/auth", "/digest"}) {
        host.credentialAnswers = {Credentials{"joe", "pw"}};
        const size_t before = server.Requests().size();
        Forward(server.Url(path));
        EXPECT_EQ(host.Lines().last(), success) << path;
        EXPECT_EQ(server.Requests().size(), before + 2) << path;
    }
    // A wrong answer asks again.
    host.credentialRequests.clear();
    host.credentialAnswers = {Credentials{"joe", "wrong"}, Credentials{"joe", "pw"}};
    Forward(server.Url("/auth"));
    EXPECT_EQ(host.credentialRequests, QStringList({"127.0.0.1|members", "127.0.0.1|members"}));
    EXPECT_EQ(host.Lines().last(), success);

    // A log-in written into the URL answers without a question.
    host.credentialRequests.clear();
    Forward("http://joe:pw@127.0.0.1:" + std::to_string(server.port) + "/auth");
    EXPECT_EQ(host.Lines().last(), success);
    EXPECT_TRUE(host.credentialRequests.isEmpty());

    // Refusing the prompt: error 116.
    host.output.clear();
    Forward(server.Url("/auth"));
    EXPECT_EQ(host.Lines().last(), LoadString(Text::AccessDenied) + kStamp);
    EXPECT_EQ(host.notices.back().text, LoadString(Text::ExchangeFailed));

    // The answer is never sent on to another host.
    host.credentialAnswers = {Credentials{"joe", "pw"}};
    Forward(server.Url("/auth-then-away"));
    ASSERT_EQ(other.Requests().size(), 1u);
    EXPECT_FALSE(other.Requests()[0].HasHeader("Authorization"));
}

// While the user takes their time over the log-in prompt of a send they asked for, the exchange
// steps aside: an automatic forward runs meanwhile and asks nobody; the answered one goes on.
TEST_F(HttpForwardTest, AnOpenLogInPromptHoldsUpNoAutomaticForward) {
    server.server().Post("/auth", [](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Authorization") == "Basic am9lOnB3") {  // joe:pw
            res.set_content("welcome", "text/plain");
            return;
        }
        res.status = 401;
        res.set_header("WWW-Authenticate", "Basic realm=\"members\"");
    });
    server.Start();
    const QString url = QString::fromStdString(server.Url("/auth"));
    host.settings.HTTPTargetURL = host.settings.StoredTargets.http = url;
    host.settings.AutoForward = true;
    host.holdCredentials = true;
    RecordedForwarder watcher(host, TestOptions());
    RunFromEventLoop(watcher, [&] { watcher.SendBy(ForwardMethod::Http); });
    ASSERT_EQ(host.heldCredentials.size(), 1u);
    EXPECT_FALSE(watcher.IsBusy());

    host.selectedIp = QStringLiteral("192.168.1.21");
    RunFromEventLoop(watcher, [&] { watcher.OnAddressChanged(); });
    EXPECT_EQ(host.heldCredentials.size(), 1u);  // asked nobody
    EXPECT_EQ(host.Lines().last(), LoadString(Text::AccessDenied) + kStamp);
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_NE(server.Requests()[1].target.find("192.168.1.21"), std::string::npos);

    RunFromEventLoop(watcher, [&] { host.heldCredentials[0](Credentials{"joe", "pw"}); });
    EXPECT_EQ(host.Lines().last(), FormatString(Text::HttpSentOutput, "192.168.1.21") + kStamp);
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(HttpForwardTest, HangsAndFloodsAreBounded) {
    server.server().Post("/hang", [&](const httplib::Request&, httplib::Response& res) {
        server.WaitForRelease();
        res.set_content("late", "text/plain");
    });
    std::atomic<int> onceCalls{0};
    server.server().Post("/once", [&](const httplib::Request&, httplib::Response& res) {
        if (onceCalls++ == 0) {
            server.WaitForRelease();  // never answers, never closes, until the test ends
        }
        res.set_content("ok", "text/plain");
    });
    server.server().Post("/stall", [&](const httplib::Request&, httplib::Response& res) {
        // A start, then nothing more.
        res.set_chunked_content_provider("text/html", [&](size_t offset, httplib::DataSink& sink) {
            if (offset == 0) {
                return sink.write("<html>", 6);
            }
            server.WaitForRelease();
            sink.done();
            return true;
        });
    });
    server.server().Post("/flood", [](const httplib::Request&, httplib::Response& res) {
        // 10 MB of unknown length.
        res.set_chunked_content_provider("text/html", [](size_t offset, httplib::DataSink& sink) {
            if (offset >= 10u * 1024 * 1024) {
                sink.done();
                return true;
            }
            const std::string chunk(64 * 1024, 'x');
            return sink.write(chunk.data(), chunk.size());
        });
    });
    server.Start();

    ForwarderOptions options = TestOptions();
    options.limits.total = std::chrono::milliseconds(500);
    RecordedForwarder impatient(host, options);
    ASSERT_EQ(impatient.ParseTargetURL(QString::fromStdString(server.Url("/hang")), kServiceHttp),
              1);
    impatient.HTTPForward(QStringLiteral("10.0.0.1"));
    EXPECT_TRUE(host.Lines().last().startsWith(LoadString(Text::ErrorPrefix) + "28 "))
        << host.Lines().last().toStdString();
    EXPECT_TRUE(host.Lines().last().endsWith(kStamp));
    EXPECT_EQ(host.notices.back().text, LoadString(Text::ExchangeFailed));
    // A host that stops sending in the middle ends the exchange long before the total time.
    ForwarderOptions stalling = TestOptions();
    stalling.limits.stall = std::chrono::seconds(1);
    RecordedForwarder stalled(host, stalling);
    ASSERT_EQ(stalled.ParseTargetURL(QString::fromStdString(server.Url("/stall")), kServiceHttp),
              1);
    stalled.HTTPForward(QStringLiteral("10.0.0.1"));
    EXPECT_TRUE(host.Lines().last().startsWith(LoadString(Text::ErrorPrefix) + "28 "))
        << host.Lines().last().toStdString();

    // A forward whose host never answers is ended by the program's own deadline, and the next
    // change of the address is forwarded.
    const QString once = QString::fromStdString(server.Url("/once"));
    host.settings.HTTPTargetURL = host.settings.StoredTargets.http = once;
    host.settings.AutoForward = true;
    ForwarderOptions watching = TestOptions();
    watching.limits.total = std::chrono::milliseconds(500);
    RecordedForwarder watcher(host, watching);
    RunFromEventLoop(watcher, [&] { watcher.SendBy(ForwardMethod::Http); });
    EXPECT_TRUE(host.Lines().last().startsWith(LoadString(Text::ErrorPrefix) + "28 "))
        << host.Lines().last().toStdString();
    EXPECT_FALSE(watcher.IsBusy());
    host.selectedIp = QStringLiteral("192.168.1.21");
    RunFromEventLoop(watcher, [&] { watcher.OnAddressChanged(); });
    EXPECT_EQ(host.Lines().last(), FormatString(Text::HttpSentOutput, "192.168.1.21") + kStamp);
    EXPECT_EQ(onceCalls, 2);
    host.settings.AutoForward = false;
    server.Release();

    host.settings.ShowHostResponse = true;
    Forward(server.Url("/flood"));
    ASSERT_EQ(host.responses.size(), 1u);
    EXPECT_EQ(host.responses[0].text.size(), 1 << 20);
    EXPECT_EQ(host.responses[0].caption,
              LoadString(Text::AppTitle) + " - " + LoadString(Text::HostReplyCaption));
    EXPECT_EQ(host.notices.back().text,
              LoadString(Text::HttpSentNotice).replace(QLatin1String("%s"), "192.168.1.20"));
}

TEST_F(HttpForwardTest, ConnectionFailuresAreErrorLines) {
    Forward("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x");
    EXPECT_TRUE(host.Lines().last().startsWith(LoadString(Text::ErrorPrefix) + "7 "))
        << host.Lines().last().toStdString();
    Forward("http://no-such-host.invalid/x");
    EXPECT_TRUE(host.Lines().last().startsWith(LoadString(Text::ErrorPrefix) + "6 "))
        << host.Lines().last().toStdString();
    EXPECT_EQ(host.notices.back().text, LoadString(Text::ExchangeFailed));
}

TEST_F(HttpForwardTest, HostReplyIsShownWithoutTags) {
    server.server().Post("/r", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><b>OK</b>\r\n\r\n\r\nSaved</html>", "text/html");
    });
    server.Start();
    host.settings.ShowHostResponse = true;
    Forward(server.Url("/r"));
    ASSERT_EQ(host.responses.size(), 1u);
    EXPECT_EQ(host.responses[0].text, "OK\r\r\n\r\r\nSaved");
}

TEST_F(HttpForwardTest, APasswordTheKeyringDoesNotGiveIsNeverSentEmpty) {
    server.server().Post("/s", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("ok", "text/plain");
    });
    server.Start();
    QTemporaryDir noBus;  // no session bus answers here
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(noBus.path()) + "/bus");
    SettingsRecord& s = host.settings;
    s.SendPassword = true;
    s.PasswordsInKeyring = s.PasswordsToRead = kKeyringQueryPassword;
    PasswordStore store(s);
    host.passwords = &store;
    const QString refused = QStringLiteral(
                                "The password is kept in the desktop keyring, which did not give "
                                "it (no desktop keyring answers on the session bus): nothing was "
                                "sent.") +
                            kStamp;

    // The exchange waits for the keyring without holding the event loop up.
    const QString url = QString::fromStdString(server.Url("/s"));
    s.HTTPTargetURL = s.StoredTargets.http = url;
    RecordedForwarder sending(host, TestOptions());
    RunFromEventLoop(sending, [&] { sending.SendBy(ForwardMethod::Http); });
    EXPECT_EQ(host.Lines().last(), refused);
    EXPECT_TRUE(server.Requests().empty());

    s.SendPassword = false;  // not needed: sent
    Forward(server.Url("/s"));
    EXPECT_EQ(server.Requests().size(), 1u);
}

// A clock the test moves on.
class SteppedClock : public IClock {
  public:
    QDateTime Now() const override { return now; }
    QDateTime now = QDateTime(QDate(2026, 12, 6), QTime(6, 16, 7));
};

// A dyndns2 service's answers decide what the next update does: each is checked by the request
// it got and by whether an automatic update with another address reaches the service again.
TEST(DynDnsForward, EachAnswerDecidesTheNextUpdate) {
    ScriptedPrompter prompter;
    LoopbackHttpServer server;
    std::mutex lock;
    std::string answer;
    server.server().Get("/nic/update", [&](const httplib::Request&, httplib::Response& res) {
        const std::lock_guard<std::mutex> hold(lock);
        res.set_content(answer, "text/plain");
    });
    server.Start();
    const QString url = QString::fromStdString(server.Url("/nic/update"));

    enum class Next { kSent, kHeld, kHeldUntilChanged, kHeldHalfAnHour };
    struct Case {
        std::string answer;
        QString hosts;
        QString second;  // the IPv6 row ticked beside the IPv4 one
        ForwardOutcome outcome;
        Next next;
        std::string query;
    };
    const std::string one = "hostname=home.example.org&myip=192.0.2.1";
    const Case cases[] = {
        {"good 192.0.2.1", "home.example.org", {}, ForwardOutcome::kTaken, Next::kSent, one},
        {"nochg 192.0.2.1", "home.example.org", {}, ForwardOutcome::kTaken, Next::kSent, one},
        {"good 192.0.2.1\ngood 2001:db8::1", "home.example.org", "2001:db8::1",
         ForwardOutcome::kTaken, Next::kSent, one + "&myipv6=2001:db8::1"},
        {"good 192.0.2.1\nnohost",
         "home.example.org, nas.example.org",
         {},
         ForwardOutcome::kNothingToSend,
         Next::kHeldUntilChanged,
         "hostname=home.example.org,nas.example.org&myip=192.0.2.1"},
        {"911", "home.example.org", {}, ForwardOutcome::kFailed, Next::kHeldHalfAnHour, one},
        {"dnserr", "home.example.org", {}, ForwardOutcome::kFailed, Next::kHeldHalfAnHour, one},
        {"something else", "home.example.org", {}, ForwardOutcome::kFailed, Next::kSent, one},
    };
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (const char* code : {"badauth", "!donator", "notfqdn", "numhost", "abuse", "badagent"}) {
        all.push_back({code,
                       "home.example.org",
                       {},
                       ForwardOutcome::kNothingToSend,
                       Next::kHeldUntilChanged,
                       one});
    }
    for (const Case& c : all) {
        SCOPED_TRACE(c.answer);
        {
            const std::lock_guard<std::mutex> hold(lock);
            answer = c.answer;
        }
        QTemporaryDir state;
        SteppedClock clock;
        RecordingHost host;
        SettingsRecord& s = host.settings;
        s.DynDnsURL = url;
        s.DynDnsHosts = c.hosts;
        s.DynDnsUser = QStringLiteral("joe");
        s.DynDnsPassword = QStringLiteral("s3cret");
        ForwarderOptions options = TestOptions();
        options.clock = &clock;
        options.dynDnsLedger = state.filePath(QStringLiteral("dyndns.conf"));
        RecordedForwarder fwd(host, options);
        const size_t before = server.Requests().size();
        const auto sends = [&] { return server.Requests().size() - before; };

        EXPECT_EQ(fwd.DynDnsForward(QStringLiteral("192.0.2.1"), c.second, false), c.outcome);
        const auto seen = server.Requests();
        ASSERT_EQ(sends(), 1u) << host.Lines().join("\n").toStdString();
        EXPECT_EQ(seen.back().method, "GET");
        EXPECT_EQ(seen.back().target, "/nic/update?" + c.query);
        EXPECT_EQ(seen.back().Header("Authorization"), "Basic am9lOnMzY3JldA==");
        EXPECT_EQ(seen.back().Header("User-Agent"), "Quorvane/" QV_VERSION);

        // The same addresses are never sent again once taken: no "nochg" is provoked.
        fwd.DynDnsForward(QStringLiteral("192.0.2.1"), c.second, false);
        EXPECT_EQ(sends(), c.outcome == ForwardOutcome::kTaken ? 1u : 2u - (c.next != Next::kSent));

        const size_t held = sends();
        fwd.DynDnsForward(QStringLiteral("192.0.2.2"), c.second, false);
        EXPECT_EQ(sends(), held + (c.next == Next::kSent));
        if (c.next == Next::kHeldUntilChanged) {
            EXPECT_TRUE(host.Lines().last().startsWith(
                LoadString(Text::DynDnsStopped).arg(QString()).left(40)));
            fwd.DynDnsForward(QStringLiteral("192.0.2.2"), c.second, true);  // by hand
            EXPECT_EQ(sends(), held + 1);
            s.DynDnsPassword = QStringLiteral("new");
            fwd.DynDnsForward(QStringLiteral("192.0.2.3"), c.second, false);
            EXPECT_EQ(sends(), held + 2);
        }
        if (c.next == Next::kHeldHalfAnHour) {
            clock.now = clock.now.addSecs(29 * 60);
            fwd.DynDnsForward(QStringLiteral("192.0.2.2"), c.second, true);
            EXPECT_EQ(sends(), held);
            clock.now = clock.now.addSecs(60);
            fwd.DynDnsForward(QStringLiteral("192.0.2.2"), c.second, false);
            EXPECT_EQ(sends(), held + 1);
        }
    }

    // The password goes with every update: plain http only to this machine.
    RecordingHost host;
    host.settings.DynDnsURL = QStringLiteral("http://192.0.2.9/nic/update");
    host.settings.DynDnsHosts = QStringLiteral("home.example.org");
    RecordedForwarder fwd(host, TestOptions());
    EXPECT_EQ(fwd.DynDnsForward(QStringLiteral("192.0.2.1"), {}, true),
              ForwardOutcome::kNothingToSend);
    EXPECT_EQ(host.Lines().last(), LoadString(Text::DynDnsInsecure) + kStamp);
}

}  // namespace
}  // namespace qv::test
