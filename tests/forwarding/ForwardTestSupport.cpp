#include "ForwardTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdlib>
#include <memory>

namespace qv::test {
namespace {

// The transfers wait in a Qt event loop, so every test runs inside an application object.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        // Only loopback is ever contacted: no proxy in between.
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                 "ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY"}) {
            unsetenv(name);
        }
        setenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit().constData(), 1);
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "forwarding_tests";
            static char* argv[] = {name, nullptr};
            m_app = std::make_unique<QCoreApplication>(argc, argv);
        }
    }
    void TearDown() override { m_app.reset(); }

  private:
    QTemporaryDir m_config;
    std::unique_ptr<QCoreApplication> m_app;
};

::testing::Environment* const g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

ForwardSources RecordingHost::Sources() {
    return {settings, *this, [this] { return selectedIp; }, [this] { return secondIp; }, passwords};
}

void RecordingHost::Record(Forwarder& forwarder) {
    QObject::connect(&forwarder, &Forwarder::OutputLine,
                     [this](const QString& text, bool append, bool log) {
                         output.push_back({text, append, log});
                         if (onOutput) {
                             onOutput(text);
                         }
                     });
    QObject::connect(&forwarder, &Forwarder::OutputHeading,
                     [this](const QString& text) { headings << text; });
    QObject::connect(&forwarder, &Forwarder::PopupNotice,
                     [this](const QString& text, IPrompter::Icon icon, unsigned lifeMs) {
                         Notice(text, icon, lifeMs);
                     });
    QObject::connect(&forwarder, &Forwarder::StatusLine,
                     [this](const QString& text) { statusLine = text; });
    QObject::connect(
        &forwarder, &Forwarder::HostReplied,
        [this](const QString& caption, const QString& text) { ShowHostResponse(caption, text); });
    QObject::connect(&forwarder, &Forwarder::AutoForwardTurnedOff, [this] { ++generalFills; });
    QObject::connect(&forwarder, &Forwarder::BusyChanged, [this](bool busy) { busyCursor = busy; });
}

void RecordingHost::AskCredentials(const QString& server, const QString& realm,
                                   CredentialsAnswer answer) {
    credentialRequests << server + QLatin1Char('|') + realm;
    if (holdCredentials) {
        heldCredentials.push_back(std::move(answer));
        return;
    }
    if (credentialAnswers.empty()) {
        answer(std::nullopt);
        return;
    }
    const Credentials given = credentialAnswers.front();
    credentialAnswers.pop_front();
    answer(given);
}

QStringList RecordingHost::Lines() const {
    QStringList lines;
    for (const OutputLine& line : output) {
        lines << line.text;
    }
    return lines;
}

QStringList RecordingHost::LoggedLines() const {
    QStringList lines;
    for (const OutputLine& line : output) {
        if (line.log) {
            lines << line.text;
        }
    }
    return lines;
}

QStringList RecordingHost::NoticeTexts() const {
    QStringList texts;
    for (const test::Notice& n : notices) {
        texts << n.text;
    }
    return texts;
}

int ScriptedPrompter::MessageBox(const QString& text, const QString&, Buttons buttons, Icon icon) {
    asked.push_back({text, buttons, icon});
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons == YesNo || buttons == YesNoCancel ? AnswerNo : AnswerOk;
}

QStringList ScriptedPrompter::Texts() const {
    QStringList texts;
    for (const Asked& a : asked) {
        texts << a.text;
    }
    return texts;
}

LoopbackHttpServer::LoopbackHttpServer(const std::string& addr, const std::string& certFile,
                                       const std::string& keyFile)
    : address(addr) {
    if (certFile.empty()) {
        m_server = std::make_unique<httplib::Server>();
    } else {
        m_server = std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str());
    }
    m_server->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back({req.method, req.target, req.headers});
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    Release();
    m_server->stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void LoopbackHttpServer::Start() {
    port = m_server->bind_to_any_port(address);
    ASSERT_GT(port, 0) << "no free port on " << address;
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() is lost on a server whose loop has not begun yet: wait for it.
    while (!m_server->is_running()) {
        std::this_thread::yield();
    }
}

std::vector<LoopbackHttpServer::Seen> LoopbackHttpServer::Requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::string LoopbackHttpServer::Url(const std::string& path) const {
    return "http://" + address + ":" + std::to_string(port) + path;
}

