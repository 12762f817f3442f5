#pragma once

#include <functional>

#include "forwarding/Forwarder.h"

namespace qv {

// The forwarding work that the watcher's commands start. The forwarder implements it; until
// one is attached, those commands do nothing.
class IPaneForwarding {
  public:
    virtual ~IPaneForwarding() = default;

    // Sends the address by HTTP (`http`) or uploads the page; then `done` (when given) learns
    // how it ended. `byHand`: the user asked for it, so it may ask the user.
    virtual void ForwardAddress(bool http, bool byHand,
                                std::function<void(ForwardOutcome)> done) = 0;
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
    // An exchange runs or waits for its turn.
    virtual bool IsBusy() const { return false; }
};

// The commands' forwarding work, done by a forwarder: the watcher's own, or one that a test
// makes with other options and puts in its place (AddressWatcher::SetForwarding).
class ForwarderCommands : public IPaneForwarding {
  public:
    explicit ForwarderCommands(Forwarder& forwarder) : m_forwarder(forwarder) {}
    void ForwardAddress(bool http, bool byHand, std::function<void(ForwardOutcome)> done) override {
        m_forwarder.ForwardAddress(http, byHand, std::move(done));
    }
    void NotifyHTTPOffLine() override { m_forwarder.NotifyHTTPOffLine(); }
    void NotifyFTPOffLine() override { m_forwarder.NotifyFTPOffLine(); }
    void OfferOffLineNotice(int http) override { m_forwarder.OfferOffLineNotice(http); }
    void OffLineAtShutdown() override { m_forwarder.OffLineAtShutdown(); }
    void UpdateForwardPreview() override { m_forwarder.UpdateForwardPreview(); }
    void OnTestInternet() override { m_forwarder.OnTestInternet(); }
    bool IsBusy() const override { return m_forwarder.IsBusy(); }

  private:
    Forwarder& m_forwarder;
};

}  // namespace qv
