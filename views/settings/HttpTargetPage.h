#pragma once

#include "settings/SettingsRecord.h"
#include "views/settings/SettingsPage.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace qv {

// "HTTP Target": the script page's URL and the query-string pairs that carry the address, user
// ID, password and start page, plus free additional query text; and the echo page that tells the
// public address.
class HttpTargetPage : public SettingsPage {
    Q_OBJECT
  public:
    enum ControlId {
        kTargetUrl = 1107,
        kAddressTag = 1112,
        kSendUserId = 1113,
        kUserIdTag = 1114,
        kUserId = 1118,
        kSendPassword = 1115,
        kPasswordTag = 1116,
        kPassword = 1117,
        kSendStartPage = 1120,
        kStartPageTag = 1121,
        kStartPage = 1122,
        kSendAdditional = 1119,
        kAdditional = 1111,
        kSendNow = 1148,
        kNotifyOffLine = 1144,
        kEchoPageUrl = 1153,
        kIpv6AddressTag = 1167,
    };

    explicit HttpTargetPage(IPaneLink& link, QWidget* parent = nullptr);

    void Fill(const SettingsRecord& settings);  // pane command Command::HttpFill
    void Take(SettingsRecord& settings) const;  // pane command Command::HttpTake

    void OnKillActive() override;

  private:
    struct Values {
        QString targetUrl;
        int sendUserId = 0;
        int sendPassword = 0;
        int sendStartPage = 0;
        int sendAdditional = 0;
        QString addressTag;
        QString ipv6AddressTag;
        QString userId;
        QString userIdTag;
        QString password;
        QString passwordTag;
        QString startPage;
        QString startPageTag;
        QString additional;
        QString echoPageUrl;
    };

    void Push();
    void ReadControls();
    void ShowValues();
    void ApplyEnableRule();

    QLineEdit* m_targetUrl;
    QLineEdit* m_addressTag;
    QLineEdit* m_ipv6AddressTag;
    QCheckBox* m_sendUserId;
    QLineEdit* m_userIdTag;
    QLineEdit* m_userId;
    QCheckBox* m_sendPassword;
    QLineEdit* m_passwordTag;
    QLineEdit* m_password;
    QCheckBox* m_revealPassword;
    QCheckBox* m_sendStartPage;
    QLineEdit* m_startPageTag;
    QLineEdit* m_startPage;
    QCheckBox* m_sendAdditional;
    QLineEdit* m_additional;
    QPushButton* m_sendNow;
    QPushButton* m_notifyOffLine;
    QLineEdit* m_echoPageUrl;

    Values m_values;
};

}  // namespace qv
