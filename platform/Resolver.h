#pragma once

#include <QString>

#include <cstdint>
#include <optional>

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

// Host-name services. ReverseLookup may be called from several threads at once.
class IResolver {
  public:
    virtual ~IResolver() = default;
    // This machine's host name; nothing when it cannot be read.
    virtual std::optional<QString> HostName() const = 0;
    // The first IPv4 address of `name` that is not a loopback address, else its first one, as
    // dotted text; nothing when the look-up fails.
    virtual std::optional<QString> ForwardLookup(const QString& name) const = 0;
    // The name of a 4-byte address in network order.
    virtual ReverseLookupResult ReverseLookup(std::uint32_t addr) const = 0;
};

// gethostname, getaddrinfo and getnameinfo with NI_NAMEREQD.
class SystemResolver : public IResolver {
  public:
    std::optional<QString> HostName() const override;
    std::optional<QString> ForwardLookup(const QString& name) const override;
    ReverseLookupResult ReverseLookup(std::uint32_t addr) const override;
};

IResolver& DefaultResolver();

// Maps a getnameinfo/getaddrinfo result (EAI_*) onto a LookupError.
int LookupErrorFromEai(int eai);

// Text for a failed reverse look-up code; unlisted codes give the "reason unknown" text.
QString ReverseLookupErrorText(int code);

// Text for a socket start-up failure code; unlisted codes give the generic text.
QString SocketStartupErrorText(int code);

}  // namespace qv
