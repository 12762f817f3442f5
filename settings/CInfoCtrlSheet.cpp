#include "settings/CInfoCtrlSheet.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QVBoxLayout>
#include <QtMath>

#include "resources/Ids.h"
#include "settings/CFTPXferPpg.h"
#include "settings/CGeneralPpg.h"
#include "settings/CHTTPXferPpg.h"
#include "settings/CLoggingPpg.h"

namespace qv {

CInfoCtrlSheet::CInfoCtrlSheet(IPaneLink& link, QWidget* parent)
    : QTabWidget(parent), m_link(link) {
    const char* const titles[kTabCount] = {"General", "HTTP Target", "FTP Target", "Logging"};
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
    connect(this, &QTabWidget::currentChanged, this, &CInfoCtrlSheet::OnCurrentChanged);
}

CSettingsPage* CInfoCtrlSheet::Page(int tab) const {
    return tab >= 0 && tab < kTabCount ? m_pages[tab] : nullptr;
}

CGeneralPpg* CInfoCtrlSheet::General() const {
    return static_cast<CGeneralPpg*>(m_pages[kGeneralTab]);
}

CHTTPXferPpg* CInfoCtrlSheet::Http() const {
    return static_cast<CHTTPXferPpg*>(m_pages[kHttpTab]);
}

CFTPXferPpg* CInfoCtrlSheet::Ftp() const {
    return static_cast<CFTPXferPpg*>(m_pages[kFtpTab]);
}

CLoggingPpg* CInfoCtrlSheet::Logging() const {
    return static_cast<CLoggingPpg*>(m_pages[kLoggingTab]);
}

CSettingsPage* CInfoCtrlSheet::EnsurePage(int tab) {
    if (m_pages[tab]) {
        return m_pages[tab];
    }
    QWidget* holder = m_holders[tab];
    CSettingsPage* page = nullptr;
    switch (tab) {
        case kGeneralTab:
            page = new CGeneralPpg(m_link, holder);
            break;
        case kHttpTab:
            page = new CHTTPXferPpg(m_link, holder);
            break;
        case kFtpTab:
            page = new CFTPXferPpg(m_link, holder);
            break;
        default:
            page = new CLoggingPpg(m_link, holder);
            break;
    }
    holder->layout()->addWidget(page);
    m_pages[tab] = page;
    page->InitPage();
    updateGeometry();
    return page;
}

void CInfoCtrlSheet::OnCurrentChanged(int tab) {
    if (tab < 0 || tab >= kTabCount || tab == m_active) {
        return;
    }
    if (CSettingsPage* old = Page(m_active)) {
        old->OnKillActive();
    }
    m_active = tab;
    EnsurePage(tab)->OnSetActive();
}

QSize CInfoCtrlSheet::PageAreaSize() const {
    const QFontMetricsF fm(font());
    // The average width of the letters, as dialog units measure it.
    const qreal letter = fm.horizontalAdvance(QStringLiteral(
                             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                         52.0;
    return QSize(qCeil(68 * letter), qCeil(19.7 * fm.height()));
}

void CInfoCtrlSheet::SizeHolders() {
    const QSize area = PageAreaSize();
    for (QWidget* holder : m_holders) {
        holder->setMinimumSize(area);
    }
}

void CInfoCtrlSheet::changeEvent(QEvent* event) {
    QTabWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        SizeHolders();
    }
}

void CInfoCtrlSheet::FillPage(int tab, const InfoCtrlSettings& settings, int hideOnStartup) {
    switch (tab) {
        case kGeneralTab:
            if (CGeneralPpg* page = General()) {
                page->Fill(settings, hideOnStartup);
            }
            break;
        case kHttpTab:
            if (CHTTPXferPpg* page = Http()) {
                page->Fill(settings);
            }
            break;
        case kFtpTab:
            if (CFTPXferPpg* page = Ftp()) {
                page->Fill(settings);
            }
            break;
        case kLoggingTab:
            if (CLoggingPpg* page = Logging()) {
                page->Fill(settings);
            }
            break;
        default:
            break;
    }
}

void CInfoCtrlSheet::TakePage(int tab, InfoCtrlSettings& settings, int& hideOnStartup) const {
    switch (tab) {
        case kGeneralTab:
            if (CGeneralPpg* page = General()) {
                page->Take(settings, hideOnStartup);
            }
            break;
        case kHttpTab:
            if (CHTTPXferPpg* page = Http()) {
                page->Take(settings);
            }
            break;
        case kFtpTab:
            if (CFTPXferPpg* page = Ftp()) {
                page->Take(settings);
            }
            break;
        case kLoggingTab:
            if (CLoggingPpg* page = Logging()) {
                page->Take(settings);
            }
            break;
        default:
            break;
    }
}

bool ExchangeSheetValues(CInfoCtrlSheet& sheet, int command, InfoCtrlSettings& settings,
                         int& hideOnStartup) {
    struct PageCommands {
        int tab, fill, take;
    };
    static constexpr PageCommands kPages[] = {
        {CInfoCtrlSheet::kGeneralTab, kCmdGeneralFill, kCmdGeneralTake},
        {CInfoCtrlSheet::kHttpTab, kCmdHttpFill, kCmdHttpTake},
        {CInfoCtrlSheet::kFtpTab, kCmdFtpFill, kCmdFtpTake},
        {CInfoCtrlSheet::kLoggingTab, kCmdLogFill, kCmdLogTake},
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
