#pragma once

#include <QList>
#include <QPointer>
#include <QString>

#include "platform/Prompter.h"

class QMessageBox;
class QWidget;

namespace qv {

// Shows the self-closing notices. Nothing waits for a notice: it is shown, and closes by a click
// or when its time is up. Tests substitute one that records what was shown.
class INoticeBox {
  public:
    virtual ~INoticeBox() = default;
    // Shows the notice over `owner` for `lifeMs` and returns at once.
    virtual void Show(const QString& text, const QString& caption, IPrompter::Icon icon,
                      QWidget* owner, int lifeMs) = 0;
    // Closes the notices that are open.
    virtual void CloseAll() = 0;
};

// The window implementation: a box with an OK button per notice, not modal.
class MessageBoxNotice : public INoticeBox {
  public:
    void Show(const QString& text, const QString& caption, IPrompter::Icon icon, QWidget* owner,
              int lifeMs) override;
    void CloseAll() override;

  private:
    QList<QPointer<QMessageBox>> m_open;
};

}  // namespace qv
