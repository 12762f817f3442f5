#include "platform/Resolver.h"

#include "platform/HostsFile.h"
#include "platform/NetTables.h"

#include <QSocketNotifier>
#include <QTimer>

#include <ares.h>
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>

namespace qv {

namespace {

using Clock = std::chrono::steady_clock;

// Cached answers are kept at most this long, whatever their time to live says.
constexpr int kMaxCacheSeconds = 24 * 3600;

void InitAresOnce() {
    static const int status = ares_library_init(ARES_LIB_INIT_ALL);
    (void)status;
}

// "d.c.b.a.in-addr.arpa" for an address in network order.
QByteArray PtrName(std::uint32_t addr) {
    unsigned char b[4];
    std::memcpy(b, &addr, 4);
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u.in-addr.arpa", b[3], b[2], b[1], b[0]);
    return QByteArray(text);
}

// The nibbles in reverse order under "ip6.arpa".
QByteArray PtrName(const Ipv6Bytes& addr) {
    static constexpr char kHex[] = "0123456789abcdef";
    QByteArray name;
    name.reserve(72);
    for (auto b = addr.rbegin(); b != addr.rend(); ++b) {
        name += kHex[*b & 0xF];
        name += '.';
        name += kHex[*b >> 4];
        name += '.';
    }
    return name + "ip6.arpa";
}

// A cache key: the address bytes (4 for IPv4, 16 for IPv6) and their count.
struct CacheKey {
    Ipv6Bytes bytes{};
    std::uint8_t length = 0;

    CacheKey(const std::uint8_t* data, std::size_t size) : length(static_cast<std::uint8_t>(size)) {
        std::memcpy(bytes.data(), data, size);
    }
    explicit CacheKey(std::uint32_t addr)
        : CacheKey(reinterpret_cast<const std::uint8_t*>(&addr), 4) {}
    explicit CacheKey(const Ipv6Bytes& addr) : CacheKey(addr.data(), addr.size()) {}
    bool operator==(const CacheKey&) const = default;
};

struct CacheKeyHash {
    std::size_t operator()(const CacheKey& key) const {
        std::uint64_t high, low;
        std::memcpy(&high, key.bytes.data(), 8);
        std::memcpy(&low, key.bytes.data() + 8, 8);
        // Multiplied so that addresses differing only in their last bytes spread over the table.
        const std::uint64_t mixed =
            (high ^ (low * 0x9E3779B97F4A7C15ULL) ^ key.length) * 0xC2B2AE3D27D4EB4FULL;
        return static_cast<std::size_t>(mixed ^ (mixed >> 29));
    }
};

// Skips a (possibly compressed) name; returns the position after it or -1.
long SkipName(const unsigned char* buf, long len, long pos) {
    while (pos < len) {
        const unsigned char c = buf[pos];
        if (c == 0) {
            return pos + 1;
        }
        if ((c & 0xC0) == 0xC0) {
            return pos + 2 <= len ? pos + 2 : -1;
        }
        pos += 1 + c;
    }
    return -1;
}

// The smallest time to live of the answer records of a DNS reply; 0 when it has none.
unsigned MinAnswerTtl(const unsigned char* buf, int len) {
    if (len < 12) {
        return 0;
    }
    const int questions = (buf[4] << 8) | buf[5];
    const int answers = (buf[6] << 8) | buf[7];
    long pos = 12;
    for (int q = 0; q < questions && pos >= 0; ++q) {
        pos = SkipName(buf, len, pos);
        pos = pos < 0 ? -1 : pos + 4;
    }
    unsigned ttl = 0;
    bool any = false;
    for (int a = 0; a < answers && pos >= 0; ++a) {
        pos = SkipName(buf, len, pos);
        if (pos < 0 || pos + 10 > len) {
            break;
        }
        const unsigned t = (unsigned(buf[pos + 4]) << 24) | (unsigned(buf[pos + 5]) << 16) |
                           (unsigned(buf[pos + 6]) << 8) | unsigned(buf[pos + 7]);
        ttl = any ? std::min(ttl, t) : t;
        any = true;
        pos += 10 + ((buf[pos + 8] << 8) | buf[pos + 9]);
    }
    return ttl;
}

// The first address that is not a loopback one, else the first one, as dotted text.
std::optional<QString> Preferred(const std::vector<std::uint32_t>& addrs) {
    for (const std::uint32_t a : addrs) {
        if ((ntohl(a) >> 24) != 127) {
            return DottedAddress(a);
        }
    }
    return addrs.empty() ? std::nullopt : std::optional<QString>(DottedAddress(addrs.front()));
}

}  // namespace

// Results remembered between batches, by address.
struct ResolverCache {
    struct Entry {
        ReverseLookupResult result;
        Clock::time_point until;
    };
    std::unordered_map<CacheKey, Entry, CacheKeyHash> entries;
    // The last forward look-up that needed the name servers.
    QString forwardName;
    std::optional<QString> forwardResult;
    Clock::time_point forwardUntil;

