#include "platform/EchoPageAddress.h"

#include "platform/Transfer.h"
#include "resources/StringTable.h"

namespace qv {

PublicAddressAnswer EchoPageAddress::Ask(const QString& url, const std::atomic<bool>* cancel) {
    TransferLimits limits;
    limits.connect = kTimeLimit;
    limits.total = kTimeLimit;
    limits.maxReply = kMaxReply;
    limits.ipv4Only = true;
    (void)cancel;
    CurlTransfer transfer(LoadString(kStrUserAgent).toUtf8(), limits);
    HttpReply reply;
    bool done = false;
    transfer.Fetch({EncodeForUrl(url.trimmed()), {}, {}}, [&](const HttpReply& r) { reply = r; done = true; });
    RunTransfersUntil([&] { return done; }, QDeadlineTimer::Forever);
    if (!reply.status.Ok()) {
        PublicAddressAnswer failed;
        failed.problem =
            QStringLiteral("The echo page could not be read: %1.").arg(reply.status.text);
        return failed;
    }
    if (reply.httpCode != 200) {
        return ReachedWithoutAddress(
            QStringLiteral("The echo page answered with HTTP status %1.").arg(reply.httpCode));
    }
    return ReadReply(reply.body, reply.truncated);
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
