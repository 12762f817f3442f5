#include "watch/EventLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Clock.h"
#include "platform/FileError.h"
#include "platform/UniqueFd.h"
#include "resources/StringTable.h"
#include "settings/LogFileView.h"

namespace qv {
namespace {

QString Failure(int err) {
    return FileErrorText(Text::LogFileProblem, FileCauseFromErrno(err));
}

}  // namespace

QByteArray EventLog::EntryBytes(const QString& text) {
    const QByteArray raw = (text + QLatin1String(kBreak)).toUtf8();
    QByteArray out;
    out.reserve(raw.size() + raw.count('\n'));
    for (const char c : raw) {
        if (c == '\n') {
            out.append('\r');
        }
        out.append(c);
    }
    return out;
}

std::optional<QString> EventLog::WriteLogEntry(const QString& path, const QString& text) {
    int err = 0;
    UniqueFd fd(OpenRegularFile(path, O_WRONLY | O_CREAT | O_APPEND, kLogFileMode, err));
    if (fd.get() < 0) {
        return Failure(err);
    }
    const off_t end = ::lseek(fd.get(), 0, SEEK_END);
    if (end < 0) {
        return Failure(errno);
    }
    m_logSize = end;

    const QByteArray bytes = EntryBytes(text);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.constData() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failure(errno);
        }
        done += n;
    }
    if (const int err = fd.Close(); err != 0) {
        return Failure(err);
    }
    return std::nullopt;
}

}  // namespace qv
