#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "forwarding/DynDns.h"
#include "forwarding/ForwardText.h"
#include "forwarding/TargetUrl.h"
#include "forwarding/Task.h"
#include "forwarding/UserQuestions.h"
#include "platform/Clock.h"
#include "platform/DnsUpdate.h"
#include "platform/Transfer.h"
#include "settings/SettingsRecord.h"

namespace qv {

class PasswordStore;

// What the forwarder reads from its owner at each step, and whom it asks.
struct ForwardSources {
    SettingsRecord& settings;  // the owner's record (the in-memory values)
    UserQuestions& questions;
    std::function<QString()> selectedIp;  // the ticked address
    // The IPv6 row's address when one is ticked beside an IPv4 row; else empty.
    std::function<QString()> secondSelectedIp;
    // Where the passwords the keyring keeps are read from before an exchange needs them; null
    // when the record holds every password.
    PasswordStore* passwords = nullptr;
};

struct ForwarderOptions {
    TransferLimits limits;
    // The off-line notice at shutdown gets this long in all, connection included.
    std::chrono::milliseconds shutdownBound{3000};
    // Tested when no target URL is stored.
    QString fallbackTestUrl = QStringLiteral("http://example.com/");
    const IClock* clock = nullptr;  // null: the system clock
    // Where what the dyndns2 service took is kept (DynDnsLedger); empty: the user's state folder.
    QString dynDnsLedger;
};

// How a sending of the address ended: the host took it; it failed on the way or at the host; or
// the settings or the address gave nothing to send (the user was told why).
enum class ForwardOutcome { kTaken, kFailed, kNothingToSend };

// The forwarding state and work of the control pane: the connection check, the HTTP and FTP
// exchanges, and the decisions of when to send and when an off-line notice is owed.
//
// Everything runs on the owner's thread and its event loop: each exchange is a coroutine that
// awaits its transfers (libcurl's multi interface on the event loop), so the event loop goes on
// while a transfer runs. No event loop is run here.
//
// Exchanges never overlap. A command that arrives while one runs waits and runs after it, in the
// order of arrival. Only a command the user gave may ask a question (the log-in after a 401, the
// off-line notice of the other method); while such a question waits for its answer the exchange
// steps aside, other commands run, and it goes on, in turn, once it has been answered. Work that
// started by itself (an address change, a retry) asks nobody: a question takes its negative
// answer, and what it has to say is shown without waiting for anyone.
//
// The forwarder and its host must outlive a running exchange: destroy them only while IsBusy()
// is false, e.g. from the `then` of OffLineAtShutdown. (Destroyed earlier, the forwarder ends its
// transfer and drops the rest of the exchange.)
//
// Once OffLineAtShutdown has been called, nobody is asked anything any more: no message box, no
// notice, no log-in prompt, no host reply window; each question takes its negative answer.
//
// What it has to show it reports by signals, on the owner's thread, in the order it happens.
class Forwarder : public QObject {
    Q_OBJECT

  public:
    explicit Forwarder(ForwardSources sources, ForwarderOptions options = {});
    ~Forwarder() override;
    Forwarder(const Forwarder&) = delete;
    Forwarder& operator=(const Forwarder&) = delete;

    // ---- Commands of the control pane (each waits for a running exchange) ----

    void OnAddressChanged();  // only with AutoForward on, then as ForwardNow (by itself)
    void ForwardNow();        // by the chosen method, whatever AutoForward says
    // "Send Now" on a target page: by that page's method.
    void SendBy(ForwardMethod method);
    void NotifyOffLine(ForwardMethod method);
    // Asks about an owed off-line notice of `method`.
    void OfferOffLineNotice(ForwardMethod method);
    void OnTestInternet();  // the "Test Internet" button
    // Sends the address by `method`, as SendBy does; then `done` learns how it ended (not when
    // the exchange is dropped at shutdown). `byHand`: the user asked for it, so it may ask the
    // user.
    void ForwardAddress(ForwardMethod method, bool byHand,
                        std::function<void(ForwardOutcome)> done);
    // The off-line step of the pane's destruction: the owed notice of the chosen method, without
    // connection check or question, within ForwarderOptions::shutdownBound. A running exchange
    // ends at once, exchanges waiting for an answer and the commands waiting to run are dropped,
    // and the notice runs. It returns when the notice has been sent or its time is up: the
    // transfers are run here, without the event loop, which may not run again. `then` runs when
    // it is done (the pane may be destroyed from there).
    void OffLineAtShutdown(std::function<void()> then = {});
    // Rebuilds the status line. Runs at once (it sends nothing).
    void UpdateForwardPreview();

    // An exchange runs, or waits to run; one that waits for an answer does not count.
    bool IsBusy() const { return m_busy || !m_queue.empty(); }
    // The last address sent or off-line notice reached the host and the host took it (or the
    // last connection test reached it).
    bool LastSucceeded() const { return m_lastSucceeded; }

