#pragma once

#include <httplib.h>

#include <QDateTime>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "forwarding/Forwarder.h"
#include "forwarding/UserQuestions.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace qv::test {

// "  Dec 06, 2026,  06:16:07 AM"
class FixedClock : public IClock {
  public:
    QDateTime Now() const override { return QDateTime(QDate(2026, 12, 6), QTime(6, 16, 7)); }
};
inline const QString kStamp = QStringLiteral("  Dec 06, 2026,  06:16:07 AM");

struct OutputLine {
    QString text;
    bool append;
    bool log;
};

struct Notice {
    QString text;
    IPrompter::Icon icon;
    unsigned life;
};

// What the forwarder reads and whom it asks, recording what it says and asks. Its questions go
// to the process's prompter.
class RecordingHost : public UserQuestions {
  public:
    ForwardSources Sources();
    // Records what `forwarder` says.
    void Record(Forwarder& forwarder);

    void Ask(const QString& text, const QString& caption, IPrompter::Buttons buttons,
             IPrompter::Icon icon, std::function<void(int)> answer) override {
        Prompter().Open(text, caption, buttons, icon, std::move(answer));
    }
    void Notice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) override {
        notices.push_back({text, icon, lifeMs});
    }
    void ShowHostResponse(const QString& caption, const QString& text) override {
        responses.push_back({caption, text});
    }
    // Answers at once from `credentialAnswers`, or keeps the question in `heldCredentials`.
    void AskCredentials(const QString& server, const QString& realm,
                        CredentialsAnswer answer) override;
    bool IsShown() const override { return paneVisible; }

    // The texts of the output lines, in order.
    QStringList Lines() const;
    // The lines written with the log flag.
    QStringList LoggedLines() const;
    QStringList NoticeTexts() const;

    SettingsRecord settings;
    PasswordStore* passwords = nullptr;
    QString selectedIp = QStringLiteral("192.168.1.20");
    QString secondIp;
    std::vector<OutputLine> output;
    QStringList headings;
    std::vector<test::Notice> notices;
    QString statusLine;
    struct Response {
        QString caption;
        QString text;
    };
    std::vector<Response> responses;
    std::deque<Credentials> credentialAnswers;  // given in turn; when none is left: refuse
    QStringList credentialRequests;             // "server|realm"
    bool holdCredentials = false;               // the user takes their time
    std::vector<CredentialsAnswer> heldCredentials;
    bool paneVisible = true;
    int generalFills = 0;
    bool busyCursor = false;
    std::function<void(const QString&)> onOutput;  // runs after each line is recorded
};

// A forwarder whose host records.
class RecordedForwarder : public Forwarder {
  public:
    RecordedForwarder(RecordingHost& host, ForwarderOptions options = {})
        : Forwarder(host.Sources(), std::move(options)) {
        host.Record(*this);
    }
};

// Answers message boxes from a script and records the questions. Without a scripted answer:
// OK, or No for a Yes/No question.
class ScriptedPrompter : public IPrompter {
  public:
    ScriptedPrompter() { SetPrompter(this); }
    ~ScriptedPrompter() override { SetPrompter(nullptr); }
    int MessageBox(const QString& text, const QString& caption, Buttons buttons,
                   Icon icon) override;

    struct Asked {
        QString text;
        Buttons buttons;
        Icon icon;
    };
    std::vector<Asked> asked;
    std::deque<int> answers;
    QStringList Texts() const;
};

// An HTTP server on a loopback address and a free port, recording the requests it gets. Given a
// certificate and key (PEM files) it speaks HTTPS.
class LoopbackHttpServer {
  public:
    explicit LoopbackHttpServer(const std::string& address = "127.0.0.1",
                                const std::string& certFile = {}, const std::string& keyFile = {});
    ~LoopbackHttpServer();

    struct Seen {
        std::string method;
        std::string target;
        httplib::Headers headers;
        std::string Header(const std::string& name) const;
        bool HasHeader(const std::string& name) const { return headers.count(name) != 0; }
    };

    httplib::Server& server() { return *m_server; }
    void Start();  // after the handlers are set
    std::vector<Seen> Requests();
    std::string Url(const std::string& path = "/") const;

    // Makes a handler wait until Release (or the end of the test).
    void WaitForRelease();
    void Release();

    int port = 0;
    std::string address;

  private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_wasReleased = false;
    std::vector<Seen> m_requests;
};

// The request targets (path and query) that `server` has been sent, in order.
std::vector<std::string> Targets(LoopbackHttpServer& server);

// pyftpdlib on 127.0.0.1 with a temporary root (see ftp_server.py for its accounts).
class LoopbackFtpServer {
  public:
    // `options` go to ftp_server.py (e.g. "--tls", cert, key).
    explicit LoopbackFtpServer(const QStringList& options = {});
    ~LoopbackFtpServer();

    bool Started() const { return port != 0; }
    QString Url(const QString& path) const;
    QString Path(const QString& relative) const {
        return m_root.path() + QLatin1Char('/') + relative;
    }
    QByteArray Bytes(const QString& relative) const;
    bool Exists(const QString& relative) const;
    QStringList Entries(const QString& folder) const;  // hidden ones included
    // The commands the server has received so far, in order (their names only).
    QStringList Commands();

    quint16 port = 0;
    QString why;  // why it did not start

  private:
    QTemporaryDir m_root;
    QProcess m_process;
    QStringList m_commands;
};

// A self-signed certificate and its key, made with the openssl tool: for `subjectAltName`, valid
// from now for `days` (expired when negative).
struct TestCertificate {
    explicit TestCertificate(const QString& folder,
                             const QString& subjectAltName = QStringLiteral("IP:127.0.0.1"),
                             int days = 1);
    bool Made() const { return !cert.empty(); }
    std::string cert;
    std::string key;
};

// A loopback port on which nothing listens.
int ClosedPort();

// Short bounds for the tests; connecting to loopback is immediate.
TransferLimits TestLimits();

// A forwarder on the recording host with the fixed clock and the test limits; the connection
// check reads the stored target URLs from `stored`.
ForwarderOptions TestOptions();

// Calls `command` from a running event loop, as the program's commands come, and serves events
// until the forwarder is idle again (at most 30 s): its exchanges then run on the event loop.
void RunFromEventLoop(const Forwarder& forwarder, const std::function<void()>& command);

}  // namespace qv::test
