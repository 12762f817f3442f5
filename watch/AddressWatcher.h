#pragma once

#include <QBasicTimer>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "forwarding/Forwarder.h"
#include "forwarding/UserQuestions.h"
#include "network/AddressList.h"
#include "platform/AddressEvents.h"
#include "platform/Prompter.h"
#include "platform/ShownText.h"
#include "resources/Ids.h"
#include "settings/PasswordStore.h"
#include "settings/SettingsRecord.h"
#include "settings/SettingsSaver.h"
#include "watch/EventLog.h"
#include "watch/ForwardingCommands.h"
#include "watch/RetrySchedule.h"
#include "watch/ViewDocument.h"

namespace qv {

// Watches the ticked address and forwards its changes: the polling timer, the kernel's
// address events, the checks they start, the forwarding commands, the settings record with its
// delayed saves, the event log, and the steps of shutdown. It needs no widget: the control pane
// and `quorvane-cli watch` are two faces of it. What it has to show it reports by signals; what
// needs a person goes to its UserQuestions.
//
// Work is one queue: a refresh, a check or an exchange that is asked for while another one runs
// (its look-ups and transfers included) waits until it has finished; checks that pile up
// meanwhile make one. Nothing waits for a person: boxes and notices are shown and the work goes
// on; an exchange that waits for an answer to a question steps aside meanwhile.
//
// A failed automatic forward is tried again on a back-off (RetrySchedule) while the address and
// the target stay the same and automatic forwarding and checking stay on: an address change starts
// a fresh forward and back-off, a success or any of those changes ends it, shutdown cancels it.
// Sends by hand are not tried again; one that the host takes by the chosen method ends the
// back-off.
class AddressWatcher : public QObject {
    Q_OBJECT

  public:
    AddressWatcher(UserQuestions& questions, ForwarderOptions options = {},
                   QObject* parent = nullptr);
    ~AddressWatcher() override;

    // ---- Wiring, before Start ----
    void SetDocument(IViewDocument* doc) { m_doc = doc; }
    // Shows what `list` says and tells it what its rows show; null: no list any more.
    void ListenTo(AddressList* list);
    // The forwarding work of the commands: the watcher's own forwarder unless a test puts
    // another in its place (null: the own one again).
    void SetForwarding(IPaneForwarding* forwarding);
    Forwarder& OwnForwarder() { return *m_forwarder; }
    // What a forwarder reads from the watcher, and whom it asks; and the watcher shows what that
    // forwarder says, as it does its own one's.
    ForwardSources SourcesForForwarder();
    void RelayForwarder(Forwarder& forwarder);
    // Commands that are not the watcher's own (the settings pages' takes) run here, in turn
    // with the watcher's work.
    void SetOtherCommands(std::function<void(Command)> run) { m_otherCommands = std::move(run); }
    // Length of one minute of the polling period; 60000 unless a test shortens it.
    // The waits between tries after a failed forward are shortened alike.
    void SetMinuteMs(int ms) {
        m_minuteMs = ms > 0 ? ms : 60000;
        m_retry.SetMinuteMs(m_minuteMs);
    }
    // A timer for the waits between tries that a test fires itself (null: the event loop's).
    void SetRetryTimer(RetryTimer* timer) { m_retry.SetTimer(timer); }

    // ---- Life ----
    // Loads the settings, starts listening to address events and posts the first refresh.
    void Start();
    // Saves the settings and the selection, stops polling and listening, and sends the off-line
    // notice that is owed. Runs once; later commands and ticks are ignored.
    void ShutDown();
    bool IsShutDown() const { return m_shutDown; }

    // ---- Commands ----
    // Runs `command` now, or after the running work: the forwarding and refresh commands
    // (selection, sends, off-line notices, refresh), the connection test (Command::TestInternet),
    // and the others through SetOtherCommands.
    void RunCommand(Command command);
    // Posts the command: it runs after the caller has returned.
    void PostPaneCommand(Command command);
    // What follows taking the General page into Settings(): `before` is the record as it was.
    void GeneralSettingsTaken(const SettingsRecord& before);
    // (Re)starts polling from the settings: the period runs from now.
    void SetPollTimer();

    // ---- State ----
    SettingsRecord& Settings() { return m_settings; }
    const SettingsRecord& Settings() const { return m_settings; }
    int& HideOnStartup() { return m_hideOnStartup; }
    // Writes the settings shortly after each change; shutdown writes them once more.
    SettingsSaver& Saver() { return m_saver; }
    bool IsPolling() const { return m_pollTimer.isActive(); }
    // Period of the polling timer while it runs, 0 when it does not.
    int PollPeriodMs() const { return IsPolling() ? m_pollPeriodMs : 0; }
    // A refresh, check or exchange is running, or an exchange waits for its turn.
    bool IsBusy() const;
    // Another try of a failed automatic forward waits for its time.
    bool IsRetryPending() const { return m_retry.IsPending(); }
    // When that try comes due; null when none waits.
    QDateTime NextTryTime() const { return IsRetryPending() ? m_nextTry : QDateTime(); }
    qint64 LogSize() const { return m_log.m_logSize; }
    void WriteLogEntry(const QString& text);
    // A face attached to a watcher of another process leaves the event log to that one, and the
    // settings file too but for the user's own edits: a tick by the user and the pages' takes.
    // Detached again (`attached` false), it is a watcher of its own.
    void SetAttached(bool attached) { m_attached = attached; }
    // The row ticked next was ticked by the user.
    void UserTicks() { m_userTick = true; }
    // The method and where it sends to: one line each.
    QString TargetKey() const;

