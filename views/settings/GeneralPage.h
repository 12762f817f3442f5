#pragma once

#include <optional>
#include <vector>

#include "settings/SettingsRecord.h"
#include "views/settings/SettingsPage.h"

class QCheckBox;
class QPushButton;

namespace qv {

class MinutesBox;
class WrapCheckBox;

// "General": hide at start, start at log-in (the user's autostart entry, not a setting), hardware
// addresses only, asking the router for the public address, polling every N minutes, automatic
// forwarding and its method, the send notice and the host's reply.
class GeneralPage : public SettingsPage {
    Q_OBJECT
  public:
    enum ControlId {
        kHideOnStartup = 1134,
        kHardwareOnly = 1104,
        kRefresh = 1105,
        kPolling = 1143,
        kMinutes = 1129,
        kAutoForward = 1103,
        kUseHttp = 1138,
        kUseFtp = 1139,
        kUseDnsUpdate = 1170,
        kUseDynDns = 1160,
        kNotifyOnSend = 1102,
        kHostResponse = 1123,
        kStartAtLogin = 1150,
        kShowIpv6 = 1155,
        kAskRouter = 1152,
    };

    explicit GeneralPage(IPaneLink& link, QWidget* parent = nullptr);

    // Pane command Command::GeneralFill.
    void Fill(const SettingsRecord& settings, int hideOnStartup);
    // Pane command Command::GeneralTake: the page's values into the record and `hideOnStartup`.
    void Take(SettingsRecord& settings, int& hideOnStartup) const;

    // The pane has filled the page at least once; before that, edits stay on the page.
    bool PageFilled() const { return m_pageFilled; }

  private:
    // The page's own copies of its controls.
    struct Values {
        int hardwareOnly = 0;
        int showIpv6 = 1;
        int askRouter = 0;
        int autoForward = 0;
        int notifyOnSend = 0;
        int hostResponse = 0;
        int minutes = 1;
        int hideOnStartup = 0;
        int polling = 0;
        std::optional<ForwardMethod> method;  // none before the first fill
    };

    void Push();
    void ReadControls();
    void PromptForMinutes(const QString& typed);
    void ShowValues();
    void ApplyPollingRule();
    void OnMethodClicked(std::size_t index);
    void OnStartAtLoginClicked(bool on);

    QCheckBox* m_hide;
    QCheckBox* m_startAtLogin;
    WrapCheckBox* m_hardware;
    WrapCheckBox* m_ipv6;
    WrapCheckBox* m_askRouter;
    QPushButton* m_refresh;
    QCheckBox* m_polling;
    MinutesBox* m_minutes;
    WrapCheckBox* m_autoForward;
    struct MethodBox {
        ForwardMethod method;
        WrapCheckBox* box;
    };
    std::vector<MethodBox> m_methods;
    WrapCheckBox* m_notify;
    WrapCheckBox* m_hostResponse;

    Values m_values;
    bool m_pageFilled = false;
};

}  // namespace qv
