#include "platform/CurlEngine.h"

#include <curl/curl.h>

#include <cstring>

namespace qv {

static_assert(kFtpCommandRefused == CURLE_QUOTE_ERROR);

namespace {

struct SList {
    curl_slist* list = nullptr;
    ~SList() { curl_slist_free_all(list); }
    void Add(const QByteArray& line) { list = curl_slist_append(list, line.constData()); }
};

// A command or path that would split into two FTP commands (or end one early) is refused.
bool HasLineBreakOrNul(const QString& text) {
    for (QChar c : text) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.unicode() == 0) {
            return true;
        }
    }
    return false;
}

QByteArray HostForUrl(const QString& host) {
    return host.toUtf8();
}

// "ftp://host:port/" (or "ftps://") followed by the path; a leading "/" is sent as %2F so that the
// server gets the absolute path.
QByteArray FtpUrl(const FtpAccount& account, const QString& path) {
    QByteArray url = QByteArray(account.implicitTls ? "ftps://" : "ftp://") +
                     HostForUrl(account.host) + ':' + QByteArray::number(account.port) + '/';
    QString rest = path;
    if (rest.startsWith(QLatin1Char('/'))) {
        url += "%2F";
        rest.remove(0, 1);
    }
    return url + EncodeForUrl(rest, "#?%;");
}

}  // namespace

struct CurlEngine::Impl {
    QByteArray agent;
    TransferLimits limits;
    CURL* curl = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::function<void()> connected;
    std::function<bool()> stop;

    // State of the running transfer.
    QByteArray lastConnection;  // local address and port of the last connection reported
    HttpReply* reply = nullptr;
    const QByteArray* upload = nullptr;
    qsizetype uploaded = 0;

    // The last call was a POST; the authentication schemes its reply offered.
    bool lastWasPost = false;
    long authOffered = CURLAUTH_NONE;

