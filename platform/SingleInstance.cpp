#include "platform/SingleInstance.h"

#include "platform/UniqueFd.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace qv {
namespace {

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kShowAnswer = QByteArrayLiteral("ok\n");
const QByteArray kWatcherAnswer = QByteArrayLiteral("watcher\n");
constexpr qsizetype kLongestLine = 64;  // a peer that says more without a line break is not ours
// Opening and locking are two steps; when the name was meanwhile removed by a copy on its way out,
// the lock is taken again on the file the name now shows, a few times at most.
constexpr int kLockAttempts = 8;

std::function<void()>& BeforeLockHook() {
    static std::function<void()> hook;
    return hook;
}

// The socket address of `path`; false when the path does not fit.
bool SocketAddress(const QString& path, sockaddr_un& address) {
    const QByteArray bytes = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (bytes.isEmpty() || bytes.size() >= qsizetype(sizeof address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

// Sends the request on the connected `socket` and reads the answer line until `deadline`.
std::optional<QByteArray> Ask(int socket, const QDeadlineTimer& deadline) {
    if (::send(socket, kShowRequest.constData(), static_cast<std::size_t>(kShowRequest.size()),
               MSG_NOSIGNAL) != kShowRequest.size()) {
        return std::nullopt;
    }
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < kLongestLine) {
        pollfd wait = {socket, POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(std::max<qint64>(deadline.remainingTime(), 0)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        char buffer[kLongestLine];
        const ssize_t n = ready > 0 ? ::recv(socket, buffer, sizeof buffer, 0) : -1;
        if (n <= 0) {
            return std::nullopt;
        }
        answer.append(buffer, n);
    }
    return answer.left(answer.indexOf('\n') + 1);
}

}  // namespace

// A copy that connected to ask for the window, until it has said its line.
struct SingleInstance::Connection {
    explicit Connection(int socket) : fd(socket) {}
    UniqueFd fd;
    std::unique_ptr<QSocketNotifier> notifier;  // destroyed before the socket is closed
    QByteArray received;
};

QString InstanceFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath() + QStringLiteral("/quorvane-%1").arg(::getuid());
    }
    return folder;
}

SingleInstance::SingleInstance(const QString& folder, QObject* parent, Role role)
    : QObject(parent), m_folder(folder), m_role(role) {}

SingleInstance::~SingleInstance() {
    m_connections.clear();
    if (m_listener >= 0) {
        delete m_listening;
        ::close(m_listener);
        ::unlink(QFile::encodeName(ServerPath()).constData());
    }
    if (m_lockFd >= 0) {
        // Removed while still locked: a copy that opened it meanwhile finds the name gone once it
        // has the lock, and takes the lock again on a new file.
        ::unlink(QFile::encodeName(LockFilePath()).constData());
        ::close(m_lockFd);
    }
}

QString SingleInstance::LockFilePath() const {
    return m_folder + QLatin1Char('/') + QLatin1String(kInstanceName) + QLatin1String(".lock");
}

QString SingleInstance::ServerPath() const {
    return m_folder + QLatin1Char('/') + QLatin1String(kInstanceName) + QLatin1String(".socket");
}

void SingleInstance::SetBeforeLockHook(std::function<void()> hook) {
    BeforeLockHook() = std::move(hook);
}

SingleInstance::Outcome SingleInstance::Claim(int answerTimeoutMs) {
    if (!QDir().mkpath(m_folder)) {
        m_error = tr("The folder %1 could not be created.").arg(m_folder);
        return Failed;
    }
    const Outcome outcome = TakeLock();
    if (outcome == First) {
        Listen();
    } else if (outcome == Second && m_role == Program) {
        AskFirstCopy(answerTimeoutMs);
    }
    return outcome;
}

bool SingleInstance::TakeFreedLock() {
    if (m_lockFd >= 0) {
        return true;
    }
    if (TakeLock() != First) {
        return false;
    }
    Listen();
    return true;
}

SingleInstance::Outcome SingleInstance::TakeLock() {
    const QString shown = LockFilePath();
    const QByteArray path = QFile::encodeName(shown);
    const QString notRegular =
        tr("%1 is not a regular file (a link, a folder, a FIFO or a device): remove it, then "
           "start the program again.")
            .arg(shown);
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        // Never through a link, never waiting on a FIFO, never becoming a terminal's owner.
        UniqueFd fd(::open(path.constData(),
                           O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                           S_IRUSR | S_IWUSR));
        if (fd.get() < 0) {
            if (errno == ELOOP || errno == EISDIR || errno == ENXIO || errno == ENODEV) {
                m_error = notRegular;
            } else if (errno == EACCES || errno == EPERM || errno == EROFS) {
                m_error =
                    tr("The lock file %1 could not be created: permission denied.").arg(shown);
            } else {
                m_error = tr("The lock file %1 could not be created: %2.")
                              .arg(shown, QString::fromLocal8Bit(std::strerror(errno)));
            }
            return Failed;
        }
        struct stat opened {};
        if (::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
            m_error = notRegular;
            return Failed;
        }
        if (const std::function<void()> hook = BeforeLockHook()) {  // a copy: it may unset itself
            hook();
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK || errno == EINTR) {
                return Second;
            }
            m_error = tr("The lock file %1 could not be locked: %2.")
                          .arg(shown, QString::fromLocal8Bit(std::strerror(errno)));
            return Failed;
        }
        // The lock counts only on the file that the name still shows.
        struct stat named {};
        if (::lstat(path.constData(), &named) != 0 || named.st_dev != opened.st_dev ||
            named.st_ino != opened.st_ino) {
            continue;
        }
        // The holder's number, for people who look; nothing reads it to decide anything.
        const QByteArray holder = QByteArray::number(qint64(::getpid())) + '\n';
        if (::ftruncate(fd.get(), 0) != 0 ||
            ::pwrite(fd.get(), holder.constData(), std::size_t(holder.size()), 0) !=
                holder.size()) {
            qWarning("Quorvane: cannot write %s: %s", path.constData(), std::strerror(errno));
        }
        m_lockFd = fd.release();
        return First;
    }
    m_error = tr("The lock file %1 kept changing while it was locked.").arg(shown);
    return Failed;
}

