#include "views/settings/HttpTargetPage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "resources/Ids.h"
#include "views/settings/PageWidgets.h"

namespace qv {
namespace {

QLabel* Label(const QString& text, QWidget* parent, Qt::Alignment align = Qt::AlignLeft) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(align | Qt::AlignVCenter);
    return label;
}

QLabel* Note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

HttpTargetPage::HttpTargetPage(IPaneLink& link, QWidget* parent)
    : SettingsPage(link, {Command::HttpTake, Command::HttpFill, Command::HttpHelp}, parent) {
    // Each pair row reads: enable box, tag, "=", value. Controls are made in reading order.
    auto* targetLabel = Label(QStringLiteral("Target URL and web page:"), this);
    m_targetUrl = Control(new QLineEdit(this), kTargetUrl);
    targetLabel->setBuddy(m_targetUrl);
    auto* echoLabel = Label(QStringLiteral("Echo page URL:"), this);
    m_echoPageUrl = Control(new QLineEdit(this), kEchoPageUrl);
    echoLabel->setBuddy(m_echoPageUrl);

    auto* addressLabel = Label(QStringLiteral("IP Address Tag (required):"), this);
    auto* question = Label(QStringLiteral("?"), this, Qt::AlignRight);
    m_addressTag = Control(new QLineEdit(this), kAddressTag);
    addressLabel->setBuddy(m_addressTag);
    auto* addressNote =
        Note(QStringLiteral("Actual IP Address is supplied by this application."), this);
    auto* syntaxNote = Note(
        QStringLiteral("Query strings use syntax: ?Tag1=data1&Tag2=data2 etc. and then appended to "
                       "the target URL. The control characters (?, &, =) are added automatically "
                       "except for the additional query string box."),
        this);

    auto* userIdTagLabel = Label(QStringLiteral("UserID Tag:"), this);
    auto* userIdLabel = Label(QStringLiteral("User ID:"), this);
    m_sendUserId = Control(new QCheckBox(QStringLiteral("&&"), this), kSendUserId);
    m_userIdTag = Control(new QLineEdit(this), kUserIdTag);
    m_userId = Control(new QLineEdit(this), kUserId);
    userIdTagLabel->setBuddy(m_userIdTag);
    userIdLabel->setBuddy(m_userId);

    auto* passwordTagLabel = Label(QStringLiteral("Password Tag:"), this);
    auto* passwordLabel = Label(QStringLiteral("Password:"), this);
    m_sendPassword = Control(new QCheckBox(QStringLiteral("&&"), this), kSendPassword);
    m_passwordTag = Control(new QLineEdit(this), kPasswordTag);
    m_password = Control(new QLineEdit(this), kPassword);
    m_revealPassword = MakeRevealBox(m_password, this);
    passwordTagLabel->setBuddy(m_passwordTag);
    passwordLabel->setBuddy(m_password);

    auto* startPageTagLabel = Label(QStringLiteral("Start Page Tag:"), this);
    auto* startPageLabel = Label(QStringLiteral("Start Page:"), this);
    m_sendStartPage = Control(new QCheckBox(QStringLiteral("&&"), this), kSendStartPage);
    m_startPageTag = Control(new QLineEdit(this), kStartPageTag);
    m_startPage = Control(new QLineEdit(this), kStartPage);
    startPageTagLabel->setBuddy(m_startPageTag);
    startPageLabel->setBuddy(m_startPage);

    m_sendNow = Control(new QPushButton(QStringLiteral("Send Data to URL"), this), kSendNow);

    auto* additionalLabel =
        Label(QStringLiteral("Additional QueryString(s) (fully qualified with (&) and (=):"), this);
    m_sendAdditional = Control(new QCheckBox(this), kSendAdditional);
    m_additional = Control(new QLineEdit(this), kAdditional);
    m_notifyOffLine =
        Control(new QPushButton(QStringLiteral("Notify Off-Line"), this), kNotifyOffLine);
    // Sent only when an IPv6 row is ticked beside the IPv4 one.
    auto* ipv6Label = Label(QStringLiteral("IPv6 Address Tag:"), this);
    m_ipv6AddressTag = Control(new QLineEdit(this), kIpv6AddressTag);
    ipv6Label->setBuddy(m_ipv6AddressTag);

    auto equals = [this] { return Label(QStringLiteral("="), this, Qt::AlignHCenter); };

    // Columns: 0 enable box, 1 tag, 2 "=", 3 value, 4 notes and buttons.
    // The syntax note wraps in a column about as wide as the buttons below it, and never so
    // narrow that it pushes the rows beside it apart.
    syntaxNote->setMinimumWidth(
        qMax(m_sendNow->sizeHint().width(), 26 * fontMetrics().averageCharWidth()));
    addressNote->setMinimumWidth(m_sendNow->sizeHint().width());

    auto* grid = new QGridLayout(this);
    const int margin = PageMargin();
    grid->setContentsMargins(margin, margin, margin, margin);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    // The echo page's URL stands beside the target's, its label above it.
    grid->addWidget(targetLabel, 0, 0, 1, 4);
    grid->addWidget(echoLabel, 0, 4);
    grid->addWidget(m_targetUrl, 1, 1, 1, 3);
    grid->addWidget(m_echoPageUrl, 1, 4);
    grid->addWidget(addressLabel, 2, 0, 1, 3);
    grid->addWidget(question, 3, 0);
    grid->addWidget(m_addressTag, 3, 1);
    grid->addWidget(addressNote, 2, 3, 2, 1, Qt::AlignVCenter);
    grid->addWidget(syntaxNote, 2, 4, 7, 1, Qt::AlignTop);

    struct PairRow {
        QLabel* tagLabel;
        QLabel* valueLabel;
        QCheckBox* box;
        QLineEdit* tag;
        QWidget* value;
    };
    auto* passwordBox = new QWidget(this);
    auto* passwordRow = new QHBoxLayout(passwordBox);
    passwordRow->setContentsMargins(0, 0, 0, 0);
    passwordRow->setSpacing(4);
    passwordRow->addWidget(m_password, 1);
    passwordRow->addWidget(m_revealPassword);

    const PairRow rows[] = {
        {userIdTagLabel, userIdLabel, m_sendUserId, m_userIdTag, m_userId},
        {passwordTagLabel, passwordLabel, m_sendPassword, m_passwordTag, passwordBox},
        {startPageTagLabel, startPageLabel, m_sendStartPage, m_startPageTag, m_startPage},
    };
    int row = 4;
    for (const PairRow& r : rows) {
        grid->addWidget(r.tagLabel, row, 0, 1, 2);
        grid->addWidget(r.valueLabel, row, 3);
        grid->addWidget(r.box, row + 1, 0);
        grid->addWidget(r.tag, row + 1, 1);
        grid->addWidget(equals(), row + 1, 2);
        grid->addWidget(r.value, row + 1, 3);
        row += 2;
    }
    grid->addWidget(m_sendNow, 9, 4, Qt::AlignBottom);
    grid->addWidget(additionalLabel, 10, 0, 1, 5);
    grid->addWidget(m_sendAdditional, 11, 0);
    grid->addWidget(m_additional, 11, 1, 1, 3);
    grid->addWidget(m_notifyOffLine, 11, 4);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(3, 4);
    grid->setColumnStretch(4, 3);
    grid->addWidget(ipv6Label, 12, 0, 1, 3);
    grid->addWidget(m_ipv6AddressTag, 12, 3);
    grid->setRowStretch(13, 1);

    for (QLineEdit* edit :
         {m_targetUrl, m_addressTag, m_ipv6AddressTag, m_userIdTag, m_userId, m_passwordTag,
          m_password, m_startPageTag, m_startPage, m_additional, m_echoPageUrl}) {
        connect(edit, &QLineEdit::textChanged, this, &HttpTargetPage::Push);
    }
    for (QCheckBox* box : {m_sendUserId, m_sendPassword, m_sendStartPage, m_sendAdditional}) {
        connect(box, &QCheckBox::clicked, this, [this] {
            ApplyEnableRule();
            Push();
        });
    }
    connect(m_sendNow, &QPushButton::clicked, this, [this] { Post(Command::SendHttp); });
    connect(m_notifyOffLine, &QPushButton::clicked, this, [this] { Post(Command::HttpOffLine); });

    ShowValues();
    ApplyEnableRule();
}

void HttpTargetPage::ShowValues() {
    FillScope scope(*this);
    m_targetUrl->setText(m_values.targetUrl);
    m_sendUserId->setChecked(m_values.sendUserId);
    m_sendPassword->setChecked(m_values.sendPassword);
    m_sendStartPage->setChecked(m_values.sendStartPage);
    m_sendAdditional->setChecked(m_values.sendAdditional);
    m_addressTag->setText(m_values.addressTag);
    m_ipv6AddressTag->setText(m_values.ipv6AddressTag);
    m_userId->setText(m_values.userId);
    m_userIdTag->setText(m_values.userIdTag);
    m_password->setText(m_values.password);
    m_passwordTag->setText(m_values.passwordTag);
    m_startPage->setText(m_values.startPage);
    m_startPageTag->setText(m_values.startPageTag);
    m_additional->setText(m_values.additional);
    m_echoPageUrl->setText(m_values.echoPageUrl);
}

void HttpTargetPage::ReadControls() {
    m_values.targetUrl = m_targetUrl->text();
    m_values.sendUserId = m_sendUserId->isChecked() ? 1 : 0;
    m_values.sendPassword = m_sendPassword->isChecked() ? 1 : 0;
    m_values.sendStartPage = m_sendStartPage->isChecked() ? 1 : 0;
    m_values.sendAdditional = m_sendAdditional->isChecked() ? 1 : 0;
    m_values.addressTag = m_addressTag->text();
    m_values.ipv6AddressTag = m_ipv6AddressTag->text();
    m_values.userId = m_userId->text();
    m_values.userIdTag = m_userIdTag->text();
    m_values.password = m_password->text();
    m_values.passwordTag = m_passwordTag->text();
    m_values.startPage = m_startPage->text();
    m_values.startPageTag = m_startPageTag->text();
    m_values.additional = m_additional->text();
    m_values.echoPageUrl = m_echoPageUrl->text();
}

void HttpTargetPage::Push() {
    if (IsFilling()) {
        return;
    }
    ReadControls();
    PostTake();
}

void HttpTargetPage::ApplyEnableRule() {
    const bool userId = m_sendUserId->isChecked();
    m_userIdTag->setEnabled(userId);
    m_userId->setEnabled(userId);
    const bool password = m_sendPassword->isChecked();
    m_passwordTag->setEnabled(password);
    m_password->setEnabled(password);
    m_revealPassword->setEnabled(password);
    const bool startPage = m_sendStartPage->isChecked();
    m_startPageTag->setEnabled(startPage);
    m_startPage->setEnabled(startPage);
    m_additional->setEnabled(m_sendAdditional->isChecked());
}

void HttpTargetPage::OnKillActive() {
    // A password shown for a moment is masked again when the user leaves the tab.
    m_revealPassword->setChecked(false);
}

void HttpTargetPage::Fill(const SettingsRecord& s) {
    m_values.targetUrl = s.HTTPTargetURL;
    m_values.addressTag = s.IPAddressQueryStringTag;
    m_values.ipv6AddressTag = s.IPv6AddressQueryStringTag;
    m_values.sendUserId = s.SendUserID ? 1 : 0;
    m_values.sendPassword = s.SendPassword ? 1 : 0;
    m_values.sendStartPage = s.SendStartPage ? 1 : 0;
    m_values.userIdTag = s.UserIDQueryStringTag;
    m_values.passwordTag = s.PasswordQueryStringTag;
    m_values.startPageTag = s.StartPageQueryStringTag;
    m_values.userId = s.UserIDQueryString;
    m_values.password = s.PasswordQueryString;
    m_values.startPage = s.StartPageQueryString;
    m_values.sendAdditional = s.SendAdditional ? 1 : 0;
    m_values.additional = s.AdditionalQueryString;
    m_values.echoPageUrl = s.EchoPageURL;
    ShowValues();
    ApplyEnableRule();
}

void HttpTargetPage::Take(SettingsRecord& s) const {
    s.HTTPTargetURL = m_values.targetUrl;
    s.IPAddressQueryStringTag = m_values.addressTag;
    s.IPv6AddressQueryStringTag = m_values.ipv6AddressTag;
    s.SendUserID = m_values.sendUserId;
    s.SendPassword = m_values.sendPassword;
    s.SendStartPage = m_values.sendStartPage;
    s.UserIDQueryStringTag = m_values.userIdTag;
    s.PasswordQueryStringTag = m_values.passwordTag;
    s.StartPageQueryStringTag = m_values.startPageTag;
    s.UserIDQueryString = m_values.userId;
    s.PasswordQueryString = m_values.password;
    s.StartPageQueryString = m_values.startPage;
    s.SendAdditional = m_values.sendAdditional;
    s.AdditionalQueryString = m_values.additional;
    s.EchoPageURL = m_values.echoPageUrl;
}

}  // namespace qv
