#include "platform/Transfer.h"

#include <QAbstractEventDispatcher>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <curl/curl.h>
#include <dlfcn.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <optional>
#include <type_traits>
#include <vector>

namespace qv {

static_assert(kFtpCommandRefused == CURLE_QUOTE_ERROR);
static_assert(kTransferCancelled == CURLE_ABORTED_BY_CALLBACK);
static_assert(kHostNotResolved == CURLE_COULDNT_RESOLVE_HOST);
static_assert(kTransferTimedOut == CURLE_OPERATION_TIMEDOUT);
static_assert(kFtpFolderRefused == CURLE_REMOTE_ACCESS_DENIED);

namespace {

using Clock = std::chrono::steady_clock;

// libcurl, loaded on the first transfer object: a program that never transfers (a listing
// without a router to ask) never pays for loading it and the libraries behind it.
struct CurlLibrary {
    decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_reset) easy_reset = nullptr;
    decltype(&curl_easy_setopt) easy_setopt = nullptr;
    decltype(&curl_easy_strerror) easy_strerror = nullptr;
    decltype(&curl_multi_add_handle) multi_add_handle = nullptr;
    decltype(&curl_multi_cleanup) multi_cleanup = nullptr;
    decltype(&curl_multi_info_read) multi_info_read = nullptr;
    decltype(&curl_multi_init) multi_init = nullptr;
    decltype(&curl_multi_remove_handle) multi_remove_handle = nullptr;
    decltype(&curl_multi_setopt) multi_setopt = nullptr;
    decltype(&curl_multi_socket_action) multi_socket_action = nullptr;
    decltype(&curl_slist_append) slist_append = nullptr;
    decltype(&curl_slist_free_all) slist_free_all = nullptr;
    bool loaded = false;

    CurlLibrary() {
        void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            return;
        }
        const auto take = [library](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                ::dlsym(library, name));
            return function != nullptr;
        };
        loaded =
            take(easy_cleanup, "curl_easy_cleanup") && take(easy_getinfo, "curl_easy_getinfo") &&
            take(easy_init, "curl_easy_init") && take(easy_reset, "curl_easy_reset") &&
            take(easy_setopt, "curl_easy_setopt") && take(easy_strerror, "curl_easy_strerror") &&
            take(multi_add_handle, "curl_multi_add_handle") &&
            take(multi_cleanup, "curl_multi_cleanup") &&
            take(multi_info_read, "curl_multi_info_read") && take(multi_init, "curl_multi_init") &&
            take(multi_remove_handle, "curl_multi_remove_handle") &&
            take(multi_setopt, "curl_multi_setopt") &&
            take(multi_socket_action, "curl_multi_socket_action") &&
            take(slist_append, "curl_slist_append") && take(slist_free_all, "curl_slist_free_all");
    }
};

const CurlLibrary& Curl() {
    static const CurlLibrary library;
    return library;
}

struct SList {
    curl_slist* list = nullptr;
    SList() = default;
    SList(const SList&) = delete;
    SList& operator=(const SList&) = delete;
    ~SList() { Clear(); }
    void Add(const QByteArray& line) { list = Curl().slist_append(list, line.constData()); }
    void Clear() {
        if (list) {
            Curl().slist_free_all(list);
            list = nullptr;
        }
    }
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

// "ftp://host:port/" (or "ftps://") followed by the path; a leading "/" is sent as %2F so that the
// server gets the absolute path.
QByteArray FtpUrl(const FtpAccount& account, const QString& path) {
    QByteArray url = QByteArray(account.implicitTls ? "ftps://" : "ftp://") +
                     account.host.toUtf8() + ':' + QByteArray::number(account.port) + '/';
    QString rest = path;
    if (rest.startsWith(QLatin1Char('/'))) {
        url += "%2F";
        rest.remove(0, 1);
    }
    return url + EncodeForUrl(rest, "#?%;");
}

// The event loop's side of a libcurl multi handle: libcurl says which sockets to watch and when
// to wake; each is handed back to curl_multi_socket_action, and a transfer that has ended is
// finished from there. Each transfer object has one, so that its connections end with it.
class MultiDriver {
  public:
    struct Client {
        virtual void Ended(CURLcode code) = 0;
        virtual ~Client() = default;
    };

