#pragma once

#include <QDBusConnection>
#include <QPointer>
#include <QStringList>

#include <deque>
#include <functional>

#include <optional>

#include "views/NoticeBox.h"

namespace qv {

// The self-closing notices of the main window. While the window is hidden (or minimised), a
// notice goes to the desktop's notification service (org.freedesktop.Notifications), so that it
// takes no focus from what the user is doing: one notification, titled "Quorvane", that each
// notice replaces, its text without the box's line breaks. With the window shown, or when no
// service answers, it is the usual box.
class DesktopNotice : public INoticeBox {
  public:
    // Without a connection, the session bus, reached when a notice first needs it.
    DesktopNotice() = default;
    explicit DesktopNotice(QDBusConnection bus);
    ~DesktopNotice() override;

    void Show(const QString& text, const QString& caption, IPrompter::Icon icon, QWidget* owner,
              int lifeMs) override;
    void CloseAll() override;

  private:
    struct Waiting {
        QString text;
        QString caption;
        IPrompter::Icon icon;
        QPointer<QWidget> owner;
        int lifeMs;
    };
    // Asks the service without waiting; `then` gets its reply or error.
    void Call(const char* method, const QVariantList& args,
              std::function<void(const QDBusMessage&)> then);
    void SendFirst();
    void ShowWaitingAsBoxes();

    std::optional<QDBusConnection> m_bus;
    std::optional<QStringList> m_capabilities;  // the service's, once it has told them
    uint m_lastId = 0;              // the service's id of the last notification, 0 before the first
    std::deque<Waiting> m_waiting;  // notices for the service, the first one on its way
    QObject m_calls;                // parent of the calls on their way: they end with the notice
    MessageBoxNotice m_boxes;
};

}  // namespace qv
