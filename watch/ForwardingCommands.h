#pragma once

#include <functional>

#include "forwarding/Forwarder.h"

namespace qv {

// The forwarding work that the watcher's commands start. The forwarder implements it; until
// one is attached, those commands do nothing.
class IPaneForwarding {
  public:
    virtual ~IPaneForwarding() = default;

    // Sends the address by `method`; then `done` (when given) learns how it ended. `byHand`: the
    // user asked for it, so it may ask the user.
    virtual void ForwardAddress(ForwardMethod method, bool byHand,
                                std::function<void(ForwardOutcome)> done) = 0;
    virtual void NotifyOffLine(ForwardMethod method) = 0;
    // Offers to take down what a method the user left behind did at its host.
    virtual void OfferOffLineNotice(ForwardMethod method) = 0;
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
    void ForwardAddress(ForwardMethod method, bool byHand,
                        std::function<void(ForwardOutcome)> done) override {
        m_forwarder.ForwardAddress(method, byHand, std::move(done));
    }
    void NotifyOffLine(ForwardMethod method) override { m_forwarder.NotifyOffLine(method); }
    void OfferOffLineNotice(ForwardMethod method) override {
        m_forwarder.OfferOffLineNotice(method);
    }
    void OffLineAtShutdown() override { m_forwarder.OffLineAtShutdown(); }
    void UpdateForwardPreview() override { m_forwarder.UpdateForwardPreview(); }
    void OnTestInternet() override { m_forwarder.OnTestInternet(); }
    bool IsBusy() const override { return m_forwarder.IsBusy(); }

  private:
    Forwarder& m_forwarder;
};

}  // namespace qv
