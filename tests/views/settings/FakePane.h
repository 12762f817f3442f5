#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QObject>
#include <QPoint>
#include <QTest>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/Prompter.h"
#include "resources/Ids.h"
#include "resources/StringTable.h"
#include "settings/GeneralTakePlan.h"
#include "views/settings/SettingsFileDialog.h"
#include "views/settings/SettingsPage.h"
#include "views/settings/SettingsTabs.h"

namespace qv::test {

// Stands in for the control pane: queues the posted commands and answers the pages' fill and
// take commands the way the pane does.
class FakePane : public QObject, public IPaneLink {
  public:
    SettingsRecord settings;
    int hideOnStartup = 0;
    SettingsTabs* sheet = nullptr;

    std::vector<Command> posted;         // in posting order
    std::vector<GeneralTakePlan> plans;  // one per General take
    std::vector<int> tipRequests;        // control ids
    int quickHelpId = 0;                 // string shown in the quick-help box

    void PostPaneCommand(Command command) override {
        posted.push_back(command);
        QMetaObject::invokeMethod(
            this, [this, command] { Handle(command); }, Qt::QueuedConnection);
    }
    void RequestControlTip(QWidget*, int controlId, const QPoint&) override {
        tipRequests.push_back(controlId);
    }

    // Commands posted since the last call.
    std::vector<Command> TakePosted() { return std::exchange(posted, {}); }

  private:
    void Handle(Command command) {
        const SettingsRecord before = settings;
        if (sheet && ExchangeSheetValues(*sheet, command, settings, hideOnStartup)) {
            if (command == Command::GeneralTake) {
                plans.push_back(PlanGeneralTake(before, settings));
            }
            return;
        }
        switch (command) {
            case Command::GeneralHelp:
                quickHelpId = Text::GeneralHelp;
                break;
            case Command::HttpHelp:
                quickHelpId = Text::HttpTargetHelp;
                break;
            case Command::FtpHelp:
                quickHelpId = Text::FtpTargetHelp;
                break;
            case Command::LogHelp:
                quickHelpId = Text::LoggingHelp;
                break;
            default:
                break;
        }
    }
};

// Message boxes answered from a script; every box is recorded.
class ScriptedPrompter : public IPrompter {
  public:
    struct Box {
        QString text;
        Buttons buttons;
    };
    std::vector<Box> shown;
    std::deque<int> answers;  // when empty: Ok, or No for questions

    int MessageBox(const QString& text, const QString&, Buttons buttons, Icon) override {
        shown.push_back({text, buttons});
        if (!answers.empty()) {
            const int a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == YesNo || buttons == YesNoCancel ? AnswerNo : AnswerOk;
    }
};

// File dialogs answered from a script; every request is recorded.
class ScriptedFileDialogs : public IFileDialogs {
  public:
    std::vector<FileDialogRequest> requests;
    std::deque<QString> answers;  // the chosen paths; an empty one, or none left: cancelled

    void OpenFileName(QWidget*, const FileDialogRequest& request,
                      std::function<void(const QString&)> given) override {
        requests.push_back(request);
        QString chosen;
        if (!answers.empty()) {
            chosen = answers.front();
            answers.pop_front();
        }
        if (!chosen.isEmpty()) {
            given(chosen);
        }
    }
};

// The one application object of a test program.
inline void EnsureApplication() {
    if (!qApp) {
        static int argc = 1;
        static char name[] = "settings_ui_tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
}

// Runs every queued command.
inline void Drain() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
    }
}

// A sheet in a shown, active window, with scripted message boxes and file dialogs. The start-up
// commands (fill and help of "General") have been handled.
class SheetFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureApplication();
        SetPrompter(&prompter);
        SetFileDialogs(&dialogs);
        window = std::make_unique<QWidget>();
        sheet = new SettingsTabs(pane, window.get());
        pane.sheet = sheet;
        window->resize(sheet->sizeHint());
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        Drain();
    }
    void TearDown() override {
        window.reset();
        SetPrompter(nullptr);
        SetFileDialogs(nullptr);
    }

    template <class W>
    W* Find(int tab, int id) const {
        SettingsPage* page = sheet->Page(tab);
        W* w = page ? page->template findChild<W*>(QStringLiteral("ctl%1").arg(id)) : nullptr;
        EXPECT_NE(w, nullptr) << "control " << id;
        return w;
    }
    // Makes `tab` current and lets the pane answer what it posted.
    void Show(int tab) {
        sheet->setCurrentIndex(tab);
        Drain();
    }
    // The pane fills the page again from `pane.settings`.
    void Refill(Command fillCommand) {
        pane.PostPaneCommand(fillCommand);
        Drain();
        pane.TakePosted();
    }
    static void Click(QAbstractButton* button) {
        // Check boxes at their box, push buttons in the middle.
        const QPoint at = qobject_cast<QCheckBox*>(button)
                              ? QPoint(4, qMin(button->height() / 2, 8))
                              : button->rect().center();
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
        Drain();
    }
    static int Count(const std::vector<Command>& commands, Command command) {
        return int(std::count(commands.begin(), commands.end(), command));
    }

    FakePane pane;
    ScriptedPrompter prompter;
    ScriptedFileDialogs dialogs;
    std::unique_ptr<QWidget> window;
    SettingsTabs* sheet = nullptr;
};

}  // namespace qv::test
