#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <optional>

class QMenu;

namespace qv {

// The notification area shows at most this many characters of a tip.
inline constexpr int kTrayTipMax = 63;

// `tip` cut to kTrayTipMax characters (never in the middle of a surrogate pair).
QString CutTrayTip(const QString& tip);

// The tip for a watched address: "IP Address: %s" filled with `address` and cut.
QString TrayAddressTip(const QString& address);

// Whether the desktop's notification area speaks the StatusNotifierItem protocol over D-Bus (a
// watcher with a registered host on the session bus), the protocol Qt then uses for the icon.
// Asked once, as Qt does.
bool StatusNotifierHostRegistered();

// One icon in the desktop's notification area, with its tip and the tray menu. It turns clicks
// on the icon into commands (signal Command): the right button opens the tray menu, whose items
// send their command numbers, and a double click sends the menu's first item, Open. On the
// StatusNotifierItem protocol a click arrives as one activation, never a double click: there an
// activation sends Open. When the
// notification area goes away and comes back (a panel restart, or a panel that starts after the
// program at log-in), the icon is put back with its last tip.
class TrayIcon : public QObject {
    Q_OBJECT
  public:
    explicit TrayIcon(int id, QObject* parent = nullptr);
    ~TrayIcon() override;  // takes the icon out of the notification area

    // With an icon: shows it (or changes the one shown). Without: takes the icon away. With a
    // tip, the tip is changed too. Returns false when there is no notification area now; the
    // icon is shown once one appears.
    bool UpdateIcon(const QIcon& icon, const std::optional<QString>& tip = std::nullopt);

    // A click on the icon. Returns 1 when it was acted on, 0 otherwise.
    virtual int HandleTrayEvent(int id, QSystemTrayIcon::ActivationReason reason);

    int Id() const { return m_id; }
    // The icon is wanted and a notification area holds it.
    bool IsShown() const;
    QString Tip() const { return m_tip; }
    QMenu* Menu() const { return m_menu.get(); }
    QSystemTrayIcon* SystemTrayIcon() const { return m_sys; }

    // Replaces the check for a notification area (QSystemTrayIcon::isSystemTrayAvailable);
    // tests use it to play a panel that goes and comes back.
    void SetTrayProbe(std::function<bool()> probe);

  signals:
    void Command(int command);

  private:
    const int m_id;
    QSystemTrayIcon* m_sys;
    std::unique_ptr<QMenu> m_menu;
    QIcon m_icon;  // the icon asked for; null when none is wanted
    QString m_tip;
    std::function<bool()> m_probe;
    bool m_activationOpens = false;  // the icon lives on the StatusNotifierItem protocol
};

}  // namespace qv
