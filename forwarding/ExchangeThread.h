#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

// Runs one piece of work at a time on a helper thread. What the work hands back (Post) runs on
// the owner thread (the one that made this object), in order, through its event loop; no event
// loop is run here. Finish waits for the work and runs what it handed back at once, for a
// caller that has no event loop any more.
class ExchangeThread {
  public:
    ExchangeThread();
    // Waits for the running work; what it handed back is dropped.
    ~ExchangeThread();
    ExchangeThread(const ExchangeThread&) = delete;
    ExchangeThread& operator=(const ExchangeThread&) = delete;

    // Starts `work` on the helper thread (after the previous work has ended).
    void Start(std::function<void()> work);
    // Hands `call` to the owner thread: run at once when called there, else queued.
    void Post(std::function<void()> call);
    // Waits for the running work, then runs, here and now, what it handed back.
    void Finish();
    // Waits for the running work and drops what it handed back.
    void Stop();

  private:
    void Drain();

    QObject m_receiver;  // lives on the owner thread
    std::thread::id m_owner;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_pending;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace qv
