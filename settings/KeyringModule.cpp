// The keyring module: QtKeychain jobs and the session bus check, behind KeyringBackend.
#include <qt6keychain/keychain.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "settings/KeyringBackend.h"

namespace qv {
namespace {

class QtKeychainBackend : public KeyringBackend {
  public:
    bool OnBus() override {
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

    void Read(const QString& service, const QString& key, QObject* context, Done done) override {
        auto* job = new QKeychain::ReadPasswordJob(service);
        job->setKey(key);
        Start(
            job, context, [job, done] { done(kOk, job->textData()); }, done);
    }

    void Write(const QString& service, const QString& key, const QString& value, QObject* context,
               Done done) override {
        auto* job = new QKeychain::WritePasswordJob(service);
        job->setKey(key);
        job->setTextData(value);
        Start(
            job, context, [done] { done(kOk, QString()); }, done);
    }

  private:
    // The job deletes itself after its answer.
    static void Start(QKeychain::Job* job, QObject* context, std::function<void()> success,
                      Done done) {
        QObject::connect(job, &QKeychain::Job::finished, context,
                         [success, done](QKeychain::Job* j) {
                             if (j->error() == QKeychain::NoError) {
                                 success();
                             } else {
                                 done(j->error() == QKeychain::EntryNotFound ? kNotFound : kFailed,
                                      j->errorString());
                             }
                         });
        job->start();
    }
};

}  // namespace
}  // namespace qv

extern "C" Q_DECL_EXPORT qv::KeyringBackend* qv_create_keyring_backend() {
    return new qv::QtKeychainBackend;
}
