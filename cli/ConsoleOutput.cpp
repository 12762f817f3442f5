#include "cli/ConsoleOutput.h"

#include <QDateTime>
#include <QRegularExpression>

#include <sys/stat.h>

#include <cstdlib>

namespace qv {

ConsoleOutput::ConsoleOutput(std::FILE* to, Verbosity verbosity, bool journal)
    : m_to(to), m_verbosity(verbosity), m_journal(journal) {}

bool ConsoleOutput::Shows(Priority priority) const {
    switch (m_verbosity) {
        case Verbosity::Quiet:
            return priority <= Priority::Warning;
        case Verbosity::Normal:
            return priority <= Priority::Info;
        case Verbosity::Verbose:
            return true;
    }
    return true;
}

QString ConsoleOutput::OneLine(const QString& text) {
    // The program's output lines end in "  Mar 05, 2026,  07:04:09 PM"; the line has its own.
    static const QRegularExpression stamp(
        QStringLiteral("\\s+[A-Z][a-z]{2} \\d\\d, \\d{4},\\s+\\d\\d:\\d\\d:\\d\\d [AP]M\\s*$"));
    static const QRegularExpression breaks(QStringLiteral("\\s*[\\r\\n]+\\s*"));
    QString line = text;
    line.remove(stamp);
    line.replace(breaks, QStringLiteral(" "));
    return line.trimmed();
}

void ConsoleOutput::Say(Priority priority, const QString& text) {
    if (!Shows(priority)) {
        return;
    }
    const QString line = OneLine(text);
    if (line.isEmpty()) {
        return;
    }
    Write(Prefix(priority) + line.toLocal8Bit().toStdString() + '\n');
}

std::string ConsoleOutput::Prefix(Priority priority) const {
    if (m_journal) {
        return '<' + std::to_string(static_cast<int>(priority)) + '>';
    }
    // Local time with its offset from UTC: "2026-12-09T05:47:53+01:00".
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate).toStdString() + ' ';
}

void ConsoleOutput::Write(const std::string& lines) {
    std::fwrite(lines.data(), 1, lines.size(), m_to);
    std::fflush(m_to);
}

bool ConsoleOutput::StreamIsJournal(std::FILE* stream) {
    const char* named = std::getenv("JOURNAL_STREAM");
    if (!named || !stream) {
        return false;
    }
    unsigned long long device = 0, inode = 0;
    if (std::sscanf(named, "%llu:%llu", &device, &inode) != 2) {
        return false;
    }
    struct stat st {};
    return fstat(fileno(stream), &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

}  // namespace qv
