#include "cli/Commands.h"

#include "cli/ConsoleDocHost.h"
#include "network/CQuorvaneDoc.h"
#include "settings/InfoCtrlSettings.h"

#include <QCoreApplication>
#include <QSettings>

namespace qv {

QByteArray FormatRows(const CQuorvaneDoc& doc) {
    QString text;
    for (unsigned int r = 0; r < doc.m_nRowCount; ++r) {
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            if (c > 0) {
                text += QLatin1Char('\t');
            }
            const qsizetype start = text.size();
            text += doc.m_columns[c].value(static_cast<qsizetype>(r));
            // The control characters (C0, DEL and C1) become blanks.
            for (auto it = text.begin() + start; it != text.end(); ++it) {
                const char16_t u = it->unicode();
                if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) {
                    *it = QLatin1Char(' ');
                }
            }
        }
        text += QLatin1Char('\n');
    }
    return text.toLocal8Bit();
}

int ListCommand(QSettings& profile, std::FILE* out, std::FILE* err) {
    InfoCtrlSettings settings;
    settings.ParseFlags(
        profile.value(QStringLiteral("Settings/EnableFlags"), QLatin1String(kDefaultEnableFlags))
            .toString());
    const PublicSourceChoice sources{
        profile.value(QStringLiteral("Settings/AskRouter"), 1).toInt() != 0,
        profile.value(QStringLiteral("Settings/EchoPageURL")).toString()};
    ConsoleDocHost host(err, settings.ShowHardwareOnly != 0, sources);
    CQuorvaneDoc doc(&host);
    doc.SetProfile(&profile);
    doc.OnNewDocument();
    doc.RefreshNetworkInfo(-1);
    if (doc.IsRefreshing() && QCoreApplication::instance()) {
        QCoreApplication::exec();  // until the look-ups are answered or their deadline passes
    }
    host.Flush();
    // The stored selection is only read here; OnCloseDocument is not called.
    const QByteArray rows = FormatRows(doc);
    std::fwrite(rows.constData(), 1, static_cast<std::size_t>(rows.size()), out);
    return std::fflush(out) == 0 ? 0 : 1;
}

}  // namespace qv
