#include <QDialogButtonBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolTip>

#include "tests/views/settings/FakePane.h"
#include "views/settings/PageWidgets.h"

namespace qv::test {
namespace {

using SettingsSheet = SheetFixture;

TEST_F(SettingsSheet, BuildsEachPageOnItsFirstShowingAndAsksForHelpOnEveryShowing) {
    ASSERT_EQ(sheet->count(), 6);
    EXPECT_EQ(sheet->tabText(0), "General");
    EXPECT_EQ(sheet->tabText(1), "HTTP Target");
    EXPECT_EQ(sheet->tabText(2), "FTP Target");
    EXPECT_EQ(sheet->tabText(3), "Logging");
    EXPECT_EQ(sheet->tabText(4), "Dynamic DNS");
    EXPECT_EQ(sheet->tabText(5), "DNS Target");
    EXPECT_TRUE(window->findChildren<QDialogButtonBox*>().isEmpty());

    // "General" is built with the sheet: fill, then help.
    EXPECT_EQ(pane.TakePosted(),
              (std::vector<Command>{Command::GeneralFill, Command::GeneralHelp}));
    EXPECT_EQ(pane.quickHelpId, Text::GeneralHelp);
    EXPECT_NE(sheet->General(), nullptr);
    EXPECT_EQ(sheet->Http(), nullptr);
    EXPECT_EQ(sheet->Ftp(), nullptr);
    EXPECT_EQ(sheet->Logging(), nullptr);

    Show(SettingsTabs::kLoggingTab);
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::LogFill, Command::LogHelp}));
    EXPECT_EQ(pane.quickHelpId, Text::LoggingHelp);
    ASSERT_NE(sheet->Logging(), nullptr);
    EXPECT_EQ(sheet->Http(), nullptr);

    Show(SettingsTabs::kGeneralTab);
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::GeneralHelp}));
    EXPECT_EQ(pane.quickHelpId, Text::GeneralHelp);

    Show(SettingsTabs::kHttpTab);
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::HttpFill, Command::HttpHelp}));
    Show(SettingsTabs::kFtpTab);
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::FtpFill, Command::FtpHelp}));
    EXPECT_EQ(pane.quickHelpId, Text::FtpTargetHelp);
    Show(SettingsTabs::kLoggingTab);
    EXPECT_EQ(pane.TakePosted(), (std::vector<Command>{Command::LogHelp}));
}

TEST_F(SettingsSheet, FillingNeverPostsATake) {
    // Values that differ from every page's starting state, so that every control changes.
    SettingsRecord& s = pane.settings;
    s.ShowHardwareOnly = s.AutoForward = s.ShowHostResponse = s.SendAdditional = true;
    s.LoggingEnabled = s.FTPOffLineDelete = true;
    s.Method = ForwardMethod::Ftp;
    s.CheckTime = 17;
    for (QString* text :
         {&s.HTTPTargetURL, &s.FTPForwardWebPage, &s.FTPReplacementString, &s.FTPStartPage,
          &s.FTPTargetURL, &s.FTPUserID, &s.FTPPassword, &s.OffLineDomain, &s.UserIDQueryString,
          &s.PasswordQueryString, &s.StartPageQueryString, &s.AdditionalQueryString, &s.LoggingFile,
          &s.DNSServer, &s.DNSZone, &s.DNSRecordName, &s.DNSKeyName, &s.DNSKeySecret,
          &s.DNSOffLineAddress}) {
        *text = QStringLiteral("x");
    }
    pane.hideOnStartup = 1;
    for (int tab = 0; tab < SettingsTabs::kTabCount; ++tab) {
        Show(tab);
    }
    for (Command fill : {Command::GeneralFill, Command::HttpFill, Command::FtpFill,
                         Command::DnsFill, Command::LogFill}) {
        pane.PostPaneCommand(fill);
    }
    Drain();
    for (Command command : pane.TakePosted()) {
        EXPECT_TRUE(command != Command::GeneralTake && command != Command::HttpTake &&
                    command != Command::FtpTake && command != Command::DnsTake &&
                    command != Command::LogTake)
            << static_cast<int>(command);
    }
    EXPECT_EQ(Find<QLineEdit>(SettingsTabs::kFtpTab, 1141)->text(), "x");
}

TEST_F(SettingsSheet, ToolTipRequestsGoToThePane) {
    auto ask = [](QWidget* target) {
        QHelpEvent event(QEvent::ToolTip, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(target, &event);
    };
    // The minutes box's editor and the viewer's inner area stand for their controls.
    ask(Find<MinutesBox>(SettingsTabs::kGeneralTab, 1129)->Editor());
    Show(SettingsTabs::kLoggingTab);
    ask(Find<QPlainTextEdit>(SettingsTabs::kLoggingTab, 1132)->viewport());
    Show(SettingsTabs::kHttpTab);
    ask(Find<QWidget>(SettingsTabs::kHttpTab, 1107));
    ask(Find<QWidget>(SettingsTabs::kHttpTab, 1113));
    EXPECT_EQ(pane.tipRequests, (std::vector<int>{1129, 1132, 1107, 1113}));
    // The page shows no tip of its own: the frame shows one only when fast tips are on.
    EXPECT_FALSE(QToolTip::isVisible());
}

TEST_F(SettingsSheet, KeyboardOrderFollowsTheRows) {
    Show(SettingsTabs::kHttpTab);
    std::vector<int> order;
    QWidget* w = Find<QWidget>(SettingsTabs::kHttpTab, 1107);
    for (int guard = 0; guard < 64 && order.size() < 16; ++guard, w = w->nextInFocusChain()) {
        const QVariant id = w->property(SettingsPage::kControlIdProperty);
        if (id.isValid() && (w->focusPolicy() & Qt::TabFocus)) {
            order.push_back(id.toInt());
        }
    }
    EXPECT_EQ(order, (std::vector<int>{1107, 1153, 1112, 1113, 1114, 1118, 1115, 1116, 1117, 1120,
                                       1121, 1122, 1148, 1119, 1111, 1144}));
}

}  // namespace
}  // namespace qv::test
