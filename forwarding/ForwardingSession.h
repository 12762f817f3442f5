#pragma once

#include "forwarding/ExchangeThread.h"
#include "forwarding/ForwardHost.h"
#include "platform/Transfer.h"

namespace qv {

// The Internet session of one exchange: the transfers under the program's agent name (string
// 114), and, once its status callback is enabled, the line 112 "Connection to Internet was
// successful!" (appended and logged) each time a connection to the server is made. The line is
// written on the owner's thread: handed to `exchange` when the transfers run on its helper thread.
class CForwardingSession {
  public:
    CForwardingSession(IForwardHost* owner, const TransferLimits& limits,
                       ExchangeThread* exchange = nullptr);
    ~CForwardingSession();
    CForwardingSession(const CForwardingSession&) = delete;
    CForwardingSession& operator=(const CForwardingSession&) = delete;

    void EnableStatusCallback(bool enable = true);
    CurlTransfer& Transfer() { return m_transfer; }

  private:
    void OnConnected();

    IForwardHost* m_pOwner;       // not owned
    ExchangeThread* m_pExchange;  // not owned
    CurlTransfer m_transfer;
    bool m_bStatusCallback = false;
};

}  // namespace qv
