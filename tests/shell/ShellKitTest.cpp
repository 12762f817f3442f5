#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "resources/Icons.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "shell/HelpPath.h"
#include "shell/Menus.h"
#include "shell/TrayIcon.h"
#include "tests/support/FakeMachine.h"

namespace qv {
namespace {

using test::WaitFor;

// ---- tray tip ------------------------------------------------------------------------------

TEST(TrayTip, LongTipsAreCutTo63CharactersWithoutSplittingACharacter) {
    const QString seventy(70, QLatin1Char('x'));
    EXPECT_EQ(CutTrayTip(seventy), QString(63, QLatin1Char('x')));
    EXPECT_EQ(CutTrayTip(QString(63, QLatin1Char('y'))), QString(63, QLatin1Char('y')));

    // A character outside the basic plane that would straddle the cut is left out whole.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8C\x8D");  // two UTF-16 units
    const QString tip = QString(62, QLatin1Char('a')) + emoji + QStringLiteral("bc");
    EXPECT_EQ(CutTrayTip(tip), QString(62, QLatin1Char('a')));
}

TEST(TrayTip, AddressTipFillsString150) {
    EXPECT_EQ(TrayAddressTip(QStringLiteral("192.168.1.20")), "IP Address: 192.168.1.20");
    EXPECT_EQ(TrayAddressTip(LoadString(Text::PlaceholderAddress)), "IP Address: ---.---.---.---");
    // An address text is inserted literally, even one with format characters in it.
    EXPECT_EQ(TrayAddressTip(QStringLiteral("%s%d")), "IP Address: %s%d");
    EXPECT_EQ(TrayAddressTip(QString(80, QLatin1Char('1'))).size(), kTrayTipMax);
}

// ---- help file ----------------------------------------------------------------------------

TEST(HelpPath, HlpExtensionBecomesChm) {
    EXPECT_EQ(RewriteHelpExtension(QStringLiteral("C:\\Dir\\Prog.HLP")), "C:\\Dir\\Prog.chm");
    EXPECT_EQ(RewriteHelpExtension(QStringLiteral("/opt/q/quorvane.hlp")), "/opt/q/quorvane.chm");
    EXPECT_EQ(RewriteHelpExtension(QStringLiteral("/opt/q/quorvane.hl")), "/opt/q/quorvane.chm");
    // No extension, another extension, or a dot only in a folder name: unchanged.
    EXPECT_EQ(RewriteHelpExtension(QStringLiteral("/usr/bin/quorvane")), "/usr/bin/quorvane");
    EXPECT_EQ(RewriteHelpExtension(QStringLiteral("/a/quorvane.html")), "/a/quorvane.html");
    EXPECT_EQ(RewriteHelpExtension(QStringLiteral("/a/b.hlp/prog")), "/a/b.hlp/prog");
    EXPECT_EQ(RewriteHelpExtension(QString()), QString());
}

class HelpFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // Keep the system's data folders out of the search.
        saved = qgetenv("XDG_DATA_DIRS");
        savedHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_DIRS", QFile::encodeName(dir.filePath("sysdata")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("userdata")));
    }
    void TearDown() override {
        qputenv("XDG_DATA_DIRS", saved);
        qputenv("XDG_DATA_HOME", savedHome);
    }
    static void Touch(const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QTemporaryDir dir;
    QByteArray saved, savedHome;
};

TEST_F(HelpFileTest, FoundBesideTheProgramThenUnderThePrefixThenInDataFolders) {
    const QString bin = dir.filePath("prefix/bin");
    QDir().mkpath(bin);
    EXPECT_EQ(FindHelpFile(bin), QString());

    Touch(dir.filePath("sysdata/quorvane/quorvane.html"));
    EXPECT_EQ(FindHelpFile(bin), dir.filePath("sysdata/quorvane/quorvane.html"));

    Touch(dir.filePath("prefix/share/quorvane/quorvane.html"));
    EXPECT_EQ(FindHelpFile(bin), dir.filePath("prefix/share/quorvane/quorvane.html"));

    Touch(dir.filePath("prefix/bin/quorvane.html"));
    EXPECT_EQ(FindHelpFile(bin), dir.filePath("prefix/bin/quorvane.html"));
}

// ---- tray icon ----------------------------------------------------------------------------

QList<std::pair<int, QString>> MenuItems(QMenu* menu) {
    QList<std::pair<int, QString>> items;
    for (QAction* a : menu->actions()) {
        items.append({a->isSeparator() ? -1 : CommandOf(a), a->text()});
    }
    return items;
}

TEST(TrayIcon, MenuHasTheTrayItemsWithOpenAsDefault) {
    TrayIcon tray(kTrayIconId);
    EXPECT_EQ(tray.Tip(), QString());  // there is no string 103
    const QList<std::pair<int, QString>> expected = {
        {kCmdOpen, "&Open Quorvane"},
        {kCmdTrayManualSend, "&Manual send IP Address to URL"},
        {-1, ""},
        {kCmdAbout, "&About Quorvane"},
        {-1, ""},
        {kCmdShutDown, "Shut &Down Quorvane"},
    };
    EXPECT_EQ(MenuItems(tray.Menu()), expected);
    ASSERT_NE(tray.Menu()->defaultAction(), nullptr);
    EXPECT_EQ(CommandOf(tray.Menu()->defaultAction()), kCmdOpen);
    EXPECT_EQ(tray.SystemTrayIcon()->contextMenu(), tray.Menu());
    EXPECT_EQ(tray.Menu()->actions().at(1)->statusTip(), LoadString(kCmdTrayManualSend));
}

TEST(TrayIcon, ClicksBecomeCommands) {
    TrayIcon tray(kTrayIconId);
    QSignalSpy commands(&tray, &TrayIcon::Command);

    EXPECT_EQ(tray.HandleTrayEvent(kTrayIconId, QSystemTrayIcon::DoubleClick), 1);
    EXPECT_EQ(tray.HandleTrayEvent(kTrayIconId, QSystemTrayIcon::Context), 1);
    EXPECT_EQ(tray.HandleTrayEvent(kTrayIconId + 1, QSystemTrayIcon::DoubleClick), 0);
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toInt(), kCmdOpen);

