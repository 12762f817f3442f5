#pragma once

#include "platform/NetTables.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qv {

// Codes of a failed reverse look-up, numbered as the classic socket error codes.
enum LookupError : int {
    kLookupOk = 0,
    kLookupHostNotFound = 11001,
    kLookupTryAgain = 11002,
    kLookupNoRecovery = 11003,
    kLookupNoData = 11004,
    kLookupUnknown = -1,
};

struct ReverseLookupResult {
    QString name;           // the official name; empty on failure
    int error = kLookupOk;  // a LookupError
};

// Receives the answer for the address at `index` of a batch of reverse look-ups.
using ReverseLookupAnswer = std::function<void(std::size_t index, const ReverseLookupResult&)>;

// Receives the answer of a forward look-up: an address as dotted text, or nothing.
using ForwardLookupAnswer = std::function<void(const std::optional<QString>& address)>;

// Reverse look-ups still waiting for their answers. Destroying it cancels them: no answer comes
// after that.
class PendingLookups {
  public:
    virtual ~PendingLookups() = default;
};

// Host-name services, used from one thread.
class IResolver {
  public:
    virtual ~IResolver() = default;
    // This machine's host name; nothing when it cannot be read.
    virtual std::optional<QString> HostName() const = 0;
    // Starts the look-up of `name`: `answer` gets its first IPv4 address that is not a loopback
    // address, else its first one, as dotted text (nothing when the look-up fails), once, on the
    // calling thread: before this returns when it is known at once (hosts file, cache), else
    // from the thread's event loop within about `timeoutMs`. Returns null when it has answered.
    virtual std::unique_ptr<PendingLookups> StartForwardLookup(const QString& name, int timeoutMs,
                                                               ForwardLookupAnswer answer) = 0;
    // Starts the reverse look-ups of `addrs` (4-byte addresses in network order) together.
    // `answer` gets each address's result once, on the calling thread: the results known at
    // once (cached, from the hosts file) before this returns, the others later from the thread's
    // event loop. The look-ups give up on their own after about `timeoutMs`. Returns null when
    // every answer has been given.
    virtual std::unique_ptr<PendingLookups> StartReverseLookups(
        const std::vector<std::uint32_t>& addrs, int timeoutMs, ReverseLookupAnswer answer) = 0;
    // The same for IPv6 addresses. A resolver without IPv6 answers "host not found" at once.
    virtual std::unique_ptr<PendingLookups> StartIpv6ReverseLookups(
        const std::vector<Ipv6Bytes>& addrs, int timeoutMs, ReverseLookupAnswer answer) {
        (void)timeoutMs;
        for (std::size_t i = 0; i < addrs.size(); ++i) {
            answer(i, {{}, kLookupHostNotFound});
        }
        return nullptr;
    }
    // A full refresh is about to look up the names of all its `addresses` addresses. A cache that
    // holds far more (addresses that came and went, as in a storm) may start over.
    virtual void FitCacheTo(std::size_t addresses) { (void)addresses; }
};

class HostsFile;
struct ResolverCache;

// gethostname; /etc/hosts, read again only when it has changed; and the name servers of
// /etc/resolv.conf through c-ares, all queries of a batch on one channel whose sockets are watched
// by the event loop. Reverse answers are cached for their time to live, failures and forward
// answers for a short time.
class SystemResolver : public IResolver {
  public:
    SystemResolver();
    ~SystemResolver() override;
    SystemResolver(const SystemResolver&) = delete;
    SystemResolver& operator=(const SystemResolver&) = delete;

    std::optional<QString> HostName() const override;
    std::unique_ptr<PendingLookups> StartForwardLookup(const QString& name, int timeoutMs,
                                                       ForwardLookupAnswer answer) override;
    std::unique_ptr<PendingLookups> StartReverseLookups(const std::vector<std::uint32_t>& addrs,
                                                        int timeoutMs,
                                                        ReverseLookupAnswer answer) override;
    std::unique_ptr<PendingLookups> StartIpv6ReverseLookups(const std::vector<Ipv6Bytes>& addrs,
                                                            int timeoutMs,
                                                            ReverseLookupAnswer answer) override;
    void FitCacheTo(std::size_t addresses) override;

    // How long failed look-ups are remembered.
    static constexpr int kFailureCacheSeconds = 30;

  private:
    std::unique_ptr<HostsFile> m_hosts;
    std::shared_ptr<ResolverCache> m_cache;
};

IResolver& DefaultResolver();

// Maps a c-ares status (ARES_*) onto a LookupError the way the system resolver reports the same
// outcome: no answer, or servers that fail or refuse, is "try again"; any other failure (no such
// name, no record, a malformed or unusable answer) "host not found".
int LookupErrorFromAres(int status);

// Text for a failed reverse look-up code; unlisted codes give the "reason unknown" text.
QString ReverseLookupErrorText(int code);

}  // namespace qv
