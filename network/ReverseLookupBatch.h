#pragma once

#include "platform/Resolver.h"

#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace qv {

// The reverse look-ups of one refresh: started together, handed on as their answers arrive, and
// ended at one deadline, where each look-up still unanswered gets the "try again" failure that a
// resolver time-out gives. Answers come from the event loop of the thread that made the batch
// (those known at once during the constructor); nothing waits.
class ReverseLookupBatch {
  public:
    using Answered = std::function<void(std::size_t index, const ReverseLookupResult&)>;

    // `finished` runs once when the last answer has been handed on after the constructor has
    // returned; a batch answered completely during the constructor is Finished() at once.
    // The IPv6 addresses follow the IPv4 ones: the answer for ipv6[i] has index addrs.size() + i.
    ReverseLookupBatch(IResolver& resolver, const std::vector<std::uint32_t>& addrs,
                       const std::vector<Ipv6Bytes>& ipv6, int deadlineMs, Answered answered,
                       std::function<void()> finished);
    ReverseLookupBatch(const ReverseLookupBatch&) = delete;
    ReverseLookupBatch& operator=(const ReverseLookupBatch&) = delete;

    bool Finished() const { return m_left == 0; }

  private:
    void OnAnswer(std::size_t index, const ReverseLookupResult& result);
    void OnDeadline();

    Answered m_answered;
    std::function<void()> m_finished;
    std::vector<char> m_done;
    std::size_t m_left;
    bool m_started = false;
    QTimer m_deadline;
    std::unique_ptr<PendingLookups> m_pending, m_pending6;
};

}  // namespace qv
