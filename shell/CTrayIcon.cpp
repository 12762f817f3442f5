#include "shell/CTrayIcon.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QMenu>

#include "resources/StringTable.h"
#include "shell/Menus.h"

namespace qv {

QString CutTrayTip(const QString& tip) {
    if (tip.size() <= kTrayTipMax) {
        return tip;
    }
    qsizetype n = kTrayTipMax;
    if (tip.at(n - 1).isHighSurrogate()) {
        --n;
    }
    return tip.left(n);
}

QString TrayAddressTip(const QString& address) {
    QString tip = LoadString(150);
    const qsizetype at = tip.indexOf(QLatin1String("%s"));
    if (at >= 0) {
        tip.replace(at, 2, address);
    }
    return CutTrayTip(tip);
}

bool StatusNotifierHostRegistered() {
    static const bool registered = [] {
        const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || !bus.interface() ||
            !bus.interface()->isServiceRegistered(watcher)) {
            return false;
        }
        QDBusInterface iface(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
        return iface.property("IsStatusNotifierHostRegistered").toBool();
    }();
    return registered;
}

CTrayIcon::CTrayIcon(int id, QObject* parent)
    : QObject(parent),
      m_id(id),
      m_sys(new QSystemTrayIcon(this)),
      m_menu(CreateTrayMenu()),
      m_tip(CutTrayTip(LoadString(id))),
      m_probe(&QSystemTrayIcon::isSystemTrayAvailable),
      m_activationOpens(StatusNotifierHostRegistered()) {
    m_sys->setContextMenu(m_menu.get());
    connect(m_menu.get(), &QMenu::triggered, this, [this](QAction* action) {
        if (const int command = CommandOf(action)) {
            emit Command(command);
        }
    });
    connect(m_sys, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { HandleTrayEvent(m_id, reason); });
    m_trayAvailable = m_probe();
    m_watch.setInterval(kTrayWatchMs);
    connect(&m_watch, &QTimer::timeout, this, &CTrayIcon::WatchTray);
}

CTrayIcon::~CTrayIcon() {
    UpdateIcon(QIcon());
    m_sys->setContextMenu(nullptr);
}

void CTrayIcon::SetTrayProbe(std::function<bool()> probe, int intervalMs) {
    m_probe = std::move(probe);
    m_trayAvailable = m_probe();
    m_watch.setInterval(intervalMs);
}

bool CTrayIcon::UpdateIcon(const QIcon& icon, const std::optional<QString>& tip) {
    const bool remove = icon.isNull();
    if (remove && !m_shown && m_icon.isNull()) {
        return true;
    }
    if (tip) {
        m_tip = CutTrayTip(*tip);
    }
    m_sys->setToolTip(m_tip);
    bool result = true;
    if (remove) {
        m_icon = QIcon();
        m_sys->hide();
        m_watch.stop();
    } else {
        m_icon = icon;
        m_sys->setIcon(icon);
        m_trayAvailable = m_probe();
        result = m_trayAvailable;
        if (result && !m_sys->isVisible()) {
            m_sys->show();
        }
        m_watch.start();
    }
    m_shown = !remove && result;
    return result;
}

int CTrayIcon::HandleTrayEvent(int id, QSystemTrayIcon::ActivationReason reason) {
    if (id != m_id || !m_menu || m_menu->actions().isEmpty()) {
        return 0;
    }
    switch (reason) {
        case QSystemTrayIcon::Context:
            // The notification area opens the context menu itself; make sure the default item
            // is the first one (drawn bold) when it does.
            m_menu->setDefaultAction(m_menu->actions().constFirst());
            return 1;
        case QSystemTrayIcon::Trigger:
            if (!m_activationOpens) {
                return 0;  // one click of the older protocol: a double click may follow
            }
            [[fallthrough]];
        case QSystemTrayIcon::DoubleClick:
            emit Command(CommandOf(m_menu->actions().constFirst()));
            return 1;
        default:
            return 0;
    }
}

int CTrayIcon::ReAddAfterTaskbarRestart() {
    const QIcon icon = m_icon;
    if (!icon.isNull()) {
        m_shown = false;
        m_sys->hide();  // a new panel knows nothing of the old icon: announce it afresh
        UpdateIcon(icon);
    }
    return 0;
}

void CTrayIcon::WatchTray() {
    const bool available = m_probe();
    const bool cameBack = available && !m_trayAvailable;
    m_trayAvailable = available;
    if (!available) {
        m_shown = false;
    } else if (cameBack) {
        ReAddAfterTaskbarRestart();
    }
}

}  // namespace qv
