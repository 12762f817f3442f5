#pragma once

#include <QString>

class QWidget;

namespace qv {

struct InfoCtrlSettings;

// The forwarding work that the control pane's commands start. The forwarder implements it; until
// one is attached, those commands do nothing.
class IPaneForwarding {
  public:
    virtual ~IPaneForwarding() = default;

    virtual void SendHTTPAddress() = 0;
    virtual void SendFTPPage() = 0;
    virtual void NotifyHTTPOffLine() = 0;
    virtual void NotifyFTPOffLine() = 0;
    // Offers to take down what the other method left at the host: http 1 = HTTP, 0 = FTP.
    virtual void OfferOffLineNotice(int http) = 0;
    // The off-line notice owed at shutdown, for the chosen method only.
    virtual void OffLineAtShutdown() = 0;
    // Rebuilds the status line's preview of the forwarding target.
    virtual void UpdateForwardPreview() = 0;
    // The "Test Internet" button.
    virtual void OnTestInternet() = 0;
};

// The settings sheet as the control pane sees it. The sheet widget sits at the pane's top-left;
// its pages post pane commands, and the pane asks them to copy their values to or from the
// settings record.
class IPaneSheet {
  public:
    enum Page { kGeneral, kHttpTarget, kFtpTarget, kLogging };

    virtual ~IPaneSheet() = default;

    virtual QWidget* Widget() = 0;
    // Page values into the record; the General page also sets `hideOnStartup`.
    virtual void TakePage(Page page, InfoCtrlSettings& settings, int& hideOnStartup) = 0;
    // Record values into the page.
    virtual void FillPage(Page page, const InfoCtrlSettings& settings, int hideOnStartup) = 0;
};

}  // namespace qv
