#include "watch/AddressWatcher.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QTimerEvent>

#include <algorithm>
#include <climits>
#include <utility>

#include "forwarding/ForwardText.h"
#include "resources/StringTable.h"
#include "settings/GeneralTakePlan.h"

// QT_LOGGING_RULES="quorvane.pane.debug=true" mirrors the output on the console.
Q_LOGGING_CATEGORY(lcWatch, "quorvane.pane", QtWarningMsg)

namespace qv {
namespace {

constexpr int kLogNoticeLifeMs = 5000;
constexpr int kErrorNoticeLifeMs = 7000;

bool IsOwnCommand(Command command) {
    switch (command) {
        case Command::SelectionChanged:
        case Command::ManualSend:
        case Command::SendHttp:
        case Command::SendFtp:
        case Command::SendDynDns:
        case Command::HttpOffLine:
        case Command::FtpOffLine:
        case Command::SendDns:
        case Command::DnsOffLine:
        case Command::Refresh:
        case Command::TestInternet:
        case Command::ReloadSettings:
            return true;
        default:
            return false;
    }
}

}  // namespace

// Marks a piece of work (refresh, check, exchange) as running; what arrives meanwhile waits.
class AddressWatcher::WorkScope {
  public:
    explicit WorkScope(AddressWatcher& watcher) : m_watcher(watcher) {
        ++m_watcher.m_workDepth;
        emit m_watcher.Busy(true);
    }
    ~WorkScope() {
        emit m_watcher.Busy(false);
        --m_watcher.m_workDepth;
        m_watcher.ResumeIfIdle();
    }
    WorkScope(const WorkScope&) = delete;
    WorkScope& operator=(const WorkScope&) = delete;

