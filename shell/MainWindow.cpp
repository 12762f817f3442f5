#include "shell/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QUrl>

#include "network/AddressList.h"
#include "platform/Prompter.h"
#include "resources/Icons.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "settings/SettingsRecord.h"
#include "shell/AboutDialog.h"
#include "shell/Menus.h"
#include "shell/ToolTips.h"
#include "views/AddressListView.h"
#include "views/ControlPane.h"
#include "views/PaneCommand.h"
#include "watch/DocAdapter.h"

namespace qv {
namespace {

constexpr int kStrReady = 57345;
constexpr int kStrShutDownQuestion = 132;
constexpr int kStrListTip = 176;
constexpr int kCmdAppAbout = 57664;
constexpr int kCmdHelpContents = 57670;
constexpr int kListIdealHeight = 150;
constexpr int kListMinHeight = 15;

bool IsWithin(const QWidget* widget, const QWidget* area) {
    return widget && area && (widget == area || area->isAncestorOf(widget));
}

}  // namespace

MainWindow::MainWindow(AddressList& doc, QWidget* parent)
    : QMainWindow(parent),
      m_doc(doc),
      m_pDocAdapter(std::make_unique<DocAdapter>(doc)),
      m_tray(kTrayIconId) {
    setWindowTitle(LoadString(kStrAppTitle));
    setWindowIcon(AppIcon());

    // Client area: the list on top, the control pane below.
    m_pSplitter = new QSplitter(Qt::Vertical, this);
    m_pInfoView = new AddressListView(m_pSplitter);
    m_pInfoView->setMinimumHeight(kListMinHeight);
    m_pCtrlView = new ControlPane(m_pSplitter);
    m_pSplitter->addWidget(m_pInfoView);
    m_pSplitter->addWidget(m_pCtrlView);
    m_pSplitter->setStretchFactor(0, 0);
    m_pSplitter->setStretchFactor(1, 1);
    setCentralWidget(m_pSplitter);

    m_pInfoView->SetDocument(m_pDocAdapter.get());
    m_pCtrlView->SetDocument(m_pDocAdapter.get());
    m_pCtrlView->SetInfoView(m_pInfoView);
    m_pCtrlView->SetNoticeBox(&m_notice);
    m_pCtrlView->SetTrayAddressHandler([this](const QString& a) { SetTrayAddress(a); });
    m_pCtrlView->SetControlTipHandler([this](QWidget* control, int id, const QPoint& pos) {
        RequestControlTip(control, id, pos);
    });
    m_doc.SetHost(&m_pCtrlView->Watcher());

    CreateMenus();
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_F6), QKeySequence(Qt::SHIFT | Qt::Key_F6)}) {
        auto* pane = new QAction(this);
        pane->setShortcut(key);
        pane->setShortcutContext(Qt::WindowShortcut);
        connect(pane, &QAction::triggered, this, &MainWindow::OnNextPane);
        addAction(pane);
    }

    // The status bar: command prompts while the pointer is on a menu item, else "Ready".
    QStatusBar* status = statusBar();
    connect(status, &QStatusBar::messageChanged, this, [status](const QString& text) {
        if (text.isEmpty()) {
            status->showMessage(LoadString(kStrReady));
        }
    });
    status->showMessage(LoadString(kStrReady));

    // The notification-area icon, with the placeholder address until a row is selected.
    m_trayIcon = TrayIconImage();
    connect(&m_tray, &TrayIcon::Command, this, &MainWindow::OnCommand);
    SetTrayAddress(LoadString(kStrPlaceholderIp));

    // Tool tips of every window of the program pass through the frame (fast-tips switch).
    qApp->installEventFilter(this);

    resize(kWidth, kHeight);
    m_pSplitter->setSizes({kListIdealHeight, kHeight});
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    m_doc.SetHost(nullptr);
    m_pCtrlView->SetNoticeBox(nullptr);  // the pane outlives m_notice
}

void MainWindow::CreateMenus() {
    const auto connectCommand = [this](QAction* action) {
        const int command = CommandOf(action);
        connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
        return action;
    };

    // Window managers offer no way to add an item to a window's own menu: Shut Down has its
    // place in the menu bar, with the usual key.
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* shutDown =
        connectCommand(AddCommand(file, QStringLiteral("Shut &Down Quorvane"), kCmdShutDownSys));
    shutDown->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    shutDown->setShortcutContext(Qt::ApplicationShortcut);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    for (QAction* action : m_pInfoView->ColumnActions()) {
        view->addAction(action);
    }
    view->addSeparator();
    QAction* statusBarItem = AddCommand(view, QStringLiteral("&Status Bar"), kCmdStatusBar);
    statusBarItem->setCheckable(true);
    statusBarItem->setChecked(true);
    connect(statusBarItem, &QAction::toggled, statusBar(), &QWidget::setVisible);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    connectCommand(AddCommand(help, QStringLiteral("&Contents and Index"), kCmdHelpContents))
        ->setShortcut(QKeySequence::HelpContents);
    QAction* fastTips =
        connectCommand(AddCommand(help, QStringLiteral("&Fast Tips"), kCmdFastTips));
    fastTips->setCheckable(true);
    fastTips->setChecked(false);
    help->addSeparator();
    connectCommand(AddCommand(help, QStringLiteral("&About Quorvane..."), kCmdAppAbout));
}

