#pragma once

#include <QString>

#include <cstdio>
#include <string>

namespace qv {

// How much a command says: failures only (-q), what happened (the default), or each step (-v).
enum class Verbosity { Quiet, Normal, Verbose };

// The weight of a message, as syslog and the journal count it (sd-daemon's "<N>" prefixes).
enum class Priority { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// Messages of quorvane-cli on standard error, one line each. On a terminal or in a file each line
// starts with the local time in ISO form; when standard error is the journal (JOURNAL_STREAM
// names it) the journal stamps the time itself and each line starts with its priority instead.
// Data (the list, the check's report) goes to standard output, never through here.
class ConsoleOutput {
  public:
    explicit ConsoleOutput(std::FILE* to = stderr, Verbosity verbosity = Verbosity::Normal,
                           bool journal = StreamIsJournal(stderr));

    // Whether a message of `priority` is written at this verbosity.
    bool Shows(Priority priority) const;
    // Writes `text` as one line (its line breaks and a trailing time stamp of the program's own
    // form become blanks and go), when `priority` is shown.
    void Say(Priority priority, const QString& text);
    // The line `text` would be written as, without its prefix.
    static QString OneLine(const QString& text);
    // What starts a line of `priority`: the time stamp and a blank, or the journal's "<N>".
    std::string Prefix(Priority priority) const;
    // Writes bytes already made of whole lines.
    void Write(const std::string& lines);
    // Whether `stream` is the journal's stream named by JOURNAL_STREAM ("device:inode").
    static bool StreamIsJournal(std::FILE* stream);

  private:
    std::FILE* m_to;
    Verbosity m_verbosity;
    bool m_journal;
};

}  // namespace qv
