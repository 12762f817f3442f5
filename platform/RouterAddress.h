#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/PublicAddress.h"

namespace qv {

// The home router's external address over UPnP IGD: an SSDP search on the event loop, then each
// answering router's description document and its GetExternalIPAddress action. The two HTTP
// exchanges go through libcurl with a size cap and a total time-out, so that a router that sends
// a huge or endless document, or none, costs a bounded time.
//
// One question: `answer` runs once, from the event loop (at once only when libcurl cannot be
// started). Destroying the object ends the question
// (the search and every exchange); its answer then never comes. The answer may destroy the
// object.
class RouterAddress {
  public:
    static constexpr int kDiscoveryMs = 2000;
    // A search that heard nothing for this long on a home network has no router to find.
    static constexpr int kQuickSearchMs = 250;
    static constexpr std::chrono::milliseconds kRequestLimit{2000};
    static constexpr int kMaxDescription = 64 * 1024;
    static constexpr int kMaxReply = 16 * 1024;
    using Answer = std::function<void(const PublicAddressAnswer&)>;

    // Searches for Internet gateways for kDiscoveryMs and asks each one as it answers: the first
    // (in the order they answered) that gives an address wins, else the first one's problem is
    // told. The answer comes as soon as it is known. Where the network's router lives, or that
    // none answered, is noted (RouterCache): on a network noted a few minutes ago the noted
    // router is asked directly (a search follows only when it does not answer), and a network
    // without a router is answered at once.
    explicit RouterAddress(Answer answer);
    // The steps after discovery, for the device described at `location`.
    RouterAddress(const QByteArray& location, Answer answer);
    ~RouterAddress();
    RouterAddress(const RouterAddress&) = delete;
    RouterAddress& operator=(const RouterAddress&) = delete;

    // The LOCATION header of an answer to the search (empty when it has none); nothing when the
    // datagram is no answer.
    static std::optional<QByteArray> LocationOf(const QByteArray& datagram);

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

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace qv
