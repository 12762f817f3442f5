#include "platform/DnsUpdate.h"

#include "platform/Resolver.h"

#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <ldns/ldns.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

namespace qv {

namespace {

// Response codes of RFC 2136 and the TSIG errors that extend them.
constexpr int kServerFailure = 2;
constexpr int kRefused = 5;
constexpr int kNotAuthorised = 9;
constexpr int kNotZone = 10;
constexpr int kBadSignature = 16;
constexpr int kBadKey = 17;
constexpr int kBadTime = 18;

constexpr int kHeaderSize = 12;
constexpr int kTruncatedBit = 0x02;  // in the third byte of the header
constexpr int kAnswerBit = 0x80;
constexpr int kMaxMessage = 65535;
// The rdata fields of a TSIG record that hold the MAC and the error.
constexpr std::size_t kTsigMacField = 3;
constexpr std::size_t kTsigErrorField = 5;

struct PacketFree {
    void operator()(ldns_pkt* p) const { ldns_pkt_free(p); }
};
struct RdfFree {
    void operator()(ldns_rdf* r) const { ldns_rdf_deep_free(r); }
};
using Packet = std::unique_ptr<ldns_pkt, PacketFree>;
using Rdf = std::unique_ptr<ldns_rdf, RdfFree>;

// An absolute domain name, or null when `text` is not one.
Rdf DomainName(const QString& text) {
    QByteArray name = text.trimmed().toUtf8();
    if (name.isEmpty() || name.contains(' ')) {
        return nullptr;
    }
    if (!name.endsWith('.')) {
        name += '.';
    }
    return Rdf(ldns_dname_new_frm_str(name.constData()));
}

QString NameText(const ldns_rdf* name) {
    char* text = ldns_rdf2str(name);
    QString result = QString::fromUtf8(text);
    free(text);
    if (result.endsWith('.') && result.size() > 1) {
        result.chop(1);
    }
    return result;
}

ldns_rr_type LdnsType(RecordType type) {
    return type == RecordType::A ? LDNS_RR_TYPE_A : LDNS_RR_TYPE_AAAA;
}

QByteArray Wire(const ldns_pkt* packet) {
    uint8_t* data = nullptr;
    size_t size = 0;
    if (ldns_pkt2wire(&data, packet, &size) != LDNS_STATUS_OK) {
        return {};
    }
    QByteArray wire(reinterpret_cast<const char*>(data), qsizetype(size));
    free(data);
    return wire;
}

quint16 NewId() {
    return quint16(QRandomGenerator::system()->bounded(kMaxMessage + 1));
}

// The owner of the first SOA record in `list`; empty when there is none.
QString SoaOwner(const ldns_rr_list* list) {
    for (size_t i = 0; i < ldns_rr_list_rr_count(list); ++i) {
        const ldns_rr* rr = ldns_rr_list_rr(list, i);
        if (ldns_rr_get_type(rr) == LDNS_RR_TYPE_SOA) {
            return NameText(ldns_rr_owner(rr));
        }
    }
    return {};
}

// The bytes of an address in network order; empty when `text` is no address of the type.
QByteArray AddressBytes(RecordType type, const QString& text) {
    QByteArray bytes(type == RecordType::A ? 4 : 16, 0);
    if (inet_pton(type == RecordType::A ? AF_INET : AF_INET6, text.trimmed().toLatin1().constData(),
                  bytes.data()) != 1) {
        return {};
    }
    return bytes;
}

// Whether the answer section holds `address` (or, for an empty address, no record of the type).
bool Serves(const ldns_pkt* answer, RecordType type, const QString& address) {
    const QByteArray wanted = AddressBytes(type, address);
    const ldns_rr_list* list = ldns_pkt_answer(answer);
    bool any = false;
    for (size_t i = 0; i < ldns_rr_list_rr_count(list); ++i) {
        const ldns_rr* rr = ldns_rr_list_rr(list, i);
        if (ldns_rr_get_type(rr) != LdnsType(type) || ldns_rr_rd_count(rr) != 1) {
            continue;
        }
        any = true;
        const ldns_rdf* data = ldns_rr_rdf(rr, 0);
        if (!wanted.isEmpty() && QByteArray(reinterpret_cast<const char*>(ldns_rdf_data(data)),
                                            qsizetype(ldns_rdf_size(data))) == wanted) {
            return true;
        }
    }
    return address.isEmpty() && !any;
}

DnsFailure FailureOfCode(int code) {
    switch (code) {
        case 0:
            return DnsFailure::None;
        case kNotAuthorised:
        case kBadSignature:
        case kBadKey:
        case kBadTime:
            return DnsFailure::KeyRejected;
        case kRefused:
            return DnsFailure::Refused;
        case kNotZone:
            return DnsFailure::NotZone;
        case kServerFailure:
            return DnsFailure::ServerFailure;
        default:
            return DnsFailure::OtherCode;
    }
}

}  // namespace

RecordType RecordTypeOf(const QString& address) {
    return address.contains(':') ? RecordType::Aaaa : RecordType::A;
}

QString RecordTypeName(RecordType type) {
    return type == RecordType::A ? QStringLiteral("A") : QStringLiteral("AAAA");
}

namespace {
// The updates of this thread that wait on a socket, for RunDnsUpdatesUntil.
thread_local std::vector<DnsUpdate::Impl*> running;
}  // namespace

struct DnsUpdate::Impl {
    enum class Step { FindZone, Update, Check };

