#pragma once

#include "cli/ConsoleOutput.h"
#include "network/DocHost.h"

#include <string>
#include <utility>

namespace qv {

// The document's host on a terminal: status lines and messages go to the console's messages
// (standard error), collected and written when a refresh ends or 64 KB have gathered (and at the
// latest when the host goes); nothing is shown in a window and no pane commands are run.
class ConsoleDocHost : public IDocHost {
  public:
    explicit ConsoleDocHost(ConsoleOutput& out, bool hardwareOnly = false, bool ipv6 = true,
                            PublicSourceChoice sources = {})
        : m_out(out), m_hardwareOnly(hardwareOnly), m_ipv6(ipv6), m_sources(std::move(sources)) {}
    ~ConsoleDocHost() override { Flush(); }
    ConsoleDocHost(const ConsoleDocHost&) = delete;
    ConsoleDocHost& operator=(const ConsoleDocHost&) = delete;

    void ShowOutput(const QString& text, bool append, bool log) override;
    void SetOutputHeading(const QString&) override {}
    void SetLocalHostText(const QString& text) override;
    void CheckLogSize() override {}
    bool ShowHardwareOnly() const override { return m_hardwareOnly; }
    bool ShowIpv6() const override { return m_ipv6; }
    PublicSourceChoice PublicSources() const override { return m_sources; }
    void RefillList() override {}
    void SetTrayAddress(const QString&) override {}
    void UpdateForwardPreview() override {}
    void PostPaneCommand(Command) override {}
    void ShowMessage(const QString& text) override;
    void RefreshFinished() override;
    // Writes the lines collected so far.
    void Flush();

  private:
    void WriteLine(Priority priority, const QString& text);

    ConsoleOutput& m_out;
    std::string m_buffer;
    QString m_lastLine;  // the last line written, and its bytes
    std::string m_lastBytes;
    bool m_hardwareOnly;
    bool m_ipv6;
    PublicSourceChoice m_sources;
};

}  // namespace qv
