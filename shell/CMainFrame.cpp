#include "shell/CMainFrame.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>

#include "network/CQuorvaneDoc.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "settings/InfoCtrlSettings.h"
#include "shell/Menus.h"
#include "views/CInfoCtrlView.h"
#include "views/CInfoView.h"
#include "views/DocAdapter.h"

namespace qv {
namespace {

constexpr int kStrAppTitle = 57344;
constexpr int kStrReady = 57345;
constexpr int kStrTrayTip = 150;
constexpr int kStrNoAddress = 115;
constexpr int kListIdealHeight = 150;
constexpr int kListMinHeight = 15;
constexpr int kFrameWidth = 825;
constexpr int kFrameHeight = 540;

}  // namespace

CMainFrame::CMainFrame(CQuorvaneDoc& doc, QWidget* parent)
    : QMainWindow(parent), m_doc(doc), m_pDocAdapter(std::make_unique<DocAdapter>(doc)) {
    setWindowTitle(LoadString(kStrAppTitle));

    m_pSplitter = new QSplitter(Qt::Vertical, this);
    m_pInfoView = new CInfoView(m_pSplitter);
    m_pInfoView->setMinimumHeight(kListMinHeight);
    m_pCtrlView = new CInfoCtrlView(m_pSplitter);
    m_pSplitter->addWidget(m_pInfoView);
    m_pSplitter->addWidget(m_pCtrlView);
    m_pSplitter->setStretchFactor(0, 0);
    m_pSplitter->setStretchFactor(1, 1);
    setCentralWidget(m_pSplitter);

    m_pInfoView->SetDocument(m_pDocAdapter.get());
    m_pCtrlView->SetDocument(m_pDocAdapter.get());
    m_pCtrlView->SetInfoView(m_pInfoView);
    m_pCtrlView->SetTrayAddressHandler([this](const QString& a) { SetTrayAddress(a); });
    m_doc.SetHost(m_pCtrlView);

    // The idle text stands in the status bar whenever no prompt does.
    QStatusBar* status = statusBar();
    connect(status, &QStatusBar::messageChanged, this, [status](const QString& text) {
        if (text.isEmpty()) {
            status->showMessage(LoadString(kStrReady));
        }
    });
    status->showMessage(LoadString(kStrReady));

    CreateMenus();
    SetTrayAddress(LoadString(kStrNoAddress));

    resize(kFrameWidth, kFrameHeight);
    m_pSplitter->setSizes({kListIdealHeight, kFrameHeight});
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

CMainFrame::~CMainFrame() {
    m_doc.SetHost(nullptr);
}

void CMainFrame::CreateMenus() {
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    for (QAction* action : m_pInfoView->ColumnActions()) {
        view->addAction(action);
    }
    view->addSeparator();
    QAction* statusBarItem = AddCommand(view, QStringLiteral("&Status Bar"), kCmdStatusBar);
    statusBarItem->setCheckable(true);
    statusBarItem->setChecked(true);
    connect(statusBarItem, &QAction::toggled, statusBar(), &QWidget::setVisible);
}

void CMainFrame::OnInitialUpdate() {
    m_pInfoView->OnInitialUpdate();
    m_pCtrlView->OnInitialUpdate();
}

void CMainFrame::ShutDown() {
    if (m_bShutDown) {
        return;
    }
    m_bShutDown = true;
    m_doc.OnCloseDocument();
    m_pInfoView->OnDestroy();
    m_pCtrlView->OnDestroy();
    RestrictSettingsFile();
}

void CMainFrame::SetTrayAddress(const QString& address) {
    m_strTrayTip = LoadString(kStrTrayTip).replace(QLatin1String("%s"), address);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Until the program lives in the notification area, closing the window ends it.
    ShutDown();
    event->accept();
}

}  // namespace qv