    const ReverseLookupResult* Find(const CacheKey& key, Clock::time_point now) {
        const auto it = entries.find(key);
        if (it == entries.end()) {
            return nullptr;
        }
        if (now >= it->second.until) {
            entries.erase(it);
            return nullptr;
        }
        return &it->second.result;
    }
    void Put(const CacheKey& key, const ReverseLookupResult& result, unsigned seconds,
             Clock::time_point now) {
        if (seconds == 0) {
            return;
        }
        if (entries.size() >= kPruneAt) {  // addresses come and go: forget the expired ones
            std::erase_if(entries, [now](const auto& e) { return now >= e.second.until; });
            // A storm of addresses that come and go faster than their answers expire: the cache
            // starts over, and gives its table back, rather than grow with the storm.
            if (entries.size() >= kPruneAt) {
                entries.clear();
                entries.rehash(0);
            }
        }
        entries[key] = {result, now + std::chrono::seconds(seconds)};
    }
    // Starts over, giving its table back, when it holds more than twice the addresses a refresh
    // asks about and a margin: the answers about addresses long gone would otherwise keep the
    // heap a storm made.
    void FitTo(std::size_t addresses) {
        if (entries.size() > 2 * addresses + kMargin) {
            entries.clear();
            entries.rehash(0);
        }
    }
    static constexpr std::size_t kPruneAt = 16384;
    static constexpr std::size_t kMargin = 256;
};

namespace {

// One c-ares channel with its sockets watched by the event loop: the reverse look-ups of one
// batch. Answers come from the socket and timer handlers; a query that fails as it is sent is
// answered at once. The queries go out in a window: the first query alone, then, when it has
// ended or kWidenMs have passed, kFirstWindow of them; the window grows by one with each answer
// and doubles every kWidenMs. A name server that refuses at once thus costs one exchange, not one
// per address: when the first query to end has been refused (or has had no answer) on every
// server, the queries still waiting get the same failure at once, and those not yet sent are
// never sent. Once any answer has come, even one cut short, each query ends on
// its own (a server may refuse only the TCP retry of a long answer). A slow server still has
// every query within a few widenings.
class DnsBatch : public QObject, public PendingLookups {
  public:
    DnsBatch(std::shared_ptr<ResolverCache> cache, ReverseLookupAnswer answer)
        : m_cache(std::move(cache)), m_answer(std::move(answer)) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, this,
                         [this] { Process(ARES_SOCKET_BAD, ARES_SOCKET_BAD); });
        m_widen.setInterval(kWidenMs);
        QObject::connect(&m_widen, &QTimer::timeout, this, [this] {
            m_window = std::max(m_window * 2, kFirstWindow);
            SendMore();
        });
    }

    ~DnsBatch() override {
        if (m_channel) {
            m_closeWanted = true;
            ares_destroy(m_channel);  // runs the callbacks of the queries left, which ignore it
        }
    }

    // ARES_SUCCESS, or why the channel cannot be set up (no memory, unreadable configuration).
    int Open(int timeoutMs) {
        InitAresOnce();
        ares_options options{};
        char lookups[] = "b";  // the hosts file is read by the resolver itself
        options.lookups = lookups;
        // Two tries (the second waits twice as long) end within about 90 % of the time allowed.
        options.timeout = std::max(50, timeoutMs * 3 / 10);
        options.tries = 2;
        options.sock_state_cb = &DnsBatch::SocketState;
        options.sock_state_cb_data = this;
        const int status = ares_init_options(
            &m_channel, &options,
            ARES_OPT_LOOKUPS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_SOCK_STATE_CB);
        if (status == ARES_SUCCESS) {
            ares_set_socket_callback(m_channel, &DnsBatch::SocketOpened, this);
        }
        return status;
    }

