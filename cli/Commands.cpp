#include "cli/Commands.h"

#include "cli/ConsoleDocHost.h"
#include "network/CQuorvaneDoc.h"
#include "settings/InfoCtrlSettings.h"

#include <QCoreApplication>
#include <QSettings>

namespace qv {

QByteArray FormatRows(const CQuorvaneDoc& doc) {
    QByteArray text;
    for (unsigned int r = 0; r < doc.m_nRowCount; ++r) {
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            QString field = doc.Field(static_cast<int>(r), static_cast<InfoColumn>(c));
            for (QChar& ch : field) {
                if (ch.category() == QChar::Other_Control) {
                    ch = QLatin1Char(' ');
                }
            }
            if (c > 0) {
                text += '\t';
            }
            text += field.toLocal8Bit();
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
    ConsoleDocHost host(err, settings.ShowHardwareOnly != 0);
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