    // The platform's own activation signal takes the same road.
    emit tray.SystemTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    ASSERT_EQ(commands.count(), 2);

    tray.Menu()->actions().last()->trigger();
    ASSERT_EQ(commands.count(), 3);
    EXPECT_EQ(commands.at(2).at(0).toInt(), kCmdShutDown);
}

// The icon and its tip stay asked for while the notification area is away; Qt docks it again
// when the area announces itself (the panel tests show that on a real panel).
TEST(TrayIcon, ShownFollowsTheNotificationAreaAndRemovalIsForGood) {
    bool trayUp = false;
    TrayIcon tray(kTrayIconId);
    tray.SetTrayProbe([&] { return trayUp; });
    const QIcon icon = TrayIconImage();
    ASSERT_FALSE(icon.isNull());
    // The images rendered at build time are compiled in.
    EXPECT_FALSE(icon.pixmap(16, 16).isNull());
    EXPECT_FALSE(AppIcon().pixmap(48, 48).isNull());

    EXPECT_FALSE(tray.UpdateIcon(icon, TrayAddressTip(LoadString(Text::PlaceholderAddress))));
    EXPECT_FALSE(tray.IsShown());
    trayUp = true;  // the panel starts after the program
    EXPECT_TRUE(tray.IsShown());
    EXPECT_EQ(tray.SystemTrayIcon()->toolTip(), "IP Address: ---.---.---.---");

    // Changing the icon without a tip keeps the tip.
    EXPECT_TRUE(tray.UpdateIcon(icon, TrayAddressTip(QStringLiteral("10.0.0.5"))));
    EXPECT_TRUE(tray.UpdateIcon(icon));
    EXPECT_EQ(tray.SystemTrayIcon()->toolTip(), "IP Address: 10.0.0.5");
    trayUp = false;  // the panel goes away ...
    EXPECT_FALSE(tray.IsShown());
    trayUp = true;  // ... and comes back
    EXPECT_TRUE(tray.IsShown());

    // Removed on purpose: it stays away.
    EXPECT_TRUE(tray.UpdateIcon(QIcon()));
    EXPECT_FALSE(tray.IsShown());
    EXPECT_FALSE(tray.SystemTrayIcon()->isVisible());
    EXPECT_TRUE(tray.UpdateIcon(QIcon()));  // nothing to remove
}

}  // namespace
}  // namespace qv
