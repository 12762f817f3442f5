#include "platform/Prompter.h"

namespace qv {
namespace {

// Without a window system nobody can answer: take the safe answer at once.
class SilentPrompter : public IPrompter {
  public:
    int MessageBox(const QString&, const QString&, Buttons buttons, Icon) override {
        switch (buttons) {
            case Ok:
                return AnswerOk;
            case YesNo:
            case YesNoCancel:
                return AnswerNo;
            default:
                return AnswerCancel;
        }
    }
};

SilentPrompter g_silent;
IPrompter* g_prompter = &g_silent;

}  // namespace

IPrompter& Prompter() {
    return *g_prompter;
}

void SetPrompter(IPrompter* prompter) {
    g_prompter = prompter ? prompter : &g_silent;
}

}  // namespace qv
