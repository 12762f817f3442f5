#include "views/settings/FtpTargetPage.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "resources/Ids.h"
#include "views/settings/PageWidgets.h"
#include "views/settings/SettingsFileDialog.h"

#include <QPointer>

namespace qv {
namespace {

QLabel* Label(const QString& text, QWidget* parent, Qt::Alignment align = Qt::AlignLeft) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(align | Qt::AlignVCenter);
    return label;
}

}  // namespace

FtpTargetPage::FtpTargetPage(IPaneLink& link, QWidget* parent)
    : SettingsPage(link, {Command::FtpTake, Command::FtpFill, Command::FtpHelp}, parent) {
    // Controls are made in reading order, which is also the keyboard order.
    auto* documentLabel = Label(QStringLiteral("Using document -->"), this, Qt::AlignRight);
    m_webPage = Control(new QLineEdit(this), kWebPage);
    documentLabel->setBuddy(m_webPage);
    m_browse = Control(new QPushButton(QStringLiteral("Browse"), this), kBrowse);

    auto* replaceLabel = Label(QStringLiteral("replace -->"), this, Qt::AlignRight);
    m_replacement = Control(new QLineEdit(this), kReplacement);
    replaceLabel->setBuddy(m_replacement);
    auto* withLabel = Label(QStringLiteral("with IP Address and start page -->"), this);
    m_startPage = Control(new QLineEdit(this), kStartPage);
    withLabel->setBuddy(m_startPage);
    auto* replace6Label = Label(QStringLiteral("replace -->"), this, Qt::AlignRight);
    m_replacement6 = Control(new QLineEdit(this), kReplacement6);
    replace6Label->setBuddy(m_replacement6);
    auto* with6Label =
        Label(QStringLiteral("with the IPv6 address ticked beside the IPv4 one"), this);

    // "When going off-line, delete [x] the page OR substitute ... URL:" reads as one sentence.
    auto* offLineLabel = Label(QStringLiteral("When going off-line, delete"), this);
    offLineLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_offLineDelete = Control(
        new WrapCheckBox(
            QStringLiteral("the page OR substitute the replacement string with this URL:"), this),
        kOffLineDelete);
    m_offLineDomain = Control(new QLineEdit(this), kOffLineDomain);

    auto* targetLabel = Label(QStringLiteral("Target Web and directory:"), this);
    m_targetUrl = Control(new QLineEdit(this), kTargetUrl);
    targetLabel->setBuddy(m_targetUrl);
    // An "ftps://" target speaks TLS from the start; this box asks for it on "ftp://" too.
    m_requireEncryption =
        Control(new QCheckBox(QStringLiteral("Require encryption (explicit TLS)"), this),
                kRequireEncryption);

    auto* userLabel = Label(QStringLiteral("User ID:"), this, Qt::AlignRight);
    m_userId = Control(new QLineEdit(this), kUserId);
    userLabel->setBuddy(m_userId);
    auto* passwordLabel = Label(QStringLiteral("Password:"), this, Qt::AlignRight);
    m_password = Control(new QLineEdit(this), kPassword);
    passwordLabel->setBuddy(m_password);
    m_revealPassword = MakeRevealBox(m_password, this);
    auto* loginNote = new QLabel(
        QStringLiteral("User ID and password are necessary for some ftp web sites."), this);
    loginNote->setWordWrap(true);
    loginNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_sendNow = Control(new QPushButton(QStringLiteral("Send Web File to URL"), this), kSendNow);
    m_notifyOffLine =
        Control(new QPushButton(QStringLiteral("Notify Off-line"), this), kNotifyOffLine);

    const int indent = 2 * fontMetrics().averageCharWidth();

    auto* documentRow = new QHBoxLayout;
    documentRow->addWidget(documentLabel);
    documentRow->addWidget(m_webPage, 1);
    documentRow->addWidget(m_browse);

    auto* replaceRow = new QHBoxLayout;
    replaceRow->addWidget(replaceLabel);
    replaceRow->addWidget(m_replacement, 4);
    replaceRow->addWidget(withLabel);
    replaceRow->addWidget(m_startPage, 3);

    auto* replace6Row = new QHBoxLayout;
    replace6Row->addWidget(replace6Label);
    replace6Row->addWidget(m_replacement6, 4);
    replace6Row->addWidget(with6Label, 3);

    auto* offLineRow = new QHBoxLayout;
    offLineRow->addWidget(offLineLabel);
    offLineRow->addWidget(m_offLineDelete, 1);

    auto* domainRow = new QHBoxLayout;
    domainRow->addSpacing(offLineLabel->sizeHint().width() / 2);
    domainRow->addWidget(m_offLineDomain, 1);

    auto* targetRow = new QHBoxLayout;
    targetRow->addSpacing(indent);
    targetRow->addWidget(m_targetUrl, 1);
    targetRow->addWidget(m_requireEncryption);

    auto* loginGrid = new QGridLayout;
    loginGrid->setVerticalSpacing(4);
    loginGrid->addWidget(userLabel, 0, 0);
    loginGrid->addWidget(m_userId, 0, 1, 1, 2);
    loginGrid->addWidget(passwordLabel, 1, 0);
    loginGrid->addWidget(m_password, 1, 1);
    loginGrid->addWidget(m_revealPassword, 1, 2);
    loginGrid->addWidget(loginNote, 0, 3, 2, 1);
    loginGrid->addWidget(m_sendNow, 0, 4);
    loginGrid->addWidget(m_notifyOffLine, 1, 4);
    loginGrid->setColumnStretch(1, 3);
    loginGrid->setColumnStretch(3, 2);

    auto* page = new QVBoxLayout(this);
    const int margin = PageMargin();
    page->setContentsMargins(margin, margin, margin, margin);
    page->setSpacing(margin / 2);
    page->addLayout(documentRow);
    page->addLayout(replaceRow);
    page->addLayout(replace6Row);
    page->addSpacing(4);
    page->addLayout(offLineRow);
    page->addLayout(domainRow);
    page->addWidget(targetLabel);
    page->addLayout(targetRow);
    page->addSpacing(4);
    page->addLayout(loginGrid);
    page->addStretch(1);

    // The page path is taken when its box loses focus (eventFilter), not on every keystroke.
    for (QLineEdit* edit : {m_replacement, m_replacement6, m_offLineDomain, m_userId, m_password,
                            m_targetUrl, m_startPage}) {
        connect(edit, &QLineEdit::textChanged, this, &FtpTargetPage::Push);
    }
    connect(m_requireEncryption, &QCheckBox::clicked, this, &FtpTargetPage::Push);
    connect(m_offLineDelete, &QCheckBox::clicked, this, [this] {
        ApplyEnableRule();
        Push();
    });
    connect(m_browse, &QPushButton::clicked, this, &FtpTargetPage::Browse);
    connect(m_sendNow, &QPushButton::clicked, this, [this] { Post(Command::SendFtp); });
    connect(m_notifyOffLine, &QPushButton::clicked, this, [this] { Post(Command::FtpOffLine); });

    ShowValues();
    ApplyEnableRule();
}