    MultiDriver() : m_multi(Curl().loaded ? Curl().multi_init() : nullptr) {
        if (!m_multi) {
            return;  // no transfer can start: none is added
        }
        Curl().multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &MultiDriver::OnSocket);
        Curl().multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
        Curl().multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &MultiDriver::OnTimer);
        Curl().multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
        m_timer->setSingleShot(true);
        QObject::connect(m_timer, &QTimer::timeout, [this] {
            m_inTimer = true;
            Act(CURL_SOCKET_TIMEOUT, 0);  // may destroy this
        });
        Drivers().push_back(this);
    }
    ~MultiDriver() {
        std::erase(Drivers(), this);
        m_timer->stop();
        m_timer->disconnect();
        if (m_inTimer) {
            m_timer->deleteLater();  // its signal is being delivered
        } else {
            delete m_timer;
        }
        if (m_multi) {
            Curl().multi_cleanup(m_multi);  // closes the connections it keeps
        }
        for (auto& [socket, watch] : m_watches) {
            Drop(watch.read);
            Drop(watch.write);
        }
    }
    MultiDriver(const MultiDriver&) = delete;
    MultiDriver& operator=(const MultiDriver&) = delete;

    void Add(CURL* easy, Client* client) {
        m_client = client;
        m_easy = easy;
        Curl().multi_add_handle(m_multi, easy);
    }
    void Remove() {
        if (m_client) {
            m_client = nullptr;
            Curl().multi_remove_handle(m_multi, m_easy);
        }
    }

    // Runs the transfers of every driver of this thread, polling their sockets here.
    static bool RunUntil(const std::function<bool()>& finished, QDeadlineTimer deadline) {
        const auto running = [] {
            return std::any_of(Drivers().begin(), Drivers().end(),
                               [](const MultiDriver* d) { return d->m_client != nullptr; });
        };
        while (!finished() && running() && !deadline.hasExpired()) {
            std::vector<pollfd> fds;
            std::vector<MultiDriver*> owners;
            qint64 wait = deadline.remainingTime();
            for (MultiDriver* d : Drivers()) {
                for (const auto& [socket, watch] : d->m_watches) {
                    short events = 0;
                    events |= (watch.what & CURL_POLL_IN) ? POLLIN : 0;
                    events |= (watch.what & CURL_POLL_OUT) ? POLLOUT : 0;
                    fds.push_back({static_cast<int>(socket), events, 0});
                    owners.push_back(d);
                }
                if (d->m_due) {
                    const auto untilDue = std::max<qint64>(
                        0, std::chrono::ceil<std::chrono::milliseconds>(*d->m_due - Clock::now())
                               .count());
                    wait = wait < 0 ? untilDue : std::min(wait, untilDue);
                }
            }
            // Without a deadline or a timer of libcurl's, look again every second.
            wait = wait < 0 ? 1000 : std::min<qint64>(wait, 1000);
            ::poll(fds.data(), fds.size(), static_cast<int>(wait));
            // Each driver acts on what is its own; acting may end or start transfers and
            // drivers, so each is looked for again first.
            for (std::size_t i = 0; i < fds.size(); ++i) {
                const pollfd& p = fds[i];
                if (p.revents != 0 && std::count(Drivers().begin(), Drivers().end(), owners[i])) {
                    int flags = 0;
                    flags |= (p.revents & (POLLIN | POLLHUP)) ? CURL_CSELECT_IN : 0;
                    flags |= (p.revents & POLLOUT) ? CURL_CSELECT_OUT : 0;
                    flags |= (p.revents & POLLERR) ? CURL_CSELECT_ERR : 0;
                    owners[i]->Act(p.fd, flags);
                }
            }
            const std::vector<MultiDriver*> drivers = Drivers();
            for (MultiDriver* d : drivers) {
                if (std::count(Drivers().begin(), Drivers().end(), d) && d->m_due &&
                    Clock::now() >= *d->m_due) {
                    d->Act(CURL_SOCKET_TIMEOUT, 0);
                }
            }
        }
        return finished();
    }

  private:
    struct Watch {
        int what = 0;
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    static std::vector<MultiDriver*>& Drivers() {
        static thread_local std::vector<MultiDriver*> drivers;
        return drivers;
    }

    // Notifiers need the thread's event loop; without one, RunUntil polls the sockets itself.
    static bool HaveEventLoop() { return QAbstractEventDispatcher::instance() != nullptr; }

    static void Drop(QSocketNotifier*& notifier) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();  // it may be the one whose signal is being delivered
            notifier = nullptr;
        }
    }

    static int OnSocket(CURL*, curl_socket_t socket, int what, void* self, void*) {
        auto* d = static_cast<MultiDriver*>(self);
        if (what == CURL_POLL_REMOVE) {
            const auto found = d->m_watches.find(socket);
            if (found != d->m_watches.end()) {
                Drop(found->second.read);
                Drop(found->second.write);
                d->m_watches.erase(found);
            }
            return 0;
        }
        Watch& watch = d->m_watches[socket];
        watch.what = what;
        if (!HaveEventLoop()) {
            return 0;
        }
        const auto want = [&](QSocketNotifier*& notifier, QSocketNotifier::Type type, bool on,
                              int flag) {
            if (!on) {
                Drop(notifier);
            } else if (!notifier) {
                notifier = new QSocketNotifier(socket, type);
                QObject::connect(notifier, &QSocketNotifier::activated,
                                 [d, socket, flag] { d->Act(socket, flag); });
            }
        };
        want(watch.read, QSocketNotifier::Read, what & CURL_POLL_IN, CURL_CSELECT_IN);
        want(watch.write, QSocketNotifier::Write, what & CURL_POLL_OUT, CURL_CSELECT_OUT);
        return 0;
    }

    static int OnTimer(CURLM*, long timeoutMs, void* self) {
        auto* d = static_cast<MultiDriver*>(self);
        if (timeoutMs < 0) {
            d->m_due.reset();
            d->m_timer->stop();
            return 0;
        }
        d->m_due = Clock::now() + std::chrono::milliseconds(timeoutMs);
        if (HaveEventLoop()) {
            d->m_timer->start(static_cast<int>(std::min<long>(timeoutMs, INT_MAX)));
        }
        return 0;
    }

    // Finishing the transfer may destroy this driver with its transfer object.
    void Act(curl_socket_t socket, int flags) {
        if (socket == CURL_SOCKET_TIMEOUT) {
            m_due.reset();
        }
        int running = 0;
        Curl().multi_socket_action(m_multi, socket, flags, &running);
        m_inTimer = false;
        int left = 0;
        while (CURLMsg* message = Curl().multi_info_read(m_multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy && m_client) {
                const CURLcode code = message->data.result;
                Client* client = m_client;
                Remove();
                client->Ended(code);
                return;
            }
        }
    }

    CURLM* m_multi;
    CURL* m_easy = nullptr;
    Client* m_client = nullptr;  // the running transfer's
    QTimer* m_timer = new QTimer;
    bool m_inTimer = false;  // Act runs from the timer's signal
    std::optional<Clock::time_point> m_due;
    std::map<curl_socket_t, Watch> m_watches;
};

}  // namespace

