#include "resources/StringTable.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <string>

namespace {

const QString kBreak = QStringLiteral("\r\r\n");

std::string Bytes(int id) {
    return qv::LoadString(id).toStdString();
}

TEST(StringTable, IdsAreAscendingUniqueAndLoadable) {
    const std::vector<int> ids = qv::StringIds();
    ASSERT_FALSE(ids.empty());
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "duplicate id";
    for (int id : ids) {
        EXPECT_TRUE(qv::HasString(id)) << id;
        EXPECT_FALSE(qv::LoadString(id).isEmpty()) << id;
    }
}

TEST(StringTable, UnknownIdsGiveEmptyText) {
    // 103 names the tray icon, which has no string, so its tip starts empty; the enable boxes of
    // the HTTP Target page and the minutes spin box have no context help.
    for (int id :
         {-1, 0, 1, 101, 103, 135, 149, 1101, 1113, 1115, 1119, 1120, 1128, 32772, 32804, 70000}) {
        EXPECT_FALSE(qv::HasString(id)) << id;
        EXPECT_TRUE(qv::LoadString(id).isEmpty()) << id;
    }
    // Ids right next to the first and last entries.
    const std::vector<int> ids = qv::StringIds();
    EXPECT_FALSE(qv::HasString(ids.front() - 1));
    EXPECT_FALSE(qv::HasString(ids.back() + 1));
    EXPECT_TRUE(qv::LoadString(ids.back() + 1).isEmpty());
}

TEST(StringTable, BlanksArePartOfTheTexts) {
    EXPECT_EQ(Bytes(115), "---.---.---.---");
    EXPECT_EQ(Bytes(168), "Log file problem. Reason: ");
    EXPECT_EQ(Bytes(169), "FTP Data file problem. Reason: ");
    EXPECT_EQ(Bytes(146), "Can't find match between IP address and Network table. ");
    EXPECT_EQ(Bytes(148), "Updating host information on interface: ");
    EXPECT_EQ(Bytes(120), "Caution: redirected to ");
    EXPECT_EQ(Bytes(121), "Error: Got status code ");
    EXPECT_EQ(Bytes(122), "Error: ");
    EXPECT_EQ(Bytes(163),
              "IP Net Table is empty. Attempting to force population of the Address Resolution "
              "Protocol (ARP) cache.");
    EXPECT_EQ(Bytes(131),
              "Internet web site returned HTTP status of OK...IP Address sent was:  '%s'. However, "
              "you should verify the host response to insure no conflicts with other users.");

    // Double blanks inside tool tips.
    EXPECT_NE(Bytes(1102).find("automatically  disappear"), std::string::npos);
    EXPECT_NE(Bytes(1143).find("has changed.  It does"), std::string::npos);

    // Tool tips that end in a blank.
    for (int id : {1112, 1136, 1137, 1145, 1149}) {
        const std::string text = Bytes(id);
        ASSERT_FALSE(text.empty()) << id;
        EXPECT_EQ(text.back(), ' ') << id;
        EXPECT_NE(text[text.size() - 2], ' ') << id;
    }

    // The connection check puts the URL in quotes after this text.
    EXPECT_TRUE(qv::LoadString(qv::Text::StoredUrlUnusable).endsWith(QStringLiteral("URL: ")));
}

TEST(StringTable, HelpTextsBreakLinesWithCrCrLf) {
    const QString general = qv::LoadString(qv::Text::GeneralHelp);
    EXPECT_TRUE(general.startsWith(
        QStringLiteral("'General' tab properties help:\r\r\n\r\r\nMonitor:\r\r\nYou can decide")));
    EXPECT_TRUE(general.endsWith(QStringLiteral("minus all HTML tags.")));

    // Lines per tab, counting the empty ones; the last line has no break after it.
    const struct {
        int id;
        qsizetype lines;
        const char* first;
    } tabs[] = {
        {123, 9, "'General' tab properties help:"},
        {124, 9, "'HTTP Target' tab properties help:"},
        {125, 5, "'FTP Target' tab properties help:"},
        {126, 5, "'Logging' tab properties help"},
    };
    for (const auto& tab : tabs) {
        const QString text = qv::LoadString(tab.id);
        const QStringList lines = text.split(kBreak);
        ASSERT_EQ(lines.size(), tab.lines) << tab.id;
        EXPECT_EQ(lines.front(), QString::fromUtf8(tab.first)) << tab.id;
        EXPECT_TRUE(lines.at(1).isEmpty()) << tab.id;
        EXPECT_FALSE(lines.back().isEmpty()) << tab.id;
        // No stray line feed or carriage return outside a CR CR LF break.
        for (const QString& line : lines) {
            EXPECT_FALSE(line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')))
                << tab.id;
        }
    }
}

TEST(StringTable, MessageTextsKeepTheirLineFeeds) {
    EXPECT_EQ(Bytes(132),
              "This will shut down the Quorvane system and\nprevent any IP address reporting. "
              "Shutdown anyway?");
    EXPECT_EQ(Bytes(158),
              "Internet communications completed successfully. FTP page\n with domain '%s' has "
              "been forwarded to the host.");
    // Prompts of the "prompt\ntip" form.
    EXPECT_EQ(Bytes(57670), "Display table of contents to documentation\nHelp Contents");
    EXPECT_EQ(Bytes(59393), "Show or hide the status bar\nToggle StatusBar");
    // Message boxes use a bare line feed, never the edit boxes' CR CR LF.
    for (int id : {111, 132, 133, 158}) {
        EXPECT_FALSE(qv::LoadString(id).contains(QLatin1Char('\r'))) << id;
    }
}

TEST(StringTable, FormatTextsHoldOnePlaceholder) {
    for (int id : {131, 133, 150, 157, 158, 159, 160}) {
        const QString text = qv::LoadString(id);
        EXPECT_EQ(text.count(QStringLiteral("%s")), 1) << id;
        EXPECT_EQ(text.count(QLatin1Char('%')), 1) << id;
    }
    EXPECT_EQ(qv::LoadString(qv::Text::TrayTip)
                  .replace(QStringLiteral("%s"), qv::LoadString(qv::Text::PlaceholderAddress)),
              QStringLiteral("IP Address: ---.---.---.---"));
}

TEST(StringTable, BackslashesAndQuotesSurvive) {
    const std::string startPage = Bytes(1122);
    EXPECT_NE(startPage.find("'C:\\InetPut\\wwwroot\\Demo\\Default.asp'"), std::string::npos);
    EXPECT_NE(startPage.find("'\\Demo\\Default.asp'"), std::string::npos);

    const std::string offLine = Bytes(1137);
    EXPECT_NE(offLine.find("ie...href=\""), std::string::npos);
    EXPECT_EQ(offLine.substr(offLine.size() - 2), "\" ");
}

}  // namespace
