#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>

#include "settings/SettingsRecord.h"

namespace qv {
namespace {

// Every test of this file works on a settings file in its own temporary configuration folder.
class SettingsStore : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir;
        setenv("XDG_CONFIG_HOME", qPrintable(s_dir->path() + "/config"), 1);
        setenv("XDG_DATA_HOME", qPrintable(s_dir->path() + "/data"), 1);
    }
    static void TearDownTestSuite() { delete s_dir; }
    void SetUp() override { QFile::remove(SettingsFilePath()); }

    static void WriteRaw(const QByteArray& text) {
        QDir().mkpath(QFileInfo(SettingsFilePath()).absolutePath());
        QFile f(SettingsFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    static void Store(const char* key, const QVariant& value) {
        auto st = OpenSettings();
        st->setValue(QStringLiteral("Settings/") + key, value);
    }
    static SettingsRecord Loaded() {
        SettingsRecord s;
        LoadSettings(s);
        return s;
    }

    static QTemporaryDir* s_dir;
};
QTemporaryDir* SettingsStore::s_dir = nullptr;

TEST_F(SettingsStore, FreshProfileGivesDefaults) {
    const SettingsRecord s = Loaded();
    EXPECT_EQ(s.FlagsText(), "0 1 0 1 1 1 1 1 0 0 0 0 1");
    EXPECT_EQ(s.CheckTime, 5);
    EXPECT_EQ(s.IPAddressQueryStringTag, "IPAddress");
    EXPECT_EQ(s.UserIDQueryStringTag, "UserID");
    EXPECT_EQ(s.PasswordQueryStringTag, "Password");
    EXPECT_EQ(s.StartPageQueryStringTag, "StartPage");
    EXPECT_TRUE(s.HTTPTargetURL.isEmpty());
    EXPECT_EQ(s.AskRouter, 1);
    EXPECT_TRUE(s.EchoPageURL.isEmpty());
    EXPECT_TRUE(s.LoggingFile.endsWith("/Calvort/Quorvane/QuorvaneLog.txt"))
        << s.LoggingFile.toStdString();
    EXPECT_TRUE(QDir(QFileInfo(s.LoggingFile).absolutePath()).exists());
    EXPECT_EQ(LoadHideOnStartup(), 0);
    EXPECT_EQ(s.ShowIPv6, 1);
    EXPECT_EQ(s.DNSPort, 53);
    EXPECT_EQ(s.DNSTTL, 60);
    EXPECT_EQ(s.DNSKeyAlgorithm, "hmac-sha256");
}

TEST_F(SettingsStore, CheckTimeRepairs) {
    for (const QVariant& bad : {QVariant(0), QVariant(101), QVariant(-3), QVariant("soon")}) {
        Store("CheckTime", bad);
        EXPECT_EQ(Loaded().CheckTime, 5) << bad.toString().toStdString();
    }
    for (int good : {1, 100, 42}) {
        Store("CheckTime", good);
        EXPECT_EQ(Loaded().CheckTime, good);
    }
}

TEST_F(SettingsStore, EnableFlagsParsingAndRepair) {
    Store("EnableFlags", "0 0 1 1 1 1 1 1 0 0 0 0 1");  // forwarding without polling
    EXPECT_EQ(Loaded().AutoForward, 0);
    Store("EnableFlags", "1 1 1 0");  // short: the rest are 0
    SettingsRecord s = Loaded();
    EXPECT_EQ(s.FlagsText(), "1 1 1 0 0 0 0 0 0 0 0 0 0");
    Store("EnableFlags", "1 x 1");  // stops at the first number that does not parse
    EXPECT_EQ(Loaded().FlagsText(), "1 0 0 0 0 0 0 0 0 0 0 0 0");
    Store("EnableFlags", "");
    EXPECT_EQ(Loaded().FlagsText(), "0 0 0 0 0 0 0 0 0 0 0 0 0");

    // The flag tells HTTP or not; the stored name tells which other method. A name left behind
    // by a program that changed only the flag counts for nothing.
    Store("EnableFlags", "0 1 0 1 1 1 1 1 0 0 0 0 1");
    Store("ForwardMethod", "FTP");
    EXPECT_EQ(Loaded().Method, ForwardMethod::Http);
    Store("EnableFlags", "0 1 0 0 1 1 1 1 0 0 0 0 1");
    Store("ForwardMethod", "HTTP");
    EXPECT_EQ(Loaded().Method, ForwardMethod::Ftp);
    Store("ForwardMethod", "RFC2136");
    EXPECT_EQ(Loaded().Method, ForwardMethod::DnsUpdate);
}

TEST_F(SettingsStore, SaveAfterLoadWritesEveryKeyAndKeepsFilePrivate) {
    SettingsRecord s = Loaded();
    ASSERT_TRUE(SaveSettings(s, 1));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(SettingsFilePath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    QSettings raw(SettingsFilePath(), QSettings::IniFormat);
    raw.beginGroup("Settings");
    EXPECT_EQ(raw.value("EnableFlags").toString(), "0 1 0 1 1 1 1 1 0 0 0 0 1");
    EXPECT_EQ(raw.value("ForwardMethod").toString(), "HTTP");
    EXPECT_EQ(raw.value("CheckTime").toInt(), 5);
    EXPECT_EQ(raw.value("HideOnStartup").toInt(), 1);
    for (const char* key :
         {"HTTPTargetURL", "FTPForwardWebPage", "FTPReplacementString", "FTPStartPage",
          "FTPTargetURL", "FTPUserID", "FTPPassword", "OffLineDomain", "UserIDQueryString",
          "PasswordQueryString", "StartPageQueryString", "AdditionalQueryString"}) {
        EXPECT_TRUE(raw.contains(key)) << key;
        EXPECT_EQ(raw.value(key).toString(), "") << key;
    }
    EXPECT_EQ(LoadHideOnStartup(), 1);
}

TEST_F(SettingsStore, ValuesRoundTripWithAwkwardText) {
    SettingsRecord s;
    s.HTTPTargetURL = "http://host.example/update.cgi?a=1,b=2";
    s.FTPPassword = "p@ss; \"word\" = #1";
    s.AdditionalQueryString = "&x=y, z";
    s.LoggingFile = "/tmp/a log/Quorvane Log.txt";
    s.CheckTime = 17;
    s.ShowHardwareOnly = true;
    s.ShowIPv6 = false;
    s.FTPRequireEncryption = true;
    s.AskRouter = false;
    s.EchoPageURL = "https://echo.example/ip?v=4,plain";
    s.Method = ForwardMethod::DnsUpdate;
    s.DNSServer = "ns1.example.org";
    s.DNSPort = 5353;
    s.DNSTTL = 300;
    s.DNSKeySecret = "c2VjcmV0+/==";
    s.DNSOffLineAddress = "192.0.2.1";
    ASSERT_TRUE(SaveSettings(s, 0));
    const SettingsRecord back = Loaded();
    EXPECT_EQ(back.FTPRequireEncryption, 1);
    EXPECT_EQ(back.HTTPTargetURL, s.HTTPTargetURL);
    EXPECT_EQ(back.FTPPassword, s.FTPPassword);
    EXPECT_EQ(back.AdditionalQueryString, s.AdditionalQueryString);
    EXPECT_EQ(back.LoggingFile, s.LoggingFile);
    EXPECT_EQ(back.CheckTime, 17);
    EXPECT_EQ(back.FlagsText(), "1 1 0 0 1 1 1 1 0 0 0 0 1");
    EXPECT_EQ(back.Method, ForwardMethod::DnsUpdate);
    EXPECT_EQ(back.DNSServer, s.DNSServer);
    EXPECT_EQ(back.DNSPort, 5353);
    EXPECT_EQ(back.DNSTTL, 300);
    EXPECT_EQ(back.DNSKeySecret, s.DNSKeySecret);
    EXPECT_EQ(back.DNSOffLineAddress, s.DNSOffLineAddress);
    EXPECT_EQ(back.AskRouter, 0);
    EXPECT_EQ(back.EchoPageURL, s.EchoPageURL);
    EXPECT_EQ(back.ShowIPv6, 0);  // a key of its own: the flags keep their thirteen places
}

TEST_F(SettingsStore, OnlyPasswordsTheKeyringHoldsLeaveTheFile) {
    SettingsRecord s;
    s.PasswordQueryString = "q";
    s.FTPPassword = "f";
    s.PasswordsInKeyring = kKeyringQueryPassword | kKeyringFTPPassword;
    s.KeyringQueryPassword = "q";
    s.KeyringFTPPassword = "older";  // changed since the keyring took it: the file keeps it
    ASSERT_TRUE(SaveSettings(s, 0));
    QSettings raw(SettingsFilePath(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Settings/PasswordQueryString").toString(), "");
    EXPECT_EQ(raw.value("Settings/FTPPassword").toString(), "f");
    EXPECT_EQ(raw.value("Settings/PasswordsInKeyring").toInt(), kKeyringQueryPassword);

    // Loaded, the keyring's password is still to be read; saved unread, it stays in the keyring.
    SettingsRecord back = Loaded();
    EXPECT_EQ(back.PasswordsToRead, kKeyringQueryPassword);
    EXPECT_EQ(back.PasswordQueryString, "");
    EXPECT_EQ(back.FTPPassword, "f");
    EXPECT_EQ(back.PasswordsOutsideKeyring(), kKeyringFTPPassword);
    ASSERT_TRUE(SaveSettings(back, 0));
    EXPECT_EQ(Loaded().PasswordsToRead, kKeyringQueryPassword);

    // Typed anew before the keyring gave the old one: the file holds the new one.
    back.PasswordQueryString = "new";
    ASSERT_TRUE(SaveSettings(back, 0));
    back = Loaded();
    EXPECT_EQ(back.PasswordsToRead, 0);
    EXPECT_EQ(back.PasswordQueryString, "new");
}

TEST_F(SettingsStore, DamagedFilesLoadDefaults) {
    for (const QByteArray& text : {QByteArray(), QByteArray("[Settings]\nCheckTi"),
                                   QByteArray("\x01\x02\xff garbage [[[\n=\n"),
                                   QByteArray("[Settings]\nCheckTime=7\n\xff\xfe\x00\x01")}) {
        WriteRaw(text);
        const SettingsRecord s = Loaded();
        EXPECT_GE(s.CheckTime, 1);
        EXPECT_LE(s.CheckTime, 100);
        EXPECT_EQ(s.IPAddressQueryStringTag, "IPAddress");
    }
}

// A file that its owner made read-only (0400) or unreadable (0000) is never written, also by
// root: the check is the file's own mode, not what the user may do.
TEST_F(SettingsStore, UnreadableOrReadOnlyFileLosesNothing) {
    SettingsRecord s;
    s.HTTPTargetURL = "http://kept.example/";
    ASSERT_TRUE(SaveSettings(s, 0));
    const QByteArray path = QFile::encodeName(SettingsFilePath());
    QFile file(SettingsFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    s.HTTPTargetURL = "http://lost.example/";
    for (const mode_t mode : {0400, 0000}) {
        ASSERT_EQ(::chmod(path.constData(), mode), 0);
        EXPECT_TRUE(SettingsFileIsReadOnly());
        EXPECT_FALSE(SaveSettings(s, 1));
        RestrictSettingsFile();  // as the other writers call it
        struct stat st {};
        ASSERT_EQ(::stat(path.constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, mode);
    }
    ASSERT_EQ(::chmod(path.constData(), 0600), 0);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    // Nothing of the refused save lingers in the process either.
    EXPECT_EQ(Loaded().HTTPTargetURL, "http://kept.example/");
    EXPECT_EQ(LoadHideOnStartup(), 0);
}

// A copy killed while saving leaves an empty Quorvane.conf.lock that nobody holds: the next save
// takes it over at once. One held by a live writer is waited for only briefly, and anything but a
// regular file at the lock's name is refused without waiting on it.
TEST_F(SettingsStore, LeftOverSettingsLockNeverHoldsASave) {
    const QString lockPath = SettingsFilePath() + ".lock";
    SettingsRecord s;
    s.CheckTime = 17;
    QDir().mkpath(QFileInfo(lockPath).absolutePath());
    {
        QFile empty(lockPath);
        ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    }
    QElapsedTimer took;
    took.start();
    EXPECT_TRUE(SaveSettings(s, 0));
    EXPECT_LT(took.elapsed(), 1000);
    EXPECT_EQ(Loaded().CheckTime, 17);
    EXPECT_FALSE(QFile::exists(lockPath));

    {  // a live writer (a lock held open by this process's own QLockFile) is not displaced
        QLockFile live(lockPath);
        ASSERT_TRUE(live.tryLock(0));
        took.restart();
        s.CheckTime = 18;
        EXPECT_FALSE(SaveSettings(s, 0));
        EXPECT_LT(took.elapsed(), 1000);
        EXPECT_TRUE(QFile::exists(lockPath));
    }
    ASSERT_EQ(::mkfifo(qPrintable(lockPath), 0600), 0);
    took.restart();
    EXPECT_FALSE(SaveSettings(s, 0));
    EXPECT_LT(took.elapsed(), 1000);
    QFile::remove(lockPath);
    EXPECT_TRUE(SaveSettings(s, 0));
    EXPECT_EQ(Loaded().CheckTime, 18);
}

}  // namespace
}  // namespace qv
