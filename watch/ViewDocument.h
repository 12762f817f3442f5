#pragma once

#include <QString>

namespace qv {

// The document as the two views use it: the rows to show, the selection, and the refreshes the
// control pane starts. The program hands the views an adapter of AddressList; tests a fake.
class IViewDocument {
  public:
    virtual ~IViewDocument() = default;

    virtual int RowCount() const = 0;
    // Field `column` (0..10, in list column order) of `row`.
    virtual QString Field(int row, int column) const = 0;
    // Index of the selected row, -1 for none.
    virtual int SelectedRow() const = 0;
    // Address text of the selection, "---.---.---.---" before any row was selected.
    virtual QString SelectedIp() const = 0;
    // The user ticked `row`: it becomes the watched address.
    virtual void SelectRow(int row) = 0;
    // Whether `row` may be ticked at all (a temporary IPv6 address may not).
    virtual bool IsTickable(int row) const {
        (void)row;
        return true;
    }
    // The second tick: an IPv6 row beside the selected IPv4 one (-1, empty: none).
    virtual int SecondRow() const { return -1; }
    virtual QString SecondSelectedIp() const { return {}; }
    // Whether `row` would take the second tick.
    virtual bool MayBeSecond(int row) const {
        (void)row;
        return false;
    }
    // The user ticked `row` as the second address (-1: took that tick off).
    virtual void SelectSecondRow(int row) { (void)row; }
    // Writes the selection to the settings file; false when it could not be written.
    virtual bool StoreSelection() = 0;

    // Reads the stored selection again from the settings file; the next refresh finds it.
    virtual void ReloadSelection() {}

    // Full refresh (row -1) or refresh of one row.
    virtual bool RefreshNetworkInfo(int row) = 0;
    // The quiet check the polling timer runs.
    virtual bool CheckSelection() = 0;
    // A refresh or check runs (its look-ups may still be out).
    virtual bool IsRefreshing() const { return false; }
};

}  // namespace qv
