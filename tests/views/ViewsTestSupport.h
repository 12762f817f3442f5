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
#include "tests/support/WatcherFakes.h"
#include "views/NoticeBox.h"
#include "views/PaneParts.h"

namespace qv::test {

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

// The folder that holds this test program's settings and data files.
QString TestHome();
void RemoveSettingsFile();

}  // namespace qv::test
