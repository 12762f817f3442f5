#include "views/CInfoCtrlView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "forwarding/Forwarder.h"
#include "forwarding/OutputDataDlg.h"
#include "platform/Clock.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "settings/CInfoCtrlSheet.h"
#include "views/CInfoView.h"
#include "views/ForwarderCommands.h"
#include "views/PaneCommand.h"

// QT_LOGGING_RULES="quorvane.pane.debug=true" mirrors the output box on the console.
Q_LOGGING_CATEGORY(lcPane, "quorvane.pane", QtWarningMsg)

namespace qv {
namespace {

constexpr int kStrQuickHelp = 129;
constexpr int kStrOutputInformation = 130;
constexpr int kStrNoAddress = 115;
constexpr int kStrNoticeCaption = 144;
constexpr int kStrLogBig = 177;
constexpr int kStrAppTitle = 57344;
constexpr int kHelpGeneral = 123;
constexpr int kHelpHttp = 124;
constexpr int kHelpFtp = 125;
constexpr int kHelpLogging = 126;
constexpr int kLogNoticeLifeMs = 5000;
constexpr int kErrorNoticeLifeMs = 7000;

// Items of the waiting list that are not pane commands.
constexpr int kPendingPollTick = 0;
constexpr int kPendingTestInternet = -1;
constexpr int kPendingAddressEvent = -2;

// The box shows each of the program's line breaks ("\r\r\n", or a plain "\r\n") as one break.
QString DisplayText(QString text) {
    text.replace(QLatin1String(kBreak), QStringLiteral("\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.remove(QLatin1Char('\r'));
    return text;
}

bool IsPaneCommand(int command) {
    return command >= kFirstPaneCommand && command <= kLastPaneCommand && command != kCmdUnused;
}

// Commands that only copy values to a page or show help: they run at once even while other work
// runs, because they cannot start any.
bool RunsAtOnce(int command) {
    switch (command) {
        case kCmdGeneralFill:
        case kCmdGeneralHelp:
        case kCmdHttpFill:
        case kCmdHttpHelp:
        case kCmdFtpFill:
        case kCmdFtpHelp:
        case kCmdLogFill:
        case kCmdLogHelp:
            return true;
        default:
            return false;
    }
}

}  // namespace

// Marks a piece of work (refresh, check, exchange) as running; what arrives meanwhile waits.
class CInfoCtrlView::WorkScope {
  public:
    explicit WorkScope(CInfoCtrlView& pane) : m_pane(pane) {
        ++m_pane.m_nWorkDepth;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WorkScope() {
        QGuiApplication::restoreOverrideCursor();
        if (--m_pane.m_nWorkDepth == 0) {
            m_pane.ResumePending();
        }
    }
    WorkScope(const WorkScope&) = delete;
    WorkScope& operator=(const WorkScope&) = delete;

  private:
    CInfoCtrlView& m_pane;
};

// While a box waits for the user inside some work, the pane counts as idle so that polling goes
// on; the work resumes when the box has closed.
class CInfoCtrlView::IdleScope {
  public:
    explicit IdleScope(CInfoCtrlView& pane) : m_pane(pane), m_nSaved(pane.m_nWorkDepth) {
        m_pane.m_nWorkDepth = 0;
        m_pane.ResumePending();
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~IdleScope() {
        QGuiApplication::restoreOverrideCursor();
        m_pane.m_nWorkDepth += m_nSaved;
    }
    IdleScope(const IdleScope&) = delete;
    IdleScope& operator=(const IdleScope&) = delete;

  private:
    CInfoCtrlView& m_pane;
    int m_nSaved;
};

// The pane's own settings sheet as the pane commands use it.
class CInfoCtrlView::SheetPages : public IPaneSheet {
  public:
    explicit SheetPages(CInfoCtrlSheet& sheet) : m_sheet(sheet) {}
    QWidget* Widget() override { return &m_sheet; }
    void TakePage(Page page, InfoCtrlSettings& settings, int& hideOnStartup) override {
        m_sheet.TakePage(page, settings, hideOnStartup);
    }
    void FillPage(Page page, const InfoCtrlSettings& settings, int hideOnStartup) override {
        m_sheet.FillPage(page, settings, hideOnStartup);
    }

  private:
    CInfoCtrlSheet& m_sheet;
};

CInfoCtrlView::CInfoCtrlView(QWidget* parent)
    : QWidget(parent),
      m_forwarder(std::make_unique<CForwarder>(*this)),
      m_forwarderCommands(std::make_unique<ForwarderCommands>(*m_forwarder)),
      m_pForwarding(m_forwarderCommands.get()) {
    BuildLayout();
    connect(&m_addressEvents, &AddressEvents::Changed, this, [this] { OnAddressEvent(); });
    for (SettingsSaver* saver : {&m_saver, &m_selectionSaver}) {
        connect(saver, &SettingsSaver::Saved, this, [](bool ok) {
            if (!ok) {
                qWarning("Quorvane: the settings could not be saved to %s",
                         qPrintable(SettingsFilePath()));
            }
        });
    }
    // The sheet's pages post their first fill and help commands from here; they run once the
    // event loop does, after the initial update has loaded the settings.
    m_pSettingsSheet = new CInfoCtrlSheet(*this, m_sheetHost);
    m_sheetPages = std::make_unique<SheetPages>(*m_pSettingsSheet);
    SetSheet(m_sheetPages.get());
    // Over the empty end of the tab row, the host line stays on top.
    m_hostLabel->raise();
    m_localHost->raise();
    m_testInternet->raise();
}

CInfoCtrlView::~CInfoCtrlView() = default;

void CInfoCtrlView::SetForwarding(IPaneForwarding* forwarding) {
    m_pForwarding = forwarding ? forwarding : m_forwarderCommands.get();
}

void CInfoCtrlView::BuildLayout() {
    // Local host line and the "Test Internet" button at the top right, beside the sheet's tabs.
    m_hostLabel = new QLabel(QStringLiteral("Local Host :"), this);
    m_localHost = new QLabel(QString(38, QLatin1Char('-')), this);
    m_localHost->setObjectName(QStringLiteral("ctl1101"));
    m_localHost->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_localHost->setMinimumWidth(120);
    m_testInternet = new QPushButton(QStringLiteral("Test Internet"), this);
    m_testInternet->setObjectName(QStringLiteral("ctl1146"));
    connect(m_testInternet, &QPushButton::clicked, this, [this] {
        if (IsBusy()) {
            Defer(kPendingTestInternet);
            return;
        }
        WorkScope work(*this);
        if (m_pForwarding) {
            m_pForwarding->OnTestInternet();
        }
    });
    auto* top = new QHBoxLayout;
    top->setSpacing(8);
    top->addStretch(1);
    top->addWidget(m_hostLabel);
    top->addWidget(m_localHost);
    top->addWidget(m_testInternet);

    // The settings sheet's place at the left.
    m_sheetHost = new QWidget(this);
    m_sheetHost->setObjectName(QStringLiteral("sheetPlace"));
    m_sheetLayout = new QVBoxLayout(m_sheetHost);
    m_sheetLayout->setContentsMargins(0, 0, 0, 0);

    // Quick help / output box on the right.
    m_group = new QGroupBox(LoadString(kStrQuickHelp), this);
    m_group->setObjectName(QStringLiteral("ctl1126"));
    m_output = new QPlainTextEdit(m_group);
    m_output->setObjectName(QStringLiteral("ctl1125"));
    m_output->setReadOnly(true);
    m_output->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_output->setTabChangesFocus(true);
    m_output->installEventFilter(this);
    auto* groupLayout = new QVBoxLayout(m_group);
    groupLayout->setContentsMargins(6, 4, 6, 6);
    groupLayout->addWidget(m_output);

    // Status line with the forwarding target along the bottom.
    m_statusLine = new QLineEdit(this);
    m_statusLine->setObjectName(QStringLiteral("ctl1127"));
    m_statusLine->setReadOnly(true);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    // The sheet starts at the top-left corner; the host line shares the height of its tab row.
    grid->addWidget(m_sheetHost, 0, 0, 2, 1);
    grid->addLayout(top, 0, 0, 1, 2);
    grid->addWidget(m_group, 1, 1);
    grid->addWidget(m_statusLine, 2, 0, 1, 2);
    grid->setColumnStretch(0, 322);
    grid->setColumnStretch(1, 199);
    grid->setRowStretch(1, 1);
}

void CInfoCtrlView::SetSheet(IPaneSheet* sheet) {
    if (!sheet) {
        sheet = m_sheetPages.get();
    }
    if (m_pSheet && m_pSheet != sheet && m_pSheet->Widget()) {
        m_sheetLayout->removeWidget(m_pSheet->Widget());
        m_pSheet->Widget()->hide();
    }
    m_pSheet = sheet;
    if (sheet && sheet->Widget()) {
        sheet->Widget()->setParent(m_sheetHost);
        m_sheetLayout->addWidget(sheet->Widget());
        sheet->Widget()->show();
    }
}

void CInfoCtrlView::RequestControlTip(QWidget* control, int controlId, const QPoint& globalPos) {
    if (m_controlTip) {
        m_controlTip(control, controlId, globalPos);
    }
}

void CInfoCtrlView::SetNoticeBox(INoticeBox* box) {
    m_pNotice = box ? box : &m_messageBoxNotice;
}

// ---- Life ----

void CInfoCtrlView::OnInitialUpdate() {
    LoadSettings(m_settings);
    m_nHideOnStartup = LoadHideOnStartup();
    SetBoxText(m_strQuickHelp);
    UpdateForwardPreview();
    if (!m_addressEvents.Start()) {
        qCWarning(lcPane).noquote()
            << "address events are not available, polling only:" << m_addressEvents.ErrorText();
    }
    PostPaneCommand(kCmdRefresh);
}

void CInfoCtrlView::OnDestroy() {
    if (m_bDestroyed) {
        return;
    }
    m_bDestroyed = true;
    m_pending.clear();
    m_saver.Cancel();  // written here in any case
    m_selectionSaver.Flush();
    if (!SaveSettings(m_settings, m_nHideOnStartup)) {
        qWarning("Quorvane: the settings could not be saved to %s", qPrintable(SettingsFilePath()));
    }
    m_pollTimer.stop();
    m_addressEvents.Stop();
    if (m_pForwarding) {
        m_pForwarding->OffLineAtShutdown();
    }
}

// ---- Pane commands ----

void CInfoCtrlView::PostPaneCommand(int command) {
    qv::PostPaneCommand(this, command);
}

bool CInfoCtrlView::event(QEvent* e) {
    if (e->type() == PaneCommandEvent::EventType()) {
        OnPaneCommand(static_cast<PaneCommandEvent*>(e)->m_nCommand);
        return true;
    }
    return QWidget::event(e);
}

void CInfoCtrlView::OnPaneCommand(int command) {
    if (m_bDestroyed) {
        return;
    }
    if (command == kPendingPollTick) {
        OnPollTick();
        return;
    }
    if (command == kPendingAddressEvent) {
        OnAddressEvent();
        return;
    }
    if (command == kPendingTestInternet) {
        m_testInternet->click();
        return;
    }
    if (!IsPaneCommand(command)) {
        return;
    }
    if (RunsAtOnce(command)) {
        RunCommand(command);
        return;
    }
    if (IsBusy()) {
        Defer(command);
        return;
    }
    WorkScope work(*this);
    RunCommand(command);
}

void CInfoCtrlView::RunCommand(int command) {
    switch (command) {
        case kCmdGeneralTake:
            TakeGeneralPage();
            m_saver.Schedule();
            break;
        case kCmdGeneralFill:
            if (m_pSheet) {
                m_pSheet->FillPage(IPaneSheet::kGeneral, m_settings, m_nHideOnStartup);
            }
            break;
        case kCmdGeneralHelp:
            ShowQuickHelp(kHelpGeneral);
            break;
        case kCmdHttpTake:
            if (m_pSheet) {
                m_pSheet->TakePage(IPaneSheet::kHttpTarget, m_settings, m_nHideOnStartup);
            }
            UpdateForwardPreview();
            m_saver.Schedule();
            break;
        case kCmdHttpFill:
            if (m_pSheet) {
                m_pSheet->FillPage(IPaneSheet::kHttpTarget, m_settings, m_nHideOnStartup);
            }
            break;
        case kCmdHttpHelp:
            ShowQuickHelp(kHelpHttp);
            break;
        case kCmdFtpTake:
            if (m_pSheet) {
                m_pSheet->TakePage(IPaneSheet::kFtpTarget, m_settings, m_nHideOnStartup);
            }
            UpdateForwardPreview();
            m_saver.Schedule();
            break;
        case kCmdFtpFill:
            if (m_pSheet) {
                m_pSheet->FillPage(IPaneSheet::kFtpTarget, m_settings, m_nHideOnStartup);
            }
            break;
        case kCmdFtpHelp:
            ShowQuickHelp(kHelpFtp);
            break;
        case kCmdLogTake:
            if (m_pSheet) {
                m_pSheet->TakePage(IPaneSheet::kLogging, m_settings, m_nHideOnStartup);
            }
            m_saver.Schedule();
            break;
        case kCmdLogFill:
            if (m_pSheet) {
                m_pSheet->FillPage(IPaneSheet::kLogging, m_settings, m_nHideOnStartup);
            }
            break;
        case kCmdLogHelp:
            ShowQuickHelp(kHelpLogging);
            break;

        // ---- Forwarding: the forwarder does the work ----
        case kCmdSelectionChanged:
            m_selectionSaver.Schedule();
            if (m_settings.AutoForward != 0) {
                Forward();
            }
            break;
        case kCmdManualSend:
            Forward();
            break;
        case kCmdSendHttp:
            if (m_pForwarding) {
                m_pForwarding->SendHTTPAddress();
            }
            break;
        case kCmdSendFtp:
            if (m_pForwarding) {
                m_pForwarding->SendFTPPage();
            }
            break;
        case kCmdHttpOffLine:
            if (m_pForwarding) {
                m_pForwarding->NotifyHTTPOffLine();
            }
            break;
        case kCmdFtpOffLine:
            if (m_pForwarding) {
                m_pForwarding->NotifyFTPOffLine();
            }
            break;

        case kCmdRefresh:
            if (m_pDoc) {
                m_pDoc->RefreshNetworkInfo(-1);
            }
            SetPollTimer();
            break;
        default:
            break;
    }
}

void CInfoCtrlView::TakeGeneralPage() {
    const int oldUseHttp = m_settings.UseHTTP;
    const int oldAutoForward = m_settings.AutoForward;
    if (m_pSheet) {
        m_pSheet->TakePage(IPaneSheet::kGeneral, m_settings, m_nHideOnStartup);
    }
    UpdateForwardPreview();
    SetPollTimer();
    const bool methodChanged = m_settings.UseHTTP != oldUseHttp;
    if (methodChanged && m_pForwarding) {
        m_pForwarding->OfferOffLineNotice(oldUseHttp);
    }
    if (m_settings.AutoForward != 0 &&
        (m_settings.AutoForward != oldAutoForward || methodChanged)) {
        PostPaneCommand(kCmdManualSend);
    }
}

void CInfoCtrlView::Forward() {
    if (!m_pForwarding) {
        return;
    }
    if (m_settings.UseHTTP != 0) {
        m_pForwarding->SendHTTPAddress();
    } else {
        m_pForwarding->SendFTPPage();
    }
}

void CInfoCtrlView::ShowQuickHelp(int helpId) {
    m_strQuickHelp = LoadString(kStrQuickHelp);
    SetOutputHeading(m_strQuickHelp);
    m_strQuickHelp = LoadString(helpId);
    SetBoxText(m_strQuickHelp);
}

void CInfoCtrlView::Defer(int item) {
    const bool isTick = item == kPendingPollTick || item == kPendingAddressEvent;
    // Ticks that pile up while work runs make one check.
    if (isTick && std::find(m_pending.begin(), m_pending.end(), item) != m_pending.end()) {
        return;
    }
    m_pending.push_back(item);
}

void CInfoCtrlView::ResumePending() {
    while (!m_pending.empty()) {
        PostPaneCommand(m_pending.front());
        m_pending.pop_front();
    }
}

// ---- Timers ----

void CInfoCtrlView::SetPollTimer() {
    if (m_settings.CheckForChange != 0 && !m_bDestroyed) {
        const qint64 minutes = std::max(1, m_settings.CheckTime);
        m_nPollPeriodMs = static_cast<int>(std::min<qint64>(minutes * m_nMinuteMs, INT_MAX));
        m_pollTimer.start(m_nPollPeriodMs, this);  // restarts the period from now
    } else {
        m_pollTimer.stop();
        m_nPollPeriodMs = 0;
    }
}

void CInfoCtrlView::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_pollTimer.timerId()) {
        OnPollTick();
    } else if (e->timerId() == m_noticeTimer.timerId()) {
        m_noticeTimer.stop();
        m_pNotice->CloseInnermost();
    } else {
        QWidget::timerEvent(e);
    }
}

void CInfoCtrlView::OnPollTick() {
    if (m_bDestroyed) {
        return;
    }
    if (IsBusy()) {
        Defer(kPendingPollTick);
        return;
    }
    WorkScope work(*this);
    if (m_pDoc) {
        m_pDoc->CheckSelection();
    }
}

// The kernel announced address or link changes: check the ticked address at once, as the polling
// tick does, and bring the list up to date while the window is shown. The polling tick keeps its
// period as the safety net.
void CInfoCtrlView::OnAddressEvent() {
    if (m_bDestroyed || m_settings.CheckForChange == 0) {
        return;
    }
    if (IsBusy()) {
        Defer(kPendingAddressEvent);
        return;
    }
    WorkScope work(*this);
    if (m_pDoc) {
        m_pDoc->CheckSelection();
        if (window()->isVisible()) {
            m_pDoc->RefreshNetworkInfo(-1);
        }
    }
}

// ---- Output ----

void CInfoCtrlView::SetBoxText(const QString& text) {
    m_strOutput = text;
    m_output->setPlainText(DisplayText(text));
}

void CInfoCtrlView::ShowOutput(const QString& text, bool append, bool log) {
    qCDebug(lcPane).noquote() << "output:" << text;
    if (append) {
        m_strOutput += QLatin1String(kBreak) + text;
        // The program's own lines always go to the end, wherever the user left the caret.
        QTextCursor cursor(m_output->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(DisplayText(QLatin1String(kBreak) + text));
    } else {
        SetBoxText(text);
    }
    m_output->moveCursor(QTextCursor::End);
    m_output->ensureCursorVisible();
    m_output->verticalScrollBar()->setValue(m_output->verticalScrollBar()->maximum());
    m_output->repaint();
    if (log) {
        WriteLogEntry(text);
    }
}

void CInfoCtrlView::SetOutputHeading(const QString& text) {
    m_group->setTitle(text);
}

QString CInfoCtrlView::OutputHeading() const {
    return m_group->title();
}

void CInfoCtrlView::SetLocalHostText(const QString& text) {
    m_localHost->setText(text);
    m_localHost->repaint();
}

QString CInfoCtrlView::LocalHostText() const {
    return m_localHost->text();
}

void CInfoCtrlView::SetStatusLine(const QString& text) {
    m_statusLine->setText(text);
    m_statusLine->setCursorPosition(text.size());
    m_statusLine->repaint();
}

QString CInfoCtrlView::StatusLineText() const {
    return m_statusLine->text();
}

bool CInfoCtrlView::eventFilter(QObject* watched, QEvent* e) {
    // The box never keeps a selection when it gets the focus.
    if (watched == m_output && e->type() == QEvent::FocusIn) {
        QTextCursor cursor = m_output->textCursor();
        cursor.clearSelection();
        m_output->setTextCursor(cursor);
        m_output->ensureCursorVisible();
        m_output->repaint();
    }
    return QWidget::eventFilter(watched, e);
}

void CInfoCtrlView::ShowPopupNotice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) {
    const int life = static_cast<int>(std::min<unsigned>(lifeMs, INT_MAX));
    m_noticeEnds.emplace_back(life);
    m_noticeTimer.start(life, this);
    {
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
        m_pNotice->Run(text, LoadString(kStrNoticeCaption), icon, this);
        QGuiApplication::restoreOverrideCursor();
    }
    m_noticeEnds.pop_back();
    if (m_noticeEnds.empty()) {
        // Closed, by the timer or by hand: nothing is left to close.
        m_noticeTimer.stop();
    } else {
        // A notice opened inside another one has closed: the outer one gets the rest of its life.
        const qint64 left = std::max<qint64>(0, m_noticeEnds.back().remainingTime());
        m_noticeTimer.start(static_cast<int>(std::min<qint64>(left, INT_MAX)), this);
    }
}

// ---- Event log ----

void CInfoCtrlView::WriteLogEntry(const QString& text) {
    if (m_settings.LoggingEnabled == 0) {
        return;
    }
    if (const auto problem = m_log.WriteLogEntry(m_settings.LoggingFile, text)) {
        ShowPopupNotice(*problem, IPrompter::Warning, kErrorNoticeLifeMs);
    }
}

void CInfoCtrlView::CheckLogSize() {
    if (m_log.LogIsBig(m_settings.NotifyLogBig)) {
        ShowPopupNotice(LoadString(kStrLogBig), IPrompter::Information, kLogNoticeLifeMs);
    }
}

// ---- The rest of the document's host ----

void CInfoCtrlView::RefillList() {
    if (m_pInfoView) {
        m_pInfoView->RefillList();
    }
}

void CInfoCtrlView::SetTrayAddress(const QString& address) {
    if (m_trayAddress) {
        m_trayAddress(address);
    }
}

void CInfoCtrlView::UpdateForwardPreview() {
    if (m_pForwarding) {
        m_pForwarding->UpdateForwardPreview();
    }
}

void CInfoCtrlView::ShowMessage(const QString& text) {
    IdleScope idle(*this);
    Prompter().MessageBox(text, LoadString(kStrAppTitle), IPrompter::Ok, IPrompter::NoIcon);
}

void CInfoCtrlView::RowChanged(int row) {
    if (m_pInfoView) {
        m_pInfoView->UpdateRow(row);
    }
}

// ---- The rest of the forwarder's host ----

QString CInfoCtrlView::SelectedIp() const {
    return m_pDoc ? m_pDoc->SelectedIp() : LoadString(kStrNoAddress);
}

void CInfoCtrlView::ShowHostResponse(const QString& caption, const QString& text) {
    ShowOutputData(this, caption, text);
}

std::optional<Credentials> CInfoCtrlView::AskCredentials(const QString& server,
                                                         const QString& realm) {
    return AskForCredentials(this, server, realm);
}

void CInfoCtrlView::FillGeneralPage() {
    if (m_pSheet) {
        m_pSheet->FillPage(IPaneSheet::kGeneral, m_settings, m_nHideOnStartup);
    }
    m_saver.Schedule();  // the forwarding changed a setting (automatic forwarding turned off)
}

void CInfoCtrlView::SetBusyCursor(bool busy) {
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

}  // namespace qv
