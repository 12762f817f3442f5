// quorvane-cli: Quorvane's core from a terminal. Usage: quorvane-cli <command>
#include "cli/Commands.h"
#include "settings/InfoCtrlSettings.h"

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

// The usage text: on standard output when asked for, on standard error after a wrong call.
int Usage(std::FILE* to, int status) {
    std::fputs(
        "usage: quorvane-cli <command>\n"
        "       quorvane-cli --help | --version\n"
        "commands:\n",
        to);
    for (const Command& c : kCommands) {
        std::fprintf(to, "  %-6s %s\n", c.name, c.help);
    }
    std::fputs("exit status: 0 done, 1 failed, 2 wrong usage\n", to);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return Usage(stderr, 2);
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        return Usage(stdout, 0);
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorvane-cli %s\n", QV_VERSION);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            // The program's own settings file, so the stored selection and options apply.
            const auto profile = qv::OpenSettings();
            return c.run(*profile);
        }
    }
    std::fprintf(stderr, "quorvane-cli: unknown command '%s'\n", argv[1]);
    return Usage(stderr, 2);
}
