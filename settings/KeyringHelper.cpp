// quorvane-keyring: one question to the desktop keyring, for a process that keeps QtDBus and
// QtKeychain out of its own memory (the headless watcher and the other commands of quorvane-cli):
//
//   quorvane-keyring on-bus              status 0 when a keyring answers on the session bus
//   quorvane-keyring read SERVICE KEY    writes the entry's value to standard output
//   quorvane-keyring write SERVICE KEY   stores what standard input holds
//
// Status 0 done, 1 no keyring on the bus, 2 wrong use, 3 no such entry, 4 failed (the reason on
// standard output). Values travel on the pipes only, never in the arguments.
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <memory>

#include "settings/KeyringBackend.h"

extern "C" qv::KeyringBackend* qv_create_keyring_backend();

using namespace qv;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const std::unique_ptr<KeyringBackend> backend(qv_create_keyring_backend());
    if (args == QStringList{QStringLiteral("on-bus")}) {
        return backend->OnBus() ? 0 : 1;
    }
    const bool reading = args.value(0) == QLatin1String("read");
    if ((!reading && args.value(0) != QLatin1String("write")) || args.size() != 3) {
        std::fputs("usage: quorvane-keyring on-bus | read SERVICE KEY | write SERVICE KEY\n",
                   stderr);
        return 2;
    }
    int status = -1;
    const KeyringBackend::Done done = [&status](KeyringBackend::Status answer,
                                                const QString& text) {
        const QByteArray bytes = text.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fflush(stdout);
        status = answer == KeyringBackend::kOk ? 0 : answer == KeyringBackend::kNotFound ? 3 : 4;
        QCoreApplication::quit();
    };
    if (reading) {
        backend->Read(args[1], args[2], &app, done);
    } else {
        QFile input;
        input.open(stdin, QIODevice::ReadOnly);
        backend->Write(args[1], args[2], QString::fromUtf8(input.readAll()), &app, done);
    }
    if (status < 0) {
        QCoreApplication::exec();
    }
    return status;
}
