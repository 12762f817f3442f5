#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <climits>
#include <utility>

#include "ViewsTestSupport.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "tests/support/RecordingWebHost.h"
#include "views/ControlPane.h"

namespace qv {
namespace {

using test::WaitFor;

class ControlPaneTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::RemoveSettingsFile();
        pane.SetDocument(&doc);
        pane.SetForwarding(&forwarding);
        pane.SetNoticeBox(&notice);
        pane.SetMinuteMs(40);
    }
    // Posts a command and lets the event loop run it, and the work it started.
    void Run(Command command) {
        pane.PostPaneCommand(command);
        Settle();
    }
    void Settle() {
        QCoreApplication::sendPostedEvents();
        QElapsedTimer waited;
        waited.start();
        while (pane.IsBusy() && waited.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            QCoreApplication::sendPostedEvents();
        }
    }

    test::FakeDoc doc;
    test::RecordingForwarding forwarding;
    test::FakeNotice notice;
    ControlPane pane;
};

TEST_F(ControlPaneTest, CommandsRunAfterThePosterHasReturned) {
    pane.OnInitialUpdate();
    // The initial update asks for the first refresh; it has not run yet.
    EXPECT_EQ(doc.refreshes, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(doc.refreshes, 1);

    // A document that posts 32800 while the pane runs a refresh: the forwarding comes after it.
    pane.Settings().AutoForward = true;
    bool sentDuringRefresh = false;
    doc.during = [&] {
        pane.PostPaneCommand(Command::SelectionChanged);
        sentDuringRefresh = !forwarding.calls.filter("Send").isEmpty();
    };
    Run(Command::Refresh);
    doc.during = nullptr;
    EXPECT_FALSE(sentDuringRefresh);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(forwarding.calls.filter("Send"), QStringList{"SendHTTP"});
}

TEST_F(ControlPaneTest, ForwardingCommandsFollowTheSettings) {
    pane.Settings().AutoForward = false;
    Run(Command::SelectionChanged);
    EXPECT_TRUE(forwarding.calls.isEmpty());
    Run(Command::ManualSend);  // sends whatever AutoForward says
    pane.Settings().Method = ForwardMethod::Ftp;
    Run(Command::ManualSend);
    pane.Settings().AutoForward = true;
    Run(Command::SelectionChanged);
    Run(Command::SendHttp);
    Run(Command::SendFtp);
    Run(Command::HttpOffLine);
    Run(Command::FtpOffLine);
    EXPECT_EQ(forwarding.calls, (QStringList{"SendHTTP", "SendFTP", "SendFTP", "SendHTTP",
                                             "SendFTP", "NotifyOffLineHTTP", "NotifyOffLineFTP"}));
    pane.SetForwarding(nullptr);  // nothing attached: the commands do nothing
    Run(Command::ManualSend);
}

// A sheet whose General page holds values set by the test.
class FakeSheet : public IPaneSheet {
  public:
    SettingsRecord general;
    int hide = 0;
    QStringList calls;
    QWidget widget;
    QWidget* Widget() override { return &widget; }
    void TakePage(Page page, SettingsRecord& s, int& hideOnStartup) override {
        calls << QStringLiteral("Take%1").arg(page);
        if (page == kGeneral) {
            s.AutoForward = general.AutoForward;
            s.Method = general.Method;
            s.CheckForChange = general.CheckForChange;
            s.CheckTime = general.CheckTime;
            hideOnStartup = hide;
        }
    }
    void FillPage(Page page, const SettingsRecord&, int) override {
        calls << QStringLiteral("Fill%1").arg(page);
    }
};

TEST_F(ControlPaneTest, TakingTheGeneralPage) {
    FakeSheet fake;
    FakeSheet* sheet = &fake;
    pane.SetSheet(sheet);
    pane.Settings().AutoForward = false;
    pane.Settings().Method = ForwardMethod::Http;

    // Automatic forwarding switched on: the preview is rebuilt and a send is posted.
    sheet->general.AutoForward = true;
    sheet->general.Method = ForwardMethod::Http;
    sheet->hide = 1;
    Run(Command::GeneralTake);
    EXPECT_EQ(pane.HideOnStartup(), 1);
    EXPECT_EQ(forwarding.calls, QStringList{"UpdateForwardPreview"});
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(forwarding.calls, (QStringList{"UpdateForwardPreview", "SendHTTP"}));

    // Other changes with the method unchanged send nothing.
    forwarding.calls.clear();
    sheet->general.CheckTime = 7;
    Run(Command::GeneralTake);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(forwarding.calls, QStringList{"UpdateForwardPreview"});
    EXPECT_EQ(pane.PollPeriodMs(), 7 * 40);

    // The method changed: the off-line notice of the method left is offered, then a send.
    forwarding.calls.clear();
    sheet->general.Method = ForwardMethod::Ftp;
    Run(Command::GeneralTake);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(forwarding.calls,
              (QStringList{"UpdateForwardPreview", "OfferOffLineNoticeHTTP", "SendFTP"}));

    Run(Command::LogFill);
    Run(Command::HttpTake);
    EXPECT_EQ(sheet->calls.mid(sheet->calls.size() - 2), (QStringList{"Fill3", "Take1"}));
    pane.SetSheet(nullptr);
}

TEST_F(ControlPaneTest, PollingTimerFollowsCheckForChangeAndCheckTime) {
    pane.Settings().CheckForChange = true;
    pane.Settings().CheckTime = 5;
    Run(Command::Refresh);
    EXPECT_EQ(pane.PollPeriodMs(), 5 * 40);
    EXPECT_TRUE(WaitFor([&] { return doc.checks >= 2; }, 3000));
    EXPECT_EQ(doc.refreshes, 1);  // the ticks run the quiet check, not a full refresh

    // A new period starts from the restart.
    pane.Settings().CheckTime = 100;
    Run(Command::Refresh);
    const int checks = doc.checks;
    test::RunEventsFor(300);
    EXPECT_EQ(doc.checks, checks);
    EXPECT_EQ(pane.PollPeriodMs(), 4000);

    pane.Settings().CheckForChange = false;
    Run(Command::Refresh);
    EXPECT_FALSE(pane.IsPolling());
    EXPECT_EQ(pane.PollPeriodMs(), 0);
}

TEST_F(ControlPaneTest, ATickDuringARefreshWaitsForIt) {
    pane.Settings().CheckForChange = true;
    pane.Settings().CheckTime = 1;
    Run(Command::Refresh);
    int checksDuringRefresh = -1;
    // A refresh that takes ten polling periods while it keeps the window alive.
    doc.during = [&] {
        if (doc.refreshes == 2 && doc.depth == 1) {
            const int before = doc.checks;
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 400) {
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            }
            checksDuringRefresh = doc.checks - before;
        }
    };
    Run(Command::Refresh);
    EXPECT_EQ(checksDuringRefresh, 0);
    EXPECT_EQ(doc.deepest, 1);
    // The waiting ticks make one check once the refresh is over.
    const int checks = doc.checks;
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(doc.checks, checks + 1);
}

