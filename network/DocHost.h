#pragma once

#include <QString>

#include "network/PublicAddressRows.h"
#include "resources/Ids.h"

namespace qv {

// What the document needs from the windows around it: the control pane's output box, local host
// line, log-size check and forwarding preview, the list view's refill, the frame's tray tip, and
// the posted selection-changed command. The control pane implements it; tests use a recorder.
class IDocHost {
  public:
    virtual ~IDocHost() = default;

    // The output box: replace (append false) or add a line; with `log` also the event log.
    virtual void ShowOutput(const QString& text, bool append, bool log) = 0;
    // Caption of the output box's frame.
    virtual void SetOutputHeading(const QString& text) = 0;
    // The text after "Local Host :".
    virtual void SetLocalHostText(const QString& text) = 0;
    // Run once after each successful refresh.
    virtual void CheckLogSize() = 0;
    // The hardware-only filter, read at each build.
    virtual bool ShowHardwareOnly() const = 0;
    // Whether IPv6 addresses get rows, read at each build.
    virtual bool ShowIpv6() const { return true; }

    // The list view shows the rows again and ticks the selected one.
    virtual void RefillList() = 0;
    // The frame's notification-area tip.
    virtual void SetTrayAddress(const QString& address) = 0;
    // The control pane rebuilds its status line.
    virtual void UpdateForwardPreview() = 0;
    // Posts (never sends) a pane command, e.g. 32800 after a selection change.
    virtual void PostPaneCommand(Command command) = 0;
    // A box with an OK button and no icon (the not-found message), shown without waiting for
    // it; while one is open, another is not shown.
    virtual void ShowMessage(const QString& text) = 0;
    // The sources of the public address to ask at each refresh; none unless the host says so.
    virtual PublicSourceChoice PublicSources() const { return {}; }
    // A row's host name (and diagnostic) has been filled in after the rows were shown.
    virtual void RowChanged(int row) { (void)row; }
    // A refresh has ended: its look-ups are answered or given up and the selection is checked.
    virtual void RefreshFinished() {}
};

}  // namespace qv