  private:
    AddressWatcher& m_watcher;
};

AddressWatcher::AddressWatcher(UserQuestions& questions, ForwarderOptions options, QObject* parent)
    : QObject(parent),
      m_questions(questions),
      m_forwarder(std::make_unique<Forwarder>(SourcesForForwarder(), std::move(options))),
      m_forwarderCommands(std::make_unique<ForwarderCommands>(*m_forwarder)),
      m_forwarding(m_forwarderCommands.get()) {
    RelayForwarder(*m_forwarder);
    connect(&m_addressEvents, &AddressEvents::Changed, this, [this] { OnAddressEvent(); });
    connect(&m_saver, &SettingsSaver::Saved, this, &AddressWatcher::OnSettingsSaved);
    connect(&m_passwords, &PasswordStore::Message, this,
            [this](const QString& text) { ShowOutput(text, true, true); });
    // Pages that show the passwords get them once the keyring has given them.
    connect(&m_passwords, &PasswordStore::ReadFinished, this, [this](bool ok) {
        if (ok && m_otherCommands) {
            PostPaneCommand(Command::HttpFill);
            PostPaneCommand(Command::FtpFill);
            PostPaneCommand(Command::DynDnsFill);
        }
    });
    connect(&m_selectionSaver, &SettingsSaver::Saved, this, [this](bool ok) {
        if (ok) {
            emit SettingsWritten();
        } else {
            qWarning("Quorvane: the selection could not be stored in %s",
                     qPrintable(SettingsFilePath()));
        }
    });
}

// The list may outlive the watcher: it asks nothing of it any more.
AddressWatcher::~AddressWatcher() {
    ListenTo(nullptr);
}

void AddressWatcher::ListenTo(AddressList* list) {
    if (m_list) {
        m_list->disconnect(this);
        m_list->SetRowChoice({});
    }
    m_list = list;
    if (!list) {
        return;
    }
    list->SetRowChoice([this] {
        return RowChoice{m_settings.ShowHardwareOnly,
                         m_settings.ShowIPv6,
                         {m_settings.AskRouter, m_settings.EchoPageURL, m_minuteMs}};
    });
    connect(list, &AddressList::OutputLine, this, &AddressWatcher::ShowOutput);
    connect(list, &AddressList::OutputHeading, this, &AddressWatcher::OutputHeading);
    connect(list, &AddressList::LocalHostChanged, this, [this](const QString& text) {
        emit LocalHostText(ShownText(text, TextField::kSingleLine));
    });
    connect(list, &AddressList::RowsChanged, this, &AddressWatcher::ListChanged);
    connect(list, &AddressList::RowChanged, this, &AddressWatcher::RowUpdated);
    connect(list, &AddressList::SelectedAddressChanged, this, [this](const QString& trayText) {
        emit TrayAddress(trayText);
        UpdateForwardPreview();
    });
    connect(list, &AddressList::SelectionChanged, this,
            [this] { PostPaneCommand(Command::SelectionChanged); });
    connect(list, &AddressList::SelectionLost, this, &AddressWatcher::ShowMessage);
    connect(list, &AddressList::RefreshFinished, this, [this] {
        CheckLogSize();
        ResumeIfIdle();
    });
}

ForwardSources AddressWatcher::SourcesForForwarder() {
    return {m_settings, m_questions, [this] { return SelectedIp(); },
            [this] { return SecondSelectedIp(); }, &m_passwords};
}

// The lines pass ShowOutput on their way to the log.
void AddressWatcher::RelayForwarder(Forwarder& forwarder) {
    connect(&forwarder, &Forwarder::OutputLine, this, &AddressWatcher::ShowOutput);
    connect(&forwarder, &Forwarder::OutputHeading, this, &AddressWatcher::OutputHeading);
    connect(&forwarder, &Forwarder::StatusLine, this, &AddressWatcher::StatusLine);
    connect(&forwarder, &Forwarder::PopupNotice, this, &AddressWatcher::ShowPopupNotice);
    connect(&forwarder, &Forwarder::HostReplied, this,
            [this](const QString& caption, const QString& text) {
                m_questions.ShowHostResponse(caption, ShownText(text, TextField::kMultiLine));
            });
    connect(&forwarder, &Forwarder::BusyChanged, this, &AddressWatcher::Busy);
    connect(&forwarder, &Forwarder::ExchangesEnded, this, [this] {
        ResumeIfIdle();
        emit ExchangesFinished();
    });
    // Automatic forwarding was turned off: the General page shows it, and the file keeps it.
    connect(&forwarder, &Forwarder::AutoForwardTurnedOff, this, [this] {
        emit GeneralSettingsChanged();
        m_saver.Schedule();
    });
}

void AddressWatcher::SetForwarding(IPaneForwarding* forwarding) {
    m_forwarding = forwarding ? forwarding : m_forwarderCommands.get();
}

// ---- Life ----

void AddressWatcher::Start() {
    LoadSettings(m_settings);
    m_hideOnStartup = LoadHideOnStartup();
    UpdateForwardPreview();
    // A face with settings pages shows the passwords, so it reads them from the keyring at once
    // and moves there those the file still holds; the headless one waits until an exchange or a
    // save needs the keyring.
    if (m_otherCommands) {
        ReadPasswordsForPages();
        m_passwords.Keep([this] { return SaveSettings(m_settings, m_hideOnStartup); });
    }
    if (!m_addressEvents.Start()) {
        qCWarning(lcWatch).noquote()
            << "address events are not available, polling only:" << m_addressEvents.ErrorText();
    }
    PostPaneCommand(Command::Refresh);
}

void AddressWatcher::ReadPasswordsForPages() {
    if (!m_passwords.NeedsRead()) {
        return;
    }
    m_passwords.Read([this](bool ok) {
        if (!ok) {
            ShowOutput(QStringLiteral("The passwords are kept in the desktop keyring, which did "
                                      "not give them (%1): nothing that needs them is sent until "
                                      "it does.")
                           .arg(m_passwords.ErrorText()),
                       true, true);
        }
    });
}

void AddressWatcher::ShutDown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    m_pending.clear();
    EndBackOff();
    m_selectionSaver.Flush();
    if (m_attached) {
        m_saver.Flush();  // only the user's edits: the settings are the other watcher's
    } else {
        m_saver.Cancel();  // written here in any case
        if (!SaveSettings(m_settings, m_hideOnStartup)) {
            qWarning("Quorvane: the settings could not be saved to %s",
                     qPrintable(SettingsFilePath()));
        }
    }
    m_pollTimer.stop();
    m_addressEvents.Stop();
    // A running exchange is cancelled by the off-line step, which runs as soon as it has ended.
    if (m_forwarding) {
        m_forwarding->OffLineAtShutdown();
    }
}

void AddressWatcher::OnSettingsSaved(bool ok) {
    if (ok) {
        m_settings.TargetsStored();
        emit SettingsWritten();
        m_passwords.Keep([this] { return SaveSettings(m_settings, m_hideOnStartup); });
    }
    // Told once, not on every edit: again only after a save has worked.
    if (ok || m_saveFailureShown) {
        m_saveFailureShown = m_saveFailureShown && !ok;
        return;
    }
    m_saveFailureShown = true;
    const QString path = SettingsFilePath();
    qWarning("Quorvane: the settings could not be saved to %s", qPrintable(path));
    ShowOutput(SettingsFileIsReadOnly()
                   ? QStringLiteral("The settings file %1 is read-only: changes to the settings "
                                    "are not saved.")
                         .arg(path)
                   : QStringLiteral("The settings could not be saved to %1.").arg(path),
               true, true);
}

