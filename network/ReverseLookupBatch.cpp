#include "network/ReverseLookupBatch.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

namespace qv {

ReverseLookupBatch::ReverseLookupBatch(const IResolver& resolver, std::vector<std::uint32_t> addrs,
                                       unsigned maxThreads)
    : m_resolver(resolver),
      m_addrs(std::move(addrs)),
      m_results(m_addrs.size()),
      m_done(m_addrs.size(), 0) {
    const std::size_t count = std::min<std::size_t>(std::max(maxThreads, 1u), m_addrs.size());
    for (std::size_t t = 0; t < count; ++t) {
        try {
            m_threads.emplace_back([this] {
                while (RunNext()) {
                }
            });
        } catch (const std::system_error&) {
            break;  // fewer workers; Wait() does the work itself when there are none
        }
    }
}

ReverseLookupBatch::~ReverseLookupBatch() {
    m_stop = true;
    for (auto& t : m_threads) {
        t.join();
    }
}

bool ReverseLookupBatch::RunNext() {
    if (m_stop) {
        return false;
    }
    const std::size_t i = m_next.fetch_add(1);
    if (i >= m_addrs.size()) {
        return false;
    }
    ReverseLookupResult result;
    try {
        result = m_resolver.ReverseLookup(m_addrs[i]);
    } catch (...) {
        result.error = kLookupUnknown;
    }
    {
        std::lock_guard lock(m_mutex);
        m_results[i] = std::move(result);
        m_done[i] = 1;
    }
    m_ready.notify_all();
    return true;
}

ReverseLookupResult ReverseLookupBatch::Wait(std::size_t i, const std::function<void()>& idle) {
    using namespace std::chrono_literals;
    std::unique_lock lock(m_mutex);
    while (!m_done[i]) {
        if (m_threads.empty()) {
            lock.unlock();
            RunNext();
            lock.lock();
            continue;
        }
        if (!m_ready.wait_for(lock, 10ms, [&] { return m_done[i] != 0; }) && idle) {
            lock.unlock();
            idle();
            lock.lock();
        }
    }
    return m_results[i];
}

void ReverseLookupBatch::WaitAll(const std::function<void()>& idle) {
    for (std::size_t i = 0; i < m_addrs.size(); ++i) {
        Wait(i, idle);
    }
}

}  // namespace qv
