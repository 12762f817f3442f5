#pragma once

#include <QString>

#include <functional>
#include <optional>

#include "forwarding/ForwardHost.h"
#include "platform/Prompter.h"

namespace qv {

// What the watcher needs a person for: questions, self-closing notices, the host's reply and a
// log-in. Nothing here waits for the person: each call shows what it has to show and returns, and
// an answer comes later, once, through its callback. The window answers with its boxes; a watcher
// without a desktop answers at once without asking.
class UserQuestions {
  public:
    virtual ~UserQuestions() = default;

    // A message box; `answer` (may be empty) gets the button pressed (IPrompter::Answer).
    virtual void Ask(const QString& text, const QString& caption, IPrompter::Buttons buttons,
                     IPrompter::Icon icon, std::function<void(int)> answer) = 0;
    // A notice that closes itself after `lifeMs`.
    virtual void Notice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) = 0;
    // The host's reply in the Output Data window.
    virtual void ShowHostResponse(const QString& caption, const QString& text) = 0;
    // A user name and password after a 401 from `server`; nullopt when refused.
    virtual void AskCredentials(const QString& server, const QString& realm,
                                IForwardHost::CredentialsAnswer answer) = 0;
    // Whether a window is on screen.
    virtual bool IsShown() const = 0;
};

// The answers of a watcher that nobody sits in front of: each question gets its negative answer
// (No, Cancel; OK where that is the only button), a log-in is refused, and a notice or a host's
// reply becomes a line. Each is told through `say`, so that it reaches the output and the log.
class UnattendedAnswers : public UserQuestions {
  public:
    explicit UnattendedAnswers(std::function<void(const QString&)> say) : m_say(std::move(say)) {}

    void Ask(const QString& text, const QString& caption, IPrompter::Buttons buttons,
             IPrompter::Icon icon, std::function<void(int)> answer) override;
    void Notice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) override;
    void ShowHostResponse(const QString& caption, const QString& text) override;
    void AskCredentials(const QString& server, const QString& realm,
                        IForwardHost::CredentialsAnswer answer) override;
    bool IsShown() const override { return false; }

  private:
    std::function<void(const QString&)> m_say;
};

}  // namespace qv
