#include "cli/ConsoleDocHost.h"

namespace qv {

void ConsoleDocHost::WriteLine(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), m_out);
    std::fputc('\n', m_out);
}

void ConsoleDocHost::ShowOutput(const QString& text, bool, bool) {
    WriteLine(text);
}

void ConsoleDocHost::SetLocalHostText(const QString& text) {
    WriteLine(QStringLiteral("Local Host : ") + text);
}

void ConsoleDocHost::ShowMessage(const QString& text) {
    WriteLine(text);
}

}  // namespace qv
