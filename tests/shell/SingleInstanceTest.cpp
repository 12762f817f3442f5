#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/SingleInstance.h"

namespace qv {
namespace {

// Real processes of the single-instance probe, sharing a runtime folder of their own.
class SingleInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(runtime.isValid()); }

    std::unique_ptr<QProcess> Start(const QStringList& args = {}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QStringLiteral(QV_PROBE), args);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }

    // Waits for the next line the process prints.
    static QString NextLine(QProcess& p, int timeoutMs = 5000) {
        while (!p.canReadLine()) {
            if (!p.waitForReadyRead(timeoutMs)) {
                return QStringLiteral("<nothing>");
            }
        }
        return QString::fromUtf8(p.readLine()).trimmed();
    }

    QString LockFile() const {
        return runtime.filePath(QLatin1String(kInstanceName) + QLatin1String(".lock"));
    }

    QTemporaryDir runtime;
};

TEST_F(SingleInstanceTest, SecondCopyAsksTheFirstToShowItselfAndEnds) {
    auto first = Start();
    ASSERT_EQ(NextLine(*first), "first");
    EXPECT_TRUE(QFile::exists(LockFile()));
    const QString socketFile =
        runtime.filePath(QLatin1String(kInstanceName) + QLatin1String(".socket"));
    EXPECT_EQ(QFile::permissions(socketFile) & 0x0077, 0);  // nobody else may ask

    // Peers that hang up at once, or talk on without a line break, are dropped unanswered.
    for (const QByteArray& said : {QByteArray(), QByteArray(200, 'x'), QByteArray("hide\n")}) {
        QProcess peer;
        peer.start(QStringLiteral("/usr/bin/python3"),
                   {"-c",
                    "import socket, sys\n"
                    "s = socket.socket(socket.AF_UNIX)\n"
                    "s.connect(sys.argv[1])\n"
                    "s.sendall(bytes.fromhex(sys.argv[2]))\n"
                    "s.shutdown(socket.SHUT_WR)\n"
                    "try:\n"
                    "    print(repr(s.recv(64)))\n"
                    "except ConnectionResetError:\n"
                    "    print(repr(b''))\n",
                    socketFile, QString::fromLatin1(said.toHex())});
        ASSERT_TRUE(peer.waitForFinished(5000));
        EXPECT_EQ(peer.readAllStandardOutput().trimmed(), "b''") << said.toStdString();
    }

    for (int i = 0; i < 2; ++i) {
        auto second = Start();
        ASSERT_TRUE(second->waitForFinished(5000));
        EXPECT_EQ(second->exitCode(), 0);
        EXPECT_EQ(NextLine(*second), "second");
        EXPECT_EQ(NextLine(*first), "activated");
    }

    first->write("quit\n");
    ASSERT_TRUE(first->waitForFinished(5000));
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_FALSE(QFile::exists(LockFile()));
    EXPECT_FALSE(QFile::exists(socketFile));

    // With the first copy gone, the next one is first again.
    auto next = Start();
    EXPECT_EQ(NextLine(*next), "first");
    next->closeWriteChannel();
    EXPECT_TRUE(next->waitForFinished(5000));

    // A headless watcher holds the same lock: a later program learns that it is a watcher, and
    // a later watcher is refused without asking anyone to show a window.
    auto watcher = Start({"--watcher"});
    ASSERT_EQ(NextLine(*watcher), "first");
    auto program = Start();
    EXPECT_EQ(NextLine(*program), "second behind a watcher");
    EXPECT_EQ(NextLine(*watcher), "activated");
    auto another = Start({"--watcher"});
    EXPECT_EQ(NextLine(*another), "second");
    EXPECT_EQ(NextLine(*watcher, 500), "<nothing>");
    watcher->closeWriteChannel();
    EXPECT_TRUE(watcher->waitForFinished(5000));
}

// A lock that no running copy holds: empty, garbage, or naming a process that is now another
// program (its number reused) is taken over like one left by a killed copy.
TEST_F(SingleInstanceTest, LockOfNoRunningCopyIsTakenOver) {
    QProcess other;
    other.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(other.waitForStarted(5000));
    const QList<QByteArray> leftovers = {
        QByteArray(),
        QByteArray("\x01garbage\n\xff\xfe"),
        QByteArray::number(other.processId()) + "\nsingle_instance_probe\n\n",
    };
    for (const QByteArray& contents : leftovers) {
        QFile lock(LockFile());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lock.write(contents);
        lock.close();
        auto heir = Start();
        EXPECT_EQ(NextLine(*heir), "first") << contents.toStdString();
        heir->closeWriteChannel();
        EXPECT_TRUE(heir->waitForFinished(5000));
    }
    other.kill();
    other.waitForFinished(5000);

    auto crashed = Start();
    ASSERT_EQ(NextLine(*crashed), "first");
    crashed->kill();  // SIGKILL: no clean-up at all
    ASSERT_TRUE(crashed->waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(LockFile()));  // the stale lock and socket are still there

    auto heir = Start();
    ASSERT_EQ(NextLine(*heir), "first");

    // The new owner serves later copies on the socket it took over.
    auto later = Start();
    ASSERT_TRUE(later->waitForFinished(5000));
    EXPECT_EQ(NextLine(*later), "second");
    EXPECT_EQ(NextLine(*heir), "activated");
    heir->closeWriteChannel();
    EXPECT_TRUE(heir->waitForFinished(5000));
}

