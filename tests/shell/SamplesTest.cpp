// The host-side samples under real web servers on loopback: the Python CGI script under lighttpd
// and the PHP page under PHP's built-in server. The program's forwarding request is played with
// the same method and headers that forwarding uses (POST, no body, data in the query string).
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const char* const kUser = "joe";
const char* const kPassword = "s3cret+x";  // a "+" that must stay a plus sign

struct Reply {
    int status = 0;
    QByteArray location;
    QByteArray body;
    QList<QByteArray> headers;
};

enum class Host { PythonCgi, Php };

class SampleHostTest : public ::testing::TestWithParam<Host> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QString samples = QStringLiteral(QV_SAMPLES_DIR);
        dataFile = dir.filePath("storeip.dat");
        QDir().mkpath(dir.filePath("www/cgi-bin"));
        if (GetParam() == Host::PythonCgi) {
            server = QStandardPaths::findExecutable("lighttpd", {"/usr/sbin", "/usr/bin"});
            if (server.isEmpty()) {
                GTEST_SKIP() << "lighttpd is not installed (scripts/install-deps.sh installs it)";
            }
            ASSERT_TRUE(
                QFile::copy(samples + "/storeip.py", dir.filePath("www/cgi-bin/storeip.py")));
            ASSERT_TRUE(QFile::copy(samples + "/echoip.py", dir.filePath("www/cgi-bin/echoip.py")));
            scriptPath = "/cgi-bin/storeip.py";
            echoPath = "/cgi-bin/echoip.py";
        } else {
            server = QStandardPaths::findExecutable("php", {"/usr/bin"});
            if (server.isEmpty()) {
                GTEST_SKIP() << "php is not installed (scripts/install-deps.sh installs php-cli)";
            }
            ASSERT_TRUE(QFile::copy(samples + "/StoreIP.php", dir.filePath("www/StoreIP.php")));
            ASSERT_TRUE(QFile::copy(samples + "/EchoIP.php", dir.filePath("www/EchoIP.php")));
            scriptPath = "/StoreIP.php";
            echoPath = "/EchoIP.php";
        }
        for (int attempt = 0; attempt < 3 && !StartServer(); ++attempt) {
        }
        ASSERT_TRUE(process && process->state() == QProcess::Running)
            << "the web server did not start: " << process->readAll().toStdString();
    }

    void TearDown() override {
        if (process) {
            process->terminate();
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
    }

    static quint16 FreePort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    bool StartServer() {
        port = FreePort();
        process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("STOREIP_USER_ID", kUser);
        env.insert("STOREIP_PASSWORD", kPassword);
        env.insert("STOREIP_DATA_FILE", dataFile);
        process->setProcessEnvironment(env);
        if (GetParam() == Host::PythonCgi) {
            QFile conf(dir.filePath("lighttpd.conf"));
            if (!conf.open(QIODevice::WriteOnly)) {
                return false;
            }
            conf.write(QStringLiteral("server.document-root = \"%1\"\n"
                                      "server.bind = \"127.0.0.1\"\n"
                                      "server.port = %2\n"
                                      "server.errorlog = \"%3\"\n"
                                      "server.modules = (\"mod_cgi\", \"mod_setenv\")\n"
                                      "cgi.assign = (\".py\" => \"/usr/bin/python3\")\n"
                                      "setenv.add-environment = (\"STOREIP_USER_ID\" => \"%4\", "
                                      "\"STOREIP_PASSWORD\" => \"%5\", "
                                      "\"STOREIP_DATA_FILE\" => \"%6\")\n")
                           .arg(dir.filePath("www"))
                           .arg(port)
                           .arg(dir.filePath("error.log"), kUser, kPassword, dataFile)
                           .toUtf8());
            conf.close();
            process->start(server, {"-D", "-f", conf.fileName()});
        } else {
            process->start(server, {"-n", "-S", QStringLiteral("127.0.0.1:%1").arg(port), "-t",
                                    dir.filePath("www")});
        }
        if (!process->waitForStarted(5000)) {
            return false;
        }
        for (int i = 0; i < 100 && process->state() == QProcess::Running; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(100)) {
                return true;
            }
            QThread::msleep(50);
        }
        return false;
    }

    // One request; redirects are not followed.
    Reply Send(const QByteArray& query, bool asProgram) {
        QUrl url(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(scriptPath));
        if (!query.isNull()) {
            url.setQuery(QString::fromLatin1(query), QUrl::TolerantMode);
        }
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply* reply;
        if (asProgram) {
            request.setRawHeader("Accept", "text/*");
            request.setRawHeader("User-Agent", "Calvort_Quorvane");
            request.setHeader(QNetworkRequest::ContentTypeHeader,
                              "application/x-www-form-urlencoded");
            reply = nam.post(request, QByteArray());
        } else {
            reply = nam.get(request);
        }
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        Reply r;
        r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        r.location = reply->rawHeader("Location");
        r.body = reply->readAll();
        r.headers = reply->rawHeaderList();
        reply->deleteLater();
        return r;
    }

    Reply Forward(const QByteArray& address, const QByteArray& extra = {}) {
        return Send("IPAddress=" + address + "&UserID=" + kUser + "&Password=" + kPassword + extra,
                    true);
    }
    Reply Visit() { return Send(QByteArray(), false); }

    QTemporaryDir dir;
    QString dataFile;
    QString server;
    QString scriptPath;
    QString echoPath;
    quint16 port = 0;
    std::unique_ptr<QProcess> process;
    QNetworkAccessManager nam;
};

