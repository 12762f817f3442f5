#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "forwarding/UserQuestions.h"
#include "platform/Prompter.h"
#include "settings/SettingsRecord.h"
#include "settings/SettingsSaver.h"
#include "views/NoticeBox.h"
#include "views/PaneParts.h"
#include "views/settings/PaneLink.h"
#include "watch/AddressWatcher.h"
#include "watch/ViewDocument.h"
#include "watch/WatchCore.h"
#include "watch/WatcherClient.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace qv {

class SettingsTabs;
class AddressListView;

// The control pane: the lower half of the main window. It shows the settings sheet, the output
// box, the status line and the local host line, and the self-closing notices. The
// work behind it (polling, checks, forwarding, the settings record, the event log, shutdown) is
// the watcher's, which the pane drives: the pane answers the watcher's questions with its boxes
// and shows what the watcher reports.
//
// The pane is the host of the settings sheet's pages (IPaneLink); the document and the forwarder
// have the watcher as their host.
class ControlPane : public QWidget, public IPaneLink, public UserQuestions {
    Q_OBJECT

  public:
    explicit ControlPane(QWidget* parent = nullptr, WatchServices services = {});
    ~ControlPane() override;

    // ---- Wiring, before OnInitialUpdate ----
    // The settings, the list and the watcher; the list is the views' document.
    WatchCore& Core() { return m_core; }
    // Another document in place of the list's (a test's).
    void SetDocument(IViewDocument* doc) { m_watcher.SetDocument(doc); }
    void SetInfoView(AddressListView* view);
    void SetTrayAddressHandler(std::function<void(const QString&)> handler) {
        m_trayAddress = std::move(handler);
    }
    AddressWatcher& Watcher() { return m_watcher; }
    // The forwarding work of the pane commands: the watcher's own forwarder unless a test puts
    // another in its place (null: the own one again).
    void SetForwarding(IPaneForwarding* forwarding) { m_watcher.SetForwarding(forwarding); }
    Forwarder& OwnForwarder() { return m_watcher.OwnForwarder(); }
    // The settings sheet at the pane's top-left: the pane's own SettingsTabs, unless a test
    // puts another in its place (its widget is then shown instead; null: the pane's own again).
    void SetSheet(IPaneSheet* sheet);
    SettingsTabs* SettingsSheet() const { return m_settingsSheet; }
    // Where the pages' tool-tip requests go (the frame, which knows whether fast tips are on).
    void SetControlTipHandler(std::function<void(QWidget*, int, const QPoint&)> handler) {
        m_controlTip = std::move(handler);
    }
    // null restores the message-box notice.
    void SetNoticeBox(INoticeBox* box);
    // Length of one minute of the polling period (CheckTime minutes); 60000 unless a test
    // shortens it.
    void SetMinuteMs(int ms) { m_watcher.SetMinuteMs(ms); }

    // Makes the pane a face of a watcher that another process runs (before OnInitialUpdate): the
    // list is still built here, but that watcher's output lines and state are shown, the sends
    // and off-line notices go to it, each save of the settings tells it to read them again, and
    // the pane's shutdown owes no off-line notice. The event log is that watcher's to write.
    void AttachTo(WatcherClient& client);
    // The other watcher stopped: with `takeOver` the pane's own watcher watches and forwards from
    // here on, as in a window of its own; else the pane stays a face of nothing. Either is said
    // in the output box and the status line.
    void Detach(bool takeOver);
    bool IsAttached() const { return m_client != nullptr; }

    // ---- Life ----
    // Starts the watcher: it loads the settings, builds the status line and posts the first
    // refresh (Command::Refresh).
    void OnInitialUpdate();
    // Shutdown: closes what is open, then the watcher saves the settings, stops polling and sends
    // the off-line notice that is owed. Runs once; later pane commands and ticks are ignored.
    void OnDestroy();

    // ---- Commands ----
    // Posts the command; it runs after the caller has returned.
    void PostPaneCommand(Command command) override;
    // A settings page's control asks for its tool tip.
    void RequestControlTip(QWidget* control, int controlId, const QPoint& globalPos) override;

