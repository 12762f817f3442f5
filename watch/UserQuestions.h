#pragma once

#include <QString>

#include <functional>
#include <optional>

#include "forwarding/ForwardHost.h"
#include "platform/Prompter.h"

namespace qv {

// What the watcher needs a person for: questions, self-closing notices, the host's reply and a
// log-in. The window answers with its boxes; a watcher without a desktop answers without asking.
class UserQuestions {
  public:
    virtual ~UserQuestions() = default;

    // A message box; returns the answer (IPrompter::Answer).
    virtual int Ask(const QString& text, const QString& caption, IPrompter::Buttons buttons,
                    IPrompter::Icon icon) = 0;
    // A notice that closes itself after `lifeMs`; returns when it has closed.
    virtual void Notice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) = 0;
    // The host's reply in the Output Data window; returns when it has closed.
    virtual void ShowHostResponse(const QString& caption, const QString& text) = 0;
    // A user name and password after a 401 from `server`; nullopt when refused.
    virtual std::optional<Credentials> AskCredentials(const QString& server,
                                                      const QString& realm) = 0;
    // Whether a window is on screen.
    virtual bool IsShown() const = 0;
};

// The answers of a watcher that nobody sits in front of: each question gets its negative answer
// (No, Cancel; OK where that is the only button), a log-in is refused, and a notice or a host's
// reply becomes a line. Each is told through `say`, so that it reaches the output and the log.
class UnattendedAnswers : public UserQuestions {
  public:
    explicit UnattendedAnswers(std::function<void(const QString&)> say) : m_say(std::move(say)) {}

    int Ask(const QString& text, const QString& caption, IPrompter::Buttons buttons,
            IPrompter::Icon icon) override;
    void Notice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) override;
    void ShowHostResponse(const QString& caption, const QString& text) override;
    std::optional<Credentials> AskCredentials(const QString& server, const QString& realm) override;
    bool IsShown() const override { return false; }

  private:
    std::function<void(const QString&)> m_say;
};

}  // namespace qv
