#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>

#include "platform/PublicAddress.h"

namespace qv {

// An echo page: a web page whose reply body is the caller's address as plain text. Its reply is
// read with a short time-out and at most a few bytes of it, so a page that talks too much or
// never ends costs nothing.
class EchoPageAddress {
  public:
    static constexpr std::chrono::milliseconds kTimeLimit{5000};
    static constexpr int kMaxReply = 100;

    // Asks the page over IPv4 (blocking; run it off the user-interface thread). `cancel` (not
    // owned, may be null) ends it early.
    static PublicAddressAnswer Ask(const QString& url, const std::atomic<bool>* cancel = nullptr);

    // What a reply body says: one public IPv4 address, blanks and line breaks around it allowed.
    // `truncated`: the body was longer than kMaxReply.
    static PublicAddressAnswer ReadReply(const QByteArray& body, bool truncated);
};

}  // namespace qv