    // The forward look-up of `name` (IPv4) on this channel; answered through `answer`.
    void QueryAddress(const QString& name, ForwardLookupAnswer answer) {
        m_forward = {std::move(answer), name};
        ++m_open;
        ares_gethostbyname(m_channel, name.toLocal8Bit().constData(), AF_INET,
                           &DnsBatch::AddressAnswered, this);
    }

    // Queues the reverse look-up of `addr`; Send() sends what the window allows.
    void Query(std::size_t index, std::uint32_t addr) {
        Pending p{this, index, AF_INET, {}};
        std::memcpy(p.addr.data(), &addr, sizeof addr);
        m_queries.push_back(p);
        ++m_open;
    }
    void Query(std::size_t index, const Ipv6Bytes& addr) {
        m_queries.push_back({this, index, AF_INET6, addr});
        ++m_open;
    }
    // Sends queued queries while the window has room. Answers that come meanwhile (a query that
    // fails as it is sent) only widen the window; the loop here sends on.
    void Send() {
        if (m_sending) {
            return;
        }
        m_sending = true;
        while (m_sent < m_queries.size() && m_sent - m_answered < m_window) {
            Pending& p = m_queries[m_sent++];
            const QByteArray name =
                p.family == AF_INET6 ? PtrName(p.addr) : PtrName(Ipv4Of(p.addr));
            // The entries of a deque stay where they are while it grows.
            ares_query(m_channel, name.constData(), 1 /* IN */, 12 /* PTR */, &DnsBatch::Answered,
                       &p);
        }
        m_sending = false;
        if (m_sent == m_queries.size()) {
            m_widen.stop();
        } else if (!m_widen.isActive()) {
            m_widen.start();
        }
    }
    // Called once the first queries are sent.
    void ArmTimer() {
        timeval tv{};
        if (m_open > 0 && ares_timeout(m_channel, nullptr, &tv)) {
            m_timer.start(static_cast<int>(tv.tv_sec * 1000 + (tv.tv_usec + 999) / 1000));
        } else {
            m_timer.stop();
        }
    }
    bool HasOpenQueries() const { return m_open > 0; }

  private:
    struct Pending {
        DnsBatch* batch;
        std::size_t index;
        int family;
        Ipv6Bytes addr;  // an IPv4 address in its first 4 bytes
        bool answered = false;

        int Length() const { return family == AF_INET6 ? 16 : 4; }
        CacheKey Key() const { return CacheKey(addr.data(), static_cast<std::size_t>(Length())); }
    };

    static std::uint32_t Ipv4Of(const Ipv6Bytes& bytes) {
        std::uint32_t addr;
        std::memcpy(&addr, bytes.data(), sizeof addr);
        return addr;
    }

    // Caches and hands on the result of a query, once.
    void Finish(Pending& query, const ReverseLookupResult& result, unsigned ttl,
                Clock::time_point now) {
        query.answered = true;
        --m_open;
        m_cache->Put(query.Key(), result, ttl, now);
        m_answer(query.index, result);
    }

    // The servers, silent so far, refused or did not answer a query on every try: the other
    // queries would fare no better, and get the same failure now. Those sent are left to c-ares,
    // whose late answers are ignored.
    void FailTheRest(int status) {
        const ReverseLookupResult failed{{}, LookupErrorFromAres(status)};
        m_sent = m_queries.size();
        const auto now = Clock::now();
        for (Pending& query : m_queries) {
            if (!query.answered) {
                Finish(query, failed, SystemResolver::kFailureCacheSeconds, now);
            }
        }
    }

    // c-ares opens a TCP connection only to fetch an answer that a server sent cut short.
    static int SocketOpened(ares_socket_t, int type, void* data) {
        if (type == SOCK_STREAM) {
            static_cast<DnsBatch*>(data)->m_heard = true;
        }
        return ARES_SUCCESS;
    }

    static void SocketState(void* data, ares_socket_t fd, int readable, int writable) {
        auto* self = static_cast<DnsBatch*>(data);
        if (self->m_closeWanted) {
            return;
        }
        auto& watch = self->m_sockets[fd];
        if (!watch.read && (readable || writable)) {
            watch.read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            watch.write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
            QObject::connect(watch.read.get(), &QSocketNotifier::activated, self,
                             [self, fd] { self->Process(fd, ARES_SOCKET_BAD); });
            QObject::connect(watch.write.get(), &QSocketNotifier::activated, self,
                             [self, fd] { self->Process(ARES_SOCKET_BAD, fd); });
        }
        // A closed socket's notifiers are switched off, not deleted: this may run inside one
        // of their own handlers. The same descriptor number may come back later.
        if (watch.read) {
            watch.read->setEnabled(readable != 0);
            watch.write->setEnabled(writable != 0);
        }
    }

