#include "cli/Commands.h"

#include "cli/ConsoleDocHost.h"
#include "network/CQuorvaneDoc.h"
#include "settings/InfoCtrlSettings.h"

#include <QCoreApplication>
#include <QSettings>

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
void AppendConverted(QByteArray& text, const QString& field) {
    QString clean = field;
    for (QChar& ch : clean) {
        if (IsControl(ch.unicode())) {
            ch = QLatin1Char(' ');
        }
    }
    text += clean.toLocal8Bit();
}

}  // namespace

bool WriteRows(const CQuorvaneDoc& doc, std::FILE* out) {
    const QString none;
    const auto rows = static_cast<qsizetype>(doc.m_nRowCount);
    auto field = [&](std::size_t c, qsizetype row) -> const QString& {
        const QStringList& column = doc.m_columns[c];
        return row < column.size() ? column.at(row) : none;
    };
    // Written a block at a time: a long list never needs one buffer for all of it.
    constexpr qsizetype kBlock = 64 * 1024;
    QByteArray text;
    text.reserve(kBlock);
    bool written = true;
    auto flush = [&] {
        written = std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), out) ==
                      static_cast<std::size_t>(text.size()) &&
                  written;
        text.resize(0);
    };
    for (qsizetype row = 0; row < rows; ++row) {
        const qsizetype at = text.size();
        qsizetype length = qsizetype(kColumnCount);  // each field, a tab or line end after it
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            length += field(c, row).size();
        }
        text.resize(at + length);
        char* end = text.data() + at;
        for (std::size_t c = 0; c < kColumnCount && end; ++c) {
            end = CopyAscii(end, field(c, row));
            if (end) {
                *end++ = c + 1 < kColumnCount ? '\t' : '\n';
            }
        }
        if (!end) {  // a field outside ASCII: the row again, converted field by field
            text.truncate(at);
            for (std::size_t c = 0; c < kColumnCount; ++c) {
                AppendConverted(text, field(c, row));
                text += c + 1 < kColumnCount ? '\t' : '\n';
            }
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
