#include <QLineEdit>
#include <QPushButton>

#include "tests/views/settings/FakePane.h"

namespace qv::test {
namespace {

class HttpPage : public SheetFixture {
  protected:
    void SetUp() override {
        SheetFixture::SetUp();
        Show(SettingsTabs::kHttpTab);
        pane.TakePosted();
    }
    QLineEdit* Edit(int id) const { return Find<QLineEdit>(SettingsTabs::kHttpTab, id); }
    QCheckBox* Box(int id) const { return Find<QCheckBox>(SettingsTabs::kHttpTab, id); }
};

TEST_F(HttpPage, EveryKeystrokeIsTaken) {
    EXPECT_EQ(Edit(1112)->text(), "IPAddress");
    EXPECT_EQ(Edit(1121)->text(), "StartPage");
    QTest::keyClicks(Edit(1107), QStringLiteral("http://h/s.asp"));
    Drain();
    EXPECT_EQ(Count(pane.TakePosted(), Command::HttpTake), 14);
    EXPECT_EQ(pane.settings.HTTPTargetURL, "http://h/s.asp");

    QTest::keyClicks(Edit(1118), QStringLiteral("joe"));
    Drain();
    EXPECT_EQ(pane.settings.UserIDQueryString, "joe");
    EXPECT_EQ(pane.settings.HTTPTargetURL, "http://h/s.asp");
    QTest::keyClicks(Edit(1153), QStringLiteral("http://e/ip"));
    Drain();
    EXPECT_EQ(pane.settings.EchoPageURL, "http://e/ip");
}

TEST_F(HttpPage, EnableBoxesSwitchTheirRowAndAreTakenAtOnce) {
    Click(Box(1113));
    EXPECT_FALSE(Edit(1114)->isEnabled());
    EXPECT_FALSE(Edit(1118)->isEnabled());
    EXPECT_TRUE(Edit(1116)->isEnabled());
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::HttpTake}));
    EXPECT_EQ(pane.settings.SendUserID, 0);

    EXPECT_FALSE(Edit(1111)->isEnabled());
    Click(Box(1119));
    EXPECT_TRUE(Edit(1111)->isEnabled());
    EXPECT_EQ(pane.settings.SendAdditional, 1);

    // The target and the address tag are never disabled.
    Click(Box(1115));
    Click(Box(1120));
    EXPECT_FALSE(Edit(1117)->isEnabled());
    EXPECT_FALSE(Edit(1122)->isEnabled());
    EXPECT_TRUE(Edit(1107)->isEnabled());
    EXPECT_TRUE(Edit(1112)->isEnabled());
}

TEST_F(HttpPage, PasswordIsMaskedUntilRevealedAndMaskedAgainOnLeaving) {
    QLineEdit* password = Edit(1117);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    QTest::keyClicks(password, QStringLiteral("s3cret"));
    Drain();
    EXPECT_EQ(pane.settings.PasswordQueryString, "s3cret");

    auto* show = sheet->Page(SettingsTabs::kHttpTab)
                     ->findChild<QCheckBox*>(QStringLiteral("revealPassword"));
    ASSERT_NE(show, nullptr);
    pane.TakePosted();
    Click(show);
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
    EXPECT_TRUE(pane.TakePosted().empty());  // showing is no change of the settings
    Show(SettingsTabs::kGeneralTab);
    Show(SettingsTabs::kHttpTab);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(pane.settings.PasswordQueryString, "s3cret");
}

TEST_F(HttpPage, ButtonsOnlyPostTheirCommand) {
    Click(Find<QPushButton>(SettingsTabs::kHttpTab, 1148));
    Click(Find<QPushButton>(SettingsTabs::kHttpTab, 1144));
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::SendHttp, Command::HttpOffLine}));
}

class FtpPage : public SheetFixture {
  protected:
    void SetUp() override {
        SheetFixture::SetUp();
        Show(SettingsTabs::kFtpTab);
        pane.TakePosted();
    }
    QLineEdit* Edit(int id) const { return Find<QLineEdit>(SettingsTabs::kFtpTab, id); }
};

TEST_F(FtpPage, ThePagePathIsTakenWhenItsBoxLosesFocus) {
    Edit(1136)->setFocus();
    QTest::keyClicks(Edit(1136), QStringLiteral("/srv/page.htm"));
    Drain();
    EXPECT_TRUE(pane.TakePosted().empty());
    EXPECT_TRUE(pane.settings.FTPForwardWebPage.isEmpty());

    QTest::keyClick(Edit(1136), Qt::Key_Tab);
    Drain();
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::FtpTake}));
    EXPECT_EQ(pane.settings.FTPForwardWebPage, "/srv/page.htm");

    // Other boxes are taken on every keystroke.
    QTest::keyClicks(Edit(1142), QStringLiteral("ftp://h/d"));
    Drain();
    EXPECT_EQ(pane.settings.FTPTargetURL, "ftp://h/d");
    EXPECT_EQ(Edit(1141)->echoMode(), QLineEdit::Password);
}

TEST_F(FtpPage, BrowseConfirmedTakesTheFileAndCancelledChangesNothing) {
    pane.settings.FTPForwardWebPage = QStringLiteral("/old/page.htm");
    Refill(Command::FtpFill);
    QPushButton* browse = Find<QPushButton>(SettingsTabs::kFtpTab, 1110);

    Click(browse);  // the script cancels
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].initialPath, "/old/page.htm");
    EXPECT_TRUE(dialogs.requests[0].defaultSuffix.isEmpty());
    ASSERT_EQ(dialogs.requests[0].filters.size(), 3);
    EXPECT_EQ(QtFilterText(dialogs.requests[0].filters),
              "HTML Files (*.htm *.html);;ASP Files (*.asp);;All Files (*)");
    EXPECT_EQ(Edit(1136)->text(), "/old/page.htm");
    EXPECT_EQ(pane.settings.FTPForwardWebPage, "/old/page.htm");

    dialogs.answers.push_back(QStringLiteral("/srv/www/index.html"));
    Click(browse);
    EXPECT_EQ(Edit(1136)->text(), "/srv/www/index.html");
    EXPECT_EQ(pane.settings.FTPForwardWebPage, "/srv/www/index.html");
}

TEST_F(FtpPage, DeletingOffLineDisablesTheSubstituteButKeepsItsText) {
    QTest::keyClicks(Edit(1137), QStringLiteral("example.test/x.htm"));
    auto* remove = Find<QCheckBox>(SettingsTabs::kFtpTab, 1145);
    Click(remove);
    EXPECT_FALSE(Edit(1137)->isEnabled());
    EXPECT_EQ(pane.settings.FTPOffLineDelete, 1);
    Click(remove);
    EXPECT_TRUE(Edit(1137)->isEnabled());
    EXPECT_EQ(pane.settings.FTPOffLineDelete, 0);
    EXPECT_EQ(pane.settings.OffLineDomain, "example.test/x.htm");

    // The encryption box is taken at once as well.
    auto* encrypt = Find<QCheckBox>(SettingsTabs::kFtpTab, 1157);
    EXPECT_EQ(encrypt->text(), "Require encryption (explicit TLS)");
    Click(encrypt);
    EXPECT_EQ(pane.settings.FTPRequireEncryption, 1);

    pane.TakePosted();
    Click(Find<QPushButton>(SettingsTabs::kFtpTab, 1106));
    Click(Find<QPushButton>(SettingsTabs::kFtpTab, 1144));
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::SendFtp, Command::FtpOffLine}));
}

}  // namespace
}  // namespace qv::test
