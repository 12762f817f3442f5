#pragma once

#include <QDBusConnection>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace qv {

class AddressWatcher;

// The name, object and interface under which a running watcher is offered on the session bus.
inline constexpr const char* kServiceName = "org.calvort.Quorvane1";
inline constexpr const char* kServicePath = "/org/calvort/Quorvane1";
inline constexpr const char* kServiceInterface = "org.calvort.Quorvane1";

// A watcher's work as the states a face shows.
inline constexpr const char* kStateIdle = "idle";
inline constexpr const char* kStateChecking = "checking";
inline constexpr const char* kStateForwarding = "forwarding";
inline constexpr const char* kStateWaitingToRetry = "waiting-to-retry";

// Offers a watcher on the session bus, so that a window (or `quorvane-cli status`) can show its
// state and send it commands: the ticked address, the address each target last took and when, the
// state of its work with the time of the next try; the commands Refresh, SendNow, NotifyOffline
// and ReloadSettings, which wait in the watcher's queue like the window's; and what it reports as
// it goes. Only the same user's session bus reaches it, and nothing on it holds a password: the
// targets are named with their passwords masked. Changes of the properties are announced with
// org.freedesktop.DBus.Properties.PropertiesChanged.
class WatcherService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.calvort.Quorvane1")
    Q_PROPERTY(QStringList TickedAddresses READ TickedAddresses)
    Q_PROPERTY(QVariantMap LastForwarded READ LastForwarded)
    Q_PROPERTY(QString State READ State)
    Q_PROPERTY(QString NextTry READ NextTry)
    Q_PROPERTY(QString Target READ Target)

  public:
    explicit WatcherService(AddressWatcher& watcher, QObject* parent = nullptr);
    ~WatcherService() override;

    // Registers the object and asks for the name on `bus`, without waiting for the answer;
    // `told` gets one line should either fail (no session bus, the name taken).
    void Offer(std::function<void(const QString&)> told,
               QDBusConnection bus = QDBusConnection::sessionBus());

    QStringList TickedAddresses() const;
    // Target (its method and URL, password masked) -> {"address": ..., "time": ISO local time}.
    QVariantMap LastForwarded() const { return m_forwarded; }
    QString State() const { return m_state; }
    // ISO local time of the next try while one waits, else empty.
    QString NextTry() const;
    QString Target() const;

  public slots:
    void Refresh();
    void SendNow();
    void NotifyOffline();
    void ReloadSettings();

  signals:
    // A line for the output box: it replaces the box's text or is added after it.
    void OutputLine(const QString& text, bool append);
    void AddressForwarded(const QString& target, const QString& address);
    void ForwardFailed(const QString& target, const QString& address);
    // The watcher wrote its settings or its ticked row to the settings file: a face that holds
    // them reads them again.
    void SettingsWritten();

  private:
    void StateMayHaveChanged();
    void UpdateState();
    void OnForwardEnded(const QString& targetKey, const QString& address, bool taken);
    void AnnounceChanges(const QVariantMap& changed);

    AddressWatcher& m_watcher;
    QDBusConnection m_bus{QString()};
    bool m_registered = false;
    bool m_updatePosted = false;
    QString m_state = QString::fromLatin1(kStateIdle);
    QString m_nextTry;
    QString m_ticked;
    QVariantMap m_forwarded;
};

// The target of an AddressWatcher::TargetKey as shown: its method and URL (and page), with any
// password in it masked.
QString ShownTarget(const QString& targetKey);

}  // namespace qv
