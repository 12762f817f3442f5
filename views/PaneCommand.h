#pragma once

#include <QEvent>

#include "resources/Ids.h"

namespace qv {

// A pane command on its way to the control pane: posted, so that it runs after the handler that
// asked for it has returned.
class PaneCommandEvent : public QEvent {
  public:
    explicit PaneCommandEvent(Command command) : QEvent(EventType()), m_command(command) {}
    static QEvent::Type EventType();

    const Command m_command;
};

// Posts `command` to `pane` (never runs it at once).
void PostPaneCommand(QObject* pane, Command command);

}  // namespace qv
