#pragma once

#include "network/IpAddressRow.h"
#include "network/PublicAddressRows.h"
#include "network/RowTexts.h"
#include "platform/Clock.h"
#include "platform/NetTables.h"
#include "platform/Resolver.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QSettings;

namespace qv {

class ReverseLookupBatch;

// What the rows show, read at each refresh.
struct RowChoice {
    bool hardwareOnly = false;  // only interfaces with a hardware address
    bool ipv6 = true;           // IPv6 addresses get rows
    // The sources of the public address to ask at each refresh; none unless the owner says so.
    PublicSourceChoice publicSources;
};

// The program's one document: the local host, the address rows built from the machine's network
// tables, and the selected address with its change detection. Everything runs on the caller's
// thread. A refresh builds the rows as soon as the local host's address is known (at once from
// the hosts file or cache), with "Looking up ..." in the host-name column of the rows whose name
// is asked for; the reverse look-ups then run together, their answers fill the rows from the
// event loop (the host hears of each row), and when the last has come, or the one look-up
// deadline of the refresh has passed, the refresh ends with the selection check. What it has to
// show it reports by signals, in the order it happens.
class AddressList : public QObject {
    Q_OBJECT

  public:
    explicit AddressList(INetTables& tables = DefaultNetTables(),
                         IResolver& resolver = DefaultResolver(), IClock& clock = DefaultClock(),
                         IPublicAddressQueries& publicQueries = DefaultPublicAddressQueries());
    ~AddressList() override;
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;

    // What the rows show, asked at each refresh; empty: the defaults of RowChoice.
    void SetRowChoice(std::function<RowChoice()> choice);
    // Where the "Data" values are read and written; null keeps them in memory only.
    void SetProfile(QSettings* profile);

    // Starts with ten empty rows and reads the stored selection. Always true.
    bool OnNewDocument();
    // Stores the selection ("InterfaceNum", "NICDescription", "HostName" and "IPAddress" in
    // section "Data"); false when the file could not be written.
    bool StoreSelection();
    // Reads the stored selection again, as another program may have written it; the rows stay
    // until the next refresh.
    void ReloadSelection();
    void OnCloseDocument() { StoreSelection(); }

    // Local host, rows (row -1: all; else that row only), selection check, log-size check.
    // Asked for while the look-ups of a refresh run, it follows when that refresh has ended (a
    // full refresh covers any row). False only when called from inside a refresh's own steps
    // (nothing is done then).
    bool RefreshNetworkInfo(int row);
    // A refresh has started and not ended yet (its look-ups may still run).
    bool IsRefreshing() const { return m_refreshing; }
    // The router or the echo page has been asked and has not answered yet.
    bool IsAskingPublicSources() const { return m_publicPending; }
    // Runs `idle` once, when a refresh or a question to a public address source ends and neither
    // is left; empty: nothing.
    void WhenIdle(std::function<void()> idle) { m_whenIdle = std::move(idle); }
    // The rows from the machine's own tables are complete, their host names answered or given
    // up; the refresh may still wait for the public address sources.
    bool LocalRowsReady() const { return !m_hostLookup && !m_rowsPending; }
    // Runs `ready` once, when LocalRowsReady() has become true; empty: nothing.
    void WhenLocalRowsReady(std::function<void()> ready) { m_whenLocalReady = std::move(ready); }
    // The one deadline for all reverse look-ups of a refresh.
    void SetLookupDeadline(int ms) { m_lookupDeadlineMs = ms > 0 ? ms : kDefaultLookupDeadlineMs; }
    static constexpr int kDefaultLookupDeadlineMs = 2000;
    // Whether a refresh asks for host names (the local host's address and each row's name); off,
    // every row's name is unknown and no refresh waits for a name server.
    void SetHostNameLookups(bool on) { m_hostNameLookups = on; }
    // Starts the local host line: the host name and its address. Answered at once from the
    // hosts file or the cache; else the line is set when the name servers answer.
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
    // Rows from fresh table copies, followed by the public address rows: row -1 rebuilds all
    // and sets m_rowCount; a public row is filled from its source's last answer; a row index
    // rebuilds that row while its interface still holds its address, else all rows
    // (InterfaceGone, and no row changes, when the interface holds no address). The host names
    // are looked up together: answers known at once are in the rows on return, the others fill
    // them from the event loop, and the "Complete" line follows the last one (or the deadline).
    BuildResult BuildRows(int row);
    // row -1: blanks every valid row; -1 - n: the valid rows from n on; else blanks that row.
    void ClearRows(int row);

