#include "views/ControlPane.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "forwarding/LongLines.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "views/AddressListView.h"
#include "views/OutputDataDialog.h"
#include "views/PaneCommand.h"
#include "views/settings/SettingsTabs.h"

namespace qv {
namespace {

// The box shows each of the program's line breaks ("\r\r\n", or a plain "\r\n") as one break,
// and a very long line (a host's reply) in pieces that it can lay out quickly.
QString DisplayText(QString text) {
    text.replace(QLatin1String(kBreak), QStringLiteral("\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.remove(QLatin1Char('\r'));
    return BreakLongLines(text);
}

// Commands that only copy values to a page or show help: they run at once even while other work
// runs, because they cannot start any.
bool RunsAtOnce(Command command) {
    switch (command) {
        case Command::GeneralFill:
        case Command::GeneralHelp:
        case Command::HttpFill:
        case Command::HttpHelp:
        case Command::FtpFill:
        case Command::FtpHelp:
        case Command::DnsFill:
        case Command::DnsHelp:
        case Command::LogFill:
        case Command::LogHelp:
        case Command::DynDnsFill:
        case Command::DynDnsHelp:
            return true;
        default:
            return false;
    }
}

}  // namespace

// The pane's own settings sheet as the pane commands use it.
class ControlPane::SheetPages : public IPaneSheet {
  public:
    explicit SheetPages(SettingsTabs& sheet) : m_sheet(sheet) {}
    QWidget* Widget() override { return &m_sheet; }
    void TakePage(Page page, SettingsRecord& settings, int& hideOnStartup) override {
        m_sheet.TakePage(page, settings, hideOnStartup);
    }
    void FillPage(Page page, const SettingsRecord& settings, int hideOnStartup) override {
        m_sheet.FillPage(page, settings, hideOnStartup);
    }

  private:
    SettingsTabs& m_sheet;
};

ControlPane::ControlPane(QWidget* parent, WatchServices services)
    : QWidget(parent), m_core(*this, services) {
    BuildLayout();
    m_watcher.SetOtherCommands([this](Command command) { RunPageCommand(command); });
    connect(&m_watcher, &AddressWatcher::Output, this,
            [this](const QString& text, bool append) { ShowText(text, append); });
    connect(&m_watcher, &AddressWatcher::OutputHeading, this, &ControlPane::SetOutputHeading);
    connect(&m_watcher, &AddressWatcher::LocalHostText, this, &ControlPane::SetLocalHostText);
    connect(&m_watcher, &AddressWatcher::StatusLine, this, &ControlPane::SetStatusLine);
    connect(&m_watcher, &AddressWatcher::ListChanged, this, [this] {
        if (m_infoView) {
            m_infoView->RefillList();
        }
    });
    connect(&m_watcher, &AddressWatcher::RowUpdated, this, [this](int row) {
        if (m_infoView) {
            m_infoView->UpdateRow(row);
        }
    });
    connect(&m_watcher, &AddressWatcher::TrayAddress, this, [this](const QString& address) {
        if (m_trayAddress) {
            m_trayAddress(address);
        }
    });
    connect(&m_watcher, &AddressWatcher::Busy, this, [](bool busy) {
        if (busy) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QGuiApplication::restoreOverrideCursor();
        }
    });
    connect(&m_watcher, &AddressWatcher::GeneralSettingsChanged, this, [this] {
        if (m_paneSheet) {
            m_paneSheet->FillPage(IPaneSheet::kGeneral, Settings(), HideOnStartup());
        }
    });
    // The sheet's pages post their first fill and help commands from here; they run once the
    // event loop does, after the initial update has loaded the settings.
    m_settingsSheet = new SettingsTabs(*this, m_sheetHost);
    m_sheetPages = std::make_unique<SheetPages>(*m_settingsSheet);
    SetSheet(m_sheetPages.get());
    // Over the empty end of the tab row, the host line stays on top.
    m_hostLabel->raise();
    m_localHost->raise();
    m_testInternet->raise();
}

ControlPane::~ControlPane() = default;

void ControlPane::BuildLayout() {
    // Local host line and the "Test Internet" button at the top right, beside the sheet's tabs.
    m_hostLabel = new QLabel(QStringLiteral("Local Host :"), this);
    m_localHost = new QLabel(QString(38, QLatin1Char('-')), this);
    m_localHost->setObjectName(QStringLiteral("ctl1101"));
    m_localHost->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_localHost->setMinimumWidth(120);
    m_testInternet = new QPushButton(QStringLiteral("Test Internet"), this);
    m_testInternet->setObjectName(QStringLiteral("ctl1146"));
    connect(m_testInternet, &QPushButton::clicked, this,
            [this] { m_watcher.RunCommand(Command::TestInternet); });
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
    m_group = new QGroupBox(LoadString(Text::QuickHelpCaption), this);
    m_group->setObjectName(QStringLiteral("ctl1126"));
    m_output = new QPlainTextEdit(m_group);
    m_output->setObjectName(QStringLiteral("ctl1125"));
    m_output->setReadOnly(true);
    // Lines are only ever added by the program: an undo history would keep every one of them.
    m_output->setUndoRedoEnabled(false);
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

void ControlPane::SetSheet(IPaneSheet* sheet) {
    if (!sheet) {
        sheet = m_sheetPages.get();
    }
    if (m_paneSheet && m_paneSheet != sheet && m_paneSheet->Widget()) {
        m_sheetLayout->removeWidget(m_paneSheet->Widget());
        m_paneSheet->Widget()->hide();
    }
    m_paneSheet = sheet;
    if (sheet && sheet->Widget()) {
        sheet->Widget()->setParent(m_sheetHost);
        m_sheetLayout->addWidget(sheet->Widget());
        sheet->Widget()->show();
    }
}

void ControlPane::SetInfoView(AddressListView* view) {
    m_infoView = view;
    connect(view, &AddressListView::UserTicked, this, [this] { m_watcher.UserTicks(); });
}

void ControlPane::AttachTo(WatcherClient& client) {
    m_client = &client;
    m_attachedForwarding = std::make_unique<AttachedForwarding>(client, m_watcher.OwnForwarder(),
                                                                m_watcher.Settings().Method);
    m_watcher.SetForwarding(m_attachedForwarding.get());
    m_watcher.SetAttached(true);
    connect(&client, &WatcherClient::Output, this, &ControlPane::ShowText);
    connect(&client, &WatcherClient::StateChanged, this, [this] { SetStatusLine(m_preview); });
    connect(&client, &WatcherClient::Unreachable, this,
            [this](const QString& why) { ShowText(why, true); });
    connect(&client, &WatcherClient::SettingsWritten, this,
            [this] { m_watcher.PostPaneCommand(Command::ReloadSettings); });
    // Only the user's edits are written here: the other watcher reads them again.
    connect(&m_watcher, &AddressWatcher::SettingsWritten, &client,
            [&client] { client.Call(QStringLiteral("ReloadSettings")); });
}

void ControlPane::Detach(bool takeOver) {
    if (!m_client) {
        return;
    }
    m_client->disconnect(this);
    disconnect(&m_watcher, &AddressWatcher::SettingsWritten, m_client, nullptr);
    m_client = nullptr;
    if (takeOver) {
        m_watcher.SetForwarding(nullptr);
        m_attachedForwarding.reset();
        m_watcher.SetAttached(false);
        m_statusNote = Text::TookOverStatus;
        ShowText(LoadString(Text::TookOver), true);
    } else {
        m_statusNote = Text::DetachedStatus;
        ShowText(LoadString(Text::WatcherGone), true);
    }
    SetStatusLine(m_preview);
}

void ControlPane::RequestControlTip(QWidget* control, int controlId, const QPoint& globalPos) {
    if (m_controlTip) {
        m_controlTip(control, controlId, globalPos);
    }
}

void ControlPane::SetNoticeBox(INoticeBox* box) {
    m_notice = box ? box : &m_messageBoxNotice;
}

// ---- Life ----

void ControlPane::OnInitialUpdate() {
    SetBoxText(m_quickHelp);
    m_watcher.Start();
}

void ControlPane::OnDestroy() {
    if (m_watcher.IsShutDown()) {
        return;
    }
    // Nobody is asked anything any more: a running exchange ends, the questions' exchanges are
    // dropped, and what is open closes.
    m_watcher.ShutDown();
    CloseOpenBoxes();
}

void ControlPane::CloseOpenBoxes() {
    m_notice->CloseAll();
    for (const QPointer<QWidget>& window : std::exchange(m_openWindows, {})) {
        if (window) {
            window->close();
        }
    }
    // Message boxes, the log-in prompt and the Output Data window: each ends as refused.
    QWidget* last = nullptr;
    while (QWidget* box = QApplication::activeModalWidget()) {
        if (box == last) {
            break;  // it would not close
        }
        last = box;
        if (auto* dialog = qobject_cast<QDialog*>(box)) {
            dialog->reject();
        } else {
            box->close();
        }
    }
}

// ---- Pane commands ----

void ControlPane::PostPaneCommand(Command command) {
    qv::PostPaneCommand(this, command);
}

bool ControlPane::event(QEvent* e) {
    if (e->type() == PaneCommandEvent::EventType()) {
        OnPaneCommand(static_cast<PaneCommandEvent*>(e)->m_command);
        return true;
    }
    return QWidget::event(e);
}

void ControlPane::OnPaneCommand(Command command) {
    if (m_watcher.IsShutDown()) {
        return;
    }
    if (RunsAtOnce(command)) {
        RunPageCommand(command);
        return;
    }
    if (m_client && command == Command::Refresh) {
        m_client->Call(QStringLiteral("Refresh"));
    }
    m_watcher.RunCommand(command);
}

void ControlPane::RunPageCommand(Command command) {
    switch (command) {
        case Command::GeneralTake:
            TakeGeneralPage();
            break;
        case Command::GeneralFill:
            if (m_paneSheet) {
                m_paneSheet->FillPage(IPaneSheet::kGeneral, Settings(), HideOnStartup());
            }
            break;
        case Command::GeneralHelp:
            ShowQuickHelp(Text::GeneralHelp);
            break;
        case Command::HttpTake:
            if (m_paneSheet) {
                m_paneSheet->TakePage(IPaneSheet::kHttpTarget, Settings(), HideOnStartup());
            }
            m_watcher.UpdateForwardPreview();
            m_watcher.Saver().Schedule();
            break;
        case Command::HttpFill:
            if (m_paneSheet) {
                m_paneSheet->FillPage(IPaneSheet::kHttpTarget, Settings(), HideOnStartup());
            }
            break;
        case Command::HttpHelp:
            ShowQuickHelp(Text::HttpTargetHelp);
            break;
        case Command::FtpTake:
            if (m_paneSheet) {
                m_paneSheet->TakePage(IPaneSheet::kFtpTarget, Settings(), HideOnStartup());
            }
            m_watcher.UpdateForwardPreview();
            m_watcher.Saver().Schedule();
            break;
        case Command::FtpFill:
            if (m_paneSheet) {
                m_paneSheet->FillPage(IPaneSheet::kFtpTarget, Settings(), HideOnStartup());
            }
            break;
        case Command::FtpHelp:
            ShowQuickHelp(Text::FtpTargetHelp);
            break;
        case Command::DnsTake:
            if (m_paneSheet) {
                m_paneSheet->TakePage(IPaneSheet::kDnsTarget, Settings(), HideOnStartup());
            }
            m_watcher.UpdateForwardPreview();
            m_watcher.Saver().Schedule();
            break;
        case Command::DnsFill:
            if (m_paneSheet) {
                m_paneSheet->FillPage(IPaneSheet::kDnsTarget, Settings(), HideOnStartup());
            }
            break;
        case Command::DnsHelp:
            ShowQuickHelp(Text::DnsTargetHelp);
            break;
        case Command::LogTake:
            if (m_paneSheet) {
                m_paneSheet->TakePage(IPaneSheet::kLogging, Settings(), HideOnStartup());
            }
            m_watcher.Saver().Schedule();
            break;
        case Command::LogFill:
            if (m_paneSheet) {
                m_paneSheet->FillPage(IPaneSheet::kLogging, Settings(), HideOnStartup());
            }
            break;
        case Command::LogHelp:
            ShowQuickHelp(Text::LoggingHelp);
            break;
        case Command::DynDnsTake:
            if (m_paneSheet) {
                m_paneSheet->TakePage(IPaneSheet::kDynDns, Settings(), HideOnStartup());
            }
            m_watcher.UpdateForwardPreview();
            m_watcher.Saver().Schedule();
            break;
        case Command::DynDnsFill:
            if (m_paneSheet) {
                m_paneSheet->FillPage(IPaneSheet::kDynDns, Settings(), HideOnStartup());
            }
            break;
        case Command::DynDnsHelp:
            ShowQuickHelp(Text::DynDnsHelp);
            break;

        default:
            break;
    }
}

void ControlPane::TakeGeneralPage() {
    const SettingsRecord before = Settings();
    if (m_paneSheet) {
        m_paneSheet->TakePage(IPaneSheet::kGeneral, Settings(), HideOnStartup());
    }
    m_watcher.GeneralSettingsTaken(before);
}

void ControlPane::ShowQuickHelp(int helpId) {
    m_quickHelp = LoadString(Text::QuickHelpCaption);
    SetOutputHeading(m_quickHelp);
    m_quickHelp = LoadString(helpId);
    SetBoxText(m_quickHelp);
}

// ---- Output ----

void ControlPane::SetBoxText(const QString& text) {
    m_outputText = text;
    m_output->setPlainText(DisplayText(text));
}

void ControlPane::ShowOutput(const QString& text, bool append, bool log) {
    m_watcher.ShowOutput(text, append, log);
}

void ControlPane::ShowText(const QString& text, bool append) {
    if (append) {
        m_outputText += QLatin1String(kBreak) + text;
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
    m_output->update();  // painted once per pass of the event loop, however many lines came
}

void ControlPane::SetOutputHeading(const QString& text) {
    m_group->setTitle(text);
}

QString ControlPane::OutputHeading() const {
    return m_group->title();
}

void ControlPane::SetLocalHostText(const QString& text) {
    m_localHost->setText(text);
    m_localHost->repaint();
}

QString ControlPane::LocalHostText() const {
    return m_localHost->text();
}

void ControlPane::SetStatusLine(const QString& preview) {
    m_preview = preview;
    QString text = preview;
    if (m_client) {
        QString state = m_client->State();
        if (!m_client->NextTry().isEmpty()) {
            state += QLatin1Char(' ') + m_client->NextTry();
        }
        text = LoadString(Text::AttachedStatus).arg(state, preview);
    } else if (m_statusNote) {
        text = LoadString(*m_statusNote).arg(preview);
    }
    m_statusLine->setText(text);
    m_statusLine->setCursorPosition(text.size());
    m_statusLine->repaint();
}

QString ControlPane::StatusLineText() const {
    return m_statusLine->text();
}

bool ControlPane::eventFilter(QObject* watched, QEvent* e) {
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

void ControlPane::ShowPopupNotice(const QString& text, IPrompter::Icon icon, unsigned lifeMs) {
    m_notice->Show(text, LoadString(Text::NoticeCaption), icon, this,
                   static_cast<int>(std::min<unsigned>(lifeMs, INT_MAX)));
}

// ---- What the watcher asks a person ----

void ControlPane::Ask(const QString& text, const QString& caption, IPrompter::Buttons buttons,
                      IPrompter::Icon icon, std::function<void(int)> answer) {
    Prompter().Open(text, caption, buttons, icon, std::move(answer));
}

void ControlPane::ShowHostResponse(const QString& caption, const QString& text) {
    m_openWindows.removeAll(nullptr);
    m_openWindows.append(ShowOutputData(this, caption, text));
}

void ControlPane::AskCredentials(const QString& server, const QString& realm,
                                 UserQuestions::CredentialsAnswer answer) {
    m_openWindows.removeAll(nullptr);
    m_openWindows.append(AskForCredentials(this, server, realm, std::move(answer)));
}

bool ControlPane::IsShown() const {
    return window()->isVisible();
}

}  // namespace qv
