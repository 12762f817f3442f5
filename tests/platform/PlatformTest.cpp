#include <gtest/gtest.h>

#include <sys/prctl.h>

#include <cerrno>
#include <cstdlib>

#include "platform/Clock.h"
#include "platform/CoreDumps.h"
#include "platform/FileError.h"
#include "platform/QuorvaneException.h"
#include "resources/StringTable.h"

namespace qv {
namespace {

TEST(TimeStamp, TwoBlanksEnglishMonthTwelveHourClock) {
    EXPECT_EQ(FormatTimeStamp(QDateTime(QDate(2026, 3, 5), QTime(19, 4, 9))),
              "  Mar 05, 2026,  07:04:09 PM");
    EXPECT_EQ(FormatTimeStamp(QDateTime(QDate(2026, 12, 31), QTime(0, 0, 0))),
              "  Dec 31, 2026,  12:00:00 AM");
    EXPECT_EQ(FormatTimeStamp(QDateTime(QDate(2027, 1, 1), QTime(12, 30, 5))),
              "  Jan 01, 2027,  12:30:05 PM");
}

TEST(FileErrorText, CausesFromErrnoAndTheirTexts) {
    EXPECT_EQ(FileCauseFromErrno(ENOSPC), kFileDiskFull);
    EXPECT_EQ(FileCauseFromErrno(ENOENT), kFileNotFound);
    EXPECT_EQ(FileCauseFromErrno(EACCES), kFileAccessDenied);
    EXPECT_EQ(FileCauseFromErrno(EISDIR), kFileAccessDenied);
    EXPECT_EQ(FileCauseFromErrno(ENOTDIR), kFileBadPath);
    EXPECT_EQ(FileErrorText(Text::LogFileProblem, kFileDiskFull),
              "Log file problem. Reason: The disk is full.");
    EXPECT_EQ(FileErrorText(Text::PageFileProblem, kFileNotFound),
              "FTP Data file problem. Reason: The file could not be located.");
    EXPECT_EQ(FileCauseText(0), "Unknown error.");
    EXPECT_EQ(FileCauseText(kFileDiskFull + 1), "Unknown error.");
    EXPECT_EQ(FileCauseText(-1), "Unknown error.");
}

TEST(QuorvaneException, CarriesMessageAndDetail) {
    try {
        ThrowQuorvaneException(Text::GotStatusCode, 302);
    } catch (const QuorvaneException& e) {
        EXPECT_EQ(e.m_messageId, 121);
        EXPECT_EQ(e.m_detail, 302);
    }
    QuorvaneException blank;
    EXPECT_EQ(blank.m_messageId, 0);
    EXPECT_EQ(blank.m_detail, 0);
}

// The process that holds passwords is not dumpable unless the user asks for core dumps.
TEST(CoreDumps, ProcessIsNonDumpableUnlessCoreDumpsAreAskedFor) {
    ASSERT_EQ(::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
    ::setenv(kCoreDumpsVariable, "1", 1);
    EXPECT_FALSE(KeepSecretsOutOfCoreDumps());
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 1);
    ::setenv(kCoreDumpsVariable, "yes please", 1);  // only "1" asks
    EXPECT_TRUE(KeepSecretsOutOfCoreDumps());
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
    ::unsetenv(kCoreDumpsVariable);
    ASSERT_EQ(::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);
    EXPECT_TRUE(KeepSecretsOutOfCoreDumps());
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
    ASSERT_EQ(::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0), 0);  // the test program itself stays dumpable
}

}  // namespace
}  // namespace qv
