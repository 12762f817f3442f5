#include "settings/PasswordStore.h"

#include <QEventLoop>
#include <QLibrary>
#include <QProcess>
#include <QTimer>

#include <dlfcn.h>

#include <memory>

#include "platform/InstalledFile.h"
#include "settings/KeyringBackend.h"

namespace qv {
namespace {

// The entries of one settings file: the same user may keep several (another XDG_CONFIG_HOME).
QString EntryKey() {
    return SettingsFilePath();
}

QString Seconds(std::chrono::milliseconds bound) {
    return QString::number((bound.count() + 999) / 1000);
}

// The keyring asked through the helper program quorvane-keyring, one process per question.
class KeyringHelperProcess : public KeyringBackend {
  public:
    explicit KeyringHelperProcess(QString program) : m_program(std::move(program)) {}

    bool OnBus() override {
        QProcess helper;
        helper.start(m_program, {QStringLiteral("on-bus")});
        return helper.waitForFinished(kOnBusBoundMs) &&
               helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 0;
    }
    void Read(const QString& service, const QString& key, QObject* context, Done done) override {
        Ask({QStringLiteral("read"), service, key}, {}, context, std::move(done));
    }
    void Write(const QString& service, const QString& key, const QString& value, QObject* context,
               Done done) override {
        Ask({QStringLiteral("write"), service, key}, value.toUtf8(), context, std::move(done));
    }

  private:
    static constexpr int kOnBusBoundMs = 10000;

    // The helper ends with `context` at the latest (a QProcess kills its process as it goes).
    void Ask(const QStringList& args, const QByteArray& input, QObject* context, Done done) {
        auto* helper = new QProcess(context);
        QObject::connect(helper, &QProcess::finished, context,
                         [helper, done](int code, QProcess::ExitStatus how) {
                             const QString text =
                                 QString::fromUtf8(helper->readAllStandardOutput());
                             helper->deleteLater();
                             if (how != QProcess::NormalExit) {
                                 done(kFailed, QStringLiteral("the keyring helper stopped"));
                             } else {
                                 done(code == 0 ? kOk : code == 3 ? kNotFound : kFailed, text);
                             }
                         });
        QObject::connect(helper, &QProcess::errorOccurred, context,
                         [helper, done](QProcess::ProcessError error) {
                             if (error == QProcess::FailedToStart) {
                                 helper->deleteLater();
                                 done(kFailed,
                                      QStringLiteral("the keyring helper could not be started"));
                             }
                         });
        helper->start(m_program, args);
        helper->write(input);
        helper->closeWriteChannel();
    }

