#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "forwarding/ExchangeThread.h"
#include "forwarding/ForwardHost.h"
#include "forwarding/ForwardText.h"
#include "forwarding/TargetUrl.h"
#include "forwarding/Task.h"
#include "platform/Clock.h"
#include "platform/Transfer.h"

namespace qv {

struct ForwarderOptions {
    TransferLimits limits;
    // The off-line notice at shutdown gets this long in all, connection included.
    std::chrono::milliseconds shutdownBound{3000};
    // Tested when no target URL is stored.
    QString fallbackTestUrl = QStringLiteral("http://example.com/");
    // Reads a stored value of section "Settings" (the connection check reads the target URLs as
    // stored, not as edited in this run). Empty: the settings file.
    std::function<QString(const QString& key)> storedSetting;
    const IClock* clock = nullptr;  // null: the system clock
};

// How a sending of the address ended: the host took it; it failed on the way or at the host; or
// the settings or the address gave nothing to send (the user was told why).
enum class ForwardOutcome { kTaken, kFailed, kNothingToSend };

// The forwarding state and work of the control pane: the connection check, the HTTP and FTP
// exchanges, and the decisions of when to send and when an off-line notice is owed.
//
// The steps of an exchange run on the owner's thread; each transfer runs on a helper thread while
// the owner's event loop goes on, and the exchange goes on when the event loop delivers the
// transfer's end. No event loop is run here. Where no event loop runs (a program without one, or
// one whose loop has ended) and from OffLineAtShutdown on, transfers run at once on the calling
// thread instead, and a command returns when its exchange has ended.
//
// Exchanges never overlap. A command that arrives while one runs waits and runs after it, in the
// order of arrival.
//
// The forwarder and its host must outlive a running exchange: destroy them only while IsBusy()
// is false, e.g. from the `then` of OffLineAtShutdown. (Destroyed earlier, the forwarder cancels
// its transfer, waits for its end and drops the rest of the exchange.)
//
// Once OffLineAtShutdown has been called, nobody is asked anything any more: no message box, no
// notice, no log-in prompt, no host reply window; each question takes its negative answer.
class CForwarder {
  public:
    explicit CForwarder(IForwardHost& host, ForwarderOptions options = {});
    ~CForwarder();
    CForwarder(const CForwarder&) = delete;
    CForwarder& operator=(const CForwarder&) = delete;

    // ---- Commands of the control pane (each waits for a running exchange) ----

    void OnAddressChanged();   // 32800: only with AutoForward on, then as ForwardNow
    void ForwardNow();         // 32801: by the chosen method, whatever AutoForward says
    void SendHTTPAddress();    // 32802
    void SendFTPPage();        // 32803
    void NotifyHTTPOffLine();  // 32805
    void NotifyFTPOffLine();   // 32806
    // `http` 1: asks (161) about an owed HTTP off-line notice; 0: (162) about an owed FTP one.
    void OfferOffLineNotice(int http);
    void OnTestInternet();  // button 1146
    // Sends the address by HTTP (`http`) or uploads the page, as SendHTTPAddress and SendFTPPage
    // do; then `done` learns how it ended (not when the exchange is dropped at shutdown).
    void ForwardAddress(bool http, std::function<void(ForwardOutcome)> done);
    // The off-line step of the pane's destruction: the owed notice of the chosen method, without
    // connection check or question, within ForwarderOptions::shutdownBound. A running exchange
    // is cancelled (it ends within about a second) and the commands waiting for it are dropped;
    // the notice runs at once, or as soon as the exchange has ended. `then` runs when it is done
    // (the pane may be destroyed from there). From here on everything runs on the calling thread:
    // it returns when the notice has been sent (unless it is called from inside an exchange, e.g.
    // from a message box, which then goes on to the notice).
    void OffLineAtShutdown(std::function<void()> then = {});
    // Rebuilds status line 1127. Runs at once (it sends nothing).
    void UpdateForwardPreview();

    bool IsBusy() const { return m_bBusy; }
    // The last address sent or off-line notice reached the host and the host took it.
    bool LastSucceeded() const { return m_bLastSucceeded; }

    // ---- Steps, run at once on the calling thread (its transfers too) ----

