#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <utility>
#include <vector>

#include "platform/Prompter.h"
#include "tests/support/EventLoop.h"
#include "views/NoticeBox.h"
#include "views/PaneParts.h"
#include "watch/ForwardingCommands.h"
#include "watch/ViewDocument.h"

namespace qv::test {

// Rows given by the test; records what the views ask of the document.
class FakeDoc : public IViewDocument {
  public:
    std::vector<QStringList> rows;
    int selected = -1;
    QString selectedIp = QStringLiteral("---.---.---.---");
    std::vector<int> selectCalls;
    int refreshes = 0;
    int checks = 0;
    int depth = 0;
    int deepest = 0;
    // Run inside each refresh and check, e.g. to let time pass while the window stays alive.
    std::function<void()> during;

    int RowCount() const override { return static_cast<int>(rows.size()); }
    QString Field(int row, int column) const override { return rows.at(row).value(column); }
    int SelectedRow() const override { return selected; }
    QString SelectedIp() const override { return selectedIp; }
    void SelectRow(int row) override {
        selected = row;
        selectCalls.push_back(row);
    }
    int stores = 0;
    bool StoreSelection() override {
        ++stores;
        return true;
    }
    bool RefreshNetworkInfo(int) override {
        ++refreshes;
        Work();
        return true;
    }
    bool CheckSelection() override {
        ++checks;
        Work();
        return true;
    }

  private:
    void Work() {
        ++depth;
        deepest = std::max(deepest, depth);
        if (during) {
            during();
        }
        --depth;
    }
};

// Records the forwarding calls of the pane.
class RecordingForwarding : public IPaneForwarding {
  public:
    QStringList calls;
    void ForwardAddress(ForwardMethod method, bool, std::function<void(ForwardOutcome)>) override {
        calls << "Send" + MethodName(method);
    }
    void NotifyOffLine(ForwardMethod method) override {
        calls << "NotifyOffLine" + MethodName(method);
    }
    void OfferOffLineNotice(ForwardMethod method) override {
        calls << "OfferOffLineNotice" + MethodName(method);
    }
    void OffLineAtShutdown() override { calls << "OffLineAtShutdown"; }
    void UpdateForwardPreview() override { calls << "UpdateForwardPreview"; }
    void OnTestInternet() override { calls << "OnTestInternet"; }
};

// Records the notices shown and how often the pane closed them.
class FakeNotice : public INoticeBox {
  public:
    struct Shown {
        QString text;
        QString caption;
        IPrompter::Icon icon;
        int life;
    };
    std::vector<Shown> shown;
    int closedByPane = 0;

    void Show(const QString& text, const QString& caption, IPrompter::Icon icon, QWidget*,
              int lifeMs) override {
        shown.push_back({text, caption, icon, lifeMs});
    }
    void CloseAll() override { ++closedByPane; }
};

// Answers message boxes from a script and records them.
class ScriptedPrompter : public IPrompter {
  public:
    QStringList texts;
    int answer = AnswerOk;
    std::function<void()> whileOpen;  // runs as if the box were waiting for the user

    int MessageBox(const QString& text, const QString&, Buttons, Icon) override {
        texts << text;
        if (whileOpen) {
            whileOpen();
        }
        return answer;
    }
    // With `holdOpen`, a box opened without waiting stays open: its answer is kept in `held`.
    bool holdOpen = false;
    std::vector<std::function<void(int)>> held;
    void Open(const QString& text, const QString& caption, Buttons buttons, Icon icon,
              std::function<void(int)> given) override {
        if (!holdOpen) {
            IPrompter::Open(text, caption, buttons, icon, std::move(given));
            return;
        }
        texts << text;
        held.push_back(given ? std::move(given) : [](int) {});
    }
};

// Installs a prompter for the length of a test.
class PrompterGuard {
  public:
    explicit PrompterGuard(IPrompter* p) { SetPrompter(p); }
    ~PrompterGuard() { SetPrompter(nullptr); }
};

// The folder that holds this test program's settings and data files.
QString TestHome();
void RemoveSettingsFile();

}  // namespace qv::test
