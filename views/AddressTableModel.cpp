#include "views/AddressTableModel.h"

#include <utility>

#include "views/ColumnLayout.h"

namespace qv {

void AddressTableModel::Refill() {
    // Lines added or dropped at the end rather than a reset, which would lose the view's current
    // cell, selection and scroll position.
    const int rows = m_doc ? m_doc->RowCount() : 0;
    if (rows < m_rows) {
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    } else if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    }
    const auto inLines = [rows](int row) { return row >= 0 && row < rows ? row : -1; };
    m_ticked = inLines(m_doc ? m_doc->SelectedRow() : -1);
    m_second = inLines(m_doc ? m_doc->SecondRow() : -1);
    if (rows > 0) {
        emit dataChanged(index(0, 0), index(rows - 1, kListColumns - 1));
    }
}

void AddressTableModel::RowChanged(int row) {
    if (row >= 0 && row < m_rows) {
        emit dataChanged(index(row, 1), index(row, kListColumns - 1), {Qt::DisplayRole});
    }
}

void AddressTableModel::SetTicked(int row) {
    BoxesChanged(std::exchange(m_ticked, row), row);
}

void AddressTableModel::SetSecondTicked(int row) {
    BoxesChanged(std::exchange(m_second, row), row);
}

void AddressTableModel::BoxesChanged(int row, int other) {
    for (const int r : {row, other}) {
        if (r >= 0 && r < m_rows) {
            const QModelIndex box = index(r, 0);
            emit dataChanged(box, box, {Qt::CheckStateRole});
        }
    }
}

int AddressTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int AddressTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kListColumns;
}

QVariant AddressTableModel::data(const QModelIndex& index, int role) const {
    if (!m_doc || !index.isValid()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return m_doc->Field(index.row(), index.column());
    }
    if (role == Qt::CheckStateRole && index.column() == 0) {
        // A line that cannot be ticked shows an empty box that does not take a tick.
        return IsTicked(index.row()) ? Qt::Checked : Qt::Unchecked;
    }
    return {};
}

Qt::ItemFlags AddressTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0 && m_doc && m_doc->IsTickable(index.row())) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

QVariant AddressTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kListColumns) {
        return QString::fromLatin1(ListColumn(section).header);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool AddressTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != 0 || !index.isValid()) {
        return false;
    }
    const int row = index.row();
    const bool ticked = value.toInt() == Qt::Checked;
    if (ticked != IsTicked(row)) {
        emit BoxToggled(row, ticked);
    }
    // The box shows the ticks as they are now, also where the toggle was refused.
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

}  // namespace qv
