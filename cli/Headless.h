#pragma once

#include <QStringList>

#include <cstdio>

namespace qv {

// Exit statuses of quorvane-cli.
enum CliStatus {
    kCliOk = 0,
    kCliFailed = 1,       // the host could not be reached or refused what was sent
    kCliUsage = 2,        // a wrong command line, or settings that cannot work (said why)
    kCliAlreadyRuns = 3,  // another copy of Quorvane runs for these settings
};

// `watch [--address A | --interface NAME]`: watches the ticked address without a display,
// forwarding each change by the stored method, until SIGTERM, SIGINT or SIGHUP; then sends the
// off-line notice that is owed and ends with 0. Output lines go to `out` with a time stamp.
int WatchCommand(const QStringList& args, std::FILE* out, std::FILE* err);
// `send`: forwards the ticked address once, now. 0 when the host took it.
int SendCommand(const QStringList& args, std::FILE* out, std::FILE* err);
// `offline`: sends the off-line notice once, now. 0 when the host took it.
int OfflineCommand(const QStringList& args, std::FILE* out, std::FILE* err);

}  // namespace qv
