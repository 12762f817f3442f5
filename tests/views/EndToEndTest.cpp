#include <gtest/gtest.h>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

#include "ViewsTestSupport.h"

namespace qv {
namespace {

const char* const kInNamespace = "QV_E2E_IN_NETNS";

QStringList UnshareArgs() {
    // root gets a network namespace of its own; anyone else a user namespace around it.
    return geteuid() == 0 ? QStringList{"-n"} : QStringList{"-r", "-n"};
}

bool Execute(const QString& program, const QStringList& args) {
    return QProcess::execute(program, args) == 0;
}

bool Ip(const QString& args) {
    return Execute("ip", args.split(' '));
}

// Answers every request with 200 and keeps the request lines.
class TinyHttpServer : public QTcpServer {
  public:
    QStringList requests;

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

// The program started with a stored selection on a veth interface; the interface's address is
// changed under it and must reach the list, the status text, the host and the log at once, from
// the kernel's announcement, long before the ten-minute polling period ends.
TEST(EndToEnd, AChangedAddressIsForwardedAtOnce) {
    if (!qEnvironmentVariableIsSet(kInNamespace)) {
        if (!Execute("unshare", UnshareArgs() + QStringList{"true"})) {
            GTEST_SKIP() << "private network namespaces are not allowed here (unshare -n failed)";
        }
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kInNamespace, "1");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start("unshare", UnshareArgs() + QStringList{QCoreApplication::applicationFilePath(),
                                                           "--gtest_filter=EndToEnd.*"});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(child.readAll());
        std::printf("%s", qPrintable(out));
        EXPECT_EQ(child.exitCode(), 0);
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << "the run inside the namespace failed";
        return;
    }

    // ---- Inside the private namespace ----
    ASSERT_TRUE(Ip("link set lo up"));
    ASSERT_TRUE(Ip("link add v0 type veth peer name v1"));
    ASSERT_TRUE(Ip("addr add 10.77.0.2/24 dev v0"));
    ASSERT_TRUE(Ip("link set v0 up"));
    ASSERT_TRUE(Ip("link set v1 up"));
    const int index = QNetworkInterface::interfaceIndexFromName("v0");
    ASSERT_GT(index, 0);
    const QString interfaceNum = QString::asprintf("0x%X", index);

    // The host: the connection check and the request both go to port 80 of the target's host.
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 80)) << qPrintable(server.errorString());

    QTemporaryDir home;
    QDir().mkpath(home.filePath("run"));
    QFile::setPermissions(home.filePath("run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString logFile = home.filePath("QuorvaneLog.txt");
    {
        QSettings st(home.filePath("config/Calvort/Quorvane.conf"), QSettings::IniFormat);
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
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("run"));  // a copy of the user's own runs apart
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QV_POLL_MINUTE_MS", "600000");
    env.insert("QT_LOGGING_RULES", "quorvane.pane.debug=true\nquorvane.list.debug=true");
    env.remove(kInNamespace);
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    QString trace;
    QObject::connect(&program, &QProcess::readyRead,
                     [&] { trace += QString::fromLocal8Bit(program.readAll()); });
    program.start(QStringLiteral(QV_PROGRAM_PATH), QStringList{});
    ASSERT_TRUE(program.waitForStarted());

    const auto forwarded = [&](const char* address) {
        return server.requests.filter(QStringLiteral("IPAddress=%1").arg(address)).size() > 0 &&
               ReadFile(logFile).contains(address);
    };
    // At start the stored selection is found and its address forwarded once.
    const bool first = test::WaitUntil([&] { return forwarded("10.77.0.2"); }, 30000);
    EXPECT_TRUE(first) << qPrintable(trace);

    ASSERT_TRUE(Ip("addr del 10.77.0.2/24 dev v0"));
    ASSERT_TRUE(Ip("addr add 10.77.0.9/24 dev v0"));
    const QString row = QStringLiteral("10.77.0.9 | %1 |").arg(interfaceNum);
    const QString status =
        QStringLiteral("Interface: %1: 'v0' with IP: 10.77.0.9 and Host ").arg(interfaceNum);
    const bool found = test::WaitUntil(
        [&] { return trace.contains(row) && trace.contains(status) && forwarded("10.77.0.9"); },
        15000);
    // The changed selection reaches the settings file shortly, before any shutdown.
    const bool stored = test::WaitUntil(
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

}  // namespace
}  // namespace qv
