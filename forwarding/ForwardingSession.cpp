#include "forwarding/ForwardingSession.h"

#include "resources/StringTable.h"

namespace qv {

ForwardingSession::ForwardingSession(IForwardHost* owner, const TransferLimits& limits)
    : m_pOwner(owner), m_transfer(LoadString(kStrUserAgent).toUtf8(), limits) {
    m_transfer.SetConnectedCallback([this] {
        if (m_bStatusCallback && m_pOwner) {
            m_pOwner->ShowOutput(LoadString(112), true, true);
        }
    });
}

}  // namespace qv