struct CurlTransfer::Impl : MultiDriver::Client {
    MultiDriver driver;  // before `curl`: the handle is taken out of it before it is cleaned up
    QByteArray agent;
    TransferLimits limits;
    CURL* curl = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::function<void()> connected;

    // The running transfer: what it needs while it runs, and whom to tell when it ends.
    bool running = false;
    bool http = false;
    bool post = false;
    ReplyDone replyDone;
    StatusDone statusDone;
    HttpReply reply;
    QByteArray url;
    QByteArray upload;
    qsizetype uploaded = 0;
    SList headers, commands;
    QByteArray user, password;
    QByteArray lastConnection;  // local address and port of the last connection reported

    // The last call was a POST; the authentication schemes its reply offered.
    bool lastWasPost = false;
    long authOffered = CURLAUTH_NONE;

    ~Impl() override {
        driver.Remove();
        if (curl) {
            Curl().easy_cleanup(curl);
        }
    }

    // Sets the options every transfer has. A POST that follows a POST keeps the handle's
    // authentication state (the Digest challenge it got), so that the answer goes out at once.
    void Reset(bool keepAuthState = false) {
        if (!keepAuthState) {
            Curl().easy_reset(curl);
        }
        headers.Clear();
        commands.Clear();
        errorBuffer[0] = '\0';
        Curl().easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
        Curl().easy_setopt(curl, CURLOPT_PRIVATE, this);
        Curl().easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        Curl().easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                           static_cast<long>(limits.connect.count()));
        Curl().easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
        Curl().easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        Curl().easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.stall.count()));
        Curl().easy_setopt(curl, CURLOPT_USERAGENT, agent.constData());
        if (limits.ipv4Only) {
            Curl().easy_setopt(curl, CURLOPT_IPRESOLVE, static_cast<long>(CURL_IPRESOLVE_V4));
        }
        Curl().easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Impl::OnPrereq);
        Curl().easy_setopt(curl, CURLOPT_PREREQDATA, this);
        if (!limits.caFile.isEmpty()) {
            Curl().easy_setopt(curl, CURLOPT_CAINFO, limits.caFile.toLocal8Bit().constData());
        }
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

    void SetHttp(const QByteArray& requestUrl, const QList<QByteArray>& lines) {
        url = requestUrl;
        Curl().easy_setopt(curl, CURLOPT_URL, url.constData());
        Curl().easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        Curl().easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        for (const QByteArray& h : lines) {
            headers.Add(h);
        }
        Curl().easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
        Curl().easy_setopt(curl, CURLOPT_HEADERDATA, this);
        Curl().easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
        Curl().easy_setopt(curl, CURLOPT_WRITEDATA, this);
    }

    void SetFtpAccount(const FtpAccount& account) {
        Curl().easy_setopt(curl, CURLOPT_PROTOCOLS_STR, account.implicitTls ? "ftps" : "ftp");
        if (!account.user.isEmpty()) {
            user = account.user.toUtf8();
            password = account.password.toUtf8();
            Curl().easy_setopt(curl, CURLOPT_USERNAME, user.constData());
            Curl().easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
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

    void StartHttp(bool isPost, ReplyDone done) {
        http = true;
        post = isPost;
        replyDone = std::move(done);
        reply = HttpReply{};
        Start();
    }

    void StartFtp(StatusDone done) {
        http = false;
        post = false;
        statusDone = std::move(done);
        Start();
    }

    void Start() {
        running = true;
        driver.Add(curl, this);
    }

    TransferStatus StatusOf(CURLcode code) {
        TransferStatus status;
        status.code = code;
        if (code != CURLE_OK) {
            long osError = 0;
            if (curl) {
                Curl().easy_getinfo(curl, CURLINFO_OS_ERRNO, &osError);
            }
            status.osError = static_cast<int>(osError);
            status.text = QString::fromUtf8(errorBuffer).trimmed();
            // libcurl 7.88 keeps the first message it wrote, and in FTP active mode that is a
            // harmless complaint about the accepted data connection: take the code's own text
            // and the server's last reply instead.
            if (status.text.isEmpty() ||
                (status.text.startsWith(QLatin1String("sa_addr inet_ntop()")) &&
                 code != CURLE_COULDNT_CONNECT)) {
                status.text = QString::fromUtf8(Curl().easy_strerror(code));
                long serverReply = 0;
                Curl().easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &serverReply);
                if (serverReply >= 400) {
                    status.text += QStringLiteral(" (server reply %1)").arg(serverReply);
                }
            }
        }
        return status;
    }

    // The transfer has ended, or is ended here. `done` may destroy this object.
    void Ended(CURLcode code) override {
        running = false;
        const TransferStatus status = StatusOf(code);
        upload.clear();
        user.clear();
        password.clear();
        if (!http) {
            lastWasPost = false;
            std::exchange(statusDone, nullptr)(status);
            return;
        }
        HttpReply r = std::move(reply);
        r.status = status;
        if (r.truncated && r.status.code == CURLE_WRITE_ERROR) {
            r.status = TransferStatus{};  // the reply was cut on purpose
        }
        long httpCode = 0;
        if (curl) {
            Curl().easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &httpCode);
        }
        r.httpCode = static_cast<int>(httpCode);
        authOffered = CURLAUTH_NONE;
        if (post && curl) {
            Curl().easy_getinfo(curl, CURLINFO_HTTPAUTH_AVAIL, &authOffered);
        }
        lastWasPost = post;
        std::exchange(replyDone, nullptr)(r);
    }

    // Refuses, at once, a call that libcurl cannot run or whose FTP path or commands (`ftpText`)
    // hold a line break.
    bool Refused(const QString& ftpText, StatusDone& done) {
        if (curl && !HasLineBreakOrNul(ftpText)) {
            return false;
        }
        http = false;
        statusDone = std::move(done);
        Refuse(curl ? "The remote file name holds a line break" : "libcurl could not be started");
        return true;
    }

    // Sets up an FTP transfer of `path` with the account's log-in.
    void SetFtp(const FtpAccount& account, const QString& path, const QStringList& lines) {
        Reset();
        SetFtpAccount(account);
        url = FtpUrl(account, path);
        Curl().easy_setopt(curl, CURLOPT_URL, url.constData());
        for (const QString& line : lines) {
            commands.Add(line.toUtf8());
        }
    }

    // Ends a call that cannot start, at once.
    void Refuse(const char* why) {
        std::memset(errorBuffer, 0, sizeof errorBuffer);
        std::strncpy(errorBuffer, why, sizeof errorBuffer - 1);
        Ended(CURLE_BAD_FUNCTION_ARGUMENT);
    }

    static int OnPrereq(void* p, char* remoteIp, char* localIp, int remotePort, int localPort) {
        auto* d = static_cast<Impl*>(p);
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

    static size_t OnHeader(char* data, size_t size, size_t count, void* p) {
        auto* d = static_cast<Impl*>(p);
        const size_t n = size * count;
        // A new status line starts a new response (an interim 100, or an authentication round):
        // only the last response counts.
        if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
            d->reply.headers.clear();
            d->reply.body.clear();
            d->reply.truncated = false;
        }
        d->reply.headers.append(data, static_cast<qsizetype>(n));
        return n;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* p) {
        auto* d = static_cast<Impl*>(p);
        const size_t n = size * count;
        HttpReply& r = d->reply;
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

    static size_t OnRead(char* buffer, size_t size, size_t count, void* p) {
        auto* d = static_cast<Impl*>(p);
        const qsizetype left = d->upload.size() - d->uploaded;
        const qsizetype n = std::min<qsizetype>(left, static_cast<qsizetype>(size * count));
        std::memcpy(buffer, d->upload.constData() + d->uploaded, static_cast<size_t>(n));
        d->uploaded += n;
        return static_cast<size_t>(n);
    }
};

