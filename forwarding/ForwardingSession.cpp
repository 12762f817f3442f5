#include "forwarding/ForwardingSession.h"

#include "resources/StringTable.h"

namespace qv {

CForwardingSession::CForwardingSession(IForwardHost* owner, const TransferLimits& limits,
                                       ExchangeThread* exchange)
    : m_pOwner(owner),
      m_pExchange(exchange),
      m_transfer(LoadString(kStrUserAgent).toUtf8(), limits) {
    m_transfer.SetConnectedCallback([this] { OnConnected(); });
}

CForwardingSession::~CForwardingSession() = default;

void CForwardingSession::EnableStatusCallback(bool enable) {
    m_bStatusCallback = enable;
}

void CForwardingSession::OnConnected() {
    if (!m_bStatusCallback || !m_pOwner) {
        return;
    }
    IForwardHost* const owner = m_pOwner;
    auto show = [owner] { owner->ShowOutput(LoadString(112), true, true); };
    m_pExchange ? m_pExchange->Post(show) : show();
}

}  // namespace qv
