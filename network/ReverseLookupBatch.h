#pragma once

#include "platform/Resolver.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

// Reverse look-ups of a list of addresses on a bounded number of worker threads. The results are
// collected by index, so the caller can use them in the list's order while later ones still run.
class ReverseLookupBatch {
  public:
    static constexpr unsigned kDefaultThreads = 8;

    ReverseLookupBatch(const IResolver& resolver, std::vector<std::uint32_t> addrs,
                       unsigned maxThreads = kDefaultThreads);
    // Hands out no further work and waits for the look-ups already running.
    ~ReverseLookupBatch();

    ReverseLookupBatch(const ReverseLookupBatch&) = delete;
    ReverseLookupBatch& operator=(const ReverseLookupBatch&) = delete;

    std::size_t size() const { return m_addrs.size(); }

    // The result for addrs[i]; calls `idle` (if set) between short waits until it is ready.
    ReverseLookupResult Wait(std::size_t i, const std::function<void()>& idle);
    // Waits for every look-up.
    void WaitAll(const std::function<void()>& idle);

  private:
    bool RunNext();

    const IResolver& m_resolver;
    std::vector<std::uint32_t> m_addrs;
    std::vector<ReverseLookupResult> m_results;
    std::vector<char> m_done;
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<std::thread> m_threads;
};

}  // namespace qv
