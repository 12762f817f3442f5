#include "settings/PasswordStore.h"

#include <qt6keychain/keychain.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTimer>

#include <memory>

namespace qv {
namespace {

// The entries of one settings file: the same user may keep several (another XDG_CONFIG_HOME).
QString EntryKey() {
    return SettingsFilePath();
}

QString Seconds(std::chrono::milliseconds bound) {
    return QString::number((bound.count() + 999) / 1000);
}

// A Secret Service (or KWallet) is on the session bus, or the bus starts one on demand. The first
// call connects this process to the session bus.
bool KeyringOnBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnectionInterface* daemon = bus.isConnected() ? bus.interface() : nullptr;
    if (!daemon) {
        return false;
    }
    const QString secrets = QStringLiteral("org.freedesktop.secrets");
    for (const QString& name :
         {secrets, QStringLiteral("org.kde.kwalletd6"), QStringLiteral("org.kde.kwalletd5")}) {
        if (daemon->isServiceRegistered(name).value()) {
            return true;
        }
    }
    // A keyring the bus starts on the first call answers too.
    return daemon->activatableServiceNames().value().contains(secrets);
}

}  // namespace

// One keyring job of a run, and what its success brings.
struct PasswordStore::Job {
    QKeychain::Job* job;
    std::function<void()> onSuccess;
};

// Jobs started together, until all have answered or the bound has passed.
struct PasswordStore::Run : std::enable_shared_from_this<Run> {
    qsizetype left = 0;
    QString error;
    bool ended = false;
    std::function<void(bool ok, const QString& error)> done;
    QTimer timer;

    void Finish(bool ok, const QString& why) {
        if (ended) {
            return;
        }
        const std::shared_ptr<Run> keep = shared_from_this();  // `done` may drop the last owner
        ended = true;
        timer.stop();
        done(ok, why);
    }
};

PasswordStore::PasswordStore(SettingsRecord& settings, QObject* parent)
    : QObject(parent), m_settings(settings) {}

PasswordStore::~PasswordStore() = default;

// Starts the jobs together; `done` runs once, from the event loop, when all have answered or the
// bound has passed. A job deletes itself after its answer; one that never comes is dropped.
std::shared_ptr<PasswordStore::Run> PasswordStore::RunJobs(
    std::vector<Job> jobs, std::function<void(bool ok, const QString& error)> done) {
    auto run = std::make_shared<Run>();
    run->left = static_cast<qsizetype>(jobs.size());
    run->done = std::move(done);
    run->timer.setSingleShot(true);
    const QString late =
        QStringLiteral("the keyring did not answer within %1 s").arg(Seconds(m_bound));
    connect(&run->timer, &QTimer::timeout, this,
            [raw = run.get(), late] { raw->Finish(false, late); });
    run->timer.start(m_bound);
    for (const Job& job : jobs) {
        connect(job.job, &QKeychain::Job::finished, this,
                [run, onSuccess = job.onSuccess](QKeychain::Job* answered) {
                    if (run->ended) {
                        return;
                    }
                    if (answered->error() == QKeychain::NoError) {
                        onSuccess();
                    } else if (run->error.isEmpty()) {
                        run->error = answered->error() == QKeychain::EntryNotFound
                                         ? QStringLiteral("the keyring has no entry \"%1\"")
                                               .arg(answered->service())
                                         : answered->errorString();
                    }
                    if (--run->left == 0) {
                        run->Finish(run->error.isEmpty(), run->error);
                    }
                });
        job.job->setKey(EntryKey());
        job.job->start();
    }
    return run;
}

// ---- Reading ----

void PasswordStore::Read(std::function<void(bool ok)> done, int wanted) {
    m_waiting.push_back({wanted, std::move(done)});
    m_reading = true;
    if (!m_startQueued && !m_read) {
        m_startQueued = true;
        QMetaObject::invokeMethod(this, &PasswordStore::StartRead, Qt::QueuedConnection);
    }
}

