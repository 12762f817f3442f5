#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

#include "WatcherFixture.h"
#include "platform/ShownText.h"
#include "watch/EventLog.h"

namespace qv {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(EventLog, EntriesEndInCrCrCrLfAndLineFeedsBecomeCrLf) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    EventLog log;

    EXPECT_FALSE(log.WriteLogEntry(path, "abc").has_value());
    EXPECT_EQ(ReadAll(path), QByteArray("abc\r\r\r\n"));
    EXPECT_EQ(log.m_logSize, 0);
    // It names the machine's addresses and hosts: readable by its owner only.
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // An LF alone becomes CR LF; a CR LF already in the text becomes CR CR LF.
    EXPECT_FALSE(log.WriteLogEntry(path, "one\ntwo\r\nthree").has_value());
    EXPECT_EQ(ReadAll(path), QByteArray("abc\r\r\r\none\r\ntwo\r\r\nthree\r\r\r\n"));
    EXPECT_EQ(log.m_logSize, 7);

    // Appending never truncates, whoever else wrote to the file in between.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("xyz");
    }
    EXPECT_FALSE(log.WriteLogEntry(path, "").has_value());
    EXPECT_EQ(log.m_logSize, 7 + 20 + 3);
    EXPECT_TRUE(ReadAll(path).endsWith("xyz\r\r\r\n"));
}

TEST(EventLog, FileProblemsGiveTheCauseTextAndKeepTheLastSize) {
    QTemporaryDir dir;
    EventLog log;
    log.m_logSize = 1234;

    // Only a regular file is a log: a device, a FIFO with or without a reader (whose open would
    // block) and a folder are refused at once.
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {QStringLiteral("/dev/full"), fifo}) {
        const auto refused = log.WriteLogEntry(path, "entry");
        ASSERT_TRUE(refused.has_value()) << path.toStdString();
        EXPECT_EQ(*refused, "Log file problem. Reason: The file could not be accessed.");
    }
    {
        const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        EXPECT_TRUE(log.WriteLogEntry(fifo, "entry").has_value());
        ::close(reader);
    }

    const auto missingFolder = log.WriteLogEntry(dir.filePath("no/such/log.txt"), "entry");
    ASSERT_TRUE(missingFolder.has_value());
    EXPECT_EQ(*missingFolder, "Log file problem. Reason: The file could not be located.");

    const auto folder = log.WriteLogEntry(dir.path(), "entry");
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(*folder, "Log file problem. Reason: The file could not be accessed.");

    if (geteuid() != 0) {  // root writes read-only files anyway
        const QString readOnly = dir.filePath("ro.txt");
        QFile(readOnly).open(QIODevice::WriteOnly);
        ::chmod(QFile::encodeName(readOnly).constData(), 0444);
        const auto denied = log.WriteLogEntry(readOnly, "entry");
        ASSERT_TRUE(denied.has_value());
        EXPECT_EQ(*denied, "Log file problem. Reason: The file could not be accessed.");
    }
    EXPECT_EQ(log.m_logSize, 1234);
}

// The watcher's side: which lines reach the log, and the notices it shows.
class WatcherLog : public test::AddressWatcherTest {
  protected:
    void SetUp() override {
        AddressWatcherTest::SetUp();
        watcher.Settings().LoggingFile = dir.filePath("QuorvaneLog.txt");
        watcher.Settings().LoggingEnabled = true;
        watcher.Settings().NotifyLogBig = true;
    }
    void FillLog(qint64 bytes) {
        QFile f(watcher.Settings().LoggingFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(bytes));
    }

    QTemporaryDir dir;
};

TEST_F(WatcherLog, OnlyMarkedLinesAreLoggedAndOnlyWhileLoggingIsOn) {
    watcher.ShowOutput("shown only", false, false);
    watcher.ShowOutput("shown and logged", true, true);
    watcher.Settings().LoggingEnabled = false;
    watcher.ShowOutput("logging off", true, true);
    EXPECT_EQ(ReadAll(watcher.Settings().LoggingFile), QByteArray("shown and logged\r\r\r\n"));
    EXPECT_EQ(output, "shown only\r\r\nshown and logged\r\r\nlogging off");
    EXPECT_TRUE(notices.empty());
}

