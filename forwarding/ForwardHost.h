#pragma once

#include <QString>

#include <optional>

#include "platform/Prompter.h"
#include "settings/InfoCtrlSettings.h"

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

    // Output box 1125: replace (append false) or add a line after a CR CR LF break; `log` also
    // writes the line to the event log.
    virtual void ShowOutput(const QString& text, bool append, bool log) = 0;
    // Caption of group box 1126 (string 130 while an exchange runs).
    virtual void SetOutputHeading(const QString& text) = 0;
    // The self-closing notice; returns when it has closed. `icon` is Information or Warning.
    virtual void ShowPopupNotice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) = 0;

    // The settings record held by the pane (the in-memory values).
    virtual InfoCtrlSettings& Settings() = 0;
    // The document's selected address text (m_strSelectedIp).
    virtual QString SelectedIp() const = 0;

    // Replaces the whole text of status line 1127, scrolled to its caret and repainted.
    virtual void SetStatusLine(const QString& text) = 0;
    // Shows the host's reply in the modal Output Data window with this caption; returns when it
    // has closed (see COutputDataDlg).
    virtual void ShowHostResponse(const QString& caption, const QString& text) = 0;
    // Asks for a user name and password after a 401 from `server`; nullopt when refused.
    virtual std::optional<Credentials> AskCredentials(const QString& server,
                                                      const QString& realm) = 0;

    // A message box with `caption`; returns the answer. The default asks the process's
    // prompter; the watcher asks its own questions.
    virtual int Ask(const QString& text, const QString& caption, IPrompter::Buttons buttons,
                    IPrompter::Icon icon) {
        return Prompter().MessageBox(text, caption, buttons, icon);
    }

    // Whether the pane is on screen (false while the program runs hidden in the tray).
    virtual bool IsPaneVisible() const = 0;
    // Gives the settings record's values to the General page (the action of pane command 32789).
    virtual void FillGeneralPage() = 0;
    // The wait cursor, shown while an exchange runs.
    virtual void SetBusyCursor(bool busy) { (void)busy; }
    // Where the passwords the keyring keeps are read from before an exchange needs them; null
    // when the record holds every password.
    virtual PasswordStore* Passwords() { return nullptr; }
};

}  // namespace qv
