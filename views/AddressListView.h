#pragma once

#include <QList>
#include <QTableView>

#include "views/AddressTableModel.h"
#include "views/ColumnLayout.h"
#include "watch/ViewDocument.h"

class QAction;

namespace qv {

// The address list: one line per address row of the document, one column per field, a check box
// in the first column marking the watched address. The lines are a view of the document's own
// texts (AddressTableModel), so that a long list leaves nothing behind once it is short again.
// Columns can be hidden from the View menu, dragged to another place and resized; the layout is
// kept in the settings file.
//
// The columns keep the widths the user gave them; a list wider than their sum shares its width
// among the shown columns in proportion to those widths.
//
// The tick follows the user's choice: a click on a line, or the space bar on the current line,
// moves the tick there and hands the row to the document. A tick cannot be taken away, only moved.
// Hidden columns keep their place and width, and come back where they were.
class AddressListView : public QTableView {
    Q_OBJECT

  public:
    explicit AddressListView(QWidget* parent = nullptr);

    void SetDocument(IViewDocument* doc) {
        m_doc = doc;
        m_model->SetDocument(doc);
    }

    // Applies the stored column layout and sets the View menu's check marks.
    void OnInitialUpdate();
    // Captures the layout and stores it in the settings file.
    void OnDestroy();

    // Rebuilds the lines from the document and ticks its selected row.
    void RefillList();
    // Shows the document's current texts of one line again, leaving the rest as they are.
    void UpdateRow(int row);

    // The ten View menu items checked while their column is shown.
    const QList<QAction*>& ColumnActions() const { return m_actions; }
    // Toggles the column of a View menu command.
    void ToggleColumn(int command);

    // Reads the header's current order and the shown columns into the layout (the widths are
    // kept there as the user sets them).
    void SaveColumnLayout();
    const ColumnLayout& Layout() const { return m_layout; }

    // The ticked line, -1 for none.
    int CheckedItem() const { return m_model->Ticked(); }
    // The IPv6 line ticked beside the IPv4 one, -1 for none.
    int SecondItem() const { return m_model->SecondTicked(); }

  signals:
    // The user moved the tick; the document has the row.
    void UserTicked();

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void ApplyLayout();
    // Gives each shown column its own width, or its share of a wider list.
    void FitColumns();
    // A column resized by the user: the widths shown become the columns' own.
    void OnSectionResized(int column, int oldSize, int newSize);
    void OnCellClicked(const QModelIndex& index);
    // The check box of `row` toggled by the user.
    void OnBoxToggled(int row, bool ticked);
    // Ticks `row`: beside the ticked IPv4 line when it is an IPv6 line that may be, else in the
    // place of the ticked line.
    void MoveTick(int row);
    void MoveFirstTick(int row);
    void MoveSecondTick(int row);

    IViewDocument* m_doc = nullptr;
    AddressTableModel* m_model;  // a child of the view
    ColumnLayout m_layout;
    QList<QAction*> m_actions;
    bool m_fitting = false;  // the widths are being set here, not by the user
};

}  // namespace qv
