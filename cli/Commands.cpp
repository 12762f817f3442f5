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

// `field` in the local encoding, its control characters as blanks. Plain ASCII, by far the most
// common, is copied byte by byte.
void AppendField(QByteArray& text, const QString& field) {
    bool ascii = true;
    for (const QChar ch : field) {
        ascii = ascii && ch.unicode() < 0x80;
    }
    if (ascii) {
        const qsizetype at = text.size();
        text.resize(at + field.size());
        char* out = text.data() + at;
        for (const QChar ch : field) {
            *out++ = IsControl(ch.unicode()) ? ' ' : static_cast<char>(ch.unicode());
        }
        return;
    }
    QString clean = field;
    for (QChar& ch : clean) {
        if (IsControl(ch.unicode())) {
            ch = QLatin1Char(' ');
        }
    }
    text += clean.toLocal8Bit();
}

}  // namespace

QByteArray FormatRows(const CQuorvaneDoc& doc) {
    QByteArray text;
    text.reserve(qsizetype(doc.m_nRowCount) * 160);  // about one row's length in most tables
    const QString none;
    for (unsigned int r = 0; r < doc.m_nRowCount; ++r) {
        const auto row = static_cast<qsizetype>(r);
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            if (c > 0) {
                text += '\t';
            }
            const QStringList& column = doc.m_columns[c];
            AppendField(text, row < column.size() ? column.at(row) : none);
        }
        text += '\n';
    }
    return text;
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
    const QByteArray rows = FormatRows(doc);
    std::fwrite(rows.constData(), 1, static_cast<std::size_t>(rows.size()), out);
    return std::fflush(out) == 0 ? 0 : 1;
}

}  // namespace qv
