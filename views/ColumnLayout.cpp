#include "views/ColumnLayout.h"

#include <QStringList>

#include "resources/Ids.h"
#include "settings/SettingsRecord.h"

namespace qv {
namespace {

const ColumnInfo kColumns[kListColumns] = {
    {"NIC IP Address", kCmdColumnFirst},
    {"Interface#", kCmdColumnFirst + 1},
    {"Address Type", kCmdColumnFirst + 2},
    {"NIC Description", kCmdColumnFirst + 3},
    {"NIC MAC Address", kCmdColumnFirst + 4},
    {"Host Name", kCmdColumnFirst + 5},
    {"Gateway IP Address", kCmdColumnFirst + 6},
    {"Gateway MAC Address", kCmdColumnFirst + 7},
    {"Subnet Mask", kCmdColumnFirst + 8},
    {"Broadcast IP Address", kCmdColumnFirst + 9},
    {"Diagnostic Information", kCmdColumnFirst + 10},
};

constexpr int kDefaultWidth = 100;
constexpr int kMaxWidth = 1000;

const char* const kVisibilityKey = "ColumnVisibility";
const char* const kOrderKey = "ColumnOrder";
const char* const kWidthsKey = "ColumnWidths";

}  // namespace

const ColumnInfo& ListColumn(int column) {
    return kColumns[column];
}

int ColumnOfCommand(int command) {
    for (int c = 1; c < kListColumns; ++c) {
        if (kColumns[c].command == command) {
            return c;
        }
    }
    return -1;
}

ColumnLayout::ColumnLayout() {
    for (int c = 0; c < kListColumns; ++c) {
        visible[c] = 1;
        order[c] = c;
        width[c] = kDefaultWidth;
    }
}

void ColumnLayout::Scan(const QString& text, std::array<int, kListColumns>& values) {
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int i = 0; i < kListColumns && i < parts.size(); ++i) {
        bool ok = false;
        const int v = parts[i].toInt(&ok);
        if (!ok) {
            return;
        }
        values[i] = v;
    }
}

QString ColumnLayout::Format(const std::array<int, kListColumns>& values) {
    QStringList parts;
    for (const int v : values) {
        parts << QString::number(v);
    }
    return parts.join(QLatin1Char(' '));
}

void ColumnLayout::Parse(const QString& visibility, const QString& orders, const QString& widths) {
    Scan(visibility, visible);
    Scan(orders, order);
    Scan(widths, width);
    Repair();
}

void ColumnLayout::Repair() {
    for (int& w : width) {
        if (w < 1 || w > kMaxWidth) {
            w = kDefaultWidth;
        }
    }
    // The order must name every column once; anything else (a number of 11 or more, a negative
    // one, a repeated one) puts all columns back in their own order.
    std::array<bool, kListColumns> seen{};
    bool valid = true;
    for (const int o : order) {
        if (o < 0 || o >= kListColumns || seen[o]) {
            valid = false;
            break;
        }
        seen[o] = true;
    }
    if (!valid) {
        for (int c = 0; c < kListColumns; ++c) {
            order[c] = c;
        }
    }
    for (int& v : visible) {
        v = v != 0 ? 1 : 0;
    }
    visible[0] = 1;  // the column with the check box has no menu item to bring it back
}

ColumnLayout LoadColumnLayout() {
    const ColumnLayout defaults;
    ColumnLayout layout;
    layout.Parse(
        LoadWindowState(QLatin1String(kVisibilityKey), defaults.VisibilityText()).toString(),
        LoadWindowState(QLatin1String(kOrderKey), defaults.OrderText()).toString(),
        LoadWindowState(QLatin1String(kWidthsKey), defaults.WidthsText()).toString());
    return layout;
}

void StoreColumnLayout(const ColumnLayout& layout) {
    StoreWindowState({{QLatin1String(kVisibilityKey), layout.VisibilityText()},
                      {QLatin1String(kOrderKey), layout.OrderText()},
                      {QLatin1String(kWidthsKey), layout.WidthsText()}});
}

}  // namespace qv