QAction* MainWindow::CommandAction(int command) const {
    for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
        for (QAction* action : menu->actions()) {
            if (CommandOf(action) == command) {
                return action;
            }
        }
    }
    return nullptr;
}

void MainWindow::OnInitialUpdate() {
    m_pInfoView->OnInitialUpdate();
    m_pCtrlView->OnInitialUpdate();
}

void MainWindow::OnCommand(int command) {
    switch (command) {
        case kCmdOpen:
            showNormal();
            raise();
            activateWindow();
            break;
        case kCmdTrayManualSend:
            PostPaneCommand(m_pCtrlView, kCmdManualSend);
            break;
        case kCmdAbout:
        case kCmdAppAbout:
            ShowAbout();
            break;
        case kCmdShutDown:
        case kCmdShutDownSys:
            OnShutDownCommand();
            break;
        case kCmdHelpContents:
            OnHelpContents();
            break;
        case kCmdFastTips:
            m_fastTips = m_fastTips ? 0 : 1;
            if (QAction* item = CommandAction(kCmdFastTips)) {
                item->setChecked(m_fastTips != 0);
            }
            break;
        default:
            break;
    }
}

void MainWindow::OnNextPane() {
    QWidget* pane = IsWithin(QApplication::focusWidget(), m_pInfoView)
                        ? static_cast<QWidget*>(m_pCtrlView)
                        : static_cast<QWidget*>(m_pInfoView);
    // The pane itself when it takes the focus (the list), else its first control that does.
    const auto takesFocus = [pane](QWidget* w) {
        return IsWithin(w, pane) && (w->focusPolicy() & Qt::TabFocus) && w->isVisible() &&
               w->isEnabled();
    };
    QWidget* target = pane;
    while (!takesFocus(target)) {
        target = target->nextInFocusChain();
        if (target == pane) {
            return;
        }
    }
    target->setFocus(Qt::ShortcutFocusReason);
}

void MainWindow::OnShutDownCommand() {
    if (m_bAsking || m_bExiting) {
        return;  // the question is already open
    }
    m_bAsking = true;
    const int answer =
        Prompter().MessageBox(LoadString(kStrShutDownQuestion), LoadString(kStrAppTitle),
                              IPrompter::YesNo, IPrompter::NoIcon);
    m_bAsking = false;
    if (answer == IPrompter::AnswerYes) {
        ExitProgram();
    }
}

void MainWindow::ExitProgram() {
    if (m_bExiting) {
        return;
    }
    m_bExiting = true;
    ShutDown();
    hide();
    QCoreApplication::quit();
}

void MainWindow::ShutDown() {
    if (m_bShutDown) {
        return;
    }
    m_bShutDown = true;
    m_doc.OnCloseDocument();
    m_pInfoView->OnDestroy();
    m_pCtrlView->OnDestroy();
    m_tray.UpdateIcon(QIcon());
    RestrictSettingsFile();
}

void MainWindow::SetTrayAddress(const QString& address) {
    m_tray.UpdateIcon(m_trayIcon, TrayAddressTip(address));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_bExiting) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_tray.IsShown()) {
        hide();  // the program goes on behind its icon
        return;
    }
    // No notification area: a hidden window could never be reached again.
    OnShutDownCommand();
    if (m_bExiting) {
        event->accept();
    }
}

// ---- About and help ----

void MainWindow::ShowAbout() {
    if (!m_about) {
        auto* box = new AboutDialog(this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        m_about = box;
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::OnHelpContents() {
    const QString title = LoadString(kStrAppTitle);
    if (m_strHelpPath.isEmpty() || !QFileInfo(m_strHelpPath).isFile()) {
        Prompter().MessageBox(
            QStringLiteral("The help file could not be found%1.")
                .arg(m_strHelpPath.isEmpty() ? QString() : QStringLiteral(": ") + m_strHelpPath),
            title, IPrompter::Ok, IPrompter::Warning);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(m_strHelpPath))) {
        Prompter().MessageBox(
            QStringLiteral("No program could be started to show the help file %1.")
                .arg(m_strHelpPath),
            title, IPrompter::Ok, IPrompter::Warning);
    }
}

// ---- Tool tips ----

void MainWindow::RequestControlTip(QWidget* control, int controlId, const QPoint& globalPos) {
    if (m_fastTips) {
        ShowTip(control, LoadString(controlId), globalPos);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ToolTip && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (IsWithin(widget, this)) {
            if (!m_fastTips) {
                return true;  // answered, with no tip
            }
            if (IsWithin(widget, m_pInfoView)) {
                ShowTip(widget, LoadString(kStrListTip),
                        static_cast<QHelpEvent*>(event)->globalPos());
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace qv