    // ---- Steps, run to their end before they return (their transfers without the event loop) ----

    // Knocks at the host of the stored target URL of `method`, on the port of the URL's scheme
    // or the one written in it. A failure is logged with its cause.
    int CheckInternetConnection(ForwardMethod method);
    // Splits `url` into the target of its method (m_httpTarget for kServiceHttp, else
    // m_ftpTarget); 0, after the wrong-kind-of-URL message, when it is not a URL of that method.
    int ParseTargetURL(const QString& url, int expectedService);
    // Each returns whether the host took it.
    bool HTTPForward(const QString& address);
    // `second` (when not empty) takes the place of the second placeholder.
    std::optional<QByteArray> PrepareFTPPage(const QString& replacement, QString& remoteName,
                                             const QString& second = QString());
    bool UploadFTPPage(const QString& replacement);
    // Sends the ticked address and the second one (either may be empty) to the dyndns2 service;
    // `byHand`: the user asked, which goes on past a stop.
    ForwardOutcome DynDnsForward(const QString& first, const QString& second, bool byHand);
    // The request path of the HTTP target with the address query (see BuildAddressQuery).
    QString BuildRequestObject(const QString& address,
                               QuerySecrets secrets = QuerySecrets::kSend) const;

    // An HTTP off-line notice is owed.
    int m_httpForwarded = 0;
    // An FTP off-line action is owed.
    int m_ftpUploaded = 0;
    // A DNS record was set: its off-line update is owed.
    int m_dnsUpdated = 0;
    // The target each method last sent to (m_server, m_object, m_port, m_serviceType):
    // its off-line notices go there.
    UrlParts m_httpTarget;
    UrlParts m_ftpTarget;

  signals:
    // A line for the output box: it replaces the box's text (append false) or follows a line
    // break; `log`: it also goes to the event log.
    void OutputLine(const QString& text, bool append, bool log);
    // Caption of the output box's frame ("Output Information" while an exchange runs).
    void OutputHeading(const QString& text);
    // The whole text of the status line (the forwarding preview).
    void StatusLine(const QString& text);
    // A self-closing notice; `icon` is Information or Warning.
    void PopupNotice(const QString& text, IPrompter::Icon icon, unsigned lifeMs);
    // The host's reply, for the Output Data window.
    void HostReplied(const QString& caption, const QString& text);
    // An exchange starts (true) or ends (false).
    void BusyChanged(bool busy);
    // No exchange runs or waits to run any more (one may still wait for an answer).
    void ExchangesEnded();
    // The user turned automatic forwarding off in the record.
    void AutoForwardTurnedOff();

  private:
    template <class Result>
    class TransferAwait;
    class PasswordAwait;
    class DnsAwait;
    struct HttpSending;
    template <class Answer>
    class AnswerAwait;
    struct Job {
        std::function<Task<>()> start;  // empty: `parked` goes on
        bool byHand = false;
        std::coroutine_handle<> parked;  // the exchange's step that waited for an answer
        std::coroutine_handle<> frame;   // and its exchange as a whole
    };

    // The coroutines below start when awaited: their parameters are values, or refer to what
    // outlives the co_await. What is awaited is held in a named local first (GCC 12 destroys
    // temporaries of a co_await expression wrongly).

    void Submit(std::function<Task<>()> job, bool byHand);
    void RunNext();
    Detached RunJob(Job job);
    template <class T>
    T RunNow(Task<T> task);
    Task<HttpReply> Post(CurlTransfer& transfer, HttpPostRequest request);
    Task<TransferStatus> FtpStore(CurlTransfer& transfer, FtpAccount account, QString path,
                                  QByteArray data, QStringList afterwards);
    Task<TransferStatus> FtpCommands(CurlTransfer& transfer, FtpAccount account,
                                     QStringList commands);
    Task<HttpReply> Get(CurlTransfer& transfer, HttpFetchRequest request);
    Task<TransferStatus> Probe(CurlTransfer& transfer, QString host, quint16 port);
    Task<int> AskInTurn(int stringId, IPrompter::Buttons buttons);
    Task<std::optional<Credentials>> AskCredentialsInTurn(QString server, QString realm);

