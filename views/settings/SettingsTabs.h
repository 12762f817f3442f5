#pragma once

#include <QTabWidget>

#include <array>

#include "settings/SettingsRecord.h"
#include "views/settings/PaneLink.h"

namespace qv {

class SettingsPage;
class GeneralPage;
class HttpTargetPage;
class FtpTargetPage;
class DnsTargetPage;
class LoggingPage;
class DynDnsPage;

// The settings sheet at the control pane's top-left: "General", "HTTP Target", "FTP Target",
// "Logging", "Dynamic DNS", "DNS Target". There are no OK, Cancel or Apply buttons: every change is
// taken at once. A page is built when its tab is first shown ("General" at once) and then asks the
// pane to fill it.
class SettingsTabs : public QTabWidget {
    Q_OBJECT
  public:
    enum Tab { kGeneralTab, kHttpTab, kFtpTab, kLoggingTab, kDynDnsTab, kDnsTab, kTabCount };

    // `link` is the control pane; it must outlive the sheet.
    explicit SettingsTabs(IPaneLink& link, QWidget* parent = nullptr);

    // The pages; null until their tab has been shown once (General never is).
    GeneralPage* General() const;
    HttpTargetPage* Http() const;
    FtpTargetPage* Ftp() const;
    DnsTargetPage* Dns() const;
    LoggingPage* Logging() const;
    DynDnsPage* DynDns() const;
    SettingsPage* Page(int tab) const;

    // The pane's answers to a page's fill and take commands: copy the record into the page of
    // `tab`, or the page's values into the record. `hideOnStartup` goes with the General page.
    // Nothing happens for a page that has not been built.
    void FillPage(int tab, const SettingsRecord& settings, int hideOnStartup);
    void TakePage(int tab, SettingsRecord& settings, int& hideOnStartup) const;

    // The room every page gets, from the font: about 68 average letters by 21 lines (the
    // General page's three method boxes among them). Every
    // page fits in it, so the sheet keeps its size whichever pages have been built.
    QSize PageAreaSize() const;
    // The least size is also the best one: pages wrap their long captions to fit.
    QSize sizeHint() const override { return minimumSizeHint(); }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void SizeHolders();
    SettingsPage* EnsurePage(int tab);
    void OnCurrentChanged(int tab);

    IPaneLink& m_link;
    std::array<QWidget*, kTabCount> m_holders{};
    std::array<SettingsPage*, kTabCount> m_pages{};
    int m_active = -1;
};

// Answers the pages' fill and take commands (Command::GeneralFill ... Command::LogTake) with
// FillPage or TakePage. Returns false for any other command. A take does only the copying: the pane
// then does its own part (for Command::GeneralTake see PlanGeneralTake).
bool ExchangeSheetValues(SettingsTabs& sheet, Command command, SettingsRecord& settings,
                         int& hideOnStartup);

}  // namespace qv
