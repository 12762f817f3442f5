#pragma once

#include <QObject>

class QSocketNotifier;

namespace qv {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered on the event loop (through a
// self-pipe), so that `kill`, Ctrl+C in a terminal and the end of a session take the program's
// ordinary shutdown road instead of ending it on the spot. One object at a time; its destruction
// restores the default actions.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool IsInstalled() const { return m_notifier != nullptr; }

  signals:
    void Received(int signalNumber);

  private:
    void Drain();

    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace qv