    static void Answered(void* arg, int status, int, unsigned char* buf, int len) {
        auto* query = static_cast<Pending*>(arg);
        DnsBatch* self = query->batch;
        if (self->m_closeWanted || query->answered) {
            return;
        }
        ++self->m_answered;
        self->m_window = std::max(self->m_window + 1, kFirstWindow);
        ReverseLookupResult result;
        unsigned ttl = 0;
        if (status == ARES_SUCCESS) {
            hostent* host = nullptr;
            status = ares_parse_ptr_reply(buf, len, query->addr.data(), query->Length(),
                                          query->family, &host);
            if (status == ARES_SUCCESS && host && host->h_name && host->h_name[0]) {
                result.name = QString::fromLocal8Bit(host->h_name);
                ttl = std::min<unsigned>(MinAnswerTtl(buf, len), kMaxCacheSeconds);
            } else if (status == ARES_SUCCESS) {
                status = ARES_ENODATA;
            }
            if (host) {
                ares_free_hostent(host);
            }
        }
        if (status != ARES_SUCCESS) {
            result.error = LookupErrorFromAres(status);
            ttl = SystemResolver::kFailureCacheSeconds;
        }
        self->Finish(*query, result, ttl, Clock::now());
        if (status != ARES_ECONNREFUSED && status != ARES_ETIMEOUT) {
            self->m_heard = true;
        } else if (!self->m_heard) {
            self->FailTheRest(status);
        }
    }

    static void AddressAnswered(void* arg, int status, int, hostent* host) {
        auto* self = static_cast<DnsBatch*>(arg);
        --self->m_open;
        if (self->m_closeWanted) {
            return;
        }
        std::vector<std::uint32_t> addrs;
        if (status == ARES_SUCCESS && host && host->h_length == 4) {
            for (char** a = host->h_addr_list; *a; ++a) {
                std::uint32_t v;
                std::memcpy(&v, *a, 4);
                addrs.push_back(v);
            }
        }
        ResolverCache& cache = *self->m_cache;
        cache.forwardName = self->m_forward.name;
        cache.forwardResult = Preferred(addrs);
        cache.forwardUntil =
            Clock::now() + std::chrono::seconds(SystemResolver::kFailureCacheSeconds);
        self->m_forward.answer(cache.forwardResult);
    }

    void Process(ares_socket_t readFd, ares_socket_t writeFd) {
        ares_process_fd(m_channel, readFd, writeFd);
        SendMore();
    }

    // Sends what the window now allows. Answers and retries only move the earliest time-out
    // later, so a timer still running is early enough; asking c-ares (which walks every query)
    // after each answer is not.
    void SendMore() {
        Send();
        if (!m_timer.isActive()) {
            ArmTimer();
        }
    }

    struct Watch {
        std::unique_ptr<QSocketNotifier> read, write;
    };

    std::shared_ptr<ResolverCache> m_cache;
    ReverseLookupAnswer m_answer;
    ares_channel m_channel = nullptr;
    bool m_closeWanted = false;
    std::size_t m_open = 0;  // queries not answered yet, sent or not (and the forward one)
    std::deque<Pending> m_queries;
    std::size_t m_sent = 0;      // the queries before this position have been sent
    std::size_t m_answered = 0;  // answers to sent queries
    std::size_t m_window = 1;    // how many sent queries may wait for their answers
    bool m_sending = false;
    bool m_heard = false;  // a server has answered a query (or cut an answer short)
    static constexpr std::size_t kFirstWindow = 64;
    static constexpr int kWidenMs = 50;
    struct {
        ForwardLookupAnswer answer;
        QString name;
    } m_forward;
    std::unordered_map<ares_socket_t, Watch> m_sockets;
    QTimer m_timer;
    QTimer m_widen;  // while queries wait to be sent
};