    Task<> DoAddressChanged();
    Task<> DoForwardNow();
    Task<> DoTestInternet();
    Task<> DoSendAddress(ForwardMethod method);
    Task<> OfferOthersOffLine(ForwardMethod method);
    Task<ForwardOutcome> SendTicked(ForwardMethod method);
    Task<> DoForwardAddress(ForwardMethod method, std::function<void(ForwardOutcome)> done);
    Task<> DoNotifyOffLine(ForwardMethod method);
    Task<> DoOfferOffLineNotice(ForwardMethod method);
    Task<> DoShutdownStep(std::function<void()> then);
    Task<> DoOffLineAtShutdown();
    Task<bool> SendOffLine(ForwardMethod method);
    // `unreachable`, when given, gets the line that tells why the check failed.
    Task<int> CheckConnection(ForwardMethod method, QString* unreachable = nullptr);
    // The HTTP request with the address (empty: the off-line notice), in steps.
    Task<bool> SendAddress(QString address);
    Task<HttpReply> ExchangeAddress(CurlTransfer& transfer, HttpSending& sending);
    Task<HttpReply> AnswerChallenges(CurlTransfer& transfer, HttpSending& sending, HttpReply reply);
    Task<HttpReply> FollowRedirect(CurlTransfer& transfer, HttpSending& sending, HttpReply reply);
    // Throws when the host did not take it.
    void TakeHttpReply(const HttpReply& reply, const QString& address, const QString& stamp);
    Task<HttpReply> Send(CurlTransfer& transfer, const HttpPostRequest& request);
    bool MayAsk() const { return m_byHand && !m_shuttingDown; }
    Task<bool> UploadPage(QString replacement, QString second = QString());
    Task<bool> RemovePage();  // a page that is gone already counts as taken down
    // Sets the DNS record to `address`; an empty one deletes it (the off-line update).
    // Sets the record of `type` to `address`, or removes it when `address` is empty.
    Task<bool> UpdateRecord(QString address, RecordType type);
    // The record of each ticked address (A for IPv4, AAAA for IPv6); the off-line step sets each
    // record set in this run to the off-line address of its type, or removes it.
    Task<bool> UpdateRecords(QString address, QString second);
    Task<bool> TakeDownRecords();
    void NoticeRecords(bool taken, const QString& addresses);
    Task<DnsUpdateResult> SendUpdate(DnsUpdate& update, DnsServer server, TsigKey key,
                                     RecordChange change);
    Task<ForwardOutcome> UpdateDynDns(QString first, QString second, bool byHand);
    ForwardOutcome TakeDynDnsReply(const HttpReply& reply, const QString& ledgerKey,
                                   DynDnsLedger::Entry entry, const QString& sent,
                                   const QString& stamp);
    Task<bool> PasswordsReady(int needed, const QString& stamp);
    bool HaveTarget(ForwardMethod method);
    // Parses the target URL of `method` from the settings (0 after telling why not).
    int ParseTarget(ForwardMethod method);
    // The owed off-line notice of `method`.
    int& Owed(ForwardMethod method);
    QString TimeStampNow() const;
    QString OffLineNoticeText() const;
    TransferLimits Limits() const;
    FtpAccount Account() const;
    int FtpPasswordNeeded() const;
    // A box that nobody waits for; `answer` (may be empty) gets the button pressed.
    void Tell(int stringId, IPrompter::Buttons buttons, IPrompter::Icon icon,
              std::function<void(int)> answer = {});
    void Tell(const QString& text);
    void Notice(const QString& text, IPrompter::Icon icon);
    void ReportInternetError(const TransferStatus& status, const QString& stamp);
    void ReportError(int messageId, int detail, const QString& stamp);

    SettingsRecord& m_settings;
    UserQuestions& m_questions;
    std::function<QString()> m_selectedIp;
    std::function<QString()> m_secondSelectedIp;
    PasswordStore* m_passwords;
    ForwarderOptions m_options;
    std::deque<Job> m_queue;
    bool m_busy = false;    // an exchange runs (one waiting for an answer does not count)
    bool m_byHand = false;  // the running exchange was asked for by the user
    std::vector<std::coroutine_handle<>> m_jobs;  // every exchange started and not ended
    std::coroutine_handle<> m_running;            // the one that runs (when m_busy)
    CurlTransfer* m_runningTransfer = nullptr;    // the running transfer's owner
    bool m_readingPasswords = false;              // the exchange waits for the keyring
    bool m_lastSucceeded = false;
    QString m_httpSentAddress;  // the address the host last took by HTTP
    // The types of the DNS records set in this run, by RecordType.
    std::array<bool, 2> m_dnsRecordsSet{};
    // The dyndns2 password in use when the service stopped the updates in this run: a new one
    // lifts the stop.
    std::optional<QString> m_dynDnsStopPassword;
    int m_nothingOwed = 0;  // what Owed gives for a method that owes no off-line notice
    ForwardOutcome m_lastOutcome = ForwardOutcome::kFailed;  // of the last sending of the address
    bool m_shutDown = false;       // the off-line step of shutdown has run
    bool m_shuttingDown = false;   // OffLineAtShutdown has been called: ask nobody anything
    QDeadlineTimer m_shutdownEnd;  // the end of the off-line step's time
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace qv
