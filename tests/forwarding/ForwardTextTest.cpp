#include <gtest/gtest.h>

#include "forwarding/ForwardText.h"
#include "forwarding/TargetUrl.h"

namespace qv {
namespace {

UrlParts Split(const QString& url) {
    UrlParts parts;
    EXPECT_TRUE(SplitUrl(url, parts)) << url.toStdString();
    return parts;
}

TEST(SplitUrl, ServiceServerObjectAndPort) {
    UrlParts p = Split("http://www.example.org/dyn/StoreIP.asp");
    EXPECT_EQ(p.service, kServiceHttp);
    EXPECT_EQ(p.server, "www.example.org");
    EXPECT_EQ(p.object, "/dyn/StoreIP.asp");
    EXPECT_EQ(p.port, 80);

    p = Split("FTP://user:pa:ss@files.example.org:2121/www/ip");
    EXPECT_EQ(p.service, kServiceFtp);
    EXPECT_EQ(p.server, "files.example.org");  // user and password are split off
    EXPECT_EQ(p.user, "user");
    EXPECT_EQ(p.password, "pa:ss");
    EXPECT_EQ(p.port, 2121);
    EXPECT_EQ(p.object, "/www/ip");

    EXPECT_EQ(Split("ftp://h").object, "/");
    EXPECT_EQ(Split("ftp://h").port, 21);
    EXPECT_EQ(Split("https://h?x=1").object, "/?x=1");
    EXPECT_EQ(Split("https://h").port, 443);
    EXPECT_EQ(Split("https://h").service, kServiceHttps);
    EXPECT_EQ(Split("ftps://h").service, kServiceFtps);
    EXPECT_EQ(Split("ftps://h").port, 990);
    EXPECT_EQ(Split("http://h:/a").port, 80);
    EXPECT_EQ(Split("http://[::1]:8080/a").server, "[::1]");
    EXPECT_EQ(Split("gopher://h/").service, kServiceOther);
    // The fragment never reaches the server; a header line's CR is not part of the URL.
    EXPECT_EQ(Split("http://h/p.asp?a=1#top").object, "/p.asp?a=1");
    EXPECT_EQ(Split("http://h/new\r").object, "/new");
}

TEST(SplitUrl, RejectsMalformedUrls) {
    for (const char* bad :
         {"", "www.example.org/x", "/relative/path", "http://", "http:///x", "http://h:0/",
          "http://h:65536/", "http://h:8o/", "http://h:123456/", "http://user@/x",
          "http://h/a\r\nX-Injected: 1", "http://h /x", "1http://h/", "http://[::1/x"}) {
        UrlParts parts;
        EXPECT_FALSE(SplitUrl(QString::fromLatin1(bad), parts)) << bad;
        EXPECT_EQ(parts.service, kServiceUnknown);
        EXPECT_TRUE(parts.server.isEmpty());
    }
}

TEST(QueryText, EncodesOnlyWhatBreaksAPair) {
    EXPECT_EQ(EncodeQueryValue("a&b=c#d+e%f g"), "a%26b%3Dc%23d%2Be%25f%20g");
    EXPECT_EQ(EncodeQueryValue("/x\\y?z:@!$'()*,;~"), "/x\\y?z:@!$'()*,;~");
    EXPECT_EQ(EncodeQueryValue(QString::fromUtf8("caf\xc3\xa9\r\n")), "caf%C3%A9%0D%0A");
    EXPECT_EQ(EncodeAdditionalQuery("&a=1&b=x y\n"), "&a=1&b=x%20y%0A");

    // Only the logged copy of the query hides the password; another host gets neither pair.
    SettingsRecord s;
    s.PasswordQueryString = "a&b";
    EXPECT_EQ(BuildQueryTail(s), "&UserID=&Password=a%26b&StartPage=");
    EXPECT_EQ(BuildQueryTail(s, QuerySecrets::kMask), "&UserID=&Password=****&StartPage=");
    EXPECT_EQ(BuildQueryTail(s, QuerySecrets::kLeave), "&StartPage=");

    // A URL that holds a query already joins the address query with "&".
    EXPECT_EQ(AppendQuery("/u.php", "?IP=1"), "/u.php?IP=1");
    EXPECT_EQ(AppendQuery("/u.php?key=1", "?IP=1"), "/u.php?key=1&IP=1");
    EXPECT_EQ(AppendQuery("/u.php?", "?IP=1"), "/u.php?IP=1");
    EXPECT_EQ(AppendQuery("/u.php?key=1&", "?IP=1"), "/u.php?key=1&IP=1");

    // A password in a URL is never shown.
    EXPECT_EQ(MaskUrlPassword("http://joe:s3c@t@h:81/p?x=a:b@c"), "http://joe:****@h:81/p?x=a:b@c");
    EXPECT_EQ(MaskUrlPassword("ftp://joe@h/www"), "ftp://joe@h/www");
    EXPECT_EQ(MaskUrlPassword("http://h/p?u=a:b@c"), "http://h/p?u=a:b@c");
}

TEST(StripHTMLTags, DropsTagsAndFoldsLineBreaks) {
    EXPECT_EQ(StripHTMLTags("<html><b>OK</b>\r\n\r\n\r\nSaved</html>"), "OK\r\r\n\r\r\nSaved");
    EXPECT_EQ(StripHTMLTags("a\r\nb"), "a\r\r\nb");
    EXPECT_EQ(StripHTMLTags("x > y"), "x > y");
    EXPECT_EQ(StripHTMLTags("a\n\n\n\n\nb\n\n"), "a\r\r\n\r\r\nb");
    EXPECT_EQ(StripHTMLTags("<p>only tags</p><br/>").size(), QString("only tags").size());
    EXPECT_EQ(StripHTMLTags("<unclosed tag and text"), "");
}

TEST(FtpText, ReplacementAndPage) {
    SettingsRecord s;
    s.FTPStartPage = "Demo/Default.asp";
    EXPECT_EQ(BuildFTPReplacement(s, "10.1.2.3", true), "10.1.2.3/Demo/Default.asp");
    EXPECT_EQ(BuildFTPReplacement(s, "2001:db8::5", true), "[2001:db8::5]/Demo/Default.asp");
    EXPECT_EQ(BuildFTPReplacement(s, "offline.example.org", false), "offline.example.org");
    s.FTPStartPage = "\\Demo";
    EXPECT_EQ(BuildFTPReplacement(s, "10.1.2.3", true), "10.1.2.3\\Demo");
    s.FTPStartPage.clear();
    EXPECT_EQ(BuildFTPReplacement(s, "10.1.2.3", true), "10.1.2.3/");

    QByteArray page = TextModeBytes("<a href=\"http://IPHERE\">\r\nIPHERE iphere\r\n");
    EXPECT_FALSE(ReplaceFirst(page, "IPhere", "x"));  // exact case only
    ASSERT_TRUE(ReplaceFirst(page, "IPHERE", "10.1.2.3/"));
    EXPECT_EQ(page, "<a href=\"http://10.1.2.3/\">\nIPHERE iphere\n");
    EXPECT_EQ(JoinRemotePath("/", "home.htm"), "/home.htm");
}

TEST(Headers, LocationIsAHeaderLineOfItsOwn) {
    bool found = false;
    EXPECT_EQ(
        FindLocation("HTTP/1.1 302 Found\r\nX-Note: Location: no\r\nlocation:  http://h/x \r\n\r\n",
                     &found),
        "http://h/x");
    EXPECT_TRUE(found);
    EXPECT_EQ(FindLocation("HTTP/1.1 302 Found\r\nLocation:\r\n", &found), "");
    EXPECT_TRUE(found);
    FindLocation("HTTP/1.1 302 Found\r\nContent-Length: 0\r\n", &found);
    EXPECT_FALSE(found);
}

TEST(AddressText, DigitsAndDotsOrIpv6) {
    EXPECT_TRUE(IsValidAddressText("10.0.0.1"));
    EXPECT_TRUE(IsValidAddressText("1..2"));
    EXPECT_FALSE(IsValidAddressText(""));
    EXPECT_FALSE(IsValidAddressText("---.---.---.---"));
    EXPECT_FALSE(IsValidAddressText("10.0.0.1 "));
    // IPv6: the standard text, never a zone index or a link-local address.
    EXPECT_TRUE(IsValidAddressText("2001:db8::5"));
    EXPECT_TRUE(IsValidAddressText("fd00::1:2"));
    for (const char* bad : {"fe80::1", "fe80::1%eth0", "2001:db8::5%2", "2001:db8::1::2",
                            "[2001:db8::5]", "2001:db8:0:0:0:0:0:0:1", ":"}) {
        EXPECT_FALSE(IsValidAddressText(bad)) << bad;
    }
}

}  // namespace
}  // namespace qv
