#pragma once

#include <QByteArray>

#include <cstdio>

class QSettings;

namespace qv {

class AddressList;
struct Arguments;
class ConsoleOutput;

// Exit statuses of quorvane-cli.
enum CliStatus {
    kCliOk = 0,
    kCliFailed = 1,       // the host could not be reached or refused what was sent
    kCliUsage = 2,        // a wrong command line, or settings that cannot work (said why)
    kCliAlreadyRuns = 3,  // another copy of Quorvane runs for these settings
    kCliNoneRuns = 3,     // status: no watcher runs
};

// `list [--json | --header]`: one full refresh with the stored selection, then one line per row
// on `out`, the eleven fields in column order separated by tabs (after a line of the columns'
// names with --header), or with --json an array of one object per row. Status lines go to `say`.
// Writes no settings. The look-ups are waited for on the running QCoreApplication's event loop.
int ListCommand(QSettings& profile, const Arguments& args, std::FILE* out, ConsoleOutput& say);

// The rows of `doc` as a JSON array: one object per row with the columns' raw values (the
// interface index as a number, MACs with colons, null where the row knows no value), whether it
// is ticked, its family ("ipv4", "ipv6") and its source ("local", "router", "echo").
QByteArray RowsAsJson(const AddressList& doc);

// A listing waits for the public address sources at most this long beyond the local rows.
inline constexpr int kPublicGraceMs = 250;

// A full refresh of `doc`: its look-ups answered or their deadline passed, and the public address
// sources answered (or, with `publicGraceMs` of 0 or more, that long over, counted from the start
// and ending no sooner than the local rows), on the QCoreApplication's event loop, which runs
// until then (call it where that loop does not run yet). When something else ends the loop
// first, the next run of the loop ends at once with the same code.
void RefreshAndWait(AddressList& doc, int publicGraceMs = -1);

// Writes the rows of `doc` to `out` as tab-separated lines; control characters inside a field
// become blanks so that every row stays one line. False when writing failed.
bool WriteRows(const AddressList& doc, std::FILE* out);

}  // namespace qv
