// The application object and the main frame, in this process with made-up network tables.
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>

#include "forwarding/Forwarder.h"
#include "network/AddressList.h"
#include "platform/NetTables.h"
#include "platform/Prompter.h"
#include "platform/Resolver.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "settings/SettingsRecord.h"
#include "shell/AboutDialog.h"
#include "shell/Application.h"
#include "shell/MainWindow.h"
#include "tests/support/FakeApp.h"
#include "tests/support/FakeMachine.h"
#include "tests/support/RecordingWebHost.h"
#include "views/AddressListView.h"
#include "views/ControlPane.h"
#include "watch/ForwardingCommands.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& s, std::ostream* os) {
    *os << '[' << s.join(QStringLiteral("] [")).toStdString() << ']';
}
QT_END_NAMESPACE

namespace qv {
namespace {

using test::WaitFor;

// Answers message boxes from a script and keeps what they said.
class ScriptedPrompter : public IPrompter {
  public:
    int MessageBox(const QString& text, const QString&, Buttons, Icon) override {
        texts << text;
        if (whileOpen) {
            whileOpen();
        }
        return answer;
    }
    QStringList texts;
    int answer = AnswerNo;
    std::function<void()> whileOpen;  // runs as if the box were waiting for the user
};

// One run of the program: the application object started on the made-up tables, with its own
// settings file contents and runtime folder.
class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QFile::remove(SettingsFilePath());
        SetPrompter(&prompter);
        // The Ethernet address was chosen in an earlier run.
        Store("Data/InterfaceNum", "0x2");
        Store("Data/NICDescription", "enp3s0");
    }
    void TearDown() override {
        app.reset();
        SetPrompter(nullptr);
        QFile::remove(SettingsFilePath());
    }

    void Store(const QString& key, const QVariant& value) {
        auto s = OpenSettings();
        s->setValue(key, value);
    }

    void Start() {
        app = std::make_unique<Application>(test::AppOptions(tables, resolver, runtime.path()));
        ASSERT_TRUE(app->InitInstance());
        frame = app->Frame();
        // The first refresh has run when polling has started.
        ASSERT_TRUE(WaitFor([&] { return frame->CtrlView()->IsPolling(); }));
    }

    // Plays a notification area that is there.
    void WithTray() {
        frame->Tray().SetTrayProbe([] { return true; });
        frame->SetTrayAddress(QStringLiteral("192.168.7.23"));
        ASSERT_TRUE(frame->Tray().IsShown());
    }

    test::FakeTables tables;
    test::FakeResolver resolver;
    ScriptedPrompter prompter;
    QTemporaryDir runtime;
    std::unique_ptr<Application> app;
    MainWindow* frame = nullptr;
};

TEST_F(AppTest, OpensCentredAt825By540WithTheMenusAndStatusBar) {
    Start();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), "Quorvane");
    EXPECT_EQ(frame->size(), QSize(825, 540));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Within the window frame's own margins of the middle.
    EXPECT_LE((frame->geometry().center() - screen.center()).manhattanLength(), 6)
        << frame->geometry().x() << "," << frame->geometry().y() << " in " << screen.width() << "x"
        << screen.height() << " frame " << frame->frameGeometry().x() << ","
        << frame->frameGeometry().y();
    EXPECT_EQ(frame->Splitter()->sizes().value(0), 137);  // beside the taller settings sheet
    EXPECT_EQ(frame->statusBar()->currentMessage(), "Ready");

    // Every command of the menus shows its prompt; Shut Down has Ctrl+Q.
    for (int command :
         {int(kCmdShutDownSys), 32773, 32782, int(kCmdStatusBar), 57670, int(kCmdFastTips)}) {
        QAction* action = frame->CommandAction(command);
        ASSERT_NE(action, nullptr) << command;
        EXPECT_FALSE(action->statusTip().isEmpty()) << command;
    }
    EXPECT_EQ(frame->CommandAction(kCmdShutDownSys)->statusTip(), "Shut down this application");
    EXPECT_EQ(frame->CommandAction(kCmdShutDownSys)->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(frame->CommandAction(57670)->statusTip(),
              "Display table of contents to documentation");
}

TEST_F(AppTest, HiddenAtStartOnlyBehindAnIconAndASecondStartShowsIt) {
    Store("Settings/HideOnStartup", 1);
    Start();  // offscreen: no notification area
    EXPECT_EQ(app->HideOnStartup(), 1);
    ASSERT_FALSE(frame->Tray().IsShown());
    EXPECT_TRUE(frame->isVisible());  // nothing else would lead to the program
    EXPECT_EQ(frame->TrayTip(), "IP Address: 192.168.7.23");

    // The second copy of the program asks this one to show its window.
    frame->hide();
    frame->OnCommand(kCmdOpen);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->isMinimized());
}

