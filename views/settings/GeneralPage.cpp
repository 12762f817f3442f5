#include "views/settings/GeneralPage.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Prompter.h"
#include "resources/Ids.h"
#include "settings/LoginAutostart.h"
#include "views/settings/PageWidgets.h"

namespace qv {
namespace {

// The forwarding methods the page offers, in their order on the page.
struct MethodChoice {
    ForwardMethod method;
    const char* caption;
    int id;
};

const MethodChoice kMethodChoices[] = {
    {ForwardMethod::Http,
     "use HTTP to send IP Address to a web site page (such as ASP or CGI script pages)",
     GeneralPage::kUseHttp},
    {ForwardMethod::Ftp, "use FTP to upload the web page to the specified web site and directory",
     GeneralPage::kUseFtp},
    {ForwardMethod::DynDns, "use a Dynamic DNS service (dyndns2) to update its host names",
     GeneralPage::kUseDynDns},
    {ForwardMethod::DnsUpdate, "DNS server (RFC 2136)", GeneralPage::kUseDnsUpdate},
};

int Bit(bool on) {
    return on ? 1 : 0;
}

}  // namespace

GeneralPage::GeneralPage(IPaneLink& link, QWidget* parent)
    : SettingsPage(link, {Command::GeneralTake, Command::GeneralFill, Command::GeneralHelp},
                   parent) {
    // Controls are made in reading order, which is also the keyboard order.
    m_hide =
        Control(new QCheckBox(QStringLiteral("Hide Quorvane on Startup"), this), kHideOnStartup);
    m_startAtLogin =
        Control(new QCheckBox(QStringLiteral("Start Quorvane when I log in"), this), kStartAtLogin);

    auto* monitor = new QGroupBox(QStringLiteral("Monitor"), this);
    m_hardware = Control(
        new WrapCheckBox(
            QStringLiteral("Show only IP Addresses that correspond to actual hardware"), monitor),
        kHardwareOnly);
    m_ipv6 = Control(new WrapCheckBox(QStringLiteral("Show IPv6 addresses"), monitor), kShowIpv6);
    m_askRouter =
        Control(new WrapCheckBox(QStringLiteral("Ask the router (UPnP)"), monitor), kAskRouter);
    m_refresh = Control(new QPushButton(QStringLiteral("&Refresh Data"), monitor), kRefresh);
    m_refresh->setDefault(true);
    m_polling =
        Control(new QCheckBox(QStringLiteral("Enable check for IP Address change every"), monitor),
                kPolling);
    m_minutes = Control(new MinutesBox(monitor), kMinutes);
    auto* minutesLabel = new QLabel(QStringLiteral("minutes."), monitor);

    const int margin = PageMargin();
    auto* monitorLayout = new QGridLayout(monitor);
    monitorLayout->setContentsMargins(margin, margin / 2, margin, margin / 2);
    monitorLayout->setVerticalSpacing(2);
    // The hardware box wraps beside the two short boxes, which stand one above the other.
    auto* shortBoxes = new QVBoxLayout;
    shortBoxes->setSpacing(0);
    shortBoxes->addWidget(m_ipv6);
    shortBoxes->addWidget(m_askRouter);
    monitorLayout->addWidget(m_hardware, 0, 0);
    monitorLayout->addLayout(shortBoxes, 0, 1);
    monitorLayout->addWidget(m_refresh, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
    auto* pollRow = new QHBoxLayout;
    pollRow->addWidget(m_polling);
    pollRow->addWidget(m_minutes);
    pollRow->addWidget(minutesLabel);
    pollRow->addStretch(1);
    monitorLayout->addLayout(pollRow, 1, 0, 1, 3);
    monitorLayout->setColumnStretch(0, 1);

    auto* notifications = new QGroupBox(QStringLiteral("Notifications"), this);
    m_autoForward =
        Control(new WrapCheckBox(QStringLiteral("Enable automatic forwarding of IP Address - see "
                                                "appropriate tab for required information"),
                                 notifications),
                kAutoForward);
    for (const MethodChoice& choice : kMethodChoices) {
        m_methods.push_back(
            {choice.method,
             Control(new WrapCheckBox(QLatin1String(choice.caption), notifications), choice.id)});
    }
    m_notify = Control(new WrapCheckBox(QStringLiteral("Notify me when selected IP Address is "
                                                       "being sent to the host"),
                                        notifications),
                       kNotifyOnSend);
    m_hostResponse = Control(
        new WrapCheckBox(QStringLiteral("Show Host Communications Response"), notifications),
        kHostResponse);
    auto* bracket = new ChoiceBracket(m_methods.front().box, m_methods.back().box, notifications);

    auto* notifyLayout = new QGridLayout(notifications);
    notifyLayout->setContentsMargins(margin, margin / 2, margin, margin / 4);
    // Close rows: the group holds a box for each method.
    notifyLayout->setVerticalSpacing(0);
    notifyLayout->setHorizontalSpacing(2);
    const int indent = fontMetrics().averageCharWidth();
    notifyLayout->addWidget(m_autoForward, 0, 0, 1, 3);
    notifyLayout->setColumnMinimumWidth(0, indent);
    // The method boxes stand close together, so that every method fits beside the bracket.
    auto* methodColumn = new QVBoxLayout;
    methodColumn->setSpacing(0);
    for (const MethodBox& m : m_methods) {
        methodColumn->addWidget(m.box);
    }
    notifyLayout->addWidget(bracket, 1, 1);
    notifyLayout->addLayout(methodColumn, 1, 2);
    notifyLayout->addWidget(m_notify, 2, 0, 1, 3);
    notifyLayout->addWidget(m_hostResponse, 3, 0, 1, 3);
    notifyLayout->setColumnStretch(2, 1);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(margin, margin, margin, margin);
    page->setSpacing(margin / 2);
    auto* startRow = new QHBoxLayout;
    startRow->addWidget(m_hide);
    startRow->addSpacing(margin);
    startRow->addWidget(m_startAtLogin);
    startRow->addStretch(1);
    page->addLayout(startRow);
    page->addWidget(monitor);
    page->addWidget(notifications);
    page->addStretch(1);

    for (QCheckBox* box :
         {static_cast<QCheckBox*>(m_notify), static_cast<QCheckBox*>(m_hostResponse),
          static_cast<QCheckBox*>(m_hardware), static_cast<QCheckBox*>(m_ipv6),
          static_cast<QCheckBox*>(m_askRouter), m_hide}) {
        connect(box, &QCheckBox::clicked, this, &GeneralPage::Push);
    }
    // A new number in range, typed or stepped, is taken at once. Other text waits in the editor
    // until the user leaves the box or presses Enter; then the prompt comes, once the box has
    // gone back to its last good value.
    connect(m_minutes, &QSpinBox::valueChanged, this, &GeneralPage::Push);
    connect(m_minutes, &MinutesBox::Rejected, this, &GeneralPage::PromptForMinutes,
            Qt::QueuedConnection);
    for (QCheckBox* box : {static_cast<QCheckBox*>(m_autoForward), m_polling}) {
        connect(box, &QCheckBox::clicked, this, [this] {
            if (IsFilling()) {
                return;
            }
            ApplyPollingRule();
            Push();
        });
    }
    for (std::size_t i = 0; i < m_methods.size(); ++i) {
        connect(m_methods[i].box, &QCheckBox::clicked, this, [this, i] { OnMethodClicked(i); });
    }
    connect(m_startAtLogin, &QCheckBox::clicked, this, &GeneralPage::OnStartAtLoginClicked);
    connect(m_refresh, &QPushButton::clicked, this, [this] { Post(Command::Refresh); });

    ShowValues();
    ApplyPollingRule();
}

void GeneralPage::ShowValues() {
    FillScope scope(*this);
    m_hardware->setChecked(m_values.hardwareOnly);
    m_ipv6->setChecked(m_values.showIpv6);
    m_askRouter->setChecked(m_values.askRouter);
    m_autoForward->setChecked(m_values.autoForward);
    m_notify->setChecked(m_values.notifyOnSend);
    m_hostResponse->setChecked(m_values.hostResponse);
    m_minutes->setValue(m_values.minutes);
    m_hide->setChecked(m_values.hideOnStartup);
    m_polling->setChecked(m_values.polling);
    for (const MethodBox& m : m_methods) {
        m.box->setChecked(m_values.method == m.method);
    }
    m_startAtLogin->setChecked(LoginAutostart::IsOn());
}

void GeneralPage::OnStartAtLoginClicked(bool on) {
    if (IsFilling()) {
        return;
    }
    if (!LoginAutostart::Set(on, QCoreApplication::applicationFilePath())) {
        qWarning("Quorvane: the log-in entry %s could not be changed",
                 qPrintable(LoginAutostart::EntryPath()));
    }
    // The box shows what the file says, also when it could not be changed.
    FillScope scope(*this);
    m_startAtLogin->setChecked(LoginAutostart::IsOn());
}

void GeneralPage::PromptForMinutes(const QString& typed) {
    bool isNumber = false;
    typed.trimmed().toInt(&isNumber);
    const QString prompt =
        isNumber
            ? tr("Please enter an integer between %1 and %2.").arg(kMinCheckTime).arg(kMaxCheckTime)
            : tr("Please enter an integer.");
    Prompter().Open(prompt, MessageCaption(), IPrompter::Ok, IPrompter::Warning, {});
}

void GeneralPage::ReadControls() {
    m_values.hardwareOnly = Bit(m_hardware->isChecked());
    m_values.showIpv6 = Bit(m_ipv6->isChecked());
    m_values.askRouter = Bit(m_askRouter->isChecked());
    m_values.autoForward = Bit(m_autoForward->isChecked());
    m_values.notifyOnSend = Bit(m_notify->isChecked());
    m_values.hostResponse = Bit(m_hostResponse->isChecked());

    m_values.minutes = m_minutes->value();
    m_values.hideOnStartup = Bit(m_hide->isChecked());
    m_values.polling = Bit(m_polling->isChecked());
    m_values.method.reset();
    for (const MethodBox& m : m_methods) {
        if (m.box->isChecked()) {
            m_values.method = m.method;
        }
    }
}

void GeneralPage::Push() {
    if (IsFilling() || !m_pageFilled) {
        return;
    }
    ReadControls();
    PostTake();
}

void GeneralPage::ApplyPollingRule() {
    if (m_autoForward->isChecked()) {
        FillScope scope(*this);
        m_polling->setChecked(true);
    }
    const bool polling = m_polling->isChecked();
    m_minutes->setEnabled(polling);
}

// The method boxes act as one choice: clicking a box chooses its method. Clicking the chosen one
// swaps HTTP and FTP, as that pair always has; from any other method it goes back to HTTP.
void GeneralPage::OnMethodClicked(std::size_t index) {
    if (IsFilling()) {
        return;
    }
    {
        FillScope scope(*this);
        const std::size_t chosen = m_methods[index].box->isChecked() ? index
                                   : index < 2                       ? 1 - index
                                                                     : 0;
        for (std::size_t i = 0; i < m_methods.size(); ++i) {
            m_methods[i].box->setChecked(i == chosen);
        }
    }
    Push();
}

void GeneralPage::Fill(const SettingsRecord& settings, int hideOnStartup) {
    m_values.hideOnStartup = Bit(hideOnStartup != 0);
    m_values.hardwareOnly = Bit(settings.ShowHardwareOnly);
    m_values.showIpv6 = Bit(settings.ShowIPv6);
    m_values.askRouter = Bit(settings.AskRouter);
    m_values.polling = Bit(settings.CheckForChange);
    m_values.minutes = qBound(kMinCheckTime, settings.CheckTime, kMaxCheckTime);
    m_values.notifyOnSend = Bit(settings.NotifyOnSend);
    m_values.autoForward = Bit(settings.AutoForward);
    m_values.method = settings.Method;
    m_values.hostResponse = Bit(settings.ShowHostResponse);
    ShowValues();
    {
        FillScope scope(*this);
        ApplyPollingRule();
    }
    m_pageFilled = true;
}

void GeneralPage::Take(SettingsRecord& settings, int& hideOnStartup) const {
    hideOnStartup = m_values.hideOnStartup;
    settings.ShowHardwareOnly = m_values.hardwareOnly;
    settings.ShowIPv6 = m_values.showIpv6;
    settings.AskRouter = m_values.askRouter;
    settings.CheckForChange = m_values.polling;
    settings.CheckTime = m_values.minutes;
    settings.NotifyOnSend = m_values.notifyOnSend;
    settings.AutoForward = m_values.autoForward;
    settings.ShowHostResponse = m_values.hostResponse;
    if (m_values.method) {
        settings.Method = *m_values.method;
    }
}

}  // namespace qv
