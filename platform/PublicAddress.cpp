#include "platform/PublicAddress.h"

#include <arpa/inet.h>

#include <cstdint>

namespace qv {
namespace {

bool InRange(std::uint32_t address, const char* network, int bits) {
    in_addr net{};
    inet_pton(AF_INET, network, &net);
    const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t(0) << (32 - bits);
    return (address & mask) == (ntohl(net.s_addr) & mask);
}

}  // namespace

PublicAddressAnswer ReachedWithoutAddress(const QString& problem) {
    PublicAddressAnswer answer;
    answer.reached = true;
    answer.problem = problem;
    return answer;
}

AddressScope ClassifyAddress(const QString& text) {
    // inet_pton takes exactly four decimal parts without leading zeros and nothing else.
    const QByteArray bytes = text.toLatin1();
    in_addr parsed{};
    if (text.size() > 15 || bytes.size() != text.size() ||
        inet_pton(AF_INET, bytes.constData(), &parsed) != 1) {
        return AddressScope::NotAnAddress;
    }
    const std::uint32_t a = ntohl(parsed.s_addr);
    for (const auto& [network, bits] :
         {std::pair{"10.0.0.0", 8}, std::pair{"172.16.0.0", 12}, std::pair{"192.168.0.0", 16},
          std::pair{"100.64.0.0", 10}}) {
        if (InRange(a, network, bits)) {
            return AddressScope::Private;
        }
    }
    for (const auto& [network, bits] :
         {std::pair{"0.0.0.0", 8}, std::pair{"127.0.0.0", 8}, std::pair{"169.254.0.0", 16},
          std::pair{"192.0.0.0", 24}, std::pair{"198.18.0.0", 15}, std::pair{"224.0.0.0", 3}}) {
        if (InRange(a, network, bits)) {
            return AddressScope::Unusable;
        }
    }
    return AddressScope::Public;
}

QString Excerpt(const QString& text, int max) {
    QString out = text.left(max);
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) {
            c = QLatin1Char(' ');
        }
    }
    return text.size() > max ? out + QStringLiteral("...") : out;
}

}  // namespace qv
