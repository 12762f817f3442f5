#include "network/ReverseLookupBatch.h"

#include <utility>

#include "platform/ShownText.h"

namespace qv {

ReverseLookupBatch::ReverseLookupBatch(IResolver& resolver, const std::vector<std::uint32_t>& addrs,
                                       const std::vector<Ipv6Bytes>& ipv6, int deadlineMs,
                                       Answered answered, std::function<void()> finished)
    : m_answered(std::move(answered)),
      m_finished(std::move(finished)),
      m_done(addrs.size() + ipv6.size(), 0),
      m_left(m_done.size()) {
    const std::size_t first6 = addrs.size();
    try {
        m_pending = resolver.StartReverseLookups(
            addrs, deadlineMs,
            [this](std::size_t i, const ReverseLookupResult& r) { OnAnswer(i, r); });
        if (!ipv6.empty()) {
            m_pending6 = resolver.StartIpv6ReverseLookups(
                ipv6, deadlineMs, [this, first6](std::size_t i, const ReverseLookupResult& r) {
                    OnAnswer(first6 + i, r);
                });
        }
    } catch (...) {
        m_pending.reset();
        m_pending6.reset();
        for (std::size_t i = 0; i < m_done.size(); ++i) {
            OnAnswer(i, {{}, kLookupUnknown});
        }
    }
    m_started = true;
    if (!Finished()) {
        m_deadline.setSingleShot(true);
        QObject::connect(&m_deadline, &QTimer::timeout, [this] { OnDeadline(); });
        m_deadline.start(deadlineMs);
    }
}

void ReverseLookupBatch::OnAnswer(std::size_t index, const ReverseLookupResult& result) {
    if (index >= m_done.size() || m_done[index]) {
        return;
    }
    m_done[index] = 1;
    --m_left;
    // A name from a name server or the hosts file is shown as one line, free of control bytes.
    if (result.name.isEmpty()) {
        m_answered(index, result);
    } else {
        ReverseLookupResult shown = result;
        shown.name = ShownText(result.name, TextField::kSingleLine);
        m_answered(index, shown);
    }
    if (m_left == 0 && m_started) {
        m_deadline.stop();
        m_finished();
    }
}

void ReverseLookupBatch::OnDeadline() {
    m_pending.reset();  // no answer comes after the deadline
    m_pending6.reset();
    m_started = false;  // one `finished` call, after the loop
    for (std::size_t i = 0; i < m_done.size(); ++i) {
        OnAnswer(i, {{}, kLookupTryAgain});
    }
    m_finished();
}

}  // namespace qv
