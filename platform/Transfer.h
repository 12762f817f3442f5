#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include "platform/UrlEncoding.h"

#include <chrono>
#include <functional>
#include <memory>

namespace qv {

// Bounds of one transfer. Every transfer has a total time-out, so a host that accepts the
// connection and then says nothing costs at most `total`, and one that stops sending in the
// middle costs at most `stall`.
struct TransferLimits {
    std::chrono::milliseconds connect{20000};  // name look-up and TCP/TLS connection
    std::chrono::milliseconds total{60000};    // the whole transfer
    std::chrono::milliseconds accept{20000};   // FTP active mode: the server connecting back
    std::chrono::seconds stall{30};            // no byte moved for this long
    qsizetype maxReply = qsizetype(1) << 20;   // bytes of an HTTP reply body that are kept
    bool ipv4Only = false;                     // connect over IPv4 only
    QString caFile;                            // extra trust anchors (PEM); empty: the system's
};

// libcurl's result code for an FTP command that the server refused (CURLE_QUOTE_ERROR).
inline constexpr int kFtpCommandRefused = 21;
// libcurl's result code for a transfer that was ended early (CURLE_ABORTED_BY_CALLBACK).
inline constexpr int kTransferCancelled = 42;
// libcurl's result codes for a host name that did not resolve (CURLE_COULDNT_RESOLVE_HOST) and
// for a transfer that ran out of time (CURLE_OPERATION_TIMEDOUT).
inline constexpr int kHostNotResolved = 6;
inline constexpr int kTransferTimedOut = 28;
// libcurl's result code for an FTP folder that could neither be entered nor made
// (CURLE_REMOTE_ACCESS_DENIED).
inline constexpr int kFtpFolderRefused = 9;

// Outcome of a transfer: 0, or libcurl's result code and its error text.
struct TransferStatus {
    int code = 0;
    QString text;
    int osError = 0;  // the errno of the failed connection, 0 when none was recorded
    bool Ok() const { return code == 0; }
};

// A POST without a body. `url` is complete and already percent-encoded.
struct HttpPostRequest {
    QByteArray url;
    QList<QByteArray> headers;  // "Name: value" lines; they replace libcurl's own of that name
    // The answer to the authentication challenge of the previous reply on the same transfer
    // object: sent at once in the challenge's own scheme (Digest before Basic when both are
    // offered), so the host sees the request twice, never three times. None when empty.
    QString user;
    QString password;
};

// A GET, or a POST of `body` when it is not null. `url` is complete and percent-encoded.
struct HttpFetchRequest {
    QByteArray url;
    QList<QByteArray> headers;  // "Name: value" lines
    QByteArray body;
};

struct HttpReply {
    TransferStatus status;
    int httpCode = 0;    // status of the last response; 0 when no response arrived
    QByteArray headers;  // raw header lines of the last response, CR LF ended
    QByteArray body;     // at most TransferLimits::maxReply bytes
    bool truncated = false;
};

struct FtpAccount {
    QString host;
    quint16 port = 21;
    QString user;  // anonymous log-in when empty
    QString password;
    // FTP over TLS, the certificate checked as for HTTPS: `implicitTls` speaks TLS from the first
    // byte (ftps://); `requireTls` asks for it with AUTH TLS and fails, before the log-in, when the
    // server refuses. Either way the data connections are protected too, in passive mode.
    bool implicitTls = false;
    bool requireTls = false;
};

// One HTTP or FTP client on libcurl's multi interface, run by the thread's event loop: the
// sockets are watched by socket notifiers and libcurl's timer is a QTimer, so a transfer never
// blocks its caller. HTTP POST without automatic redirects, a page fetch, FTP upload in active
// mode (passive over TLS) with ASCII type, FTP commands, and a bare TCP connection test. Proxies
// come from the environment (http_proxy, https_proxy, no_proxy).
//
// One transfer at a time per object: each call starts one, and `done` runs once when it has
// ended, from the event loop (or from RunTransfersUntil); only a call refused at once (a line
// break in an FTP path, libcurl not started) runs it before it returns. The
// object keeps its connection and authentication state between its transfers. Destroying it, or
// Cancel, ends the running transfer at once.
class CurlTransfer {
  public:
    using ReplyDone = std::function<void(const HttpReply&)>;
    using StatusDone = std::function<void(const TransferStatus&)>;

    explicit CurlTransfer(const QByteArray& agent, TransferLimits limits = {});
    // A running transfer ends here; its `done` does not run.
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Called once for every new connection to a server, when it is ready for the request (for
    // FTP after the log-in). It must not start or end a transfer.
    void SetConnectedCallback(std::function<void()> callback);

    void Post(const HttpPostRequest& request, ReplyDone done);
    // A page fetched, or a document posted, without credentials: the reply is cut at maxReply.
    void Fetch(const HttpFetchRequest& request, ReplyDone done);
    // Stores `data` under `path` (absolute when it begins with "/"), making the folders of the
    // path that are missing (kFtpFolderRefused when the server refuses one), then sends
    // `afterwards` (e.g. RNFR/RNTO, with absolute paths: the server's current folder is the
    // page's); a command beginning with "*" may fail without failing the transfer.
    void FtpStore(const FtpAccount& account, const QString& path, const QByteArray& data,
                  const QStringList& afterwards, StatusDone done);
    // Logs in and sends the commands (e.g. "DELE /www/page.htm"); a refused command gives
    // kFtpCommandRefused.
    void FtpCommands(const FtpAccount& account, const QStringList& commands, StatusDone done);
    // Opens (and closes) a TCP connection to host:port.
    void Probe(const QString& host, quint16 port, StatusDone done);

    // Ends the running transfer now: its `done` runs before this returns, with
    // kTransferCancelled. Nothing when none runs.
    void Cancel();

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Runs this thread's transfers without the event loop, until `finished` returns true, no transfer
// runs any more, or `deadline` has passed; returns `finished()`. For a caller whose event loop
// does not run: the last steps of shutdown, a one-shot command, a test.
bool RunTransfersUntil(const std::function<bool()>& finished, QDeadlineTimer deadline);

}  // namespace qv
