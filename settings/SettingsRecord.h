#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <utility>

class QSettings;

namespace qv {

inline constexpr int kMinCheckTime = 1;  // minutes between checks
inline constexpr int kMaxCheckTime = 100;

// How the address reaches the host. Stored as "ForwardMethod" by name; the file's EnableFlags keep
// their HTTP flag too (1 for HTTP, 0 for any other method), so files without the key read as
// before.
enum class ForwardMethod { Http, Ftp, DynDns, DnsUpdate };

struct ForwardMethodName {
    ForwardMethod method;
    const char* name;
};

inline constexpr ForwardMethodName kForwardMethodNames[] = {
    {ForwardMethod::Http, "HTTP"},
    {ForwardMethod::Ftp, "FTP"},
    {ForwardMethod::DynDns, "dyndns2"},
    {ForwardMethod::DnsUpdate, "RFC2136"},
};

QString MethodName(ForwardMethod method);

// The user's choices, held in memory by the control pane and stored in section "Settings".
struct SettingsRecord {
    // The target URLs as the settings file holds them (read by LoadSettings, and again after each
    // save): the connection check knocks at these, not at edits that are not written yet.
    struct TargetUrls {
        QString http;
        QString ftp;
        QString dynDns;
    };
    TargetUrls StoredTargets;
    // The target URLs now in the record are the ones the file holds.
    void TargetsStored() { StoredTargets = {HTTPTargetURL, FTPTargetURL, DynDnsURL}; }

    QString HTTPTargetURL;
    QString FTPForwardWebPage;
    QString FTPReplacementString;
    QString FTPStartPage;
    QString FTPTargetURL;
    QString FTPUserID;
    QString FTPPassword;
    QString OffLineDomain;

    ForwardMethod Method = ForwardMethod::Http;

    // The 13 check-box states, stored together as "EnableFlags" in this order.
    bool ShowHardwareOnly = false;
    bool CheckForChange = true;
    bool AutoForward = false;
    // The method's own flag is EnableFlags' 4th; see ForwardMethod.
    bool NotifyOnSend = true;
    bool SendUserID = true;
    bool SendPassword = true;
    bool SendStartPage = true;
    bool SendAdditional = false;
    bool LoggingEnabled = false;
    bool ShowHostResponse = false;
    bool FTPOffLineDelete = false;
    bool NotifyLogBig = true;
    // IPv6 addresses get rows; stored on its own as "ShowIPv6".
    bool ShowIPv6 = true;

    QString IPAddressQueryStringTag = QStringLiteral("IPAddress");
    QString UserIDQueryString;
    QString UserIDQueryStringTag = QStringLiteral("UserID");
    QString PasswordQueryString;
    QString PasswordQueryStringTag = QStringLiteral("Password");
    QString StartPageQueryString;
    QString StartPageQueryStringTag = QStringLiteral("StartPage");
    QString AdditionalQueryString;
    QString LoggingFile;
    int CheckTime = 5;  // minutes, kMinCheckTime..kMaxCheckTime
    // The second address (the IPv6 row ticked beside an IPv4 one): the tag of its HTTP pair and
    // the FTP page's placeholder for it.
    QString IPv6AddressQueryStringTag = QStringLiteral("IPv6Address");
    QString FTPReplacementString6 = QStringLiteral("REPLACEMENT_STRING6");
    // The dyndns2 service: its update URL, the host names (commas or blanks between), the user.
    QString DynDnsURL;
    QString DynDnsHosts;
    QString DynDnsUser;
    QString DynDnsPassword;
    // ftp:// targets only over TLS (AUTH TLS before the log-in), stored as "FTPRequireEncryption".
    bool FTPRequireEncryption = false;

    // The passwords the desktop keyring keeps for this file, stored as "PasswordsInKeyring"
    // (kKeyringQueryPassword | kKeyringFTPPassword | kKeyringDynDnsPassword |
    // kKeyringDNSKeySecret). The file keeps such a
    // password's key empty while the keyring holds its value.
    int PasswordsInKeyring = 0;
    // Not stored: the keyring's passwords not read yet in this run (their fields stay empty until
    // then), and the values the keyring confirmed holding.
    int PasswordsToRead = 0;
    QString KeyringQueryPassword;
    QString KeyringFTPPassword;
    QString KeyringDNSKeySecret;
    QString KeyringDynDnsPassword;

    // The passwords whose current value the keyring holds, so that the file need not.
    int PasswordsKeptInKeyring() const;
    // The passwords the file has to hold: not empty, and not kept by the keyring.
    int PasswordsOutsideKeyring() const;

