#include "platform/EchoPageAddress.h"

#include "resources/StringTable.h"

#include <utility>

namespace qv {
namespace {

TransferLimits EchoLimits() {
    TransferLimits limits;
    limits.connect = EchoPageAddress::kTimeLimit;
    limits.total = EchoPageAddress::kTimeLimit;
    limits.maxReply = EchoPageAddress::kMaxReply;
    limits.ipv4Only = true;
    return limits;
}

}  // namespace

EchoPageAddress::EchoPageAddress(const QString& url, Answer answer)
    : m_url(url.trimmed()),
      m_answer(std::move(answer)),
      m_transfer(LoadString(Text::UserAgent).toUtf8(), EchoLimits()) {
    m_transfer.Fetch({EncodeForUrl(url.trimmed()), {}, {}},
                     [this](const HttpReply& reply) { OnReply(reply); });
}

void EchoPageAddress::OnReply(const HttpReply& reply) {
    PublicAddressAnswer answer;
    const QString scheme = m_url.section(QLatin1Char(':'), 0, 0).toLower();
    if (!m_url.contains(QLatin1Char(':')) ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        answer = ReachedWithoutAddress(
            QStringLiteral("The echo page's address must begin with http:// or https://: '%1'.")
                .arg(Excerpt(m_url)));
    } else if (!reply.status.Ok()) {
        answer = ReachedWithoutAddress(
            QStringLiteral("The echo page could not be read: %1.").arg(reply.status.text));
    } else if (reply.httpCode != 200) {
        answer = ReachedWithoutAddress(
            QStringLiteral("The echo page answered with HTTP status %1.").arg(reply.httpCode));
    } else {
        answer = ReadReply(reply.body, reply.truncated);
    }
    std::exchange(m_answer, nullptr)(answer);  // last: it may destroy this object
}

PublicAddressAnswer EchoPageAddress::ReadReply(const QByteArray& body, bool truncated) {
    if (truncated) {
        return ReachedWithoutAddress(
            QStringLiteral("The echo page's reply is longer than %1 bytes: it is not one address.")
                .arg(kMaxReply));
    }
    const QString text = QString::fromUtf8(body).trimmed();
    if (text.isEmpty()) {
        return ReachedWithoutAddress(QStringLiteral("The echo page's reply is empty."));
    }
    PublicAddressAnswer answer;
    answer.reached = true;
    switch (ClassifyAddress(text)) {
        case AddressScope::Public:
            answer.address = text;
            break;
        case AddressScope::Private:
            answer.problem = QStringLiteral(
                                 "The echo page reports the private address %1: it was reached "
                                 "from inside a local network, not from the Internet.")
                                 .arg(text);
            break;
        case AddressScope::Unusable:
            answer.problem =
                QStringLiteral("The echo page reports %1, which is no public address.").arg(text);
            break;
        case AddressScope::NotAnAddress:
            answer.problem = QStringLiteral("The echo page's reply is not one IPv4 address: '%1'.")
                                 .arg(Excerpt(text));
            break;
    }
    return answer;
}

}  // namespace qv
