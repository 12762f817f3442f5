#pragma once

#include "network/DocHost.h"
#include "network/IpAddressRow.h"
#include "platform/Clock.h"
#include "platform/NetTables.h"
#include "platform/Resolver.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class QSettings;

namespace qv {

// The program's one document: the local host, the address rows built from the machine's network
// tables, and the selected address with its change detection. Everything runs on the caller's
// (user-interface) thread; only the reverse look-ups of a refresh use worker threads, while the
// host's KeepResponsive() is called.
class CQuorvaneDoc {
  public:
    explicit CQuorvaneDoc(IDocHost* host = nullptr, INetTables& tables = DefaultNetTables(),
                          IResolver& resolver = DefaultResolver(), IClock& clock = DefaultClock());

    // The windows around the document; null sends output nowhere.
    void SetHost(IDocHost* host);
    // Where the "Data" values are read and written; null keeps them in memory only.
    void SetProfile(QSettings* profile);

    // Sizes the column arrays and reads the stored selection. Always true.
    bool OnNewDocument();
    // Stores the selection ("InterfaceNum", "NICDescription", "HostName" and "IPAddress" in
    // section "Data"); false when the file could not be written.
    bool StoreSelection();
    void OnCloseDocument() { StoreSelection(); }

    // Local host, rows (row -1: all; else that row only), selection check, log-size check.
    // False only when called while a refresh is already running (nothing is done then).
    bool RefreshNetworkInfo(int row);
    bool IsRefreshing() const { return m_bRefreshing; }
    void ReadLocalHostInfo();

    // Table copies with their status lines; nothing when the table is missing. An empty
    // neighbour table is reported and then given as an empty table so rows still get built.
    std::optional<std::vector<IpAddrRow>> GetAddrTableSnapshot();
    std::optional<std::vector<IpNetRow>> GetNetTableSnapshot();
    std::optional<std::vector<IfRow>> GetIfTableSnapshot();
    // Reverse look-ups of the local non-loopback addresses, so the neighbour table fills.
    void ForceArpPopulation();

    void ReportStatus(const QString& text, bool append);
    void ReportStatus(int stringId, bool append);
    void ReportStatus(int stringId, bool append, bool log);
    // "<label> <system text>"; the labels end in a blank.
    void ReportTableError(const QString& label, const QString& systemText);
    void ShowOutputHeading();

    enum class BuildResult { Built, TablesMissing, InterfaceGone };
    // Rows from fresh table copies: row -1 rebuilds all and sets m_nRowCount; a row index
    // rebuilds that row while its interface still holds its address, else all rows
    // (InterfaceGone, and no row changes, when the interface holds no address).
    BuildResult BuildRows(int row);
    // row -1: blanks every valid row; else blanks that row.
    void ClearRows(int row);

    struct NetEntryMatch {
        std::size_t position = 0;
        QString address;
        QString type;
    };
    // The neighbour entry shown for an interface: the entry of one of its default-route gateways
    // when the table holds it, else its first entry in table order.
    static std::optional<NetEntryMatch> FindNetEntry(
        const std::vector<IpNetRow>& net, std::uint32_t index,
        const std::vector<DefaultGatewayRow>& gateways = {});
    struct IfEntryMatch {
        std::size_t position = 0;
        QString description;
    };
    static std::optional<IfEntryMatch> FindIfEntry(const std::vector<IfRow>& ifs,
                                                   std::uint32_t index);
    static QString NetTypeText(std::uint32_t type);
    // "00-1A-2B-3C-4D-5E"; empty for length 0; at most 8 bytes are shown.
    static QString FormatPhysAddress(const std::uint8_t* bytes, std::uint32_t len);
    // Reverse look-up into the host-name field of `row`; returns the error text, empty on success.
    QString LookupHostName(int row, std::uint32_t addr);

    // Makes `row` the selection and tells the panes (tray tip, preview, posted 32800).
    void SelectRow(int row);
    // Finds the stored selection among the rows after a refresh; among several rows of the
    // selected interface the one with the stored address wins.
    void VerifySelection();
    // The quiet periodic check: rebuilds the selected row (or all rows) without logging.
    bool CheckSelection();

    // Field `col` of row `row`; empty outside the arrays.
    QString Field(int row, InfoColumn col) const;
    IpAddressRow Row(int row) const;

    // Read by the views; written by the document only.
    int m_bLogStatus = 1;
    QString m_strSelectedIp;
    QString m_strInterfaceNum;
    QString m_strNicDescription;
    QString m_strHostName;
    // The address of the last selection, stored with it; kept while the address is lost, so that
    // it is preferred again when it comes back.
    QString m_strStoredIp;
    QString m_strLocalHostName;
    QString m_strLocalHostIp;
    int m_nSelectedRow = -1;
    std::array<QStringList, kColumnCount> m_columns;
    unsigned int m_nRowCount = 0;

  private:
    void SetField(int row, InfoColumn col, const QString& text);
    void LoseSelectedAddress();
    std::optional<QString> RoutedAddress();
    QString ApplyHostName(int row, const ReverseLookupResult& result);
    void KeepResponsive();

    IDocHost* m_host;
    INetTables& m_tables;
    IResolver& m_resolver;
    IClock& m_clock;
    QSettings* m_profile = nullptr;
    bool m_bRefreshing = false;
    bool m_bMessageOpen = false;
};

}  // namespace qv
