// quorvane-cli: Quorvane's core from a terminal. Usage: quorvane-cli <command> [options]
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/ConsoleOutput.h"
#include "cli/Headless.h"
#include "cli/StatusCommand.h"
#include "platform/CoreDumps.h"
#include "settings/SettingsRecord.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

struct Command {
    const char* name;
    const char* synopsis;  // its options, for the usage line
    const char* help;
    std::initializer_list<qv::KnownOption> options;
    int (*run)(const qv::Arguments& args, qv::ConsoleOutput& say);
};

const Command kCommands[] = {
    {"list",
     "[--json | --header]",
     "one full refresh; prints one tab-separated line per address",
     {{"--json"}, {"--header"}},
     [](const qv::Arguments& args, qv::ConsoleOutput& say) {
         // The program's own settings file, so the stored selection and options apply.
         const auto profile = qv::OpenSettings();
         return qv::ListCommand(*profile, args, stdout, say);
     }},
    {"watch",
     "[--once] [--address A | --interface NAME]",
     "forward each change of the ticked address (--once: one check)",
     {{"--once"}, {"--address", true}, {"--interface", true}},
     [](const qv::Arguments& args, qv::ConsoleOutput& say) { return qv::WatchCommand(args, say); }},
    {"check",
     "[--probe]",
     "say what forwarding would do with the settings (--probe: try the connection)",
     {{"--probe"}},
     [](const qv::Arguments& args, qv::ConsoleOutput& say) {
         return qv::CheckCommand(args, stdout, say);
     }},
    {"status",
     "[--json]",
     "the running watcher's state (--json: as a JSON object)",
     {{"--json"}},
     [](const qv::Arguments& args, qv::ConsoleOutput& say) {
         return qv::StatusCommand(args, stdout, say);
     }},
    {"send",
     "",
     "forward the ticked address once, now",
     {},
     [](const qv::Arguments&, qv::ConsoleOutput& say) { return qv::SendCommand(say); }},
    {"offline",
     "",
     "send the off-line notice once, now",
     {},
     [](const qv::Arguments&, qv::ConsoleOutput& say) { return qv::OfflineCommand(say); }},
};

const char kCommonOptions[] = "[-q | -v]";

void CommandUsage(std::FILE* to, const Command& c) {
    std::fprintf(to, "usage: quorvane-cli %s %s%s%s\n", c.name, kCommonOptions,
                 *c.synopsis ? " " : "", c.synopsis);
}

// The usage text: on standard output when asked for, on standard error after a wrong call.
int Usage(std::FILE* to, int status) {
    std::fputs(
        "usage: quorvane-cli <command> [-q | -v] [options]\n"
        "       quorvane-cli <command> --help\n"
        "       quorvane-cli --help | --version\n"
        "commands:\n",
        to);
    for (const Command& c : kCommands) {
        std::fprintf(to, "  %-8s %s\n", c.name, c.help);
    }
    std::fputs(
        "  -q: failures only; -v: each check and step. Data goes to standard output, messages to "
        "standard error\n"
        "exit status: 0 done, 1 failed (the host was not reached or refused), 2 wrong usage or "
        "settings that cannot work, 3 another copy of Quorvane runs for these settings (status: no "
        "watcher runs)\n",
        to);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    qv::KeepSecretsOutOfCoreDumps();  // before any password is read
    if (argc < 2) {
        return Usage(stderr, qv::kCliUsage);
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        return Usage(stdout, qv::kCliOk);
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("quorvane-cli %s\n", QV_VERSION);
        return qv::kCliOk;
    }
    // The event loop that the reverse look-ups and the watcher run on.
    QCoreApplication app(argc, argv);
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) != 0) {
            continue;
        }
        QString error;
        const auto args =
            qv::ParseArguments(QCoreApplication::arguments().mid(2), c.options, error);
        if (!args) {
            std::fprintf(stderr, "quorvane-cli: %s\n", qPrintable(error));
            CommandUsage(stderr, c);
            return qv::kCliUsage;
        }
        if (args->help) {
            CommandUsage(stdout, c);
            std::printf("%s\n", c.help);
            return qv::kCliOk;
        }
        qv::ConsoleOutput say(stderr, args->verbosity);
        if (const QString unusable = qv::SettingsFileUnusable(); !unusable.isEmpty()) {
            say.Say(qv::Priority::Error, QStringLiteral("quorvane-cli: ") + unusable);
            return qv::kCliFailed;
        }
        return c.run(*args, say);
    }
    std::fprintf(stderr, "quorvane-cli: unknown command '%s'\n", argv[1]);
    return Usage(stderr, qv::kCliUsage);
}
