#pragma once

#include <QString>

#include <array>

namespace qv {

inline constexpr int kListColumns = 11;

// One column of the address list: its header and the View menu command that toggles it (column 0
// has no menu item and is always shown).
struct ColumnInfo {
    const char* header;
    int command;
};
const ColumnInfo& ListColumn(int column);
// Column toggled by a View menu command, -1 for another command.
int ColumnOfCommand(int command);

// The list's stored layout: per column (in list column order) its visibility, its entry of the
// header's order array (the column shown at that display position) and its width in pixels.
// Stored in section "Settings" as "ColumnVisibility", "ColumnOrder" and "ColumnWidths", each
// eleven numbers separated by single blanks.
struct ColumnLayout {
    std::array<int, kListColumns> visible;
    std::array<int, kListColumns> order;
    std::array<int, kListColumns> width;

    ColumnLayout();  // all shown, in column order, 100 pixels wide

    // Reads stored strings over the current values (numbers missing from a short or broken
    // string keep their value), then repairs: widths outside 1..1000 become 100, an order that
    // is not an arrangement of 0..10 becomes 0..10, and column 0 is always shown.
    void Parse(const QString& visibility, const QString& orders, const QString& widths);
    void Repair();

    QString VisibilityText() const { return Format(visible); }
    QString OrderText() const { return Format(order); }
    QString WidthsText() const { return Format(width); }

    static QString Format(const std::array<int, kListColumns>& values);
    // Numbers from the front of `text` into `values`; stops at the first one that does not read.
    static void Scan(const QString& text, std::array<int, kListColumns>& values);
};

// The layout stored in the settings file, over the defaults.
ColumnLayout LoadColumnLayout();
void StoreColumnLayout(const ColumnLayout& layout);

}  // namespace qv