// The not-found box waits for nobody: polling goes on while it is open, and the checks that
// find the selection lost meanwhile open no second box.
TEST_F(ControlPaneTest, TheDocumentsBoxHoldsNothingUpAndOpensOnce) {
    pane.Settings().CheckForChange = true;
    pane.Settings().CheckTime = 1;
    test::ScriptedPrompter prompter;
    prompter.holdOpen = true;
    test::PrompterGuard guard(&prompter);
    Run(Command::Refresh);  // polling starts after the first refresh
    pane.ShowMessage("selection lost");
    const int before = doc.checks;
    test::RunEventsFor(300);
    EXPECT_GE(doc.checks - before, 2);
    pane.ShowMessage("selection lost");
    EXPECT_EQ(prompter.texts, QStringList{"selection lost"});
    ASSERT_EQ(prompter.held.size(), 1u);
    prompter.held[0](IPrompter::AnswerOk);  // closed: the next one opens again
    pane.ShowMessage("selection lost");
    EXPECT_EQ(prompter.texts.size(), 2);
}

TEST_F(ControlPaneTest, ShowOutputReplacesOrAppendsWithCrCrLf) {
    pane.ShowOutput("first", false, false);
    EXPECT_EQ(pane.OutputText(), "first");
    pane.ShowOutput("a", true, false);
    pane.ShowOutput("b", true, false);
    pane.ShowOutput("c", true, false);
    EXPECT_EQ(pane.OutputText(), "first\r\r\na\r\r\nb\r\r\nc");
    auto* box = pane.findChild<QPlainTextEdit*>("ctl1125");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->toPlainText(), "first\na\nb\nc");  // one visible break per CR CR LF
    EXPECT_EQ(box->document()->blockCount(), 4);
    pane.ShowOutput("only", false, false);
    EXPECT_EQ(pane.OutputText(), "only");
    EXPECT_EQ(box->toPlainText(), "only");

    // A line as long as the largest host reply is shown in pieces the box lays out quickly; the
    // text itself is kept whole.
    const QString line(1 << 20, QLatin1Char('y'));
    pane.ShowOutput(line, true, false);
    EXPECT_EQ(pane.OutputText(), "only\r\r\n" + line);
    EXPECT_EQ(box->document()->blockCount(), 1 + (1 << 20) / 1024);
}

