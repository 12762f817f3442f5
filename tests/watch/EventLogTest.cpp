#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

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

}  // namespace
}  // namespace qv
