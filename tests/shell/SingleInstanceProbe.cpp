// A stand-in for the program's start: claims the single-instance marker and reports on its
// standard output what happened ("first", "second", "failed: ..."); the first copy then prints
// "activated" each time a later copy asks it to show itself, and ends when its standard input
// closes or says "quit". With "--watcher" it plays the headless watcher; a later program copy
// then says "second behind a watcher".
#include <QCoreApplication>
#include <QSocketNotifier>

#include <unistd.h>
#include <cstdio>

#include "platform/SingleInstance.h"

namespace {

void Say(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool watcher = argc > 1 && QByteArray(argv[1]) == "--watcher";
    qv::SingleInstance instance(
        qv::InstanceFolder(), nullptr,
        watcher ? qv::SingleInstance::Watcher : qv::SingleInstance::Program);
    switch (instance.Claim()) {
        case qv::SingleInstance::Second:
            Say(instance.OtherIsWatcher() ? "second behind a watcher" : "second");
            return 0;
        case qv::SingleInstance::Failed:
            std::printf("failed: %s\n", qPrintable(instance.ErrorText()));
            return 1;
        case qv::SingleInstance::First:
            break;
    }
    QObject::connect(&instance, &qv::SingleInstance::ActivationRequested, [] { Say("activated"); });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0 || QByteArray(buffer, int(n)).contains("quit")) {
            app.quit();
        }
    });
    Say("first");
    return app.exec();
}