// The reverse look-ups of `addrs`: from the hosts file, the cache, and else one DNS batch.
template <typename Address>
std::unique_ptr<PendingLookups> StartLookups(HostsFile& hosts,
                                             const std::shared_ptr<ResolverCache>& cache,
                                             const std::vector<Address>& addrs, int timeoutMs,
                                             const ReverseLookupAnswer& answer) {
    hosts.Load();
    // No rehash while answers come, within the cache's bound.
    cache->entries.reserve(std::min(cache->entries.size() + addrs.size(), ResolverCache::kPruneAt));
    std::unique_ptr<DnsBatch> batch;
    const auto now = Clock::now();
    for (std::size_t i = 0; i < addrs.size(); ++i) {
        if (const auto name = hosts.NameOf(addrs[i])) {
            answer(i, {*name, kLookupOk});
            continue;
        }
        if (const ReverseLookupResult* cached = cache->Find(CacheKey(addrs[i]), now)) {
            answer(i, *cached);
            continue;
        }
        if (!batch) {
            batch = std::make_unique<DnsBatch>(cache, answer);
            if (const int status = batch->Open(timeoutMs); status != ARES_SUCCESS) {
                batch.reset();
                answer(i, {{}, LookupErrorFromAres(status)});
                continue;
            }
        }
        batch->Query(i, addrs[i]);
    }
    if (batch) {
        batch->Send();
    }
    if (batch && !batch->HasOpenQueries()) {
        batch.reset();  // everything was answered at once (a refused connection, say)
    } else if (batch) {
        batch->ArmTimer();
    }
    return batch;
}

}  // namespace

SystemResolver::SystemResolver()
    : m_hosts(std::make_unique<HostsFile>()), m_cache(std::make_shared<ResolverCache>()) {}

SystemResolver::~SystemResolver() = default;

std::optional<QString> SystemResolver::HostName() const {
    char buf[HOST_NAME_MAX + 1] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(buf);
}

std::unique_ptr<PendingLookups> SystemResolver::StartForwardLookup(const QString& name,
                                                                   int timeoutMs,
                                                                   ForwardLookupAnswer answer) {
    m_hosts->Load();
    const std::vector<std::uint32_t> listed = m_hosts->AddressesOf(name);
    if (!listed.empty()) {
        answer(Preferred(listed));
        return nullptr;
    }
    if (name == m_cache->forwardName && Clock::now() < m_cache->forwardUntil) {
        answer(m_cache->forwardResult);
        return nullptr;
    }
    auto batch = std::make_unique<DnsBatch>(m_cache, ReverseLookupAnswer());
    if (batch->Open(timeoutMs) != ARES_SUCCESS) {
        answer(std::nullopt);
        return nullptr;
    }
    auto done = std::make_shared<bool>(false);
    batch->QueryAddress(name, [answer = std::move(answer), done](const auto& address) {
        *done = true;
        answer(address);
    });
    if (*done) {
        return nullptr;
    }
    batch->ArmTimer();
    return batch;
}

void SystemResolver::FitCacheTo(std::size_t addresses) {
    m_cache->FitTo(addresses);
}

std::unique_ptr<PendingLookups> SystemResolver::StartReverseLookups(
    const std::vector<std::uint32_t>& addrs, int timeoutMs, ReverseLookupAnswer answer) {
    return StartLookups(*m_hosts, m_cache, addrs, timeoutMs, answer);
}

std::unique_ptr<PendingLookups> SystemResolver::StartIpv6ReverseLookups(
    const std::vector<Ipv6Bytes>& addrs, int timeoutMs, ReverseLookupAnswer answer) {
    return StartLookups(*m_hosts, m_cache, addrs, timeoutMs, answer);
}

IResolver& DefaultResolver() {
    static SystemResolver resolver;
    return resolver;
}

int LookupErrorFromAres(int status) {
    switch (status) {
        case ARES_SUCCESS:
            return kLookupOk;
        case ARES_ETIMEOUT:
        case ARES_ESERVFAIL:
        case ARES_EREFUSED:
        case ARES_ENOTIMP:
        case ARES_ECONNREFUSED:
        case ARES_ECANCELLED:
        case ARES_EDESTRUCTION:
            return kLookupTryAgain;
        case ARES_ENOMEM:
            return kLookupUnknown;
        default:
            return kLookupHostNotFound;
    }
}

QString ReverseLookupErrorText(int code) {
    switch (code) {
        case kLookupHostNotFound:
            return QStringLiteral("Authoritative answer host not found.");
        case kLookupTryAgain:
            return QStringLiteral("Nonauthoritative host not found, or server failed.");
        case kLookupNoRecovery:
            return QStringLiteral("A nonrecoverable error occurred.");
        case kLookupNoData:
            return QStringLiteral("No host data record available.");
        default:
            return QStringLiteral("Host name unavailable, reason unknown.");
    }
}

}  // namespace qv
