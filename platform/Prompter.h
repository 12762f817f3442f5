#pragma once

#include <QString>

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
    virtual int MessageBox(const QString& text, const QString& caption, Buttons buttons,
                           Icon icon) = 0;
};

// The prompter in use; the application installs the window one at start, tests their own.
IPrompter& Prompter();
void SetPrompter(IPrompter* prompter);  // nullptr restores the default, which answers Ok/Cancel/No

}  // namespace qv
