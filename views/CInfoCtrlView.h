#pragma once

#include <QBasicTimer>
#include <QDeadlineTimer>
#include <QString>
#include <QWidget>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "forwarding/ForwardHost.h"
#include "network/DocHost.h"
#include "platform/AddressEvents.h"
#include "platform/Prompter.h"
#include "settings/InfoCtrlSettings.h"
#include "settings/PaneLink.h"
#include "settings/SettingsSaver.h"
#include "views/EventLog.h"
#include "views/NoticeBox.h"
#include "views/PaneParts.h"
#include "views/ViewDocument.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;

namespace qv {

class CForwarder;
class CInfoCtrlSheet;
class CInfoView;

// The control pane: the lower half of the main window and the program's working centre. It holds
// the settings record, runs the pane commands that the settings pages, the document and the frame
// post to it, owns the polling timer (10) and the notice timer (30), writes the output box and the
// event log, and shows the self-closing notices.
//
// Work never nests: a refresh, a polling check or an exchange that is asked for while another one
// runs waits until it has finished. While a refresh runs, the window keeps repainting.
//
// The pane is the host of the document (IDocHost), of its forwarder (IForwardHost) and of the
// settings sheet's pages (IPaneLink).
class CInfoCtrlView : public QWidget, public IDocHost, public IForwardHost, public IPaneLink {
    Q_OBJECT

  public:
    explicit CInfoCtrlView(QWidget* parent = nullptr);
    ~CInfoCtrlView() override;

    // ---- Wiring, before OnInitialUpdate ----
    void SetDocument(IViewDocument* doc) { m_pDoc = doc; }
    void SetInfoView(CInfoView* view) { m_pInfoView = view; }
    void SetTrayAddressHandler(std::function<void(const QString&)> handler) {
        m_trayAddress = std::move(handler);
    }
    // The forwarding work of the pane commands: the pane's own forwarder unless a test puts
    // another in its place (null: the pane's own again).
    void SetForwarding(IPaneForwarding* forwarding);
    CForwarder& Forwarder() { return *m_forwarder; }
    // The settings sheet at the pane's top-left: the pane's own CInfoCtrlSheet, unless a test
    // puts another in its place (its widget is then shown instead; null: the pane's own again).
    void SetSheet(IPaneSheet* sheet);
    IPaneSheet* Sheet() const { return m_pSheet; }
    CInfoCtrlSheet* SettingsSheet() const { return m_pSettingsSheet; }
    // Where the pages' tool-tip requests go (the frame, which knows whether fast tips are on).
    void SetControlTipHandler(std::function<void(QWidget*, int, const QPoint&)> handler) {
        m_controlTip = std::move(handler);
    }
    // null restores the message-box notice.
    void SetNoticeBox(INoticeBox* box);
    // Length of one minute of the polling period (CheckTime minutes); 60000 unless a test
    // shortens it.
    void SetMinuteMs(int ms) { m_nMinuteMs = ms > 0 ? ms : 60000; }

    // ---- Life ----
    // Loads the settings, builds the status line and posts the first refresh (32807).
    void OnInitialUpdate();
    // Shutdown: saves the settings, stops polling, sends the off-line notice that is owed.
    // Runs once; later pane commands and ticks are ignored.
    void OnDestroy();

    // ---- Pane commands (32788..32807) ----
    // Posts the command; it runs after the caller has returned.
    void PostPaneCommand(int command) override;
    // A settings page's control asks for its tool tip.
    void RequestControlTip(QWidget* control, int controlId, const QPoint& globalPos) override;

    // ---- Output box 1125, group box 1126, status line 1127, local host line 1101 ----
    // Replaces the box's text (append false) or adds "\r\r\n" and the text at its end; the box
    // scrolls to the end and repaints at once. With `log` the text also goes to the event log.
    void ShowOutput(const QString& text, bool append, bool log) override;
    void SetOutputHeading(const QString& text) override;
    void SetLocalHostText(const QString& text) override;
    // Replaces the status line's text (the forwarding preview).
    void SetStatusLine(const QString& text) override;
    // The box's text with its "\r\r\n" line breaks, as written.
    QString OutputText() const { return m_strOutput; }
    QString OutputHeading() const;
    QString LocalHostText() const;
    QString StatusLineText() const;

    // A modal notice titled "Quorvane Notification Dialog" that closes itself after `lifeMs`
    // unless the user closes it first. Returns when it has closed.
    void ShowPopupNotice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) override;