TEST_F(ControlPaneTest, QuickHelpAndOutputShareTheBox) {
    pane.SetOutputHeading(LoadString(Text::OutputCaption));
    pane.ShowOutput("some output", false, false);
    Run(Command::FtpHelp);
    EXPECT_EQ(pane.OutputHeading(), "Quick Help");
    EXPECT_EQ(pane.OutputText(), LoadString(Text::FtpTargetHelp));
    EXPECT_TRUE(pane.OutputText().startsWith("'FTP Target' tab properties help:\r\r\n"));
    auto* box = pane.findChild<QPlainTextEdit*>("ctl1125");
    EXPECT_FALSE(box->toPlainText().contains('\r'));
}

TEST_F(ControlPaneTest, ItsOwnForwarderPreviewsTheTargetWithTheSelectedAddress) {
    pane.SetForwarding(nullptr);
    pane.Settings().Method = ForwardMethod::Http;
    pane.Settings().HTTPTargetURL = "http://host.invalid/ip.php";
    doc.selectedIp = "10.0.0.5";
    pane.UpdateForwardPreview();
    EXPECT_TRUE(pane.StatusLineText().startsWith("http://host.invalid/ip.php?IPAddress=10.0.0.5"))
        << qPrintable(pane.StatusLineText());
}

TEST_F(ControlPaneTest, ShutdownSavesStopsPollingAndIgnoresLaterCommands) {
    pane.Settings().CheckForChange = true;
    pane.Settings().CheckTime = 42;
    pane.HideOnStartup() = 1;
    Run(Command::Refresh);
    ASSERT_TRUE(pane.IsPolling());
    pane.OnDestroy();
    EXPECT_FALSE(pane.IsPolling());
    EXPECT_EQ(forwarding.calls, QStringList{"OffLineAtShutdown"});
    SettingsRecord stored;
    LoadSettings(stored);
    EXPECT_EQ(stored.CheckTime, 42);
    EXPECT_EQ(LoadHideOnStartup(), 1);

    pane.OnDestroy();
    Run(Command::ManualSend);
    Run(Command::Refresh);
    EXPECT_EQ(forwarding.calls, QStringList{"OffLineAtShutdown"});
    EXPECT_EQ(doc.refreshes, 1);
    EXPECT_FALSE(pane.IsPolling());
}

TEST_F(ControlPaneTest, ASelectionChangeIsStoredShortlyAfterAndAtShutdown) {
    Run(Command::SelectionChanged);
    Run(Command::SelectionChanged);
    EXPECT_EQ(doc.stores, 0);
    EXPECT_TRUE(WaitFor([&] { return doc.stores > 0; }, 10000));
    EXPECT_EQ(doc.stores, 1);  // a burst ends in one write

    Run(Command::SelectionChanged);
    pane.OnDestroy();
    EXPECT_EQ(doc.stores, 2);
}

