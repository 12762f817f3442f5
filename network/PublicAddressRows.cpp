#include "network/PublicAddressRows.h"

#include <QCoreApplication>
#include <QUrl>

#include <utility>

#include "platform/EchoPageAddress.h"
#include "platform/RouterAddress.h"
#include "resources/StringTable.h"

namespace qv {
namespace {

const QString kRouterInterface = QStringLiteral("UPnP");
const QString kEchoInterface = QStringLiteral("Web");

// A question on the event loop; dropping it ends it.
template <typename Query>
class LoopQuery : public PendingPublicQuery {
  public:
    template <typename... Args>
    explicit LoopQuery(Args&&... args) : m_query(std::forward<Args>(args)...) {}

  private:
    Query m_query;
};

class LoopQueries : public IPublicAddressQueries {
  public:
    std::unique_ptr<PendingPublicQuery> Ask(const QString& echoPageUrl, Answer answer) override {
        if (!QCoreApplication::instance()) {
            return nullptr;  // no event loop could run the question
        }
        if (echoPageUrl.isEmpty()) {
            return std::make_unique<LoopQuery<RouterAddress>>(std::move(answer));
        }
        return std::make_unique<LoopQuery<EchoPageAddress>>(echoPageUrl, std::move(answer));
    }
};

QString Stamp(const QDateTime& when) {
    return FormatTimeStamp(when).simplified();
}

}  // namespace

IPublicAddressQueries& DefaultPublicAddressQueries() {
    static LoopQueries queries;
    return queries;
}

struct PublicAddressRows::Source {
    QString interfaceNumber;
    QString url;  // the echo page the state belongs to; empty for the router
    bool chosen = false;
    bool reached = false;  // answered once: the row is shown
    QString address;       // the last address taken
    QString description, gateway, problem;
    QDateTime confirmed, asked;
    QElapsedTimer sinceAsked;
    std::unique_ptr<PendingPublicQuery> pending;
    bool waiting = false;
};

PublicAddressRows::PublicAddressRows(IPublicAddressQueries& queries, IClock& clock)
    : m_queries(queries), m_clock(clock) {
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        m_sources[i] = std::make_unique<Source>();
        m_sources[i]->interfaceNumber = i == 0 ? kRouterInterface : kEchoInterface;
    }
}

PublicAddressRows::~PublicAddressRows() = default;

bool PublicAddressRows::IsPublicInterface(const QString& interfaceNumber) {
    return interfaceNumber == kRouterInterface || interfaceNumber == kEchoInterface;
}

bool PublicAddressRows::Running() const {
    for (const auto& s : m_sources) {
        if (s->waiting) {
            return true;
        }
    }
    return false;
}

bool PublicAddressRows::Refresh(const PublicSourceChoice& choice, std::function<void()> done) {
    const QString urls[] = {QString(), choice.echoPageUrl.trimmed()};
    const bool chosen[] = {choice.askRouter, !urls[1].isEmpty()};
    for (std::size_t i = 0; i < m_sources.size(); ++i) {
        Source& s = *m_sources[i];
        if (!chosen[i] || s.url != urls[i]) {
            // Another page is another source: nothing of the old one is kept.
            const QString number = s.interfaceNumber;
            s = Source();
            s.interfaceNumber = number;
            s.url = urls[i];
        }
        s.chosen = chosen[i];
    }
    m_done = std::move(done);
    for (auto& source : m_sources) {
        Source& s = *source;
        if (!s.chosen || s.waiting ||
            (s.sinceAsked.isValid() && s.sinceAsked.elapsed() < choice.minIntervalMs)) {
            continue;
        }
        s.sinceAsked.start();
        s.asked = m_clock.Now();
        s.waiting = true;
        auto inCall = std::make_shared<bool>(true);
        auto pending = m_queries.Ask(s.url, [this, &s, inCall](const PublicAddressAnswer& a) {
            s.waiting = false;
            Apply(s, a);
            if (!*inCall) {
                s.pending.reset();
                if (!Running() && m_done) {
                    std::exchange(m_done, nullptr)();
                }
            }
        });
        *inCall = false;
        if (s.waiting && !pending) {
            s.waiting = false;  // it could not be asked
        } else if (s.waiting) {
            s.pending = std::move(pending);
        }
    }
    if (!Running()) {
        m_done = nullptr;
        return false;
    }
    return true;
}

void PublicAddressRows::Apply(Source& s, const PublicAddressAnswer& answer) {
    s.reached = s.reached || answer.reached;
    s.problem = answer.problem;
    if (!answer.description.isEmpty()) {
        s.description = answer.description;
    }
    if (!answer.gateway.isEmpty()) {
        s.gateway = answer.gateway;
    }
    // A source that fails keeps its last address: a failed question changes nothing.
    if (!answer.address.isEmpty()) {
        s.address = answer.address;
        s.confirmed = m_clock.Now();
    }
}

std::vector<IpAddressRow> PublicAddressRows::Rows() const {
    std::vector<IpAddressRow> rows;
    for (const auto& s : m_sources) {
        if (s->chosen && (s->reached || s->waiting)) {
            rows.push_back(RowOf(*s));
        }
    }
    return rows;
}

IpAddressRow PublicAddressRows::RowOf(const Source& s) const {
    const bool router = s.url.isEmpty();
    const QString noAddress = LoadString(Text::PlaceholderAddress);
    const QString where =
        router ? QStringLiteral("the UPnP router") +
                     (s.gateway.isEmpty() ? QString() : QStringLiteral(" at ") + s.gateway)
               : QStringLiteral("the echo page ") +
                     QUrl(s.url).toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery);
    QString diagnostic;
    if (!s.reached) {
        diagnostic = QStringLiteral("Asked %1; the answer has not come yet.").arg(Stamp(s.asked));
    } else if (!s.problem.isEmpty()) {
        diagnostic = s.problem + QLatin1Char(' ');
        diagnostic += s.confirmed.isValid() ? QStringLiteral("Last confirmed %1; asked %2.")
                                                  .arg(Stamp(s.confirmed), Stamp(s.asked))
                                            : QStringLiteral("Asked %1.").arg(Stamp(s.asked));
    } else {
        diagnostic =
            QStringLiteral("Public address from %1, confirmed %2.").arg(where, Stamp(s.confirmed));
    }
    IpAddressRow row;
    row[ColNicIpAddress] = !s.reached ? kLookingUp : s.address.isEmpty() ? noAddress : s.address;
    row[ColInterfaceNumber] = s.interfaceNumber;
    row[ColAddressType] = QStringLiteral("public");
    row[ColNicDescription] =
        router ? (s.description.isEmpty() ? QStringLiteral("UPnP router") : s.description)
               : QStringLiteral("Echo page at ") + QUrl(s.url).host();
    row[ColNicMacAddress] = kNoMac;
    row[ColHostName] = LoadString(Text::HostUnknown);
    row[ColGatewayIpAddress] = router && !s.gateway.isEmpty() ? s.gateway : noAddress;
    row[ColGatewayMacAddress] = kNoMac;
    row[ColSubnetMask] = noAddress;
    row[ColBroadcastIpAddress] = noAddress;
    row[ColDiagnosticInformation] = diagnostic;
    return row;
}

}  // namespace qv