TEST_F(AppTest, F6AndShiftF6MoveTheFocusBetweenTheListAndThePane) {
    Start();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    const auto inPane = [&] {
        return frame->CtrlView()->isAncestorOf(QApplication::focusWidget());
    };
    frame->InfoView()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_TRUE(inPane());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), frame->InfoView());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_TRUE(inPane());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), frame->InfoView());
}

TEST_F(AppTest, CloseHidesWhileTheIconIsThereAndPollingGoesOn) {
    Start();
    WithTray();
    EXPECT_TRUE(frame->close() == false || !frame->isVisible());
    EXPECT_FALSE(frame->isVisible());
    EXPECT_FALSE(frame->IsShutDown());
    EXPECT_TRUE(frame->CtrlView()->IsPolling());
    EXPECT_TRUE(prompter.texts.isEmpty());
    EXPECT_TRUE(frame->Tray().IsShown());

    // A double click on the icon brings it back.
    frame->Tray().HandleTrayEvent(kTrayIconId, QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(frame->isVisible());
}

TEST_F(AppTest, WithoutANotificationAreaCloseAsksBeforeEnding) {
    Start();
    frame->Tray().SetTrayProbe([] { return false; });
    frame->SetTrayAddress(QStringLiteral("192.168.7.23"));
    ASSERT_FALSE(frame->Tray().IsShown());

    prompter.answer = IPrompter::AnswerNo;
    frame->close();
    ASSERT_EQ(prompter.texts.size(), 1);
    EXPECT_EQ(prompter.texts.at(0), LoadString(Text::ShutDownQuestion));
    EXPECT_TRUE(frame->isVisible());  // No: the window stays where the user can reach it
    EXPECT_FALSE(frame->IsShutDown());

    prompter.answer = IPrompter::AnswerYes;
    frame->close();
    EXPECT_TRUE(frame->IsShutDown());
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(AppTest, ShutDownAnsweredNoChangesNothing) {
    Start();
    WithTray();
    frame->CtrlView()->Settings().CheckTime = 42;  // not saved unless the program ends
    for (int command : {int(kCmdShutDown), int(kCmdShutDownSys)}) {
        frame->OnCommand(command);
    }
    frame->CommandAction(kCmdShutDownSys)->trigger();
    EXPECT_EQ(prompter.texts, QStringList(3, LoadString(Text::ShutDownQuestion)));
    EXPECT_FALSE(frame->IsShutDown());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(frame->Tray().IsShown());
    EXPECT_TRUE(frame->CtrlView()->IsPolling());
    EXPECT_NE(OpenSettings()->value("Settings/CheckTime").toInt(), 42);

    prompter.answer = IPrompter::AnswerYes;
    frame->Tray().Menu()->actions().last()->trigger();  // the tray menu's Shut Down
    EXPECT_TRUE(frame->IsShutDown());
    EXPECT_FALSE(frame->Tray().IsShown());
    EXPECT_FALSE(frame->CtrlView()->IsPolling());
    EXPECT_EQ(OpenSettings()->value("Settings/CheckTime").toInt(), 42);
}

TEST_F(AppTest, FastTipsShowTheListTipOnlyWhileOn) {
    Start();
    QWidget* list = frame->InfoView()->viewport();
    const QPoint at = list->mapToGlobal(QPoint(20, 20));
    const auto pointAtList = [&] {
        QToolTip::hideText();
        WaitFor([] { return !QToolTip::isVisible(); });
        QHelpEvent e(QEvent::ToolTip, QPoint(20, 20), at);
        QCoreApplication::sendEvent(list, &e);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QLabel control(frame);  // a settings page's control asking for its tip

    EXPECT_FALSE(frame->FastTips());
    EXPECT_FALSE(frame->CommandAction(kCmdFastTips)->isChecked());
    EXPECT_EQ(pointAtList(), QString());
    frame->RequestControlTip(&control, 1107, at);
    EXPECT_FALSE(QToolTip::isVisible());

    frame->CommandAction(kCmdFastTips)->trigger();
    EXPECT_TRUE(frame->FastTips());
    EXPECT_TRUE(frame->CommandAction(kCmdFastTips)->isChecked());
    const QString tip = pointAtList();
    EXPECT_TRUE(tip.contains("Each row of this view displays information")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("width=\"300\"")) << "a long tip wraps at 300 pixels";
    frame->RequestControlTip(&control, 1107, at);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_TRUE(QToolTip::text().contains("The target web and page should be"));

    frame->OnCommand(kCmdFastTips);
    EXPECT_FALSE(frame->CommandAction(kCmdFastTips)->isChecked());
    EXPECT_EQ(pointAtList(), QString());
    // Tips appear quickly while on.
    EXPECT_EQ(frame->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 50);
}

class UrlCatcher : public QObject {
    Q_OBJECT
  public slots:
    void Open(const QUrl& url) { urls << url; }

  public:
    QList<QUrl> urls;
};

TEST_F(AppTest, HelpContentsOpensTheHelpPageAndAboutShowsTheVersion) {
    Start();
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "Open");
    QTemporaryDir dir;
    const QString page = dir.filePath("quorvane.html");
    QFile(page).open(QIODevice::WriteOnly);
    frame->SetHelpPath(page);
    frame->OnCommand(57670);
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls.at(0), QUrl::fromLocalFile(page));

    // A missing page is reported instead of nothing happening.
    frame->SetHelpPath(dir.filePath("gone.html"));
    frame->OnCommand(57670);
    EXPECT_EQ(catcher.urls.size(), 1);
    ASSERT_EQ(prompter.texts.size(), 1);
    EXPECT_TRUE(prompter.texts.at(0).contains("gone.html"));
    QDesktopServices::unsetUrlHandler("file");

    frame->OnCommand(kCmdAbout);
    ASSERT_NE(frame->AboutBox(), nullptr);
    EXPECT_TRUE(frame->AboutBox()->isVisible());
    bool versionShown = false;
    for (QLabel* label : frame->AboutBox()->findChildren<QLabel*>()) {
        versionShown |= label->text() == AboutDialog::VersionText();
    }
    EXPECT_TRUE(versionShown);
    QWidget* first = frame->AboutBox();
    frame->OnCommand(57664);  // the Help menu's About: the same box, not a second one
    EXPECT_EQ(frame->AboutBox(), first);
}

TEST_F(AppTest, TerminationSignalSavesTheSettingsAndSendsTheOwedOffLineNotice) {
    test::RecordingWebHost host;
    Store("Settings/HTTPTargetURL", host.Url());
    // HTTP chosen, no automatic forwarding, no notices, no pairs beyond the address.
    Store("Settings/EnableFlags", "0 1 0 1 0 0 0 0 0 0 0 0 0");
    Start();
    ASSERT_EQ(frame->CtrlView()->SelectedIp(), "192.168.7.23");
    // The tray menu's manual send forwards the address now.
    frame->OnCommand(kCmdTrayManualSend);
    ASSERT_TRUE(WaitFor([&] { return host.Queries().size() == 1; }))
        << frame->CtrlView()->OutputText().toStdString() << "\n"
        << prompter.texts.join("\n").toStdString();
    EXPECT_EQ(host.Queries().at(0), "IPAddress=192.168.7.23");

    frame->CtrlView()->Settings().CheckTime = 17;
    std::raise(SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return frame->IsShutDown(); }));
    EXPECT_FALSE(frame->isVisible());
    ASSERT_EQ(host.Queries().size(), 2u);
    EXPECT_EQ(host.Queries().at(1), "IPAddress=");

    QSettings stored(SettingsFilePath(), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Settings/CheckTime").toInt(), 17);
    EXPECT_EQ(stored.value("Data/NICDescription").toString(), "enp3s0");
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(SettingsFilePath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(AppTest, TerminationSignalWhileAStartUpBoxIsOpenTakesTheShutdownRoad) {
    // The stored selection is gone: the first refresh says so in a box, and the signal comes
    // while it is open (its own loop serves events meanwhile).
    Store("Data/InterfaceNum", "0x9");
    Store("Data/NICDescription", "gone0");
    bool raised = false;
    prompter.whileOpen = [&] {
        if (!std::exchange(raised, true)) {
            std::raise(SIGTERM);
            QTest::qWait(200);
        }
    };
    app = std::make_unique<Application>(test::AppOptions(tables, resolver, runtime.path()));
    ASSERT_TRUE(app->InitInstance());
    EXPECT_TRUE(WaitFor([&] { return app->Frame()->IsShutDown(); }));
    EXPECT_TRUE(raised);
    EXPECT_TRUE(OpenSettings()->contains("Settings/CheckTime"));  // saved on the way out
}

}  // namespace
}  // namespace qv

#include "FrameTest.moc"
