#pragma once

#include <QSettings>

#include <memory>

#include "network/AddressList.h"
#include "settings/SettingsRecord.h"
#include "watch/AddressWatcher.h"
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

// The machine's own services unless a test hands others.
struct WatchServices {
    INetTables* tables = nullptr;
    IResolver* resolver = nullptr;
    IPublicAddressQueries* publicQueries = nullptr;
};

// What both faces watch with: the settings profile, the address list that keeps its "Data" values
// there (the stored selection read at once), and the watcher that shows what the list says and
// works on it, its minute shortened by QV_POLL_MINUTE_MS for tests that cannot wait minutes. A face
// makes one and attaches only itself: its output lines, its answers to the watcher's questions, its
// views.
class WatchCore {
  public:
    explicit WatchCore(UserQuestions& questions, WatchServices services = {});

    AddressWatcher& Watcher() { return m_watcher; }
    AddressList& List() { return m_list; }
    // The list as the views and the watcher read it.
    IViewDocument& Document() { return m_document; }
    // The stored settings, read into the watcher's record, which they return. (Start reads them
    // again; a face that does not start the watcher reads them here.)
    SettingsRecord& ReadSettings();

  private:
    std::unique_ptr<QSettings> m_profile;
    AddressList m_list;
    DocAdapter m_document{m_list};
    AddressWatcher m_watcher;  // last: it goes first and leaves the list alone
};

}  // namespace qv
