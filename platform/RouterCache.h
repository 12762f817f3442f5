#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

#include "platform/NetTables.h"

namespace qv {

// Where the UPnP router of each network described itself, or that none answered, for a few
// minutes: on a network it knows, a question to the router needs no search. A network is known by
// its default gateway's address and MAC. The notes are one line per network in a file of the
// user's runtime folder ($XDG_RUNTIME_DIR, else the user's cache folder), readable by the user
// only.
class RouterCache {
  public:
    static constexpr std::chrono::minutes kLife{5};

    // The network the machine is on now: "<gateway> <MAC>", or "-" without a default route.
    static QString CurrentNetwork(INetTables& tables = DefaultNetTables());
    // The router's description address noted for `network`, empty when no router answered there;
    // nothing when there is no note younger than kLife.
    static std::optional<QByteArray> Find(const QString& network);
    // Notes the description address (empty: no router answered) for `network`.
    static void Store(const QString& network, const QByteArray& location);
    static QString FilePath();
};

}  // namespace qv
