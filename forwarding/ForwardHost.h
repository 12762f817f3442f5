#pragma once

#include <QString>

#include <functional>
#include <optional>

#include "platform/Prompter.h"
#include "settings/SettingsRecord.h"

namespace qv {

class PasswordStore;

// A user name and password typed in answer to an authentication challenge.
struct Credentials {
    QString user;
    QString password;
};

// What the forwarding needs from the control pane. The pane implements it; tests use a recorder.
// Every call comes on the user-interface thread.
class IForwardHost {
  public:
    virtual ~IForwardHost() = default;

    // The output box: replace (append false) or add a line after a CR CR LF break; `log` also
    // writes the line to the event log.
    virtual void ShowOutput(const QString& text, bool append, bool log) = 0;
    // Caption of the output box's frame ("Output Information" while an exchange runs).
    virtual void SetOutputHeading(const QString& text) = 0;
    // Shows the self-closing notice and returns at once. `icon` is Information or Warning.
    virtual void ShowPopupNotice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) = 0;

    // The settings record held by the pane (the in-memory values).
    virtual SettingsRecord& Settings() = 0;
    // The document's selected address text (m_selectedIp).
    virtual QString SelectedIp() const = 0;
    // The IPv6 row's address when one is ticked beside an IPv4 row; else empty.
    virtual QString SecondSelectedIp() const { return {}; }

    // Replaces the whole text of the status line, scrolled to its caret and repainted.
    virtual void SetStatusLine(const QString& text) = 0;
    // Shows the host's reply in the Output Data window with this caption and returns at once.
    virtual void ShowHostResponse(const QString& caption, const QString& text) = 0;
    // Asks for a user name and password after a 401 from `server`; `answer` gets them, or
    // nullopt when refused, once (at once or later, from the event loop).
    using CredentialsAnswer = std::function<void(const std::optional<Credentials>&)>;
    virtual void AskCredentials(const QString& server, const QString& realm,
                                CredentialsAnswer answer) = 0;

    // A message box with `caption`; `answer` (may be empty) gets the button pressed, once (at
    // once or later, from the event loop). The default asks the process's prompter; the watcher
    // asks its own questions.
    using Answer = std::function<void(int)>;
    virtual void Ask(const QString& text, const QString& caption, IPrompter::Buttons buttons,
                     IPrompter::Icon icon, Answer answer) {
        Prompter().Open(text, caption, buttons, icon, std::move(answer));
    }
    // No exchange runs or waits to run any more (one may still wait for an answer).
    virtual void ExchangesEnded() {}

    // Whether the pane is on screen (false while the program runs hidden in the tray).
    virtual bool IsPaneVisible() const = 0;
    // Gives the settings record's values to the General page (the action of Command::GeneralFill).
    virtual void FillGeneralPage() = 0;
    // The wait cursor, shown while an exchange runs.
    virtual void SetBusyCursor(bool busy) { (void)busy; }
    // Where the passwords the keyring keeps are read from before an exchange needs them; null
    // when the record holds every password.
    virtual PasswordStore* Passwords() { return nullptr; }
};

}  // namespace qv