std::vector<std::string> Targets(LoopbackHttpServer& server) {
    std::vector<std::string> targets;
    for (const auto& seen : server.Requests()) {
        targets.push_back(seen.target);
    }
    return targets;
}

void LoopbackHttpServer::WaitForRelease() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_released.wait(lock, [this] { return m_wasReleased; });
}

void LoopbackHttpServer::Release() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wasReleased = true;
    }
    m_released.notify_all();
}

std::string LoopbackHttpServer::Seen::Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

LoopbackFtpServer::LoopbackFtpServer(const QStringList& options) {
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFile::exists(python)) {
        why = QStringLiteral("/usr/bin/python3 is missing");
        return;
    }
    m_process.setProgram(python);
    m_process.setArguments(QStringList{QStringLiteral(QV_FTP_SERVER_SCRIPT), m_root.path()} +
                           options);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        why = QStringLiteral("the FTP server did not start");
        return;
    }
    // It prints its port once it listens.
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(10000)) {
            why = QStringLiteral(
                      "the FTP server did not report its port (is python3-pyftpdlib "
                      "installed?): ") +
                  QString::fromLocal8Bit(m_process.readAllStandardError());
            return;
        }
    }
    port = static_cast<quint16>(m_process.readLine().trimmed().toUInt());
}

LoopbackFtpServer::~LoopbackFtpServer() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString LoopbackFtpServer::Url(const QString& path) const {
    return QStringLiteral("ftp://127.0.0.1:%1%2").arg(port).arg(path);
}

QStringList LoopbackFtpServer::Commands() {
    while (m_process.waitForReadyRead(200)) {
    }
    m_commands +=
        QString::fromLatin1(m_process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return m_commands;
}

QByteArray LoopbackFtpServer::Bytes(const QString& relative) const {
    QFile f(Path(relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool LoopbackFtpServer::Exists(const QString& relative) const {
    return QFile::exists(Path(relative));
}

QStringList LoopbackFtpServer::Entries(const QString& folder) const {
    return QDir(Path(folder)).entryList(QDir::Files | QDir::Hidden);
}

TestCertificate::TestCertificate(const QString& folder, const QString& subjectAltName, int days) {
    static int made = 0;
    const QString base = folder + QStringLiteral("/%1-").arg(++made);
    const QString certPath = base + "cert.pem";
    const QString keyPath = base + "key.pem";
    QFile extensions(base + "ext.cnf");
    if (!extensions.open(QIODevice::WriteOnly)) {
        return;
    }
    extensions.write(
        "basicConstraints=critical,CA:TRUE\nsubjectAltName=" + subjectAltName.toUtf8() + "\n");
    extensions.close();
    auto run = [](const QStringList& args) {
        QProcess openssl;
        openssl.start("openssl", args);
        return openssl.waitForFinished(20000) && openssl.exitStatus() == QProcess::NormalExit &&
               openssl.exitCode() == 0;
    };
    // `openssl req -x509` takes no negative validity: a request, then signed by its own key.
    if (run({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-subj", "/CN=" + subjectAltName.mid(subjectAltName.indexOf(':') + 1), "-keyout",
             keyPath, "-out", base + "req.pem"}) &&
        run({"x509", "-req", "-in", base + "req.pem", "-signkey", keyPath, "-days",
             QString::number(days), "-extfile", extensions.fileName(), "-out", certPath})) {
        cert = certPath.toStdString();
        key = keyPath.toStdString();
    }
}

int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

TransferLimits TestLimits() {
    TransferLimits limits;
    limits.connect = std::chrono::milliseconds(3000);
    limits.total = std::chrono::milliseconds(10000);
    limits.accept = std::chrono::milliseconds(3000);
    return limits;
}

ForwarderOptions TestOptions() {
    static FixedClock clock;
    ForwarderOptions options;
    options.limits = TestLimits();
    options.clock = &clock;
    return options;
}

void RunFromEventLoop(const Forwarder& forwarder, const std::function<void()>& command) {
    QEventLoop loop;
    QTimer idle;
    idle.setInterval(5);
    QObject::connect(&idle, &QTimer::timeout, &loop, [&] {
        if (!forwarder.IsBusy()) {
            loop.quit();
        }
    });
    QTimer::singleShot(0, &loop, [&] {
        command();
        idle.start();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace qv::test
