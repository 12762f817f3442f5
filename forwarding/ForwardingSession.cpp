#include "forwarding/ForwardingSession.h"

#include "forwarding/Forwarder.h"
#include "resources/StringTable.h"

namespace qv {

ForwardingSession::ForwardingSession(Forwarder& owner, const TransferLimits& limits)
    : m_owner(owner), m_transfer(LoadString(Text::UserAgent).toUtf8(), limits) {
    m_transfer.SetConnectedCallback([this] {
        if (m_statusCallback) {
            emit m_owner.OutputLine(LoadString(Text::Connected), true, true);
        }
    });
}

}  // namespace qv