    // ---- Event log ----
    void WriteLogEntry(const QString& text);
    void CheckLogSize() override;
    qint64 LogSize() const { return m_log.m_nLogSize; }

    // ---- Settings held by the pane ----
    InfoCtrlSettings& Settings() override { return m_settings; }
    const InfoCtrlSettings& Settings() const { return m_settings; }
    int& HideOnStartup() { return m_nHideOnStartup; }
    // Writes the settings shortly after each change taken from a page, so that a crash loses at
    // most the last moment's edits; shutdown writes them once more.
    SettingsSaver& Saver() { return m_saver; }

    // ---- Timers and state ----
    bool IsPolling() const { return m_pollTimer.isActive(); }
    // Period of timer 10 while it runs, 0 when it does not.
    int PollPeriodMs() const { return IsPolling() ? m_nPollPeriodMs : 0; }
    bool NoticeTimerActive() const { return m_noticeTimer.isActive(); }
    // A refresh, polling check or exchange is running.
    bool IsBusy() const { return m_nWorkDepth > 0; }

    // ---- The rest of what the document needs ----
    bool ShowHardwareOnly() const override { return m_settings.ShowHardwareOnly != 0; }
    void RefillList() override;
    void SetTrayAddress(const QString& address) override;
    void UpdateForwardPreview() override;
    // A modal OK box. Polling checks still run while it is open.
    void ShowMessage(const QString& text) override;
    // A host name has come in: the list shows it in place.
    void RowChanged(int row) override;

    // ---- The rest of what the forwarder needs ----
    QString SelectedIp() const override;
    void ShowHostResponse(const QString& caption, const QString& text) override;
    std::optional<Credentials> AskCredentials(const QString& server, const QString& realm) override;
    bool IsPaneVisible() const override { return isVisible(); }
    void FillGeneralPage() override;
    void SetBusyCursor(bool busy) override;

  protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    class SheetPages;
    class WorkScope;
    class IdleScope;

    void BuildLayout();
    void OnPaneCommand(int command);
    void RunCommand(int command);
    void OnPollTick();
    void OnAddressEvent();
    void Defer(int item);
    void ResumePending();
    void SetPollTimer();
    void ShowQuickHelp(int helpId);
    void TakeGeneralPage();
    void Forward();
    void SetBoxText(const QString& text);

    IViewDocument* m_pDoc = nullptr;
    CInfoView* m_pInfoView = nullptr;
    std::unique_ptr<CForwarder> m_forwarder;
    std::unique_ptr<IPaneForwarding> m_forwarderCommands;
    IPaneForwarding* m_pForwarding = nullptr;
    CInfoCtrlSheet* m_pSettingsSheet = nullptr;
    std::unique_ptr<IPaneSheet> m_sheetPages;
    IPaneSheet* m_pSheet = nullptr;
    std::function<void(QWidget*, int, const QPoint&)> m_controlTip;
    std::function<void(const QString&)> m_trayAddress;
    MessageBoxNotice m_messageBoxNotice;
    INoticeBox* m_pNotice = &m_messageBoxNotice;

    InfoCtrlSettings m_settings;
    int m_nHideOnStartup = 0;
    SettingsSaver m_saver{m_settings, m_nHideOnStartup};
    // Stores the selection shortly after each change, so that a crash loses no tick.
    SettingsSaver m_selectionSaver{[this] { return !m_pDoc || m_pDoc->StoreSelection(); }};
    QString m_strQuickHelp;
    QString m_strOutput;
    EventLog m_log;

    QBasicTimer m_pollTimer;        // timer 10
    AddressEvents m_addressEvents;  // the kernel's address and link announcements
    QBasicTimer m_noticeTimer;      // timer 30
    int m_nMinuteMs = 60000;
    int m_nPollPeriodMs = 0;
    std::vector<QDeadlineTimer> m_noticeEnds;  // open notices, innermost last

    int m_nWorkDepth = 0;
    std::deque<int> m_pending;  // commands and ticks that wait for the running work
    bool m_bDestroyed = false;

    QWidget* m_sheetHost = nullptr;
    QVBoxLayout* m_sheetLayout = nullptr;
    QGroupBox* m_group = nullptr;        // 1126
    QPlainTextEdit* m_output = nullptr;  // 1125
    QLineEdit* m_statusLine = nullptr;   // 1127
    QLabel* m_hostLabel = nullptr;
    QLabel* m_localHost = nullptr;          // 1101
    QPushButton* m_testInternet = nullptr;  // 1146
};

}  // namespace qv
