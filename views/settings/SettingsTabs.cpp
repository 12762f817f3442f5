#include "views/settings/SettingsTabs.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QVBoxLayout>
#include <QtMath>

#include "resources/Ids.h"
#include "views/settings/DnsTargetPage.h"
#include "views/settings/DynDnsPage.h"
#include "views/settings/FtpTargetPage.h"
#include "views/settings/GeneralPage.h"
#include "views/settings/HttpTargetPage.h"
#include "views/settings/LoggingPage.h"

namespace qv {

SettingsTabs::SettingsTabs(IPaneLink& link, QWidget* parent) : QTabWidget(parent), m_link(link) {
    const char* const titles[kTabCount] = {"General", "HTTP Target", "FTP Target",
                                           "Logging", "Dynamic DNS", "DNS Target"};
    for (int tab = 0; tab < kTabCount; ++tab) {
        auto* holder = new QWidget;
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        m_holders[tab] = holder;
        addTab(holder, QString::fromLatin1(titles[tab]));
    }
    SizeHolders();
    setCurrentIndex(kGeneralTab);
    OnCurrentChanged(kGeneralTab);
    connect(this, &QTabWidget::currentChanged, this, &SettingsTabs::OnCurrentChanged);
}

SettingsPage* SettingsTabs::Page(int tab) const {
    return tab >= 0 && tab < kTabCount ? m_pages[tab] : nullptr;
}

GeneralPage* SettingsTabs::General() const {
    return static_cast<GeneralPage*>(m_pages[kGeneralTab]);
}

DynDnsPage* SettingsTabs::DynDns() const {
    return static_cast<DynDnsPage*>(m_pages[kDynDnsTab]);
}

HttpTargetPage* SettingsTabs::Http() const {
    return static_cast<HttpTargetPage*>(m_pages[kHttpTab]);
}

FtpTargetPage* SettingsTabs::Ftp() const {
    return static_cast<FtpTargetPage*>(m_pages[kFtpTab]);
}

DnsTargetPage* SettingsTabs::Dns() const {
    return static_cast<DnsTargetPage*>(m_pages[kDnsTab]);
}

LoggingPage* SettingsTabs::Logging() const {
    return static_cast<LoggingPage*>(m_pages[kLoggingTab]);
}

SettingsPage* SettingsTabs::EnsurePage(int tab) {
    if (m_pages[tab]) {
        return m_pages[tab];
    }
    QWidget* holder = m_holders[tab];
    SettingsPage* page = nullptr;
    switch (tab) {
        case kGeneralTab:
            page = new GeneralPage(m_link, holder);
            break;
        case kHttpTab:
            page = new HttpTargetPage(m_link, holder);
            break;
        case kFtpTab:
            page = new FtpTargetPage(m_link, holder);
            break;
        case kDynDnsTab:
            page = new DynDnsPage(m_link, holder);
            break;
        case kDnsTab:
            page = new DnsTargetPage(m_link, holder);
            break;
        default:
            page = new LoggingPage(m_link, holder);
            break;
    }
    holder->layout()->addWidget(page);
    m_pages[tab] = page;
    page->InitPage();
    updateGeometry();
    return page;
}

void SettingsTabs::OnCurrentChanged(int tab) {
    if (tab < 0 || tab >= kTabCount || tab == m_active) {
        return;
    }
    if (SettingsPage* old = Page(m_active)) {
        old->OnKillActive();
    }
    m_active = tab;
    EnsurePage(tab)->OnSetActive();
}

QSize SettingsTabs::PageAreaSize() const {
    const QFontMetricsF fm(font());
    // The average width of the letters, as dialog units measure it.
    const qreal letter = fm.horizontalAdvance(QStringLiteral(
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                         52.0;
    return QSize(qCeil(68 * letter), qCeil(21 * fm.height()));
}

void SettingsTabs::SizeHolders() {
    const QSize area = PageAreaSize();
    for (QWidget* holder : m_holders) {
        holder->setMinimumSize(area);
    }
}

void SettingsTabs::changeEvent(QEvent* event) {
    QTabWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        SizeHolders();
    }
}

void SettingsTabs::FillPage(int tab, const SettingsRecord& settings, int hideOnStartup) {
    switch (tab) {
        case kGeneralTab:
            if (GeneralPage* page = General()) {
                page->Fill(settings, hideOnStartup);
            }
            break;
        case kHttpTab:
            if (HttpTargetPage* page = Http()) {
                page->Fill(settings);
            }
            break;
        case kFtpTab:
            if (FtpTargetPage* page = Ftp()) {
                page->Fill(settings);
            }
            break;
        case kDnsTab:
            if (DnsTargetPage* page = Dns()) {
                page->Fill(settings);
            }
            break;
        case kLoggingTab:
            if (LoggingPage* page = Logging()) {
                page->Fill(settings);
            }
            break;
        case kDynDnsTab:
            if (DynDnsPage* page = DynDns()) {
                page->Fill(settings);
            }
            break;
        default:
            break;
    }
}

void SettingsTabs::TakePage(int tab, SettingsRecord& settings, int& hideOnStartup) const {
    switch (tab) {
        case kGeneralTab:
            if (GeneralPage* page = General()) {
                page->Take(settings, hideOnStartup);
            }
            break;
        case kHttpTab:
            if (HttpTargetPage* page = Http()) {
                page->Take(settings);
            }
            break;
        case kFtpTab:
            if (FtpTargetPage* page = Ftp()) {
                page->Take(settings);
            }
            break;
        case kDnsTab:
            if (DnsTargetPage* page = Dns()) {
                page->Take(settings);
            }
            break;
        case kLoggingTab:
            if (LoggingPage* page = Logging()) {
                page->Take(settings);
            }
            break;
        case kDynDnsTab:
            if (DynDnsPage* page = DynDns()) {
                page->Take(settings);
            }
            break;
        default:
            break;
    }
}

bool ExchangeSheetValues(SettingsTabs& sheet, Command command, SettingsRecord& settings,
                         int& hideOnStartup) {
    struct PageCommands {
        int tab;
        Command fill, take;
    };
    static constexpr PageCommands kPages[] = {
        {SettingsTabs::kGeneralTab, Command::GeneralFill, Command::GeneralTake},
        {SettingsTabs::kHttpTab, Command::HttpFill, Command::HttpTake},
        {SettingsTabs::kFtpTab, Command::FtpFill, Command::FtpTake},
        {SettingsTabs::kDnsTab, Command::DnsFill, Command::DnsTake},
        {SettingsTabs::kLoggingTab, Command::LogFill, Command::LogTake},
        {SettingsTabs::kDynDnsTab, Command::DynDnsFill, Command::DynDnsTake},
    };
    for (const PageCommands& p : kPages) {
        if (command == p.fill) {
            sheet.FillPage(p.tab, settings, hideOnStartup);
            return true;
        }
        if (command == p.take) {
            sheet.TakePage(p.tab, settings, hideOnStartup);
            return true;
        }
    }
    return false;
}

}  // namespace qv
