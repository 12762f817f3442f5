#include "watch/RetrySchedule.h"

#include <QTimer>

#include <algorithm>
#include <climits>

namespace qv {

// A single-shot timer of the event loop; its minutes may be shortened for tests. Precise, so that
// it never fires before its time.
class RetrySchedule::EventLoopTimer : public RetryTimer {
  public:
    EventLoopTimer() {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const std::function<void()> due = std::move(m_due);
            due();
        });
    }
    void Start(std::chrono::milliseconds delay, std::function<void()> due) override {
        m_due = std::move(due);
        const qint64 ms = delay.count() * m_minuteMs / 60000;
        m_timer.start(static_cast<int>(std::clamp<qint64>(ms, 1, INT_MAX)));
    }
    void Stop() override { m_timer.stop(); }
    int m_minuteMs = 60000;

  private:
    QTimer m_timer;
    std::function<void()> m_due;
};

RetrySchedule::RetrySchedule(std::function<void()> due)
    : m_due(std::move(due)),
      m_ownTimer(std::make_unique<EventLoopTimer>()),
      m_retryTimer(m_ownTimer.get()) {}

RetrySchedule::~RetrySchedule() {
    m_retryTimer->Stop();
}

std::chrono::milliseconds RetrySchedule::Delay(int failures, std::chrono::milliseconds pollPeriod) {
    const std::chrono::milliseconds longest =
        std::max(kFirstDelay, std::min(pollPeriod, kLongestDelay));
    std::chrono::milliseconds delay = kFirstDelay;
    for (int i = 1; i < failures && delay < longest; ++i) {
        delay *= 2;
    }
    return std::min(delay, longest);
}

QString RetrySchedule::DueText(std::chrono::milliseconds delay) {
    const qint64 seconds = (delay.count() + 500) / 1000;
    if (seconds < 60 || seconds % 60 != 0) {
        return QStringLiteral("Next try in %1 second%2").arg(seconds).arg(seconds == 1 ? "" : "s");
    }
    const qint64 minutes = seconds / 60;
    return QStringLiteral("Next try in %1 minute%2").arg(minutes).arg(minutes == 1 ? "" : "s");
}

std::chrono::milliseconds RetrySchedule::Failed(std::chrono::milliseconds pollPeriod) {
    const std::chrono::milliseconds delay = Delay(++m_failures, pollPeriod);
    m_state = State::Waiting;
    m_retryTimer->Start(delay, [this] {
        m_state = State::Due;
        m_due();
    });
    return delay;
}

bool RetrySchedule::TakeDue() {
    if (m_state != State::Due) {
        return false;
    }
    m_state = State::Idle;
    return true;
}

void RetrySchedule::Reset() {
    m_retryTimer->Stop();
    m_state = State::Idle;
    m_failures = 0;
}

void RetrySchedule::SetMinuteMs(int ms) {
    m_ownTimer->m_minuteMs = ms > 0 ? ms : 60000;
}

void RetrySchedule::SetTimer(RetryTimer* timer) {
    m_retryTimer->Stop();
    m_retryTimer = timer ? timer : m_ownTimer.get();
    m_state = State::Idle;
}

}  // namespace qv
