#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <climits>
#include <functional>
#include <utility>
#include <vector>

#include "WatcherFixture.h"
#include "resources/Ids.h"
#include "tests/support/RecordingWebHost.h"

namespace qv {
namespace {

using test::AddressWatcherTest;
using test::WaitFor;

TEST_F(AddressWatcherTest, CommandsRunAfterThePosterHasReturned) {
    watcher.Start();
    // Start asks for the first refresh; it has not run yet.
    EXPECT_EQ(doc.refreshes, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(doc.refreshes, 1);

    // A document that posts a selection change while the watcher runs a refresh: the forwarding
    // comes after it.
    watcher.Settings().AutoForward = true;
    bool sentDuringRefresh = false;
    doc.during = [&] {
        watcher.PostPaneCommand(Command::SelectionChanged);
        sentDuringRefresh = !forwarding.calls.filter("Send").isEmpty();
    };
    Run(Command::Refresh);
    doc.during = nullptr;
    EXPECT_FALSE(sentDuringRefresh);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(forwarding.calls.filter("Send"), QStringList{"SendHTTP"});
}

TEST_F(AddressWatcherTest, ForwardingCommandsFollowTheSettings) {
    watcher.Settings().AutoForward = false;
    Run(Command::SelectionChanged);
    EXPECT_TRUE(forwarding.calls.isEmpty());
    Run(Command::ManualSend);  // sends whatever AutoForward says
    watcher.Settings().Method = ForwardMethod::Ftp;
    Run(Command::ManualSend);
    watcher.Settings().AutoForward = true;
    Run(Command::SelectionChanged);
    Run(Command::SendHttp);
    Run(Command::SendFtp);
    Run(Command::HttpOffLine);
    Run(Command::FtpOffLine);
    EXPECT_EQ(forwarding.calls, (QStringList{"SendHTTP", "SendFTP", "SendFTP", "SendHTTP",
                                             "SendFTP", "NotifyOffLineHTTP", "NotifyOffLineFTP"}));
    watcher.SetForwarding(nullptr);  // nothing attached: the commands do nothing
    Run(Command::ManualSend);
}

TEST_F(AddressWatcherTest, PollingTimerFollowsCheckForChangeAndCheckTime) {
    watcher.Settings().CheckForChange = true;
    watcher.Settings().CheckTime = 5;
    Run(Command::Refresh);
    EXPECT_EQ(watcher.PollPeriodMs(), 5 * 40);
    EXPECT_TRUE(WaitFor([&] { return doc.checks >= 2; }, 3000));
    EXPECT_EQ(doc.refreshes, 1);  // the ticks run the quiet check, not a full refresh

    // A new period starts from the restart.
    watcher.Settings().CheckTime = 100;
    Run(Command::Refresh);
    const int checks = doc.checks;
    test::RunEventsFor(300);
    EXPECT_EQ(doc.checks, checks);
    EXPECT_EQ(watcher.PollPeriodMs(), 4000);

    watcher.Settings().CheckForChange = false;
    Run(Command::Refresh);
    EXPECT_FALSE(watcher.IsPolling());
    EXPECT_EQ(watcher.PollPeriodMs(), 0);
}

TEST_F(AddressWatcherTest, ATickDuringARefreshWaitsForIt) {
    watcher.Settings().CheckForChange = true;
    watcher.Settings().CheckTime = 1;
    Run(Command::Refresh);
    int checksDuringRefresh = -1;
    // A refresh that takes ten polling periods while the event loop runs.
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
TEST_F(AddressWatcherTest, TheDocumentsBoxHoldsNothingUpAndOpensOnce) {
    watcher.Settings().CheckForChange = true;
    watcher.Settings().CheckTime = 1;
    test::ScriptedPrompter prompter;
    prompter.holdOpen = true;
    test::PrompterGuard guard(&prompter);
    Run(Command::Refresh);  // polling starts after the first refresh
    watcher.ShowMessage("selection lost");
    const int before = doc.checks;
    test::RunEventsFor(300);
    EXPECT_GE(doc.checks - before, 2);
    watcher.ShowMessage("selection lost");
    EXPECT_EQ(prompter.texts, QStringList{"selection lost"});
    ASSERT_EQ(prompter.held.size(), 1u);
    prompter.held[0](IPrompter::AnswerOk);  // closed: the next one opens again
    watcher.ShowMessage("selection lost");
    EXPECT_EQ(prompter.texts.size(), 2);
}

TEST_F(AddressWatcherTest, ItsOwnForwarderPreviewsTheTargetWithTheSelectedAddress) {
    watcher.SetForwarding(nullptr);
    watcher.Settings().Method = ForwardMethod::Http;
    watcher.Settings().HTTPTargetURL = "http://host.invalid/ip.php";
    doc.selectedIp = "10.0.0.5";
    watcher.UpdateForwardPreview();
    EXPECT_TRUE(statusLine.startsWith("http://host.invalid/ip.php?IPAddress=10.0.0.5"))
        << qPrintable(statusLine);
}

TEST_F(AddressWatcherTest, ShutdownSavesStopsPollingAndIgnoresLaterCommands) {
    watcher.Settings().CheckForChange = true;
    watcher.Settings().CheckTime = 42;
    watcher.HideOnStartup() = 1;
    Run(Command::Refresh);
    ASSERT_TRUE(watcher.IsPolling());
    watcher.ShutDown();
    EXPECT_FALSE(watcher.IsPolling());
    EXPECT_EQ(forwarding.calls, QStringList{"OffLineAtShutdown"});
    SettingsRecord stored;
    LoadSettings(stored);
    EXPECT_EQ(stored.CheckTime, 42);
    EXPECT_EQ(LoadHideOnStartup(), 1);

    watcher.ShutDown();
    Run(Command::ManualSend);
    Run(Command::Refresh);
    EXPECT_EQ(forwarding.calls, QStringList{"OffLineAtShutdown"});
    EXPECT_EQ(doc.refreshes, 1);
    EXPECT_FALSE(watcher.IsPolling());
}

TEST_F(AddressWatcherTest, ASelectionChangeIsStoredShortlyAfterAndAtShutdown) {
    Run(Command::SelectionChanged);
    Run(Command::SelectionChanged);
    EXPECT_EQ(doc.stores, 0);
    EXPECT_TRUE(WaitFor([&] { return doc.stores > 0; }, 10000));
    EXPECT_EQ(doc.stores, 1);  // a burst ends in one write

    Run(Command::SelectionChanged);
    watcher.ShutDown();
    EXPECT_EQ(doc.stores, 2);
}

TEST_F(AddressWatcherTest, AReadOnlySettingsFileIsKeptAndTheUserToldOnce) {
    ASSERT_TRUE(SaveSettings(watcher.Settings(), 0));
    const QByteArray path = QFile::encodeName(SettingsFilePath());
    ASSERT_EQ(::chmod(path.constData(), 0400), 0);
    watcher.Settings().CheckTime = 42;
    for (int i = 0; i < 2; ++i) {
        watcher.Saver().Schedule();
        EXPECT_FALSE(watcher.Saver().Flush());
    }
    EXPECT_EQ(output.count("is read-only: changes to the settings are not saved"), 1)
        << qPrintable(output);
    watcher.ShutDown();
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
class Retries : public AddressWatcherTest {
  protected:
    void SetUp() override {
        AddressWatcherTest::SetUp();
        watcher.RelayForwarder(forwarder);
        watcher.SetForwarding(&commands);
        watcher.SetRetryTimer(&timer);
        SettingsRecord& s = watcher.Settings();
        s.HTTPTargetURL = s.StoredTargets.http = web.Url();
        s.AutoForward = s.CheckForChange = s.LoggingEnabled = true;
        s.NotifyOnSend = false;
        s.CheckTime = 5;
        s.LoggingFile = log.filePath("QuorvaneLog.txt");
        doc.selectedIp = "192.0.2.7";
        web.failuresLeft = INT_MAX;
    }
    void TearDown() override {
        watcher.SetRetryTimer(nullptr);
        watcher.SetForwarding(nullptr);
    }
    qsizetype Requests() { return web.Queries().size(); }
    void Fire() {
        timer.Fire();
        Settle();
    }
    bool Pending() { return watcher.IsRetryPending(); }

    test::RecordingWebHost web;
    Forwarder forwarder{watcher.SourcesForForwarder()};
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
        ASSERT_TRUE(timer.due) << qPrintable(output);
        day += timer.waits.back();
        Fire();
        ++tries;
    }
    // 30 s, 1, 2 and 4 minutes, then the polling period; one request each, never more. The
    // output box and the log tell each wait.
    EXPECT_EQ(tries, 4 + (24 * 60 * 60 - 450 + 299) / 300);
    EXPECT_EQ(Requests(), 1 + tries);
    EXPECT_TRUE(output.endsWith("\r\r\nNext try in 5 minutes"));
    QFile logFile(watcher.Settings().LoggingFile);
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
            watcher.PostPaneCommand(Command::SelectionChanged);
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
    const SettingsRecord before = watcher.Settings();
    watcher.Settings().CheckForChange = false;
    watcher.GeneralSettingsTaken(before);
    EXPECT_FALSE(Pending());
    EXPECT_FALSE(timer.due);
    watcher.Settings().CheckForChange = true;
    Run(Command::SelectionChanged);
    ASSERT_TRUE(Pending());
    watcher.Settings().HTTPTargetURL = web.Url() + "?site=2";
    watcher.UpdateForwardPreview();  // as after taking the HTTP Target page
    EXPECT_FALSE(Pending());

    // Shutdown cancels the pending try and still sends the owed off-line notice.
    watcher.Settings().HTTPTargetURL = web.Url();
    Run(Command::SelectionChanged);
    ASSERT_TRUE(timer.due);
    const qsizetype sent = Requests();
    watcher.ShutDown();
    EXPECT_FALSE(timer.due);
    EXPECT_FALSE(Pending());
    ASSERT_EQ(Requests(), sent + 1);
    EXPECT_EQ(web.Queries().last().section('&', 0, 0), "IPAddress=");
}

}  // namespace
}  // namespace qv
