#include "platform/Transfer.h"

#include <curl/curl.h>

#include <dlfcn.h>

#include <cstring>

namespace qv {

static_assert(kFtpCommandRefused == CURLE_QUOTE_ERROR);

namespace {

// libcurl, opened at the first transfer, so that a program or command that never transfers
// (`quorvane-cli list`) loads neither it nor the two dozen libraries behind it (TLS, SSH, LDAP,
// Kerberos...). It stays loaded: a name look-up that timed out leaves libcurl's look-up thread
// running in libcurl's code.
struct CurlLibrary {
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&::curl_easy_reset) easy_reset = nullptr;
    decltype(&::curl_easy_setopt) easy_setopt = nullptr;
    decltype(&::curl_easy_perform) easy_perform = nullptr;
    decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&::curl_easy_strerror) easy_strerror = nullptr;
    decltype(&::curl_slist_append) slist_append = nullptr;
    decltype(&::curl_slist_free_all) slist_free_all = nullptr;

    CurlLibrary() {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        const auto globalInit = library ? reinterpret_cast<decltype(&::curl_global_init)>(
                                              dlsym(library, "curl_global_init"))
                                        : nullptr;
        const bool found = globalInit && Find(library, easy_init, "curl_easy_init") &&
                           Find(library, easy_cleanup, "curl_easy_cleanup") &&
                           Find(library, easy_reset, "curl_easy_reset") &&
                           Find(library, easy_setopt, "curl_easy_setopt") &&
                           Find(library, easy_perform, "curl_easy_perform") &&
                           Find(library, easy_getinfo, "curl_easy_getinfo") &&
                           Find(library, easy_strerror, "curl_easy_strerror") &&
                           Find(library, slist_append, "curl_slist_append") &&
                           Find(library, slist_free_all, "curl_slist_free_all");
        if (!found || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            easy_init = nullptr;  // every transfer then says that libcurl could not be started
        }
    }

    template <typename Function>
    static bool Find(void* library, Function& function, const char* name) {
        function = reinterpret_cast<Function>(dlsym(library, name));
        return function != nullptr;
    }
};

// Opened and initialised once, by the first caller, whatever its thread.
const CurlLibrary& Curl() {
    static const CurlLibrary library;
    return library;
}

struct SList {
    curl_slist* list = nullptr;
    ~SList() { Curl().slist_free_all(list); }
    void Add(const QByteArray& line) { list = Curl().slist_append(list, line.constData()); }
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

QByteArray EncodeForUrl(const QString& text, const char* also, bool keepNonAscii) {
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    const QByteArray bytes = text.toUtf8();
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        const bool outside = b == 0x7f || (b >= 0x80 && !keepNonAscii);
        if (b <= 0x20 || outside || std::strchr(also, ch) != nullptr) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

struct CurlTransfer::Impl {
    QByteArray agent;
    TransferLimits limits;
    CURL* curl = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::function<void()> connected;

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
            Curl().easy_reset(curl);
        }
        errorBuffer[0] = '\0';
        Curl().easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
        Curl().easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        Curl().easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                           static_cast<long>(limits.connect.count()));
        Curl().easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
        Curl().easy_setopt(curl, CURLOPT_USERAGENT, agent.constData());
        if (limits.ipv4Only) {
            Curl().easy_setopt(curl, CURLOPT_IPRESOLVE, static_cast<long>(CURL_IPRESOLVE_V4));
        }
        Curl().easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Impl::OnPrereq);
        Curl().easy_setopt(curl, CURLOPT_PREREQDATA, this);
        if (!limits.caFile.isEmpty()) {
            Curl().easy_setopt(curl, CURLOPT_CAINFO, limits.caFile.toLocal8Bit().constData());
        }
        // libcurl calls this at least once a second in every state, waiting for a server that
        // connects back included: the way to end a transfer early.
        Curl().easy_setopt(curl, CURLOPT_NOPROGRESS, limits.cancel ? 0L : 1L);
        Curl().easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Impl::OnProgress);
        Curl().easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    }

    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        const auto* d = static_cast<Impl*>(self);
        return d->limits.cancel && d->limits.cancel->load() ? 1 : 0;
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
        const CURLcode code = Curl().easy_perform(curl);
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
                status.text = QString::fromUtf8(Curl().easy_strerror(code));
                long reply = 0;
                Curl().easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
                if (reply >= 400) {
                    status.text += QStringLiteral(" (server reply %1)").arg(reply);
                }
            }
        }
        return status;
    }

    // Runs an HTTP transfer whose options are set, into `reply`.
    void PerformHttp(HttpReply& r) {
        Curl().easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
        Curl().easy_setopt(curl, CURLOPT_HEADERDATA, this);
        Curl().easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
        Curl().easy_setopt(curl, CURLOPT_WRITEDATA, this);
        reply = &r;
        r.status = Perform();
        reply = nullptr;
        if (r.truncated && r.status.code == CURLE_WRITE_ERROR) {
            r.status = TransferStatus{};  // the reply was cut on purpose
        }
        long code = 0;
        Curl().easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
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
        Curl().easy_setopt(curl, CURLOPT_PROTOCOLS_STR, account.implicitTls ? "ftps" : "ftp");
        if (!account.user.isEmpty()) {
            Curl().easy_setopt(curl, CURLOPT_USERNAME, account.user.toUtf8().constData());
            Curl().easy_setopt(curl, CURLOPT_PASSWORD, account.password.toUtf8().constData());
        }
        if (account.implicitTls || account.requireTls) {
            Curl().easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
            // Passive mode: libcurl 7.87 and 7.88 open an active-mode data connection without
            // TLS, and no router can read an encrypted PORT command to let it through.
        } else {
            Curl().easy_setopt(curl, CURLOPT_FTPPORT, "-");
        }
        Curl().easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS,
                           static_cast<long>(limits.accept.count()));
        Curl().easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    }

    static TransferStatus Refused(const char* why) {
        TransferStatus status;
        status.code = CURLE_BAD_FUNCTION_ARGUMENT;
        status.text = QString::fromLatin1(why);
        return status;
    }
};

