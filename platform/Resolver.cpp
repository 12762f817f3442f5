#include "platform/Resolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace qv {

std::optional<QString> SystemResolver::HostName() const {
    char buf[HOST_NAME_MAX + 1] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(buf);
}

std::optional<QString> SystemResolver::ForwardLookup(const QString& name) const {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(name.toLocal8Bit().constData(), nullptr, &hints, &list) != 0) {
        return std::nullopt;
    }
    std::optional<QString> result;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
            const auto* sin = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
            char text[INET_ADDRSTRLEN] = {};
            const bool loopback = (ntohl(sin->sin_addr.s_addr) >> 24) == 127;
            if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) && (!result || !loopback)) {
                result = QString::fromLatin1(text);
                if (!loopback) {
                    break;
                }
            }
        }
    }
    freeaddrinfo(list);
    return result;
}

ReverseLookupResult SystemResolver::ReverseLookup(std::uint32_t addr) const {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = addr;
    char host[NI_MAXHOST] = {};
    const int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host,
                               sizeof host, nullptr, 0, NI_NAMEREQD);
    ReverseLookupResult result;
    if (rc == 0) {
        result.name = QString::fromLocal8Bit(host);
    } else {
        result.error = LookupErrorFromEai(rc);
    }
    return result;
}

IResolver& DefaultResolver() {
    static SystemResolver resolver;
    return resolver;
}

int LookupErrorFromEai(int eai) {
    switch (eai) {
        case 0:
            return kLookupOk;
        case EAI_NONAME:
            return kLookupHostNotFound;
#ifdef EAI_NODATA
        case EAI_NODATA:
            return kLookupNoData;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
            return kLookupNoData;
#endif
        case EAI_AGAIN:
            return kLookupTryAgain;
        case EAI_FAIL:
            return kLookupNoRecovery;
        default:
            return kLookupUnknown;
    }
}

QString ReverseLookupErrorText(int code) {
    switch (code) {
        case 10004:
            return QStringLiteral(
                "A blocking Windows Socket call was canceled through WSACancelBlockingCall.");
        case 10014:
            return QStringLiteral(
                "The addr parameter is not a valid part of the user address space, or the len "
                "parameter is too small.");
        case 10036:
            return QStringLiteral(
                "A blocking Windows Sockets call is in progress, or the service provider is still "
                "processing a callback function.");
        case 10047:
            return QStringLiteral(
                "The type specified is not supported by the Windows Sockets implementation.");
        case 10050:
            return QStringLiteral("The network subsystem has failed.");
        case 10093:
            return QStringLiteral(
                "A successful WSAStartup call must occur before using this function.");
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

QString SocketStartupErrorText(int code) {
    switch (code) {
        case 10014:
            return QStringLiteral("The lpWSAData is not a valid pointer.");
        case 10036:
            return QStringLiteral("A blocking Windows Sockets operation is in progress.");
        case 10067:
            return QStringLiteral(
                "The limit on the number of tasks supported by the Windows Sockets "
                "implementation has been reached.");
        case 10091:
            return QStringLiteral("Network subsystem is not ready for network communication.");
        case 10092:
            return QStringLiteral(
                "Windows Sockets version support requested is not provided by the Windows "
                "Sockets installed on this machine.");
        default:
            return QStringLiteral(
                "Unknown error occurred while trying to start up Windows Sockets.");
    }
}

}  // namespace qv
