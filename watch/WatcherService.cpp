#include "watch/WatcherService.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "forwarding/ForwardText.h"
#include "forwarding/TargetUrl.h"
#include "resources/Ids.h"
#include "watch/AddressWatcher.h"

namespace qv {
namespace {

// RequestName's flag and its answers, as the bus daemon numbers them.
constexpr uint kDoNotQueue = 4;
constexpr uint kPrimaryOwner = 1;
constexpr uint kAlreadyOwner = 4;

QDBusMessage BusCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

QString Now() {
    return QDateTime::currentDateTime().toString(Qt::ISODate);
}

}  // namespace

QString ShownTarget(const QString& targetKey) {
    const QStringList parts = targetKey.split(QLatin1Char('\n'));
    QString shown = parts.value(0).toUpper() + QLatin1Char(' ') + MaskUrlPassword(parts.value(1));
    if (parts.size() > 2) {
        shown += QLatin1Char(' ') + parts.value(2);
    }
    return shown;
}

WatcherService::WatcherService(AddressWatcher& watcher, QObject* parent)
    : QObject(parent), m_watcher(watcher) {
    connect(&m_watcher, &AddressWatcher::Output, this,
            [this](const QString& text, bool append) { emit OutputLine(text, append); });
    connect(&m_watcher, &AddressWatcher::ForwardEnded, this, &WatcherService::OnForwardEnded);
    connect(&m_watcher, &AddressWatcher::SettingsWritten, this, &WatcherService::SettingsWritten);
    for (const auto& changed : {&AddressWatcher::ExchangesFinished, &AddressWatcher::Idle}) {
        connect(&m_watcher, changed, this, &WatcherService::StateMayHaveChanged);
    }
    connect(&m_watcher, &AddressWatcher::Busy, this, &WatcherService::StateMayHaveChanged);
    connect(&m_watcher, &AddressWatcher::TrayAddress, this, &WatcherService::StateMayHaveChanged);
    connect(&m_watcher, &AddressWatcher::Output, this, &WatcherService::StateMayHaveChanged);
}

WatcherService::~WatcherService() {
    if (m_registered) {
        m_bus.unregisterObject(QString::fromLatin1(kServicePath));
        // Given back at once, so that a watcher offered after this one in the same process
        // gets the name; nothing waits for the answer.
        m_bus.send(BusCall(QStringLiteral("ReleaseName")) << QString::fromLatin1(kServiceName));
    }
}

void WatcherService::Offer(std::function<void(const QString&)> told, QDBusConnection bus) {
    if (!bus.isConnected()) {
        told(QStringLiteral("No session bus: the watcher is not offered as %1.")
                 .arg(QLatin1String(kServiceName)));
        return;
    }
    m_bus = bus;
    m_registered =
        m_bus.registerObject(QString::fromLatin1(kServicePath), this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                 QDBusConnection::ExportAllProperties);
    if (!m_registered) {
        told(QStringLiteral("The watcher could not be offered on the session bus at %1.")
                 .arg(QLatin1String(kServicePath)));
        return;
    }
    auto* answer = new QDBusPendingCallWatcher(
        m_bus.asyncCall(BusCall(QStringLiteral("RequestName"))
                        << QString::fromLatin1(kServiceName) << kDoNotQueue),
        this);
    connect(
        answer, &QDBusPendingCallWatcher::finished, this,
        [told = std::move(told)](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusPendingReply<uint> reply = *call;
            if (reply.isError() ||
                (reply.value() != kPrimaryOwner && reply.value() != kAlreadyOwner)) {
                told(QStringLiteral("The session bus did not give the name %1%2: the "
                                    "watcher is not offered on it.")
                         .arg(QLatin1String(kServiceName),
                              reply.isError() ? QStringLiteral(" (%1)").arg(reply.error().message())
                                              : QStringLiteral(" (another holds it)")));
            }
        });
    UpdateState();
}

QStringList WatcherService::TickedAddresses() const {
    const QString address = m_watcher.SelectedIp();
    return IsValidAddressText(address) ? QStringList{address} : QStringList{};
}

QString WatcherService::NextTry() const {
    const QDateTime next = m_watcher.NextTryTime();
    return next.isValid() ? next.toString(Qt::ISODate) : QString();
}

QString WatcherService::Target() const {
    return ShownTarget(m_watcher.TargetKey());
}

void WatcherService::Refresh() {
    m_watcher.PostPaneCommand(Command::Refresh);
}

void WatcherService::SendNow() {
    m_watcher.PostPaneCommand(Command::ManualSend);
}

void WatcherService::NotifyOffline() {
    switch (m_watcher.Settings().Method) {
        case ForwardMethod::Http:
            m_watcher.PostPaneCommand(Command::HttpOffLine);
            break;
        case ForwardMethod::Ftp:
            m_watcher.PostPaneCommand(Command::FtpOffLine);
            break;
        case ForwardMethod::DynDns:
            break;  // a dynamic DNS service is told nothing when the machine goes off line
        case ForwardMethod::DnsUpdate:
            m_watcher.PostPaneCommand(Command::DnsOffLine);
            break;
    }
}

void WatcherService::ReloadSettings() {
    m_watcher.PostPaneCommand(Command::ReloadSettings);
}

// The signals come in bursts while work starts and ends: the state is read once they are over.
void WatcherService::StateMayHaveChanged() {
    if (m_updatePosted) {
        return;
    }
    m_updatePosted = true;
    QMetaObject::invokeMethod(this, &WatcherService::UpdateState, Qt::QueuedConnection);
}

void WatcherService::UpdateState() {
    m_updatePosted = false;
    const QString state = QString::fromLatin1(m_watcher.OwnForwarder().IsBusy() ? kStateForwarding
                                              : m_watcher.IsBusy()              ? kStateChecking
                                              : m_watcher.IsRetryPending() ? kStateWaitingToRetry
                                                                           : kStateIdle);
    const QString nextTry = NextTry();
    const QString ticked = TickedAddresses().join(QLatin1Char(' '));
    QVariantMap changed;
    if (state != m_state || nextTry != m_nextTry) {
        m_state = state;
        m_nextTry = nextTry;
        changed.insert(QStringLiteral("State"), m_state);
        changed.insert(QStringLiteral("NextTry"), m_nextTry);
    }
    if (ticked != m_ticked) {
        m_ticked = ticked;
        changed.insert(QStringLiteral("TickedAddresses"), TickedAddresses());
    }
    AnnounceChanges(changed);
}

void WatcherService::OnForwardEnded(const QString& targetKey, const QString& address, bool taken) {
    const QString target = ShownTarget(targetKey);
    if (taken) {
        m_forwarded.insert(target, QVariantMap{{QStringLiteral("address"), address},
                                               {QStringLiteral("time"), Now()}});
        AnnounceChanges({{QStringLiteral("LastForwarded"), m_forwarded}});
        emit AddressForwarded(target, address);
    } else {
        emit ForwardFailed(target, address);
    }
}

void WatcherService::AnnounceChanges(const QVariantMap& changed) {
    if (!m_registered || changed.isEmpty()) {
        return;
    }
    m_bus.send(QDBusMessage::createSignal(QString::fromLatin1(kServicePath),
                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                          QStringLiteral("PropertiesChanged"))
               << QString::fromLatin1(kServiceInterface) << changed << QStringList());
}

}  // namespace qv
