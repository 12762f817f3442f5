#include "views/settings/DnsTargetPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "resources/Ids.h"
#include "views/settings/PageWidgets.h"

namespace qv {
namespace {

constexpr int kMaxPort = 65535;
constexpr int kMaxTtlSeconds = 7 * 24 * 3600;
const char* const kAlgorithms[] = {"hmac-sha256", "hmac-sha512", "hmac-sha1"};

}  // namespace

DnsTargetPage::DnsTargetPage(IPaneLink& link, QWidget* parent)
    : SettingsPage(link, {Command::DnsTake, Command::DnsFill, Command::DnsHelp}, parent) {
    // Controls are made in reading order, which is also the keyboard order.
    m_server = Control(new QLineEdit(this), kServer);
    m_port = Control(new QSpinBox(this), kPort);
    m_port->setRange(1, kMaxPort);
    m_zone = Control(new QLineEdit(this), kZone);
    m_zone->setPlaceholderText(QStringLiteral("found from the name's SOA record"));
    m_recordName = Control(new QLineEdit(this), kRecordName);
    m_ttl = Control(new QSpinBox(this), kTtl);
    m_ttl->setRange(0, kMaxTtlSeconds);
    m_ttl->setSuffix(QStringLiteral(" s"));
    m_keyName = Control(new QLineEdit(this), kKeyName);
    m_algorithm = Control(new QComboBox(this), kAlgorithm);
    for (const char* algorithm : kAlgorithms) {
        m_algorithm->addItem(QLatin1String(algorithm));
    }
    m_secret = Control(new QLineEdit(this), kSecret);
    m_revealSecret = MakeRevealBox(m_secret, this);
    m_offLineAddress = Control(new QLineEdit(this), kOffLineAddress);
    m_offLineAddress->setPlaceholderText(QStringLiteral("none: the record is deleted"));
    auto* sendNow = Control(new QPushButton(QStringLiteral("Send Now"), this), kSendNow);
    auto* notifyOffLine =
        Control(new QPushButton(QStringLiteral("Notify Off-line"), this), kNotifyOffLine);

    auto* serverRow = new QHBoxLayout;
    serverRow->addWidget(m_server, 1);
    serverRow->addWidget(new QLabel(QStringLiteral("Port:"), this));
    serverRow->addWidget(m_port);
    auto* recordRow = new QHBoxLayout;
    recordRow->addWidget(m_recordName, 1);
    recordRow->addWidget(new QLabel(QStringLiteral("Time to live:"), this));
    recordRow->addWidget(m_ttl);
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(m_keyName, 1);
    keyRow->addWidget(m_algorithm);
    auto* secretRow = new QHBoxLayout;
    secretRow->addWidget(m_secret, 1);
    secretRow->addWidget(m_revealSecret);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(sendNow);
    buttons->addWidget(notifyOffLine);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("DNS server:"), serverRow);
    form->addRow(QStringLiteral("Zone:"), m_zone);
    form->addRow(QStringLiteral("Record name:"), recordRow);
    form->addRow(QStringLiteral("TSIG key and algorithm:"), keyRow);
    form->addRow(QStringLiteral("Secret (base64):"), secretRow);
    form->addRow(QStringLiteral("Off-line address:"), m_offLineAddress);

    auto* page = new QVBoxLayout(this);
    const int margin = PageMargin();
    page->setContentsMargins(margin, margin, margin, margin);
    page->addLayout(form);
    page->addLayout(buttons);
    page->addStretch(1);

    for (QLineEdit* edit :
         {m_server, m_zone, m_recordName, m_keyName, m_secret, m_offLineAddress}) {
        connect(edit, &QLineEdit::textChanged, this, &DnsTargetPage::Push);
    }
    for (QSpinBox* box : {m_port, m_ttl}) {
        connect(box, &QSpinBox::valueChanged, this, &DnsTargetPage::Push);
    }
    connect(m_algorithm, &QComboBox::currentIndexChanged, this, &DnsTargetPage::Push);
    connect(sendNow, &QPushButton::clicked, this, [this] { Post(Command::SendDns); });
    connect(notifyOffLine, &QPushButton::clicked, this, [this] { Post(Command::DnsOffLine); });
    Fill(SettingsRecord{});
}

void DnsTargetPage::Push() {
    if (!IsFilling()) {
        PostTake();
    }
}

void DnsTargetPage::OnKillActive() {
    m_revealSecret->setChecked(false);
}

void DnsTargetPage::Fill(const SettingsRecord& s) {
    FillScope scope(*this);
    m_server->setText(s.DNSServer);
    m_port->setValue(s.DNSPort);
    m_zone->setText(s.DNSZone);
    m_recordName->setText(s.DNSRecordName);
    m_ttl->setValue(s.DNSTTL);
    m_keyName->setText(s.DNSKeyName);
    // A stored algorithm the list does not offer is kept as it is.
    if (m_algorithm->findText(s.DNSKeyAlgorithm) < 0) {
        m_algorithm->addItem(s.DNSKeyAlgorithm);
    }
    m_algorithm->setCurrentText(s.DNSKeyAlgorithm);
    m_secret->setText(s.DNSKeySecret);
    m_offLineAddress->setText(s.DNSOffLineAddress);
}

void DnsTargetPage::Take(SettingsRecord& s) const {
    s.DNSServer = m_server->text();
    s.DNSPort = m_port->value();
    s.DNSZone = m_zone->text();
    s.DNSRecordName = m_recordName->text();
    s.DNSTTL = m_ttl->value();
    s.DNSKeyName = m_keyName->text();
    s.DNSKeyAlgorithm = m_algorithm->currentText();
    s.DNSKeySecret = m_secret->text();
    s.DNSOffLineAddress = m_offLineAddress->text();
}

}  // namespace qv
