#include "cli/Commands.h"

#include "cli/ConsoleDocHost.h"
#include "network/CQuorvaneDoc.h"
#include "settings/InfoCtrlSettings.h"

#include <QCoreApplication>
#include <QSettings>

#include <string>
#include <vector>

namespace qv {

namespace {

bool IsControl(char16_t u) {
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);  // C0, DEL and C1
}

// Copies a plain ASCII field (by far the most common) to `out`, control characters as blanks;
// returns the end, or null when the field holds any other character.
char* CopyAscii(char* out, const QString& field) {
    for (const QChar ch : field) {
        const char16_t u = ch.unicode();
        if (unsigned(u) - 0x20 < 0x5F) {  // printable: one test for nearly every character
            *out++ = static_cast<char>(u);
        } else if (u < 0x80) {
            *out++ = ' ';  // C0 control or DEL
        } else {
            return nullptr;
        }
    }
    return out;
}

// `field` in the local encoding, its control characters as blanks.
std::string Converted(const QString& field) {
    QString clean = field;
    for (QChar& ch : clean) {
        if (IsControl(ch.unicode())) {
            ch = QLatin1Char(' ');
        }
    }
    return clean.toLocal8Bit().toStdString();
}

}  // namespace

bool WriteRows(const CQuorvaneDoc& doc, std::FILE* out) {
    const RowTexts& texts = doc.m_texts;
    // Each stored text converted once, when a row first shows it: most are shared by many rows.
    std::vector<std::string> converted(texts.TextCount());
    std::vector<char> isConverted(texts.TextCount(), 0);
    auto bytesOf = [&](RowTexts::TextId id) -> const std::string& {
        std::string& bytes = converted[id];
        if (!isConverted[id]) {
            isConverted[id] = 1;
            const QString& text = texts.Text(id);
            bytes.resize(static_cast<std::size_t>(text.size()));
            if (char* end = CopyAscii(bytes.data(), text)) {
                bytes.resize(static_cast<std::size_t>(end - bytes.data()));
            } else {
                bytes = Converted(text);
            }
        }
        return bytes;
    };
    // Written a block at a time: a long list never needs one buffer for all of it.
    constexpr std::size_t kBlock = 64 * 1024;
    std::string text;
    text.reserve(kBlock);
    bool written = true;
    auto flush = [&] {
        written = std::fwrite(text.data(), 1, text.size(), out) == text.size() && written;
        text.clear();
    };
    for (std::size_t row = 0; row < doc.m_nRowCount; ++row) {
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            text += bytesOf(texts.Id(row, static_cast<InfoColumn>(c)));
            text += c + 1 < kColumnCount ? '\t' : '\n';
        }
        if (text.size() >= kBlock - 1024) {
            flush();
        }
    }
    flush();
    return std::fflush(out) == 0 && written;
}

int ListCommand(QSettings& profile, std::FILE* out, std::FILE* err) {
    InfoCtrlSettings settings;
    settings.ParseFlags(
        profile.value(QStringLiteral("Settings/EnableFlags"), QLatin1String(kDefaultEnableFlags))
            .toString());
    const PublicSourceChoice sources{
        profile.value(QStringLiteral("Settings/AskRouter"), 1).toInt() != 0,
        profile.value(QStringLiteral("Settings/EchoPageURL")).toString()};
    ConsoleDocHost host(err, settings.ShowHardwareOnly != 0,
                        profile.value(QStringLiteral("Settings/ShowIPv6"), 1).toInt() != 0,
                        sources);
    CQuorvaneDoc doc(&host);
    doc.SetProfile(&profile);
    doc.OnNewDocument();
    doc.RefreshNetworkInfo(-1);
    // Until the look-ups and the public address sources have answered or their deadlines passed.
    while ((doc.IsRefreshing() || doc.IsAskingPublicSources()) && QCoreApplication::instance()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    host.Flush();
    // The stored selection is only read here; OnCloseDocument is not called.
    return WriteRows(doc, out) ? 0 : 1;
}

}  // namespace qv
