// Quorvane: lists the machine's IPv4 addresses, watches the ticked one and forwards its changes.

#include <QApplication>

#include <cstdio>
#include <cstring>

#include "platform/CoreDumps.h"
#include "shell/Application.h"

namespace {

const char kUsage[] =
    "usage: quorvane [Qt options]\n"
    "       quorvane --help | --version\n"
    "Lists this machine's addresses, watches the ticked one and forwards its changes to your web\n"
    "host. Closing the window keeps it running in the notification area.\n"
    "exit status: 0 shut down (or another copy was running), 1 failed to start or lost the\n"
    "display, 2 wrong usage\n";

}  // namespace

int main(int argc, char* argv[]) {
    qv::KeepSecretsOutOfCoreDumps();  // before any password is read
    // Answered before any display is opened.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorvane %s\n", QV_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    // Qt has taken its own options out of argv; anything left is not ours either.
    if (argc > 1) {
        std::fprintf(stderr, "quorvane: unknown argument '%s'\n%s", argv[1], kUsage);
        return 2;
    }
    qv::Application theApp;
    if (!theApp.InitInstance()) {
        return theApp.ExitCode();
    }
    return theApp.ExitInstance(app.exec());
}