bool FtpTargetPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_webPage && event->type() == QEvent::FocusOut) {
        Push();
    }
    return SettingsPage::eventFilter(watched, event);
}

void FtpTargetPage::ShowValues() {
    FillScope scope(*this);
    m_targetUrl->setText(m_values.targetUrl);
    m_userId->setText(m_values.userId);
    m_password->setText(m_values.password);
    m_replacement->setText(m_values.replacement);
    m_replacement6->setText(m_values.replacement6);
    m_webPage->setText(m_values.webPage);
    m_offLineDomain->setText(m_values.offLineDomain);
    m_startPage->setText(m_values.startPage);
    m_offLineDelete->setChecked(m_values.offLineDelete);
    m_requireEncryption->setChecked(m_values.requireEncryption);
}

void FtpTargetPage::ReadControls() {
    m_values.targetUrl = m_targetUrl->text();
    m_values.userId = m_userId->text();
    m_values.password = m_password->text();
    m_values.replacement = m_replacement->text();
    m_values.replacement6 = m_replacement6->text();
    m_values.webPage = m_webPage->text();
    m_values.offLineDomain = m_offLineDomain->text();
    m_values.startPage = m_startPage->text();
    m_values.offLineDelete = m_offLineDelete->isChecked() ? 1 : 0;
    m_values.requireEncryption = m_requireEncryption->isChecked() ? 1 : 0;
}

void FtpTargetPage::Push() {
    if (IsFilling()) {
        return;
    }
    ReadControls();
    PostTake();
}

void FtpTargetPage::ApplyEnableRule() {
    m_offLineDomain->setEnabled(!m_offLineDelete->isChecked());
}

void FtpTargetPage::Browse() {
    // The copies are refreshed into the controls below: make sure they hold what is shown.
    ReadControls();
    FileDialogRequest request;
    request.initialPath = m_values.webPage;
    request.filters = {
        {QStringLiteral("HTML Files"), {QStringLiteral("*.htm"), QStringLiteral("*.html")}},
        {QStringLiteral("ASP Files"), {QStringLiteral("*.asp")}},
        {QStringLiteral("All Files"), {QStringLiteral("*")}},
    };
    const QPointer<QWidget> self(this);
    FileDialogs().OpenFileName(this, request, [this, self](const QString& chosen) {
        if (self) {
            m_values.webPage = chosen;
            ShowValues();
            Push();
        }
    });
}

void FtpTargetPage::OnKillActive() {
    m_revealPassword->setChecked(false);
}

void FtpTargetPage::Fill(const SettingsRecord& s) {
    m_values.webPage = s.FTPForwardWebPage;
    m_values.replacement = s.FTPReplacementString;
    m_values.replacement6 = s.FTPReplacementString6;
    m_values.startPage = s.FTPStartPage;
    m_values.targetUrl = s.FTPTargetURL;
    m_values.userId = s.FTPUserID;
    m_values.password = s.FTPPassword;
    m_values.offLineDelete = s.FTPOffLineDelete ? 1 : 0;
    m_values.offLineDomain = s.OffLineDomain;
    m_values.requireEncryption = s.FTPRequireEncryption ? 1 : 0;
    ShowValues();
    ApplyEnableRule();
}

void FtpTargetPage::Take(SettingsRecord& s) const {
    s.FTPForwardWebPage = m_values.webPage;
    s.FTPReplacementString = m_values.replacement;
    s.FTPReplacementString6 = m_values.replacement6;
    s.FTPStartPage = m_values.startPage;
    s.FTPTargetURL = m_values.targetUrl;
    s.FTPUserID = m_values.userId;
    s.FTPPassword = m_values.password;
    s.FTPOffLineDelete = m_values.offLineDelete;
    s.OffLineDomain = m_values.offLineDomain;
    s.FTPRequireEncryption = m_values.requireEncryption;
}

}  // namespace qv
