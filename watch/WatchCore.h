#pragma once

#include <QSettings>

#include <memory>

#include "network/AddressList.h"
#include "watch/AddressWatcher.h"
#include "watch/DocAdapter.h"

namespace qv {

// The machine's own services unless a test hands others.
struct WatchServices {
    INetTables* tables = nullptr;
    IResolver* resolver = nullptr;
    IPublicAddressQueries* publicQueries = nullptr;
};

// What both faces watch with: the settings profile, the address list that keeps its "Data" values
// there, and the watcher that shows what the list says and works on it. A face makes one and
// attaches only itself: its output lines, its answers to the watcher's questions, its views.
class WatchCore {
  public:
    explicit WatchCore(UserQuestions& questions, WatchServices services = {});
    WatchCore(const WatchCore&) = delete;
    WatchCore& operator=(const WatchCore&) = delete;

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
