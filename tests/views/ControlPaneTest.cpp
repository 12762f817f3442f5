#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>

#include "ViewsTestSupport.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
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
        test::SettleWhile([this] { return pane.IsBusy(); });
    }

    test::FakeDoc doc;
    test::RecordingForwarding forwarding;
    test::FakeNotice notice;
    ControlPane pane;
};

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
