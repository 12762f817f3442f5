#include "platform/RouterAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <QXmlStreamReader>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/RouterCache.h"
#include "platform/Transfer.h"
#include "platform/UniqueFd.h"
#include "resources/StringTable.h"

namespace qv {
namespace {

// Routers asked at most in one search, and the bytes of an answer to the search that are read.
constexpr qsizetype kMaxDevices = 8;
constexpr std::size_t kMaxDatagram = 2048;

// One search type, so that every router answers once for each search sent.
const char kSearch[] =
    "M-SEARCH * HTTP/1.1\r\n"
    "HOST: 239.255.255.250:1900\r\n"
    "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "MAN: \"ssdp:discover\"\r\n"
    "MX: 2\r\n"
    "\r\n";

bool IsWanConnection(const QString& serviceType) {
    return serviceType.startsWith(QLatin1String("urn:schemas-upnp-org:service:WANIPConnection:")) ||
           serviceType.startsWith(QLatin1String("urn:schemas-upnp-org:service:WANPPPConnection:"));
}

std::unique_ptr<CurlTransfer> NewExchange(int maxReply) {
    TransferLimits limits;
    limits.connect = RouterAddress::kRequestLimit;
    limits.total = RouterAddress::kRequestLimit;
    limits.maxReply = maxReply;
    return std::make_unique<CurlTransfer>(LoadString(Text::UserAgent).toUtf8(), limits);
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

// The answer when no router could be asked.
PublicAddressAnswer Unreached(const QString& problem) {
    PublicAddressAnswer answer;
    answer.problem = problem;
    return answer;
}

}  // namespace

// The search, and the routers that answered it asked one after the other, in the order they
// answered: the first that gives an address wins at once; else, when the search is over and each
// has answered, the first one's problem is told.
struct RouterAddress::Impl {
    explicit Impl(Answer done) : answer(std::move(done)) {
        end.setSingleShot(true);
        QObject::connect(&end, &QTimer::timeout, [this] { EndSearch(); });
    }

    // A search that heard no router for kQuickSearchMs and is ended early (the program ends)
    // notes that there is none, so that the next question on this network does not wait again.
    ~Impl() {
        if (searching && !replied && !network.isEmpty() && searchClock.isValid() &&
            searchClock.elapsed() >= kQuickSearchMs) {
            RouterCache::Store(network, QByteArray());
        }
    }

    // The question on the network the machine is on: the router noted for it is asked directly,
    // and only when it does not answer is there a search; a network where no router answered is
    // answered from the note.
    void Start() {
        network = RouterCache::CurrentNetwork();
        const std::optional<QByteArray> noted = RouterCache::Find(network);
        if (!noted) {
            Search();
            return;
        }
        fromNote = true;
        if (!noted->isEmpty()) {
            locations.append({*noted, QString()});
        }
        end.start(0);  // the answer comes from the event loop
    }

