#include "settings/SettingsRecord.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <array>
#include <cstdio>

#include "platform/FileError.h"

namespace qv {
namespace {

const char* const kOrganisation = "Calvort";
const char* const kApplication = "Quorvane";

// The query-string keys, in the order they are read and written.
struct StringKey {
    const char* key;
    QString SettingsRecord::*field;
};

const StringKey kQueryKeys[] = {
    {"IPAddressQueryStringTag", &SettingsRecord::IPAddressQueryStringTag},
    {"UserIDQueryString", &SettingsRecord::UserIDQueryString},
    {"UserIDQueryStringTag", &SettingsRecord::UserIDQueryStringTag},
    {"PasswordQueryString", &SettingsRecord::PasswordQueryString},
    {"PasswordQueryStringTag", &SettingsRecord::PasswordQueryStringTag},
    {"StartPageQueryString", &SettingsRecord::StartPageQueryString},
    {"StartPageQueryStringTag", &SettingsRecord::StartPageQueryStringTag},
    {"AdditionalQueryString", &SettingsRecord::AdditionalQueryString},
};

const StringKey kTargetKeys[] = {
    {"HTTPTargetURL", &SettingsRecord::HTTPTargetURL},
    {"FTPForwardWebPage", &SettingsRecord::FTPForwardWebPage},
    {"FTPReplacementString", &SettingsRecord::FTPReplacementString},
    {"FTPStartPage", &SettingsRecord::FTPStartPage},
    {"FTPTargetURL", &SettingsRecord::FTPTargetURL},
    {"FTPUserID", &SettingsRecord::FTPUserID},
    {"FTPPassword", &SettingsRecord::FTPPassword},
    {"OffLineDomain", &SettingsRecord::OffLineDomain},
    {"EchoPageURL", &SettingsRecord::EchoPageURL},
    {"DNSServer", &SettingsRecord::DNSServer},
    {"DNSZone", &SettingsRecord::DNSZone},
    {"DNSRecordName", &SettingsRecord::DNSRecordName},
    {"DNSKeyName", &SettingsRecord::DNSKeyName},
    {"DNSKeySecret", &SettingsRecord::DNSKeySecret},
    {"DNSOffLineAddress", &SettingsRecord::DNSOffLineAddress},
};

// Keys that files written before them lack: written only while they hold other than their
// default, so that a file of someone who does not use them stays as it was.
const StringKey kNewerKeys[] = {
    {"IPv6AddressQueryStringTag", &SettingsRecord::IPv6AddressQueryStringTag},
    {"FTPReplacementString6", &SettingsRecord::FTPReplacementString6},
    {"DynDnsURL", &SettingsRecord::DynDnsURL},
    {"DynDnsHosts", &SettingsRecord::DynDnsHosts},
    {"DynDnsUser", &SettingsRecord::DynDnsUser},
    {"DynDnsPassword", &SettingsRecord::DynDnsPassword},
};

QString ReadString(QSettings& st, const char* key, const QString& fallback = QString()) {
    const QVariant v = st.value(QLatin1String(key));
    if (!v.isValid()) {
        return fallback;
    }
    // A hand-edited value with an unquoted comma reads as a list: take it as the text it was.
    if (v.typeId() == QMetaType::QStringList) {
        return v.toStringList().join(QStringLiteral(", "));
    }
    return v.toString();
}

// A switch: any number other than 0 reads as on.
bool ReadSwitch(QSettings& st, const QString& key, bool fallback) {
    return st.value(key, fallback ? 1 : 0).toInt() != 0;
}

}  // namespace

namespace {

constexpr int kFlagCount = 13;
constexpr int kMethodFlag = 3;  // EnableFlags' 4th number: 1 for HTTP, 0 for another method
constexpr int kMaxPort = 65535;

// The check boxes behind EnableFlags, in their order; the method's place is null.
std::array<bool*, kFlagCount> FlagFields(SettingsRecord& s) {
    return {&s.ShowHardwareOnly, &s.CheckForChange, &s.AutoForward,      nullptr,
            &s.NotifyOnSend,     &s.SendUserID,     &s.SendPassword,     &s.SendStartPage,
            &s.SendAdditional,   &s.LoggingEnabled, &s.ShowHostResponse, &s.FTPOffLineDelete,
            &s.NotifyLogBig};
}

}  // namespace

QString MethodName(ForwardMethod method) {
    for (const ForwardMethodName& m : kForwardMethodNames) {
        if (m.method == method) {
            return QLatin1String(m.name);
        }
    }
    return {};
}

QString SettingsRecord::FlagsText() const {
    const auto fields = FlagFields(const_cast<SettingsRecord&>(*this));
    QStringList parts;
    for (int i = 0; i < kFlagCount; ++i) {
        const bool on = i == kMethodFlag ? Method == ForwardMethod::Http : *fields[i];
        parts << QString::number(on ? 1 : 0);
    }
    return parts.join(QLatin1Char(' '));
}

void SettingsRecord::ParseFlags(const QString& text) {
    // Numbers separated by blanks; the positions after the first one that does not parse are 0.
    int v[kFlagCount] = {};
    const QByteArray bytes = text.toLatin1();
    std::sscanf(bytes.constData(), "%d %d %d %d %d %d %d %d %d %d %d %d %d", &v[0], &v[1], &v[2],
                &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11], &v[12]);
    const auto fields = FlagFields(*this);
    for (int i = 0; i < kFlagCount; ++i) {
        if (i == kMethodFlag) {
            Method = v[i] != 0 ? ForwardMethod::Http : ForwardMethod::Ftp;
        } else {
            *fields[i] = v[i] != 0;
        }
    }
}

