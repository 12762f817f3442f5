#pragma once

#include <QString>

class QWidget;

namespace qv {

struct SettingsRecord;

// The settings sheet as the control pane sees it. The sheet widget sits at the pane's top-left;
// its pages post pane commands, and the pane asks them to copy their values to or from the
// settings record.
class IPaneSheet {
  public:
    // In the order of the sheet's tabs (SettingsTabs::Tab).
    enum Page { kGeneral, kHttpTarget, kFtpTarget, kLogging, kDynDns, kDnsTarget };

    virtual ~IPaneSheet() = default;

    virtual QWidget* Widget() = 0;
    // Page values into the record; the General page also sets `hideOnStartup`.
    virtual void TakePage(Page page, SettingsRecord& settings, int& hideOnStartup) = 0;
    // Record values into the page.
    virtual void FillPage(Page page, const SettingsRecord& settings, int hideOnStartup) = 0;
};

}  // namespace qv
