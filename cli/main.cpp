// quorvane-cli: Quorvane's core from a terminal. Usage: quorvane-cli <command> [options]
#include "cli/Commands.h"
#include "cli/Headless.h"
#include "settings/InfoCtrlSettings.h"

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

int Usage() {
    std::fputs("usage: quorvane-cli <command> [options]\ncommands:\n", stderr);
    for (const Command& c : kCommands) {
        std::fprintf(stderr, "  %-8s %s\n", c.name, c.help);
    }
    std::fputs(
        "exit status: 0 done, 1 the host was not reached or refused, 2 wrong command line "
        "or settings, 3 another copy runs\n",
        stderr);
    return qv::kCliUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(2);
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            return c.run(args);
        }
    }
    return Usage();
}
