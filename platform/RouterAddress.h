#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <optional>

#include "platform/PublicAddress.h"

namespace qv {

// The home router's external address over UPnP IGD: SSDP discovery (libminiupnpc), then the
// router's description document and its GetExternalIPAddress action. The two HTTP exchanges go
// through libcurl with a size cap and a total time-out, so that a router that sends a huge or
// endless document, or none, costs a bounded time.
class RouterAddress {
  public:
    static constexpr int kDiscoveryMs = 2000;
    static constexpr std::chrono::milliseconds kRequestLimit{2000};
    static constexpr int kMaxDescription = 64 * 1024;
    static constexpr int kMaxReply = 16 * 1024;

    // Asks the first Internet gateway that answers discovery (blocking; run it off the
    // user-interface thread). `cancel` (not owned, may be null) ends the HTTP steps early.
    static PublicAddressAnswer Ask(const std::atomic<bool>* cancel = nullptr);
    // The steps after discovery, for the device described at `location`.
    static PublicAddressAnswer AskDevice(const QByteArray& location,
                                         const std::atomic<bool>* cancel = nullptr);

    struct Description {
        QString friendlyName;
        QByteArray controlUrl;  // absolute http URL of the WAN connection service
        QString serviceType;
    };
    // The root device's friendly name and its WAN IP (or PPP) connection service; nothing, with
    // `problem` set, when the document is not one.
    static std::optional<Description> ReadDescription(const QByteArray& xml, const QUrl& location,
                                                      QString* problem);
    // The external address of a GetExternalIPAddress reply (empty when the router has none);
    // nothing, with `problem` set, for a fault or a reply that is not one.
    static std::optional<QString> ReadExternalAddress(const QByteArray& xml, QString* problem);
    // The answer for the external address the router reported.
    static PublicAddressAnswer Judge(const QString& external);
};

}  // namespace qv
