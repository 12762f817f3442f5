#include <QAction>
#include <QDir>
#include <QEvent>
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
#include "shell/CSubclassWnd.h"
#include "shell/CTrayIcon.h"
#include "shell/HelpPath.h"
#include "shell/Menus.h"
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
    EXPECT_EQ(TrayAddressTip(LoadString(115)), "IP Address: ---.---.---.---");
    // An address text is inserted literally, even one with format characters in it.
    EXPECT_EQ(TrayAddressTip(QStringLiteral("%s%d")), "IP Address: %s%d");
    EXPECT_EQ(TrayAddressTip(QString(80, QLatin1Char('1'))).size(), kTrayTipMax);
}

// ---- hook chain ----------------------------------------------------------------------------

const QEvent::Type kProbe = QEvent::Type(QEvent::User + 7);

class LoggingWidget : public QWidget {
  public:
    explicit LoggingWidget(QStringList* log) : m_log(log) {}

  protected:
    bool event(QEvent* e) override {
        if (e->type() == kProbe) {
            *m_log << QStringLiteral("window");
            return true;
        }
        return QWidget::event(e);
    }

  private:
    QStringList* m_log;
};

class LoggingHook : public CSubclassWnd {
  public:
    LoggingHook(QString name, QStringList* log, bool stop = false)
        : m_name(std::move(name)), m_log(log), m_stop(stop) {}

  protected:
    bool HandleEvent(QEvent* e) override {
        if (e->type() == kProbe) {
            *m_log << m_name;
            if (m_stop) {
                return true;
            }
        }
        return CSubclassWnd::HandleEvent(e);
    }

  private:
    QString m_name;
    QStringList* m_log;
    bool m_stop;
};

QStringList Probe(QObject* target, QStringList* log) {
    log->clear();
    QEvent e(kProbe);
    QCoreApplication::sendEvent(target, &e);
    return *log;
}

TEST(HookChain, LaterHookRunsFirstAndHooksLeaveInAnyOrder) {
    QStringList log;
    LoggingWidget w(&log);
    LoggingHook first(QStringLiteral("first"), &log);
    LoggingHook second(QStringLiteral("second"), &log);
    first.HookTo(&w);
    second.HookTo(&w);
    EXPECT_EQ(Probe(&w, &log), QStringList({"second", "first", "window"}));

    EXPECT_TRUE(first.Unhook());
    EXPECT_FALSE(first.IsHooked());
    EXPECT_EQ(Probe(&w, &log), QStringList({"second", "window"}));

    EXPECT_TRUE(second.Unhook());
    EXPECT_FALSE(second.Unhook());
    EXPECT_EQ(Probe(&w, &log), QStringList({"window"}));

    // A fresh chain on the same window works as the first did.
    first.HookTo(&w);
    EXPECT_EQ(Probe(&w, &log), QStringList({"first", "window"}));
}

TEST(HookChain, MiddleHookLeavesAndAHookCanStopAnEvent) {
    QStringList log;
    LoggingWidget w(&log);
    LoggingHook a(QStringLiteral("a"), &log), b(QStringLiteral("b"), &log);
    LoggingHook c(QStringLiteral("c"), &log, /*stop=*/true);
    a.HookTo(&w);
    b.HookTo(&w);
    EXPECT_EQ(Probe(&w, &log), QStringList({"b", "a", "window"}));
    c.HookTo(&w);
    EXPECT_EQ(Probe(&w, &log), QStringList({"c"}));
    c.HookTo(nullptr);
    a.HookTo(&w);  // hooking again moves the hook to the head, it is never in the chain twice
    EXPECT_EQ(Probe(&w, &log), QStringList({"a", "b", "window"}));
    b.Unhook();
    EXPECT_EQ(Probe(&w, &log), QStringList({"a", "window"}));
}

TEST(HookChain, DestroyedWindowDropsAllItsHooks) {
    QStringList log;
    LoggingHook a(QStringLiteral("a"), &log), b(QStringLiteral("b"), &log);
    {
        auto* w = new LoggingWidget(&log);
        a.HookTo(w);
        b.HookTo(w);
        delete w;
    }
    EXPECT_FALSE(a.IsHooked());
    EXPECT_FALSE(b.IsHooked());
    EXPECT_FALSE(a.Unhook());

    // A new window (possibly at the same address) starts with an empty chain.
    LoggingWidget w2(&log);
    b.HookTo(&w2);
    EXPECT_EQ(Probe(&w2, &log), QStringList({"b", "window"}));
}