    // The name server that takes RFC 2136 updates, the record it keeps and the TSIG key that
    // signs them (the secret in base64). An empty zone is found from the name's SOA record; the
    // off-line notice deletes the record, or sets DNSOffLineAddress where there is one.
    QString DNSServer;
    int DNSPort = 53;
    QString DNSZone;
    QString DNSRecordName;
    int DNSTTL = 60;
    QString DNSKeyName;
    QString DNSKeyAlgorithm = QStringLiteral("hmac-sha256");
    QString DNSKeySecret;
    QString DNSOffLineAddress;

    // The public address: ask the router over UPnP; the echo page's URL (empty: not asked).
    bool AskRouter = true;
    QString EchoPageURL;

    QString FlagsText() const;
    void ParseFlags(const QString& text);
};

inline constexpr int kKeyringQueryPassword = 1;   // PasswordQueryString
inline constexpr int kKeyringFTPPassword = 2;     // FTPPassword
inline constexpr int kKeyringDynDnsPassword = 8;  // DynDnsPassword
inline constexpr int kKeyringDNSKeySecret = 4;    // DNSKeySecret

// Each password the keyring may keep: its bit, its key in the settings file, the keyring entry's
// name as a keyring manager shows it, its field, and the field of the value the keyring holds.
struct PasswordField {
    int bit;
    const char* key;
    const char* keyringName;
    QString SettingsRecord::*value;
    QString SettingsRecord::*kept;
};

inline const PasswordField kPasswordFields[] = {
    {kKeyringQueryPassword, "PasswordQueryString", "Quorvane HTTP query password",
     &SettingsRecord::PasswordQueryString, &SettingsRecord::KeyringQueryPassword},
    {kKeyringFTPPassword, "FTPPassword", "Quorvane FTP password", &SettingsRecord::FTPPassword,
     &SettingsRecord::KeyringFTPPassword},
    {kKeyringDynDnsPassword, "DynDnsPassword", "Quorvane dynamic DNS password",
     &SettingsRecord::DynDnsPassword, &SettingsRecord::KeyringDynDnsPassword},
    {kKeyringDNSKeySecret, "DNSKeySecret", "Quorvane DNS key secret", &SettingsRecord::DNSKeySecret,
     &SettingsRecord::KeyringDNSKeySecret},
};

// Every password bit of kPasswordFields.
inline constexpr int kKeyringAllPasswords =
    kKeyringQueryPassword | kKeyringFTPPassword | kKeyringDynDnsPassword | kKeyringDNSKeySecret;

// The default event log file: QuorvaneLog.txt in the per-user data folder.
QString DefaultLogFile();

// The settings file (Calvort/Quorvane.conf under the user's configuration folder). It holds
// passwords, so it is kept readable by its owner only.
QString SettingsFilePath();
std::unique_ptr<QSettings> OpenSettings();
// Why the settings file cannot be used at all, or empty. Something at its name that is not a
// regular file, even through a link (a FIFO, a device, a folder), would hang or flood every
// reader, so each program refuses to start on it and says so.
QString SettingsFileUnusable();
// Takes the group's and others' access to the file away, creating it with mode 0600 when missing.
// The owner's bits are kept: a file that its owner made read-only stays so.
void RestrictSettingsFile();
// The owner has taken the write permission off the settings file (mode 0400 or 0000). The file is
// then never written, by any user, root included.
bool SettingsFileIsReadOnly();
// The settings file may be written now: not read-only, and its lock file ("Quorvane.conf.lock")
// free. A lock left by a process that ended is removed at once and a live writer is waited for
// briefly, so that a save never holds the window up.
bool SettingsFileWritableNow();

// Loads the record from section "Settings" of the settings file, or of `file`, applying the
// defaults and repairs.
void LoadSettings(SettingsRecord& s);
void LoadSettings(QSettings& file, SettingsRecord& s);
// Writes every key of the record and `hideOnStartup`; returns false when the file is read-only
// or could not be written (the old file is then left as it was, with its mode).
bool SaveSettings(const SettingsRecord& s, int hideOnStartup);

int LoadHideOnStartup();

// What the windows keep for themselves outside the record (the frame's geometry, the list's
// columns), under `key` of section "Settings". Written only when the file may be written now.
QVariant LoadWindowState(const QString& key, const QVariant& fallback = {});
void StoreWindowState(const QList<std::pair<QString, QVariant>>& values);

}  // namespace qv
