#include "shell/Application.h"

#include <QApplication>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "platform/Prompter.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "resources/Icons.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "settings/SettingsRecord.h"
#include "shell/DisplayLoss.h"
#include "shell/HelpPath.h"
#include "shell/MainWindow.h"
#include "shell/ToolTips.h"
#include "views/ControlPane.h"
#include "views/MessageBoxPrompter.h"
#include "watch/WatcherClient.h"
#include "watch/WatcherService.h"

namespace qv {
namespace {

// How long a window waits for a stopping watcher to let its lock go: tries, and the pause
// between them.
constexpr int kTakeOverTries = 25;
constexpr int kTakeOverPauseMs = 200;

}  // namespace

Application::Application() : Application(Options()) {}

Application::Application(Options options) : m_options(std::move(options)) {}

Application::~Application() {
    if (m_frame) {
        m_frame->ShutDown();
    }
    m_displayLoss.reset();
    m_signals.reset();
    m_service.reset();
    m_frame.reset();
    m_client.reset();
    if (m_prompter) {
        SetPrompter(nullptr);
    }
}

bool Application::InitInstance() {
    SetUpProcess();
    if (!ClaimInstance()) {
        return false;
    }
    BuildWindow();
    if (m_endRequested) {
        m_exitCode = 0;  // a terminating signal came while a start-up box was open
        return false;
    }
    ShowWindow();
    ConnectSessionEvents();
    return true;
}

// Names, icon, the road out and the prompter: what every start needs before a box can open.
void Application::SetUpProcess() {
    // The settings root: Calvort/Quorvane.
    QCoreApplication::setOrganizationName(QStringLiteral("Calvort"));
    QCoreApplication::setApplicationName(LoadString(Text::AppTitle));
    // The program lives on behind its icon when its last window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(AppIcon());

    // One road out: a terminating signal (from here on, before any box can open), the session's
    // end, the display's loss and Shut Down.
    m_signals = std::make_unique<TerminationSignals>();
    QObject::connect(m_signals.get(), &TerminationSignals::Received, m_signals.get(),
                     [this] { OnTerminationSignal(); });
    m_displayLoss = std::make_unique<DisplayLoss>([this] { OnDisplayLost(); });

    if (m_options.messageBoxes) {
        m_prompter = std::make_unique<MessageBoxPrompter>();
        SetPrompter(m_prompter.get());
    }
}

// One copy per user, attached to a running watcher where there is one; false, after the box that
// says why, when this copy ends here.
bool Application::ClaimInstance() {
    // One copy per user: a later copy brings this one's window forward and ends.
    m_instance = std::make_unique<SingleInstance>(
        m_options.instanceFolder.isEmpty() ? InstanceFolder() : m_options.instanceFolder);
    switch (m_instance->Claim()) {
        case SingleInstance::Second:
            if (m_instance->OtherIsWatcher()) {
                // A watcher without a window forwards for these settings: the window shows its
                // work and sends it commands over the session bus.
                m_client = std::make_unique<WatcherClient>();
                if (m_client->Attach()) {
                    break;
                }
                m_client.reset();
                Prompter().MessageBox(
                    QStringLiteral("Quorvane already runs without a window (quorvane-cli watch) "
                                   "and forwards for these settings. Stop it first, e.g. with "
                                   "\"systemctl --user stop quorvane-watch\"."),
                    LoadString(Text::AppTitle), IPrompter::Ok, IPrompter::Information);
                m_exitCode = 1;
                return false;
            }
            m_exitCode = 0;
            return false;
        case SingleInstance::Failed:
            Prompter().MessageBox(m_instance->ErrorText(), LoadString(Text::AppTitle),
                                  IPrompter::Ok, IPrompter::Critical);
            m_exitCode = 1;
            return false;
        case SingleInstance::First:
            break;
    }
    if (const QString unusable = SettingsFileUnusable(); !unusable.isEmpty()) {
        Prompter().MessageBox(unusable, LoadString(Text::AppTitle), IPrompter::Ok,
                              IPrompter::Critical);
        m_exitCode = 1;
        return false;
    }
    return true;
}

void Application::BuildWindow() {
    UseFastTipTiming();

    // The frame with the splitter, both views on the pane's list, and the tray icon.
    m_frame = std::make_unique<MainWindow>(m_options.machine);
    if (m_prompter) {
        m_prompter->SetOwner(m_frame.get());
    }
    m_frame->SetHelpPath(
        RewriteHelpExtension(FindHelpFile(QCoreApplication::applicationDirPath())));
    if (m_client) {
        m_frame->CtrlView()->AttachTo(*m_client);
        QObject::connect(m_client.get(), &WatcherClient::Gone, m_frame.get(),
                         [this] { TakeOver(kTakeOverTries); });
    } else {
        OfferWatcher();
    }
    m_frame->OnInitialUpdate();
}

void Application::ShowWindow() {
    m_hideOnStartup = m_frame->CtrlView()->HideOnStartup();
    // Hidden only behind an icon: without a notification area the window is the only way in.
    if (!m_hideOnStartup || !m_frame->Tray().IsShown()) {
        m_frame->show();
    }

    QObject::connect(m_instance.get(), &SingleInstance::ActivationRequested, m_frame.get(),
                     [frame = m_frame.get()] { frame->OnCommand(kCmdOpen); });
}

void Application::ConnectSessionEvents() {
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, m_frame.get(),
                     [frame = m_frame.get()] { frame->ShutDown(); });
    // The session manager asks for the data before a log-out: keep the settings now, in case
    // the session ends without another word.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, m_frame.get(),
                     [this](QSessionManager&) {
                         ControlPane* pane = m_frame->CtrlView();
                         if (pane->IsAttached()) {
                             pane->Saver().Flush();  // only the user's edits
                         } else {
                             SaveSettings(pane->Settings(), pane->HideOnStartup());
                         }
                     });
}

// Offered for `quorvane-cli status` and for a window started later.
void Application::OfferWatcher() {
    m_service = std::make_unique<WatcherService>(m_frame->CtrlView()->Watcher());
    if (QDBusConnection::sessionBus().isConnected()) {
        m_service->Offer([](const QString& text) { qWarning("Quorvane: %s", qPrintable(text)); });
    }
}

void Application::TakeOver(int triesLeft) {
    if (m_frame->IsShutDown()) {
        return;
    }
    if (m_instance->TakeFreedLock()) {
        m_frame->CtrlView()->Detach(true);
        OfferWatcher();
        return;
    }
    if (triesLeft > 1) {
        // The watcher leaves the bus first and lets the lock go as its process ends.
        QTimer::singleShot(kTakeOverPauseMs, m_frame.get(),
                           [this, triesLeft] { TakeOver(triesLeft - 1); });
        return;
    }
    m_frame->CtrlView()->Detach(false);
}

void Application::OnTerminationSignal() {
    m_endRequested = true;
    if (m_frame) {
        m_frame->ExitProgram();
    }
    // Also ends the local loop of a box still open at start-up.
    QCoreApplication::exit(0);
}

void Application::OnDisplayLost() {
    qWarning("Quorvane: the display is gone: shutting down");
    // Every event loop ends now and none runs again (Qt would end the process in it at once):
    // a transfer of the shutdown then waits for its own end instead of serving events.
    QCoreApplication::exit(0);
    if (m_frame) {
        m_frame->ShutDown();
    }
    std::fflush(nullptr);
    std::exit(0);
}

int Application::ExitInstance(int loopResult) {
    if (m_frame) {
        m_frame->ShutDown();
    }
    return loopResult;
}

}  // namespace qv
