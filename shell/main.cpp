// Quorvane: lists the machine's IPv4 addresses, watches the ticked one and forwards its changes.

#include <QApplication>
#include <QSettings>

#include <cstdlib>
#include <memory>

#include "network/CQuorvaneDoc.h"
#include "platform/Prompter.h"
#include "settings/InfoCtrlSettings.h"
#include "shell/CMainFrame.h"
#include "views/CInfoCtrlView.h"
#include "views/MessageBoxPrompter.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Calvort"));
    QApplication::setApplicationName(QStringLiteral("Quorvane"));

    qv::MessageBoxPrompter prompter;
    qv::SetPrompter(&prompter);

    std::unique_ptr<QSettings> profile = qv::OpenSettings();
    qv::CQuorvaneDoc doc;
    doc.SetProfile(profile.get());

    qv::CMainFrame frame(doc);
    prompter.SetOwner(&frame);
    // QV_POLL_MINUTE_MS shortens the polling minute, for tests that cannot wait minutes.
    if (const char* minute = std::getenv("QV_POLL_MINUTE_MS")) {
        frame.CtrlView()->SetMinuteMs(std::atoi(minute));
    }

    doc.OnNewDocument();
    frame.OnInitialUpdate();
    frame.show();

    QObject::connect(&app, &QCoreApplication::aboutToQuit, &frame, [&] { frame.ShutDown(); });
    const int rc = app.exec();
    frame.ShutDown();
    qv::SetPrompter(nullptr);
    profile.reset();
    qv::RestrictSettingsFile();
    return rc;
}