TEST_F(SingleInstanceTest, LockHeldByAnotherLiveProgramIsNotTakenOver) {
    // Another process holds the lock but listens on no socket (a copy still starting, or hung):
    // the newcomer must still give way, after trying to reach it for a while.
    auto holder = Start();
    ASSERT_EQ(NextLine(*holder), "first");
    QFile::remove(runtime.filePath(QLatin1String(kInstanceName) + QLatin1String(".socket")));

    SingleInstance probe(runtime.path());
    EXPECT_EQ(probe.Claim(300), SingleInstance::Second);
    holder->closeWriteChannel();
    EXPECT_TRUE(holder->waitForFinished(5000));
}

// The second copy acts while the first has opened (created) its lock file but not locked it yet,
// the moment at which a file-content lock could be displaced: exactly one of them runs.
TEST_F(SingleInstanceTest, CopyStartingBetweenOpeningAndLockingIsNeverDisplaced) {
    for (const bool leftover : {false, true}) {
        if (leftover) {  // an empty file left by a killed copy is there as well
            QFile empty(LockFile());
            ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
        }
        SingleInstance first(runtime.path(), nullptr, SingleInstance::Watcher);
        SingleInstance second(runtime.path(), nullptr, SingleInstance::Watcher);
        std::optional<SingleInstance::Outcome> secondOutcome;
        SingleInstance::SetBeforeLockHook([&] {
            SingleInstance::SetBeforeLockHook({});
            secondOutcome = second.Claim(100);
        });
        const SingleInstance::Outcome firstOutcome = first.Claim(100);
        SingleInstance::SetBeforeLockHook({});
        ASSERT_TRUE(secondOutcome);
        EXPECT_EQ(*secondOutcome, SingleInstance::First);
        EXPECT_EQ(firstOutcome, SingleInstance::Second);

        // A third copy and a real process both find the lock held by `second`.
        SingleInstance third(runtime.path(), nullptr, SingleInstance::Watcher);
        EXPECT_EQ(third.Claim(100), SingleInstance::Second);
        auto probe = Start({"--watcher"});
        EXPECT_EQ(NextLine(*probe), "second");
        EXPECT_TRUE(probe->waitForFinished(5000));
    }

    // The holder removes the name on its way out while a newcomer has the old file open: the
    // newcomer locks the file the name shows, not the removed one.
    auto holder =
        std::make_unique<SingleInstance>(runtime.path(), nullptr, SingleInstance::Watcher);
    ASSERT_EQ(holder->Claim(100), SingleInstance::First);
    SingleInstance newcomer(runtime.path(), nullptr, SingleInstance::Watcher);
    SingleInstance::SetBeforeLockHook([&] {
        SingleInstance::SetBeforeLockHook({});
        holder.reset();
    });
    EXPECT_EQ(newcomer.Claim(100), SingleInstance::First);
    SingleInstance::SetBeforeLockHook({});
    auto probe = Start({"--watcher"});
    EXPECT_EQ(NextLine(*probe), "second");
    EXPECT_TRUE(probe->waitForFinished(5000));
}

// Whatever sits at the lock file's name that is not a regular file is refused at once with a
// message: nothing is followed, read or waited on.
TEST_F(SingleInstanceTest, LockNameThatIsNoRegularFileIsRefused) {
    const auto makeFifo = [this] {
        return QProcess::execute(QStringLiteral("mkfifo"), {LockFile()}) == 0;
    };
    const auto makeZeroLink = [this] {
        return QFile::link(QStringLiteral("/dev/zero"), LockFile());
    };
    const auto makeFolder = [this] { return QDir().mkdir(LockFile()); };
    const auto makeDanglingLink = [this] {
        return QFile::link(runtime.filePath(QStringLiteral("nowhere")), LockFile());
    };
    const std::pair<const char*, std::function<bool()>> objects[] = {
        {"FIFO", makeFifo},
        {"link to /dev/zero", makeZeroLink},
        {"folder", makeFolder},
        {"dangling link", makeDanglingLink},
    };
    for (const auto& [what, make] : objects) {
        ASSERT_TRUE(make()) << what;
        QElapsedTimer took;
        took.start();
        SingleInstance program(runtime.path());
        EXPECT_EQ(program.Claim(100), SingleInstance::Failed) << what;
        EXPECT_LT(took.elapsed(), 1000) << what;
        EXPECT_TRUE(program.ErrorText().contains("is not a regular file")) << what;
        EXPECT_TRUE(program.ErrorText().contains(LockFile())) << what;

        auto probe = Start({"--watcher"});
        const QString said = NextLine(*probe);
        EXPECT_TRUE(said.startsWith("failed: ") && said.contains("is not a regular file")) << what;
        EXPECT_TRUE(probe->waitForFinished(5000));
        EXPECT_EQ(probe->exitCode(), 1) << what;

        QFileInfo(LockFile()).isDir() ? QDir().rmdir(LockFile()) : QFile::remove(LockFile());
    }
}

}  // namespace
}  // namespace qv