TEST_P(SampleHostTest, VisitorIsSentToTheForwardedAddressUntilTheOffLineNotice) {
    Reply visit = Visit();
    EXPECT_EQ(visit.status, 200);
    EXPECT_TRUE(visit.location.isEmpty());
    EXPECT_TRUE(visit.body.contains("off line")) << visit.body.toStdString();

    // The start page as a user may type it, with backslashes and no leading slash.
    Reply forward = Forward("10.1.2.3", "&StartPage=Demo\\Default.htm");
    EXPECT_EQ(forward.status, 200) << forward.body.toStdString();
    visit = Visit();
    EXPECT_EQ(visit.status, 302);
    EXPECT_EQ(visit.location, "http://10.1.2.3/Demo/Default.htm");

    // The address changes: the next visitor follows it.
    EXPECT_EQ(Forward("10.1.2.4", "&StartPage=/index.html").status, 200);
    EXPECT_EQ(Visit().location, "http://10.1.2.4/index.html");
    // An IPv6 address is stored in its standard text and is the URL's host in brackets.
    EXPECT_EQ(Forward("2001:DB8:0:0::7", "&StartPage=/index.html").status, 200);
    EXPECT_EQ(Visit().location, "http://[2001:db8::7]/index.html");

    // The off-line notice: an empty address with the other pairs.
    forward = Forward("", "&StartPage=/index.html");
    EXPECT_EQ(forward.status, 200);
    visit = Visit();
    EXPECT_EQ(visit.status, 200);
    EXPECT_TRUE(visit.location.isEmpty());
    EXPECT_TRUE(visit.body.contains("off line"));
    EXPECT_FALSE(QFile::exists(dataFile));
}

TEST_P(SampleHostTest, UpdatesWithWrongCredentialsOrBadValuesChangeNothing) {
    ASSERT_EQ(Forward("192.0.2.10", "&StartPage=/").status, 200);

    EXPECT_EQ(Send("IPAddress=192.0.2.99&UserID=joe&Password=s3cret x", true).status, 403);
    EXPECT_EQ(Send("IPAddress=192.0.2.99&UserID=joe", true).status, 403);
    EXPECT_EQ(Send("IPAddress=&UserID=mallory&Password=s3cret+x", true).status, 403);
    EXPECT_EQ(Forward("192.0.2.99%0D%0ASet-Cookie:%20a=b").status, 400);
    for (const char* bad : {"999.1.2.3", "fe80::1%25eth0", "2001:db8::1::2", "2001:db8::1]"}) {
        EXPECT_EQ(Forward(bad).status, 400) << bad;
    }
    const Reply injected = Forward("192.0.2.99", "&StartPage=/x%0D%0ASet-Cookie:%20a=b");
    EXPECT_EQ(injected.status, 400);
    EXPECT_EQ(Forward("192.0.2.99", "&StartPage=/a%22onmouseover=x").status, 400);

    const Reply visit = Visit();
    EXPECT_EQ(visit.status, 302);
    EXPECT_EQ(visit.location, "http://192.0.2.10/");
    EXPECT_FALSE(visit.headers.contains("Set-Cookie"));
}

// The echo page replies with the caller's address alone, as plain text; a forged forwarding
// header changes nothing.
TEST_P(SampleHostTest, EchoPageRepliesWithTheCallersAddressOnly) {
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(echoPath)));
    request.setRawHeader("X-Forwarded-For", "203.0.113.66");
    QNetworkReply* reply = nam.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    EXPECT_TRUE(reply->header(QNetworkRequest::ContentTypeHeader)
                    .toString()
                    .startsWith(QLatin1String("text/plain")));
    EXPECT_EQ(reply->readAll().trimmed(), "127.0.0.1");
    reply->deleteLater();
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleHostTest, ::testing::Values(Host::PythonCgi, Host::Php),
                         [](const ::testing::TestParamInfo<Host>& info) {
                             return info.param == Host::PythonCgi ? std::string("PythonCgi")
                                                                  : std::string("Php");
                         });

}  // namespace
