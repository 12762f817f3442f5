#include "views/settings/LoggingPage.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/FileError.h"
#include "platform/Prompter.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "settings/LogFileView.h"
#include "views/settings/PageWidgets.h"
#include "views/settings/SettingsFileDialog.h"

#include <QPointer>

namespace qv {
namespace {

void Tell(const QString& text) {
    Prompter().Open(text, MessageCaption(), IPrompter::Ok, IPrompter::NoIcon, {});
}

}  // namespace

LoggingPage::LoggingPage(IPaneLink& link, QWidget* parent)
    : SettingsPage(link, {Command::LogTake, Command::LogFill, Command::LogHelp}, parent) {
    // Controls are made in reading order, which is also the keyboard order.
    m_loggingEnabled = Control(
        new WrapCheckBox(QStringLiteral("Enable IP Address Logging to the following file"), this),
        kLoggingEnabled);
    m_notifyLogBig =
        Control(new WrapCheckBox(QStringLiteral("Notify when log file gets big. (1MB)"), this),
                kNotifyLogBig);
    m_logFile = Control(new QLineEdit(this), kLogFile);
    m_browse = Control(new QPushButton(QStringLiteral("Browse"), this), kBrowse);
    m_viewer = Control(new QPlainTextEdit(this), kViewer);
    m_viewer->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_viewer->setTabChangesFocus(true);
    auto* limitNote = new QLabel(QStringLiteral("Max viewable log file size is 64 KB."), this);
    limitNote->setWordWrap(true);
    m_view = Control(new QPushButton(QStringLiteral("View File Data"), this), kView);
    m_empty = Control(new QPushButton(QStringLiteral("Empty File"), this), kEmpty);

    auto* boxes = new QHBoxLayout;
    boxes->addWidget(m_loggingEnabled, 4);
    boxes->addWidget(m_notifyLogBig, 3);

    auto* fileRow = new QHBoxLayout;
    fileRow->addSpacing(2 * fontMetrics().averageCharWidth());
    fileRow->addWidget(m_logFile, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_browse);
    buttons->addStretch(1);
    buttons->addWidget(limitNote);
    buttons->addWidget(m_view);
    buttons->addWidget(m_empty);
    buttons->addStretch(1);

    auto* viewerRow = new QHBoxLayout;
    viewerRow->addWidget(m_viewer, 1);
    viewerRow->addLayout(buttons);

    auto* page = new QVBoxLayout(this);
    const int margin = PageMargin();
    page->setContentsMargins(margin, margin, margin, margin);
    page->setSpacing(margin / 2);
    page->addLayout(boxes);
    page->addLayout(fileRow);
    page->addLayout(viewerRow, 1);

    // The note wraps within the width of the buttons below it.
    const int buttonWidth = qMax(m_view->sizeHint().width(), m_empty->sizeHint().width());
    limitNote->setMaximumWidth(
        qMax(buttonWidth, fontMetrics().horizontalAdvance(QStringLiteral("Max viewable log "))));

    connect(m_loggingEnabled, &QCheckBox::clicked, this, [this] {
        ApplyEnableRule();
        Push();
    });
    connect(m_notifyLogBig, &QCheckBox::clicked, this, &LoggingPage::Push);
    connect(m_browse, &QPushButton::clicked, this, &LoggingPage::Browse);
    connect(m_view, &QPushButton::clicked, this, &LoggingPage::ViewFile);
    connect(m_empty, &QPushButton::clicked, this, &LoggingPage::EmptyFile);

    ShowValues();
    ApplyEnableRule();
}

bool LoggingPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_logFile && event->type() == QEvent::FocusOut) {
        Push();
    }
    return SettingsPage::eventFilter(watched, event);
}

void LoggingPage::ShowValues() {
    FillScope scope(*this);
    m_loggingEnabled->setChecked(m_values.loggingEnabled);
    m_logFile->setText(m_values.logFile);
    m_notifyLogBig->setChecked(m_values.notifyLogBig);
}

void LoggingPage::ReadControls() {
    m_values.loggingEnabled = m_loggingEnabled->isChecked() ? 1 : 0;
    m_values.logFile = m_logFile->text();
    m_values.notifyLogBig = m_notifyLogBig->isChecked() ? 1 : 0;
}

void LoggingPage::Push() {
    if (IsFilling()) {
        return;
    }
    ReadControls();
    PostTake();
}

void LoggingPage::ApplyEnableRule() {
    // The viewer and its buttons work whether or not logging is on.
    const bool on = m_loggingEnabled->isChecked();
    m_notifyLogBig->setEnabled(on);
    m_logFile->setEnabled(on);
    m_browse->setEnabled(on);
}

void LoggingPage::Browse() {
    ReadControls();
    FileDialogRequest request;
    request.initialPath = m_values.logFile;
    request.defaultSuffix = QStringLiteral("txt");
    request.mustExist = false;
    request.filters = {
        {QStringLiteral("Logging Files"), {QStringLiteral("*.txt")}},
        {QStringLiteral("All Files"), {QStringLiteral("*")}},
    };
    const QPointer<QWidget> self(this);
    FileDialogs().OpenFileName(this, request, [this, self](const QString& chosen) {
        if (self) {
            m_values.logFile = chosen;
            ShowValues();
            Push();
        }
    });
}

void LoggingPage::ClearViewer() {
    m_viewer->clear();
    m_viewer->repaint();
}

void LoggingPage::ViewFile() {
    ClearViewer();
    const LogViewResult result = ReadLogForViewer(m_values.logFile);
    switch (result.status) {
        case LogViewResult::TooLarge:
            Tell(LoadString(Text::LogTooLarge));
            return;
        case LogViewResult::Failed:
            Tell(FileErrorText(Text::LogFileProblem, result.cause));
            return;
        case LogViewResult::Shown:
            break;
    }
    m_viewer->moveCursor(QTextCursor::End);
    m_viewer->insertPlainText(result.text);
    m_viewer->ensureCursorVisible();
    m_viewer->repaint();
}

void LoggingPage::EmptyFile() {
    // Emptying cannot be undone: ask first.
    const QString question =
        tr("Empty the log file \"%1\"? Its entries cannot be recovered.").arg(m_values.logFile);
    Prompter().Open(question, MessageCaption(), IPrompter::YesNo, IPrompter::Warning,
                    [page = QPointer<LoggingPage>(this), file = m_values.logFile](int answer) {
                        if (page && answer == IPrompter::AnswerYes) {
                            page->EmptyAfterAsking(file);
                        }
                    });
}

void LoggingPage::EmptyAfterAsking(const QString& file) {
    ClearViewer();
    const int cause = EmptyLogFile(file);
    if (cause != 0) {
        Tell(FileErrorText(Text::LogFileProblem, cause));
        return;
    }
    Tell(LoadString(Text::LogEmptied));
}

void LoggingPage::OnKillActive() {
    m_viewer->clear();
}

void LoggingPage::Fill(const SettingsRecord& s) {
    m_values.loggingEnabled = s.LoggingEnabled ? 1 : 0;
    m_values.logFile = s.LoggingFile;
    m_values.notifyLogBig = s.NotifyLogBig ? 1 : 0;
    ShowValues();
    ApplyEnableRule();
}

void LoggingPage::Take(SettingsRecord& s) const {
    s.LoggingEnabled = m_values.loggingEnabled;
    s.LoggingFile = m_values.logFile;
    s.NotifyLogBig = m_values.notifyLogBig;
}

}  // namespace qv
