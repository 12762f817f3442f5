#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>

#include "ViewsTestSupport.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "views/CInfoCtrlView.h"

namespace qv {
namespace {

using test::WaitUntil;

class ControlPane : public ::testing::Test {
  protected:
    void SetUp() override {
        test::RemoveSettingsFile();
        pane.SetDocument(&doc);
        pane.SetForwarding(&forwarding);
        pane.SetNoticeBox(&notice);
        pane.SetMinuteMs(40);
    }
    // Posts a command and lets the event loop run it.
    void Run(int command) {
        pane.PostPaneCommand(command);
        QCoreApplication::sendPostedEvents();
    }

    test::FakeDoc doc;
    test::RecordingForwarding forwarding;
    test::FakeNotice notice;
    CInfoCtrlView pane;
};

TEST_F(ControlPane, CommandsRunAfterThePosterHasReturned) {
    pane.OnInitialUpdate();
    // The initial update asks for the first refresh; it has not run yet.
    EXPECT_EQ(doc.refreshes, 0);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(doc.refreshes, 1);

    // A document that posts 32800 while the pane runs a refresh: the forwarding comes after it.
    pane.Settings().AutoForward = 1;
    bool sentDuringRefresh = false;
    doc.during = [&] {
        pane.PostPaneCommand(kCmdSelectionChanged);
        sentDuringRefresh = !forwarding.calls.filter("Send").isEmpty();
    };
    Run(kCmdRefresh);
    doc.during = nullptr;
    EXPECT_FALSE(sentDuringRefresh);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(forwarding.calls.filter("Send"), QStringList{"SendHTTPAddress"});
}

TEST_F(ControlPane, ForwardingCommandsFollowTheSettings) {
    pane.Settings().AutoForward = 0;
    Run(kCmdSelectionChanged);
    EXPECT_TRUE(forwarding.calls.isEmpty());
    Run(kCmdManualSend);  // sends whatever AutoForward says
    pane.Settings().UseHTTP = 0;
    Run(kCmdManualSend);
    pane.Settings().AutoForward = 1;
    Run(kCmdSelectionChanged);
    Run(kCmdSendHttp);
    Run(kCmdSendFtp);
    Run(kCmdHttpOffLine);
    Run(kCmdFtpOffLine);
    Run(kCmdUnused);
    Run(12345);
    EXPECT_EQ(forwarding.calls,
              (QStringList{"SendHTTPAddress", "SendFTPPage", "SendFTPPage", "SendHTTPAddress",
                           "SendFTPPage", "NotifyHTTPOffLine", "NotifyFTPOffLine"}));
    pane.SetForwarding(nullptr);  // nothing attached: the commands do nothing
    Run(kCmdManualSend);
}

// A sheet whose General page holds values set by the test.
class FakeSheet : public IPaneSheet {
  public:
    InfoCtrlSettings general;
    int hide = 0;
    QStringList calls;
    QWidget widget;
    QWidget* Widget() override { return &widget; }
    void TakePage(Page page, InfoCtrlSettings& s, int& hideOnStartup) override {
        calls << QStringLiteral("Take%1").arg(page);
        if (page == kGeneral) {
            s.AutoForward = general.AutoForward;
            s.UseHTTP = general.UseHTTP;
            s.CheckForChange = general.CheckForChange;
            s.CheckTime = general.CheckTime;
            hideOnStartup = hide;
        }
    }
    void FillPage(Page page, const InfoCtrlSettings&, int) override {
        calls << QStringLiteral("Fill%1").arg(page);
    }
};

TEST_F(ControlPane, TakingTheGeneralPage) {
    FakeSheet fake;
    FakeSheet* sheet = &fake;
    pane.SetSheet(sheet);
    pane.Settings().AutoForward = 0;
    pane.Settings().UseHTTP = 1;

    // Automatic forwarding switched on: the preview is rebuilt and a send is posted.
    sheet->general.AutoForward = 1;
    sheet->general.UseHTTP = 1;
    sheet->hide = 1;
    Run(kCmdGeneralTake);
    EXPECT_EQ(pane.HideOnStartup(), 1);
    EXPECT_EQ(forwarding.calls, QStringList{"UpdateForwardPreview"});
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(forwarding.calls, (QStringList{"UpdateForwardPreview", "SendHTTPAddress"}));

    // Other changes with the method unchanged send nothing.
    forwarding.calls.clear();
    sheet->general.CheckTime = 7;
    Run(kCmdGeneralTake);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(forwarding.calls, QStringList{"UpdateForwardPreview"});
    EXPECT_EQ(pane.PollPeriodMs(), 7 * 40);

    // The method changed: the off-line notice of the method left is offered, then a send.
    forwarding.calls.clear();
    sheet->general.UseHTTP = 0;
    Run(kCmdGeneralTake);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(forwarding.calls,
              (QStringList{"UpdateForwardPreview", "OfferOffLineNotice(1)", "SendFTPPage"}));

    Run(kCmdLogFill);
    Run(kCmdHttpTake);
    EXPECT_EQ(sheet->calls.mid(sheet->calls.size() - 2), (QStringList{"Fill3", "Take1"}));
    pane.SetSheet(nullptr);
}

TEST_F(ControlPane, PollingTimerFollowsCheckForChangeAndCheckTime) {
    pane.Settings().CheckForChange = 1;
    pane.Settings().CheckTime = 5;
    Run(kCmdRefresh);
    EXPECT_EQ(pane.PollPeriodMs(), 5 * 40);
    EXPECT_TRUE(WaitUntil([&] { return doc.checks >= 2; }, 3000));
    EXPECT_EQ(doc.refreshes, 1);  // the ticks run the quiet check, not a full refresh

    // A new period starts from the restart.
    pane.Settings().CheckTime = 100;
    Run(kCmdRefresh);
    const int checks = doc.checks;
    test::RunEventsFor(300);
    EXPECT_EQ(doc.checks, checks);
    EXPECT_EQ(pane.PollPeriodMs(), 4000);

    pane.Settings().CheckForChange = 0;
    Run(kCmdRefresh);
    EXPECT_FALSE(pane.IsPolling());
    EXPECT_EQ(pane.PollPeriodMs(), 0);
}

TEST_F(ControlPane, ATickDuringARefreshWaitsForIt) {
    pane.Settings().CheckForChange = 1;
    pane.Settings().CheckTime = 1;
    Run(kCmdRefresh);
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
    Run(kCmdRefresh);
    EXPECT_EQ(checksDuringRefresh, 0);
    EXPECT_EQ(doc.deepest, 1);
    // The waiting ticks make one check once the refresh is over.
    const int checks = doc.checks;
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(doc.checks, checks + 1);
}

TEST_F(ControlPane, PollingGoesOnWhileTheDocumentsBoxIsOpen) {
    pane.Settings().CheckForChange = 1;
    pane.Settings().CheckTime = 1;
    test::ScriptedPrompter prompter;
    test::PrompterGuard guard(&prompter);
    int checksWhileOpen = 0;
    prompter.whileOpen = [&] {
        const int before = doc.checks;
        test::RunEventsFor(300);
        checksWhileOpen = doc.checks - before;
    };
    Run(kCmdRefresh);  // polling starts after the first refresh
    doc.during = [&] {
        if (doc.refreshes == 2 && doc.depth == 1 && prompter.texts.isEmpty()) {
            pane.ShowMessage("selection lost");
        }
    };
    Run(kCmdRefresh);
    EXPECT_EQ(prompter.texts, QStringList{"selection lost"});
    EXPECT_GE(checksWhileOpen, 2);
    EXPECT_EQ(doc.deepest, 2);  // a check inside the refresh that waits on the box, never deeper
}

TEST_F(ControlPane, ShowOutputReplacesOrAppendsWithCrCrLf) {
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

TEST_F(ControlPane, QuickHelpAndOutputShareTheBox) {
    pane.SetOutputHeading(LoadString(130));
    pane.ShowOutput("some output", false, false);
    Run(kCmdFtpHelp);
    EXPECT_EQ(pane.OutputHeading(), "Quick Help");
    EXPECT_EQ(pane.OutputText(), LoadString(125));
    EXPECT_TRUE(pane.OutputText().startsWith("'FTP Target' tab properties help:\r\r\n"));
    auto* box = pane.findChild<QPlainTextEdit*>("ctl1125");
    EXPECT_FALSE(box->toPlainText().contains('\r'));
}

TEST_F(ControlPane, ItsOwnForwarderPreviewsTheTargetWithTheSelectedAddress) {
    pane.SetForwarding(nullptr);
    pane.Settings().UseHTTP = 1;
    pane.Settings().HTTPTargetURL = "http://host.invalid/ip.php";
    doc.selectedIp = "10.0.0.5";
    pane.UpdateForwardPreview();
    EXPECT_TRUE(pane.StatusLineText().startsWith("http://host.invalid/ip.php?IPAddress=10.0.0.5"))
        << qPrintable(pane.StatusLineText());
}

TEST_F(ControlPane, ShutdownSavesStopsPollingAndIgnoresLaterCommands) {
    pane.Settings().CheckForChange = 1;
    pane.Settings().CheckTime = 42;
    pane.HideOnStartup() = 1;
    Run(kCmdRefresh);
    ASSERT_TRUE(pane.IsPolling());
    pane.OnDestroy();
    EXPECT_FALSE(pane.IsPolling());
    EXPECT_EQ(forwarding.calls, QStringList{"OffLineAtShutdown"});
    InfoCtrlSettings stored;
    LoadSettings(stored);
    EXPECT_EQ(stored.CheckTime, 42);
    EXPECT_EQ(LoadHideOnStartup(), 1);

    pane.OnDestroy();
    Run(kCmdManualSend);
    Run(kCmdRefresh);
    EXPECT_EQ(forwarding.calls, QStringList{"OffLineAtShutdown"});
    EXPECT_EQ(doc.refreshes, 1);
    EXPECT_FALSE(pane.IsPolling());
}

TEST_F(ControlPane, ASelectionChangeIsStoredShortlyAfterAndAtShutdown) {
    Run(kCmdSelectionChanged);
    Run(kCmdSelectionChanged);
    EXPECT_EQ(doc.stores, 0);
    EXPECT_TRUE(WaitUntil([&] { return doc.stores > 0; }, 10000));
    EXPECT_EQ(doc.stores, 1);  // a burst ends in one write

    Run(kCmdSelectionChanged);
    pane.OnDestroy();
    EXPECT_EQ(doc.stores, 2);
}

TEST_F(ControlPane, AReadOnlySettingsFileIsKeptAndTheUserToldOnce) {
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
    InfoCtrlSettings stored;
    LoadSettings(stored);
    EXPECT_EQ(stored.CheckTime, 5);
}

// The notices with the real message box of the program.
class Notices : public ::testing::Test {
  protected:
    CInfoCtrlView pane;
};

QMessageBox* OpenNotice() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

TEST_F(Notices, ANoticeClosesItselfAfterItsLife) {
    QString caption;
    QTimer::singleShot(50, [&] {
        if (QMessageBox* box = OpenNotice()) {
            caption = box->windowTitle();
        }
    });
    QElapsedTimer t;
    t.start();
    pane.ShowPopupNotice("closes by itself", IPrompter::Information, 300);
    EXPECT_GE(t.elapsed(), 280);
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(caption, "Quorvane Notification Dialog");
    EXPECT_FALSE(pane.NoticeTimerActive());
}

TEST_F(Notices, ANoticeClosedByHandLeavesNoTimer) {
    QTimer::singleShot(50, [&] {
        if (QMessageBox* box = OpenNotice()) {
            box->button(QMessageBox::Ok)->click();
        }
    });
    QElapsedTimer t;
    t.start();
    pane.ShowPopupNotice("closed by hand", IPrompter::Warning, 5000);
    EXPECT_LT(t.elapsed(), 2000);
    EXPECT_FALSE(pane.NoticeTimerActive());
}

TEST_F(Notices, ANoticeInsideANoticeStillLetsBothCloseOnTime) {
    test::FakeNotice notice;
    notice.waitForClose = true;
    pane.SetNoticeBox(&notice);
    bool innerShown = false;
    QTimer::singleShot(50, [&] {
        innerShown = true;
        pane.ShowPopupNotice("inner", IPrompter::Warning, 100);
    });
    QElapsedTimer t;
    t.start();
    pane.ShowPopupNotice("outer", IPrompter::Information, 400);
    EXPECT_TRUE(innerShown);
    EXPECT_EQ(notice.closedByPane, 2);
    EXPECT_GE(t.elapsed(), 380);
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_FALSE(pane.NoticeTimerActive());
}

TEST_F(Notices, ShutdownClosesTheOpenNoticeAndWindowAtOnce) {
    test::RemoveSettingsFile();
    bool windowClosed = false;
    QTimer::singleShot(50, [&] {
        QTimer::singleShot(50, [&] { pane.OnDestroy(); });
        pane.ShowHostResponse("Quorvane - Host Response", "a reply nobody reads");  // modal
        windowClosed = true;
    });
    QElapsedTimer t;
    t.start();
    pane.ShowPopupNotice("open at shutdown", IPrompter::Information, 60000);
    EXPECT_TRUE(windowClosed);
    EXPECT_LT(t.elapsed(), 30000);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(pane.NoticeTimerActive());
}

}  // namespace
}  // namespace qv