    DnsLimits limits;
    IResolver* resolver;
    Done done;
    DnsServer server;
    TsigKey key;
    QByteArray keyName;
    QByteArray secret;
    QByteArray algorithm;
    RecordChange change;
    DnsUpdateResult result;
    QString serverAddress;
    std::unique_ptr<PendingLookups> lookup;

    // The exchange under way.
    Step step = Step::FindZone;
    int fd = -1;
    bool tcp = false;
    bool connecting = false;
    QByteArray query;
    quint16 id = 0;
    QByteArray received;
    qsizetype written = 0;
    Rdf requestMac;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer timer;
    QDeadlineTimer deadline;
    QDeadlineTimer resendAt;

    Impl(DnsLimits l, IResolver* r) : limits(l), resolver(r) {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [this] { OnTimer(); });
    }
    ~Impl() { Close(); }

    void Start() {
        const QString host = server.host.trimmed();
        if (!AddressBytes(RecordTypeOf(host), host).isEmpty()) {
            serverAddress = host;
            FindZone();
            return;
        }
        IResolver& names = resolver ? *resolver : DefaultResolver();
        lookup = names.StartForwardLookup(
            server.host.trimmed(), int(limits.total.count()),
            [this](const std::optional<QString>& address) {
                if (!address) {
                    Finish(DnsFailure::NoAnswer,
                           QStringLiteral("the name %1 did not resolve").arg(server.host));
                    return;
                }
                serverAddress = *address;
                FindZone();
            });
    }

    void FindZone() {
        result.zone = change.zone.trimmed();
        if (result.zone.endsWith('.')) {
            result.zone.chop(1);
        }
        if (!result.zone.isEmpty()) {
            SendUpdate();
            return;
        }
        step = Step::FindZone;
        Ask(Question(LDNS_RR_TYPE_SOA), false);
    }

    QByteArray Question(ldns_rr_type type) {
        Packet packet(
            ldns_pkt_query_new(DomainName(change.name).release(), type, LDNS_RR_CLASS_IN, 0));
        id = NewId();
        ldns_pkt_set_id(packet.get(), id);
        requestMac.reset();
        return Wire(packet.get());
    }

