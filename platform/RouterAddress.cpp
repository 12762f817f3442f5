#include "platform/RouterAddress.h"

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpdev.h>

#include <QXmlStreamReader>

#include <memory>

#include "platform/Transfer.h"
#include "resources/StringTable.h"

namespace qv {
namespace {

bool IsWanConnection(const QString& serviceType) {
    return serviceType.startsWith(QLatin1String("urn:schemas-upnp-org:service:WANIPConnection:")) ||
           serviceType.startsWith(QLatin1String("urn:schemas-upnp-org:service:WANPPPConnection:"));
}

HttpReply Exchange(const HttpFetchRequest& request, int maxReply, const std::atomic<bool>* cancel) {
    TransferLimits limits;
    limits.connect = RouterAddress::kRequestLimit;
    limits.total = RouterAddress::kRequestLimit;
    limits.maxReply = maxReply;
    (void)cancel;
    CurlTransfer transfer(LoadString(kStrUserAgent).toUtf8(), limits);
    HttpReply reply;
    bool done = false;
    transfer.Fetch(request, [&](const HttpReply& r) { reply = r; done = true; });
    RunTransfersUntil([&] { return done; }, QDeadlineTimer::Forever);
    return reply;
}

// Why an exchange with the router brought no usable reply; empty when it did.
QString ExchangeProblem(const HttpReply& reply, int maxReply) {
    if (!reply.status.Ok()) {
        return reply.status.text;
    }
    if (reply.truncated) {
        return QStringLiteral("the reply is larger than %1 KB").arg(maxReply / 1024);
    }
    return QString();
}

}  // namespace

PublicAddressAnswer RouterAddress::Ask(const std::atomic<bool>* cancel) {
    // One search type, so that the wait is one discovery time-out when no router answers.
    const char* const types[] = {"urn:schemas-upnp-org:device:InternetGatewayDevice:1", nullptr};
    int error = 0;
    std::unique_ptr<UPNPDev, void (*)(UPNPDev*)> devices(
        upnpDiscoverDevices(types, kDiscoveryMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2,
                            &error, 0),
        freeUPNPDevlist);
    if (!devices) {
        PublicAddressAnswer none;
        none.problem =
            error == UPNPDISCOVER_SUCCESS
                ? QStringLiteral("No UPnP router answered within %1 s.").arg(kDiscoveryMs / 1000)
                : QStringLiteral("UPnP discovery failed (error %1).").arg(error);
        return none;
    }
    // The first device that gives an address wins; else the first one's problem is told.
    std::optional<PublicAddressAnswer> first;
    for (const UPNPDev* d = devices.get(); d; d = d->pNext) {
        if (!d->descURL || (cancel && cancel->load())) {
            continue;
        }
        PublicAddressAnswer answer = AskDevice(QByteArray(d->descURL), cancel);
        if (!answer.address.isEmpty()) {
            return answer;
        }
        if (!first) {
            first = std::move(answer);
        }
    }
    return first ? *first
                 : ReachedWithoutAddress(QStringLiteral("The UPnP router gave no description."));
}

PublicAddressAnswer RouterAddress::AskDevice(const QByteArray& location,
                                             const std::atomic<bool>* cancel) {
    const QUrl url(QString::fromLatin1(location), QUrl::StrictMode);
    const QString host = url.host();
    if (!url.isValid() || url.scheme() != QLatin1String("http") || host.isEmpty()) {
        return ReachedWithoutAddress(
            QStringLiteral("The UPnP router's description address is not an http "
                           "address: '%1'.")
                .arg(Excerpt(QString::fromLatin1(location))));
    }
    const HttpReply page = Exchange({url.toEncoded(), {}, {}}, kMaxDescription, cancel);
    QString problem = ExchangeProblem(page, kMaxDescription);
    if (problem.isEmpty() && page.httpCode != 200) {
        problem = QStringLiteral("HTTP status %1").arg(page.httpCode);
    }
    std::optional<Description> description;
    if (problem.isEmpty()) {
        description = ReadDescription(page.body, url, &problem);
    }
    if (!description) {
        PublicAddressAnswer answer = ReachedWithoutAddress(
            QStringLiteral("The UPnP router's description could not be read: %1.").arg(problem));
        answer.gateway = host;
        return answer;
    }

    HttpFetchRequest request;
    request.url = description->controlUrl;
    const QByteArray service = description->serviceType.toUtf8();
    request.headers = {"Content-Type: text/xml; charset=\"utf-8\"",
                       "SOAPAction: \"" + service + "#GetExternalIPAddress\""};
    request.body =
        "<?xml version=\"1.0\"?>\r\n"
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
        "<u:GetExternalIPAddress xmlns:u=\"" +
        service + "\"></u:GetExternalIPAddress></s:Body></s:Envelope>\r\n";
    const HttpReply reply = Exchange(request, kMaxReply, cancel);
    problem = ExchangeProblem(reply, kMaxReply);
    std::optional<QString> external;
    if (problem.isEmpty()) {
        // A fault comes with status 500 and its own UPnP error text.
        external = ReadExternalAddress(reply.body, &problem);
        if (external && reply.httpCode != 200) {
            external.reset();
            problem = QStringLiteral("HTTP status %1").arg(reply.httpCode);
        }
    }
    PublicAddressAnswer answer =
        external ? Judge(*external)
                 : ReachedWithoutAddress(
                       QStringLiteral("The UPnP router did not tell its external address: %1.")
                           .arg(problem));
    answer.description = description->friendlyName;
    answer.gateway = host;
    return answer;
}

std::optional<RouterAddress::Description> RouterAddress::ReadDescription(const QByteArray& xml,
                                                                         const QUrl& location,
                                                                         QString* problem) {
    QXmlStreamReader reader(xml);
    Description found;
    QUrl base = location;
    QString type, control;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            if (reader.isEndElement() && reader.name() == QLatin1String("service")) {
                if (found.controlUrl.isEmpty() && IsWanConnection(type) && !control.isEmpty()) {
                    found.serviceType = type;
                    found.controlUrl = base.resolved(QUrl(control)).toEncoded();
                }
                type.clear();
                control.clear();
            }
            continue;
        }
        const auto name = reader.name();
        if (name == QLatin1String("friendlyName") && found.friendlyName.isEmpty()) {
            // The root device's comes first; its embedded devices' follow.
            found.friendlyName = Excerpt(reader.readElementText().trimmed(), 120);
        } else if (name == QLatin1String("URLBase")) {
            const QUrl given(reader.readElementText().trimmed());
            base = given.isValid() && !given.isRelative() ? given : location;
        } else if (name == QLatin1String("serviceType")) {
            type = reader.readElementText().trimmed();
        } else if (name == QLatin1String("controlURL")) {
            control = reader.readElementText().trimmed();
        }
    }
    if (reader.hasError()) {
        *problem = QStringLiteral("not a valid XML document (%1)").arg(reader.errorString());
        return std::nullopt;
    }
    if (found.controlUrl.isEmpty() ||
        !QUrl(QString::fromLatin1(found.controlUrl)).scheme().startsWith(QLatin1String("http"))) {
        *problem = QStringLiteral("it offers no WAN IP or PPP connection service");
        return std::nullopt;
    }
    return found;
}

