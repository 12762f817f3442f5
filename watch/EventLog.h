#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace qv {

// The event log: one file of plain-text entries, each the text of an output line. Every entry is
// a separate open-append-close. The bytes are those of a text-mode file on the classic desktop:
// each LF of the text is stored as CR LF, and each entry ends with CR CR LF, i.e. CR CR CR LF.
class EventLog {
  public:
    // Past this many bytes the user is told that the log is getting large.
    static constexpr qint64 kBigLogBytes = 1048576;

    // The bytes one entry adds to the file.
    static QByteArray EntryBytes(const QString& text);

    // Appends one entry to `path`, creating the file when missing and never truncating it.
    // Records the file's length before the entry in m_logSize. On failure returns the message
    // for the user ("Log file problem. Reason: ..."); m_logSize then keeps its last value.
    std::optional<QString> WriteLogEntry(const QString& path, const QString& text);

    // Whether the size notice is due: the notice is wanted and the length recorded at the last
    // entry of this run has reached 1 MB. The file itself is not looked at.
    bool LogIsBig(int notifyLogBig) const { return notifyLogBig == 1 && m_logSize >= kBigLogBytes; }

    // Length of the file in bytes just before the latest entry of this run was appended.
    qint64 m_logSize = 0;
};

}  // namespace qv