CurlTransfer::CurlTransfer(const QByteArray& agent, TransferLimits limits) : d(new Impl) {
    d->agent = agent;
    d->limits = std::move(limits);
    d->curl = Curl().loaded ? Curl().easy_init() : nullptr;
}

CurlTransfer::~CurlTransfer() = default;

void CurlTransfer::SetConnectedCallback(std::function<void()> callback) {
    d->connected = std::move(callback);
}

void CurlTransfer::Cancel() {
    if (d->running) {
        d->driver.Remove();
        std::strncpy(d->errorBuffer, "The transfer was cancelled", sizeof d->errorBuffer - 1);
        d->Ended(CURLE_ABORTED_BY_CALLBACK);
    }
}

void CurlTransfer::Post(const HttpPostRequest& request, ReplyDone done) {
    if (!d->curl) {
        d->replyDone = std::move(done);
        d->http = true;
        d->Refuse("libcurl could not be started");
        return;
    }
    d->Reset(d->lastWasPost);
    CURL* c = d->curl;
    d->SetHttp(request.url, request.headers);
    Curl().easy_setopt(c, CURLOPT_PATH_AS_IS, 1L);
    Curl().easy_setopt(c, CURLOPT_POST, 1L);
    Curl().easy_setopt(c, CURLOPT_POSTFIELDS, "");
    Curl().easy_setopt(c, CURLOPT_POSTFIELDSIZE, 0L);
    d->headers.Add("Content-Type:");  // no body, so no body type either
    Curl().easy_setopt(c, CURLOPT_HTTPHEADER, d->headers.list);
    if (!request.user.isEmpty()) {
        d->user = request.user.toUtf8();
        d->password = request.password.toUtf8();
        Curl().easy_setopt(c, CURLOPT_HTTPAUTH, Impl::AnswerScheme(d->authOffered));
        Curl().easy_setopt(c, CURLOPT_USERNAME, d->user.constData());
        Curl().easy_setopt(c, CURLOPT_PASSWORD, d->password.constData());
    } else {
        Curl().easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        Curl().easy_setopt(c, CURLOPT_USERNAME, nullptr);
        Curl().easy_setopt(c, CURLOPT_PASSWORD, nullptr);
    }
    d->StartHttp(true, std::move(done));
}

