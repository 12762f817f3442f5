#pragma once

#include <QString>

#include <functional>

namespace qv {

// Modal questions and messages. The window implementation shows a message box; tests install a
// scripted one so that nothing ever waits for a click.
class IPrompter {
  public:
    enum Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
    enum Icon { NoIcon, Information, Warning, Critical, Question };
    // Answers carry the classic dialog result numbers.
    enum Answer { AnswerOk = 1, AnswerCancel = 2, AnswerRetry = 4, AnswerYes = 6, AnswerNo = 7 };

    virtual ~IPrompter() = default;
    // Shows the box and returns the answer once it has been given.
    virtual int MessageBox(const QString& text, const QString& caption, Buttons buttons,
                           Icon icon) = 0;
    // Shows the box and returns at once; `answer` (may be empty) gets the answer when it is
    // given. The default waits for MessageBox.
    virtual void Open(const QString& text, const QString& caption, Buttons buttons, Icon icon,
                      std::function<void(int)> answer) {
        const int given = MessageBox(text, caption, buttons, icon);
        if (answer) {
            answer(given);
        }
    }
};

// The prompter in use; the application installs the window one at start, tests their own.
IPrompter& Prompter();
void SetPrompter(IPrompter* prompter);  // nullptr restores the default, which answers Ok/Cancel/No

}  // namespace qv
