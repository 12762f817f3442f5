#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "platform/Prompter.h"
#include "watch/ForwardingCommands.h"
#include "watch/ViewDocument.h"

// Stand-ins for what the watcher and its faces are wired to: the document, the forwarding
// commands and the message boxes. None of them needs a widget.
namespace qv::test {

// Rows given by the test; records what the watcher and the views ask of the document.
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

// Records the forwarding calls of the watcher.
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

}  // namespace qv::test
