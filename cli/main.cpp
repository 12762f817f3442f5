// quorvane-cli: Quorvane's core from a terminal. Usage: quorvane-cli <command>
#include "cli/Commands.h"
#include "settings/InfoCtrlSettings.h"

#include <QCoreApplication>
#include <QSettings>

#include <cstdio>
#include <cstring>

namespace {

struct Command {
    const char* name;
    const char* help;
    int (*run)(QSettings& profile);
};

const Command kCommands[] = {
    {"list", "one full refresh; prints one tab-separated line per address",
     [](QSettings& profile) { return qv::ListCommand(profile, stdout, stderr); }},
};

int Usage() {
    std::fputs("usage: quorvane-cli <command>\ncommands:\n", stderr);
    for (const Command& c : kCommands) {
        std::fprintf(stderr, "  %-6s %s\n", c.name, c.help);
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return Usage();
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            // The event loop that the reverse look-ups are answered on.
            QCoreApplication app(argc, argv);
            // The program's own settings file, so the stored selection and options apply.
            const auto profile = qv::OpenSettings();
            return c.run(*profile);
        }
    }
    return Usage();
}
