#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

namespace qv::test {

// Runs the event loop until `done` holds or `ms` have passed; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return done();
}

// Runs the event loop for `ms`.
inline void RunEventsFor(int ms) {
    WaitFor([] { return false; }, ms);
}

// Delivers the posted events, then runs the event loop while `busy` holds (20 s at most).
inline void SettleWhile(const std::function<bool()>& busy) {
    QCoreApplication::sendPostedEvents();
    QDeadlineTimer deadline(20000);
    while (busy() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::sendPostedEvents();
    }
}

}  // namespace qv::test
