#include "cli/Arguments.h"

#include <algorithm>

namespace qv {

std::optional<Arguments> ParseArguments(const QStringList& args,
                                        std::initializer_list<KnownOption> options,
                                        QString& error) {
    Arguments parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            parsed.help = true;
            continue;
        }
        if (arg == QLatin1String("-q") || arg == QLatin1String("--quiet")) {
            parsed.verbosity = Verbosity::Quiet;
            continue;
        }
        if (arg == QLatin1String("-v") || arg == QLatin1String("--verbose")) {
            parsed.verbosity = Verbosity::Verbose;
            continue;
        }
        if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            error = QStringLiteral("unexpected argument '%1'").arg(arg);
            return std::nullopt;
        }
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? arg : arg.left(equals);
        const auto known = std::find_if(options.begin(), options.end(), [&](const KnownOption& o) {
            return name == QLatin1String(o.name);
        });
        if (known == options.end() || (!known->takesValue && equals >= 0)) {
            error = QStringLiteral("unknown option '%1'").arg(arg);
            return std::nullopt;
        }
        if (!known->takesValue) {
            parsed.switches << name;
            continue;
        }
        if (equals >= 0) {
            parsed.values.insert(name, arg.mid(equals + 1));
        } else if (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--"))) {
            parsed.values.insert(name, args[++i]);
        } else {
            error = QStringLiteral("option '%1' needs a value").arg(name);
            return std::nullopt;
        }
    }
    return parsed;
}

}  // namespace qv