int SettingsRecord::PasswordsKeptInKeyring() const {
    int kept = 0;
    for (const PasswordField& p : kPasswordFields) {
        if (!(PasswordsInKeyring & p.bit)) {
            continue;
        }
        // Not read yet and not retyped, or read (or written) and unchanged since.
        const bool unread = (PasswordsToRead & p.bit) && (this->*p.value).isEmpty();
        const bool same = !(PasswordsToRead & p.bit) && this->*p.value == this->*p.kept;
        if (unread || same) {
            kept |= p.bit;
        }
    }
    return kept;
}

int SettingsRecord::PasswordsOutsideKeyring() const {
    int outside = 0;
    for (const PasswordField& p : kPasswordFields) {
        if (!(this->*p.value).isEmpty()) {
            outside |= p.bit;
        }
    }
    return outside & ~PasswordsKeptInKeyring();
}

QString DefaultLogFile() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) {
        base = QDir::homePath();
    }
    const QString folder = base + QLatin1Char('/') + QLatin1String(kOrganisation) +
                           QLatin1Char('/') + QLatin1String(kApplication);
    QDir().mkpath(folder);
    return folder + QStringLiteral("/QuorvaneLog.txt");
}

// Where QSettings keeps the user's file, worked out without opening it: a QSettings object reads
// its file as it is made.
QString SettingsFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + QLatin1String(kOrganisation) + QLatin1Char('/') +
           QLatin1String(kApplication) + QStringLiteral(".conf");
}

std::unique_ptr<QSettings> OpenSettings() {
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                kOrganisation, kApplication);
    return settings;
}

QString SettingsFileUnusable() {
    const QString path = SettingsFilePath();
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode)) {
        return {};  // missing (it is made on the first save), or a file
    }
    return QStringLiteral(
               "The settings file %1 is not a regular file (a folder, a FIFO or a "
               "device): remove it, then start the program again.")
        .arg(path);
}

void RestrictSettingsFile() {
    const QString path = SettingsFilePath();
    const QByteArray native = QFile::encodeName(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!QFileInfo::exists(path)) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) {
            f.close();
        }
    }
    struct stat st {};
    if (::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        ::chmod(native.constData(), st.st_mode & (S_IRUSR | S_IWUSR));
    }
}

bool SettingsFileIsReadOnly() {
    return IsReadOnlyByMode(SettingsFilePath());
}

bool SettingsFileWritableNow() {
    constexpr int kLiveWriterWaitMs = 500;
    return !SettingsFileIsReadOnly() &&
           ClearStaleLockFile(SettingsFilePath() + QStringLiteral(".lock"), kLiveWriterWaitMs);
}

void LoadSettings(SettingsRecord& s) {
    LoadSettings(*OpenSettings(), s);
}

