#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "settings/LoginAutostart.h"
#include "tests/views/settings/FakePane.h"
#include "views/settings/GeneralPage.h"
#include "views/settings/PageWidgets.h"

namespace qv::test {
namespace {

class GeneralPageTest : public SheetFixture {
  protected:
    void SetUp() override {
        SheetFixture::SetUp();
        pane.TakePosted();
    }
    QCheckBox* Box(int id) const { return Find<QCheckBox>(SettingsTabs::kGeneralTab, id); }
    MinutesBox* Minutes() const { return Find<MinutesBox>(SettingsTabs::kGeneralTab, 1129); }
    GeneralTakePlan LastPlan() const {
        EXPECT_FALSE(pane.plans.empty());
        return pane.plans.empty() ? GeneralTakePlan{} : pane.plans.back();
    }
};

TEST_F(GeneralPageTest, ShowsTheLoadedSettings) {
    EXPECT_TRUE(sheet->General()->PageFilled());
    EXPECT_TRUE(Box(1138)->isChecked());
    EXPECT_FALSE(Box(1139)->isChecked());
    EXPECT_EQ(Minutes()->value(), 5);
    EXPECT_TRUE(Box(GeneralPage::kShowIpv6)->isChecked());

    // The IPv6 box is taken like the hardware box, as the user clicks it.
    Box(GeneralPage::kShowIpv6)->click();
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::GeneralTake}));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(pane.settings.ShowIPv6, 0);
    EXPECT_TRUE(Box(1152)->isChecked());  // the router is asked unless the user says no

    pane.settings.AskRouter = false;
    pane.settings.Method = ForwardMethod::Ftp;
    pane.settings.CheckForChange = false;
    pane.hideOnStartup = 1;
    Refill(Command::GeneralFill);
    EXPECT_FALSE(Box(1138)->isChecked());
    EXPECT_TRUE(Box(1139)->isChecked());
    EXPECT_TRUE(Box(1134)->isChecked());
    EXPECT_FALSE(Minutes()->isEnabled());
    EXPECT_FALSE(Box(1152)->isChecked());
    Box(1152)->click();
    Drain();
    EXPECT_EQ(pane.settings.AskRouter, 1);
}

TEST_F(GeneralPageTest, TickingAutoForwardingTurnsPollingOnAndForwardsOnce) {
    pane.settings.CheckForChange = false;
    Refill(Command::GeneralFill);

    Click(Box(1103));
    EXPECT_TRUE(Box(1143)->isChecked());
    EXPECT_TRUE(Minutes()->isEnabled());
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::GeneralTake}));
    EXPECT_EQ(pane.settings.AutoForward, 1);
    EXPECT_EQ(pane.settings.CheckForChange, 1);
    EXPECT_TRUE(LastPlan().postManualSend);

    // Other changes that leave forwarding on and the method alone send nothing more.
    Click(Box(1123));
    EXPECT_EQ(pane.settings.ShowHostResponse, 1);
    EXPECT_FALSE(LastPlan().postManualSend);

    // Polling cannot be turned off while forwarding is on.
    Click(Box(1143));
    EXPECT_TRUE(Box(1143)->isChecked());
    EXPECT_EQ(pane.settings.CheckForChange, 1);

    // Forwarding off: now polling can go, and the timer with it.
    Click(Box(1103));
    Click(Box(1143));
    EXPECT_EQ(pane.settings.CheckForChange, 0);
    EXPECT_FALSE(Minutes()->isEnabled());
}

TEST_F(GeneralPageTest, ClickingTheCheckedMethodSwapsItAndOffersToWithdrawTheOld) {
    Click(Box(1138));
    EXPECT_FALSE(Box(1138)->isChecked());
    EXPECT_TRUE(Box(1139)->isChecked());
    EXPECT_EQ(pane.settings.Method, ForwardMethod::Ftp);
    EXPECT_EQ(LastPlan().offerOffLineFor, ForwardMethod::Http);  // question 161 if sent
    EXPECT_FALSE(LastPlan().postManualSend);                     // forwarding is off

    Click(Box(1139));
    EXPECT_TRUE(Box(1138)->isChecked());
    EXPECT_FALSE(Box(1139)->isChecked());
    EXPECT_EQ(pane.settings.Method, ForwardMethod::Http);
    EXPECT_EQ(LastPlan().offerOffLineFor, ForwardMethod::Ftp);

    // The unchecked box of the pair turns the method over as well.
    Click(Box(1139));
    EXPECT_EQ(pane.settings.Method, ForwardMethod::Ftp);
    EXPECT_FALSE(Box(1138)->isChecked());
}

