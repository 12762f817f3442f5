#pragma once

#include <QString>

#include <functional>
#include <optional>

#include "platform/Prompter.h"

namespace qv {

// A user name and password typed in answer to an authentication challenge.
struct Credentials {
    QString user;
    QString password;
};

// What the watcher and its forwarder need a person for: questions, self-closing notices, the
// host's reply and a log-in. Nothing here waits for the person: each call shows what it has to
// show and returns, and an answer comes later, once, through its callback. The window answers
// with its boxes; a watcher without a desktop answers at once without asking.
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
    // A user name and password after a 401 from `server`; `answer` gets them, or nullopt when
    // refused, once (at once or later, from the event loop).
    using CredentialsAnswer = std::function<void(const std::optional<Credentials>&)>;
    virtual void AskCredentials(const QString& server, const QString& realm,
                                CredentialsAnswer answer) = 0;
    // Whether a window is on screen (false while the program runs hidden in the tray).
    virtual bool IsShown() const = 0;
};

}  // namespace qv
