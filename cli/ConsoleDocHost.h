#pragma once

#include "network/DocHost.h"

#include <cstdio>

namespace qv {

// The document's host on a terminal: status lines and messages go to a stream (standard error),
// nothing is shown in a window and no pane commands are run.
class ConsoleDocHost : public IDocHost {
  public:
    explicit ConsoleDocHost(std::FILE* out = stderr, bool hardwareOnly = false)
        : m_out(out), m_hardwareOnly(hardwareOnly) {}

    void ShowOutput(const QString& text, bool append, bool log) override;
    void SetOutputHeading(const QString&) override {}
    void SetLocalHostText(const QString& text) override;
    void CheckLogSize() override {}
    bool ShowHardwareOnly() const override { return m_hardwareOnly; }
    void RefillList() override {}
    void SetTrayAddress(const QString&) override {}
    void UpdateForwardPreview() override {}
    void PostPaneCommand(int) override {}
    void ShowMessage(const QString& text) override;

  private:
    void WriteLine(const QString& text);

    std::FILE* m_out;
    bool m_hardwareOnly;
};

}  // namespace qv