    void SendUpdate() {
        step = Step::Update;
        Rdf zone = DomainName(result.zone);
        Rdf name = DomainName(change.name);
        if (!zone || !name) {
            Finish(DnsFailure::BadSettings, QStringLiteral("the zone is not a domain name"));
            return;
        }
        ldns_rr_list* updates = ldns_rr_list_new();
        ldns_rr* removal = ldns_rr_new();
        ldns_rr_set_owner(removal, ldns_rdf_clone(name.get()));
        ldns_rr_set_type(removal, LdnsType(change.type));
        ldns_rr_set_class(removal, LDNS_RR_CLASS_ANY);
        ldns_rr_set_ttl(removal, 0);
        ldns_rr_list_push_rr(updates, removal);
        if (!change.address.isEmpty()) {
            ldns_rdf* data = ldns_rdf_new_frm_str(
                change.type == RecordType::A ? LDNS_RDF_TYPE_A : LDNS_RDF_TYPE_AAAA,
                qPrintable(change.address.trimmed()));
            if (!data) {
                ldns_rr_list_deep_free(updates);
                Finish(DnsFailure::BadSettings,
                       QStringLiteral("%1 is no address of the record's type").arg(change.address));
                return;
            }
            ldns_rr* addition = ldns_rr_new();
            ldns_rr_set_owner(addition, ldns_rdf_clone(name.get()));
            ldns_rr_set_type(addition, LdnsType(change.type));
            ldns_rr_set_class(addition, LDNS_RR_CLASS_IN);
            ldns_rr_set_ttl(addition, change.ttl);
            ldns_rr_push_rdf(addition, data);
            ldns_rr_list_push_rr(updates, addition);
        }
        Packet packet(
            ldns_update_pkt_new(zone.release(), LDNS_RR_CLASS_IN, nullptr, updates, nullptr));
        ldns_rr_list_deep_free(updates);
        ldns_pkt_set_rd(packet.get(), false);
        id = NewId();
        ldns_pkt_set_id(packet.get(), id);
        const ldns_status signing =
            ldns_pkt_tsig_sign(packet.get(), keyName.constData(), secret.constData(),
                               uint16_t(limits.fudge.count()), algorithm.constData(), nullptr);
        if (signing != LDNS_STATUS_OK) {
            Finish(DnsFailure::BadSettings,
                   QStringLiteral("the key cannot sign: %1")
                       .arg(QString::fromUtf8(ldns_get_errorstr_by_id(signing))));
            return;
        }
        requestMac.reset(ldns_rdf_clone(ldns_rr_rdf(ldns_pkt_tsig(packet.get()), kTsigMacField)));
        Ask(Wire(packet.get()), false);
    }

    void Check() {
        step = Step::Check;
        Ask(Question(LdnsType(change.type)), false);
    }

    // What the server said, one step at a time.
    void Answered(const QByteArray& wire) {
        ldns_pkt* parsed = nullptr;
        const auto* data = reinterpret_cast<const uint8_t*>(wire.constData());
        if (ldns_wire2pkt(&parsed, data, size_t(wire.size())) != LDNS_STATUS_OK) {
            Finish(DnsFailure::OtherCode, QStringLiteral("the answer cannot be read"));
            return;
        }
        Packet answer(parsed);
        int code = ldns_pkt_get_rcode(answer.get());
        if (const ldns_rr* tsig = ldns_pkt_tsig(answer.get());
            tsig && ldns_rr_rd_count(tsig) > kTsigErrorField) {
            code = std::max(code, int(ldns_rdf2native_int16(ldns_rr_rdf(tsig, kTsigErrorField))));
        }
        switch (step) {
            case Step::FindZone:
                result.zone = SoaOwner(ldns_pkt_answer(answer.get()));
                if (result.zone.isEmpty()) {
                    result.zone = SoaOwner(ldns_pkt_authority(answer.get()));
                }
                if (result.zone.isEmpty()) {
                    Finish(DnsFailure::NotZone, {});
                    return;
                }
                SendUpdate();
                return;
            case Step::Update:
                result.code = code;
                if (code != 0) {
                    Finish(FailureOfCode(code), {});
                    return;
                }
                if (!ldns_pkt_tsig_verify(answer.get(), data, size_t(wire.size()),
                                          keyName.constData(), secret.constData(),
                                          requestMac.get())) {
                    Finish(DnsFailure::BadSignature, {});
                    return;
                }
                Check();
                return;
            case Step::Check:
                result.served = code == 0 && Serves(answer.get(), change.type, change.address);
                Finish(DnsFailure::None, {});
                return;
        }
    }

