#pragma once

#include <QList>
#include <QPointer>
#include <QString>

#include "platform/Prompter.h"

class QMessageBox;
class QWidget;

namespace qv {

// Shows the self-closing notices: a modal box with an OK button that the control pane can close
// when its time is up. Tests substitute one that never waits for a click.
class INoticeBox {
  public:
    virtual ~INoticeBox() = default;
    // Shows the notice modally over `owner` and returns once it has been closed.
    virtual void Run(const QString& text, const QString& caption, IPrompter::Icon icon,
                     QWidget* owner) = 0;
    // Asks the innermost open notice to close; nothing when none is open.
    virtual void CloseInnermost() = 0;
};

// The window implementation: a QMessageBox per notice.
class MessageBoxNotice : public INoticeBox {
  public:
    void Run(const QString& text, const QString& caption, IPrompter::Icon icon,
             QWidget* owner) override;
    void CloseInnermost() override;

  private:
    QList<QPointer<QMessageBox>> m_open;  // innermost last
};

}  // namespace qv
