#include "shell/TrayIcon.h"

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
    QString tip = LoadString(Text::TrayTip);
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

TrayIcon::TrayIcon(int id, QObject* parent)
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
}

TrayIcon::~TrayIcon() {
    UpdateIcon(QIcon());
    m_sys->setContextMenu(nullptr);
}

void TrayIcon::SetTrayProbe(std::function<bool()> probe) {
    m_probe = std::move(probe);
}

bool TrayIcon::IsShown() const {
    return !m_icon.isNull() && m_sys->isVisible() && m_probe();
}

bool TrayIcon::UpdateIcon(const QIcon& icon, const std::optional<QString>& tip) {
    const bool remove = icon.isNull();
    if (remove && m_icon.isNull()) {
        return true;
    }
    if (tip) {
        m_tip = CutTrayTip(*tip);
    }
    m_sys->setToolTip(m_tip);
    m_icon = icon;
    if (remove) {
        m_sys->hide();
        return true;
    }
    m_sys->setIcon(icon);
    // Shown also while no notification area exists: the icon is docked when one appears, and
    // again after a panel restart, from the notification area's own announcement.
    if (!m_sys->isVisible()) {
        m_sys->show();
    }
    return m_probe();
}

int TrayIcon::HandleTrayEvent(int id, QSystemTrayIcon::ActivationReason reason) {
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

}  // namespace qv
