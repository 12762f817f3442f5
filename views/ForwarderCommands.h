#pragma once

#include "forwarding/Forwarder.h"
#include "views/PaneParts.h"

namespace qv {

// The pane commands' forwarding work, done by a forwarder: the pane's own, or one that a test
// makes with other options and puts in its place (CInfoCtrlView::SetForwarding).
class ForwarderCommands : public IPaneForwarding {
  public:
    explicit ForwarderCommands(CForwarder& forwarder) : m_forwarder(forwarder) {}
    void SendHTTPAddress() override { m_forwarder.SendHTTPAddress(); }
    void SendFTPPage() override { m_forwarder.SendFTPPage(); }
    void NotifyHTTPOffLine() override { m_forwarder.NotifyHTTPOffLine(); }
    void NotifyFTPOffLine() override { m_forwarder.NotifyFTPOffLine(); }
    void OfferOffLineNotice(int http) override { m_forwarder.OfferOffLineNotice(http); }
    void OffLineAtShutdown() override { m_forwarder.OffLineAtShutdown(); }
    void UpdateForwardPreview() override { m_forwarder.UpdateForwardPreview(); }
    void OnTestInternet() override { m_forwarder.OnTestInternet(); }

  private:
    CForwarder& m_forwarder;
};

}  // namespace qv
