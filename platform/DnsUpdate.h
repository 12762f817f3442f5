#pragma once

#include <QDeadlineTimer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace qv {

class IResolver;

// The name server that takes the updates: a host name or an address, and its port.
struct DnsServer {
    QString host;
    quint16 port = 53;
};

// A TSIG key as the server knows it: its name, the algorithm ("hmac-sha256", "hmac-sha512" or
// "hmac-sha1") and the shared secret in base64.
struct TsigKey {
    QString name;
    QString algorithm = QStringLiteral("hmac-sha256");
    QString secret;
};

enum class RecordType { A, Aaaa };

// A for an IPv4 address, AAAA for an IPv6 one (written with a colon).
RecordType RecordTypeOf(const QString& address);
QString RecordTypeName(RecordType type);

// One record to set or remove. The update deletes the name's records of the type and, unless
// `address` is empty, adds `address` in the same message, so the name is never left empty nor
// holds two addresses.
struct RecordChange {
    QString zone;  // found from the name's SOA record when empty
    QString name;
    RecordType type = RecordType::A;
    QString address;  // an address of the type, as text; empty: the records are deleted
    quint32 ttl = 60;
};

// Bounds of one exchange with the server.
struct DnsLimits {
    std::chrono::milliseconds resend{1000};  // a UDP message without an answer is sent again
    std::chrono::milliseconds total{5000};   // one question and its answer, TCP included
    std::chrono::seconds fudge{300};         // the clock difference the signature allows
};

enum class DnsFailure {
    None,
    KeyRejected,    // NOTAUTH, BADSIG, BADKEY, BADTIME: wrong key or clocks too far apart
    Refused,        // REFUSED: no updates for this name from this key
    NotZone,        // NOTZONE, or no zone of the server holds the name
    ServerFailure,  // SERVFAIL
    OtherCode,      // any other response code
    NoAnswer,       // nothing came back in time, or the server could not be reached
    BadSignature,   // an answer that is not signed with the key
    BadSettings,    // a name, key or server that cannot be used
};

struct DnsUpdateResult {
    DnsFailure failure = DnsFailure::None;
    int code = 0;         // the answer's response code (extended by the TSIG error), when one came
    QString detail;       // what went wrong, in the words of the system or the library
    QString zone;         // the zone the update went to
    bool served = false;  // the server's answer to the check afterwards matches the change
    bool Ok() const { return failure == DnsFailure::None; }
};

// An RFC 2136 update client on the thread's event loop: the messages are built and signed with
// ldns and sent from a non-blocking UDP socket watched by a socket notifier (TCP when the answer
// is truncated), with a timer for the resends and the time-out. When the zone is not given it is
// found first from the name's SOA record; after the update the server is asked for the name,
// and the result says whether it serves the change.
//
// One update at a time per object; `done` runs once, from the event loop (or RunDnsUpdatesUntil),
// or before Send returns when the settings cannot be used. Destroying the object ends the
// running update without calling `done`.
class DnsUpdate {
  public:
    using Done = std::function<void(const DnsUpdateResult&)>;

    explicit DnsUpdate(DnsLimits limits = {}, IResolver* resolver = nullptr);
    ~DnsUpdate();
    DnsUpdate(const DnsUpdate&) = delete;
    DnsUpdate& operator=(const DnsUpdate&) = delete;

    void Send(const DnsServer& server, const TsigKey& key, const RecordChange& change, Done done);

    // The state of an update under way, known only to DnsUpdate.cpp.
    struct Impl;

  private:
    std::unique_ptr<Impl> d;
};

// Runs this thread's DNS updates without the event loop until `finished` returns true, none runs
// any more, or `deadline` has passed; returns `finished()`. For the last steps of shutdown.
bool RunDnsUpdatesUntil(const std::function<bool()>& finished, QDeadlineTimer deadline);

}  // namespace qv
