#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace qv {
namespace {

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kShowAnswer = QByteArrayLiteral("ok\n");
const QByteArray kWatcherAnswer = QByteArrayLiteral("watcher\n");

}  // namespace

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
    if (m_server) {
        m_server->close();
    }
    // The lock file goes with m_lock; the socket file with the server.
}

QString SingleInstance::LockFilePath() const {
    return m_folder + QLatin1Char('/') + QLatin1String(kInstanceName) + QLatin1String(".lock");
}

QString SingleInstance::ServerPath() const {
    return m_folder + QLatin1Char('/') + QLatin1String(kInstanceName) + QLatin1String(".socket");
}

SingleInstance::Outcome SingleInstance::Claim(int answerTimeoutMs) {
    if (!QDir().mkpath(m_folder)) {
        m_error = tr("The folder %1 could not be created.").arg(m_folder);
        return Failed;
    }
    m_lock = std::make_unique<QLockFile>(LockFilePath());
    // A lock counts as stale only when the process named in it no longer runs; a live holder is
    // never displaced, however long it has run.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        Listen();
        return First;
    }
    // A lock that names no process (empty, cut short, garbage) is taken over when no process
    // holds it open: a copy of the program keeps its lock file locked for its whole life. A lock
    // that names a process which is not a copy of the program Qt already counts as stale.
    if (m_lock->error() == QLockFile::LockFailedError &&
        !m_lock->getLockInfo(nullptr, nullptr, nullptr) && m_lock->removeStaleLockFile() &&
        m_lock->tryLock(0)) {
        Listen();
        return First;
    }
    switch (m_lock->error()) {
        case QLockFile::LockFailedError:
            if (m_role == Program) {
                AskFirstCopy(answerTimeoutMs);
            }
            return Second;
        case QLockFile::PermissionError:
            m_error =
                tr("The lock file %1 could not be created: permission denied.").arg(LockFilePath());
            return Failed;
        default:
            m_error = tr("The lock file %1 could not be created.").arg(LockFilePath());
            return Failed;
    }
}

void SingleInstance::Listen() {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock, any socket file there is a leftover of a copy that ended abruptly.
    QLocalServer::removeServer(ServerPath());
    if (!m_server->listen(ServerPath())) {
        qWarning("Quorvane: cannot listen on %s: %s", qPrintable(ServerPath()),
                 qPrintable(m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::Serve);
}

void SingleInstance::Serve() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > 64) {
                    socket->abort();  // not one of ours
                }
                return;
            }
            const QByteArray line = socket->readLine(64);
            if (line == kShowRequest) {
                socket->write(m_role == Watcher ? kWatcherAnswer : kShowAnswer);
                socket->flush();
                emit ActivationRequested();
            }
            socket->disconnectFromServer();
        });
    }
}

bool SingleInstance::AskFirstCopy(int timeoutMs) {
    // The first copy takes the lock a moment before it listens: keep trying until the deadline.
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        QLocalSocket socket;
        socket.connectToServer(ServerPath());
        if (socket.waitForConnected(int(qMax<qint64>(deadline.remainingTime(), 0)))) {
            socket.write(kShowRequest);
            if (!socket.waitForBytesWritten(int(qMax<qint64>(deadline.remainingTime(), 0)))) {
                return false;
            }
            while (!socket.canReadLine()) {
                if (!socket.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 0)))) {
                    return false;
                }
            }
            const QByteArray answer = socket.readLine(64);
            m_bOtherIsWatcher = answer == kWatcherAnswer;
            return answer == kShowAnswer;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(50);
    }
}

}  // namespace qv