    // Sets the options every transfer has. A POST that follows a POST keeps the handle's
    // authentication state (the Digest challenge it got), so that the answer goes out at once.
    void Reset(bool keepAuthState = false) {
        if (!keepAuthState) {
            curl_easy_reset(curl);
        }
        errorBuffer[0] = '\0';
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(limits.connect.count()));
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
        curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.constData());
        if (limits.ipv4Only) {
            curl_easy_setopt(curl, CURLOPT_IPRESOLVE, static_cast<long>(CURL_IPRESOLVE_V4));
        }
        curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Impl::OnPrereq);
        curl_easy_setopt(curl, CURLOPT_PREREQDATA, this);
        if (!limits.caFile.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_CAINFO, limits.caFile.toLocal8Bit().constData());
        }
        // libcurl calls this at least once a second in every state, waiting for a server that
        // connects back included: the way to end a transfer early.
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, stop ? 0L : 1L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Impl::OnProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    }

    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        const auto* d = static_cast<Impl*>(self);
        return d->stop && d->stop() ? 1 : 0;
    }

    // The one scheme that answers a challenge offering `offered`.
    static long AnswerScheme(long offered) {
        if (offered & CURLAUTH_DIGEST) {
            return CURLAUTH_DIGEST;
        }
        if (offered & CURLAUTH_BASIC) {
            return CURLAUTH_BASIC;
        }
        return offered != CURLAUTH_NONE ? offered : CURLAUTH_BASIC;
    }

    TransferStatus Perform() {
        const CURLcode code = curl_easy_perform(curl);
        TransferStatus status;
        status.code = code;
        if (code != CURLE_OK) {
            status.text = QString::fromUtf8(errorBuffer).trimmed();
            // libcurl 7.88 keeps the first message it wrote, and in FTP active mode that is a
            // harmless complaint about the accepted data connection: take the code's own text
            // and the server's last reply instead.
            if (status.text.isEmpty() ||
                (status.text.startsWith(QLatin1String("sa_addr inet_ntop()")) &&
                 code != CURLE_COULDNT_CONNECT)) {
                status.text = QString::fromUtf8(curl_easy_strerror(code));
                long reply = 0;
                curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
                if (reply >= 400) {
                    status.text += QStringLiteral(" (server reply %1)").arg(reply);
                }
            }
        }
        return status;
    }

    // Runs an HTTP transfer whose options are set, into `reply`.
    void PerformHttp(HttpReply& r) {
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
        reply = &r;
        r.status = Perform();
        reply = nullptr;
        if (r.truncated && r.status.code == CURLE_WRITE_ERROR) {
            r.status = TransferStatus{};  // the reply was cut on purpose
        }
        long code = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
        r.httpCode = static_cast<int>(code);
    }

    static int OnPrereq(void* self, char* remoteIp, char* localIp, int remotePort, int localPort) {
        auto* d = static_cast<Impl*>(self);
        const QByteArray key = QByteArray(localIp) + ':' + QByteArray::number(localPort) + '>' +
                               QByteArray(remoteIp) + ':' + QByteArray::number(remotePort);
        if (key != d->lastConnection) {
            d->lastConnection = key;
            if (d->connected) {
                d->connected();
            }
        }
        return CURL_PREREQFUNC_OK;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
        auto* d = static_cast<Impl*>(self);
        const size_t n = size * count;
        // A new status line starts a new response (an interim 100, or an authentication round):
        // only the last response counts.
        if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
            d->reply->headers.clear();
            d->reply->body.clear();
            d->reply->truncated = false;
        }
        d->reply->headers.append(data, static_cast<qsizetype>(n));
        return n;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* self) {
        auto* d = static_cast<Impl*>(self);
        const size_t n = size * count;
        HttpReply& r = *d->reply;
        const qsizetype room = d->limits.maxReply - r.body.size();
        if (static_cast<qsizetype>(n) > room) {
            // Keep what fits and stop reading: the length of the reply may be unknown, so only
            // refusing the data here ends it.
            r.body.append(data, room > 0 ? room : 0);
            r.truncated = true;
            return 0;
        }
        r.body.append(data, static_cast<qsizetype>(n));
        return n;
    }

    static size_t OnRead(char* buffer, size_t size, size_t count, void* self) {
        auto* d = static_cast<Impl*>(self);
        const qsizetype left = d->upload->size() - d->uploaded;
        const qsizetype n = std::min<qsizetype>(left, static_cast<qsizetype>(size * count));
        std::memcpy(buffer, d->upload->constData() + d->uploaded, static_cast<size_t>(n));
        d->uploaded += n;
        return static_cast<size_t>(n);
    }

    void SetFtpAccount(const FtpAccount& account) {
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, account.implicitTls ? "ftps" : "ftp");
        if (!account.user.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_USERNAME, account.user.toUtf8().constData());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, account.password.toUtf8().constData());
        }
        if (account.implicitTls || account.requireTls) {
            curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
            // Passive mode: libcurl 7.87 and 7.88 open an active-mode data connection without
            // TLS, and no router can read an encrypted PORT command to let it through.
        } else {
            curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");
        }
        curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(limits.accept.count()));
        curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    }

    static TransferStatus Refused(const char* why) {
        TransferStatus status;
        status.code = CURLE_BAD_FUNCTION_ARGUMENT;
        status.text = QString::fromLatin1(why);
        return status;
    }
};

CurlEngine::CurlEngine(const QByteArray& agent, TransferLimits limits) : d(new Impl) {
    d->agent = agent;
    d->limits = std::move(limits);
    d->curl = curl_easy_init();
}

CurlEngine::~CurlEngine() {
    if (d->curl) {
        curl_easy_cleanup(d->curl);
    }
}

void CurlEngine::SetConnectedCallback(std::function<void()> callback) {
    d->connected = std::move(callback);
}

void CurlEngine::SetStopCheck(std::function<bool()> check) {
    d->stop = std::move(check);
}