TEST_F(GeneralPageTest, MinutesWrapAroundAndEachStepRestartsThePollingPeriod) {
    pane.settings.CheckTime = 100;
    Refill(Command::GeneralFill);
    Minutes()->setFocus();
    QTest::keyClick(Minutes(), Qt::Key_Up);
    Drain();
    EXPECT_EQ(Minutes()->value(), 1);
    EXPECT_EQ(pane.settings.CheckTime, 1);
    QTest::keyClick(Minutes(), Qt::Key_Down);
    Drain();
    EXPECT_EQ(pane.settings.CheckTime, 100);
    EXPECT_EQ(Count(pane.TakePosted(), Command::GeneralTake), 2);
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(GeneralPageTest, MinutesAreEditedFreelyAndCheckedWhenTheUserLeavesTheBox) {
    // Clearing the box and typing an out-of-range number asks nothing yet and takes nothing.
    Minutes()->setFocus();
    Minutes()->selectAll();
    QTest::keyClick(Minutes(), Qt::Key_Backspace);
    QTest::keyClicks(Minutes(), QStringLiteral("101"));
    Drain();
    EXPECT_EQ(Minutes()->Editor()->text(), "101");
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(Count(pane.TakePosted(), Command::GeneralTake), 0);

    // Enter takes the value: the range prompt, and the box shows the minutes again.
    QTest::keyClick(Minutes(), Qt::Key_Return);
    Drain();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_TRUE(prompter.shown[0].text.contains(QStringLiteral("between 1 and 100")));
    EXPECT_EQ(Minutes()->Editor()->text(), "5");
    EXPECT_EQ(pane.settings.CheckTime, 5);

    Minutes()->selectAll();
    QTest::keyClicks(Minutes(), QStringLiteral("12"));
    Drain();
    EXPECT_EQ(pane.settings.CheckTime, 5);  // not yet 1, nor 12
    QTest::keyClick(Minutes(), Qt::Key_Return);
    Drain();
    EXPECT_EQ(pane.settings.CheckTime, 12);

    // An empty box that the user leaves gets the other prompt and keeps 12.
    Minutes()->selectAll();
    QTest::keyClick(Minutes(), Qt::Key_Delete);
    Box(1134)->setFocus();
    Drain();
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[1].text, QStringLiteral("Please enter an integer."));
    EXPECT_EQ(Minutes()->value(), 12);
    EXPECT_EQ(pane.settings.CheckTime, 12);
}

TEST_F(GeneralPageTest, EditsBeforeTheFirstFillStayOnThePage) {
    FakePane quiet;  // never answers: no sheet
    GeneralPage page(quiet);
    page.show();
    quiet.TakePosted();
    QCheckBox* notify = page.findChild<QCheckBox*>(QStringLiteral("ctl1102"));
    Click(notify);
    EXPECT_TRUE(notify->isChecked());
    EXPECT_FALSE(page.PageFilled());
    EXPECT_TRUE(quiet.TakePosted().empty());
}

// The log-in box is the user's autostart entry under $XDG_CONFIG_HOME; no setting changes.
TEST_F(GeneralPageTest, StartAtLoginWritesAndRemovesTheUsersAutostartEntry) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString entry = config.filePath(QStringLiteral("autostart/quorvane.desktop"));
    ASSERT_EQ(LoginAutostart::EntryPath(), entry);
    Refill(Command::GeneralFill);
    QCheckBox* box = Box(1150);
    EXPECT_EQ(box->text(), QStringLiteral("Start Quorvane when I log in"));
    EXPECT_FALSE(box->isChecked());

    Click(box);
    EXPECT_TRUE(box->isChecked());
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    EXPECT_TRUE(text.contains(
        QStringLiteral("\nExec=\"%1\"\n").arg(QCoreApplication::applicationFilePath())));
    EXPECT_TRUE(pane.TakePosted().empty());
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (!validator.isEmpty()) {
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(validator, {entry});
        ASSERT_TRUE(check.waitForFinished());
        EXPECT_EQ(check.readAll(), QByteArray());
        EXPECT_EQ(check.exitCode(), 0);
    }

    Click(box);
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(QFile::exists(entry));

    // The state is what the file says: written by the desktop's own tool, switched off by it,
    // and an awkward program path quoted as the format asks.
    ASSERT_TRUE(LoginAutostart::Set(true, QStringLiteral("/opt/a b/100%/x\"y")));
    QFile awkward(entry);
    ASSERT_TRUE(awkward.open(QIODevice::ReadOnly));
    EXPECT_TRUE(awkward.readAll().contains("\nExec=\"/opt/a b/100%%/x\\\\\"y\"\n"));
    Refill(Command::GeneralFill);
    EXPECT_TRUE(box->isChecked());
    QFile hidden(entry);
    ASSERT_TRUE(hidden.open(QIODevice::Append));
    hidden.write("Hidden=true\n");
    hidden.close();
    Refill(Command::GeneralFill);
    EXPECT_FALSE(box->isChecked());
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(GeneralPageTest, RefreshDataByClickAndByItsMnemonic) {
    Click(Find<QPushButton>(SettingsTabs::kGeneralTab, 1105));
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::Refresh}));
    QTest::keyClick(window.get(), Qt::Key_R, Qt::AltModifier);
    // A mnemonic presses the button visibly: the click comes a moment later.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !pane.posted.empty(); }, 2000));
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::Refresh}));
}

}  // namespace
}  // namespace qv::test