// ---- Commands ----

void AddressWatcher::PostPaneCommand(Command command) {
    QMetaObject::invokeMethod(
        this, [this, command] { RunCommand(command); }, Qt::QueuedConnection);
}

void AddressWatcher::RunCommand(Command command) {
    if (m_shutDown) {
        return;
    }
    if (command == Command::PollTick) {
        OnPollTick();
        return;
    }
    if (command == Command::AddressEvent) {
        OnAddressEvent();
        return;
    }
    if (command == Command::Retry) {
        OnRetryDue();
        return;
    }
    if (IsBusy()) {
        Defer(command);
        return;
    }
    WorkScope work(*this);
    if (IsOwnCommand(command)) {
        Run(command);
    } else if (m_otherCommands) {
        m_otherCommands(command);
    }
}

void AddressWatcher::Run(Command command) {
    switch (command) {
        case Command::SelectionChanged:
            if (!m_attached || std::exchange(m_userTick, false)) {
                m_selectionSaver.Schedule();
            }
            if (m_settings.AutoForward) {
                ForwardChange();
            }
            break;
        case Command::ManualSend:
            SendByHand(m_settings.Method);
            break;
        case Command::SendHttp:
            SendByHand(ForwardMethod::Http);
            break;
        case Command::SendFtp:
            SendByHand(ForwardMethod::Ftp);
            break;
        case Command::SendDynDns:
            SendByHand(ForwardMethod::DynDns);
            break;
        case Command::HttpOffLine:
            if (m_forwarding) {
                m_forwarding->NotifyOffLine(ForwardMethod::Http);
            }
            break;
        case Command::FtpOffLine:
            if (m_forwarding) {
                m_forwarding->NotifyOffLine(ForwardMethod::Ftp);
            }
            break;
        case Command::SendDns:
            SendByHand(ForwardMethod::DnsUpdate);
            break;
        case Command::DnsOffLine:
            if (m_forwarding) {
                m_forwarding->NotifyOffLine(ForwardMethod::DnsUpdate);
            }
            break;
        case Command::Refresh:
            if (m_doc) {
                m_doc->RefreshNetworkInfo(-1);
            }
            SetPollTimer();
            break;
        case Command::TestInternet:
            if (m_forwarding) {
                m_forwarding->OnTestInternet();
            }
            break;
        case Command::ReloadSettings:
            ReloadSettings();
            break;
        default:
            break;
    }
}

// Another face wrote the settings file: its values and the ticked row replace these, and a
// refresh finds the ticked address again; a new address it finds is forwarded like any change.
// A change of the settings that waits to be written is written first, not dropped; so is a tick
// by the user in an attached face, while a tick of this watcher's own checks gives way to the
// one just written.
void AddressWatcher::ReloadSettings() {
    m_saver.Flush();
    if (m_attached) {
        m_selectionSaver.Flush();
    } else {
        m_selectionSaver.Cancel();
    }
    LoadSettings(m_settings);
    m_hideOnStartup = LoadHideOnStartup();
    if (m_otherCommands) {
        ReadPasswordsForPages();
        for (const Command fill :
             {Command::GeneralFill, Command::HttpFill, Command::FtpFill, Command::LogFill}) {
            PostPaneCommand(fill);
        }
    }
    if (m_doc) {
        m_doc->ReloadSelection();
    }
    UpdateForwardPreview();
    if (m_doc) {
        m_doc->RefreshNetworkInfo(-1);
    }
    SetPollTimer();
}

void AddressWatcher::GeneralSettingsTaken(const SettingsRecord& before) {
    const GeneralTakePlan plan = PlanGeneralTake(before, m_settings);
    UpdateForwardPreview();
    SetPollTimer();
    if (plan.offerOffLineFor && m_forwarding) {
        m_forwarding->OfferOffLineNotice(*plan.offerOffLineFor);
    }
    if (plan.postManualSend) {
        PostPaneCommand(Command::ManualSend);
    }
    DropRetryIfUnwanted();
    m_saver.Schedule();
}

// ---- Forwarding and its retries ----

// The ticked address changed: a fresh forward, and a fresh back-off should it fail.
void AddressWatcher::ForwardChange() {
    EndBackOff();
    SendAutomatically();
}