void SingleInstance::Listen() {
    const QString path = ServerPath();
    sockaddr_un address;
    if (!SocketAddress(path, address)) {
        qWarning("Quorvane: cannot listen on %s: the path is too long", qPrintable(path));
        return;
    }
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // Holding the lock, any socket file there is a leftover of a copy that ended abruptly.
    ::unlink(address.sun_path);
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(address.sun_path, S_IRUSR | S_IWUSR) != 0 || ::listen(listener, 8) != 0) {
        qWarning("Quorvane: cannot listen on %s: %s", qPrintable(path), std::strerror(errno));
        if (listener >= 0) {
            ::close(listener);
        }
        return;
    }
    m_listener = listener;
    m_listening = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
    connect(m_listening, &QSocketNotifier::activated, this, &SingleInstance::Accept);
}

void SingleInstance::Accept() {
    int socket;
    while ((socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0) {
        auto connection = std::make_unique<Connection>(socket);
        Connection* c = connection.get();
        c->notifier = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
        connect(c->notifier.get(), &QSocketNotifier::activated, this, [this, c] { Read(c); });
        m_connections.push_back(std::move(connection));
    }
}

void SingleInstance::Read(Connection* c) {
    char buffer[kLongestLine];
    const ssize_t n = ::recv(c->fd.get(), buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (n > 0) {
        c->received.append(buffer, n);
    }
    const qsizetype end = c->received.indexOf('\n');
    if (end < 0 && n > 0 && c->received.size() <= kLongestLine) {
        return;  // the rest of the line is still on its way
    }
    const bool asked = end >= 0 && c->received.left(end + 1) == kShowRequest;
    if (asked) {
        const QByteArray& answer = m_role == Watcher ? kWatcherAnswer : kShowAnswer;
        [[maybe_unused]] const ssize_t sent = ::send(
            c->fd.get(), answer.constData(), static_cast<std::size_t>(answer.size()), MSG_NOSIGNAL);
    }
    // Done with this peer: its notifier goes once its signal has returned, its socket now.
    c->notifier->setEnabled(false);
    c->notifier.release()->deleteLater();
    std::erase_if(m_connections, [c](const auto& kept) { return kept.get() == c; });
    if (asked) {
        emit ActivationRequested();
    }
}

bool SingleInstance::AskFirstCopy(int timeoutMs) {
    sockaddr_un address;
    if (!SocketAddress(ServerPath(), address)) {
        return false;
    }
    // The first copy takes the lock a moment before it listens: keep trying until the deadline.
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (socket.get() >= 0 &&
            ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
                0) {
            const std::optional<QByteArray> answer = Ask(socket.get(), deadline);
            m_otherIsWatcher = answer == kWatcherAnswer;
            return answer == kShowAnswer;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(50);
    }
}

}  // namespace qv
