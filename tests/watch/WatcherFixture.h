#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "tests/support/EventLoop.h"
#include "tests/support/WatcherFakes.h"
#include "watch/AddressWatcher.h"

namespace qv::test {

// The watcher with a made-up document and recorded forwarding commands, as the faces wire it:
// its questions go to the prompter, as the window's do, and the test keeps what it shows.
class AddressWatcherTest : public ::testing::Test, public UserQuestions {
  protected:
    void SetUp() override {
        QFile::remove(SettingsFilePath());
        watcher.SetDocument(&doc);
        watcher.SetForwarding(&forwarding);
        watcher.SetMinuteMs(40);
        QObject::connect(&watcher, &AddressWatcher::Output, &watcher,
                         [this](const QString& text, bool append) {
                             output = append ? output + "\r\r\n" + text : text;
                         });
        QObject::connect(&watcher, &AddressWatcher::StatusLine, &watcher,
                         [this](const QString& text) { statusLine = text; });
    }
    // Posts a command and lets the event loop run it, and the work it started.
    void Run(Command command) {
        watcher.PostPaneCommand(command);
        Settle();
    }
    void Settle() {
        test::SettleWhile([this] { return watcher.IsBusy(); });
    }

    void Ask(const QString& text, const QString& caption, IPrompter::Buttons buttons,
             IPrompter::Icon icon, std::function<void(int)> answer) override {
        Prompter().Open(text, caption, buttons, icon, std::move(answer));
    }
    void Notice(const QString& text, IPrompter::Icon icon, unsigned) override {
        notices.push_back({text, icon});
    }
    void ShowHostResponse(const QString&, const QString&) override {}
    void AskCredentials(const QString&, const QString&, CredentialsAnswer answer) override {
        answer(std::nullopt);
    }
    bool IsShown() const override { return false; }

    test::FakeDoc doc;
    test::RecordingForwarding forwarding;
    AddressWatcher watcher{*this};
    QString output;      // the output box's text, lines joined by CR CR LF
    QString statusLine;  // the forwarding preview
    struct Shown {
        QString text;
        IPrompter::Icon icon;
    };
    std::vector<Shown> notices;  // the self-closing notices, in order
};

}  // namespace qv::test