void CurlTransfer::Fetch(const HttpFetchRequest& request, ReplyDone done) {
    if (!d->curl) {
        d->replyDone = std::move(done);
        d->http = true;
        d->Refuse("libcurl could not be started");
        return;
    }
    d->Reset();
    CURL* c = d->curl;
    d->SetHttp(request.url, request.headers);
    Curl().easy_setopt(c, CURLOPT_HTTPHEADER, d->headers.list);
    if (!request.body.isNull()) {
        d->upload = request.body;
        Curl().easy_setopt(c, CURLOPT_POSTFIELDS, d->upload.constData());
        Curl().easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(d->upload.size()));
    }
    d->StartHttp(false, std::move(done));
}

void CurlTransfer::FtpStore(const FtpAccount& account, const QString& path, const QByteArray& data,
                            const QStringList& afterwards, StatusDone done) {
    if (d->Refused(path + afterwards.join(QString()), done)) {
        return;
    }
    d->SetFtp(account, path, afterwards);
    CURL* c = d->curl;
    // Missing folders of the path are made on the way, one at a time (a folder another client
    // made meanwhile is entered). The commands afterwards name absolute paths.
    Curl().easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_MULTICWD));
    Curl().easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS,
                       static_cast<long>(CURLFTP_CREATE_DIR_RETRY));
    Curl().easy_setopt(c, CURLOPT_UPLOAD, 1L);
    Curl().easy_setopt(c, CURLOPT_TRANSFERTEXT, 1L);
    Curl().easy_setopt(c, CURLOPT_READFUNCTION, &Impl::OnRead);
    Curl().easy_setopt(c, CURLOPT_READDATA, d.get());
    Curl().easy_setopt(c, CURLOPT_POSTQUOTE, d->commands.list);
    d->upload = data;
    d->uploaded = 0;
    d->StartFtp(std::move(done));
}

void CurlTransfer::FtpCommands(const FtpAccount& account, const QStringList& commands,
                               StatusDone done) {
    if (d->Refused(commands.join(QString()), done)) {
        return;
    }
    d->SetFtp(account, QStringLiteral("/"), commands);
    Curl().easy_setopt(d->curl, CURLOPT_NOBODY, 1L);
    Curl().easy_setopt(d->curl, CURLOPT_QUOTE, d->commands.list);
    d->StartFtp(std::move(done));
}

void CurlTransfer::Probe(const QString& host, quint16 port, StatusDone done) {
    if (d->Refused(QString(), done)) {
        return;
    }
    d->Reset();
    CURL* c = d->curl;
    d->url = "http://" + host.toUtf8() + ':' + QByteArray::number(port) + '/';
    Curl().easy_setopt(c, CURLOPT_URL, d->url.constData());
    Curl().easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
    Curl().easy_setopt(c, CURLOPT_CONNECT_ONLY, 1L);
    Curl().easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
    d->StartFtp(std::move(done));
}

bool RunTransfersUntil(const std::function<bool()>& finished, QDeadlineTimer deadline) {
    return MultiDriver::RunUntil(finished, deadline);
}

}  // namespace qv
