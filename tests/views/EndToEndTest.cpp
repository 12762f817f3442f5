#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

#include "ViewsTestSupport.h"
#include "resources/Ids.h"
#include "shell/Application.h"
#include "shell/MainWindow.h"
#include "tests/network/PrivateNamespaces.h"
#include "views/ControlPane.h"

namespace qv {
namespace {

bool Execute(const QString& program, const QStringList& args) {
    return QProcess::execute(program, args) == 0;
}

bool Ip(const QString& args) {
    return Execute("ip", args.split(' '));
}

// Answers every request with 200 (500 while `failures` are left, never when `silent`) and keeps
// the request lines.
class TinyHttpServer : public QTcpServer {
  public:
    QStringList requests;
    bool silent = false;
    int failures = 0;

  protected:
    void incomingConnection(qintptr handle) override {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(handle);
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
            *received += socket->readAll();
            if (!received->contains("\r\n\r\n")) {
                return;
            }
            requests << QString::fromLatin1(received->left(received->indexOf("\r\n")));
            received->clear();
            if (silent) {
                return;
            }
            if (failures > 0) {
                --failures;
                socket->write(
                    "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n"
                    "Connection: close\r\n\r\n");
                socket->disconnectFromHost();
                return;
            }
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 11\r\n"
                "Connection: close\r\n\r\n<p>done</p>");
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
};

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Inside the namespace: loopback up and a veth link v0 with 10.77.0.2; returns the interface
// number as the settings store it.
QString MakeLink() {
    EXPECT_TRUE(Ip("link set lo up"));
    EXPECT_TRUE(Ip("link add v0 type veth peer name v1"));
    EXPECT_TRUE(Ip("addr add 10.77.0.2/24 dev v0"));
    EXPECT_TRUE(Ip("link set v0 up"));
    EXPECT_TRUE(Ip("link set v1 up"));
    const int index = QNetworkInterface::interfaceIndexFromName("v0");
    EXPECT_GT(index, 0);
    return QString::asprintf("0x%X", index);
}

// The real program with its own settings, data and runtime folders under `home`, and everything
// it prints collected in `trace`.
void StartProgram(QProcess& program, const QTemporaryDir& home, QString& trace,
                  int pollMinuteMs = 1500,
                  const QStringList& command = {QStringLiteral(QV_PROGRAM_PATH)}) {
    QDir().mkpath(home.filePath("run"));
    QFile::setPermissions(home.filePath("run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("run"));  // a copy of the user's own runs apart
    env.insert("XDG_STATE_HOME", home.filePath("state"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QV_POLL_MINUTE_MS", QString::number(pollMinuteMs));
    env.insert("QT_LOGGING_RULES", "quorvane.pane.debug=true\nquorvane.list.debug=true");
    env.remove(test::kChildVariable);
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&program, &QProcess::readyRead,
                     [&] { trace += QString::fromLocal8Bit(program.readAll()); });
    program.start(command.first(), command.mid(1));
    EXPECT_TRUE(program.waitForStarted());
}

QString SettingsPath(const QTemporaryDir& home) {
    return home.filePath("config/Calvort/Quorvane.conf");
}

// The program started with a stored selection on a veth interface; the interface's address is
// changed under it and must reach the list, the status text, the host and the log at once, from
// the kernel's announcement, long before the ten-minute polling period ends.
TEST(EndToEnd, AChangedAddressIsForwardedAtOnce) {
    bool inside = false;
    test::RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    const QString interfaceNum = MakeLink();

    // The host: the connection check and the request both go to port 80 of the target's host.
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 80)) << qPrintable(server.errorString());

    QTemporaryDir home;
    const QString logFile = home.filePath("QuorvaneLog.txt");
    {
        QSettings st(SettingsPath(home), QSettings::IniFormat);
        // Polling, automatic forwarding by HTTP, no notices, logging on.
        st.setValue("Settings/EnableFlags", "0 1 1 1 0 1 1 1 0 1 0 0 1");
        st.setValue("Settings/CheckTime", 1);
        st.setValue("Settings/HTTPTargetURL", "http://127.0.0.1/ip.php");
        st.setValue("Settings/LoggingFile", logFile);
        st.setValue("Data/InterfaceNum", interfaceNum);
        st.setValue("Data/NICDescription", "v0");
        st.setValue("Data/HostName", "");
    }

    QProcess program;
    QString trace;
    StartProgram(program, home, trace, 600000);

    const auto forwarded = [&](const char* address) {
        return server.requests.filter(QStringLiteral("IPAddress=%1").arg(address)).size() > 0 &&
               ReadFile(logFile).contains(address);
    };
    // At start the stored selection is found and its address forwarded once.
    const bool first = test::WaitFor([&] { return forwarded("10.77.0.2"); }, 30000);
    EXPECT_TRUE(first) << qPrintable(trace);

    ASSERT_TRUE(Ip("addr del 10.77.0.2/24 dev v0"));
    ASSERT_TRUE(Ip("addr add 10.77.0.9/24 dev v0"));
    const QString row = QStringLiteral("10.77.0.9 | %1 |").arg(interfaceNum);
    const QString status =
        QStringLiteral("Interface: %1: 'v0' with IP: 10.77.0.9 and Host ").arg(interfaceNum);
    const bool found = test::WaitFor(
        [&] { return trace.contains(row) && trace.contains(status) && forwarded("10.77.0.9"); },
        15000);
    // The changed selection reaches the settings file shortly, before any shutdown.
    const bool stored = test::WaitFor(
        [&] {
            QSettings st(home.filePath("config/Calvort/Quorvane.conf"), QSettings::IniFormat);
            return st.value("Data/IPAddress").toString() == "10.77.0.9";
        },
        15000);
    program.terminate();
    if (!program.waitForFinished(10000)) {
        program.kill();
        program.waitForFinished(5000);
    }
    trace += QString::fromLocal8Bit(program.readAll());

    EXPECT_TRUE(found) << qPrintable(trace);
    EXPECT_TRUE(stored) << "the new address was not stored while the program ran";
    EXPECT_TRUE(trace.contains(row)) << "the list did not show the new address";
    EXPECT_TRUE(trace.contains(status)) << "the status text did not name the new address";
    EXPECT_TRUE(ReadFile(logFile).contains("10.77.0.9")) << "the log did not get the new address";
    // Exactly one forwarding per address: the start and the change.
    EXPECT_EQ(server.requests.filter("IPAddress=").size(), 2)
        << qPrintable(server.requests.join('\n'));
}

// SIGTERM while the first forwarding hangs, on a web host that never answers or an FTP server
// that never connects back: the exchange is cancelled, the owed off-line notice still goes out
// (the FTP server's control connection answers), and the program ends well within 10 s.
TEST(EndToEnd, TerminationDuringAHangingForwardingEndsQuickly) {
    bool inside = false;
    test::RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    const QString interfaceNum = MakeLink();
    TinyHttpServer web;
    web.silent = true;
    ASSERT_TRUE(web.listen(QHostAddress::LocalHost, 0)) << qPrintable(web.errorString());
    QTemporaryDir ftpRoot;
    QProcess ftp;
    ftp.start("/usr/bin/python3", {QStringLiteral(QV_FTP_SERVER_SCRIPT), ftpRoot.path()});
    ASSERT_TRUE(ftp.waitForStarted());
    ASSERT_TRUE(ftp.waitForReadyRead(10000)) << "is python3-pyftpdlib installed?";
    const QString ftpPort = QString::fromLatin1(ftp.readLine().trimmed());

    for (const bool http : {true, false}) {
        SCOPED_TRACE(http ? "web host" : "FTP server");
        QTemporaryDir home;
        const QString page = home.filePath("home.htm");
        for (const QString& path : {page, ftpRoot.filePath("home.htm")}) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("<a href=\"http://IPHERE\">");
        }
        {
            QSettings st(SettingsPath(home), QSettings::IniFormat);
            // Automatic forwarding with notices; the FTP off-line action removes the page.
            st.setValue("Settings/EnableFlags",
                        http ? "0 1 1 1 1 0 0 0 0 0 1 0 0" : "0 1 1 0 1 0 0 0 0 0 1 1 0");
            st.setValue("Settings/CheckTime", 60);
            st.setValue("Settings/HTTPTargetURL",
                        QStringLiteral("http://127.0.0.1:%1/ip.php").arg(web.serverPort()));
            st.setValue("Settings/FTPTargetURL", "ftp://127.0.0.1:" + ftpPort + "/");
            st.setValue("Settings/FTPUserID", "silent");
            st.setValue("Settings/FTPPassword", "secret");
            st.setValue("Settings/FTPForwardWebPage", page);
            st.setValue("Settings/FTPReplacementString", "IPHERE");
            st.setValue("Data/InterfaceNum", interfaceNum);
            st.setValue("Data/NICDescription", "v0");
            st.setValue("Data/HostName", "");
        }
        QProcess program;
        QString trace;
        StartProgram(program, home, trace);
        // The exchange has connected and now waits for the host.
        const QString connected = QStringLiteral("Connection to Internet was successful!");
        ASSERT_TRUE(test::WaitFor([&] { return trace.contains(connected); }, 30000))
            << qPrintable(trace);
        test::RunEventsFor(300);

        QElapsedTimer clock;
        clock.start();
        program.terminate();
        const bool ended =
            test::WaitFor([&] { return program.state() == QProcess::NotRunning; }, 10000);
        const qint64 elapsed = clock.elapsed();
        std::printf("%s: from SIGTERM to exit %lld ms\n", http ? "web host" : "FTP server",
                    static_cast<long long>(elapsed));
        if (!ended) {
            program.kill();
            program.waitForFinished(5000);
        }
        EXPECT_TRUE(ended) << "still running 10 s after SIGTERM\n" << qPrintable(trace);
        EXPECT_LT(elapsed, 10000);
        if (http) {
            EXPECT_EQ(web.requests.filter("?IPAddress= HTTP").size(), 1)
                << qPrintable(web.requests.join('\n'));
        } else {
            EXPECT_FALSE(QFile::exists(ftpRoot.filePath("home.htm"))) << qPrintable(trace);
        }
    }
    ftp.kill();
    ftp.waitForFinished(5000);
}

// `quorvane-cli watch` with the same settings: a first forward that fails is tried again after 30 s
// (3 s here); a burst of changes of the ticked address is forwarded once, with the final address,
// long before the polling period ends; a second copy is refused; SIGTERM sends the off-line notice
// and ends the watcher with status 0.
TEST(EndToEnd, TheHeadlessWatcherForwardsEachChangeOnceAndEndsWithItsNotice) {
    bool inside = false;
    test::RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    const QString interfaceNum = MakeLink();
    // Deleting the old address keeps the new one added beside it.
    ASSERT_TRUE(Execute("sysctl", {"-qw", "net.ipv4.conf.v0.promote_secondaries=1"}));
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 80)) << qPrintable(server.errorString());
    QTemporaryDir home;
    {
        QSettings st(SettingsPath(home), QSettings::IniFormat);
        st.setValue("Settings/EnableFlags", "0 1 1 1 0 1 1 1 0 1 0 0 0");
        st.setValue("Settings/CheckTime", 100);
        st.setValue("Settings/HTTPTargetURL", "http://127.0.0.1/ip.php");
        st.setValue("Data/InterfaceNum", interfaceNum);
        st.setValue("Data/NICDescription", "v0");
        st.setValue("Data/HostName", "");
    }
    const QStringList watch{QStringLiteral(QV_CLI_PATH), "watch"};
    // The service manager's notification socket, as a Type=notify unit gets it.
    const int notify = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un notifyAddress{};
    notifyAddress.sun_family = AF_UNIX;
    const QByteArray notifyPath = QFile::encodeName(home.filePath("notify"));
    std::strncpy(notifyAddress.sun_path, notifyPath.constData(), sizeof notifyAddress.sun_path - 1);
    ASSERT_EQ(bind(notify, reinterpret_cast<sockaddr*>(&notifyAddress), sizeof notifyAddress), 0);
    qputenv("NOTIFY_SOCKET", notifyPath);
    QProcess watcher;
    QString trace;
    server.failures = 1;
    StartProgram(watcher, home, trace, 6000, watch);
    qunsetenv("NOTIFY_SOCKET");
    const auto sent = [&](const QString& address) {
        return server.requests
            .filter(
                QRegularExpression("[?&]IPAddress=" + QRegularExpression::escape(address) + "[& ]"))
            .size();
    };
    ASSERT_TRUE(test::WaitFor([&] { return sent("10.77.0.2") == 2; }, 30000)) << qPrintable(trace);
    EXPECT_TRUE(trace.contains("Next try in 30 seconds")) << qPrintable(trace);
    char ready[64] = {};
    EXPECT_GT(recv(notify, ready, sizeof ready - 1, MSG_DONTWAIT), 0) << "no READY=1";
    EXPECT_STREQ(ready, "READY=1");
    close(notify);
    // The transfers run in the watcher itself: it starts no other process.
    EXPECT_FALSE(Execute("pgrep", {"-P", QString::number(watcher.processId())}));
    EXPECT_TRUE(QRegularExpression("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\S* ")
                    .match(trace)
                    .hasMatch())
        << "no time-stamped line:\n"
        << qPrintable(trace);

