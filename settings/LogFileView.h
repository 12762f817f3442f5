#pragma once

#include <QString>

namespace qv {

// The Logging page's file work, without widgets.

// The mode a new log file is created with: the log names the machine's addresses and hosts, so
// only its owner reads it, as with the settings file.
inline constexpr int kLogFileMode = 0600;

// The viewer takes a file of at most this many bytes (its 64 KB buffer less 16 spare bytes).
inline constexpr qint64 kLogViewerMaxBytes = 65519;

struct LogViewResult {
    enum Status { Shown, TooLarge, Failed };
    Status status = Failed;
    QString text;   // Shown: the file's text, one LF for each line break (ViewerText)
    int cause = 0;  // Failed: the file cause code (platform/FileError.h)
};

LogViewResult ReadLogForViewer(const QString& path);

// Creates the file or cuts it to length 0. Returns 0, or the file cause code of the failure.
int EmptyLogFile(const QString& path);

// The file's bytes as the viewer shows them. Reading in text mode turns each CR LF into LF; the
// log's entries end in CR CR CR LF on disk, which leaves CR CR LF, the sequence that a plain edit
// box shows as one line break. Here every run of CRs before an LF and every other CR becomes a
// single LF, since a text widget would break the line at each CR.
QString ViewerText(const QByteArray& bytes);

}  // namespace qv
