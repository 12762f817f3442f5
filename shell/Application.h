#pragma once

#include <QString>

#include <memory>

#include "watch/WatchCore.h"

namespace qv {

class MainWindow;
class DisplayLoss;
class MessageBoxPrompter;
class SingleInstance;
class TerminationSignals;
class WatcherClient;
class WatcherService;

// The application object: one copy per user, the settings root, the document with its main
// frame and views, the help page, and the one shutdown road for Shut Down, SIGTERM/SIGINT/SIGHUP,
// the end of the desktop session and the loss of the display. Lives for the whole run, around
// the event loop.
class Application {
  public:
    struct Options {
        WatchServices machine;     // the list's tables, name service, router and echo page
        QString instanceFolder;    // the runtime folder when empty
        bool messageBoxes = true;  // install the window prompter (tests install their own)
    };

    Application();
    explicit Application(Options options);
    ~Application();

    // Start-up. False: end the process now with ExitCode() (another copy runs, the start failed,
    // or a terminating signal came during the start).
    bool InitInstance();
    int ExitCode() const { return m_exitCode; }
    // After the event loop: the shutdown work if it has not run yet; returns `loopResult`.
    int ExitInstance(int loopResult);

    MainWindow* Frame() const { return m_frame.get(); }
    int HideOnStartup() const { return m_hideOnStartup; }

  private:
    // The steps of InitInstance.
    void SetUpProcess();
    bool ClaimInstance();
    void BuildWindow();
    void ShowWindow();
    void ConnectSessionEvents();
    // A terminating signal: the shutdown road, also while a start-up box is open.
    void OnTerminationSignal();
    // The display is gone and Qt is ending the process: the shutdown work without the event loop,
    // then the end of the process.
    void OnDisplayLost();
    // Offers the window's own watcher on the session bus, where there is one.
    void OfferWatcher();
    // The watcher the window is attached to left the bus: the window takes its lock and watches
    // itself, once the stopping watcher has let the lock go; if another copy took the lock, the
    // window stays detached.
    void TakeOver(int triesLeft);

    Options m_options;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<MessageBoxPrompter> m_prompter;
    std::unique_ptr<MainWindow> m_frame;
    std::unique_ptr<WatcherService> m_service;  // the window's own watcher on the session bus
    std::unique_ptr<WatcherClient> m_client;    // or the line to the watcher that runs elsewhere
    std::unique_ptr<TerminationSignals> m_signals;
    std::unique_ptr<DisplayLoss> m_displayLoss;
    bool m_endRequested = false;
    int m_hideOnStartup = 0;
    int m_exitCode = 0;
};

}  // namespace qv
