#include "views/MessageBoxPrompter.h"

#include <QGuiApplication>

#include "resources/StringTable.h"

namespace qv {
namespace {

constexpr int kAppTitle = 57344;

QMessageBox::StandardButtons ButtonsOf(IPrompter::Buttons buttons) {
    switch (buttons) {
        case IPrompter::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case IPrompter::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case IPrompter::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case IPrompter::RetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
        case IPrompter::Ok:
            break;
    }
    return QMessageBox::Ok;
}

int AnswerOf(int button) {
    switch (button) {
        case QMessageBox::Ok:
            return IPrompter::AnswerOk;
        case QMessageBox::Yes:
            return IPrompter::AnswerYes;
        case QMessageBox::No:
            return IPrompter::AnswerNo;
        case QMessageBox::Retry:
            return IPrompter::AnswerRetry;
        default:
            return IPrompter::AnswerCancel;
    }
}

}  // namespace

QMessageBox::Icon MessageBoxIcon(IPrompter::Icon icon) {
    switch (icon) {
        case IPrompter::Information:
            return QMessageBox::Information;
        case IPrompter::Warning:
            return QMessageBox::Warning;
        case IPrompter::Critical:
            return QMessageBox::Critical;
        case IPrompter::Question:
            return QMessageBox::Question;
        case IPrompter::NoIcon:
            break;
    }
    return QMessageBox::NoIcon;
}

int MessageBoxPrompter::MessageBox(const QString& text, const QString& caption, Buttons buttons,
                                   Icon icon) {
    QMessageBox box(MessageBoxIcon(icon), caption.isEmpty() ? LoadString(kAppTitle) : caption, text,
                    ButtonsOf(buttons), m_owner.data());
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);  // even while work shows the wait cursor
    const int answer = box.exec();
    QGuiApplication::restoreOverrideCursor();
    if (box.clickedButton() == nullptr) {
        // Closed without a button (Esc or the close box): the box's escape answer.
        return buttons == Ok ? AnswerOk : (buttons == YesNo ? AnswerNo : AnswerCancel);
    }
    return AnswerOf(answer);
}

}  // namespace qv
