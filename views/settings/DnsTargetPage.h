#pragma once

#include "settings/SettingsRecord.h"
#include "views/settings/SettingsPage.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace qv {

// "DNS Target": the name server that takes RFC 2136 updates (host and port), the zone (found
// from the name's SOA record when empty), the record name and its time to live, the TSIG key
// (name, algorithm, secret in base64) and the address the record gets when going off line
// (none: the record is deleted).
class DnsTargetPage : public SettingsPage {
    Q_OBJECT
  public:
    enum ControlId {
        kServer = 1171,
        kPort = 1172,
        kZone = 1173,
        kRecordName = 1174,
        kTtl = 1175,
        kKeyName = 1176,
        kAlgorithm = 1177,
        kSecret = 1178,
        kOffLineAddress = 1179,
        kSendNow = 1180,
        kNotifyOffLine = 1181,
    };

    explicit DnsTargetPage(IPaneLink& link, QWidget* parent = nullptr);

    void Fill(const SettingsRecord& settings);  // pane command Command::DnsFill
    void Take(SettingsRecord& settings) const;  // pane command Command::DnsTake

    void OnKillActive() override;

  private:
    void Push();

    QLineEdit* m_server;
    QSpinBox* m_port;
    QLineEdit* m_zone;
    QLineEdit* m_recordName;
    QSpinBox* m_ttl;
    QLineEdit* m_keyName;
    QComboBox* m_algorithm;
    QLineEdit* m_secret;
    QCheckBox* m_revealSecret;
    QLineEdit* m_offLineAddress;
};

}  // namespace qv
