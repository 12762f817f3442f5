#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace qv {

// The user's choices, held in memory by the control pane and stored in section "Settings".
struct InfoCtrlSettings {
    QString HTTPTargetURL;
    QString FTPForwardWebPage;
    QString FTPReplacementString;
    QString FTPStartPage;
    QString FTPTargetURL;
    QString FTPUserID;
    QString FTPPassword;
    QString OffLineDomain;

    // The 13 check-box states, stored together as "EnableFlags" in this order.
    int ShowHardwareOnly = 0;
    int CheckForChange = 1;
    int AutoForward = 0;
    int UseHTTP = 1;
    int NotifyOnSend = 1;
    int SendUserID = 1;
    int SendPassword = 1;
    int SendStartPage = 1;
    int SendAdditional = 0;
    int LoggingEnabled = 0;
    int ShowHostResponse = 0;
    int FTPOffLineDelete = 0;
    int NotifyLogBig = 1;

    QString IPAddressQueryStringTag = QStringLiteral("IPAddress");
    QString UserIDQueryString;
    QString UserIDQueryStringTag = QStringLiteral("UserID");
    QString PasswordQueryString;
    QString PasswordQueryStringTag = QStringLiteral("Password");
    QString StartPageQueryString;
    QString StartPageQueryStringTag = QStringLiteral("StartPage");
    QString AdditionalQueryString;
    QString LoggingFile;
    int CheckTime = 5;  // minutes, 1..100

    int* Flag(int position);  // position 1..13, nullptr outside
    QString FlagsText() const;
    void ParseFlags(const QString& text);
};

inline constexpr const char* kDefaultEnableFlags = "0 1 0 1 1 1 1 1 0 0 0 0 1";

// The default event log file: QuorvaneLog.txt in the per-user data folder.
QString DefaultLogFile();

// The settings file (Calvort/Quorvane.conf under the user's configuration folder). It holds
// passwords, so it is kept readable by its owner only.
QString SettingsFilePath();
std::unique_ptr<QSettings> OpenSettings();
void RestrictSettingsFile();  // sets mode 0600 on the file, creating it empty when missing

// Loads the record from section "Settings", applying the defaults and repairs.
void LoadSettings(InfoCtrlSettings& s);
// Writes every key of the record and `hideOnStartup`; returns false when the file could not be
// written (the old file is then left as it was).
bool SaveSettings(const InfoCtrlSettings& s, int hideOnStartup);

int LoadHideOnStartup();

}  // namespace qv
