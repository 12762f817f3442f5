#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <optional>

#include "cli/ConsoleOutput.h"

namespace qv {

// An option a command takes: a switch, or one that takes a value (`--name V` or `--name=V`).
struct KnownOption {
    const char* name;
    bool takesValue = false;
};

// A command's arguments after checking: every command also takes -h/--help, -q/--quiet and
// -v/--verbose.
struct Arguments {
    bool help = false;
    Verbosity verbosity = Verbosity::Normal;
    QStringList switches;
    QHash<QString, QString> values;

    bool Has(const char* name) const { return switches.contains(QLatin1String(name)); }
    QString Value(const char* name) const { return values.value(QLatin1String(name)); }
};

// Checks `args` against the options of a command; nullopt, with the reason in `error`, for an
// unknown option, a missing value or any other argument.
std::optional<Arguments> ParseArguments(const QStringList& args,
                                        std::initializer_list<KnownOption> options, QString& error);

}  // namespace qv
