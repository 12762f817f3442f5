#include "cli/Commands.h"

#include "cli/Arguments.h"
#include "cli/ConsoleDocHost.h"
#include "cli/ConsoleOutput.h"
#include "network/AddressList.h"
#include "resources/StringTable.h"
#include "settings/SettingsRecord.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
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

bool WriteRows(const AddressList& doc, std::FILE* out) {
    const RowTexts& texts = doc.m_texts;
    // Each stored text is converted once, when a row first shows it (most are shared by many
    // rows), into one pool. Fields are copied from there in pieces of a fixed size, which may run
    // past a field's end: the pool keeps a piece of room after its last text, and the bytes
    // written past a field are overwritten by what follows it.
    constexpr std::size_t kPiece = 16;
    struct Span {
        std::size_t at = 0, size = 0;
        bool made = false;
    };
    std::vector<Span> spans(texts.TextCount());
    std::string pool(kPiece, '\0');
    std::size_t used = 0;
    auto spanOf = [&](RowTexts::TextId id) -> const Span& {
        Span& span = spans[id];
        if (!span.made) {
            const QString& text = texts.Text(id);
            pool.resize(used + static_cast<std::size_t>(text.size()) + kPiece);
            const char* end = CopyAscii(pool.data() + used, text);
            if (!end) {
                const std::string bytes = Converted(text);
                pool.resize(used + bytes.size() + kPiece);
                end = std::copy(bytes.begin(), bytes.end(), pool.data() + used);
            }
            span = {used, static_cast<std::size_t>(end - (pool.data() + used)), true};
            used += span.size;
        }
        return span;
    };
    // Written a block at a time: a long list never needs one buffer for all of it. The block is
    // left unfilled, so a short list touches only the memory it writes.
    std::size_t capacity = 64 * 1024;
    auto block = std::make_unique_for_overwrite<char[]>(capacity);
    std::size_t length = 0;
    bool written = true;
    auto flush = [&] {
        written = std::fwrite(block.get(), 1, length, out) == length && written;
        length = 0;
    };
    std::array<const Span*, kColumnCount> fields;
    for (std::size_t row = 0; row < doc.m_rowCount; ++row) {
        std::size_t rowLength = kColumnCount;  // each field, a tab or line end after it
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            fields[c] = &spanOf(texts.Id(row, static_cast<InfoColumn>(c)));
            rowLength += fields[c]->size;
        }
        if (length + rowLength + kPiece > capacity) {
            flush();
            if (rowLength + kPiece > capacity) {
                capacity = rowLength + kPiece;
                block = std::make_unique_for_overwrite<char[]>(capacity);
            }
        }
        char* to = block.get() + length;
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            const char* from = pool.data() + fields[c]->at;
            for (std::size_t i = 0; i < fields[c]->size; i += kPiece) {
                std::memcpy(to + i, from + i, kPiece);
            }
            to += fields[c]->size;
            *to++ = c + 1 < kColumnCount ? '\t' : '\n';
        }
        length += rowLength;
    }
    flush();
    return std::fflush(out) == 0 && written;
}

void RefreshAndWait(AddressList& doc, int publicGraceMs) {
    doc.RefreshNetworkInfo(-1);
    if (!QCoreApplication::instance() || (!doc.IsRefreshing() && !doc.IsAskingPublicSources())) {
        return;  // all was known at once: no event would end the loop
    }
    // With a grace, the router and the echo page have until the local rows are complete, and at
    // least the grace: a public row not answered by then shows "Looking up ...".
    bool idle = false;
    bool localReady = doc.LocalRowsReady();
    bool graceOver = false;
    const auto endIfDone = [&] {
        if (idle || (localReady && graceOver)) {
            QCoreApplication::exit(0);
        }
    };
    doc.WhenIdle([&] {
        idle = true;
        endIfDone();
    });
    doc.WhenLocalRowsReady([&] {
        localReady = true;
        endIfDone();
    });
    QTimer grace;
    grace.setSingleShot(true);
    grace.setTimerType(Qt::PreciseTimer);  // never early: a search cut short here is noted
    QObject::connect(&grace, &QTimer::timeout, [&] {
        graceOver = true;
        endIfDone();
    });
    if (publicGraceMs >= 0) {
        grace.start(publicGraceMs);
    }
    const int code = QCoreApplication::exec();
    doc.WhenIdle(nullptr);
    doc.WhenLocalRowsReady(nullptr);
    if (!idle && !(localReady && graceOver)) {
        // Something else ended the loop (a terminating signal): the caller's loop ends too.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [code] { QCoreApplication::exit(code); },
            Qt::QueuedConnection);
    }
}

