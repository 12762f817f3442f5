#include "shell/Application.h"

#include <QApplication>
#include <QSessionManager>
#include <QSettings>

#include <cstdio>
#include <cstdlib>

#include "network/AddressList.h"
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

namespace qv {

Application::Application() : Application(Options()) {}

Application::Application(Options options) : m_options(std::move(options)) {}

Application::~Application() {
    if (m_pFrame) {
        m_pFrame->ShutDown();
    }
    m_pDisplayLoss.reset();
    m_pSignals.reset();
    m_pFrame.reset();
    m_pDoc.reset();
    if (m_pPrompter) {
        SetPrompter(nullptr);
    }
    m_pProfile.reset();
}

bool Application::InitInstance() {
    // The settings root: Calvort/Quorvane.
    QCoreApplication::setOrganizationName(QStringLiteral("Calvort"));
    QCoreApplication::setApplicationName(LoadString(kStrAppTitle));
    // The program lives on behind its icon when its last window closes.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(AppIcon());

    // One road out: a terminating signal (from here on, before any box can open), the session's
    // end, the display's loss and Shut Down.
    m_pSignals = std::make_unique<TerminationSignals>();
    QObject::connect(m_pSignals.get(), &TerminationSignals::Received, m_pSignals.get(),
                     [this] { OnTerminationSignal(); });
    m_pDisplayLoss = std::make_unique<DisplayLoss>([this] { OnDisplayLost(); });

    if (m_options.messageBoxes) {
        m_pPrompter = std::make_unique<MessageBoxPrompter>();
        SetPrompter(m_pPrompter.get());
    }

    // One copy per user: a later copy brings this one's window forward and ends.
    m_pInstance = std::make_unique<SingleInstance>(
        m_options.instanceFolder.isEmpty() ? InstanceFolder() : m_options.instanceFolder);
    switch (m_pInstance->Claim()) {
        case SingleInstance::Second:
            if (m_pInstance->OtherIsWatcher()) {
                // A watcher without a window forwards for these settings: one copy at a time.
                Prompter().MessageBox(
                    QStringLiteral("Quorvane already runs without a window (quorvane-cli watch) "
                                   "and forwards for these settings. Stop it first, e.g. with "
                                   "\"systemctl --user stop quorvane-watch\"."),
                    LoadString(kStrAppTitle), IPrompter::Ok, IPrompter::Information);
                m_nExitCode = 1;
                return false;
            }
            m_nExitCode = 0;
            return false;
        case SingleInstance::Failed:
            Prompter().MessageBox(m_pInstance->ErrorText(), LoadString(kStrAppTitle), IPrompter::Ok,
                                  IPrompter::Critical);
            m_nExitCode = 1;
            return false;
        case SingleInstance::First:
            break;
    }

    UseFastTipTiming();

    // The document, then the frame with the splitter, both views and the tray icon.
    m_pProfile = OpenSettings();
    m_pDoc = std::make_unique<AddressList>(
        nullptr, m_options.tables ? *m_options.tables : DefaultNetTables(),
        m_options.resolver ? *m_options.resolver : DefaultResolver(), DefaultClock(),
        m_options.publicQueries ? *m_options.publicQueries : DefaultPublicAddressQueries());
    m_pDoc->SetProfile(m_pProfile.get());
    m_pFrame = std::make_unique<MainWindow>(*m_pDoc);
    if (m_pPrompter) {
        m_pPrompter->SetOwner(m_pFrame.get());
    }
    m_pFrame->SetHelpPath(
        RewriteHelpExtension(FindHelpFile(QCoreApplication::applicationDirPath())));
    m_pDoc->OnNewDocument();
    m_pFrame->OnInitialUpdate();
    if (m_bEndRequested) {
        m_nExitCode = 0;  // a terminating signal came while a start-up box was open
        return false;
    }

    m_nHideOnStartup = m_pFrame->CtrlView()->HideOnStartup();
    // Hidden only behind an icon: without a notification area the window is the only way in.
    if (!m_nHideOnStartup || !m_pFrame->Tray().IsShown()) {
        m_pFrame->show();
    }

    QObject::connect(m_pInstance.get(), &SingleInstance::ActivationRequested, m_pFrame.get(),
                     [frame = m_pFrame.get()] { frame->OnCommand(kCmdOpen); });

    QObject::connect(qApp, &QCoreApplication::aboutToQuit, m_pFrame.get(),
                     [frame = m_pFrame.get()] { frame->ShutDown(); });
    // The session manager asks for the data before a log-out: keep the settings now, in case
    // the session ends without another word.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, m_pFrame.get(),
                     [this](QSessionManager&) {
                         ControlPane* pane = m_pFrame->CtrlView();
                         SaveSettings(pane->Settings(), pane->HideOnStartup());
                     });
    return true;
}

void Application::OnTerminationSignal() {
    m_bEndRequested = true;
    if (m_pFrame) {
        m_pFrame->ExitProgram();
    }
    // Also ends the local loop of a box still open at start-up.
    QCoreApplication::exit(0);
}

void Application::OnDisplayLost() {
    qWarning("Quorvane: the display is gone: shutting down");
    // Every event loop ends now and none runs again (Qt would end the process in it at once):
    // a transfer of the shutdown then waits for its own end instead of serving events.
    QCoreApplication::exit(0);
    if (m_pFrame) {
        m_pFrame->ShutDown();
    }
    std::fflush(nullptr);
    std::exit(0);
}

int Application::ExitInstance(int loopResult) {
    if (m_pFrame) {
        m_pFrame->ShutDown();
    }
    return loopResult;
}

}  // namespace qv