    void Finish(DnsFailure failure, const QString& detail) {
        Close();
        lookup.reset();
        if (step == Step::Check && failure == DnsFailure::NoAnswer) {
            failure = DnsFailure::None;  // the update went through; only the check has no answer
        }
        result.failure = failure;
        result.detail = detail;
        const Done finished = std::move(done);
        done = nullptr;
        if (finished) {
            finished(result);  // may destroy this object
        }
    }

    // Sends `message` over UDP, or over TCP when `overTcp`, and waits for its answer.
    void Ask(const QByteArray& message, bool overTcp) {
        Close();
        query = message;
        tcp = overTcp;
        received.clear();
        written = 0;
        if (!overTcp) {
            deadline = QDeadlineTimer(limits.total);
        }
        sockaddr_storage address{};
        socklen_t length = 0;
        const RecordType family = RecordTypeOf(serverAddress);
        const QByteArray bytes = AddressBytes(family, serverAddress);
        if (family == RecordType::Aaaa) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(server.port);
            std::memcpy(&in6->sin6_addr, bytes.constData(), std::size_t(bytes.size()));
            length = sizeof *in6;
        } else {
            auto* in = reinterpret_cast<sockaddr_in*>(&address);
            in->sin_family = AF_INET;
            in->sin_port = htons(server.port);
            std::memcpy(&in->sin_addr, bytes.constData(), std::size_t(bytes.size()));
            length = sizeof *in;
        }
        fd = ::socket(address.ss_family,
                      (overTcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            Finish(DnsFailure::NoAnswer, QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 &&
            errno != EINPROGRESS) {
            Finish(DnsFailure::NoAnswer, QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        running.push_back(this);
        if (overTcp) {
            const quint16 size = quint16(query.size());
            query.prepend(char(size & 0xFF)).prepend(char(size >> 8));
            connecting = true;
            Watch(QSocketNotifier::Write);
        } else {
            ::send(fd, query.constData(), size_t(query.size()), 0);
            resendAt = QDeadlineTimer(limits.resend);
            Watch(QSocketNotifier::Read);
        }
        Arm();
    }

    // The notifier may be the one whose signal runs now: it goes when the event loop is back.
    void DropNotifier() {
        if (notifier) {
            notifier->setEnabled(false);
            notifier.release()->deleteLater();
        }
    }

    void Watch(QSocketNotifier::Type type) {
        DropNotifier();
        notifier = std::make_unique<QSocketNotifier>(fd, type);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] { OnSocket(); });
    }

    void Arm() {
        QDeadlineTimer next = deadline;
        if (!tcp && resendAt < next) {
            next = resendAt;
        }
        timer.start(std::max<qint64>(0, next.remainingTime()));
    }

    void Close() {
        DropNotifier();
        timer.stop();
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
            std::erase(running, this);
        }
    }

    short PollEvents() const { return connecting ? POLLOUT : POLLIN; }
    QDeadlineTimer NextWake() const { return !tcp && resendAt < deadline ? resendAt : deadline; }

    void OnTimer() {
        if (fd < 0) {
            return;
        }
        if (deadline.hasExpired()) {
            Finish(DnsFailure::NoAnswer,
                   QStringLiteral("no answer within %1 ms").arg(limits.total.count()));
            return;
        }
        if (!tcp && resendAt.hasExpired()) {
            ::send(fd, query.constData(), size_t(query.size()), 0);
            resendAt = QDeadlineTimer(limits.resend);
        }
        Arm();
    }

