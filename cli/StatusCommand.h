#pragma once

#include <QDBusConnection>

#include <cstdio>

namespace qv {

struct Arguments;
class ConsoleOutput;

// `status [--json]`: the state of the watcher offered on `bus` (a `quorvane-cli watch` or the
// program's window) in a few lines on `out`, or as one JSON object with --json. Status 3 when no
// watcher is offered there, 1 when it does not answer.
int StatusCommand(const Arguments& args, std::FILE* out, ConsoleOutput& say,
                  QDBusConnection bus = QDBusConnection::sessionBus());

}  // namespace qv
