#include "forwarding/ExchangeThread.h"

namespace qv {

ExchangeThread::ExchangeThread() : m_owner(std::this_thread::get_id()) {}

ExchangeThread::~ExchangeThread() {
    *m_alive = false;
    Stop();
}

void ExchangeThread::Start(std::function<void()> work) {
    if (m_thread.joinable()) {
        m_thread.join();  // it has handed back its end already
    }
    m_thread = std::thread(std::move(work));
}

void ExchangeThread::Post(std::function<void()> call) {
    if (std::this_thread::get_id() == m_owner) {
        call();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.push_back(std::move(call));
    }
    QMetaObject::invokeMethod(
        &m_receiver, [this] { Drain(); }, Qt::QueuedConnection);
}

void ExchangeThread::Finish() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    Drain();
}

void ExchangeThread::Stop() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pending.clear();
}

// A call may destroy this object (the forwarder that owns it ends with its last exchange).
void ExchangeThread::Drain() {
    const std::shared_ptr<bool> alive = m_alive;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_pending.empty()) {
                return;
            }
            call = std::move(m_pending.front());
            m_pending.erase(m_pending.begin());
        }
        call();
        if (!*alive) {
            return;
        }
    }
}

}  // namespace qv
