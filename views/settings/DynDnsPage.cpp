#include "views/settings/DynDnsPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "resources/Ids.h"
#include "views/settings/PageWidgets.h"

namespace qv {

DynDnsPage::DynDnsPage(IPaneLink& link, QWidget* parent)
    : SettingsPage(link, {Command::DynDnsTake, Command::DynDnsFill, Command::DynDnsHelp}, parent) {
    m_updateUrl = Control(new QLineEdit(this), kUpdateUrl);
    m_updateUrl->setPlaceholderText(QStringLiteral("https://<provider>/nic/update"));
    m_hosts = Control(new QLineEdit(this), kHosts);
    m_user = Control(new QLineEdit(this), kUser);
    m_password = Control(new QLineEdit(this), kPassword);
    m_revealPassword = MakeRevealBox(m_password, this);
    m_sendNow = Control(new QPushButton(QStringLiteral("Send Now"), this), kSendNow);
    auto* note = new QLabel(
        QStringLiteral("The service's update URL is usually https://<provider>/nic/update. Host "
                       "names are separated by commas. The service is sent an address only "
                       "when it changes."),
        this);
    note->setWordWrap(true);

    auto* passwordRow = new QHBoxLayout;
    passwordRow->setSpacing(4);
    passwordRow->addWidget(m_password, 1);
    passwordRow->addWidget(m_revealPassword);
    auto* form = new QFormLayout(this);
    const int margin = PageMargin();
    form->setContentsMargins(margin, margin, margin, margin);
    form->addRow(QStringLiteral("Update URL:"), m_updateUrl);
    form->addRow(QStringLiteral("Host names:"), m_hosts);
    form->addRow(QStringLiteral("User:"), m_user);
    form->addRow(QStringLiteral("Password:"), passwordRow);
    form->addRow(note);
    form->addRow(m_sendNow);

    for (QLineEdit* edit : {m_updateUrl, m_hosts, m_user, m_password}) {
        connect(edit, &QLineEdit::textChanged, this, &DynDnsPage::Push);
    }
    connect(m_sendNow, &QPushButton::clicked, this, [this] { Post(Command::SendDynDns); });
}

void DynDnsPage::Push() {
    if (IsFilling()) {
        return;
    }
    m_values = {m_updateUrl->text(), m_hosts->text(), m_user->text(), m_password->text()};
    PostTake();
}

void DynDnsPage::OnKillActive() {
    m_revealPassword->setChecked(false);
}

void DynDnsPage::Fill(const SettingsRecord& s) {
    FillScope scope(*this);
    m_values = {s.DynDnsURL, s.DynDnsHosts, s.DynDnsUser, s.DynDnsPassword};
    m_updateUrl->setText(s.DynDnsURL);
    m_hosts->setText(s.DynDnsHosts);
    m_user->setText(s.DynDnsUser);
    m_password->setText(s.DynDnsPassword);
}

void DynDnsPage::Take(SettingsRecord& s) const {
    s.DynDnsURL = m_values.updateUrl;
    s.DynDnsHosts = m_values.hosts;
    s.DynDnsUser = m_values.user;
    s.DynDnsPassword = m_values.password;
}

}  // namespace qv
