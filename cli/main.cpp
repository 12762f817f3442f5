// quorvane-cli: Quorvane's core from a terminal. Usage: quorvane-cli <command> [options]
#include "cli/Commands.h"
#include "cli/Headless.h"
#include "platform/CoreDumps.h"
#include "settings/SettingsRecord.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>

#include <cstdio>
#include <cstring>

namespace {

struct Command {
    const char* name;
    const char* help;
    int (*run)(const QStringList& args);
};

const Command kCommands[] = {
    {"list", "one full refresh; prints one tab-separated line per address",
     [](const QStringList&) {
         // The program's own settings file, so the stored selection and options apply.
         const auto profile = qv::OpenSettings();
         return qv::ListCommand(*profile, stdout, stderr);
     }},
    {"watch", "[--address A | --interface NAME] forward each change of the ticked address",
     [](const QStringList& args) { return qv::WatchCommand(args, stdout, stderr); }},
    {"send", "forward the ticked address once, now",
     [](const QStringList& args) { return qv::SendCommand(args, stdout, stderr); }},
    {"offline", "send the off-line notice once, now",
     [](const QStringList& args) { return qv::OfflineCommand(args, stdout, stderr); }},
};

// The usage text: on standard output when asked for, on standard error after a wrong call.
int Usage(std::FILE* to, int status) {
    std::fputs(
        "usage: quorvane-cli <command> [options]\n"
        "       quorvane-cli --help | --version\n"
        "commands:\n",
        to);
    for (const Command& c : kCommands) {
        std::fprintf(to, "  %-8s %s\n", c.name, c.help);
    }
    std::fputs(
        "exit status: 0 done, 1 failed (the host was not reached or refused), 2 wrong usage or "
        "settings that cannot work, 3 another copy of Quorvane runs for these settings\n",
        to);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    qv::KeepSecretsOutOfCoreDumps();  // before any password is read
    if (argc < 2) {
        return Usage(stderr, qv::kCliUsage);
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return Usage(stdout, qv::kCliOk);
        }
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorvane-cli %s\n", QV_VERSION);
        return qv::kCliOk;
    }
    // The event loop that the reverse look-ups and the watcher run on.
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(2);
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            return c.run(args);
        }
    }
    std::fprintf(stderr, "quorvane-cli: unknown command '%s'\n", argv[1]);
    return Usage(stderr, qv::kCliUsage);
}