    // Sends the search twice to the SSDP group (with a time to live of 2, as routers expect) from
    // a socket of its own, where the answers come back.
    void Search() {
        searching = true;
        searchClock.start();
        end.start(kDiscoveryMs);
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            searchError = errno;
            end.start(0);
            return;
        }
        socket.emplace(fd);
        const int ttl = 2;
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        sockaddr_in group{};
        group.sin_family = AF_INET;
        group.sin_port = htons(1900);
        ::inet_pton(AF_INET, "239.255.255.250", &group.sin_addr);
        bool sent = false;
        for (int i = 0; i < 2; ++i) {
            if (::sendto(fd, kSearch, sizeof kSearch - 1, 0, reinterpret_cast<sockaddr*>(&group),
                         sizeof group) >= 0) {
                sent = true;
            } else {
                searchError = errno;
            }
        }
        if (!sent) {
            end.start(0);
            return;
        }
        searchError = 0;
        notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] { Read(); });
    }

    void Read() {
        // A bounded number at a time, so that a flood cannot hold the event loop.
        for (int i = 0; i < 32; ++i) {
            char buffer[kMaxDatagram];
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t n = ::recvfrom(socket->get(), buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &fromSize);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return;
            }
            const auto location = LocationOf(QByteArray(buffer, n));
            replied = replied || location;
            char responder[INET_ADDRSTRLEN] = {};
            if (location && !location->isEmpty() && !Known(*location) &&
                locations.size() < kMaxDevices &&
                ::inet_ntop(AF_INET, &from.sin_addr, responder, sizeof responder)) {
                const QString sender = QString::fromLatin1(responder);
                locations.append({*location, sender});
                // Only a description on the device itself is noted for the next time.
                if (locations.size() == 1 &&
                    QUrl(QString::fromLatin1(*location), QUrl::StrictMode).host() == sender) {
                    Note(*location);
                }
                Next();
            }
        }
    }

    bool Known(const QByteArray& location) const {
        return std::any_of(locations.begin(), locations.end(),
                           [&](const Device& d) { return d.location == location; });
    }

    void EndSearch() {
        searching = false;
        notifier.reset();
        socket.reset();
        Next();
    }

    // Asks the next router unless one is being asked; ends when none is left after the search.
    void Next() {
        while (!exchange && asked < locations.size()) {
            const Device& next = locations[asked++];
            askedLocation = next.location;
            location = QUrl(QString::fromLatin1(next.location), QUrl::StrictMode);
            if (!location.isValid() || location.scheme() != QLatin1String("http") ||
                location.host().isEmpty()) {
                if (!first) {
                    first = ReachedWithoutAddress(
                        QStringLiteral("The UPnP router's description address is not an http "
                                       "address: '%1'.")
                            .arg(Excerpt(QString::fromLatin1(next.location))));
                }
                continue;
            }
            // A description is fetched only from the device that answered the search, never
            // from another host (a service on this machine, say) that the answer names.
            if (!next.responder.isEmpty() && location.host() != next.responder) {
                if (!first) {
                    first = ReachedWithoutAddress(
                        QStringLiteral("The UPnP device at %1 names its description at another "
                                       "address, which is not followed: '%2'.")
                            .arg(next.responder, Excerpt(QString::fromLatin1(next.location))));
                }
                continue;
            }
            exchange = NewExchange(kMaxDescription);
            exchange->Fetch({location.toEncoded(), {}, {}},
                            [this](const HttpReply& page) { OnDescription(page); });
        }
        if (exchange || searching) {
            return;
        }
        if (!first && replied) {
            first = ReachedWithoutAddress(QStringLiteral("The UPnP router gave no description."));
        } else if (!first) {
            if (searchError == 0) {
                Note(QByteArray());
            }
            first =
                Unreached(searchError != 0
                              ? QStringLiteral("UPnP discovery failed (error %1).").arg(searchError)
                              : QStringLiteral("No UPnP router answered within %1 s.")
                                    .arg(kDiscoveryMs / 1000));
        }
        Finish(*first);
    }

    void OnDescription(const HttpReply& page) {
        QString problem = ExchangeProblem(page, kMaxDescription);
        if (problem.isEmpty() && page.httpCode != 200) {
            problem = QStringLiteral("HTTP status %1").arg(page.httpCode);
        }
        std::optional<Description> found;
        if (problem.isEmpty()) {
            found = ReadDescription(page.body, location, &problem);
        }
        if (!found && fromNote && !searching) {
            // The noted router is gone or is another device now: search again.
            fromNote = false;
            locations.clear();
            asked = 0;
            exchange.reset();
            Search();
            return;
        }
        if (!found) {
            PublicAddressAnswer failed = ReachedWithoutAddress(
                QStringLiteral("The UPnP router's description could not be read: %1.")
                    .arg(problem));
            failed.gateway = location.host();
            Answered(failed);
            return;
        }
        description = std::move(*found);
        // The action goes only to the host that gave the description.
        if (QUrl(QString::fromLatin1(description.controlUrl)).host() != location.host()) {
            PublicAddressAnswer failed = ReachedWithoutAddress(
                QStringLiteral("The UPnP router's description names its control address on "
                               "another host, which is not followed: '%1'.")
                    .arg(Excerpt(QString::fromLatin1(description.controlUrl))));
            failed.gateway = location.host();
            Answered(failed);
            return;
        }

        HttpFetchRequest request;
        request.url = description.controlUrl;
        const QByteArray service = description.serviceType.toUtf8();
        request.headers = {"Content-Type: text/xml; charset=\"utf-8\"",
                           "SOAPAction: \"" + service + "#GetExternalIPAddress\""};
        request.body =
            "<?xml version=\"1.0\"?>\r\n"
            "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
            "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>"
            "<u:GetExternalIPAddress xmlns:u=\"" +
            service + "\"></u:GetExternalIPAddress></s:Body></s:Envelope>\r\n";
        // The ended exchange is replaced from its own end, which a transfer allows.
        exchange = NewExchange(kMaxReply);
        exchange->Fetch(request, [this](const HttpReply& reply) { OnAddress(reply); });
    }

    void OnAddress(const HttpReply& reply) {
        QString problem = ExchangeProblem(reply, kMaxReply);
        std::optional<QString> external;
        if (problem.isEmpty()) {
            // A fault comes with status 500 and its own UPnP error text.
            external = ReadExternalAddress(reply.body, &problem);
            if (external && reply.httpCode != 200) {
                external.reset();
                problem = QStringLiteral("HTTP status %1").arg(reply.httpCode);
            }
        }
        PublicAddressAnswer result =
            external ? Judge(*external)
                     : ReachedWithoutAddress(
                           QStringLiteral("The UPnP router did not tell its external address: %1.")
                               .arg(problem));
        result.description = description.friendlyName;
        result.gateway = location.host();
        Answered(result);
    }

    // The router being asked has answered (from the end of its exchange).
    void Answered(const PublicAddressAnswer& result) {
        exchange.reset();
        if (!result.address.isEmpty()) {
            Finish(result);
            return;
        }
        first = first ? first : result;
        Next();
    }

    // Notes where the router of this network lives (empty: no router), unless that came from
    // the note itself.
    void Note(const QByteArray& where) {
        if (!fromNote && !network.isEmpty()) {
            RouterCache::Store(network, where);
        }
    }

    // Ends the search and the exchange, then answers (which may destroy this object).
    void Finish(PublicAddressAnswer result) {
        if (result.reached && !askedLocation.isEmpty() &&
            askedLocation != locations.value(0).location) {
            Note(askedLocation);  // another router than the first to answer gave the answer
        }
        end.stop();
        notifier.reset();
        socket.reset();
        exchange.reset();
        searching = false;
        if (answer) {
            std::exchange(answer, nullptr)(result);
        }
    }

    Answer answer;
    QTimer end;                 // the end of the search
    QString network;            // where the machine is, as the notes know it; empty: not noted
    bool fromNote = false;      // the router (or that there is none) came from the note
    QElapsedTimer searchClock;  // since the search began
    QByteArray askedLocation;   // the description address of the router asked last
    bool searching = false;
    bool replied = false;  // a router answered the search
    int searchError = 0;   // errno of a search that could not be sent
    std::optional<UniqueFd> socket;
    std::unique_ptr<QSocketNotifier> notifier;
    // A device that answered the search: its description address, and the address it answered
    // from (empty when the description address was given, not found by a search).
    struct Device {
        QByteArray location;
        QString responder;
    };
    QList<Device> locations;                 // in the order they answered
    qsizetype asked = 0;                     // how many of them have been asked
    std::unique_ptr<CurlTransfer> exchange;  // with the router being asked
    QUrl location;                           // its description address
    Description description;
    std::optional<PublicAddressAnswer> first;  // the first router's answer
};

RouterAddress::RouterAddress(Answer answer) : d(std::make_unique<Impl>(std::move(answer))) {
    d->Start();
}

RouterAddress::RouterAddress(const QByteArray& location, Answer answer)
    : d(std::make_unique<Impl>(std::move(answer))) {
    d->locations.append({location, QString()});
    d->end.start(0);  // the answer comes from the event loop, even a refusal of the address
}

RouterAddress::~RouterAddress() = default;

std::optional<QByteArray> RouterAddress::LocationOf(const QByteArray& datagram) {
    const QList<QByteArray> lines = datagram.split('\n');
    if (lines.isEmpty() || !lines[0].startsWith("HTTP/1.") ||
        lines[0].split(' ').value(1) != "200") {
        return std::nullopt;
    }
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare("LOCATION", Qt::CaseInsensitive) == 0) {
            return line.mid(colon + 1).trimmed();
        }
    }
    return QByteArray();
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
            // As a private answer of the echo page: never taken for the public address.
            answer.problem = QStringLiteral(
                                 "The UPnP router reports the private external address %1: it is "
                                 "behind another router (double NAT), and that address cannot be "
                                 "reached from the Internet.")
                                 .arg(external);
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
