#pragma once

#include "platform/Transfer.h"

namespace qv {

class Forwarder;

// The Internet session of one exchange: the transfers under the program's agent name, and, once
// its status callback is enabled, the line "Connection to Internet was successful!" (appended and
// logged) each time a connection to the server is made.
class ForwardingSession {
  public:
    ForwardingSession(Forwarder& owner, const TransferLimits& limits);
    ForwardingSession(const ForwardingSession&) = delete;
    ForwardingSession& operator=(const ForwardingSession&) = delete;

    void EnableStatusCallback(bool enable = true) { m_statusCallback = enable; }
    CurlTransfer& Transfer() { return m_transfer; }

  private:
    Forwarder& m_owner;
    CurlTransfer m_transfer;
    bool m_statusCallback = false;
};

}  // namespace qv
