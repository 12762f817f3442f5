#include "views/OutputDataDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "forwarding/LongLines.h"
#include "platform/Clock.h"
#include "resources/StringTable.h"
#include "settings/SettingsRecord.h"

namespace qv {
namespace {

const char* const kAutoCloseKey = "Settings/OutputAutoClose";

}  // namespace

OutputDataDialog::OutputDataDialog(QWidget* owner, const QString& caption, QSettings* settings)
    : QDialog(owner), m_caption(caption), m_settings(settings) {
    if (!m_settings) {
        m_ownSettings = OpenSettings();
        m_settings = m_ownSettings.get();
    }
    setWindowTitle(QStringLiteral("Output Data"));
    setModal(true);

    // The check box and OK on top, the label and the read-only box below.
    m_autoCloseBox = new QCheckBox(QStringLiteral("Close automatically after 10 seconds."), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    auto* label = new QLabel(QStringLiteral("Output Data:"), this);
    m_output = new QPlainTextEdit(this);
    m_output->setReadOnly(true);
    m_output->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_autoCloseBox, 0, 0);
    layout->addWidget(ok, 0, 1, Qt::AlignRight);
    layout->addWidget(label, 1, 0, 1, 2);
    layout->addWidget(m_output, 2, 0, 1, 2);
    layout->setRowStretch(2, 1);
    resize(404, 363);

    setTabOrder(ok, m_output);
    setTabOrder(m_output, m_autoCloseBox);
    connect(ok, &QPushButton::clicked, this, &OutputDataDialog::accept);
    connect(m_autoCloseBox, &QCheckBox::clicked, this, &OutputDataDialog::OnAutoCloseClicked);
}

OutputDataDialog::~OutputDataDialog() = default;

void OutputDataDialog::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void OutputDataDialog::OnInitDialog() {
    // A value that is not a number counts as the default, like a missing one.
    bool ok = false;
    const int stored = m_settings->value(QLatin1String(kAutoCloseKey), 1).toInt(&ok);
    m_autoClose = !ok || stored != 0 ? 1 : 0;
    // The box breaks lines at the program's CR CR LF.
    QString shown = m_outputText;
    shown.replace(QLatin1String(kBreak), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_output->setPlainText(BreakLongLines(shown));
    m_autoCloseBox->setChecked(m_autoClose != 0);
    if (!m_caption.isEmpty()) {
        setWindowTitle(m_caption);
    }
    if (m_autoClose) {
        m_closeTimer.start(m_periodMs, this);
    }
}

void OutputDataDialog::OnAutoCloseClicked() {
    m_autoClose = m_autoCloseBox->isChecked() ? 1 : 0;
    m_closeTimer.stop();
    if (m_autoClose) {
        m_closeTimer.start(m_periodMs, this);  // a full period from the tick
    }
}

void OutputDataDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_closeTimer.timerId()) {
        m_closeTimer.stop();
        // As if OK had been pressed, once the current event has been handled.
        QMetaObject::invokeMethod(this, &OutputDataDialog::accept, Qt::QueuedConnection);
        return;
    }
    QDialog::timerEvent(event);
}

void OutputDataDialog::accept() {
    m_closeTimer.stop();
    m_autoClose = m_autoCloseBox->isChecked() ? 1 : 0;
    if (m_ownSettings == nullptr || SettingsFileWritableNow()) {
        m_settings->setValue(QLatin1String(kAutoCloseKey), m_autoClose);
        m_settings->sync();
    }
    QDialog::accept();
}

OutputDataDialog* ShowOutputData(QWidget* owner, const QString& caption, const QString& text,
                                 QSettings* settings) {
    auto* dialog = new OutputDataDialog(owner, caption, settings);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->m_outputText = text;
    dialog->open();
    return dialog;
}

QDialog* AskForCredentials(QWidget* owner, const QString& server, const QString& realm,
                           UserQuestions::CredentialsAnswer answer) {
    auto* dialog = new QDialog(owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(LoadString(Text::AppTitle));
    auto* layout = new QVBoxLayout(dialog);
    QString prompt = QStringLiteral("The server %1 asks for a user name and password.").arg(server);
    if (!realm.isEmpty()) {
        prompt += QStringLiteral("\nRealm: %1").arg(realm);
    }
    layout->addWidget(new QLabel(prompt, dialog));
    auto* form = new QFormLayout;
    auto* user = new QLineEdit(dialog);
    auto* password = new QLineEdit(dialog);
    password->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("&User name:"), user);
    form->addRow(QStringLiteral("&Password:"), password);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(dialog, &QDialog::finished, dialog, [=](int result) {
        answer(result == QDialog::Accepted
                   ? std::optional<Credentials>(Credentials{user->text(), password->text()})
                   : std::nullopt);
    });
    dialog->open();
    return dialog;
}

}  // namespace qv
