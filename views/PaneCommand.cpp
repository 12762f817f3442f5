#include "views/PaneCommand.h"

#include <QCoreApplication>

namespace qv {

QEvent::Type PaneCommandEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostPaneCommand(QObject* pane, Command command) {
    QCoreApplication::postEvent(pane, new PaneCommandEvent(command));
}

}  // namespace qv
