#include "views/NoticeBox.h"

#include <QMessageBox>

#include "views/MessageBoxPrompter.h"

namespace qv {

void MessageBoxNotice::Run(const QString& text, const QString& caption, IPrompter::Icon icon,
                           QWidget* owner) {
    QMessageBox box(MessageBoxIcon(icon), caption, text, QMessageBox::Ok, owner);
    m_open.append(&box);
    box.exec();
    m_open.removeAll(&box);
}

void MessageBoxNotice::CloseInnermost() {
    while (!m_open.isEmpty() && m_open.last().isNull()) {
        m_open.removeLast();
    }
    if (!m_open.isEmpty()) {
        // A posted close request, like the one the user makes with the close box.
        QMetaObject::invokeMethod(m_open.last().data(), &QWidget::close, Qt::QueuedConnection);
    }
}

}  // namespace qv
