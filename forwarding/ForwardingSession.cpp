#include "forwarding/ForwardingSession.h"

#include "resources/StringTable.h"

namespace qv {

CForwardingSession::CForwardingSession(IForwardHost* owner, const TransferLimits& limits)
    : m_pOwner(owner), m_transfer(LoadString(114).toUtf8(), limits) {
    m_transfer.SetConnectedCallback([this] { OnConnected(); });
}

CForwardingSession::~CForwardingSession() = default;

void CForwardingSession::EnableStatusCallback(bool enable) {
    m_bStatusCallback = enable;
}

void CForwardingSession::OnConnected() {
    if (m_bStatusCallback && m_pOwner) {
        m_pOwner->ShowOutput(LoadString(112), true, true);
    }
}

}  // namespace qv
