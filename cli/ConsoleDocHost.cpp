#include "cli/ConsoleDocHost.h"

#include "platform/ShownText.h"

namespace qv {

void ConsoleDocHost::WriteLine(const QString& text) {
    if (text != m_lastLine) {  // a refresh repeats one line for each of its rows
        m_lastLine = text;
        m_lastBytes = text.toLocal8Bit().toStdString();
    }
    m_buffer += m_lastBytes;
    m_buffer += '\n';
    if (m_buffer.size() >= 64 * 1024) {  // a long list needs no buffer for all its lines
        Flush();
    }
}

void ConsoleDocHost::Flush() {
    if (!m_buffer.empty()) {
        std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_out);
        std::fflush(m_out);
        m_buffer.clear();  // its room is kept for the next lines
    }
}

void ConsoleDocHost::ShowOutput(const QString& text, bool, bool) {
    WriteLine(ShownText(text, TextField::kMultiLine));
}

void ConsoleDocHost::SetLocalHostText(const QString& text) {
    WriteLine(QStringLiteral("Local Host : ") + ShownText(text, TextField::kSingleLine));
}

void ConsoleDocHost::ShowMessage(const QString& text) {
    WriteLine(ShownText(text, TextField::kMultiLine));
}

void ConsoleDocHost::RefreshFinished() {
    Flush();
}

}  // namespace qv
