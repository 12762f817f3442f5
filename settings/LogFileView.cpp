#include "settings/LogFileView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileError.h"
#include "platform/UniqueFd.h"

namespace qv {
namespace {

LogViewResult Failure(int err) {
    LogViewResult r;
    r.status = LogViewResult::Failed;
    r.cause = FileCauseFromErrno(err);
    return r;
}

}  // namespace

QString ViewerText(const QByteArray& bytes) {
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') {
            out.append(bytes[i]);
            continue;
        }
        while (i + 1 < bytes.size() && bytes[i + 1] == '\r') {
            ++i;
        }
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;  // the LF follows
        }
        out.append('\n');
    }
    return QString::fromUtf8(out);
}

LogViewResult ReadLogForViewer(const QString& path) {
    int err = 0;
    UniqueFd fd(OpenRegularFile(path, O_RDONLY, 0, err));
    if (fd.get() < 0) {
        return Failure(err);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return Failure(errno);
    }
    if (st.st_size > kLogViewerMaxBytes) {
        LogViewResult r;
        r.status = LogViewResult::TooLarge;
        return r;
    }

    // Read what is there now, up to the viewer's buffer, even if the file grew since fstat.
    QByteArray bytes(kLogViewerMaxBytes + 16, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Failure(errno);
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    bytes.truncate(got);

    LogViewResult r;
    r.status = LogViewResult::Shown;
    r.text = ViewerText(bytes);
    return r;
}

int EmptyLogFile(const QString& path) {
    // O_TRUNC acts only on a regular file; anything else is refused untouched.
    int err = 0;
    UniqueFd fd(OpenRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC, kLogFileMode, err));
    if (fd.get() < 0) {
        return FileCauseFromErrno(err);
    }
    err = fd.Close();
    return err == 0 ? 0 : FileCauseFromErrno(err);
}

}  // namespace qv
