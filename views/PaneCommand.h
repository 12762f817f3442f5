#pragma once

#include <QEvent>

namespace qv {

// A pane command on its way to the control pane: posted, so that it runs after the handler that
// asked for it has returned.
class PaneCommandEvent : public QEvent {
  public:
    explicit PaneCommandEvent(int command) : QEvent(EventType()), m_command(command) {}
    static QEvent::Type EventType();

    const int m_command;
};

// Posts `command` to `pane` (never runs it at once).
void PostPaneCommand(QObject* pane, int command);

}  // namespace qv