    // Knocks at the host of the stored target URL of the method (HTTP when `http`), on the port
    // of the URL's scheme or the one written in it. A failure is logged with its cause.
    int CheckInternetConnection(bool http);
    // Splits `url` into the target of its method (m_httpTarget for kServiceHttp, else
    // m_ftpTarget); 0, after message 111, when it is not a URL of that method.
    int ParseTargetURL(const QString& url, int expectedService);
    // Each returns whether the host took it.
    bool HTTPForward(const QString& address);
    std::optional<QByteArray> PrepareFTPPage(const QString& replacement, QString& remoteName);
    bool UploadFTPPage(const QString& replacement);
    bool RemoveFTPPage();  // a page that is gone already counts as taken down
    // The request path of the HTTP target with the address query (see BuildAddressQuery).
    QString BuildRequestObject(const QString& address,
                               QuerySecrets secrets = QuerySecrets::kSend) const;

    // An HTTP off-line notice is owed.
    int m_bHTTPForwarded = 0;
    // An FTP off-line action is owed.
    int m_bFTPUploaded = 0;
    // The target each method last sent to (m_strServer, m_strObject, m_nPort, m_dwServiceType):
    // its off-line notices go there.
    UrlParts m_httpTarget;
    UrlParts m_ftpTarget;

  private:
    template <class Result>
    class TransferAwait;
    class PasswordAwait;

    // The coroutines below start when awaited: their parameters are values, or refer to what
    // outlives the co_await. What is awaited is held in a named local first (GCC 12 destroys
    // temporaries of a co_await expression wrongly).

    void Submit(std::function<Task<>()> job);
    Detached RunQueue();
    bool RunsInline() const;
    template <class Work>
    auto RunTransfer(Work work);
    template <class T>
    T RunNow(Task<T> task);

    Task<> DoAddressChanged();
    Task<> DoForwardNow();
    Task<> DoTestInternet();
    Task<> DoSendAddress(bool http);
    Task<> DoForwardAddress(bool http, std::function<void(ForwardOutcome)> done);
    Task<> DoNotifyOffLine(bool http);
    Task<> DoOfferOffLineNotice(int http);
    Task<> DoShutdownStep(std::function<void()> then);
    Task<> DoOffLineAtShutdown();
    Task<bool> SendOffLine(bool http);
    Task<int> CheckConnection(bool http);
    Task<bool> SendAddress(QString address);
    Task<HttpReply> Send(CurlTransfer& transfer, const HttpPostRequest& request);
    Task<bool> UploadPage(QString replacement);
    Task<bool> RemovePage();
    Task<bool> PasswordsReady(int needed, const QString& stamp);
    bool HaveTarget(bool http);
    QString TimeStampNow() const;
    QString StoredSetting(const QString& key) const;
    TransferLimits Limits() const;
    FtpAccount Account() const;
    int FtpPasswordNeeded() const;
    int Ask(int stringId, IPrompter::Buttons buttons, IPrompter::Icon icon);
    void Tell(const QString& text);
    void Notice(const QString& text, IPrompter::Icon icon);
    void ReportInternetError(const TransferStatus& status, const QString& stamp);
    void ReportError(int messageId, int detail, const QString& stamp);

    IForwardHost& m_host;
    ForwarderOptions m_options;
    std::deque<std::function<Task<>()>> m_queue;
    bool m_bBusy = false;
    bool m_bWaiting = false;           // the exchange waits for a transfer on the helper thread
    bool m_bReadingPasswords = false;  // the exchange waits for the keyring
    int m_nInline = 0;                 // > 0: transfers run on the calling thread
    std::coroutine_handle<> m_runner;  // the running RunQueue
    bool m_bLastSucceeded = false;
    ForwardOutcome m_lastOutcome = ForwardOutcome::kFailed;  // of the last sending of the address
    bool m_bShutDown = false;           // the off-line step of shutdown has run
    bool m_bShuttingDown = false;       // OffLineAtShutdown has been called: ask nobody anything
    QDeadlineTimer m_shutdownEnd;       // the end of the off-line step's time
    std::atomic<bool> m_cancel{false};  // ends the running transfer
    ExchangeThread m_exchange;          // after m_cancel: it waits for a transfer that reads it
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace qv
