#pragma once

#include <QMessageBox>
#include <QPointer>

#include "platform/Prompter.h"

namespace qv {

QMessageBox::Icon MessageBoxIcon(IPrompter::Icon icon);

// The prompter of the running program: a QMessageBox over the main window.
class MessageBoxPrompter : public IPrompter {
  public:
    explicit MessageBoxPrompter(QWidget* owner = nullptr) : m_owner(owner) {}
    void SetOwner(QWidget* owner) { m_owner = owner; }

    int MessageBox(const QString& text, const QString& caption, Buttons buttons,
                   Icon icon) override;
    // A box that blocks only input to its window (QDialog::open), deleted when answered.
    void Open(const QString& text, const QString& caption, Buttons buttons, Icon icon,
              std::function<void(int)> answer) override;

  private:
    QPointer<QWidget> m_owner;
};

}  // namespace qv
