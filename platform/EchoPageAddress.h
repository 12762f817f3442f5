#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

#include "platform/PublicAddress.h"
#include "platform/Transfer.h"

namespace qv {

// An echo page: a web page whose reply body is the caller's address as plain text. Its reply is
// read with a short time-out and at most a few bytes of it, so a page that talks too much or
// never ends costs nothing.
//
// Whatever happens, the answer counts as reached, so that the page's row tells why it gave no
// address: a page that stays silent, fails, or whose address is not http or https.
//
// One question to the page over IPv4, on the event loop: `answer` runs once, from the event loop
// (at once only when libcurl cannot be started). Destroying the object ends the question; its
// answer then never comes. The answer may destroy the object.
class EchoPageAddress {
  public:
    static constexpr std::chrono::milliseconds kTimeLimit{5000};
    static constexpr int kMaxReply = 100;
    using Answer = std::function<void(const PublicAddressAnswer&)>;

    EchoPageAddress(const QString& url, Answer answer);
    EchoPageAddress(const EchoPageAddress&) = delete;
    EchoPageAddress& operator=(const EchoPageAddress&) = delete;

    // What a reply body says: one public IPv4 address, blanks and line breaks around it allowed.
    // `truncated`: the body was longer than kMaxReply.
    static PublicAddressAnswer ReadReply(const QByteArray& body, bool truncated);

  private:
    void OnReply(const HttpReply& reply);

    QString m_url;
    Answer m_answer;
    CurlTransfer m_transfer;
};

}  // namespace qv