TEST_F(WatcherLog, AFileProblemIsOneNoticeAndTheOutputGoesOn) {
    watcher.Settings().LoggingFile = dir.path();
    watcher.ShowOutput("line", false, true);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "Log file problem. Reason: The file could not be accessed.");
    EXPECT_EQ(notices[0].icon, IPrompter::Warning);
    EXPECT_EQ(output, "line");
    // Later entries lost to the same file bring no further notice; another file does.
    watcher.ShowOutput("again", true, true);
    EXPECT_EQ(notices.size(), 1u);
    watcher.Settings().LoggingFile = "/dev/null";
    watcher.ShowOutput("third", true, true);
    EXPECT_EQ(notices.size(), 2u);
    // Once a file has worked, a new failure is told again.
    watcher.Settings().LoggingFile = dir.filePath("QuorvaneLog.txt");
    watcher.ShowOutput("fourth", true, true);
    watcher.Settings().LoggingFile = "/dev/null";
    watcher.ShowOutput("fifth", true, true);
    EXPECT_EQ(notices.size(), 3u);
    EXPECT_EQ(output, "line\r\r\nagain\r\r\nthird\r\r\nfourth\r\r\nfifth");
}

TEST_F(WatcherLog, SizeNoticeAfterAnEntryWrittenAtOneMegabyte) {
    watcher.CheckLogSize();  // nothing written in this run yet
    EXPECT_TRUE(notices.empty());

    FillLog(1048575);
    watcher.WriteLogEntry("entry");
    EXPECT_EQ(watcher.LogSize(), 1048575);
    watcher.CheckLogSize();
    EXPECT_TRUE(notices.empty());

    FillLog(1048576);
    watcher.WriteLogEntry("entry");
    watcher.CheckLogSize();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].text, "The log file is getting large. It's over 1 MB.");
    EXPECT_EQ(notices[0].icon, IPrompter::Information);

    // Emptying the file does not end the notices until the next entry is written.
    FillLog(0);
    watcher.CheckLogSize();
    EXPECT_EQ(notices.size(), 2u);
    watcher.WriteLogEntry("entry");
    watcher.CheckLogSize();
    EXPECT_EQ(notices.size(), 2u);

    FillLog(2000000);
    watcher.WriteLogEntry("entry");
    watcher.Settings().NotifyLogBig = false;
    watcher.CheckLogSize();
    EXPECT_EQ(notices.size(), 2u);
}

// Text from outside (a host's reply, a header, a name) reaches no place it is shown with its
// control characters: one table of hostile texts over the output box, the event log, the notices
// and a single-line field (a name or header value, as the address list and the CLI show it).
TEST_F(WatcherLog, ControlCharactersFromOutsideAreReplacedWhereverTextIsShown) {
    const QString x = QString(QChar(kControlStandIn));
    struct Case {
        QString raw;
        QString multiLine;   // the output box, the log, a notice
        QString singleLine;  // a name, a header value
    };
    const Case cases[] = {
        {"clear\x1b[2J\x1b[H", "clear" + x + "[2J" + x + "[H", "clear" + x + "[2J" + x + "[H"},
        {"\x1b]0;owned\x07title", x + "]0;owned" + x + "title", x + "]0;owned" + x + "title"},
        {QString("csi\u009b31m c1\u0085end"), "csi" + x + "31m c1" + x + "end",
         "csi" + x + "31m c1" + x + "end"},
        {"ok\nFAKE LINE 6.6.6.6", "ok\nFAKE LINE 6.6.6.6", "ok" + x + "FAKE LINE 6.6.6.6"},
        {"text\r\r\nbreak", "text\r\r\nbreak", "text" + x + x + x + "break"},
        {"over\rwrite\r", "over" + x + "write" + x, "over" + x + "write" + x},
        {"tab\tkept\x7f\x01", "tab\tkept" + x + x, "tab\tkept" + x + x},
        {QString("plain \u00e9 text"), QString("plain \u00e9 text"), QString("plain \u00e9 text")},
    };
    for (const Case& c : cases) {
        const std::string what = c.raw.toStdString();
        EXPECT_EQ(ShownText(c.raw, TextField::kMultiLine), c.multiLine) << what;
        EXPECT_EQ(ShownText(c.raw, TextField::kSingleLine), c.singleLine) << what;

        QFile::remove(watcher.Settings().LoggingFile);
        watcher.ShowOutput(c.raw, false, true);
        EXPECT_EQ(output, c.multiLine) << what;
        EXPECT_EQ(ReadAll(watcher.Settings().LoggingFile), EventLog::EntryBytes(c.multiLine))
            << what;

        watcher.ShowPopupNotice(c.raw, IPrompter::Information, 1000);
        ASSERT_FALSE(notices.empty());
        EXPECT_EQ(notices.back().text, c.multiLine) << what;
    }
}

}  // namespace
}  // namespace qv
