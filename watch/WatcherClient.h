#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "watch/ForwardingCommands.h"

class QDBusPendingCallWatcher;

namespace qv {

// A window's line to a watcher that another process runs (`quorvane-cli watch`) and offers on
// the session bus (WatcherService): its output lines and state come in as signals, and commands
// go out as calls that nothing waits for. It never blocks: every call is asynchronous.
class WatcherClient : public QObject {
    Q_OBJECT

  public:
    explicit WatcherClient(QDBusConnection bus = QDBusConnection::sessionBus(),
                           QObject* parent = nullptr);

    // Listens to the watcher and asks for its state; false without a session bus.
    bool Attach();
    // Calls `method` (Refresh, SendNow, NotifyOffline, ReloadSettings) of the watcher.
    void Call(const QString& method);

    QString State() const { return m_state; }
    QString NextTry() const { return m_nextTry; }

  signals:
    // A line of the watcher's output box.
    void Output(const QString& text, bool append);
    // The watcher's state changed (or was learnt).
    void StateChanged();
    // A call did not reach the watcher: `why` says so.
    void Unreachable(const QString& why);
    // The watcher left the bus (it stopped).
    void Gone();
    // The watcher wrote the settings file.
    void SettingsWritten();

  private slots:
    void OnOutputLine(const QString& text, bool append);
    void OnSettingsWritten();
    void OnPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);

  private:
    void TakeProperties(const QVariantMap& properties);
    void WhenAnswered(QDBusPendingCallWatcher* call, const QString& method);

    QDBusConnection m_bus;
    QString m_state = QStringLiteral("attaching");
    QString m_nextTry;
};

// The forwarding of a window attached to a running watcher: the sends and off-line notices by
// the chosen method go to that watcher, which forwards (once, from one place); automatic forwards
// are its own business, and nothing is owed at the window's shutdown. A send or notice by the
// other method, and the connection test, run in the window with its own forwarder.
class AttachedForwarding : public IPaneForwarding {
  public:
    // `method` is the chosen method as the window's settings hold it.
    AttachedForwarding(WatcherClient& client, Forwarder& local, const ForwardMethod& method)
        : m_client(client), m_local(local), m_method(method) {}

    void ForwardAddress(ForwardMethod method, bool byHand,
                        std::function<void(ForwardOutcome)> done) override;
    void NotifyOffLine(ForwardMethod method) override;
    void OfferOffLineNotice(ForwardMethod method) override { m_local.OfferOffLineNotice(method); }
    void OffLineAtShutdown() override {}
    void UpdateForwardPreview() override { m_local.UpdateForwardPreview(); }
    void OnTestInternet() override { m_local.OnTestInternet(); }
    bool IsBusy() const override { return m_local.IsBusy(); }

  private:
    WatcherClient& m_client;
    Forwarder& m_local;
    const ForwardMethod& m_method;
};

}  // namespace qv