    struct NetEntryMatch {
        std::optional<std::size_t> position;  // none: a route's gateway not in the table yet
        QString address;
        QString type;
    };
    // The gateway shown for an interface: the neighbour entry of one of its default-route
    // gateways; else that gateway itself, before the neighbour table holds it (type "unknown");
    // else its first entry in table order. Multicast, broadcast and NOARP entries are never one.
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
    // The host-name column of a row whose look-up has not been answered yet.
    static QString LookingUpText();

    // Makes `row` the selection and tells the panes (tray tip, preview, the posted selection
    // change); a row that cannot be ticked is refused.
    void SelectRow(int row);
    // A valid row that may be ticked: not a temporary IPv6 address, which changes by design, nor
    // a public address row whose source has not answered yet.
    bool IsTickable(int row) const;
    // The second tick: a global or public IPv6 row ticked beside the selected IPv4 row, so that
    // both families are watched. A row that may take it: tickable, IPv6 and not unique-local,
    // while the selection is an IPv4 row.
    bool MayBeSecond(int row) const;
    // Makes `row` the second selection (-1 takes it away) and tells the panes as SelectRow does.
    void SelectSecondRow(int row);
    // The tray tip's address: the selected one, and the second after it.
    QString TrayText() const;
    // Finds the stored selection among the rows after a refresh; among several rows of the
    // selected interface the one with the stored address wins, else the first of its family.
    void VerifySelection();
    // The quiet periodic check: rebuilds the selected row (or all rows) without logging.
    bool CheckSelection();

    // Field `col` of row `row`; empty outside the arrays.
    QString Field(int row, InfoColumn col) const;
    IpAddressRow Row(int row) const;

    // Read by the views; written by the document only.
    int m_logStatus = 1;
    QString m_selectedIp;
    QString m_interfaceNum;
    QString m_nicDescription;
    QString m_hostName;
    // The address of the last selection, stored with it; kept while the address is lost, so that
    // it is preferred again when it comes back.
    QString m_storedIp;
    QString m_localHostName;
    QString m_localHostIp;
    int m_selectedRow = -1;
    // The second selection, stored under keys of its own ("InterfaceNum6", "NICDescription6",
    // "IPAddress6"), which are absent while none is ticked. m_secondIp is empty while its
    // interface holds no such address; m_secondStoredIp is kept then.
    QString m_secondIp;
    QString m_secondInterfaceNum;
    QString m_secondNicDescription;
    QString m_secondStoredIp;
    int m_secondRow = -1;
    RowTexts m_texts;  // the rows' fields
    unsigned int m_rowCount = 0;

  signals:
    // A line for the output box: it replaces the box's text (append false) or follows a line
    // break; `log`: it also goes to the event log.
    void OutputLine(const QString& text, bool append, bool log);
    // Caption of the output box's frame.
    void OutputHeading(const QString& text);
    // The local host line: the host name and its address.
    void LocalHostChanged(const QString& text);
    // The rows changed: a shown list fills itself again and ticks the selected one.
    void RowsChanged();
    // A row's host name (and diagnostic) has been filled in after the rows were shown.
    void RowChanged(int row);
    // The ticked addresses as the notification-area tip shows them; the forwarding preview
    // follows them.
    void SelectedAddressChanged(const QString& trayText);
    // The user or a check changed the watched address: it is to be forwarded.
    void SelectionChanged();
    // The selected interface is gone; `text` asks the user to tick another address.
    void SelectionLost(const QString& text);
    // A refresh has ended: its look-ups are answered or given up and the selection is checked.
    void RefreshFinished();

  private:
    void ReadStoredSelection();
    RowChoice RowsChoice() const;