    // ---- The output box and its frame, the status line, the local host line ----
    // An output line through the watcher: it replaces the box's text (append false) or is added
    // after "\r\r\n"; the box scrolls to the end. With `log` the text
    // also goes to the event log.
    void ShowOutput(const QString& text, bool append, bool log);
    void SetOutputHeading(const QString& text);
    void SetLocalHostText(const QString& text);
    // Replaces the status line's text (the forwarding preview).
    void SetStatusLine(const QString& text);
    // The box's text with its "\r\r\n" line breaks, as written.
    QString OutputText() const { return m_outputText; }
    QString OutputHeading() const;
    QString LocalHostText() const;
    QString StatusLineText() const;

    // A notice titled "Quorvane Notification Dialog" that closes itself after `lifeMs` unless the
    // user closes it first. Returns at once.
    void ShowPopupNotice(const QString& text, IPrompter::Icon icon, unsigned lifeMs);

    // ---- Event log ----
    void WriteLogEntry(const QString& text) { m_watcher.WriteLogEntry(text); }
    void CheckLogSize() { m_watcher.CheckLogSize(); }
    qint64 LogSize() const { return m_watcher.LogSize(); }

    // ---- Settings held by the watcher ----
    SettingsRecord& Settings() { return m_watcher.Settings(); }
    const SettingsRecord& Settings() const { return m_watcher.Settings(); }
    int& HideOnStartup() { return m_watcher.HideOnStartup(); }
    // Writes the settings shortly after each change taken from a page, so that a crash loses at
    // most the last moment's edits; shutdown writes them once more.
    SettingsSaver& Saver() { return m_watcher.Saver(); }

    // ---- Timers and state ----
    bool IsPolling() const { return m_watcher.IsPolling(); }
    // Period of the polling timer while it runs, 0 when it does not.
    int PollPeriodMs() const { return m_watcher.PollPeriodMs(); }
    // A refresh, polling check or exchange is running.
    bool IsBusy() const { return m_watcher.IsBusy(); }

    // ---- What the document and the forwarder see through the watcher ----
    void UpdateForwardPreview() { m_watcher.UpdateForwardPreview(); }
    // An OK box, shown without waiting for it.
    void ShowMessage(const QString& text) { m_watcher.ShowMessage(text); }
    QString SelectedIp() const { return m_watcher.SelectedIp(); }

    // ---- The watcher's questions, answered with boxes that nothing waits for ----
    void Ask(const QString& text, const QString& caption, IPrompter::Buttons buttons,
             IPrompter::Icon icon, std::function<void(int)> answer) override;
    void Notice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) override {
        ShowPopupNotice(text, icon, lifeMs);
    }
    void ShowHostResponse(const QString& caption, const QString& text) override;
    void AskCredentials(const QString& server, const QString& realm,
                        UserQuestions::CredentialsAnswer answer) override;
    bool IsShown() const override;

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    class SheetPages;

    void BuildLayout();
    void OnPaneCommand(Command command);
    void RunPageCommand(Command command);
    void ShowQuickHelp(int helpId);
    void TakeGeneralPage();
    void SetBoxText(const QString& text);
    void ShowText(const QString& text, bool append);
    void CloseOpenBoxes();

    WatchCore m_core;
    AddressWatcher& m_watcher = m_core.Watcher();
    WatcherClient* m_client = nullptr;  // the watcher of another process, when attached
    std::unique_ptr<AttachedForwarding> m_attachedForwarding;
    QString m_preview;                // the status line's forwarding preview
    std::optional<int> m_statusNote;  // the status line's text around the preview, once detached
    AddressListView* m_infoView = nullptr;
    SettingsTabs* m_settingsSheet = nullptr;
    std::unique_ptr<IPaneSheet> m_sheetPages;
    IPaneSheet* m_paneSheet = nullptr;
    std::function<void(QWidget*, int, const QPoint&)> m_controlTip;
    std::function<void(const QString&)> m_trayAddress;
    MessageBoxNotice m_messageBoxNotice;
    INoticeBox* m_notice = &m_messageBoxNotice;

    QString m_quickHelp;
    QString m_outputText;

    QList<QPointer<QWidget>> m_openWindows;  // the host's replies and log-in prompts

    QWidget* m_sheetHost = nullptr;
    QVBoxLayout* m_sheetLayout = nullptr;
    QGroupBox* m_group = nullptr;  // the output box's frame
    QPlainTextEdit* m_output = nullptr;
    QLineEdit* m_statusLine = nullptr;
    QLabel* m_hostLabel = nullptr;
    QLabel* m_localHost = nullptr;
    QPushButton* m_testInternet = nullptr;
};

}  // namespace qv