void LoadSettings(QSettings& file, SettingsRecord& s) {
    // Every default is the record's own, as a fresh record holds it.
    const SettingsRecord defaults;
    QSettings* const st = &file;
    st->beginGroup(QStringLiteral("Settings"));
    s.ParseFlags(ReadString(*st, "EnableFlags", defaults.FlagsText()));
    // The named method counts only where the flag says "not HTTP": a program that knows only HTTP
    // and FTP may have changed the flag since and left the name behind.
    if (s.Method != ForwardMethod::Http) {
        const QString named = ReadString(*st, "ForwardMethod");
        for (const ForwardMethodName& m : kForwardMethodNames) {
            if (m.method != ForwardMethod::Http && named == QLatin1String(m.name)) {
                s.Method = m.method;
            }
        }
    }
    for (const StringKey& k : kQueryKeys) {
        s.*k.field = ReadString(*st, k.key, defaults.*k.field);
    }
    s.LoggingFile = ReadString(*st, "LoggingFile");
    if (!st->contains(QStringLiteral("LoggingFile"))) {
        s.LoggingFile = DefaultLogFile();
    }
    for (const StringKey& k : kTargetKeys) {
        s.*k.field = ReadString(*st, k.key);
    }
    for (const StringKey& k : kNewerKeys) {
        s.*k.field = ReadString(*st, k.key, defaults.*k.field);
    }
    s.AskRouter = ReadSwitch(*st, QStringLiteral("AskRouter"), defaults.AskRouter);
    bool ok = false;
    s.CheckTime = st->value(QStringLiteral("CheckTime"), defaults.CheckTime).toInt(&ok);
    if (!ok) {
        s.CheckTime = 0;  // a value that is no number reads as 0 and is repaired below
    }
    s.ShowIPv6 = ReadSwitch(*st, QStringLiteral("ShowIPv6"), defaults.ShowIPv6);
    s.FTPRequireEncryption =
        ReadSwitch(*st, QStringLiteral("FTPRequireEncryption"), defaults.FTPRequireEncryption);
    s.DNSKeyAlgorithm = ReadString(*st, "DNSKeyAlgorithm", defaults.DNSKeyAlgorithm);
    s.DNSPort = st->value(QStringLiteral("DNSPort"), defaults.DNSPort).toInt();
    if (s.DNSPort < 1 || s.DNSPort > kMaxPort) {
        s.DNSPort = defaults.DNSPort;
    }
    s.DNSTTL = st->value(QStringLiteral("DNSTTL"), defaults.DNSTTL).toInt(&ok);
    if (!ok || s.DNSTTL < 0) {
        s.DNSTTL = defaults.DNSTTL;
    }
    // A password the file holds after all (written by hand) is taken from the file.
    s.PasswordsInKeyring =
        st->value(QStringLiteral("PasswordsInKeyring"), 0).toInt() & kKeyringAllPasswords;
    for (const PasswordField& p : kPasswordFields) {
        if (!(s.*p.value).isEmpty()) {
            s.PasswordsInKeyring &= ~p.bit;
        }
    }
    s.PasswordsToRead = s.PasswordsInKeyring;
    st->endGroup();
    s.TargetsStored();

    if (!s.CheckForChange && s.AutoForward) {
        s.AutoForward = false;
    }
    if (s.CheckTime < kMinCheckTime || s.CheckTime > kMaxCheckTime) {
        s.CheckTime = defaults.CheckTime;
    }
}

bool SaveSettings(const SettingsRecord& s, int hideOnStartup) {
    // Checked before any value is set: a refused save leaves nothing behind in QSettings' shared
    // cache, where later readers in this process would take it for stored.
    if (!SettingsFileWritableNow()) {
        return false;
    }
    RestrictSettingsFile();
    auto st = OpenSettings();
    st->beginGroup(QStringLiteral("Settings"));
    st->setValue(QStringLiteral("EnableFlags"), s.FlagsText());
    st->setValue(QStringLiteral("ForwardMethod"), MethodName(s.Method));
    for (const StringKey& k : kQueryKeys) {
        st->setValue(QLatin1String(k.key), s.*k.field);
    }
    st->setValue(QStringLiteral("LoggingFile"), s.LoggingFile);
    for (const StringKey& k : kTargetKeys) {
        st->setValue(QLatin1String(k.key), s.*k.field);
    }
    const SettingsRecord defaults;
    for (const StringKey& k : kNewerKeys) {
        if (s.*k.field == defaults.*k.field) {
            st->remove(QLatin1String(k.key));
        } else {
            st->setValue(QLatin1String(k.key), s.*k.field);
        }
    }
    const int kept = s.PasswordsKeptInKeyring();
    for (const PasswordField& p : kPasswordFields) {
        if (kept & p.bit) {
            st->setValue(QLatin1String(p.key), QString());
        }
    }
    st->setValue(QStringLiteral("CheckTime"), s.CheckTime);
    st->setValue(QStringLiteral("ShowIPv6"), s.ShowIPv6 ? 1 : 0);
    st->setValue(QStringLiteral("AskRouter"), s.AskRouter ? 1 : 0);
    st->setValue(QStringLiteral("HideOnStartup"), hideOnStartup);
    st->setValue(QStringLiteral("FTPRequireEncryption"), s.FTPRequireEncryption ? 1 : 0);
    st->setValue(QStringLiteral("DNSKeyAlgorithm"), s.DNSKeyAlgorithm);
    st->setValue(QStringLiteral("DNSPort"), s.DNSPort);
    st->setValue(QStringLiteral("DNSTTL"), s.DNSTTL);
    st->setValue(QStringLiteral("PasswordsInKeyring"), kept);
    st->endGroup();
    st->sync();
    const bool ok = st->status() == QSettings::NoError;
    st.reset();
    RestrictSettingsFile();
    return ok;
}

QVariant LoadWindowState(const QString& key, const QVariant& fallback) {
    return OpenSettings()->value(QStringLiteral("Settings/") + key, fallback);
}

void StoreWindowState(const QList<std::pair<QString, QVariant>>& values) {
    if (!SettingsFileWritableNow()) {
        return;
    }
    RestrictSettingsFile();
    auto st = OpenSettings();
    for (const auto& [key, value] : values) {
        st->setValue(QStringLiteral("Settings/") + key, value);
    }
}

int LoadHideOnStartup() {
    auto st = OpenSettings();
    return ReadSwitch(*st, QStringLiteral("Settings/HideOnStartup"), false);
}

}  // namespace qv
