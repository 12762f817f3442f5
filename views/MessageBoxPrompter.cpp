#include "views/MessageBoxPrompter.h"

#include <QGuiApplication>

#include "resources/StringTable.h"

namespace qv {
namespace {

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

// Closed without a button (Esc or the close box): the box's escape answer.
int EscapeAnswer(IPrompter::Buttons buttons) {
    return buttons == IPrompter::Ok      ? IPrompter::AnswerOk
           : buttons == IPrompter::YesNo ? IPrompter::AnswerNo
                                         : IPrompter::AnswerCancel;
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
    QMessageBox box(MessageBoxIcon(icon), caption.isEmpty() ? LoadString(Text::AppTitle) : caption,
                    text, ButtonsOf(buttons), m_owner.data());
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);  // even while work shows the wait cursor
    const int answer = box.exec();
    QGuiApplication::restoreOverrideCursor();
    return box.clickedButton() == nullptr ? EscapeAnswer(buttons) : AnswerOf(answer);
}

void MessageBoxPrompter::Open(const QString& text, const QString& caption, Buttons buttons,
                              Icon icon, std::function<void(int)> answer) {
    auto* box = new QMessageBox(MessageBoxIcon(icon),
                                caption.isEmpty() ? LoadString(Text::AppTitle) : caption, text,
                                ButtonsOf(buttons), m_owner.data());
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [box, buttons, answer](int result) {
        if (answer) {
            answer(box->clickedButton() == nullptr
                       ? EscapeAnswer(buttons)
                       : AnswerOf(box->standardButton(box->clickedButton())));
        }
        (void)result;
    });
    box->open();
}

}  // namespace qv
