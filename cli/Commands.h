#pragma once

#include <QStringList>

#include <cstdio>

class QSettings;

namespace qv {

class AddressList;

// `list`: one full refresh with the stored selection, then one line per row on `out`, the
// eleven fields in column order separated by tabs. Status lines go to `err`. Writes no settings.
// The look-ups are waited for on the running QCoreApplication's event loop.
int ListCommand(QSettings& profile, std::FILE* out, std::FILE* err);

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
