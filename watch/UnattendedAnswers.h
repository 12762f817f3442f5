#pragma once

#include <QString>

#include <functional>

#include "forwarding/UserQuestions.h"

namespace qv {

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
                        CredentialsAnswer answer) override;
    bool IsShown() const override { return false; }

  private:
    std::function<void(const QString&)> m_say;
};

}  // namespace qv