std::optional<QString> RouterAddress::ReadExternalAddress(const QByteArray& xml, QString* problem) {
    QXmlStreamReader reader(xml);
    std::optional<QString> address;
    QString code, text;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const auto name = reader.name();
        if (name == QLatin1String("NewExternalIPAddress")) {
            address = reader.readElementText().trimmed();
        } else if (name == QLatin1String("errorCode")) {
            code = reader.readElementText().trimmed();
        } else if (name == QLatin1String("errorDescription")) {
            text = reader.readElementText().trimmed();
        }
    }
    if (reader.hasError()) {
        *problem =
            QStringLiteral("the reply is not a valid XML document (%1)").arg(reader.errorString());
        return std::nullopt;
    }
    if (!code.isEmpty()) {
        *problem = QStringLiteral("UPnP error %1 %2").arg(Excerpt(code, 10), Excerpt(text));
        return std::nullopt;
    }
    if (!address) {
        *problem = QStringLiteral("the reply holds no address");
    }
    return address;
}

PublicAddressAnswer RouterAddress::Judge(const QString& external) {
    if (external.isEmpty() || external == QLatin1String("0.0.0.0")) {
        return ReachedWithoutAddress(QStringLiteral(
            "The UPnP router has no external address: it is not connected, or it sits behind "
            "another router (double NAT)."));
    }
    PublicAddressAnswer answer;
    answer.reached = true;
    switch (ClassifyAddress(external)) {
        case AddressScope::Public:
            answer.address = external;
            break;
        case AddressScope::Private:
            answer.address = external;
            answer.behindNat = true;
            break;
        case AddressScope::Unusable:
            answer.problem =
                QStringLiteral("The UPnP router reports %1, which is no external address.")
                    .arg(external);
            break;
        case AddressScope::NotAnAddress:
            answer.problem =
                QStringLiteral("The UPnP router's answer is not one IPv4 address: '%1'.")
                    .arg(Excerpt(external));
            break;
    }
    return answer;
}

}  // namespace qv
