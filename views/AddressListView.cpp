#include "views/AddressListView.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QScopedValueRollback>

#include "resources/StringTable.h"

// QT_LOGGING_RULES="quorvane.list.debug=true" prints the lines at each refill.
Q_LOGGING_CATEGORY(lcList, "quorvane.list", QtWarningMsg)

namespace qv {
namespace {

// The View menu texts of columns 1..10.
const char* const kMenuTexts[kListColumns] = {
    nullptr,
    "&Interface Number",
    "&Address Type",
    "NIC &Description",
    "&NIC MAC Address",
    "&Host Name",
    "&Gateway IP Address",
    "Gateway &MAC Address",
    "Subnet Mask",
    "&Broadcast IP Address",
    "Diagnostic Information",
};

}  // namespace

AddressListView::AddressListView(QWidget* parent)
    : QTableView(parent), m_model(new AddressTableModel(this)) {
    setModel(m_model);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setSortingEnabled(false);

    for (int c = 1; c < kListColumns; ++c) {
        const int command = ListColumn(c).command;
        auto* action = new QAction(QString::fromLatin1(kMenuTexts[c]), this);
        action->setCheckable(true);
        action->setChecked(true);
        action->setStatusTip(LoadString(command));
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { ToggleColumn(command); });
        m_actions << action;
    }

    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            &AddressListView::OnSectionResized);
    connect(this, &QAbstractItemView::clicked, this, &AddressListView::OnCellClicked);
    connect(m_model, &AddressTableModel::BoxToggled, this, &AddressListView::OnBoxToggled);
}

void AddressListView::OnInitialUpdate() {
    m_layout = LoadColumnLayout();
    ApplyLayout();
}

void AddressListView::ApplyLayout() {
    const QScopedValueRollback<bool> fitting(m_fitting, true);
    QHeaderView* header = horizontalHeader();
    for (int c = 0; c < kListColumns; ++c) {
        setColumnHidden(c, m_layout.visible[c] == 0);
        if (c > 0) {
            m_actions[c - 1]->setChecked(m_layout.visible[c] != 0);
        }
    }
    for (int pos = 0; pos < kListColumns; ++pos) {
        header->moveSection(header->visualIndex(m_layout.order[pos]), pos);
    }
    FitColumns();
}

void AddressListView::FitColumns() {
    const QScopedValueRollback<bool> fitting(m_fitting, true);
    qint64 total = 0;
    for (int c = 0; c < kListColumns; ++c) {
        total += isColumnHidden(c) ? 0 : m_layout.width[c];
    }
    const qint64 room = viewport()->width();
    const bool share = total > 0 && room > total;
    // Shares by running sums, so that they add up to the room exactly.
    qint64 before = 0;
    for (int pos = 0; pos < kListColumns; ++pos) {
        const int c = horizontalHeader()->logicalIndex(pos);
        if (isColumnHidden(c)) {
            continue;
        }
        const qint64 after = before + m_layout.width[c];
        setColumnWidth(c, share ? static_cast<int>(after * room / total - before * room / total)
                                : m_layout.width[c]);
        before = after;
    }
}

void AddressListView::OnSectionResized(int, int, int newSize) {
    if (m_fitting || newSize <= 0) {
        return;  // fitted here, or hidden
    }
    for (int c = 0; c < kListColumns; ++c) {
        if (!isColumnHidden(c) && columnWidth(c) > 0) {
            m_layout.width[c] = columnWidth(c);
        }
    }
}

void AddressListView::resizeEvent(QResizeEvent* e) {
    QTableView::resizeEvent(e);
    FitColumns();
}

void AddressListView::SaveColumnLayout() {
    const QHeaderView* header = horizontalHeader();
    for (int pos = 0; pos < kListColumns; ++pos) {
        m_layout.order[pos] = header->logicalIndex(pos);
    }
    for (int c = 0; c < kListColumns; ++c) {
        m_layout.visible[c] = isColumnHidden(c) ? 0 : 1;
    }
}

void AddressListView::OnDestroy() {
    SaveColumnLayout();
    StoreColumnLayout(m_layout);
}

void AddressListView::ToggleColumn(int command) {
    const int column = ColumnOfCommand(command);
    if (column < 0) {
        return;
    }
    SaveColumnLayout();
    QAction* action = m_actions[column - 1];
    const bool show = isColumnHidden(column);
    action->setChecked(show);
    m_layout.visible[column] = show ? 1 : 0;
    {
        const QScopedValueRollback<bool> fitting(m_fitting, true);
        setColumnHidden(column, !show);
    }
    FitColumns();
    SaveColumnLayout();
    RefillList();
}

void AddressListView::RefillList() {
    m_model->Refill();
    const int rows = m_model->rowCount();
    if (lcList().isDebugEnabled()) {
        for (int r = 0; r < rows; ++r) {
            QStringList fields;
            for (int c = 0; c < kListColumns; ++c) {
                fields << m_doc->Field(r, c);
            }
            qCDebug(lcList).noquote() << "row" << r << fields.join(QLatin1String(" | "));
        }
    }
}

void AddressListView::UpdateRow(int row) {
    m_model->RowChanged(row);  // column 0, the address with its tick, stays
}

void AddressListView::MoveTick(int row) {
    if (row < 0 || row >= m_model->rowCount()) {
        return;
    }
    if (m_doc && row != CheckedItem() && m_doc->MayBeSecond(row)) {
        MoveSecondTick(row);
    } else {
        MoveFirstTick(row);
    }
}

void AddressListView::MoveSecondTick(int row) {
    const int old = SecondItem();
    m_model->SetSecondTicked(row);
    if (old != row) {
        m_doc->SelectSecondRow(row);
        emit UserTicked();
    }
}

void AddressListView::MoveFirstTick(int row) {
    if (row == CheckedItem() || (m_doc && !m_doc->IsTickable(row))) {
        return;
    }
    m_model->SetTicked(row);
    if (row == SecondItem()) {
        m_model->SetSecondTicked(-1);
    }
    selectRow(row);
    if (m_doc) {
        m_doc->SelectRow(row);
        // An IPv6 line ticked in the IPv4 one's place leaves no second tick.
        if (SecondItem() >= 0 && m_doc->SecondRow() != SecondItem()) {
            m_model->SetSecondTicked(-1);
        }
        emit UserTicked();
    }
}

void AddressListView::OnCellClicked(const QModelIndex& index) {
    if (index.isValid()) {
        MoveTick(index.row());
    }
}

void AddressListView::OnBoxToggled(int row, bool ticked) {
    // Ticking a line selects it; taking the tick off the selected line is undone.
    if (ticked) {
        MoveTick(row);
    } else if (row == SecondItem()) {
        m_model->SetSecondTicked(-1);
        m_doc->SelectSecondRow(-1);
    } else if (row == CheckedItem() && SecondItem() >= 0) {
        // The IPv4 tick taken off beside an IPv6 one leaves the IPv6 line ticked alone; the
        // only tick cannot be taken off.
        MoveFirstTick(SecondItem());
    }
}

void AddressListView::keyPressEvent(QKeyEvent* e) {
    const int row = currentIndex().row();
    if ((e->key() == Qt::Key_Space || e->key() == Qt::Key_Select) && row >= 0) {
        MoveTick(row);
        e->accept();
        return;
    }
    QTableView::keyPressEvent(e);
}

}  // namespace qv
