// The program on a real X server (Xvfb) with a real notification area (trayer): the tray icon
// is embedded and drawn, comes back after the panel restarts, a screenshot shows the window and
// the icon, and a second start of the real program brings the hidden first one forward. Also a
// StatusNotifierItem tray on a private D-Bus session bus, and the end of the X server.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "forwarding/Forwarder.h"
#include "network/AddressList.h"
#include "platform/NetTables.h"
#include "platform/Prompter.h"
#include "platform/Resolver.h"
#include "resources/Ids.h"
#include "settings/SettingsRecord.h"
#include "shell/Application.h"
#include "shell/MainWindow.h"
#include "tests/support/FakeApp.h"
#include "tests/support/FakeMachine.h"
#include "tests/support/RecordingWebHost.h"
#include "views/ControlPane.h"
#include "watch/ForwardingCommands.h"

extern char** environ;

namespace qv {
namespace {

using test::WaitFor;

// ---- the X server and the panel, started before the application object ----

pid_t g_xvfb = -1;
pid_t g_trayer = -1;
QString g_display;
QString g_skip;

pid_t Spawn(const std::vector<std::string>& args, int stdoutFd = -1) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Stop(pid_t& pid) {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

// Starts an X server of its own; `display` gets its name (":N").
bool StartXvfb(pid_t& pid, QString& display) {
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty()) {
        g_skip = "Xvfb is not installed (scripts/install-deps.sh installs xvfb)";
        return false;
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        return false;
    }
    pid = Spawn({xvfb.toStdString(), "-displayfd", std::to_string(fds[1]), "-screen", "0",
                 "1280x800x24", "-nolisten", "tcp"});
    ::close(fds[1]);
    std::string number;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    ::close(fds[0]);
    if (pid < 0 || number.empty()) {
        g_skip = "Xvfb did not start";
        return false;
    }
    display = QStringLiteral(":") + QString::fromStdString(number);
    return true;
}

bool StartTrayer() {
    const QString trayer = QStandardPaths::findExecutable("trayer");
    if (trayer.isEmpty()) {
        g_skip = "trayer is not installed (scripts/install-deps.sh installs it)";
        return false;
    }
    g_trayer = Spawn({trayer.toStdString(), "--edge", "top", "--align", "right", "--widthtype",
                      "pixel", "--width", "96", "--heighttype", "pixel", "--height", "32",
                      "--transparent", "false", "--tint", "0x404040", "--SetDockType", "true"});
    return g_trayer > 0;
}

// Where trayer stands: 96 x 32 pixels at the top right of the 1280 x 800 screen.
const QRect kPanel(1280 - 96, 0, 96, 32);

// Pixels of the tray icon's orange arrow inside `area` of `image`.
int OrangePixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 200 && c.green() > 110 && c.green() < 200 && c.blue() < 90;
        }
    }
    return count;
}

class DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!g_skip.isEmpty()) {
            GTEST_SKIP() << g_skip.toStdString();
        }
        QFile::remove(SettingsFilePath());
        auto s = OpenSettings();
        s->setValue("Data/InterfaceNum", "0x2");
        s->setValue("Data/NICDescription", "enp3s0");
    }

    void StartApp() {
        app = std::make_unique<Application>(test::AppOptions(tables, resolver, runtime.path()));
        ASSERT_TRUE(app->InitInstance());
        frame = app->Frame();
    }

    // The icon is in the panel and the panel has drawn it.
    void ExpectIconEmbedded() {
        ASSERT_TRUE(WaitFor([&] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
        ASSERT_TRUE(WaitFor([&] { return frame->Tray().IsShown(); }, 10000));
        EXPECT_TRUE(frame->Tray().SystemTrayIcon()->isVisible());
        // The panel at the top right shows the icon's orange arrow.
        ASSERT_TRUE(WaitFor(
            [&] {
                return OrangePixels(QGuiApplication::primaryScreen()->grabWindow(0).toImage(),
                                    kPanel) > 3;
            },
            10000));
        EXPECT_EQ(frame->Tray().SystemTrayIcon()->toolTip(), "IP Address: 192.168.7.23");
    }

    test::FakeTables tables;
    test::FakeResolver resolver;
    QTemporaryDir runtime;
    std::unique_ptr<Application> app;
    MainWindow* frame = nullptr;
};

TEST_F(DesktopTest, WindowAndTrayIconOnScreen) {
    StartApp();
    ASSERT_TRUE(frame->isVisible());
    ExpectIconEmbedded();
    ASSERT_TRUE(WaitFor([&] { return frame->CtrlView()->IsPolling(); }, 10000));
    QTest::qWait(300);  // let the window finish painting

    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QString path = QDir(QStringLiteral(QV_TEST_OUTPUT_DIR)).filePath("desktop-with-tray.png");
    ASSERT_TRUE(shot.save(path));
    std::printf("Screenshot: %s\n", qPrintable(path));
    // The window is drawn where it stands (the bare X server's background is black): the middle
    // of its menu bar, where no control's dark border can fall.
    const QPoint middle(frame->geometry().center().x(), frame->geometry().top() + 3);
    EXPECT_NE(shot.pixelColor(middle), QColor(Qt::black));
    EXPECT_GT(OrangePixels(shot, kPanel), 3);
}

TEST_F(DesktopTest, IconComesBackWhenThePanelRestarts) {
    // The panel starts after the program (an autostart at log-in) ...
    Stop(g_trayer);
    ASSERT_TRUE(WaitFor([&] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
    StartApp();
    EXPECT_FALSE(frame->Tray().IsShown());
    ASSERT_TRUE(StartTrayer());
    ExpectIconEmbedded();
    // ... and restarts.
    Stop(g_trayer);
    ASSERT_TRUE(WaitFor([&] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
    ASSERT_TRUE(WaitFor([&] { return !frame->Tray().IsShown(); }, 5000));
    ASSERT_TRUE(StartTrayer());
    ExpectIconEmbedded();
}

// The map state of the program's main window (the 825 x 540 top-level window called
// "Quorvane") on the display, as xwininfo reports it; "none" while there is no such window.
QString FrameMapState() {
    QProcess tree;
    tree.start("xwininfo", {"-display", g_display, "-root", "-tree"});
    tree.waitForFinished(5000);
    QString id;
    const QString all = QString::fromUtf8(tree.readAllStandardOutput());
    for (const QString& line : all.split('\n')) {
        if (line.contains("\"Quorvane\": (\"quorvane\"") && line.contains(" 825x540+")) {
            id = line.trimmed().section(' ', 0, 0);
        }
    }
    if (id.isEmpty()) {
        return QStringLiteral("none");
    }
    QProcess info;
    info.start("xwininfo", {"-display", g_display, "-id", id});
    info.waitForFinished(5000);
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    const qsizetype at = out.indexOf("Map State: ");
    return at < 0 ? QStringLiteral("none") : out.mid(at + 11).section('\n', 0, 0).trimmed();
}

// The environment of a start of the program on `display`, with its settings (`conf`) and its
// runtime folder in `home`.
QProcessEnvironment ProgramEnvironment(const QTemporaryDir& home, const QString& display,
                                       const QByteArray& conf) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("run"));
    QDir().mkpath(home.filePath("config/Calvort"));
    QDir().mkpath(home.filePath("run"));
    QFile::setPermissions(home.filePath("run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile file(home.filePath("config/Calvort/Quorvane.conf"));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(conf);
    }
    return env;
}

TEST_F(DesktopTest, SecondStartOfTheProgramShowsTheHiddenFirstAndEnds) {
    if (QStandardPaths::findExecutable("xwininfo").isEmpty()) {
        GTEST_SKIP() << "xwininfo is not installed (x11-utils)";
    }
    QTemporaryDir home;
    // Started hidden, watching the loopback interface that every machine has; no router asked.
    const QProcessEnvironment env = ProgramEnvironment(
        home, g_display,
        "[Settings]\nHideOnStartup=1\nAskRouter=0\n[Data]\nInterfaceNum=0x1\nNICDescription=lo\n");
    QProcess first;
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(QStringLiteral(QV_PROGRAM), {});
    ASSERT_TRUE(first.waitForStarted(5000));
    // Started hidden: its icon appears in the panel, its window stays off the screen.
    ASSERT_TRUE(WaitFor(
        [] {
            return OrangePixels(QGuiApplication::primaryScreen()->grabWindow(0).toImage(), kPanel) >
                   3;
        },
        20000));
    QTest::qWait(500);
    EXPECT_NE(FrameMapState(), "IsViewable");

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(QV_PROGRAM), {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(WaitFor([&] { return FrameMapState() == QStringLiteral("IsViewable"); }, 10000))
        << FrameMapState().toStdString();

    // A terminating signal ends it by the ordinary road: settings saved, exit code 0.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    QSettings stored(home.filePath("config/Calvort/Quorvane.conf"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Settings/HideOnStartup").toInt(), 1);
    EXPECT_TRUE(stored.contains("Settings/EnableFlags"));
}

// Waits for the next line that `p` prints.
QString NextLine(QProcess& p, int timeoutMs = 20000) {
    while (!p.canReadLine()) {
        if (!p.waitForReadyRead(timeoutMs)) {
            return QStringLiteral("<nothing>");
        }
    }
    return QString::fromUtf8(p.readLine()).trimmed();
}

// A private D-Bus session bus with a StatusNotifierWatcher of the test's own: the program's icon
// goes there instead of into trayer, and the item's Activate (one click) opens the window.
TEST_F(DesktopTest, SingleActivationOfTheStatusNotifierItemOpensTheWindow) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty() ||
        QStandardPaths::findExecutable("xwininfo").isEmpty()) {
        GTEST_SKIP() << "dbus-daemon or xwininfo is not installed (scripts/install-deps.sh)";
    }
    QProcess modules;
    modules.start("/usr/bin/python3", {"-c", "import dbus, gi.repository.GLib"});
    if (!modules.waitForFinished(10000) || modules.exitCode() != 0) {
        GTEST_SKIP() << "python3-dbus and python3-gi are not installed (scripts/install-deps.sh)";
    }
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    const QString address = NextLine(bus);
    ASSERT_TRUE(address.startsWith("unix:")) << address.toStdString();
    QTemporaryDir home;
    QProcessEnvironment env = ProgramEnvironment(
        home, g_display,
        "[Settings]\nHideOnStartup=1\nAskRouter=0\n[Data]\nInterfaceNum=0x1\nNICDescription=lo\n");
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);

    QProcess watcher;
    watcher.setProcessEnvironment(env);
    watcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    watcher.start("/usr/bin/python3", {QStringLiteral(QV_WATCHER_SCRIPT)});
    ASSERT_EQ(NextLine(watcher), "ready");

    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(QV_PROGRAM), {});
    const QString item = NextLine(watcher);
    ASSERT_TRUE(item.startsWith("item ")) << item.toStdString();
    // Hidden behind its icon, which is there.
    QTest::qWait(500);
    EXPECT_NE(FrameMapState(), "IsViewable");

    QProcess click;
    click.setProcessEnvironment(env);
    click.start("dbus-send",
                {"--session", "--print-reply", "--dest=" + item.mid(5), "/StatusNotifierItem",
                 "org.kde.StatusNotifierItem.Activate", "int32:10", "int32:10"});
    ASSERT_TRUE(click.waitForFinished(10000));
    EXPECT_EQ(click.exitCode(), 0) << click.readAllStandardError().toStdString();
    EXPECT_TRUE(WaitFor([] { return FrameMapState() == QStringLiteral("IsViewable"); }, 10000))
        << FrameMapState().toStdString();

    program.terminate();
    EXPECT_TRUE(program.waitForFinished(20000));
    watcher.kill();
    bus.kill();
    watcher.waitForFinished(5000);
    bus.waitForFinished(5000);
}

// The child process of DisplayLossTakesTheShutdownRoad: the application object on the made-up
// machine with the display it is given, forwarding the address to the web host of its settings; it
// says "ready" once the host has the address and an off-line notice is owed.
int RunDisplayLossChild(int argc, char** argv) {
    QApplication qapp(argc, argv);
    test::FakeTables tables;
    test::FakeResolver resolver;
    Application app(test::AppOptions(tables, resolver, QString()));
    if (!app.InitInstance()) {
        return 3;
    }
    MainWindow* frame = app.Frame();
    Forwarder& forwarder = frame->CtrlView()->OwnForwarder();
    WaitFor([&] { return frame->CtrlView()->IsPolling(); }, 20000);
    frame->OnCommand(kCmdTrayManualSend);
    if (!WaitFor([&] { return forwarder.m_httpForwarded && !forwarder.IsBusy(); }, 20000)) {
        return 4;
    }
    frame->CtrlView()->Settings().CheckTime = 17;  // saved only on the way out
    std::printf("ready\n");
    std::fflush(stdout);
    return app.ExitInstance(qapp.exec());
}

TEST_F(DesktopTest, DisplayLossTakesTheShutdownRoad) {
    pid_t xvfb = -1;
    QString display;
    ASSERT_TRUE(StartXvfb(xvfb, display));
    test::RecordingWebHost host;
    QTemporaryDir home;
    const QProcessEnvironment env = ProgramEnvironment(
        home, display,
        "[Settings]\nEnableFlags=0 1 0 1 0 0 0 0 0 0 0 0 0\nHTTPTargetURL=" + host.Url().toUtf8() +
            "\n[Data]\nInterfaceNum=0x2\nNICDescription=enp3s0\n");
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {"--display-loss-child"});
    ASSERT_EQ(NextLine(child), "ready");
    EXPECT_EQ(host.Queries(), QStringList{"IPAddress=192.168.7.23"});

    Stop(xvfb);  // the X server ends, as at log-out
    ASSERT_TRUE(child.waitForFinished(20000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(host.Queries(), (QStringList{"IPAddress=192.168.7.23", "IPAddress="}));
    QSettings stored(home.filePath("config/Calvort/Quorvane.conf"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Settings/CheckTime").toInt(), 17);
    EXPECT_EQ(stored.value("Data/NICDescription").toString(), "enp3s0");
    EXPECT_FALSE(stored.value("Data/HostName").toString().isEmpty());
}

}  // namespace
}  // namespace qv

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--display-loss-child") {
        return qv::RunDisplayLossChild(argc, argv);
    }
    bool listing = false;
    for (int i = 1; i < argc; ++i) {
        listing |= std::string(argv[i]).rfind("--gtest_list_tests", 0) == 0;
    }
    // No test touches the user's own settings or data.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    if (listing) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (qv::StartXvfb(qv::g_xvfb, qv::g_display)) {
        qputenv("DISPLAY", qv::g_display.toUtf8());
        qputenv("QT_QPA_PLATFORM", "xcb");
        if (!qv::StartTrayer()) {
            qv::g_skip = "trayer did not start";
        }
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int rc;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    qv::Stop(qv::g_trayer);
    qv::Stop(qv::g_xvfb);
    return rc;
}
