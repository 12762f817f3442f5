#pragma once

#include "settings/SettingsRecord.h"
#include "views/settings/SettingsPage.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace qv {

class WrapCheckBox;

// "FTP Target": the local page to upload, its placeholder and start page, the off-line choice
// (delete the page or re-upload it with a substitute), the target, its encryption and the log-in.
class FtpTargetPage : public SettingsPage {
    Q_OBJECT
  public:
    enum ControlId {
        kWebPage = 1136,
        kBrowse = 1110,
        kReplacement = 1135,
        kStartPage = 1147,
        kOffLineDelete = 1145,
        kOffLineDomain = 1137,
        kTargetUrl = 1142,
        kUserId = 1140,
        kPassword = 1141,
        kSendNow = 1106,
        kNotifyOffLine = 1144,
        kRequireEncryption = 1157,
        kReplacement6 = 1166,
    };

    explicit FtpTargetPage(IPaneLink& link, QWidget* parent = nullptr);

    void Fill(const SettingsRecord& settings);  // pane command Command::FtpFill
    void Take(SettingsRecord& settings) const;  // pane command Command::FtpTake

    void OnKillActive() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Values {
        QString targetUrl;
        QString userId;
        QString password;
        QString replacement;
        QString replacement6;
        QString webPage;
        QString offLineDomain;
        QString startPage;
        int offLineDelete = 0;
        int requireEncryption = 0;
    };

    void Push();
    void ReadControls();
    void ShowValues();
    void ApplyEnableRule();
    void Browse();

    QLineEdit* m_webPage;
    QPushButton* m_browse;
    QLineEdit* m_replacement;
    QLineEdit* m_replacement6;
    QLineEdit* m_startPage;
    WrapCheckBox* m_offLineDelete;
    QLineEdit* m_offLineDomain;
    QLineEdit* m_targetUrl;
    QCheckBox* m_requireEncryption;
    QLineEdit* m_userId;
    QLineEdit* m_password;
    QCheckBox* m_revealPassword;
    QPushButton* m_sendNow;
    QPushButton* m_notifyOffLine;

    Values m_values;
};

}  // namespace qv