    std::size_t m_tableSize = 0;     // addresses in the tables of the last refresh
    std::size_t m_largestTable = 0;  // the most since the heap was last given back
    // The steps of BuildRows.
    struct RowTables;
    struct Candidate;
    struct PendingRow;
    struct RowLookups {
        std::vector<std::uint32_t> v4;
        std::vector<Ipv6Bytes> v6;
    };
    bool ReadRowTables(RowTables& tables);
    static std::vector<Candidate> CandidatesOf(const RowTables& tables);
    bool ChooseRows(const std::vector<Candidate>& candidates, int& row,
                    std::vector<const Candidate*>& chosen);
    void ClearForBuild(int row);
    std::vector<PendingRow> FillAddressFields(const RowTables& tables,
                                              const std::vector<const Candidate*>& chosen, int row,
                                              RowLookups& lookups, int& endRow);
    void FillHostNameFields(const std::vector<PendingRow>& pending);
    void StartHostLookups(const RowLookups& lookups);
    std::vector<char> m_untickable;  // by row: 1 for a row that cannot be ticked
    void SetField(int row, InfoColumn col, const QString& text);
    // One stored copy of a text that many rows of a build show; kept until the next build.
    RowTexts::TextId SharedText(const QString& text);
    void LoseSelectedAddress();
    void VerifyFirst();
    void SetSecond(int row);
    // Finds the second selection again; `told`: the panes have heard of a change already.
    void VerifySecond(bool told);
    std::optional<QString> RoutedAddress();
    void ApplyHostName(std::size_t lookup, const ReverseLookupResult& result);
    void FinishRows();
    void FinishRefresh(bool verify);
    void BuildAndFinish();
    void GiveBackTableMemory();
    void ShowLocalHost(std::optional<QString> ip);
    // The public rows after the local ones, from their sources' last answers.
    void ShowPublicRows();
    bool WaitsForPublicSources() const;
    void OnPublicAnswered();
    void TellIfIdle();
    int LookupTimeLeft() const;
    // The running refresh waits for the local host's address or for its rows' look-ups.
    bool IsWaiting() const {
        return m_hostLookup != nullptr || m_rowsPending || WaitsForPublicSources();
    }

    std::function<RowChoice()> m_rowChoice;
    INetTables& m_tables;
    IResolver& m_resolver;
    IClock& m_clock;
    QSettings* m_profile = nullptr;
    bool m_refreshing = false;
    bool m_refreshQuiet = false;         // the running refresh is a quiet check
    bool m_rowsPending = false;          // BuildRows' look-ups still run
    bool m_publicPending = false;        // the public address sources are being asked
    bool m_verifyAtEnd = true;           // the selection is checked when the refresh ends
    bool m_hostNamePending = false;      // the selection's host name is still being looked up
    std::optional<int> m_queuedRefresh;  // asked for while look-ups ran: the row, -1 for all
    bool m_queuedQuiet = true;
    int m_lookupDeadlineMs = kDefaultLookupDeadlineMs;
    bool m_hostNameLookups = true;
    // The rows waiting for a look-up, by look-up index: row and diagnostic so far.
    struct PendingName {
        int row;
        QString diagnostic;
    };
    std::vector<PendingName> m_pendingNames;
    std::vector<std::pair<QString, RowTexts::TextId>> m_sharedTexts;  // this build's, by text
    std::unique_ptr<ReverseLookupBatch> m_batch;
    std::unique_ptr<PendingLookups> m_hostLookup;  // the local host's address, when it is asked for
    int m_hostLookupCount = 0;
    int m_refreshRow = -1;
    QElapsedTimer m_refreshClock;
    int m_batchCount = 0;  // counts the batches started, so that a replaced one's end is ignored
    QObject m_events;      // context of the queued end of a refresh
    PublicAddressRows m_public;
    std::function<void()> m_whenIdle;
    std::function<void()> m_whenLocalReady;
    unsigned int m_localRows = 0;  // rows from the tables; the public ones follow them
    // The tables RoutedAddress read, taken by the rows built next in the same step of the
    // refresh rather than read again.
    std::optional<TableCopy<IpAddrRow>> m_routedAddrs;
    std::optional<TableCopy<DefaultGatewayRow>> m_routedGateways;
};

}  // namespace qv