void PasswordStore::StartRead() {
    m_startQueued = false;
    if (!m_reading) {
        return;  // given up before it started
    }
    int asked = 0;
    for (const Waiting& w : m_waiting) {
        asked |= w.wanted;
    }
    m_asked = asked & m_settings.PasswordsToRead;
    if (m_asked == 0) {
        EndRead(true, {});
        return;
    }
    if (!KeyringOnBus()) {
        EndRead(false, QStringLiteral("no desktop keyring answers on the session bus"));
        return;
    }
    const int wanted = m_asked;
    // What each entry brought; a partial answer still fills what it brought.
    struct Answers {
        QString values[std::size(kPasswordFields)];
        int took = 0;
    };
    auto answers = std::make_shared<Answers>();
    std::vector<Job> jobs;
    for (size_t i = 0; i < std::size(kPasswordFields); ++i) {
        const int bit = kPasswordFields[i].bit;
        if (wanted & bit) {
            auto* job =
                new QKeychain::ReadPasswordJob(QString::fromLatin1(kPasswordFields[i].keyringName));
            jobs.push_back(Job{job, [answers, job, i, bit] {
                                   answers->values[i] = job->textData();
                                   answers->took |= bit;
                               }});
        }
    }
    m_read = RunJobs(std::move(jobs), [this, answers](bool ok, const QString& error) {
        for (size_t i = 0; i < std::size(kPasswordFields); ++i) {
            const PasswordField& e = kPasswordFields[i];
            if (!(answers->took & e.bit) || !(m_settings.PasswordsToRead & e.bit)) {
                continue;
            }
            // A password typed meanwhile is the newer one.
            if ((m_settings.*e.value).isEmpty()) {
                m_settings.*e.value = answers->values[i];
            }
            m_settings.*e.kept = answers->values[i];
            m_settings.PasswordsToRead &= ~e.bit;
        }
        EndRead(ok, error);
    });
}

void PasswordStore::EndRead(bool ok, const QString& error) {
    m_reading = false;
    m_read.reset();
    m_error = ok ? QString() : error;
    std::vector<Waiting> waiting;
    waiting.swap(m_waiting);
    // A caller that came during the read for a password it did not ask for reads again after it.
    std::vector<Waiting> answered;
    for (Waiting& w : waiting) {
        if (ok && (w.wanted & ~m_asked & m_settings.PasswordsToRead) != 0) {
            m_waiting.push_back(std::move(w));
        } else {
            answered.push_back(std::move(w));
        }
    }
    m_asked = 0;
    if (!m_waiting.empty()) {
        m_reading = true;
        m_startQueued = true;
        QMetaObject::invokeMethod(this, &PasswordStore::StartRead, Qt::QueuedConnection);
    }
    for (const Waiting& w : answered) {
        w.done(ok);
    }
    emit ReadFinished(ok);
}

void PasswordStore::GiveUpRead() {
    const QString why = QStringLiteral("the program could not wait for the keyring");
    if (m_read) {
        m_read->Finish(false, why);
    } else if (m_reading) {
        EndRead(false, why);
    } else if (m_error.isEmpty()) {
        m_error = why;
    }
}

// ---- Writing ----

void PasswordStore::Keep(std::function<bool()> save) {
    const int outside = m_settings.PasswordsOutsideKeyring();
    QStringList values;
    for (const PasswordField& e : kPasswordFields) {
        values << m_settings.*e.value;
    }
    if (outside == 0 || m_writing || m_absentTold ||
        (m_refused == outside && m_refusedValues == values)) {
        return;
    }
    const QString file = SettingsFilePath();
    if (!KeyringOnBus()) {
        m_absentTold = true;
        emit Message(QStringLiteral("No desktop keyring answers on the session bus: the passwords "
                                    "are kept in the settings file %1, readable by you only.")
                         .arg(file));
        return;
    }
    std::vector<Job> jobs;
    for (const PasswordField& e : kPasswordFields) {
        if (outside & e.bit) {
            auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(e.keyringName));
            job->setTextData(m_settings.*e.value);
            jobs.push_back(Job{job, [] {}});
        }
    }
    m_writing = true;
    RunJobs(std::move(jobs), [=, this](bool ok, const QString& error) {
        m_writing = false;
        if (!ok) {
            m_refused = outside;
            m_refusedValues = values;
            emit Message(QStringLiteral("The desktop keyring did not take the passwords (%1): "
                                        "they stay in the settings file %2, readable by you only.")
                             .arg(error, file));
            return;
        }
        for (size_t i = 0; i < std::size(kPasswordFields); ++i) {
            const PasswordField& e = kPasswordFields[i];
            if (outside & e.bit) {
                m_settings.*e.kept = values[qsizetype(i)];
                m_settings.PasswordsInKeyring |= e.bit;
                m_settings.PasswordsToRead &= ~e.bit;
            }
        }
        if (save) {
            save();  // without the values the keyring now holds
        }
    });
}

}  // namespace qv
