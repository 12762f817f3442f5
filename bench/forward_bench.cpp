// Times one HTTP forwarding against `curl -X POST -d ''` of the same URL run as a whole process, on
// a loopback server, and prints the medians and their ratio. Also times a posted address-change
// command (Command::SelectionChanged with automatic forwarding on) until its request reaches the
// server, connection check included, and `quorvane-cli send` as a whole process (its settings in a
// folder of its own, the loopback address ticked, no router asked) against curl, the runs in turn.
//
// Given the floor program as well, it times it in turn with them: Qt and one POST through the
// program's transfer client, as a whole process, the least a send of a Qt program can take.
//
// Build and run (not part of ctest), with an optional number of runs (default 200), the CLI and
// the floor:
//     cmake --build build --target forwarding_bench footprint_floor
//     cd build/tests/forwarding && ./forwarding_bench 200 ../../cli/quorvane-cli ./footprint_floor

#include <httplib.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "forwarding/Forwarder.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Nobody to ask: every question takes its negative answer.
class Nobody : public qv::UserQuestions {
  public:
    void Ask(const QString&, const QString&, qv::IPrompter::Buttons, qv::IPrompter::Icon,
             std::function<void(int)> answer) override {
        if (answer) {
            answer(qv::IPrompter::AnswerNo);
        }
    }
    void Notice(const QString&, qv::IPrompter::Icon, unsigned) override {}
    void ShowHostResponse(const QString&, const QString&) override {}
    void AskCredentials(const QString&, const QString&, CredentialsAnswer answer) override {
        answer(std::nullopt);
    }
    bool IsShown() const override { return true; }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

bool Spawn(const char* const* argv) {
    pid_t pid = 0;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned =
        posix_spawnp(&pid, argv[0], &quiet, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool RunCurl(const std::string& url) {
    // An empty body (-d ''), as the forwarding sends: without one curl sends no Content-Length,
    // and the server then waits for a body until its read time-out.
    const char* argv[] = {"curl", "-s", "-o", "/dev/null", "-X",
                          "POST", "-d", "",   url.c_str(), nullptr};
    return Spawn(argv);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        unsetenv(name);
    }
    QCoreApplication app(argc, argv);

    std::atomic<long long> arrived{0};
    httplib::Server server;
    server.Post("/dyn/StoreIP.asp", [&](const httplib::Request&, httplib::Response& res) {
        arrived = Clock::now().time_since_epoch().count();
        res.set_content("<html>stored</html>", "text/html");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    const std::string path = "/dyn/StoreIP.asp";
    const std::string base = "http://127.0.0.1:" + std::to_string(port) + path;

    Nobody nobody;
    qv::SettingsRecord settings;
    settings.HTTPTargetURL = QString::fromStdString(base);
    settings.NotifyOnSend = false;
    settings.UserIDQueryString = QStringLiteral("joe");
    settings.StoredTargets.http = settings.HTTPTargetURL;
    qv::ForwarderOptions options;
    qv::Forwarder fwd(
        {settings, nobody, [] { return QStringLiteral("192.168.1.20"); }, [] { return QString(); }},
        options);
    fwd.ParseTargetURL(settings.HTTPTargetURL, qv::kServiceHttp);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) +
                            fwd.BuildRequestObject(QStringLiteral("192.168.1.20")).toStdString();

    for (int i = 0; i < 5; ++i) {  // warm up both sides
        fwd.HTTPForward(QStringLiteral("192.168.1.20"));
        RunCurl(url);
    }

    std::vector<double> forward, curl, posted;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        fwd.HTTPForward(QStringLiteral("192.168.1.20"));
        forward.push_back(Ms(Clock::now() - start));
    }
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!RunCurl(url)) {
            std::fprintf(stderr, "curl failed; is it installed?\n");
            return 1;
        }
        curl.push_back(Ms(Clock::now() - start));
    }
    settings.AutoForward = true;
    for (int i = 0; i < runs; ++i) {
        const long long before = arrived.load();
        const auto start = Clock::now();
        QMetaObject::invokeMethod(
            &app, [&] { fwd.OnAddressChanged(); }, Qt::QueuedConnection);
        while (arrived.load() == before || fwd.IsBusy()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        const auto at = Clock::time_point(Clock::duration(arrived.load()));
        posted.push_back(Ms(at - start));
    }

    // quorvane-cli send and curl, in turn.
    std::vector<double> cliSend, cliCurl, floor;
    QTemporaryDir home;
    if (argc > 2) {
        QSettings stored(home.filePath("Calvort/Quorvane.conf"), QSettings::IniFormat);
        stored.setValue("Settings/HTTPTargetURL", QString::fromStdString(base));
        stored.setValue("Settings/AskRouter", 0);
        stored.setValue("Data/InterfaceNum", "0x1");
        stored.setValue("Data/NICDescription", "lo");
        stored.sync();
        setenv("XDG_CONFIG_HOME", qPrintable(home.path()), 1);
        const char* send[] = {argv[2], "send", nullptr};
        const char* floorRun[] = {argc > 3 ? argv[3] : nullptr, url.c_str(), "--once", nullptr};
        for (int i = 0; i < runs; ++i) {
            auto start = Clock::now();
            if (!Spawn(send)) {
                std::fprintf(stderr, "%s send failed\n", argv[2]);
                return 1;
            }
            cliSend.push_back(Ms(Clock::now() - start));
            start = Clock::now();
            RunCurl(url);
            cliCurl.push_back(Ms(Clock::now() - start));
            if (floorRun[0]) {
                start = Clock::now();
                if (!Spawn(floorRun)) {
                    std::fprintf(stderr, "%s failed\n", floorRun[0]);
                    return 1;
                }
                floor.push_back(Ms(Clock::now() - start));
            }
        }
    }

    server.stop();
    serving.join();

    const double f = Median(forward), c = Median(curl), p = Median(posted);
    std::printf("runs: %d (medians)\n", runs);
    std::printf("HTTPForward, in process:               %8.3f ms\n", f);
    std::printf("curl -X POST -d '', whole process:     %8.3f ms\n", c);
    std::printf("ratio HTTPForward / curl:              %8.3f\n", f / c);
    std::printf("selection change -> request at server: %8.3f ms (connection check included)\n", p);
    if (!cliSend.empty()) {
        const double cs = Median(cliSend), cc = Median(cliCurl);
        std::printf("quorvane-cli send, whole process:      %8.3f ms\n", cs);
        std::printf("curl, whole process, in turn with it:  %8.3f ms\n", cc);
        std::printf("ratio quorvane-cli send / curl:        %8.3f\n", cs / cc);
    }
    if (!floor.empty()) {
        const double fl = Median(floor), cc = Median(cliCurl);
        std::printf("floor: Qt and one transfer, process:   %8.3f ms\n", fl);
        std::printf("ratio floor / curl:                    %8.3f\n", fl / cc);
    }
    return 0;
}