TEST_F(ControlPaneTest, AReadOnlySettingsFileIsKeptAndTheUserToldOnce) {
    ASSERT_TRUE(SaveSettings(pane.Settings(), 0));
    const QByteArray path = QFile::encodeName(SettingsFilePath());
    ASSERT_EQ(::chmod(path.constData(), 0400), 0);
    pane.Settings().CheckTime = 42;
    for (int i = 0; i < 2; ++i) {
        pane.Saver().Schedule();
        EXPECT_FALSE(pane.Saver().Flush());
    }
    EXPECT_EQ(pane.OutputText().count("is read-only: changes to the settings are not saved"), 1)
        << qPrintable(pane.OutputText());
    pane.OnDestroy();
    struct stat st {};
    ASSERT_EQ(::stat(path.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0400u);
    ::chmod(path.constData(), 0600);
    SettingsRecord stored;
    LoadSettings(stored);
    EXPECT_EQ(stored.CheckTime, 5);
}

// The waits between tries, fired by the test: a day passes in no time.
struct SteppedTimer : RetryTimer {
    std::vector<std::chrono::milliseconds> waits;
    std::function<void()> due;
    void Start(std::chrono::milliseconds delay, std::function<void()> f) override {
        waits.push_back(delay);
        due = std::move(f);
    }
    void Stop() override { due = nullptr; }
    void Fire() { std::exchange(due, nullptr)(); }
};

// Automatic forwarding through a real forwarder to a loopback host that fails on purpose.
class Retries : public ControlPaneTest {
  protected:
    void SetUp() override {
        ControlPaneTest::SetUp();
        pane.Watcher().RelayForwarder(forwarder);
        pane.SetForwarding(&commands);
        pane.Watcher().SetRetryTimer(&timer);
        SettingsRecord& s = pane.Settings();
        s.HTTPTargetURL = s.StoredTargets.http = web.Url();
        s.AutoForward = s.CheckForChange = s.LoggingEnabled = true;
        s.NotifyOnSend = false;
        s.CheckTime = 5;
        s.LoggingFile = log.filePath("QuorvaneLog.txt");
        doc.selectedIp = "192.0.2.7";
        web.failuresLeft = INT_MAX;
    }
    void TearDown() override {
        pane.Watcher().SetRetryTimer(nullptr);
        pane.SetForwarding(nullptr);
    }
    qsizetype Requests() { return web.Queries().size(); }
    void Fire() {
        timer.Fire();
        Settle();
    }
    bool Pending() { return pane.Watcher().IsRetryPending(); }

    test::RecordingWebHost web;
    Forwarder forwarder{pane.Watcher().SourcesForForwarder()};
    ForwarderCommands commands{forwarder};
    SteppedTimer timer;
    QTemporaryDir log;
};

TEST_F(Retries, AHostFailingForADayGetsOneTryPerBackOffStepUntilItAnswers) {
    using namespace std::chrono_literals;
    // Whatever the polling period, 30 s to 30 min between tries.
    EXPECT_EQ(RetrySchedule::Delay(1, 0ms), 30s);
    EXPECT_EQ(RetrySchedule::Delay(3, 1min), 1min);
    EXPECT_EQ(RetrySchedule::Delay(12, 24h), 30min);

    Run(Command::SelectionChanged);
    std::chrono::milliseconds day{0};
    int tries = 0;
    while (day < 24h) {
        ASSERT_TRUE(timer.due) << qPrintable(pane.OutputText());
        day += timer.waits.back();
        Fire();
        ++tries;
    }
    // 30 s, 1, 2 and 4 minutes, then the polling period; one request each, never more. The
    // output box and the log tell each wait.
    EXPECT_EQ(tries, 4 + (24 * 60 * 60 - 450 + 299) / 300);
    EXPECT_EQ(Requests(), 1 + tries);
    EXPECT_TRUE(pane.OutputText().endsWith("\r\r\nNext try in 5 minutes"));
    QFile logFile(pane.Settings().LoggingFile);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QStringList waits =
        QString::fromUtf8(logFile.readAll()).split("\r\r\r\n").filter("Next try");
    EXPECT_EQ(waits.mid(0, 5), (QStringList{"Next try in 30 seconds", "Next try in 1 minute",
                                            "Next try in 2 minutes", "Next try in 4 minutes",
                                            "Next try in 5 minutes"}));
    EXPECT_EQ(waits.count("Next try in 5 minutes"), tries - 3);

    // The host answers again: the try that reaches it ends the back-off.
    web.failuresLeft = 0;
    Fire();
    EXPECT_EQ(Requests(), 2 + tries);
    EXPECT_FALSE(timer.due);
    EXPECT_FALSE(Pending());
}

TEST_F(Retries, ChangesDuringTheBackOff) {
    using namespace std::chrono_literals;
    Run(Command::SelectionChanged);
    Fire();
    EXPECT_EQ(timer.waits.back(), 1min);

    // A new address: a fresh forward and a fresh back-off.
    doc.selectedIp = "192.0.2.8";
    Run(Command::SelectionChanged);
    EXPECT_EQ(web.Queries().last().section('&', 0, 0), "IPAddress=192.0.2.8");
    EXPECT_EQ(timer.waits.back(), 30s);

    // A try that comes due during a refresh waits for it; one that an address change overtakes
    // is dropped: the host gets the fresh forward only.
    doc.during = [&] {
        if (timer.due) {
            timer.Fire();
            EXPECT_EQ(Requests(), 3);
        }
    };
    Run(Command::Refresh);
    Settle();
    EXPECT_EQ(Requests(), 4);
    doc.during = [&] {
        if (timer.due) {
            timer.Fire();
            pane.PostPaneCommand(Command::SelectionChanged);
        }
    };
    Run(Command::Refresh);
    Settle();
    doc.during = nullptr;
    EXPECT_EQ(Requests(), 5);
    EXPECT_EQ(timer.waits.back(), 30s);

    // Sends by hand are not tried again; one the host takes ends the back-off.
    const size_t waits = timer.waits.size();
    Run(Command::ManualSend);
    EXPECT_EQ(timer.waits.size(), waits);
    EXPECT_TRUE(timer.due);
    web.failuresLeft = 0;
    Run(Command::ManualSend);
    EXPECT_FALSE(Pending());
    web.failuresLeft = INT_MAX;
    Run(Command::ManualSend);
    EXPECT_FALSE(Pending());

    // Checking turned off, or another target, cancels the pending try.
    Run(Command::SelectionChanged);
    ASSERT_TRUE(Pending());
    const SettingsRecord before = pane.Settings();
    pane.Settings().CheckForChange = false;
    pane.Watcher().GeneralSettingsTaken(before);
    EXPECT_FALSE(Pending());
    EXPECT_FALSE(timer.due);
    pane.Settings().CheckForChange = true;
    Run(Command::SelectionChanged);
    ASSERT_TRUE(Pending());
    pane.Settings().HTTPTargetURL = web.Url() + "?site=2";
    pane.UpdateForwardPreview();  // as after taking the HTTP Target page
    EXPECT_FALSE(Pending());

    // Shutdown cancels the pending try and still sends the owed off-line notice.
    pane.Settings().HTTPTargetURL = web.Url();
    Run(Command::SelectionChanged);
    ASSERT_TRUE(timer.due);
    const qsizetype sent = Requests();
    pane.OnDestroy();
    EXPECT_FALSE(timer.due);
    EXPECT_FALSE(Pending());
    ASSERT_EQ(Requests(), sent + 1);
    EXPECT_EQ(web.Queries().last().section('&', 0, 0), "IPAddress=");
}

// The notices with the real message box of the program.
class Notices : public ::testing::Test {
  protected:
    ControlPane pane;
};

// The notices that are open, as the user sees them.
QList<QMessageBox*> OpenNotices() {
    QList<QMessageBox*> open;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box && box->isVisible() && box->windowTitle() == "Quorvane Notification Dialog") {
            open << box;
        }
    }
    return open;
}

// Nothing waits for a notice: each is shown at once, closes by itself after its life or by a
// click, and shutdown closes the notices and the host's reply window that are still open.
TEST_F(Notices, NoticesNeitherWaitNorOutliveTheirTimeOrTheWindow) {
    QElapsedTimer t;
    t.start();
    pane.ShowPopupNotice("closes by itself", IPrompter::Information, 300);
    pane.ShowPopupNotice("closed by hand", IPrompter::Warning, 60000);
    EXPECT_LT(t.elapsed(), 1000);
    ASSERT_EQ(OpenNotices().size(), 2);
    EXPECT_TRUE(WaitFor([] { return OpenNotices().size() == 1; }));
    EXPECT_GE(t.elapsed(), 280);
    OpenNotices().first()->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(WaitFor([] { return OpenNotices().isEmpty(); }));

    test::RemoveSettingsFile();
    pane.ShowPopupNotice("open at shutdown", IPrompter::Information, 60000);
    pane.ShowHostResponse("Quorvane - Host Response", "a reply nobody reads");
    pane.OnDestroy();
    EXPECT_TRUE(WaitFor([] { return OpenNotices().isEmpty(); }));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace qv
