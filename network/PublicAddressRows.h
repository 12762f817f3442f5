#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "network/IpAddressRow.h"
#include "platform/Clock.h"
#include "platform/PublicAddress.h"

namespace qv {

// The sources of the public address that the user chose.
struct PublicSourceChoice {
    bool askRouter = false;
    QString echoPageUrl;           // empty: not asked
    qint64 minIntervalMs = 60000;  // each source is asked at most once in this time
};

// A question to a source that has not been answered yet; dropping it cancels it (its answer then
// never comes).
class PendingPublicQuery {
  public:
    virtual ~PendingPublicQuery() = default;
};

// Asks the sources. The answer runs once on the calling thread: during the call when it is known
// at once, else later from that thread's event loop.
class IPublicAddressQueries {
  public:
    using Answer = std::function<void(const PublicAddressAnswer&)>;
    virtual ~IPublicAddressQueries() = default;
    // The router over UPnP when `echoPageUrl` is empty, else that echo page.
    virtual std::unique_ptr<PendingPublicQuery> Ask(const QString& echoPageUrl, Answer answer) = 0;
};

// The real sources, each question on the event loop.
IPublicAddressQueries& DefaultPublicAddressQueries();

// The rows of the public address: one for the router ("UPnP" in the interface column) and one
// for the echo page ("Web"), each shown with "Looking up ..." while its source is asked for the
// first time, and with its answer once it has answered (a source that cannot be reached has
// none). A row is identified by its
// source alone, keeps its last address while the source fails, and says in its diagnostic where
// the address came from and when it was last confirmed. Each source is asked at most once a
// minute; a check within the minute keeps the row as it is.
class PublicAddressRows {
  public:
    PublicAddressRows(IPublicAddressQueries& queries, IClock& clock);
    ~PublicAddressRows();
    PublicAddressRows(const PublicAddressRows&) = delete;
    PublicAddressRows& operator=(const PublicAddressRows&) = delete;

    // Asks the chosen sources that are due. `done` runs once every question asked has been
    // answered; true when it will run later (from the event loop), false when all is known now
    // (`done` is not called then).
    bool Refresh(const PublicSourceChoice& choice, std::function<void()> done);
    bool Running() const;
    // The rows of the chosen sources that have answered once or are being asked for the first
    // time: the router's first.
    std::vector<IpAddressRow> Rows() const;
    static bool IsPublicInterface(const QString& interfaceNumber);

  private:
    struct Source;
    void Apply(Source& source, const PublicAddressAnswer& answer);
    IpAddressRow RowOf(const Source& source) const;

    IPublicAddressQueries& m_queries;
    IClock& m_clock;
    std::array<std::unique_ptr<Source>, 2> m_sources;
    std::function<void()> m_done;
};

}  // namespace qv
