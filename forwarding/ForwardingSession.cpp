#include "forwarding/ForwardingSession.h"

#include "resources/StringTable.h"

namespace qv {

ForwardingSession::ForwardingSession(IForwardHost* owner, const TransferLimits& limits)
    : m_owner(owner), m_transfer(LoadString(Text::UserAgent).toUtf8(), limits) {
    m_transfer.SetConnectedCallback([this] {
        if (m_statusCallback && m_owner) {
            m_owner->ShowOutput(LoadString(Text::Connected), true, true);
        }
    });
}

}  // namespace qv
