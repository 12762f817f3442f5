#include "cli/ConsoleDocHost.h"

#include "platform/ShownText.h"

namespace qv {

ConsoleDocHost::ConsoleDocHost(ConsoleOutput& out, AddressList& doc) : m_out(out) {
    connect(&doc, &AddressList::OutputLine, this, [this](const QString& text, bool, bool) {
        WriteLine(Priority::Info, ShownText(text, TextField::kMultiLine));
    });
    connect(&doc, &AddressList::LocalHostChanged, this, [this](const QString& text) {
        WriteLine(Priority::Info,
                  QStringLiteral("Local Host : ") + ShownText(text, TextField::kSingleLine));
    });
    connect(&doc, &AddressList::SelectionLost, this, [this](const QString& text) {
        WriteLine(Priority::Warning, ShownText(text, TextField::kMultiLine));
    });
    connect(&doc, &AddressList::RefreshFinished, this, &ConsoleDocHost::Flush);
}

void ConsoleDocHost::WriteLine(Priority priority, const QString& text) {
    if (!m_out.Shows(priority)) {
        return;
    }
    if (text != m_lastLine) {  // a refresh repeats one line for each of its rows
        m_lastLine = text;
        m_lastBytes = ConsoleOutput::OneLine(text).toLocal8Bit().toStdString();
    }
    if (m_lastBytes.empty()) {
        return;
    }
    m_buffer += m_out.Prefix(priority);
    m_buffer += m_lastBytes;
    m_buffer += '\n';
    if (m_buffer.size() >= 64 * 1024) {  // a long list needs no buffer for all its lines
        Flush();
    }
}

void ConsoleDocHost::Flush() {
    if (!m_buffer.empty()) {
        m_out.Write(m_buffer);
        m_buffer.clear();  // its room is kept for the next lines
    }
}

}  // namespace qv