CurlTransfer::CurlTransfer(const QByteArray& agent, TransferLimits limits) : d(new Impl) {
    d->agent = agent;
    d->limits = std::move(limits);
    d->curl = Curl().easy_init ? Curl().easy_init() : nullptr;
}

CurlTransfer::~CurlTransfer() {
    if (d->curl) {
        Curl().easy_cleanup(d->curl);
    }
}

void CurlTransfer::SetConnectedCallback(std::function<void()> callback) {
    d->connected = std::move(callback);
}

const TransferLimits& CurlTransfer::Limits() const {
    return d->limits;
}

HttpReply CurlTransfer::Post(const HttpPostRequest& request) {
    HttpReply reply;
    if (!d->curl) {
        reply.status = Impl::Refused("libcurl could not be started");
        return reply;
    }
    d->Reset(d->lastWasPost);
    CURL* c = d->curl;
    Curl().easy_setopt(c, CURLOPT_URL, request.url.constData());
    Curl().easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    Curl().easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    Curl().easy_setopt(c, CURLOPT_PATH_AS_IS, 1L);
    Curl().easy_setopt(c, CURLOPT_POST, 1L);
    Curl().easy_setopt(c, CURLOPT_POSTFIELDS, "");
    Curl().easy_setopt(c, CURLOPT_POSTFIELDSIZE, 0L);
    SList headers;
    for (const QByteArray& h : request.headers) {
        headers.Add(h);
    }
    headers.Add("Content-Type:");  // no body, so no body type either
    Curl().easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);
    if (!request.user.isEmpty()) {
        Curl().easy_setopt(c, CURLOPT_HTTPAUTH, Impl::AnswerScheme(d->authOffered));
        Curl().easy_setopt(c, CURLOPT_USERNAME, request.user.toUtf8().constData());
        Curl().easy_setopt(c, CURLOPT_PASSWORD, request.password.toUtf8().constData());
    } else {
        Curl().easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        Curl().easy_setopt(c, CURLOPT_USERNAME, nullptr);
        Curl().easy_setopt(c, CURLOPT_PASSWORD, nullptr);
    }

    d->PerformHttp(reply);
    d->authOffered = CURLAUTH_NONE;
    Curl().easy_getinfo(c, CURLINFO_HTTPAUTH_AVAIL, &d->authOffered);
    d->lastWasPost = true;
    return reply;
}

HttpReply CurlTransfer::Fetch(const HttpFetchRequest& request) {
    HttpReply reply;
    if (!d->curl) {
        reply.status = Impl::Refused("libcurl could not be started");
        return reply;
    }
    d->lastWasPost = false;
    d->Reset();
    CURL* c = d->curl;
    Curl().easy_setopt(c, CURLOPT_URL, request.url.constData());
    Curl().easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    Curl().easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    SList headers;
    for (const QByteArray& h : request.headers) {
        headers.Add(h);
    }
    Curl().easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);
    if (!request.body.isNull()) {
        Curl().easy_setopt(c, CURLOPT_POSTFIELDS, request.body.constData());
        Curl().easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    }
    d->PerformHttp(reply);
    return reply;
}

TransferStatus CurlTransfer::FtpStore(const FtpAccount& account, const QString& path,
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
    Curl().easy_setopt(c, CURLOPT_URL, url.constData());
    Curl().easy_setopt(c, CURLOPT_UPLOAD, 1L);
    Curl().easy_setopt(c, CURLOPT_TRANSFERTEXT, 1L);
    Curl().easy_setopt(c, CURLOPT_READFUNCTION, &Impl::OnRead);
    Curl().easy_setopt(c, CURLOPT_READDATA, d.get());
    SList commands;
    for (const QString& command : afterwards) {
        commands.Add(command.toUtf8());
    }
    Curl().easy_setopt(c, CURLOPT_POSTQUOTE, commands.list);
    d->upload = &data;
    d->uploaded = 0;
    TransferStatus status = d->Perform();
    d->upload = nullptr;
    return status;
}

TransferStatus CurlTransfer::FtpCommands(const FtpAccount& account, const QStringList& commands) {
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
    Curl().easy_setopt(c, CURLOPT_URL, url.constData());
    Curl().easy_setopt(c, CURLOPT_NOBODY, 1L);
    SList list;
    for (const QString& command : commands) {
        list.Add(command.toUtf8());
    }
    Curl().easy_setopt(c, CURLOPT_QUOTE, list.list);
    return d->Perform();
}

TransferStatus CurlTransfer::Probe(const QString& host, quint16 port) {
    if (!d->curl) {
        return Impl::Refused("libcurl could not be started");
    }
    d->lastWasPost = false;
    d->Reset();
    CURL* c = d->curl;
    const QByteArray url = "http://" + HostForUrl(host) + ':' + QByteArray::number(port) + '/';
    Curl().easy_setopt(c, CURLOPT_URL, url.constData());
    Curl().easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
    Curl().easy_setopt(c, CURLOPT_CONNECT_ONLY, 1L);
    Curl().easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
    TransferStatus status = d->Perform();
    return status;
}

}  // namespace qv
