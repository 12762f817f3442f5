// Quorvane: lists the machine's IPv4 addresses, watches the ticked one and forwards its changes.

#include <QApplication>

#include <cstdlib>

#include "shell/CMainFrame.h"
#include "shell/CQuorvaneApp.h"
#include "views/CInfoCtrlView.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qv::CQuorvaneApp theApp;
    if (!theApp.InitInstance()) {
        return theApp.ExitCode();
    }
    // QV_POLL_MINUTE_MS shortens the polling minute, for tests that cannot wait minutes.
    if (const char* minute = std::getenv("QV_POLL_MINUTE_MS")) {
        theApp.Frame()->CtrlView()->SetMinuteMs(std::atoi(minute));
    }
    return theApp.ExitInstance(app.exec());
}
