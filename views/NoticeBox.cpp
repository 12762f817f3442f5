#include "views/NoticeBox.h"

#include <QMessageBox>
#include <QTimer>

#include "views/MessageBoxPrompter.h"

namespace qv {

void MessageBoxNotice::Show(const QString& text, const QString& caption, IPrompter::Icon icon,
                            QWidget* owner, int lifeMs) {
    auto* box = new QMessageBox(MessageBoxIcon(icon), caption, text, QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QTimer::singleShot(lifeMs, box, &QWidget::close);
    m_open.removeAll(nullptr);
    m_open.append(box);
    box->show();
}

void MessageBoxNotice::CloseAll() {
    for (const QPointer<QMessageBox>& box : std::exchange(m_open, {})) {
        if (box) {
            box->close();
        }
    }
}

}  // namespace qv