    QProcess second;
    QString secondTrace;
    StartProgram(second, home, secondTrace, 6000, watch);
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 3) << qPrintable(secondTrace);

    for (const char* step : {"add 10.77.0.5/24", "del 10.77.0.2/24", "add 10.77.0.6/24",
                             "del 10.77.0.5/24", "add 10.77.0.7/24", "del 10.77.0.6/24"}) {
        ASSERT_TRUE(Ip(QStringLiteral("addr %1 dev v0").arg(step)));
    }
    EXPECT_TRUE(test::WaitFor([&] { return sent("10.77.0.7") == 1; }, 10000)) << qPrintable(trace);
    test::RunEventsFor(1000);
    EXPECT_EQ(sent("10.77.0.5") + sent("10.77.0.6"), 0) << qPrintable(server.requests.join('\n'));
    // Noted for a later one-shot check, until the off-line notice at the end.
    EXPECT_TRUE(
        ReadFile(home.filePath("state/Calvort/Quorvane-forwarded.conf")).contains("10.77.0.7"));

    watcher.terminate();
    EXPECT_TRUE(test::WaitFor([&] { return watcher.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(watcher.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watcher.exitCode(), 0) << qPrintable(trace);
    EXPECT_EQ(sent(""), 1) << qPrintable(server.requests.join('\n'));
    EXPECT_EQ(server.requests.filter("IPAddress=").size(), 4);

    // One check at a time, as a timer runs it: a forward only when the address differs from the
    // last one the target took, remembered from run to run; a failure is status 1 and is tried
    // at the next run.
    const auto once = [&] {
        QProcess check;
        QString checkTrace;
        StartProgram(check, home, checkTrace, 6000, watch + QStringList{"--once"});
        EXPECT_TRUE(test::WaitFor([&] { return check.state() == QProcess::NotRunning; }, 20000));
        return check.exitCode();
    };
    EXPECT_EQ(once(), 0);
    EXPECT_EQ(once(), 0);
    EXPECT_EQ(sent("10.77.0.7"), 2) << qPrintable(server.requests.join('\n'));
    // The settings check finds all of it ready, the host's answer included.
    QProcess check;
    QString report;
    StartProgram(check, home, report, 6000, {QStringLiteral(QV_CLI_PATH), "check", "--probe"});
    EXPECT_TRUE(test::WaitFor([&] { return check.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(check.exitCode(), 0) << qPrintable(report);
    EXPECT_TRUE(report.contains("ticked: 10.77.0.7 on v0 (present)")) << qPrintable(report);
    EXPECT_TRUE(
        report.contains("watching: checking for changes on, forwarding them automatically on"))
        << qPrintable(report);
    EXPECT_TRUE(report.contains("connection: the target's host answers")) << qPrintable(report);
    ASSERT_TRUE(Ip("addr add 10.77.0.8/24 dev v0"));
    ASSERT_TRUE(Ip("addr del 10.77.0.7/24 dev v0"));
    server.failures = 1;
    EXPECT_EQ(once(), 1);
    EXPECT_EQ(once(), 0);
    EXPECT_EQ(once(), 0);
    EXPECT_EQ(sent("10.77.0.8"), 2) << qPrintable(server.requests.join('\n'));
}

// `quorvane-cli watch` offered on a private session bus: `status` reads its state, and the
// window started beside it attaches to it: a change the watcher forwards shows in the window's
// output box, the window reads the settings again when the watcher writes the file, "Send Now"
// in the window reaches the host through the watcher, and the window's shutdown leaves the
// watcher forwarding, with no off-line notice of its own and the settings file as it was. A
// window attached when the watcher stops takes over: it forwards the next change itself.
TEST(EndToEnd, TheWindowAttachesToTheRunningWatcher) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    bool inside = false;
    test::RunInPrivateNamespaces(&inside);
    if (!inside) {
        return;
    }
    const QString interfaceNum = MakeLink();
    ASSERT_TRUE(Execute("sysctl", {"-qw", "net.ipv4.conf.v0.promote_secondaries=1"}));
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 80)) << qPrintable(server.errorString());
    const auto sent = [&](const QString& address) {
        return server.requests
            .filter(
                QRegularExpression("[?&]IPAddress=" + QRegularExpression::escape(address) + "[& ]"))
            .size();
    };
    QTemporaryDir home;
    {
        QSettings st(SettingsPath(home), QSettings::IniFormat);
        st.setValue("Settings/EnableFlags", "0 1 1 1 0 1 1 1 0 1 0 0 0");
        st.setValue("Settings/CheckTime", 100);
        st.setValue("Settings/AskRouter", 0);
        st.setValue("Settings/HTTPTargetURL", "http://127.0.0.1/ip.php");
        st.setValue("Data/InterfaceNum", interfaceNum);
        st.setValue("Data/NICDescription", "v0");
    }
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1",
                              "--address=unix:path=" + home.filePath("bus")});
    ASSERT_TRUE(bus.waitForReadyRead(10000));
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());

    QProcess watcher;
    QString trace;
    StartProgram(watcher, home, trace, 6000, {QStringLiteral(QV_CLI_PATH), "watch"});
    ASSERT_TRUE(test::WaitFor([&] { return sent("10.77.0.2") == 1; }, 20000)) << qPrintable(trace);
    QProcess status;
    QString report;
    StartProgram(status, home, report, 6000, {QStringLiteral(QV_CLI_PATH), "status", "--json"});
    ASSERT_TRUE(test::WaitFor([&] { return status.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(status.exitCode(), 0) << qPrintable(report);
    const QJsonObject state = QJsonDocument::fromJson(report.toUtf8()).object();
    EXPECT_EQ(state["ticked"].toArray().first().toString(), "10.77.0.2") << qPrintable(report);
    EXPECT_EQ(state["lastForwarded"]["HTTP http://127.0.0.1/ip.php"]["address"], "10.77.0.2")
        << qPrintable(report);

    // The window, started while the watcher holds the lock, attaches to it.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    Application::Options options;
    options.instanceFolder = home.filePath("run");
    options.messageBoxes = false;
    auto app = std::make_unique<Application>(options);
    ASSERT_TRUE(app->InitInstance());
    ControlPane* pane = app->Frame()->CtrlView();
    ASSERT_TRUE(pane->IsAttached());
    EXPECT_TRUE(test::WaitFor(
        [&] {
            return pane->StatusLineText().startsWith(
                "Attached to the running quorvane-cli watch (idle)");
        },
        10000))
        << qPrintable(pane->StatusLineText());

    const auto setCheckTime = [&](int minutes) {
        QSettings st(SettingsPath(home), QSettings::IniFormat);
        st.setValue("Settings/CheckTime", minutes);
    };
    setCheckTime(7);  // another program's edit, read again once the watcher writes the file
    ASSERT_TRUE(Ip("addr add 10.77.0.5/24 dev v0"));
    ASSERT_TRUE(Ip("addr del 10.77.0.2/24 dev v0"));
    ASSERT_TRUE(test::WaitFor([&] { return sent("10.77.0.5") == 1; }, 10000)) << qPrintable(trace);
    EXPECT_TRUE(test::WaitFor(
        [&] { return pane->OutputText().contains("IP Address sent was:  '10.77.0.5'"); }, 5000))
        << qPrintable(pane->OutputText());
    EXPECT_TRUE(test::WaitFor([&] { return pane->Settings().CheckTime == 7; }, 10000));
    app->Frame()->OnCommand(kCmdTrayManualSend);
    EXPECT_TRUE(test::WaitFor([&] { return sent("10.77.0.5") == 2; }, 10000))
        << qPrintable(server.requests.join('\n'));

    setCheckTime(9);
    app->Frame()->ExitProgram();
    app->ExitInstance(0);
    app.reset();
    EXPECT_EQ(QSettings(SettingsPath(home), QSettings::IniFormat).value("Settings/CheckTime"), 9);
    ASSERT_TRUE(Ip("addr add 10.77.0.6/24 dev v0"));
    ASSERT_TRUE(Ip("addr del 10.77.0.5/24 dev v0"));
    EXPECT_TRUE(test::WaitFor([&] { return sent("10.77.0.6") == 1; }, 10000)) << qPrintable(trace);
    EXPECT_EQ(sent(""), 0) << qPrintable(server.requests.join('\n'));

    app = std::make_unique<Application>(options);
    ASSERT_TRUE(app->InitInstance());
    pane = app->Frame()->CtrlView();
    ASSERT_TRUE(pane->IsAttached());
    watcher.terminate();
    EXPECT_TRUE(test::WaitFor([&] { return watcher.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(watcher.exitCode(), 0) << qPrintable(trace);
    EXPECT_EQ(sent(""), 1);
    EXPECT_TRUE(test::WaitFor(
        [&] { return pane->StatusLineText().startsWith("Watching here since"); }, 10000))
        << qPrintable(pane->StatusLineText());
    EXPECT_FALSE(pane->IsAttached());
    EXPECT_TRUE(pane->OutputText().contains("this window watches and forwards"))
        << qPrintable(pane->OutputText());
    ASSERT_TRUE(Ip("addr add 10.77.0.7/24 dev v0"));
    ASSERT_TRUE(Ip("addr del 10.77.0.6/24 dev v0"));
    EXPECT_TRUE(test::WaitFor([&] { return sent("10.77.0.7") == 1; }, 10000))
        << qPrintable(pane->OutputText());
    app->Frame()->ExitProgram();
    app->ExitInstance(0);
    app.reset();
    bus.kill();
    bus.waitForFinished(5000);
}

}  // namespace
}  // namespace qv
