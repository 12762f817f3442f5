#pragma once

#include <QDBusConnection>

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

    void Show(const QString& text, const QString& caption, IPrompter::Icon icon, QWidget* owner,
              int lifeMs) override;
    void CloseAll() override;

  private:
    // Hands the notice to the service, titled with the program's name, in place of the last one;
    // false when none answers.
    bool Notify(const QString& text, int lifeMs);

    std::optional<QDBusConnection> m_bus;
    uint m_lastId = 0;  // the service's id of the last notification, 0 before the first
    MessageBoxNotice m_boxes;
};

}  // namespace qv