namespace {

// The columns' names in the header line and the JSON objects, in column order.
constexpr std::array<const char*, kColumnCount> kColumnNames = {
    "address", "index",      "type", "interface", "mac",       "hostName",
    "gateway", "gatewayMac", "mask", "broadcast", "diagnostic"};

// The texts a row shows where it knows no value.
bool IsUnknown(const QString& text) {
    static const QString kUnknown[] = {kNoMac,
                                       kLookingUp,
                                       LoadString(Text::PlaceholderAddress),
                                       LoadString(Text::HostUnknown),
                                       QStringLiteral("----"),
                                       QStringLiteral("unknown")};
    return text.isEmpty() ||
           std::find(std::begin(kUnknown), std::end(kUnknown), text) != std::end(kUnknown);
}

// A text field as JSON: null where the row knows no value.
QJsonValue Known(const QString& text) {
    return IsUnknown(text) ? QJsonValue() : QJsonValue(text);
}

// "00-1A-2B-3C-4D-5E" as "00:1a:2b:3c:4d:5e", the way ip(8) writes it.
QJsonValue Mac(const QString& text) {
    return IsUnknown(text) ? QJsonValue()
                           : QJsonValue(text.toLower().replace(QLatin1Char('-'), QLatin1Char(':')));
}

}  // namespace

QByteArray RowsAsJson(const AddressList& doc) {
    QJsonArray rows;
    for (unsigned int r = 0; r < doc.m_rowCount; ++r) {
        const int row = static_cast<int>(r);
        const auto field = [&](InfoColumn c) { return doc.Field(row, c); };
        const QString number = field(ColInterfaceNumber);
        const bool router = number == QLatin1String("UPnP");
        const bool echo = number == QLatin1String("Web");
        QJsonObject o;
        const QString address = field(ColNicIpAddress);
        o[kColumnNames[ColNicIpAddress]] = Known(address);
        bool isNumber = false;
        const qulonglong index = number.toULongLong(&isNumber, 0);
        o[kColumnNames[ColInterfaceNumber]] =
            isNumber ? QJsonValue(static_cast<qint64>(index)) : QJsonValue();
        o[kColumnNames[ColAddressType]] = Known(field(ColAddressType));
        o[kColumnNames[ColNicDescription]] =
            router || echo ? QJsonValue() : Known(field(ColNicDescription));
        o[kColumnNames[ColNicMacAddress]] = Mac(field(ColNicMacAddress));
        o[kColumnNames[ColHostName]] = Known(field(ColHostName));
        o[kColumnNames[ColGatewayIpAddress]] = Known(field(ColGatewayIpAddress));
        o[kColumnNames[ColGatewayMacAddress]] = Mac(field(ColGatewayMacAddress));
        o[kColumnNames[ColSubnetMask]] = Known(field(ColSubnetMask));
        o[kColumnNames[ColBroadcastIpAddress]] = Known(field(ColBroadcastIpAddress));
        o[kColumnNames[ColDiagnosticInformation]] = field(ColDiagnosticInformation);
        o[QStringLiteral("ticked")] = row == doc.m_selectedRow;
        o[QStringLiteral("family")] = IsUnknown(address)                   ? QJsonValue()
                                      : address.contains(QLatin1Char(':')) ? QStringLiteral("ipv6")
                                                                           : QStringLiteral("ipv4");
        o[QStringLiteral("source")] = router ? QStringLiteral("router")
                                      : echo ? QStringLiteral("echo")
                                             : QStringLiteral("local");
        rows.append(o);
    }
    return QJsonDocument(rows).toJson(QJsonDocument::Indented);
}

int ListCommand(QSettings& profile, const Arguments& args, std::FILE* out, ConsoleOutput& say) {
    const bool json = args.Has("--json");
    if (json && args.Has("--header")) {
        say.Say(Priority::Error, QStringLiteral("quorvane-cli: --json has no header line"));
        return kCliUsage;
    }
    SettingsRecord settings;
    LoadSettings(profile, settings);
    AddressList doc;
    doc.SetRowChoice([&settings] {
        return RowChoice{settings.ShowHardwareOnly,
                         settings.ShowIPv6,
                         {settings.AskRouter, settings.EchoPageURL}};
    });
    ConsoleDocHost host(say, doc);
    doc.SetProfile(&profile);
    doc.OnNewDocument();
    RefreshAndWait(doc, kPublicGraceMs);
    host.Flush();
    // The stored selection is only read here; OnCloseDocument is not called.
    if (json) {
        const QByteArray text = RowsAsJson(doc);
        const bool written = std::fwrite(text.data(), 1, static_cast<std::size_t>(text.size()),
                                         out) == static_cast<std::size_t>(text.size());
        return std::fflush(out) == 0 && written ? kCliOk : kCliFailed;
    }
    if (args.Has("--header")) {
        QStringList names;
        for (const char* name : kColumnNames) {
            names << QLatin1String(name);
        }
        std::fprintf(out, "%s\n", qPrintable(names.join(QLatin1Char('\t'))));
    }
    return WriteRows(doc, out) ? kCliOk : kCliFailed;
}

}  // namespace qv
