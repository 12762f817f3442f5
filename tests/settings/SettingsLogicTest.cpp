#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>

#include "platform/FileError.h"
#include "settings/GeneralTakePlan.h"
#include "settings/LogFileView.h"
#include "settings/SettingsSaver.h"

namespace qv {
namespace {

void EnsureCoreApplication() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "settings_logic_tests";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);
    }
}

// ---- The pane's decisions after a General take ----

SettingsRecord With(int autoForward, int useHttp, int polling = 1, int minutes = 5) {
    SettingsRecord s;
    s.AutoForward = autoForward;
    s.Method = useHttp ? ForwardMethod::Http : ForwardMethod::Ftp;
    s.CheckForChange = polling;
    s.CheckTime = minutes;
    return s;
}

TEST(GeneralTakePlan, ForwardsWhenAutoForwardingStartsOrTheMethodChanges) {
    struct Case {
        SettingsRecord before, after;
        bool send;
        std::optional<ForwardMethod> offer;
    };
    const Case cases[] = {
        {With(0, 1), With(1, 1), true, std::nullopt},         // ticked: send now
        {With(1, 1), With(1, 1), false, std::nullopt},        // another box: nothing
        {With(1, 1), With(0, 1), false, std::nullopt},        // unticked: nothing
        {With(1, 1), With(1, 0), true, ForwardMethod::Http},  // HTTP -> FTP while on
        {With(0, 0), With(0, 1), false, ForwardMethod::Ftp},  // FTP -> HTTP while off
        {With(0, 1), With(1, 0), true, ForwardMethod::Http},  // both at once
    };
    for (const Case& c : cases) {
        const GeneralTakePlan plan = PlanGeneralTake(c.before, c.after);
        EXPECT_EQ(plan.postManualSend, c.send)
            << c.before.AutoForward << MethodName(c.before.Method).toStdString() << "->"
            << c.after.AutoForward << MethodName(c.after.Method).toStdString();
        EXPECT_EQ(plan.offerOffLineFor, c.offer);
    }
}

// ---- The delayed save ----

TEST(SettingsSaver, ABurstOfChangesEndsInOneWrite) {
    EnsureCoreApplication();
    int writes = 0;
    SettingsSaver saver(
        [&writes] {
            ++writes;
            return true;
        },
        nullptr, 50);
    for (int i = 0; i < 5; ++i) {
        saver.Schedule();
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(saver.IsPending());
    EXPECT_EQ(writes, 0);
    QElapsedTimer clock;
    clock.start();
    while (saver.IsPending() && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(writes, 1);
    // Nothing waiting: a flush writes nothing.
    EXPECT_TRUE(saver.Flush());
    EXPECT_EQ(writes, 1);
}

TEST(SettingsSaver, FlushWritesTheLatestValuesAtOnceAndReportsFailure) {
    EnsureCoreApplication();
    QTemporaryDir dir;
    setenv("XDG_CONFIG_HOME", qPrintable(dir.path()), 1);

    SettingsRecord settings;
    int hide = 0;
    SettingsSaver saver(settings, hide, nullptr, 60000);
    bool reported = false;
    QObject::connect(&saver, &SettingsSaver::Saved, [&reported](bool ok) { reported = ok; });
    settings.HTTPTargetURL = QStringLiteral("http://host.test/a.asp");
    saver.Schedule();
    settings.CheckTime = 42;  // changed after scheduling: the write takes what is there then
    hide = 1;
    EXPECT_TRUE(saver.Flush());
    EXPECT_FALSE(saver.IsPending());
    EXPECT_TRUE(reported);
    {
        QSettings stored(SettingsFilePath(), QSettings::IniFormat);
        EXPECT_EQ(stored.value("Settings/HTTPTargetURL").toString(), "http://host.test/a.asp");
        EXPECT_EQ(stored.value("Settings/CheckTime").toInt(), 42);
        EXPECT_EQ(stored.value("Settings/HideOnStartup").toInt(), 1);
    }

    SettingsSaver failing([] { return false; }, nullptr, 60000);
    failing.Schedule();
    EXPECT_FALSE(failing.Flush());
    unsetenv("XDG_CONFIG_HOME");
}

// ---- The log viewer's file work ----

class LogFile : public ::testing::Test {
  protected:
    QString Write(const QByteArray& bytes, const char* name = "log.txt") {
        const QString path = m_dir.filePath(QLatin1String(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(LogFile, ViewerTakesUpTo65519BytesAndShowsEachLineBreakOnce) {
    const LogViewResult fits = ReadLogForViewer(Write(QByteArray(kLogViewerMaxBytes, 'a')));
    EXPECT_EQ(fits.status, LogViewResult::Shown);
    EXPECT_EQ(fits.text.size(), kLogViewerMaxBytes);
    EXPECT_EQ(ReadLogForViewer(Write(QByteArray(kLogViewerMaxBytes + 1, 'a'))).status,
              LogViewResult::TooLarge);

    // Entries end in CR CR CR LF on disk; a typed CR LF and a lone CR are line breaks too.
    const LogViewResult text = ReadLogForViewer(Write("one\r\r\r\ntwo\r\nthree\rfour\n"));
    EXPECT_EQ(text.text, QStringLiteral("one\ntwo\nthree\nfour\n"));
    EXPECT_EQ(ReadLogForViewer(Write("")).text, QString());
}

TEST_F(LogFile, FailuresCarryTheFileCause) {
    const LogViewResult missing = ReadLogForViewer(m_dir.filePath("none.txt"));
    EXPECT_EQ(missing.status, LogViewResult::Failed);
    EXPECT_EQ(missing.cause, kFileNotFound);
    // Folders, devices and FIFOs are refused without blocking and without being emptied.
    const QString fifo = m_dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {m_dir.path(), fifo, QStringLiteral("/dev/zero")}) {
        EXPECT_EQ(ReadLogForViewer(path).cause, kFileAccessDenied) << path.toStdString();
        EXPECT_EQ(EmptyLogFile(path), kFileAccessDenied) << path.toStdString();
    }
    if (geteuid() != 0) {
        const QString locked = Write("secret");
        chmod(qPrintable(locked), 0);
        EXPECT_EQ(ReadLogForViewer(locked).cause, kFileAccessDenied);
    }
}

}  // namespace
}  // namespace qv