void AddressWatcher::SendAutomatically() {
    if (!m_forwarding) {
        return;
    }
    m_retryTarget = TargetKey();
    const QPointer<AddressWatcher> self(this);
    const int round = m_forwardRound;
    m_forwarding->ForwardAddress(m_settings.Method, false,
                                 [self, round, target = m_retryTarget](ForwardOutcome outcome) {
                                     if (self) {
                                         self->ReportForward(target, outcome);
                                         self->AutomaticForwardEnded(round, outcome);
                                     }
                                 });
}

// Not tried again; taken by the chosen method, it makes the tries of the back-off needless.
void AddressWatcher::SendByHand(ForwardMethod method) {
    if (!m_forwarding) {
        return;
    }
    const QPointer<AddressWatcher> self(this);
    const bool chosen = method == m_settings.Method;
    m_forwarding->ForwardAddress(method, true,
                                 [self, chosen, target = TargetKey()](ForwardOutcome outcome) {
                                     if (!self) {
                                         return;
                                     }
                                     if (chosen) {
                                         self->ReportForward(target, outcome);
                                     }
                                     if (outcome == ForwardOutcome::kTaken && chosen) {
                                         self->EndBackOff();
                                     }
                                 });
}

void AddressWatcher::ReportForward(const QString& target, ForwardOutcome outcome) {
    if (outcome != ForwardOutcome::kNothingToSend) {
        emit ForwardEnded(target, SelectedIp(), outcome == ForwardOutcome::kTaken);
    }
}

void AddressWatcher::AutomaticForwardEnded(int round, ForwardOutcome outcome) {
    if (m_shutDown || round != m_forwardRound) {
        return;  // a fresh forward or the end of the back-off came in between
    }
    if (outcome != ForwardOutcome::kFailed || !RetryStillWanted()) {
        EndBackOff();
        return;
    }
    const auto delay = m_retry.Failed(std::chrono::minutes(PollMinutes()));
    m_nextTry = QDateTime::currentDateTime().addMSecs(delay.count());
    ShowOutput(RetrySchedule::DueText(delay), true, true);
}

void AddressWatcher::OnRetryDue() {
    if (m_shutDown) {
        return;
    }
    if (IsBusy()) {
        Defer(Command::Retry);
        return;
    }
    WorkScope work(*this);
    if (!m_retry.TakeDue()) {
        return;  // the back-off ended while the try waited
    }
    if (RetryStillWanted()) {
        SendAutomatically();
    } else {
        EndBackOff();
    }
}

// Tries go on while changes are forwarded automatically, to the target of the failed forward,
// and the ticked interface has an address to send.
bool AddressWatcher::RetryStillWanted() const {
    return m_settings.AutoForward && m_settings.CheckForChange && TargetKey() == m_retryTarget &&
           IsValidAddressText(SelectedIp());
}

void AddressWatcher::DropRetryIfUnwanted() {
    if (m_retry.IsPending() && !RetryStillWanted()) {
        EndBackOff();
    }
}

void AddressWatcher::EndBackOff() {
    ++m_forwardRound;
    m_retry.Reset();
}

// The method and where it sends to.
QString AddressWatcher::TargetKey() const {
    switch (m_settings.Method) {
        case ForwardMethod::Http:
            return QStringLiteral("http\n") + m_settings.HTTPTargetURL;
        case ForwardMethod::Ftp:
            break;
        case ForwardMethod::DynDns:
            return QStringLiteral("dyndns2\n") + m_settings.DynDnsURL + QLatin1Char('\n') +
                   m_settings.DynDnsHosts + QLatin1Char('\n') + m_settings.DynDnsUser;
        case ForwardMethod::DnsUpdate:
            return QStringLiteral("dns\n%1\n%2\n%3")
                .arg(m_settings.DNSServer)
                .arg(m_settings.DNSPort)
                .arg(m_settings.DNSRecordName);
    }
    return QStringLiteral("ftp\n") + m_settings.FTPTargetURL + QLatin1Char('\n') +
           m_settings.FTPForwardWebPage;
}

int AddressWatcher::PollMinutes() const {
    return std::max(1, m_settings.CheckTime);
}

void AddressWatcher::Defer(Command item) {
    const bool isCheck =
        item == Command::PollTick || item == Command::AddressEvent || item == Command::Retry;
    // Checks (and tries) that pile up while work runs make one.
    if (isCheck && std::find(m_pending.begin(), m_pending.end(), item) != m_pending.end()) {
        return;
    }
    m_pending.push_back(item);
}

