#pragma once

#include "network/AddressList.h"
#include "settings/SettingsRecord.h"
#include "watch/ViewDocument.h"

namespace qv {

// The program's document as the views see it.
class DocAdapter : public IViewDocument {
  public:
    explicit DocAdapter(AddressList& doc) : m_doc(doc) {}

    int RowCount() const override { return static_cast<int>(m_doc.m_rowCount); }
    QString Field(int row, int column) const override {
        return m_doc.Field(row, static_cast<InfoColumn>(column));
    }
    int SelectedRow() const override { return m_doc.m_selectedRow; }
    QString SelectedIp() const override { return m_doc.m_selectedIp; }
    void SelectRow(int row) override { m_doc.SelectRow(row); }
    bool IsTickable(int row) const override { return m_doc.IsTickable(row); }
    int SecondRow() const override { return m_doc.m_secondRow; }
    QString SecondSelectedIp() const override { return m_doc.m_secondIp; }
    bool MayBeSecond(int row) const override { return m_doc.MayBeSecond(row); }
    void SelectSecondRow(int row) override { m_doc.SelectSecondRow(row); }
    bool StoreSelection() override {
        RestrictSettingsFile();  // created readable by its owner only
        return m_doc.StoreSelection();
    }
    void ReloadSelection() override { m_doc.ReloadSelection(); }
    bool RefreshNetworkInfo(int row) override { return m_doc.RefreshNetworkInfo(row); }
    bool CheckSelection() override { return m_doc.CheckSelection(); }
    bool IsRefreshing() const override { return m_doc.IsRefreshing(); }

  private:
    AddressList& m_doc;
};

}  // namespace qv
