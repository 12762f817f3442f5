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

namespace qv {
namespace {

constexpr int kCmdAppAbout = 57664;
constexpr int kCmdHelpContents = 57670;
constexpr int kListIdealHeight = 150;
constexpr int kListMinHeight = 15;
// The window's size and place at the last shutdown (section "Settings").
const char* const kGeometryKey = "WindowGeometry";

bool IsWithin(const QWidget* widget, const QWidget* area) {
    return widget && area && (widget == area || area->isAncestorOf(widget));
}

}  // namespace

MainWindow::MainWindow(WatchServices services, QWidget* parent)
    : QMainWindow(parent), m_tray(kTrayIconId) {
    setWindowTitle(LoadString(Text::AppTitle));
    setWindowIcon(AppIcon());

    // Client area: the list on top, the control pane below.
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_infoView = new AddressListView(m_splitter);
    m_infoView->setMinimumHeight(kListMinHeight);
    m_ctrlView = new ControlPane(m_splitter, services);
    m_splitter->addWidget(m_infoView);
    m_splitter->addWidget(m_ctrlView);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);

    m_infoView->SetDocument(&m_ctrlView->Core().Document());
    m_ctrlView->SetInfoView(m_infoView);
    m_ctrlView->SetNoticeBox(&m_notice);
    m_ctrlView->SetTrayAddressHandler([this](const QString& a) { SetTrayAddress(a); });
    m_ctrlView->SetControlTipHandler([this](QWidget* control, int id, const QPoint& pos) {
        RequestControlTip(control, id, pos);
    });

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
            status->showMessage(LoadString(Text::Ready));
        }
    });
    status->showMessage(LoadString(Text::Ready));

    // The notification-area icon, with the placeholder address until a row is selected.
    m_trayIcon = TrayIconImage();
    connect(&m_tray, &TrayIcon::Command, this, &MainWindow::OnCommand);
    SetTrayAddress(LoadString(Text::PlaceholderAddress));

    // Tool tips of every window of the program pass through the frame (fast-tips switch).
    qApp->installEventFilter(this);

    resize(kWidth, kHeight);
    m_splitter->setSizes({kListIdealHeight, kHeight});
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    m_ctrlView->SetNoticeBox(nullptr);  // the pane outlives m_notice
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
    for (QAction* action : m_infoView->ColumnActions()) {
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
    // The size and place the window had when the program last ended; else the first-start ones.
    const QByteArray geometry = LoadWindowState(QLatin1String(kGeometryKey)).toByteArray();
    if (!geometry.isEmpty()) {
        restoreGeometry(geometry);
    }
    m_infoView->OnInitialUpdate();
    m_ctrlView->OnInitialUpdate();
}

void MainWindow::OnCommand(int command) {
    switch (command) {
        case kCmdOpen:
            showNormal();
            raise();
            activateWindow();
            break;
        case kCmdTrayManualSend:
            PostPaneCommand(m_ctrlView, Command::ManualSend);
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
    QWidget* pane = IsWithin(QApplication::focusWidget(), m_infoView)
                        ? static_cast<QWidget*>(m_ctrlView)
                        : static_cast<QWidget*>(m_infoView);
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
    if (m_asking || m_exiting) {
        return;  // the question is already open
    }
    m_asking = true;
    Prompter().Open(LoadString(Text::ShutDownQuestion), LoadString(Text::AppTitle),
                    IPrompter::YesNo, IPrompter::NoIcon,
                    [window = QPointer<MainWindow>(this)](int answer) {
                        if (!window) {
                            return;
                        }
                        window->m_asking = false;
                        if (answer == IPrompter::AnswerYes) {
                            window->ExitProgram();
                        }
                    });
}

void MainWindow::ExitProgram() {
    if (m_exiting) {
        return;
    }
    m_exiting = true;
    ShutDown();
    hide();
    QCoreApplication::quit();
}

void MainWindow::ShutDown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    m_ctrlView->Core().List().OnCloseDocument();
    StoreWindowState({{QLatin1String(kGeometryKey), saveGeometry()}});
    m_infoView->OnDestroy();
    m_ctrlView->OnDestroy();
    m_tray.UpdateIcon(QIcon());
    RestrictSettingsFile();
}

void MainWindow::SetTrayAddress(const QString& address) {
    m_tray.UpdateIcon(m_trayIcon, TrayAddressTip(address));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_exiting) {
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
    if (m_exiting) {
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
    const QString title = LoadString(Text::AppTitle);
    if (m_helpPath.isEmpty() || !QFileInfo(m_helpPath).isFile()) {
        Prompter().Open(
            QStringLiteral("The help file could not be found%1.")
                .arg(m_helpPath.isEmpty() ? QString() : QStringLiteral(": ") + m_helpPath),
            title, IPrompter::Ok, IPrompter::Warning, {});
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(m_helpPath))) {
        Prompter().Open(
            QStringLiteral("No program could be started to show the help file %1.").arg(m_helpPath),
            title, IPrompter::Ok, IPrompter::Warning, {});
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
            if (IsWithin(widget, m_infoView)) {
                ShowTip(widget, LoadString(Text::ListTip),
                        static_cast<QHelpEvent*>(event)->globalPos());
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace qv