TEST(HookChain, HookLeavesItsWindowWhenMovedOrDestroyed) {
    QStringList log;
    LoggingWidget w1(&log), w2(&log);
    LoggingHook a(QStringLiteral("a"), &log);
    a.HookTo(&w1);
    {
        LoggingHook b(QStringLiteral("b"), &log);
        b.HookTo(&w1);
        b.HookTo(&w2);
        EXPECT_EQ(b.HookedWindow(), &w2);
        EXPECT_EQ(Probe(&w1, &log), QStringList({"a", "window"}));
        EXPECT_EQ(Probe(&w2, &log), QStringList({"b", "window"}));
        b.HookTo(&w1);
    }
    EXPECT_EQ(Probe(&w1, &log), QStringList({"a", "window"}));
    EXPECT_EQ(Probe(&w2, &log), QStringList({"window"}));
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
    CTrayIcon tray(kTrayIconId);
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
    CTrayIcon tray(kTrayIconId);
    QSignalSpy commands(&tray, &CTrayIcon::Command);

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

TEST(TrayIcon, IconComesBackWithItsTipWhenTheTrayReturns) {
    bool trayUp = true;
    CTrayIcon tray(kTrayIconId);
    tray.SetTrayProbe([&] { return trayUp; }, 20);
    const QIcon icon = TrayIconImage();
    ASSERT_FALSE(icon.isNull());
    // The images rendered at build time are compiled in.
    EXPECT_FALSE(icon.pixmap(16, 16).isNull());
    EXPECT_FALSE(AppIcon().pixmap(48, 48).isNull());

    EXPECT_TRUE(tray.UpdateIcon(icon, TrayAddressTip(QStringLiteral("10.0.0.5"))));
    EXPECT_TRUE(tray.IsShown());
    EXPECT_TRUE(tray.SystemTrayIcon()->isVisible());
    EXPECT_EQ(tray.SystemTrayIcon()->toolTip(), "IP Address: 10.0.0.5");

    // Changing the icon without a tip keeps the tip.
    EXPECT_TRUE(tray.UpdateIcon(icon));
    EXPECT_EQ(tray.Tip(), "IP Address: 10.0.0.5");

    trayUp = false;  // the panel goes away ...
    ASSERT_TRUE(WaitFor([&] { return !tray.IsShown(); }, 2000));
    trayUp = true;  // ... and comes back
    ASSERT_TRUE(WaitFor([&] { return tray.IsShown(); }, 2000));
    EXPECT_TRUE(tray.SystemTrayIcon()->isVisible());
    EXPECT_EQ(tray.SystemTrayIcon()->toolTip(), "IP Address: 10.0.0.5");

    // Removed on purpose: it stays away when the tray returns.
    EXPECT_TRUE(tray.UpdateIcon(QIcon()));
    EXPECT_FALSE(tray.IsShown());
    EXPECT_FALSE(tray.SystemTrayIcon()->isVisible());
    trayUp = false;
    QTest::qWait(60);
    trayUp = true;
    QTest::qWait(60);
    EXPECT_FALSE(tray.SystemTrayIcon()->isVisible());
    EXPECT_TRUE(tray.UpdateIcon(QIcon()));  // nothing to remove
}

TEST(TrayIcon, IconAskedForBeforeTheTrayExistsAppearsWhenItDoes) {
    bool trayUp = false;
    CTrayIcon tray(kTrayIconId);
    tray.SetTrayProbe([&] { return trayUp; }, 20);
    EXPECT_FALSE(tray.UpdateIcon(TrayIconImage(), TrayAddressTip(LoadString(115))));
    EXPECT_FALSE(tray.IsShown());
    trayUp = true;
    ASSERT_TRUE(WaitFor([&] { return tray.IsShown(); }, 2000));
    EXPECT_TRUE(tray.SystemTrayIcon()->isVisible());
    EXPECT_EQ(tray.SystemTrayIcon()->toolTip(), "IP Address: ---.---.---.---");
}

}  // namespace
}  // namespace qv