bool AddressWatcher::IsBusy() const {
    return m_workDepth > 0 || (m_forwarding && m_forwarding->IsBusy()) ||
           (m_doc && m_doc->IsRefreshing());
}

void AddressWatcher::ResumeIfIdle() {
    if (!IsBusy()) {
        const bool waiting = !m_pending.empty();
        ResumePending();
        if (!waiting) {
            emit Idle();
        }
    }
}

void AddressWatcher::ResumePending() {
    while (!m_pending.empty()) {
        PostPaneCommand(m_pending.front());
        m_pending.pop_front();
    }
}

// ---- Polling and address events ----

void AddressWatcher::SetPollTimer() {
    if (m_settings.CheckForChange && !m_shutDown) {
        const qint64 minutes = PollMinutes();
        m_pollPeriodMs = static_cast<int>(std::min<qint64>(minutes * m_minuteMs, INT_MAX));
        m_pollTimer.start(m_pollPeriodMs, this);  // restarts the period from now
    } else {
        m_pollTimer.stop();
        m_pollPeriodMs = 0;
    }
}

void AddressWatcher::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_pollTimer.timerId()) {
        OnPollTick();
    } else {
        QObject::timerEvent(e);
    }
}

void AddressWatcher::OnPollTick() {
    if (m_shutDown) {
        return;
    }
    if (IsBusy()) {
        Defer(Command::PollTick);
        return;
    }
    WorkScope work(*this);
    if (m_doc) {
        m_doc->CheckSelection();
    }
}

// The kernel announced address or link changes: check the ticked address at once, as the polling
// tick does, quietly, whether a window shows the list or not. The polling tick keeps its period as
// the safety net.
void AddressWatcher::OnAddressEvent() {
    if (m_shutDown || !m_settings.CheckForChange) {
        return;
    }
    if (IsBusy()) {
        Defer(Command::AddressEvent);
        return;
    }
    WorkScope work(*this);
    if (m_doc) {
        m_doc->CheckSelection();
    }
}

// ---- Output and the event log ----

// Every line, notice and reply passes here on its way to the window, the terminal and the log:
// what came from outside in it cannot drive a terminal or forge a line.
void AddressWatcher::ShowOutput(const QString& raw, bool append, bool log) {
    const QString text = ShownText(raw, TextField::kMultiLine);
    qCDebug(lcWatch).noquote() << "output:" << text;
    emit Output(text, append, log);
    if (log) {
        WriteLogEntry(text);
    }
}

void AddressWatcher::WriteLogEntry(const QString& text) {
    if (!m_settings.LoggingEnabled || m_attached) {
        return;
    }
    const auto problem = m_log.WriteLogEntry(m_settings.LoggingFile, text);
    if (!problem) {
        m_logProblemPath.reset();
        return;
    }
    // One notice for a log file that does not work, not one for each line that it loses; the
    // notice comes again once the file has worked, or for another file.
    if (m_logProblemPath != m_settings.LoggingFile) {
        m_logProblemPath = m_settings.LoggingFile;
        ShowPopupNotice(*problem, IPrompter::Warning, kErrorNoticeLifeMs);
    }
}

void AddressWatcher::CheckLogSize() {
    if (m_log.LogIsBig(m_settings.NotifyLogBig)) {
        ShowPopupNotice(LoadString(Text::LogBig), IPrompter::Information, kLogNoticeLifeMs);
    }
}

// Follows each change of the target or of the ticked address: a pending try of a target that was
// left, or of an address that is gone, is dropped.
void AddressWatcher::UpdateForwardPreview() {
    if (m_forwarding) {
        m_forwarding->UpdateForwardPreview();
    }
    DropRetryIfUnwanted();
}

QString AddressWatcher::SelectedIp() const {
    return m_doc ? m_doc->SelectedIp() : LoadString(Text::PlaceholderAddress);
}

// ---- Questions ----

void AddressWatcher::ShowMessage(const QString& text) {
    if (m_messageOpen) {
        return;  // checks that run while it is open only report
    }
    m_messageOpen = true;
    const QPointer<AddressWatcher> self(this);
    m_questions.Ask(ShownText(text, TextField::kMultiLine), LoadString(Text::AppTitle),
                    IPrompter::Ok, IPrompter::NoIcon, [self](int) {
                        if (self) {
                            self->m_messageOpen = false;
                        }
                    });
}

void AddressWatcher::ShowPopupNotice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) {
    m_questions.Notice(ShownText(text, TextField::kMultiLine), icon, lifeMs);
}

}  // namespace qv
