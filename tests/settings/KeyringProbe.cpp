// The password store in a process of its own, on the session bus its environment names (a
// process keeps the first bus it connects to).
//
//   keyring_probe keep MS    loads the settings, saves them and moves the passwords the file holds
//                            into the keyring, waiting at most MS ms; prints each message
//   keyring_probe read MS    loads the settings and reads the keyring's passwords, waiting at most
//                            MS ms; prints "query=..." and "ftp=...", or "error: ..." and ends 1
//   keyring_probe read-query MS    the same, asking only for the HTTP query password
// With a third argument GIVE_UP, a read is given up after GIVE_UP ms, as at shutdown.
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

#include "settings/PasswordStore.h"
#include "settings/SettingsRecord.h"

using namespace qv;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    SettingsRecord s;
    LoadSettings(s);
    PasswordStore store(s);
    store.SetBound(std::chrono::milliseconds(args.value(1).toInt()));
    QObject::connect(&store, &PasswordStore::Message,
                     [](const QString& text) { std::printf("message: %s\n", qPrintable(text)); });
    if (args.value(0).startsWith(QLatin1String("read"))) {
        const int wanted = args.value(0) == QLatin1String("read-query")
                               ? kKeyringQueryPassword
                               : kKeyringQueryPassword | kKeyringFTPPassword;
        store.Read(
            [&](bool ok) {
                if (ok) {
                    std::printf("query=%s\nftp=%s\n", qPrintable(s.PasswordQueryString),
                                qPrintable(s.FTPPassword));
                } else {
                    std::printf("error: %s\n", qPrintable(store.ErrorText()));
                }
                QCoreApplication::exit(ok ? 0 : 1);
            },
            wanted);
        if (args.size() > 2) {
            QTimer::singleShot(args[2].toInt(), &store, &PasswordStore::GiveUpRead);
        }
        return app.exec();
    }
    if (args.value(0) != QLatin1String("keep")) {
        return 2;
    }
    if (!SaveSettings(s, 0)) {
        return 1;
    }
    store.Keep([&s] { return SaveSettings(s, 0); });
    // Ends when the keyring has answered the write (or was never asked).
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&store] {
        if (!store.IsWriting()) {
            QCoreApplication::quit();
        }
    });
    poll.start(50);
    return app.exec();
}
