#pragma once

#include "settings/SettingsRecord.h"
#include "views/settings/SettingsPage.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace qv {

// "Dynamic DNS": the dyndns2 service's update URL, the host names it updates, and the account's
// user and password.
class DynDnsPage : public SettingsPage {
    Q_OBJECT
  public:
    enum ControlId {
        kUpdateUrl = 1161,
        kHosts = 1162,
        kUser = 1163,
        kPassword = 1164,
        kSendNow = 1165,
    };

    explicit DynDnsPage(IPaneLink& link, QWidget* parent = nullptr);

    void Fill(const SettingsRecord& settings);  // pane command Command::DynDnsFill
    void Take(SettingsRecord& settings) const;  // pane command Command::DynDnsTake

    void OnKillActive() override;

  private:
    void Push();

    QLineEdit* m_updateUrl;
    QLineEdit* m_hosts;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_revealPassword;
    QPushButton* m_sendNow;
    struct Values {
        QString updateUrl;
        QString hosts;
        QString user;
        QString password;
    };
    Values m_values;  // the page's own copies of its fields
};

}  // namespace qv
