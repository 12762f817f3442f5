#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "ViewsTestSupport.h"
#include "platform/ShownText.h"
#include "views/ControlPane.h"
#include "watch/EventLog.h"

namespace qv {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The pane's side: which lines reach the log, and the notices it shows.
class PaneLog : public ::testing::Test {
  protected:
    void SetUp() override {
        pane.SetNoticeBox(&notice);
        pane.Settings().LoggingFile = dir.filePath("QuorvaneLog.txt");
        pane.Settings().LoggingEnabled = true;
        pane.Settings().NotifyLogBig = true;
    }
    void FillLog(qint64 bytes) {
        QFile f(pane.Settings().LoggingFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(bytes));
    }

    QTemporaryDir dir;
    test::FakeNotice notice;
    ControlPane pane;
};

TEST_F(PaneLog, OnlyMarkedLinesAreLoggedAndOnlyWhileLoggingIsOn) {
    pane.ShowOutput("shown only", false, false);
    pane.ShowOutput("shown and logged", true, true);
    pane.Settings().LoggingEnabled = false;
    pane.ShowOutput("logging off", true, true);
    EXPECT_EQ(ReadAll(pane.Settings().LoggingFile), QByteArray("shown and logged\r\r\r\n"));
    EXPECT_EQ(pane.OutputText(), "shown only\r\r\nshown and logged\r\r\nlogging off");
    EXPECT_TRUE(notice.shown.empty());
}

TEST_F(PaneLog, AFileProblemIsOneNoticeAndTheOutputGoesOn) {
    pane.Settings().LoggingFile = dir.path();
    pane.ShowOutput("line", false, true);
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, "Log file problem. Reason: The file could not be accessed.");
    EXPECT_EQ(notice.shown[0].caption, "Quorvane Notification Dialog");
    EXPECT_EQ(notice.shown[0].icon, IPrompter::Warning);
    EXPECT_EQ(pane.OutputText(), "line");
    // Later entries lost to the same file bring no further notice; another file does.
    pane.ShowOutput("again", true, true);
    EXPECT_EQ(notice.shown.size(), 1u);
    pane.Settings().LoggingFile = "/dev/null";
    pane.ShowOutput("third", true, true);
    EXPECT_EQ(notice.shown.size(), 2u);
    // Once a file has worked, a new failure is told again.
    pane.Settings().LoggingFile = dir.filePath("QuorvaneLog.txt");
    pane.ShowOutput("fourth", true, true);
    pane.Settings().LoggingFile = "/dev/null";
    pane.ShowOutput("fifth", true, true);
    EXPECT_EQ(notice.shown.size(), 3u);
    EXPECT_EQ(pane.OutputText(), "line\r\r\nagain\r\r\nthird\r\r\nfourth\r\r\nfifth");
}

TEST_F(PaneLog, SizeNoticeAfterAnEntryWrittenAtOneMegabyte) {
    pane.CheckLogSize();  // nothing written in this run yet
    EXPECT_TRUE(notice.shown.empty());

    FillLog(1048575);
    pane.WriteLogEntry("entry");
    EXPECT_EQ(pane.LogSize(), 1048575);
    pane.CheckLogSize();
    EXPECT_TRUE(notice.shown.empty());

    FillLog(1048576);
    pane.WriteLogEntry("entry");
    pane.CheckLogSize();
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, "The log file is getting large. It's over 1 MB.");
    EXPECT_EQ(notice.shown[0].icon, IPrompter::Information);

    // Emptying the file does not end the notices until the next entry is written.
    FillLog(0);
    pane.CheckLogSize();
    EXPECT_EQ(notice.shown.size(), 2u);
    pane.WriteLogEntry("entry");
    pane.CheckLogSize();
    EXPECT_EQ(notice.shown.size(), 2u);

    FillLog(2000000);
    pane.WriteLogEntry("entry");
    pane.Settings().NotifyLogBig = false;
    pane.CheckLogSize();
    EXPECT_EQ(notice.shown.size(), 2u);
}

// Text from outside (a host's reply, a header, a name) reaches no place it is shown with its
// control characters: one table of hostile texts over the output box, the event log, the notices
// and a single-line field (a name or header value, as the address list and the CLI show it).
TEST_F(PaneLog, ControlCharactersFromOutsideAreReplacedWhereverTextIsShown) {
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

        QFile::remove(pane.Settings().LoggingFile);
        pane.ShowOutput(c.raw, false, true);
        EXPECT_EQ(pane.OutputText(), c.multiLine) << what;
        EXPECT_EQ(ReadAll(pane.Settings().LoggingFile), EventLog::EntryBytes(c.multiLine)) << what;

        pane.Watcher().ShowPopupNotice(c.raw, IPrompter::Information, 1000);
        ASSERT_FALSE(notice.shown.empty());
        EXPECT_EQ(notice.shown.back().text, c.multiLine) << what;
    }
}

}  // namespace
}  // namespace qv
