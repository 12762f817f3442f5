#pragma once

#include "cli/ConsoleOutput.h"
#include "network/AddressList.h"

#include <string>

namespace qv {

// The document's lines on a terminal: its status lines and messages go to the console's messages
// (standard error), collected and written when a refresh ends or 64 KB have gathered (and at the
// latest when this goes); nothing is shown in a window.
class ConsoleDocHost : public QObject {
  public:
    ConsoleDocHost(ConsoleOutput& out, AddressList& doc);
    ~ConsoleDocHost() override { Flush(); }
    ConsoleDocHost(const ConsoleDocHost&) = delete;
    ConsoleDocHost& operator=(const ConsoleDocHost&) = delete;

    // Writes the lines collected so far.
    void Flush();

  private:
    void WriteLine(Priority priority, const QString& text);

    ConsoleOutput& m_out;
    std::string m_buffer;
    QString m_lastLine;  // the last line written, and its bytes
    std::string m_lastBytes;
};

}  // namespace qv