    QString m_program;
};

// The keyring's libraries (QtKeychain over QtDBus) are loaded into a process that has QtDBus
// already (the program, whose tray icon speaks D-Bus); any other process asks the helper program,
// so that they never stay in a lean one such as the headless watcher. Chosen once per process.
KeyringBackend* LoadBackend(QString& error) {
    static KeyringBackend* backend = nullptr;
    static QString why;
    static bool tried = false;
    if (!tried) {
        tried = true;
        void* dbus = ::dlopen("libQt6DBus.so.6", RTLD_NOW | RTLD_NOLOAD);
        if (!dbus) {
            backend = new KeyringHelperProcess(InstalledFile(
                QV_INSTALL_LIBEXECDIR, QV_KEYRING_HELPER_NAME, QV_KEYRING_HELPER_BUILT));
            error = why;
            return backend;
        }
        ::dlclose(dbus);
        QLibrary module(
            InstalledFile(QV_INSTALL_LIBDIR, QV_KEYRING_MODULE_NAME, QV_KEYRING_MODULE_BUILT));
        const auto create =
            reinterpret_cast<CreateKeyringBackend>(module.resolve(kCreateKeyringBackend));
        if (create) {
            backend = create();
        } else {
            why = QStringLiteral("the keyring module could not be loaded (%1)")
                      .arg(module.errorString());
        }
    }
    error = why;
    return backend;
}

}  // namespace

struct PasswordStore::Job {
    QString service;
    // Starts the keyring call, which answers through the callback.
    std::function<void(KeyringBackend::Done)> start;
    std::function<void(const QString& text)> onSuccess;
};

PasswordStore::PasswordStore(InfoCtrlSettings& settings, QObject* parent)
    : QObject(parent), m_settings(settings) {}

PasswordStore::~PasswordStore() = default;

bool PasswordStore::KeyringOnBus() {
    KeyringBackend* backend = LoadBackend(m_error);
    return backend && backend->OnBus();
}

// Starts the jobs together; `done` runs once, when all have answered or the bound has passed.
void PasswordStore::RunJobs(std::vector<Job> jobs,
                            std::function<void(bool ok, const QString& error)> done) {
    struct State {
        qsizetype left = 0;
        QString error;
        bool ended = false;
        std::function<void(bool, const QString&)> done;
        QTimer* timer = nullptr;
    };
    auto state = std::make_shared<State>();
    state->left = static_cast<qsizetype>(jobs.size());
    state->done = std::move(done);
    auto finish = [state](bool ok, const QString& error) {
        if (state->ended) {
            return;
        }
        state->ended = true;
        state->timer->stop();
        state->timer->deleteLater();
        state->done(ok, error);
    };
    state->timer = new QTimer(this);
    state->timer->setSingleShot(true);
    const QString late =
        QStringLiteral("the keyring did not answer within %1 s").arg(Seconds(m_bound));
    connect(state->timer, &QTimer::timeout, this, [finish, late] { finish(false, late); });
    state->timer->start(m_bound);
    for (const Job& job : jobs) {
        job.start([state, finish, service = job.service, onSuccess = job.onSuccess](
                      KeyringBackend::Status status, const QString& text) {
            if (state->ended) {
                return;
            }
            if (status == KeyringBackend::kOk) {
                onSuccess(text);
            } else if (state->error.isEmpty()) {
                state->error = status == KeyringBackend::kNotFound
                                   ? QStringLiteral("the keyring has no entry \"%1\"").arg(service)
                                   : text;
            }
            if (--state->left == 0) {
                finish(state->error.isEmpty(), state->error);
            }
        });
    }
}

// ---- Reading ----

void PasswordStore::Read(std::function<void(bool ok)> done) {
    m_waiting.push_back(std::move(done));
    if (!m_reading) {
        m_reading = true;
        QMetaObject::invokeMethod(this, &PasswordStore::StartRead, Qt::QueuedConnection);
    }
}

void PasswordStore::StartRead() {
    if (!NeedsRead()) {
        EndRead(true, {});
        return;
    }
    if (!KeyringOnBus()) {
        EndRead(false, m_error.isEmpty()
                           ? QStringLiteral("no desktop keyring answers on the session bus")
                           : m_error);
        return;
    }
    KeyringBackend* backend = LoadBackend(m_error);
    const int wanted = m_settings.PasswordsToRead;
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
            const QString service = QString::fromLatin1(kPasswordFields[i].keyringName);
            jobs.push_back(Job{service,
                               [this, backend, service](KeyringBackend::Done done) {
                                   backend->Read(service, EntryKey(), this, std::move(done));
                               },
                               [answers, i, bit](const QString& value) {
                                   answers->values[i] = value;
                                   answers->took |= bit;
                               }});
        }
    }
    RunJobs(std::move(jobs), [this, answers](bool ok, const QString& error) {
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
    m_error = ok ? QString() : error;
    std::vector<std::function<void(bool)>> waiting;
    waiting.swap(m_waiting);
    for (const auto& done : waiting) {
        done(ok);
    }
    emit ReadFinished(ok);
}

bool PasswordStore::ReadNow(std::chrono::milliseconds bound) {
    if (!NeedsRead()) {
        return true;
    }
    struct Outcome {
        bool ended = false;
        bool ok = false;
        QEventLoop loop;
    };
    auto outcome = std::make_shared<Outcome>();
    Read([outcome](bool ok) {
        outcome->ended = true;
        outcome->ok = ok;
        outcome->loop.quit();
    });
    QTimer::singleShot(bound, &outcome->loop, [outcome] { outcome->loop.quit(); });
    if (!outcome->ended) {
        outcome->loop.exec();
    }
    if (!outcome->ended) {
        m_error = QStringLiteral("the keyring did not answer within %1 s").arg(Seconds(bound));
    }
    return outcome->ended && outcome->ok;
}

// ---- Writing ----

void PasswordStore::Keep(std::function<bool()> save) {
    const int outside = m_settings.PasswordsOutsideKeyring();
    const QString query = m_settings.PasswordQueryString;
    const QString ftp = m_settings.FTPPassword;
    if (outside == 0 || m_writing || m_absentTold ||
        (m_refused == outside && m_refusedQuery == query && m_refusedFtp == ftp)) {
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
    KeyringBackend* backend = LoadBackend(m_error);
    std::vector<Job> jobs;
    for (const PasswordField& e : kPasswordFields) {
        if (outside & e.bit) {
            const QString service = QString::fromLatin1(e.keyringName);
            const QString value = m_settings.*e.value;
            jobs.push_back(Job{service,
                               [this, backend, service, value](KeyringBackend::Done done) {
                                   backend->Write(service, EntryKey(), value, this,
                                                  std::move(done));
                               },
                               [](const QString&) {}});
        }
    }
    m_writing = true;
    RunJobs(std::move(jobs), [=, this](bool ok, const QString& error) {
        m_writing = false;
        if (!ok) {
            m_refused = outside;
            m_refusedQuery = query;
            m_refusedFtp = ftp;
            emit Message(QStringLiteral("The desktop keyring did not take the passwords (%1): "
                                        "they stay in the settings file %2, readable by you only.")
                             .arg(error, file));
            return;
        }
        for (const PasswordField& e : kPasswordFields) {
            if (outside & e.bit) {
                m_settings.*e.kept = e.bit == kKeyringQueryPassword ? query : ftp;
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
