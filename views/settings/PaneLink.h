#pragma once

#include "resources/Ids.h"

class QPoint;
class QWidget;

namespace qv {

// What the settings pages ask of the control pane that holds their sheet. The pages never call
// the pane directly: every request is a pane command that runs after the page's handler returns.
class IPaneLink {
  public:
    virtual ~IPaneLink() = default;

    // Queues `command`. It must not run before this call returns.
    virtual void PostPaneCommand(Command command) = 0;

    // A page control wants its tool tip. `controlId` is the control's number, which is also the
    // number of its help string (some controls have none). The pane hands the request to the
    // frame, whose fast-tips switch decides whether a tip shows. The page shows no tip of its own.
    virtual void RequestControlTip(QWidget* control, int controlId, const QPoint& globalPos) = 0;
};

}  // namespace qv
