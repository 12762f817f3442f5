#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace qv {

// Listens to the kernel's announcements of address and link changes (rtnetlink, IPv4 and IPv6
// address groups and the link group) on the event loop, and reports them as one `Changed` per
// burst: the signal comes `quietMs` after the last message of a burst, and at the latest
// `longestWaitMs` after its first one, so a storm that never pauses still gives regular checks.
//
// When the socket's buffer overflows, messages are lost; the listener then reports a change all
// the same, so that the next check looks at everything. Nothing runs between messages.
class AddressEvents : public QObject {
    Q_OBJECT

  public:
    explicit AddressEvents(QObject* parent = nullptr, int quietMs = 200, int longestWaitMs = 1000);
    ~AddressEvents() override;

    // Opens the socket; false (with ErrorText) when the kernel refuses it. Safe to call again.
    bool Start();
    void Stop();
    QString ErrorText() const { return m_error; }

  signals:
    // Addresses or links changed; `messagesLost` when the kernel dropped some announcements.
    void Changed(bool messagesLost);

  private:
    void OnReadable();
    void Note(bool lost);
    void Fire();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_quiet;
    QTimer m_longest;
    bool m_lost = false;
    QString m_error;
};

}  // namespace qv