    // ---- Output ----
    void ShowOutput(const QString& text, bool append, bool log);
    // A notice when the event log has grown past the size the user set.
    void CheckLogSize();
    // Rebuilds the status line.
    void UpdateForwardPreview();
    // A box with an OK button and no icon, shown without waiting for it; while one is open,
    // another is not shown.
    void ShowMessage(const QString& text);

    // ---- What the forwarding reads and shows ----
    void ShowPopupNotice(const QString& text, IPrompter::Icon icon, unsigned lifeMs);
    QString SelectedIp() const;
    QString SecondSelectedIp() const { return m_doc ? m_doc->SecondSelectedIp() : QString(); }
    PasswordStore* Passwords() { return &m_passwords; }

  signals:
    // A line for the output box: it replaces the box's text, or is added after a line break.
    // `logged`: it also goes to the event log (an outcome, not a step of routine work).
    void Output(const QString& text, bool append, bool logged);
    void OutputHeading(const QString& text);
    void LocalHostText(const QString& text);
    // The forwarding preview changed.
    void StatusLine(const QString& text);
    // The rows changed: a shown list fills itself again.
    void ListChanged();
    // One row changed (a host name came in): a shown list updates it in place.
    void RowUpdated(int row);
    // The address for the notification-area tip.
    void TrayAddress(const QString& address);
    // Work starts (true) or ends (false); the pairs nest.
    void Busy(bool busy);
    // The forwarding changed a setting of the General page (automatic forwarding turned off).
    void GeneralSettingsChanged();
    // No exchange runs or waits for its turn any more.
    void ExchangesFinished();
    // No work runs or waits any more (a refresh's look-ups included): the first after Start
    // means the first check is done.
    void Idle();
    // A forward of `address` to the target `target` (TargetKey) ended: taken by the host, or
    // failed. (One that had nothing to send is not reported.)
    void ForwardEnded(const QString& target, const QString& address, bool taken);
    // The settings or the stored selection were written to the settings file.
    void SettingsWritten();

  protected:
    void timerEvent(QTimerEvent* e) override;

  private:
    class WorkScope;

    void Run(Command command);
    void OnPollTick();
    void OnAddressEvent();
    void Defer(Command item);
    void ResumePending();
    void ResumeIfIdle();
    void ForwardChange();
    void SendAutomatically();
    void SendByHand(ForwardMethod method);
    void AutomaticForwardEnded(int round, ForwardOutcome outcome);
    void OnRetryDue();
    bool RetryStillWanted() const;
    void DropRetryIfUnwanted();
    void EndBackOff();
    int PollMinutes() const;
    void OnSettingsSaved(bool ok);
    void ReloadSettings();
    void ReadPasswordsForPages();
    void ReportForward(const QString& target, ForwardOutcome outcome);

    UserQuestions& m_questions;
    IViewDocument* m_doc = nullptr;
    QPointer<AddressList> m_list;  // the list whose signals are shown, while it lives
    std::unique_ptr<Forwarder> m_forwarder;
    std::unique_ptr<IPaneForwarding> m_forwarderCommands;
    IPaneForwarding* m_forwarding = nullptr;
    std::function<void(Command)> m_otherCommands;

    SettingsRecord m_settings;
    int m_hideOnStartup = 0;
    SettingsSaver m_saver{m_settings, m_hideOnStartup};
    PasswordStore m_passwords{m_settings};
    // The ticked row is stored shortly after each change, so that a crash loses no tick.
    SettingsSaver m_selectionSaver{[this] { return !m_doc || m_doc->StoreSelection(); }};
    bool m_saveFailureShown = false;
    EventLog m_log;
    bool m_attached = false;
    bool m_userTick = false;
    std::optional<QString> m_logProblemPath;  // the log file whose problem was told

    QBasicTimer m_pollTimer;
    int m_minuteMs = 60000;
    int m_pollPeriodMs = 0;
    AddressEvents m_addressEvents;

    RetrySchedule m_retry{[this] { OnRetryDue(); }};
    int m_forwardRound = 0;  // counts fresh forwards and ended back-offs
    QString m_retryTarget;   // the method and target of the automatic forward (TargetKey)
    QDateTime m_nextTry;     // when the pending try comes due

    int m_workDepth = 0;
    bool m_messageOpen = false;     // the not-found box: one at a time
    std::deque<Command> m_pending;  // commands and checks that wait for the running work
    bool m_shutDown = false;
};

}  // namespace qv
