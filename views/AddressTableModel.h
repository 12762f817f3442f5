#pragma once

#include <QAbstractTableModel>

#include "watch/ViewDocument.h"

namespace qv {

// The address list's lines as a table model that reads the document's texts where they are,
// keeping no copy of them. The lines counted are the document's rows at the last Refill; the first
// column carries the check box of each line, ticked on the two lines the model is told of.
class AddressTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit AddressTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void SetDocument(IViewDocument* doc) { m_doc = doc; }

    // Counts the document's rows again, shows their texts anew and takes its ticked rows (those
    // outside the lines are none).
    void Refill();
    // The document's texts of one line changed, except its first column.
    void RowChanged(int row);

    // The ticked line and the IPv6 line ticked beside it, -1 for none.
    int Ticked() const { return m_ticked; }
    int SecondTicked() const { return m_second; }
    void SetTicked(int row);
    void SetSecondTicked(int row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // A check box toggled by the user: reported by BoxToggled, the ticks stay as they are.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  signals:
    void BoxToggled(int row, bool ticked);

  private:
    bool IsTicked(int row) const { return row >= 0 && (row == m_ticked || row == m_second); }
    // Repaints the check boxes of the lines whose tick may have changed.
    void BoxesChanged(int row, int other);

    IViewDocument* m_doc = nullptr;
    int m_rows = 0;
    int m_ticked = -1;
    int m_second = -1;
};

}  // namespace qv
