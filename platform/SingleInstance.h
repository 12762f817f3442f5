#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace qv {

// The name of the single-instance marker: a lock file and a Unix stream socket in the user's
// runtime folder carry it.
inline constexpr const char* kInstanceName = "PreventSecondInstanceOfQuorvane";

// The folder for the marker: the user's runtime folder, else a folder of the user's own in the
// temporary folder.
QString InstanceFolder();

// One copy of the program per user. The first copy holds an exclusive lock (flock) on the lock
// file for its whole life and listens on a local socket; a later copy finds the lock held, asks
// the first copy over the socket to show its window, and ends. A headless watcher holds the same
// lock, so that two copies never forward for one configuration. The lock is the kernel's, taken
// in one step: what the file holds (the holder's process number, for people) never decides, so a
// file left behind by a copy that no longer runs, empty or garbage, is simply locked again, and a
// running copy is never displaced. Anything at the lock file's name that is not a regular file
// (a link, a FIFO, a device, a folder) is refused with a message, never followed or read.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum Outcome {
        First,   // this is the only copy: go on starting
        Second,  // another copy runs and has been asked to show itself: end at once
        Failed,  // the marker could not be made: ErrorText() says why
    };

    // What the copy is: the program with a window, or a watcher without one. A watcher never
    // asks another copy to show itself, and tells a later program that it runs.
    enum Role { Program, Watcher };

    explicit SingleInstance(const QString& folder = InstanceFolder(), QObject* parent = nullptr,
                            Role role = Program);
    ~SingleInstance() override;

    // Takes the lock or, when another copy holds it, asks that copy to show itself, waiting up
    // to `answerTimeoutMs` for it to answer.
    Outcome Claim(int answerTimeoutMs = 3000);

    // After Claim returned Second: takes the lock should the other copy have given it up, and
    // listens as the first copy; asks nobody anything. True when this copy holds it now.
    bool TakeFreedLock();

    // After Claim returned Second: the copy that runs is a watcher without a window.
    bool OtherIsWatcher() const { return m_otherIsWatcher; }

    QString LockFilePath() const;
    QString ServerPath() const;
    QString ErrorText() const { return m_error; }

    // For tests: runs between opening the lock file and locking it, the moment another copy may
    // act in between.
    static void SetBeforeLockHook(std::function<void()> hook);

  signals:
    // Another copy was started and asked this one to show its window.
    void ActivationRequested();

  private:
    struct Connection;
    void Listen();
    void Accept();
    void Read(Connection* connection);
    bool AskFirstCopy(int timeoutMs);
    Outcome TakeLock();

    QString m_folder;
    Role m_role;
    bool m_otherIsWatcher = false;
    QString m_error;
    int m_lockFd = -1;
    int m_listener = -1;
    QSocketNotifier* m_listening = nullptr;
    std::vector<std::unique_ptr<Connection>> m_connections;
};

}  // namespace qv