HttpReply CurlEngine::Post(const HttpPostRequest& request) {
    HttpReply reply;
    if (!d->curl) {
        reply.status = Impl::Refused("libcurl could not be started");
        return reply;
    }
    d->Reset(d->lastWasPost);
    CURL* c = d->curl;
    curl_easy_setopt(c, CURLOPT_URL, request.url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(c, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, 0L);
    SList headers;
    for (const QByteArray& h : request.headers) {
        headers.Add(h);
    }
    headers.Add("Content-Type:");  // no body, so no body type either
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);
    if (!request.user.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, Impl::AnswerScheme(d->authOffered));
        curl_easy_setopt(c, CURLOPT_USERNAME, request.user.toUtf8().constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, request.password.toUtf8().constData());
    } else {
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(c, CURLOPT_USERNAME, nullptr);
        curl_easy_setopt(c, CURLOPT_PASSWORD, nullptr);
    }

    d->PerformHttp(reply);
    d->authOffered = CURLAUTH_NONE;
    curl_easy_getinfo(c, CURLINFO_HTTPAUTH_AVAIL, &d->authOffered);
    d->lastWasPost = true;
    return reply;
}

HttpReply CurlEngine::Fetch(const HttpFetchRequest& request) {
    HttpReply reply;
    if (!d->curl) {
        reply.status = Impl::Refused("libcurl could not be started");
        return reply;
    }
    d->lastWasPost = false;
    d->Reset();
    CURL* c = d->curl;
    curl_easy_setopt(c, CURLOPT_URL, request.url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    SList headers;
    for (const QByteArray& h : request.headers) {
        headers.Add(h);
    }
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);
    if (!request.body.isNull()) {
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.constData());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    }
    d->PerformHttp(reply);
    return reply;
}

TransferStatus CurlEngine::FtpStore(const FtpAccount& account, const QString& path,
                                    const QByteArray& data, const QStringList& afterwards) {
    if (!d->curl) {
        return Impl::Refused("libcurl could not be started");
    }
    if (HasLineBreakOrNul(path) || HasLineBreakOrNul(afterwards.join(QString()))) {
        return Impl::Refused("The remote file name holds a line break");
    }
    d->lastWasPost = false;
    d->Reset();
    CURL* c = d->curl;
    d->SetFtpAccount(account);
    const QByteArray url = FtpUrl(account, path);
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, &Impl::OnRead);
    curl_easy_setopt(c, CURLOPT_READDATA, d.get());
    SList commands;
    for (const QString& command : afterwards) {
        commands.Add(command.toUtf8());
    }
    curl_easy_setopt(c, CURLOPT_POSTQUOTE, commands.list);
    d->upload = &data;
    d->uploaded = 0;
    TransferStatus status = d->Perform();
    d->upload = nullptr;
    return status;
}

TransferStatus CurlEngine::FtpCommands(const FtpAccount& account, const QStringList& commands) {
    if (!d->curl) {
        return Impl::Refused("libcurl could not be started");
    }
    if (HasLineBreakOrNul(commands.join(QString()))) {
        return Impl::Refused("The remote file name holds a line break");
    }
    d->lastWasPost = false;
    d->Reset();
    CURL* c = d->curl;
    d->SetFtpAccount(account);
    const QByteArray url = FtpUrl(account, QStringLiteral("/"));
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
    SList list;
    for (const QString& command : commands) {
        list.Add(command.toUtf8());
    }
    curl_easy_setopt(c, CURLOPT_QUOTE, list.list);
    return d->Perform();
}

TransferStatus CurlEngine::Probe(const QString& host, quint16 port) {
    if (!d->curl) {
        return Impl::Refused("libcurl could not be started");
    }
    d->lastWasPost = false;
    d->Reset();
    CURL* c = d->curl;
    const QByteArray url = "http://" + HostForUrl(host) + ':' + QByteArray::number(port) + '/';
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(c, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
    TransferStatus status = d->Perform();
    return status;
}

}  // namespace qv
