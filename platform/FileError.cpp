#include "platform/FileError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <ctime>

#include "platform/UniqueFd.h"
#include "resources/StringTable.h"

namespace qv {

int FileCauseFromErrno(int err) {
    switch (err) {
        case 0:
            return kFileNone;
        case ENOENT:
            return kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
            return kFileBadPath;
        case EMFILE:
        case ENFILE:
            return kFileTooManyOpen;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return kFileAccessDenied;
        case EBADF:
            return kFileInvalidFile;
        case EBUSY:
            return kFileBusy;
        case ESPIPE:
            return kFileBadSeek;
        case EIO:
        case ENXIO:
        case ENODEV:
            return kFileHardIO;
        case EAGAIN:
            return kFileInUse;
        case EDEADLK:
            return kFileLockViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kFileDiskFull;
        default:
            return kFileGeneric;
    }
}

int OpenRegularFile(const QString& path, int flags, int mode, int& err) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) {
        err = errno;
        // A FIFO without a peer or a device without a driver fails here already.
        if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
            err = EACCES;
        }
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        err = EACCES;
        ::close(fd);
        return -1;
    }
    // Regular files never block; later reads and writes run in the ordinary mode.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    err = 0;
    return fd;
}

bool IsReadOnlyByMode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

bool ClearStaleLockFile(const QString& lockPath, int waitMs) {
    // A lock file younger than this may belong to a writer between creating it and locking it.
    constexpr qint64 kCreatingMs = 100;
    const QByteArray path = QFile::encodeName(lockPath);
    const QDeadlineTimer deadline(waitMs);
    while (true) {
        struct stat named {};
        if (::lstat(path.constData(), &named) != 0) {
            return errno == ENOENT;
        }
        if (!S_ISREG(named.st_mode)) {
            return false;
        }
        UniqueFd fd(
            ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat opened {};
        const bool same = fd.get() >= 0 && ::fstat(fd.get(), &opened) == 0 &&
                          opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
        if (same && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            timespec now{};
            ::clock_gettime(CLOCK_REALTIME, &now);
            const qint64 ageMs = (qint64(now.tv_sec) - qint64(named.st_mtim.tv_sec)) * 1000 +
                                 (qint64(now.tv_nsec) - qint64(named.st_mtim.tv_nsec)) / 1000000;
            if (ageMs >= kCreatingMs || deadline.hasExpired()) {
                ::unlink(path.constData());  // held by nobody: its writer has ended
                return true;
            }
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(20);
    }
}

QString FileCauseText(int cause) {
    static const char* const kTexts[] = {
        "Unknown error.",
        "An unspecified error occurred.",
        "The file could not be located.",
        "All or part of the path is invalid.",
        "The permitted number of open files was exceeded.",
        "The file could not be accessed.",
        "There was an attempt to use an invalid file handle.",
        "The file or its device is busy.",
        "There was an error trying to set the file pointer.",
        "There was a hardware error.",
        "The file is in use by another program; try again later.",
        "There was an attempt to lock a region that was already locked.",
        "The disk is full.",
    };
    if (cause < 1 || cause > kFileDiskFull) {
        cause = 0;
    }
    return QString::fromLatin1(kTexts[cause]);
}

QString FileErrorText(int prefixId, int cause) {
    return LoadString(prefixId) + FileCauseText(cause);
}

}  // namespace qv
