#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "platform/FileError.h"
#include "resources/StringTable.h"
#include "settings/LogFileView.h"
#include "tests/views/settings/FakePane.h"

namespace qv::test {
namespace {

class LoggingPageTest : public SheetFixture {
  protected:
    void SetUp() override {
        SheetFixture::SetUp();
        pane.settings.LoggingFile = Path("log.txt");
        Show(SettingsTabs::kLoggingTab);
        pane.TakePosted();
    }
    QString Path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }
    QString Write(const char* name, const QByteArray& bytes) const {
        QFile f(Path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    QPushButton* Button(int id) const { return Find<QPushButton>(SettingsTabs::kLoggingTab, id); }
    QPlainTextEdit* Viewer() const { return Find<QPlainTextEdit>(SettingsTabs::kLoggingTab, 1132); }
    QString LastMessage() const {
        return prompter.shown.empty() ? QString() : prompter.shown.back().text;
    }

    QTemporaryDir m_dir;
};

TEST_F(LoggingPageTest, ViewerShowsTheFileAndRefusesOneTooLarge) {
    Write("log.txt", "first\r\r\r\nsecond\r\r\r\n");
    Click(Button(1131));
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(Viewer()->toPlainText(), "first\nsecond\n");

    Write("log.txt", QByteArray(kLogViewerMaxBytes + 1, 'a'));
    Click(Button(1131));
    EXPECT_EQ(LastMessage(), LoadString(Text::LogTooLarge));
    EXPECT_TRUE(Viewer()->toPlainText().isEmpty());
}

TEST_F(LoggingPageTest, AMissingFileIsReportedWithItsCause) {
    Viewer()->setPlainText(QStringLiteral("typed"));
    Click(Button(1131));
    EXPECT_EQ(LastMessage(), "Log file problem. Reason: The file could not be located.");
    EXPECT_TRUE(Viewer()->toPlainText().isEmpty());
}

TEST_F(LoggingPageTest, EmptyFileAsksFirst) {
    const QString log = Write("log.txt", "entry\r\r\r\n");
    prompter.answers = {IPrompter::AnswerNo};
    Click(Button(1133));
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].buttons, IPrompter::YesNo);
    EXPECT_TRUE(prompter.shown[0].text.contains(log));
    EXPECT_EQ(QFileInfo(log).size(), 9);

    prompter.answers = {IPrompter::AnswerYes};
    Click(Button(1133));
    EXPECT_EQ(QFileInfo(log).size(), 0);
    EXPECT_EQ(LastMessage(), LoadString(Text::LogEmptied));

    // A name that does not exist yet: the file is made, empty.
    pane.settings.LoggingFile = Path("new.txt");
    Refill(Command::LogFill);
    prompter.answers = {IPrompter::AnswerYes};
    Click(Button(1133));
    EXPECT_TRUE(QFileInfo::exists(Path("new.txt")));
    EXPECT_EQ(LastMessage(), LoadString(Text::LogEmptied));

    // A folder that does not exist: the cause, and no "emptied".
    pane.settings.LoggingFile = Path("none/log.txt");
    Refill(Command::LogFill);
    prompter.answers = {IPrompter::AnswerYes};
    Click(Button(1133));
    EXPECT_EQ(LastMessage(), FileErrorText(Text::LogFileProblem, kFileNotFound));
}

TEST_F(LoggingPageTest, LoggingOffLocksTheFileNameButNotTheViewer) {
    auto* name = Find<QLineEdit>(SettingsTabs::kLoggingTab, 1109);
    EXPECT_FALSE(name->isEnabled());
    EXPECT_FALSE(Button(1110)->isEnabled());
    EXPECT_FALSE(Find<QCheckBox>(SettingsTabs::kLoggingTab, 1149)->isEnabled());
    EXPECT_TRUE(Button(1131)->isEnabled());
    EXPECT_TRUE(Button(1133)->isEnabled());

    Click(Find<QCheckBox>(SettingsTabs::kLoggingTab, 1108));
    EXPECT_EQ(pane.settings.LoggingEnabled, 1);
    ASSERT_TRUE(name->isEnabled());

    // A newly typed name is used by View File Data: clicking the button takes the focus first.
    Write("other.txt", "other entry");
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, Path("other.txt"));
    Drain();
    EXPECT_EQ(pane.settings.LoggingFile, Path("log.txt"));
    Click(Button(1131));
    EXPECT_EQ(Viewer()->toPlainText(), "other entry");
    EXPECT_EQ(pane.settings.LoggingFile, Path("other.txt"));
}

TEST_F(LoggingPageTest, LeavingTheTabClearsTheViewer) {
    Write("log.txt", "entry");
    Click(Button(1131));
    EXPECT_EQ(Viewer()->toPlainText(), "entry");
    Show(SettingsTabs::kHttpTab);
    Show(SettingsTabs::kLoggingTab);
    EXPECT_TRUE(Viewer()->toPlainText().isEmpty());
}

TEST_F(LoggingPageTest, BrowseAllowsANewName) {
    pane.settings.LoggingEnabled = true;
    Refill(Command::LogFill);
    dialogs.answers.push_back(Path("fresh.txt"));
    Click(Button(1110));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    const FileDialogRequest& request = dialogs.requests[0];
    EXPECT_FALSE(request.mustExist);
    EXPECT_EQ(request.defaultSuffix, "txt");
    EXPECT_EQ(request.initialPath, Path("log.txt"));
    EXPECT_EQ(QtFilterText(request.filters), "Logging Files (*.txt);;All Files (*)");
    EXPECT_EQ(pane.settings.LoggingFile, Path("fresh.txt"));
}

}  // namespace
}  // namespace qv::test
