#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

namespace qv {

// The one timer of a RetrySchedule. The schedule's own runs on the event loop; a test puts one in
// its place that it fires itself, so that a day of tries takes no time.
class RetryTimer {
  public:
    virtual ~RetryTimer() = default;
    // Calls `due` once, `delay` from now; a start replaces the one before.
    virtual void Start(std::chrono::milliseconds delay, std::function<void()> due) = 0;
    virtual void Stop() = 0;
};

// When to try again after a failed automatic forward: 30 s after the first failure, then 1, 2, 4,
// 8 minutes and so on, never longer than the polling period or 30 minutes and never shorter than
// 30 s, so that the tries reach the host at most once in 30 s. One try at most is pending.
class RetrySchedule {
  public:
    static constexpr std::chrono::milliseconds kFirstDelay{30000};
    static constexpr std::chrono::milliseconds kLongestDelay{30 * 60000};

    explicit RetrySchedule(std::function<void()> due);
    ~RetrySchedule();
    RetrySchedule(const RetrySchedule&) = delete;
    RetrySchedule& operator=(const RetrySchedule&) = delete;

    // One more failure in a row: the next try comes due after the returned wait, which
    // `pollPeriod` bounds.
    std::chrono::milliseconds Failed(std::chrono::milliseconds pollPeriod);
    // The try that has come due, taken once: false when none has, or Reset came in between.
    bool TakeDue();
    // Ends the back-off: nothing is pending, and the next failure waits the first delay again.
    void Reset();
    // A try waits for its time, or has come due and is not taken yet.
    bool IsPending() const { return m_state != State::Idle; }

    // The wait after `failures` failures in a row (1: the first).
    static std::chrono::milliseconds Delay(int failures, std::chrono::milliseconds pollPeriod);
    // "Next try in 30 seconds", "Next try in 1 minute", "Next try in 2 minutes".
    static QString DueText(std::chrono::milliseconds delay);

    // The own timer runs `ms` for each minute: 60000 unless a test shortens it.
    void SetMinuteMs(int ms);
    // A timer that a test fires itself; null: the own one again.
    void SetTimer(RetryTimer* timer);

  private:
    class EventLoopTimer;
    enum class State { Idle, Waiting, Due };

    std::function<void()> m_due;
    std::unique_ptr<EventLoopTimer> m_ownTimer;
    RetryTimer* m_retryTimer;
    State m_state = State::Idle;
    int m_failures = 0;
};

}  // namespace qv
