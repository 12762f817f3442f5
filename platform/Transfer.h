#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "platform/UrlEncoding.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace qv {

// Bounds of one transfer. Every transfer has a total time-out, so a host that accepts the
// connection and then says nothing costs at most `total`.
struct TransferLimits {
    std::chrono::milliseconds connect{20000};  // name look-up and TCP/TLS connection
    std::chrono::milliseconds total{60000};    // the whole transfer
    std::chrono::milliseconds accept{20000};   // FTP active mode: the server connecting back
    qsizetype maxReply = qsizetype(1) << 20;   // bytes of an HTTP reply body that are kept
    bool ipv4Only = false;                     // connect over IPv4 only
    QString caFile;                            // extra trust anchors (PEM); empty: the system's
    // When it turns true, the transfer ends within about a second with "aborted by callback"
    // (CURLE_ABORTED_BY_CALLBACK), whatever the server does. Not owned.
    const std::atomic<bool>* cancel = nullptr;
};

// libcurl's result code for an FTP command that the server refused (CURLE_QUOTE_ERROR).
inline constexpr int kFtpCommandRefused = 21;

// Outcome of a transfer: 0, or libcurl's result code and its error text.
struct TransferStatus {
    int code = 0;
    QString text;
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

// libcurl's easy interface for the program's exchanges: HTTP POST without automatic redirects,
// FTP upload in active mode (passive over TLS) with ASCII type, FTP commands, and a bare TCP
// connection test. Proxies come from the environment (http_proxy, https_proxy, no_proxy).
//
// libcurl runs in a helper process (quorvane-transfer), so that neither libcurl nor the libraries
// behind it stay in the memory of a program that runs for days. The first call takes a helper
// that an earlier transfer object left, or starts one; the destructor leaves it for the next
// object, and a helper ends by itself 15 s after its last transfer. A helper that cannot be
// started, or that stops, fails the call with CURLE_FAILED_INIT.
//
// Each call blocks its caller until the transfer ends and runs no event loop: a caller on the
// user-interface thread runs it on a helper thread (see ExchangeThread). Callbacks run on the
// calling thread, while the transfer runs. An object is used by one thread at a time.
class CurlTransfer {
  public:
    explicit CurlTransfer(const QByteArray& agent, TransferLimits limits = {});
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Called once for every new connection to a server, when it is ready for the request (for
    // FTP after the log-in).
    void SetConnectedCallback(std::function<void()> callback);

    HttpReply Post(const HttpPostRequest& request);
    // A page fetched, or a document posted, without credentials: the reply is cut at maxReply.
    HttpReply Fetch(const HttpFetchRequest& request);

    // Stores `data` under `path` (absolute when it begins with "/"), then sends `afterwards`
    // (e.g. RNFR/RNTO); a command beginning with "*" may fail without failing the transfer.
    TransferStatus FtpStore(const FtpAccount& account, const QString& path, const QByteArray& data,
                            const QStringList& afterwards = {});
    // Logs in and sends the commands (e.g. "DELE /www/page.htm"); a refused command gives
    // CURLE_QUOTE_ERROR.
    TransferStatus FtpCommands(const FtpAccount& account, const QStringList& commands);

    // Opens (and closes) a TCP connection to host:port.
    TransferStatus Probe(const QString& host, quint16 port);

    const TransferLimits& Limits() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace qv