    void OnSocket() {
        if (fd < 0) {
            return;
        }
        if (tcp) {
            OnTcp();
            return;
        }
        char buffer[kMaxMessage];
        for (;;) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                    return;
                }
                Finish(DnsFailure::NoAnswer, QString::fromLocal8Bit(std::strerror(errno)));
                return;
            }
            const auto* bytes = reinterpret_cast<const unsigned char*>(buffer);
            if (got < kHeaderSize || (bytes[0] << 8 | bytes[1]) != id || !(bytes[2] & kAnswerBit)) {
                continue;  // not the answer to this question
            }
            if (bytes[2] & kTruncatedBit) {
                QByteArray message = query;
                Ask(message, true);
                return;
            }
            Answered(QByteArray(buffer, qsizetype(got)));
            return;
        }
    }

    void OnTcp() {
        if (connecting) {
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
            if (error != 0) {
                Finish(DnsFailure::NoAnswer, QString::fromLocal8Bit(std::strerror(error)));
                return;
            }
            const ssize_t sent =
                ::send(fd, query.constData() + written, size_t(query.size() - written), 0);
            if (sent > 0) {
                written += sent;
            }
            if (written == query.size()) {
                connecting = false;
                Watch(QSocketNotifier::Read);
            }
            return;
        }
        char buffer[kMaxMessage];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                return;
            }
            Finish(DnsFailure::NoAnswer, got == 0
                                             ? QStringLiteral("the server closed the connection")
                                             : QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        received.append(buffer, qsizetype(got));
        if (received.size() >= 2) {
            const int size = (uchar(received[0]) << 8) | uchar(received[1]);
            if (received.size() >= 2 + size) {
                Answered(received.mid(2, size));
            }
        }
    }
};

DnsUpdate::DnsUpdate(DnsLimits limits, IResolver* resolver)
    : d(std::make_unique<Impl>(limits, resolver)) {}

DnsUpdate::~DnsUpdate() = default;

void DnsUpdate::Send(const DnsServer& server, const TsigKey& key, const RecordChange& change,
                     Done done) {
    d->Close();
    d->lookup.reset();
    d->done = std::move(done);
    d->server = server;
    d->key = key;
    d->change = change;
    d->result = {};
    d->keyName = key.name.trimmed().toUtf8();
    if (!d->keyName.endsWith('.')) {
        d->keyName += '.';
    }
    d->secret = key.secret.trimmed().toLatin1();
    d->algorithm = key.algorithm.trimmed().toLower().toLatin1();
    if (!d->algorithm.endsWith('.')) {
        d->algorithm += '.';
    }
    if (server.host.trimmed().isEmpty() || !DomainName(change.name) ||
        key.name.trimmed().isEmpty() || d->secret.isEmpty() || !DomainName(key.name)) {
        d->Finish(DnsFailure::BadSettings, {});
        return;
    }
    d->Start();
}

bool RunDnsUpdatesUntil(const std::function<bool()>& finished, QDeadlineTimer deadline) {
    while (!finished() && !running.empty() && !deadline.hasExpired()) {
        const std::vector<DnsUpdate::Impl*> now = running;
        std::vector<pollfd> fds;
        QDeadlineTimer wake = deadline;
        for (const DnsUpdate::Impl* update : now) {
            fds.push_back({update->fd, update->PollEvents(), 0});
            wake = std::min(wake, update->NextWake());
        }
        ::poll(fds.data(), fds.size(), int(std::max<qint64>(0, wake.remainingTime())));
        for (std::size_t i = 0; i < now.size(); ++i) {
            if (std::find(running.begin(), running.end(), now[i]) == running.end()) {
                continue;  // ended by the answer of another
            }
            if (fds[i].revents != 0) {
                now[i]->OnSocket();
            } else {
                now[i]->OnTimer();
            }
        }
    }
    return finished();
}

}  // namespace qv
