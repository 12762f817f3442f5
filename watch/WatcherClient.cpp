#include "watch/WatcherClient.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

#include "watch/WatcherService.h"

namespace qv {

WatcherClient::WatcherClient(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {}

bool WatcherClient::Attach() {
    if (!m_bus.isConnected()) {
        return false;
    }
    const QString service = QString::fromLatin1(kServiceName);
    const QString path = QString::fromLatin1(kServicePath);
    const QString interface = QString::fromLatin1(kServiceInterface);
    m_bus.connect(service, path, interface, QStringLiteral("OutputLine"), this,
                  SLOT(OnOutputLine(QString, bool)));
    m_bus.connect(service, path, interface, QStringLiteral("SettingsWritten"), this,
                  SLOT(OnSettingsWritten()));
    m_bus.connect(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                  QStringLiteral("PropertiesChanged"), this,
                  SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList)));
    auto* owner =
        new QDBusServiceWatcher(service, m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(owner, &QDBusServiceWatcher::serviceUnregistered, this, &WatcherClient::Gone);
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    getAll << interface;
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(getAll), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* c) {
        c->deleteLater();
        const QDBusPendingReply<QVariantMap> reply = *c;
        if (reply.isError()) {
            emit Unreachable(reply.error().message());
        } else {
            TakeProperties(reply.value());
        }
    });
    return true;
}

void WatcherClient::Call(const QString& method) {
    const QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromLatin1(kServiceName), QString::fromLatin1(kServicePath),
        QString::fromLatin1(kServiceInterface), method);
    WhenAnswered(new QDBusPendingCallWatcher(m_bus.asyncCall(message), this), method);
}

void WatcherClient::WhenAnswered(QDBusPendingCallWatcher* call, const QString& method) {
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, method](QDBusPendingCallWatcher* c) {
                c->deleteLater();
                if (c->isError()) {
                    emit Unreachable(QStringLiteral("The watcher did not take %1: %2")
                                         .arg(method, c->error().message()));
                }
            });
}

void WatcherClient::OnOutputLine(const QString& text, bool append) {
    emit Output(text, append);
}

void WatcherClient::OnSettingsWritten() {
    emit SettingsWritten();
}

void WatcherClient::OnPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                        const QStringList&) {
    if (interface == QLatin1String(kServiceInterface)) {
        TakeProperties(changed);
    }
}

void WatcherClient::TakeProperties(const QVariantMap& properties) {
    if (!properties.contains(QStringLiteral("State"))) {
        return;
    }
    m_state = properties.value(QStringLiteral("State")).toString();
    m_nextTry = properties.value(QStringLiteral("NextTry")).toString();
    emit StateChanged();
}

void AttachedForwarding::ForwardAddress(ForwardMethod method, bool byHand,
                                        std::function<void(ForwardOutcome)> done) {
    if (byHand && method != m_method) {
        m_local.ForwardAddress(method, byHand, std::move(done));
        return;
    }
    if (byHand) {
        m_client.Call(QStringLiteral("SendNow"));
    }
    // The watcher reports how its forward ends in its own lines.
    if (done) {
        done(ForwardOutcome::kNothingToSend);
    }
}

void AttachedForwarding::NotifyOffLine(ForwardMethod method) {
    if (method == m_method) {
        m_client.Call(QStringLiteral("NotifyOffline"));
    } else {
        m_local.NotifyOffLine(method);
    }
}

}  // namespace qv
