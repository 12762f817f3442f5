#include "network/AddressList.h"

#include "network/ReverseLookupBatch.h"
#include "platform/FileError.h"
#include "resources/StringTable.h"

#include <QByteArray>
#include <QSettings>
#include <QTimer>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>
#include <unordered_map>

namespace qv {
namespace {

const QString kNoAddress = QStringLiteral("---.---.---.---");
// The address type of a row whose interface has no neighbour entry to take it from.
const QString kUnknownType = QStringLiteral("unknown");
// A column that has no meaning for an IPv6 row (the broadcast address).
const QString kNoMeaning = QStringLiteral("----");

// Texts that many rows share, loaded once: the rows hold copies of the one text.
const QString& HostUnknownText() {
    static const QString text = LoadString(Text::HostUnknown);
    return text;
}
const QString& AllOkText() {
    static const QString text = LoadString(Text::AllOk);
    return text;
}

// The diagnostic marks of IPv6 addresses the kernel flags.
QString TemporaryMark() {
    return QStringLiteral("Temporary address: it changes by design and cannot be ticked. ");
}
QString DeprecatedMark() {
    return QStringLiteral("Deprecated address: no longer preferred for new connections. ");
}

// Global and unique-local addresses that are usable get rows: not the unspecified, loopback,
// link-local or multicast addresses, nor one still checked for duplicates or found a duplicate.
bool IsRowAddress(const Ipv6AddrRow& a) {
    const auto& b = a.addr;
    const bool unspecifiedOrLoopback =
        std::all_of(b.begin(), b.end() - 1, [](std::uint8_t x) { return x == 0; }) && b[15] <= 1;
    const bool linkLocal = b[0] == 0xFE && (b[1] & 0xC0) == 0x80;
    const bool multicast = b[0] == 0xFF;
    return !unspecifiedOrLoopback && !linkLocal && !multicast &&
           (a.flags & (kIpv6Tentative | kIpv6DadFailed)) == 0;
}

bool IsIpv6Text(const QString& address) {
    return address.contains(QLatin1Char(':'));
}

QString InterfaceNumberText(std::uint32_t index) {
    return QString::asprintf("0x%X", index);
}

bool IsLoopbackText(const QString& dotted) {
    return dotted.startsWith(QLatin1String("127."));
}

// Restores a value when the scope ends, however it ends.
template <typename T>
class ScopedValue {
  public:
    ScopedValue(T& ref, T value) : m_ref(ref), m_old(ref) { m_ref = value; }
    ~ScopedValue() { m_ref = m_old; }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

  private:
    T& m_ref;
    T m_old;
};

}  // namespace

AddressList::AddressList(INetTables& tables, IResolver& resolver, IClock& clock,
                         IPublicAddressQueries& publicQueries)
    : m_selectedIp(LoadString(Text::PlaceholderAddress)),
      m_tables(tables),
      m_resolver(resolver),
      m_clock(clock),
      m_public(publicQueries, clock) {}

AddressList::~AddressList() = default;

void AddressList::SetRowChoice(std::function<RowChoice()> choice) {
    m_rowChoice = std::move(choice);
}

RowChoice AddressList::RowsChoice() const {
    return m_rowChoice ? m_rowChoice() : RowChoice();
}

void AddressList::SetProfile(QSettings* profile) {
    m_profile = profile;
}

bool AddressList::IsTickable(int row) const {
    return row >= 0 && row < static_cast<int>(m_rowCount) &&
           (static_cast<std::size_t>(row) >= m_untickable.size() ||
            !m_untickable[static_cast<std::size_t>(row)]) &&
           Field(row, ColNicIpAddress) != kLookingUp;
}

// ---- Document lifetime ----

bool AddressList::OnNewDocument() {
    m_texts.Reset(10);
    m_sharedTexts.clear();
    ReadStoredSelection();
    return true;
}

void AddressList::ReadStoredSelection() {
    if (m_profile) {
        m_profile->beginGroup(QStringLiteral("Data"));
        m_interfaceNum = m_profile->value(QStringLiteral("InterfaceNum")).toString();
        m_nicDescription = m_profile->value(QStringLiteral("NICDescription")).toString();
        m_hostName = m_profile->value(QStringLiteral("HostName")).toString();
        m_storedIp = m_profile->value(QStringLiteral("IPAddress")).toString();
        m_secondInterfaceNum = m_profile->value(QStringLiteral("InterfaceNum6")).toString();
        m_secondNicDescription = m_profile->value(QStringLiteral("NICDescription6")).toString();
        m_secondStoredIp = m_profile->value(QStringLiteral("IPAddress6")).toString();
        m_profile->endGroup();
    }
}

// The rows stay as they are until the next refresh: only the stored selection is read again.
void AddressList::ReloadSelection() {
    if (m_profile) {
        m_profile->sync();
    }
    ReadStoredSelection();
}

bool AddressList::StoreSelection() {
    if (!m_profile) {
        return true;
    }
    if (IsReadOnlyByMode(m_profile->fileName())) {
        return false;  // its owner made it read-only: left as it is
    }
    if (!ClearStaleLockFile(m_profile->fileName() + QStringLiteral(".lock"), 500)) {
        return false;  // a live writer holds it, or its lock's name is taken by something else
    }
    m_profile->beginGroup(QStringLiteral("Data"));
    m_profile->setValue(QStringLiteral("InterfaceNum"), m_interfaceNum);
    m_profile->setValue(QStringLiteral("NICDescription"), m_nicDescription);
    m_profile->setValue(QStringLiteral("HostName"), m_hostName);
    m_profile->setValue(QStringLiteral("IPAddress"), m_storedIp);
    const QString second[][2] = {{QStringLiteral("InterfaceNum6"), m_secondInterfaceNum},
                                 {QStringLiteral("NICDescription6"), m_secondNicDescription},
                                 {QStringLiteral("IPAddress6"), m_secondStoredIp}};
    for (const auto& [key, value] : second) {
        if (m_secondInterfaceNum.isEmpty()) {
            m_profile->remove(key);
        } else {
            m_profile->setValue(key, value);
        }
    }
    m_profile->endGroup();
    m_profile->sync();
    return m_profile->status() == QSettings::NoError;
}

// ---- Status output ----

void AddressList::ReportStatus(const QString& text, bool append) {
    // A quiet check stays quiet to its end, in the steps the event loop runs later too.
    emit OutputLine(text, append, m_logStatus != 0 && !(m_refreshing && m_refreshQuiet));
}

void AddressList::ReportStatus(int stringId, bool append) {
    ReportStatus(LoadString(stringId), append);
}

void AddressList::ReportStatus(int stringId, bool append, bool log) {
    emit OutputLine(LoadString(stringId), append, log);
}

void AddressList::ReportTableError(const QString& label, const QString& systemText) {
    ReportStatus(label + QLatin1Char(' ') + systemText, true);
}

void AddressList::ShowOutputHeading() {
    emit OutputHeading(LoadString(Text::OutputCaption));
}

// ---- Refresh ----

bool AddressList::RefreshNetworkInfo(int row) {
    if (m_refreshing) {
        if (!IsWaiting()) {
            return false;  // called from inside the refresh's own steps
        }
        // The look-ups of a refresh run: this one follows it; a full refresh covers any row,
        // and a logged one wins over a quiet check.
        m_queuedRefresh = (m_queuedRefresh && *m_queuedRefresh != row) ? -1 : row;
        m_queuedQuiet = m_queuedQuiet && m_logStatus == 0;
        return true;
    }
    m_refreshing = true;
    m_refreshQuiet = m_logStatus == 0;
    m_refreshRow = row;
    m_refreshClock.start();
    m_verifyAtEnd = true;
    m_publicPending = m_public.Refresh(RowsChoice().publicSources, [this] { OnPublicAnswered(); });
    ReadLocalHostInfo();
    if (!m_hostLookup) {
        BuildAndFinish();
    }
    return true;
}

// The refresh once the local host's address is known: the rows, then the end of the refresh
// (when their look-ups are done).
void AddressList::BuildAndFinish() {
    const BuildResult built = BuildRows(m_refreshRow);
    GiveBackTableMemory();
    m_verifyAtEnd = built != BuildResult::InterfaceGone;
    if (!m_verifyAtEnd) {
        LoseSelectedAddress();
    }
    if (m_rowsPending || WaitsForPublicSources()) {
        // The rows are shown at once; the refresh ends when their look-ups have answered, and
        // the public address sources too when the selection is one of their rows.
        emit RowsChanged();
        TellIfIdle();
        return;
    }
    FinishRefresh(m_verifyAtEnd);
}

// A change of a local address is checked and forwarded without waiting for the router or the
// echo page, which may take seconds; their rows are filled in when they answer.
bool AddressList::WaitsForPublicSources() const {
    return m_publicPending && PublicAddressRows::IsPublicInterface(m_interfaceNum);
}

void AddressList::OnPublicAnswered() {
    m_publicPending = false;
    ShowPublicRows();
    emit RowsChanged();
    if (m_refreshing && !m_rowsPending && !m_hostLookup) {
        FinishRefresh(m_verifyAtEnd);
    }
    TellIfIdle();
}

void AddressList::TellIfIdle() {
    if (m_whenLocalReady && LocalRowsReady()) {
        std::exchange(m_whenLocalReady, nullptr)();
    }
    if (!m_refreshing && !m_publicPending && m_whenIdle) {
        std::exchange(m_whenIdle, nullptr)();
    }
}

void AddressList::ShowPublicRows() {
    const auto rows = m_public.Rows();
    ClearRows(-1 - static_cast<int>(m_localRows));
    unsigned int r = m_localRows;
    for (const IpAddressRow& row : rows) {
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            SetField(static_cast<int>(r), static_cast<InfoColumn>(c), row.fields[c]);
        }
        ++r;
    }
    m_rowCount = r;
}

// The end of a refresh, once its rows are complete: the selection check, then what was asked for
// meanwhile.
void AddressList::FinishRefresh(bool verify) {
    {
        ScopedValue<int> quiet(m_logStatus, m_refreshQuiet ? 0 : m_logStatus);
        if (verify) {
            VerifySelection();
        }
    }
    m_refreshing = false;
    emit RefreshFinished();
    if (m_queuedRefresh) {
        const int next = *m_queuedRefresh;
        ScopedValue<int> quiet(m_logStatus, m_queuedQuiet ? 0 : m_logStatus);
        m_queuedRefresh.reset();
        m_queuedQuiet = true;
        RefreshNetworkInfo(next);
    }
    TellIfIdle();
}

void AddressList::ReadLocalHostInfo() {
    m_routedAddrs.reset();
    m_routedGateways.reset();
    m_localHostName.clear();
    m_localHostIp.clear();
    m_hostLookup.reset();
    if (!m_hostNameLookups) {
        return;
    }
    const auto name = m_resolver.HostName();
    if (!name) {
        emit LocalHostChanged(QString());
        return;
    }
    m_localHostName = *name;
    // Answered at once from the hosts file or the cache; else the refresh goes on when the name
    // servers have answered (after the queued call, outside the resolver's own handlers).
    const int lookup = ++m_hostLookupCount;
    auto inCall = std::make_shared<bool>(true);
    auto pending = m_resolver.StartForwardLookup(
        *name, LookupTimeLeft(), [this, inCall, lookup](const std::optional<QString>& ip) {
            if (*inCall) {
                ShowLocalHost(ip);
                return;
            }
            QMetaObject::invokeMethod(
                &m_events,
                [this, ip, lookup] {
                    if (lookup != m_hostLookupCount || !m_hostLookup) {
                        return;  // replaced by a later refresh
                    }
                    m_hostLookup.reset();
                    ShowLocalHost(ip);
                    if (m_refreshing) {
                        BuildAndFinish();
                    }
                },
                Qt::QueuedConnection);
        });
    *inCall = false;
    m_hostLookup = std::move(pending);
}

void AddressList::ShowLocalHost(std::optional<QString> ip) {
    QString display = m_localHostName;
    // Debian maps the host name to 127.0.1.1: show the address the machine is reached at.
    if (ip && IsLoopbackText(*ip)) {
        if (auto routed = RoutedAddress()) {
            ip = std::move(routed);
        }
    }
    if (ip) {
        m_localHostIp = *ip;
        display += QStringLiteral("     IP : ") + *ip;
    }
    emit LocalHostChanged(display);
}

int AddressList::LookupTimeLeft() const {
    if (!m_refreshing || !m_refreshClock.isValid()) {
        return m_lookupDeadlineMs;
    }
    // One deadline for the whole refresh; the reverse look-ups get at least a moment.
    return static_cast<int>(
        std::max<qint64>(m_lookupDeadlineMs / 10, m_lookupDeadlineMs - m_refreshClock.elapsed()));
}

std::optional<QString> AddressList::RoutedAddress() {
    m_routedAddrs = m_tables.AddressTable();
    m_routedGateways = m_tables.DefaultGateways();
    const auto& addrs = m_routedAddrs->rows;
    for (const auto& gw : m_routedGateways->rows) {
        const IpAddrRow* first = nullptr;
        for (const auto& entry : addrs) {
            if (entry.index != gw.index) {
                continue;
            }
            if (((entry.address ^ gw.address) & entry.mask) == 0) {
                return DottedAddress(entry.address);  // on the gateway's own subnet
            }
            first = first ? first : &entry;
        }
        if (first) {
            return DottedAddress(first->address);
        }
    }
    for (const auto& entry : addrs) {
        if (!IsLoopbackText(DottedAddress(entry.address))) {
            return DottedAddress(entry.address);
        }
    }
    return std::nullopt;
}

std::optional<std::vector<IpAddrRow>> AddressList::GetAddrTableSnapshot() {
    auto copy = m_routedAddrs ? std::move(*m_routedAddrs) : m_tables.AddressTable();
    m_routedAddrs.reset();
    if (copy.status != kNetTableOk) {
        ReportTableError(QStringLiteral("IP Address Table: "), copy.error);
        return std::nullopt;
    }
    if (copy.rows.empty()) {
        ReportStatus(Text::NoAddresses, true);
        return std::nullopt;
    }
    return std::move(copy.rows);
}

std::optional<std::vector<IpNetRow>> AddressList::GetNetTableSnapshot() {
    auto copy = m_tables.NetTable();
    if (copy.status == kErrorNoData) {
        ReportStatus(Text::NetTableEmpty, true);
        ForceArpPopulation();
        copy = m_tables.NetTable();
    }
    if (copy.status != kNetTableOk) {
        ReportTableError(QStringLiteral("IP Net Table: "), copy.error);
        // Machines without neighbours (loopback only, containers) are common: an empty table
        // still lets the rows be built, each with its "no match" note.
        if (copy.status == kErrorNoData) {
            return std::vector<IpNetRow>{};
        }
        return std::nullopt;
    }
    if (copy.rows.empty()) {
        ReportStatus(Text::NoNetEntries, true);
        return std::vector<IpNetRow>{};
    }
    return std::move(copy.rows);
}

std::optional<std::vector<IfRow>> AddressList::GetIfTableSnapshot() {
    auto copy = m_tables.InterfaceTable();
    if (copy.status != kNetTableOk) {
        ReportTableError(QStringLiteral("Interface Table: "), copy.error);
        return std::nullopt;
    }
    if (copy.rows.empty()) {
        ReportStatus(Text::NoInterfaceEntries, true);
        return std::nullopt;
    }
    return std::move(copy.rows);
}

void AddressList::ForceArpPopulation() {
    const auto addrs = GetAddrTableSnapshot();
    if (!addrs) {
        return;
    }
    std::vector<std::uint32_t> targets;
    for (const auto& entry : *addrs) {
        if (!IsLoopbackText(DottedAddress(entry.address))) {
            targets.push_back(entry.address);
        }
    }
    if (targets.empty()) {
        return;
    }
    // The first queries go out at once, which is all the neighbour table needs; nobody waits
    // for their answers.
    try {
        m_resolver.StartReverseLookups(targets, LookupTimeLeft(),
                                       [](std::size_t, const ReverseLookupResult&) {});
    } catch (...) {
    }
}

// ---- Rows ----

QString AddressList::Field(int row, InfoColumn col) const {
    return row >= 0 ? m_texts.At(static_cast<std::size_t>(row), col) : QString();
}

IpAddressRow AddressList::Row(int row) const {
    IpAddressRow r;
    for (std::size_t c = 0; c < kColumnCount; ++c) {
        r.fields[c] = Field(row, static_cast<InfoColumn>(c));
    }
    return r;
}

void AddressList::SetField(int row, InfoColumn col, const QString& text) {
    m_texts.Set(static_cast<std::size_t>(row), col, text);
}

RowTexts::TextId AddressList::SharedText(const QString& text) {
    for (const auto& [shared, id] : m_sharedTexts) {
        if (shared == text) {  // mostly the same string again, which compares at once
            return id;
        }
    }
    const RowTexts::TextId id = m_texts.Add(text);
    m_sharedTexts.emplace_back(text, id);
    return id;
}

void AddressList::ClearRows(int row) {
    // -1 - n: the rows from n on (the public ones after n local rows).
    const int first = row < 0 ? -1 - row : row;
    const int end = row < 0 ? static_cast<int>(m_rowCount) : row + 1;
    for (int r = first; r < end; ++r) {
        for (std::size_t c = 0; c < kColumnCount; ++c) {
            m_texts.Put(static_cast<std::size_t>(r), static_cast<InfoColumn>(c), RowTexts::kEmpty);
        }
    }
}

QString AddressList::NetTypeText(std::uint32_t type) {
    switch (type) {
        case kNetTypeOther:
            return QStringLiteral("other");
        case kNetTypeInvalid:
            return QStringLiteral("invalid");
        case kNetTypeDynamic:
            return QStringLiteral("dynamic");
        case kNetTypeStatic:
            return QStringLiteral("static");
        default:
            return QStringLiteral("unknown type");
    }
}

std::optional<AddressList::NetEntryMatch> AddressList::FindNetEntry(
    const std::vector<IpNetRow>& net, std::uint32_t index,
    const std::vector<DefaultGatewayRow>& gateways) {
    auto match = [&](std::size_t pos) {
        return NetEntryMatch{pos, DottedAddress(net[pos].address), NetTypeText(net[pos].type)};
    };
    auto mayBeGateway = [&](std::size_t pos) {
        const std::uint32_t address = ntohl(net[pos].address);
        return net[pos].index == index && !net[pos].noArp && !IN_MULTICAST(address) &&
               address != INADDR_BROADCAST;
    };
    const DefaultGatewayRow* routed = nullptr;
    for (const auto& gw : gateways) {
        if (gw.index != index) {
            continue;
        }
        routed = routed ? routed : &gw;
        for (std::size_t pos = 0; pos < net.size(); ++pos) {
            if (mayBeGateway(pos) && net[pos].address == gw.address) {
                return match(pos);
            }
        }
    }
    if (routed) {
        return NetEntryMatch{std::nullopt, DottedAddress(routed->address), kUnknownType};
    }
    for (std::size_t pos = 0; pos < net.size(); ++pos) {
        if (mayBeGateway(pos)) {
            return match(pos);
        }
    }
    return std::nullopt;
}

std::optional<AddressList::IfEntryMatch> AddressList::FindIfEntry(const std::vector<IfRow>& ifs,
                                                                  std::uint32_t index) {
    for (std::size_t pos = 0; pos < ifs.size(); ++pos) {
        if (ifs[pos].index == index) {
            const auto len = std::min<std::uint32_t>(ifs[pos].descriptionLength, kMaxDescrLen);
            const auto* bytes = reinterpret_cast<const char*>(ifs[pos].description);
            // The text ends at the first NUL within the given length, as a C string would.
            const auto text = QByteArray(bytes, static_cast<qsizetype>(len));
            const auto nul = text.indexOf('\0');
            return IfEntryMatch{pos, QString::fromLocal8Bit(nul < 0 ? text : text.left(nul))};
        }
    }
    return std::nullopt;
}

QString AddressList::FormatPhysAddress(const std::uint8_t* bytes, std::uint32_t len) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    if (!bytes || len == 0) {
        return QString();
    }
    len = std::min(len, kMaxPhysAddrLen);
    char16_t text[3 * kMaxPhysAddrLen];
    int n = 0;
    for (std::uint32_t i = 0; i < len; ++i) {
        if (i > 0) {
            text[n++] = u'-';
        }
        text[n++] = kHex[bytes[i] >> 4];
        text[n++] = kHex[bytes[i] & 0xF];
    }
    return QString(reinterpret_cast<const QChar*>(text), n);
}

QString AddressList::LookingUpText() {
    return kLookingUp;
}

void AddressList::ApplyHostName(std::size_t lookup, const ReverseLookupResult& result) {
    if (lookup >= m_pendingNames.size()) {
        return;
    }
    const PendingName& p = m_pendingNames[lookup];
    const auto row = static_cast<std::size_t>(p.row);
    // Most rows have no diagnostic of their own: they share the texts of their outcome.
    if (result.error == kLookupOk) {
        SetField(p.row, ColHostName, result.name);
        if (p.diagnostic.isEmpty()) {
            m_texts.Put(row, ColDiagnosticInformation, SharedText(AllOkText()));
        } else {
            SetField(p.row, ColDiagnosticInformation, p.diagnostic);
        }
    } else {
        m_texts.Put(row, ColHostName, SharedText(HostUnknownText()));
        if (p.diagnostic.isEmpty()) {
            m_texts.Put(row, ColDiagnosticInformation,
                        SharedText(ReverseLookupErrorText(result.error)));
        } else {
            SetField(p.row, ColDiagnosticInformation,
                     p.diagnostic + ReverseLookupErrorText(result.error));
        }
    }
    if (p.row == m_selectedRow && m_hostNamePending) {
        m_hostName = Field(p.row, ColHostName);
        m_hostNamePending = false;
    }
    if (m_rowsPending) {
        emit RowChanged(p.row);
    }
}

// The rows are complete: every look-up is answered or has been given up.
void AddressList::FinishRows() {
    m_rowsPending = false;
    m_hostNamePending = false;
    m_pendingNames = {};  // with its room: a long list's look-ups leave nothing behind
    ReportStatus(Text::UpdateComplete, true, false);
}

// The table copies of one build.
struct AddressList::RowTables {
    std::vector<IpAddrRow> addrs;
    std::vector<IpNetRow> net;
    std::vector<IfRow> ifs;
    std::vector<DefaultGatewayRow> gateways;
    std::vector<Ipv6AddrRow> addrs6;
};

// An address that may get a row.
struct AddressList::Candidate {
    std::uint32_t index;
    const IpAddrRow* v4;
    const Ipv6AddrRow* v6;
    QString Address() const { return v4 ? DottedAddress(v4->address) : Ipv6Text(v6->addr); }
};

// A row whose address fields are in, waiting for its host name and diagnostic.
struct AddressList::PendingRow {
    int row;
    bool localHost;  // the local host's address, whose name is known
    QString diagnostic;
    int lookup;  // index into the batch, -1 for none
};

namespace {

// The columns that an interface's rows share (its number, description, MAC, gateway and type),
// stored once for each interface; for IPv6 rows the gateway is the interface's router entry,
// read when first needed.
class InterfaceColumns {
  public:
    struct Texts {
        bool hasNet = false;
        RowTexts::TextId number = 0, description = 0, mac = 0, gatewayIp = 0, gatewayMac = 0,
                         type = 0;
        QString diagnostic;
    };

    InterfaceColumns(RowTexts& texts, INetTables& tables, const std::vector<IpNetRow>& net,
                     const std::vector<IfRow>& ifs, const std::vector<DefaultGatewayRow>& gateways)
        : m_texts(texts),
          m_tables(tables),
          m_net(net),
          m_ifs(ifs),
          m_gateways(gateways),
          m_noMac(texts.Add(kNoMac)),
          m_unknownType(texts.Add(kUnknownType)),
          m_noMeaning(texts.Add(kNoMeaning)) {}

    RowTexts::TextId NoMeaning() const { return m_noMeaning; }

    const Texts& Of(std::uint32_t index) {
        auto [it, made] = m_interfaces.try_emplace(index);
        Texts& t = it->second;
        if (!made) {
            return t;
        }
        t.number = m_texts.Add(InterfaceNumberText(index));
        t.mac = m_noMac;
        t.gatewayMac = m_noMac;
        t.gatewayIp = m_texts.Add(kNoAddress);
        t.type = m_unknownType;
        if (const auto netEntry = AddressList::FindNetEntry(m_net, index, m_gateways)) {
            t.hasNet = true;
            t.gatewayIp = m_texts.Add(netEntry->address);
            t.type = m_texts.Add(netEntry->type);
            const IpNetRow* n = netEntry->position ? &m_net[*netEntry->position] : nullptr;
            if (n && n->hardwareLength != 0) {
                t.gatewayMac =
                    m_texts.Add(AddressList::FormatPhysAddress(n->hardware, n->hardwareLength));
            }
        } else {
            t.diagnostic = LoadString(Text::NoNeighbourMatch) + QLatin1Char(' ');
        }
        if (const auto ifEntry = AddressList::FindIfEntry(m_ifs, index)) {
            const IfRow& i = m_ifs[ifEntry->position];
            t.description = m_texts.Add(ifEntry->description);
            if (i.hardwareLength != 0) {
                t.mac = m_texts.Add(AddressList::FormatPhysAddress(i.hardware, i.hardwareLength));
            }
        } else {
            t.description = m_texts.Add(LoadString(Text::NoDescription));
        }
        return t;
    }

    const Texts& RouterOf(std::uint32_t index) {
        auto [it, made] = m_routers.try_emplace(index);
        Texts& t = it->second;
        if (!made) {
            return t;
        }
        if (!m_net6) {
            m_net6 = m_tables.Ipv6NetTable().rows;  // no entries when unreadable
        }
        t.gatewayIp = m_noMeaning;
        t.gatewayMac = m_noMac;
        t.type = m_unknownType;
        t.diagnostic = LoadString(Text::NoNeighbourMatch) + QLatin1Char(' ');
        for (const Ipv6NetRow& n : *m_net6) {
            if (n.index != index) {
                continue;
            }
            t.hasNet = true;
            if (n.router) {
                t.gatewayIp = m_texts.Add(Ipv6Text(n.addr));
                t.type = m_texts.Add(AddressList::NetTypeText(n.type));
                if (n.hardwareLength != 0) {
                    t.gatewayMac =
                        m_texts.Add(AddressList::FormatPhysAddress(n.hardware, n.hardwareLength));
                }
                t.diagnostic.clear();
                break;
            }
        }
        return t;
    }

  private:
    RowTexts& m_texts;
    INetTables& m_tables;
    const std::vector<IpNetRow>& m_net;
    const std::vector<IfRow>& m_ifs;
    const std::vector<DefaultGatewayRow>& m_gateways;
    const RowTexts::TextId m_noMac;
    const RowTexts::TextId m_unknownType;
    const RowTexts::TextId m_noMeaning;
    std::unordered_map<std::uint32_t, Texts> m_interfaces;
    std::unordered_map<std::uint32_t, Texts> m_routers;
    std::optional<std::vector<Ipv6NetRow>> m_net6;
};

}  // namespace

// A storm of addresses leaves the heap holding the room its large tables took, long after they
// are gone: once the tables are small again, that room is given back to the system. The large
// rows of the list and their look-ups go a little later, once the list has been refilled and the
// look-ups have ended, so the heap is given back then as well.
void AddressList::GiveBackTableMemory() {
    constexpr std::size_t kLargeTable = 1024;
    constexpr int kAfterRefillMs = 2000;
    m_largestTable = std::max(m_largestTable, m_tableSize);
    if (m_largestTable >= kLargeTable && m_tableSize * 4 <= m_largestTable) {
        ::malloc_trim(0);
        QTimer::singleShot(kAfterRefillMs, [] { ::malloc_trim(0); });
        m_largestTable = m_tableSize;
    }
}

AddressList::BuildResult AddressList::BuildRows(int row) {
    ShowOutputHeading();
    ReportStatus(Text::Updating, false, false);

    RowTables tables;
    if (!ReadRowTables(tables)) {
        ReportStatus(Text::TableMissing, true);
        return BuildResult::TablesMissing;
    }
    const std::vector<Candidate> candidates = CandidatesOf(tables);
    m_tableSize = candidates.size();

    // A row index outside the valid rows cannot name an interface: rebuild them all.
    if (row < -1 || row >= static_cast<int>(m_rowCount)) {
        row = -1;
    }
    if (row >= 0 && PublicAddressRows::IsPublicInterface(Field(row, ColInterfaceNumber))) {
        ShowPublicRows();
        ReportStatus(Text::UpdateComplete, true, false);
        return BuildResult::Built;
    }
    std::vector<const Candidate*> chosen;
    if (!ChooseRows(candidates, row, chosen)) {
        ReportStatus(Text::SelectionLost, true);
        return BuildResult::InterfaceGone;
    }

    ClearForBuild(row);
    RowLookups lookups;
    int endRow = 0;
    const std::vector<PendingRow> pending = FillAddressFields(tables, chosen, row, lookups, endRow);
    FillHostNameFields(pending);
    if (row == -1) {
        m_localRows = static_cast<unsigned int>(endRow);
        ShowPublicRows();
        m_resolver.FitCacheTo(lookups.v4.size() + lookups.v6.size());
    }
    StartHostLookups(lookups);
    return BuildResult::Built;
}

bool AddressList::ReadRowTables(RowTables& tables) {
    auto addrs = GetAddrTableSnapshot();
    auto net = GetNetTableSnapshot();
    auto ifs = GetIfTableSnapshot();
    if (!addrs || !net || !ifs) {
        return false;
    }
    tables.addrs = std::move(*addrs);
    tables.net = std::move(*net);
    tables.ifs = std::move(*ifs);
    // No preference when unreadable.
    tables.gateways =
        (m_routedGateways ? std::move(*m_routedGateways) : m_tables.DefaultGateways()).rows;
    m_routedGateways.reset();
    if (RowsChoice().ipv6) {
        TableCopy<Ipv6AddrRow> addrs6 = m_tables.Ipv6AddressTable();
        if (addrs6.status != kNetTableOk) {
            ReportTableError(QStringLiteral("IPv6 Address Table: "), addrs6.error);
        }
        tables.addrs6 = std::move(addrs6.rows);
    }
    return true;
}

// The addresses that can get rows: the IPv4 ones, then (unless hidden) the IPv6 ones.
std::vector<AddressList::Candidate> AddressList::CandidatesOf(const RowTables& tables) {
    std::vector<Candidate> candidates;
    candidates.reserve(tables.addrs.size() + tables.addrs6.size());
    for (const auto& entry : tables.addrs) {
        candidates.push_back({entry.index, &entry, nullptr});
    }
    for (const auto& entry : tables.addrs6) {
        if (IsRowAddress(entry)) {
            candidates.push_back({entry.index, nullptr, &entry});
        }
    }
    return candidates;
}

// The candidates that get rows: all of them for row -1. For one row, the row stays on its own
// address while its interface holds it. When that address is gone, every row is rebuilt
// (`row` becomes -1), so that none keeps an address the machine no longer has; the selection
// check then takes the interface's first address, which is a change. False when the interface
// holds no address at all.
bool AddressList::ChooseRows(const std::vector<Candidate>& candidates, int& row,
                             std::vector<const Candidate*>& chosen) {
    if (row != -1) {
        const QString wanted = Field(row, ColInterfaceNumber);
        const QString own = Field(row, ColNicIpAddress);
        bool onInterface = false;
        for (const auto& c : candidates) {
            if (InterfaceNumberText(c.index) == wanted) {
                onInterface = true;
                if (c.Address() == own) {
                    chosen.push_back(&c);
                    break;
                }
            }
        }
        if (!onInterface) {
            return false;
        }
        if (chosen.empty()) {
            row = -1;
        }
    }
    if (row == -1) {
        for (const auto& c : candidates) {
            chosen.push_back(&c);
        }
    }
    return true;
}

// A build replaces the rows of one whose look-ups still run. A full build starts from no texts;
// one row's leaves the others' and frees unused ones.
void AddressList::ClearForBuild(int row) {
    m_batch.reset();
    m_rowsPending = false;
    m_sharedTexts.clear();
    if (row == -1) {
        m_texts.Reset(0);  // the build prepares as many rows as it fills
    } else {
        ClearRows(row);
        m_texts.Compact();
    }
}

// The fields that need no look-up, row after row from `row` (0 for -1); `endRow` is the row
// after the last. The addresses to look up go to `lookups`, IPv6 ones answered after the IPv4
// ones, as all IPv4 rows come first.
std::vector<AddressList::PendingRow> AddressList::FillAddressFields(
    const RowTables& tables, const std::vector<const Candidate*>& chosen, int row,
    RowLookups& lookups, int& endRow) {
    const bool hardwareOnly = RowsChoice().hardwareOnly;
    std::vector<PendingRow> pending;
    pending.reserve(chosen.size());
    int outRow = row == -1 ? 0 : row;
    // An address text for each row, and a few for each interface.
    m_texts.Prepare(static_cast<std::size_t>(outRow) + chosen.size(), chosen.size() + 64);
    InterfaceColumns interfaces(m_texts, m_tables, tables.net, tables.ifs, tables.gateways);
    // Neighbouring rows mostly share their mask, broadcast address or prefix: one text each.
    std::uint32_t lastMask = 0, lastBroadcast = 0;
    RowTexts::TextId maskText = m_texts.Add(DottedAddress(0)), broadcastText = maskText;
    std::uint32_t lastPrefix = ~0U;  // no prefix length is that long
    RowTexts::TextId prefixText = RowTexts::kEmpty;

    for (const Candidate* c : chosen) {
        const InterfaceColumns::Texts& t = interfaces.Of(c->index);
        const InterfaceColumns::Texts& n = c->v6 ? interfaces.RouterOf(c->index) : t;
        if (hardwareOnly && !n.hasNet) {
            continue;
        }
        const auto r = static_cast<std::size_t>(outRow);
        QString address = c->Address();
        m_texts.Put(r, ColInterfaceNumber, t.number);
        m_texts.Put(r, ColNicDescription, t.description);
        m_texts.Put(r, ColNicMacAddress, t.mac);
        m_texts.Put(r, ColGatewayMacAddress, n.gatewayMac);
        m_texts.Put(r, ColGatewayIpAddress, n.gatewayIp);
        m_texts.Put(r, ColAddressType, n.type);
        QString diagnostic = n.diagnostic;
        int lookup = -1;
        bool temporary = false;
        if (const IpAddrRow* entry = c->v4) {
            if (entry->mask != lastMask) {
                lastMask = entry->mask;
                maskText = m_texts.Add(DottedAddress(lastMask));
            }
            m_texts.Put(r, ColSubnetMask, maskText);
            if (entry->broadcast != lastBroadcast) {
                lastBroadcast = entry->broadcast;
                broadcastText = m_texts.Add(DottedAddress(lastBroadcast));
            }
            m_texts.Put(r, ColBroadcastIpAddress, broadcastText);
            if (m_hostNameLookups && address != m_localHostIp && !IsLoopbackText(address)) {
                lookup = static_cast<int>(lookups.v4.size());
                lookups.v4.push_back(entry->address);
            }
        } else {
            if (c->v6->prefixLength != lastPrefix) {
                lastPrefix = c->v6->prefixLength;
                prefixText = m_texts.Add(QLatin1Char('/') + QString::number(lastPrefix));
            }
            m_texts.Put(r, ColSubnetMask, prefixText);
            m_texts.Put(r, ColBroadcastIpAddress, interfaces.NoMeaning());
            temporary = (c->v6->flags & kIpv6Temporary) != 0;
            if (temporary) {
                diagnostic += TemporaryMark();
            }
            if (c->v6->flags & kIpv6Deprecated) {
                diagnostic += DeprecatedMark();
            }
            if (m_hostNameLookups) {
                lookup = static_cast<int>(lookups.v4.size() + lookups.v6.size());
                lookups.v6.push_back(c->v6->addr);
            }
        }
        if (m_untickable.size() <= r) {
            m_untickable.resize(r + 1, 0);
        }
        m_untickable[r] = temporary ? 1 : 0;
        pending.push_back({outRow, address == m_localHostIp, diagnostic, lookup});
        m_texts.Put(r, ColNicIpAddress, m_texts.Add(std::move(address)));
        ++outRow;
    }
    endRow = outRow;
    return pending;
}

// The host names in row order, with a status line for each interface: the local host's name,
// "unknown" where nothing is looked up, else "Looking up ..." until the answer comes.
void AddressList::FillHostNameFields(const std::vector<PendingRow>& pending) {
    m_pendingNames.clear();
    m_pendingNames.reserve(pending.size());
    const QString updating = LoadString(Text::UpdatingHost);
    const RowTexts::TextId localHostName = m_texts.Add(m_localHostName);
    RowTexts::TextId statusNumber = RowTexts::kEmpty;
    QString statusLine;  // the line of the last row's interface
    const RowTexts::TextId lookingUp = SharedText(LookingUpText());
    const RowTexts::TextId hostUnknown = SharedText(HostUnknownText());
    const RowTexts::TextId allOk = SharedText(AllOkText());
    for (const auto& p : pending) {
        const auto r = static_cast<std::size_t>(p.row);
        const RowTexts::TextId number = m_texts.Id(r, ColInterfaceNumber);
        if (statusLine.isEmpty() || number != statusNumber) {
            statusNumber = number;
            statusLine = updating + m_texts.Text(number);
        }
        ReportStatus(statusLine, true);
        if (p.localHost) {
            m_texts.Put(r, ColHostName, localHostName);
        } else if (p.lookup < 0) {
            m_texts.Put(r, ColHostName, hostUnknown);
        } else {
            m_texts.Put(r, ColHostName, lookingUp);
            m_pendingNames.push_back({p.row, p.diagnostic});
        }
        if (p.diagnostic.isEmpty()) {
            m_texts.Put(r, ColDiagnosticInformation, p.lookup < 0 ? allOk : RowTexts::kEmpty);
        } else {
            m_texts.Put(r, ColDiagnosticInformation, SharedText(p.diagnostic));
        }
    }
}

// The look-ups run together. Answers known at once fill their rows during the batch's
// constructor; the others come from the event loop, and the rows are complete when the last has
// come or the deadline has passed.
void AddressList::StartHostLookups(const RowLookups& lookups) {
    const int batch = ++m_batchCount;
    m_batch = std::make_unique<ReverseLookupBatch>(
        m_resolver, lookups.v4, lookups.v6, LookupTimeLeft(),
        [this](std::size_t i, const ReverseLookupResult& r) { ApplyHostName(i, r); },
        [this, batch] {
            // Ended from the batch's own handlers: the rest runs after they have returned.
            QMetaObject::invokeMethod(
                &m_events,
                [this, batch] {
                    if (batch != m_batchCount || !m_batch) {
                        return;  // a later build has replaced it
                    }
                    m_batch.reset();
                    FinishRows();
                    if (m_refreshing && !WaitsForPublicSources()) {
                        FinishRefresh(true);
                    } else {
                        TellIfIdle();
                    }
                },
                Qt::QueuedConnection);
        });
    if (m_batch->Finished()) {
        m_batch.reset();
        FinishRows();
    } else {
        m_rowsPending = true;
    }
}

// ---- Selection ----

void AddressList::SelectRow(int row) {
    if (!IsTickable(row)) {
        return;
    }
    m_selectedRow = row;
    m_selectedIp = Field(row, ColNicIpAddress);
    m_interfaceNum = Field(row, ColInterfaceNumber);
    m_nicDescription = Field(row, ColNicDescription);
    // Only a finished host name is kept: one still being looked up is taken when it comes.
    m_hostNamePending = m_rowsPending && Field(row, ColHostName) == LookingUpText();
    m_hostName = m_hostNamePending ? QString() : Field(row, ColHostName);
    m_storedIp = m_selectedIp;
    if (IsIpv6Text(m_selectedIp)) {
        SetSecond(-1);  // one tick per family
    }
    emit SelectedAddressChanged(TrayText());
    emit SelectionChanged();
}

bool AddressList::MayBeSecond(int row) const {
    const QString address = Field(row, ColNicIpAddress);
    const bool uniqueLocal = address.startsWith(QLatin1String("fc"), Qt::CaseInsensitive) ||
                             address.startsWith(QLatin1String("fd"), Qt::CaseInsensitive);
    return IsTickable(row) && IsIpv6Text(address) && !uniqueLocal && m_selectedRow >= 0 &&
           !IsIpv6Text(m_selectedIp) && m_selectedIp != LoadString(Text::PlaceholderAddress);
}

void AddressList::SelectSecondRow(int row) {
    if (row >= 0 && !MayBeSecond(row)) {
        return;
    }
    SetSecond(row);
    emit SelectedAddressChanged(TrayText());
    emit SelectionChanged();
}

void AddressList::SetSecond(int row) {
    m_secondRow = row;
    m_secondIp = row >= 0 ? Field(row, ColNicIpAddress) : QString();
    m_secondInterfaceNum = row >= 0 ? Field(row, ColInterfaceNumber) : QString();
    m_secondNicDescription = row >= 0 ? Field(row, ColNicDescription) : QString();
    m_secondStoredIp = m_secondIp;
}

QString AddressList::TrayText() const {
    return m_secondIp.isEmpty() ? m_selectedIp : m_selectedIp + QStringLiteral(", ") + m_secondIp;
}

void AddressList::LoseSelectedAddress() {
    // The selected interface holds no address now: nothing is selected or forwarded until one
    // is found again, which then counts as a change.
    const QString none = LoadString(Text::PlaceholderAddress);
    if (m_selectedIp != none) {
        m_selectedIp = none;
        emit SelectedAddressChanged(TrayText());
    }
}

void AddressList::VerifySelection() {
    const QString before = m_selectedIp;
    VerifyFirst();
    VerifySecond(m_selectedIp != before);
}

void AddressList::VerifySecond(bool told) {
    if (m_secondInterfaceNum.isEmpty()) {
        return;
    }
    // As the selection: the stored address on its interface wins, else its first IPv6 row that
    // may take the tick.
    const bool bySource = PublicAddressRows::IsPublicInterface(m_secondInterfaceNum);
    int found = -1;
    for (int r = 0; r < static_cast<int>(m_rowCount); ++r) {
        if (Field(r, ColInterfaceNumber) == m_secondInterfaceNum &&
            (bySource || Field(r, ColNicDescription) == m_secondNicDescription) && MayBeSecond(r)) {
            found = found < 0 ? r : found;
            if (Field(r, ColNicIpAddress) == m_secondStoredIp) {
                found = r;
                break;
            }
        }
    }
    m_secondRow = found;
    const QString address = found >= 0 ? Field(found, ColNicIpAddress) : QString();
    if (address == m_secondIp) {
        return;
    }
    // Gone, it is forwarded no more; found again, or another one, it is a change.
    m_secondIp = address;
    if (found >= 0) {
        m_secondStoredIp = address;
    }
    emit RowsChanged();
    emit SelectedAddressChanged(TrayText());
    if (!told && !address.isEmpty()) {
        emit SelectionChanged();
    }
}

void AddressList::VerifyFirst() {
    const QString stamp = TimeStamp(m_clock);
    // Among the rows of the selected interface that can be ticked, the stored address wins; else
    // the first address of its family, else the first address. A public address row is known by
    // its source alone: its description (the router's name, the echo page's host) may change.
    const bool bySource = PublicAddressRows::IsPublicInterface(m_interfaceNum);
    int i = -1, sameFamily = -1;
    for (int r = 0; r < static_cast<int>(m_rowCount); ++r) {
        if (Field(r, ColInterfaceNumber) == m_interfaceNum &&
            (bySource || Field(r, ColNicDescription) == m_nicDescription) && IsTickable(r)) {
            const QString address = Field(r, ColNicIpAddress);
            i = i < 0 ? r : i;
            if (sameFamily < 0 && IsIpv6Text(address) == IsIpv6Text(m_storedIp)) {
                sameFamily = r;
            }
            if (address == m_storedIp) {
                i = sameFamily = r;
                break;
            }
        }
    }
    i = sameFamily >= 0 ? sameFamily : i;
    if (i >= 0) {
        m_selectedRow = i;
        emit RowsChanged();
        if (bySource) {
            m_nicDescription = Field(i, ColNicDescription);
        }
        // A source that has never given an address shows the placeholder: that is no change.
        const bool noAddress =
            bySource && (Field(i, ColNicIpAddress) == LoadString(Text::PlaceholderAddress) ||
                         Field(i, ColNicIpAddress) == kLookingUp);
        // Only a new address is a change to forward. The same address under another host name
        // (another interface's address moved the local host line) is shown and stored only.
        if (!noAddress && m_selectedIp != Field(i, ColNicIpAddress)) {
            SelectRow(i);
        } else if (!noAddress && !m_hostNamePending) {
            m_hostName = Field(i, ColHostName);
        }
        ReportStatus(QStringLiteral("Interface: ") + Field(i, ColInterfaceNumber) +
                         QStringLiteral(": '") + Field(i, ColNicDescription) +
                         QStringLiteral("' with IP: ") + Field(i, ColNicIpAddress) +
                         QStringLiteral(" and Host '") + Field(i, ColHostName) +
                         QStringLiteral("' is selected.  ") + stamp,
                     true);
        return;
    }

    m_selectedRow = -1;
    emit RowsChanged();
    if (m_interfaceNum.isEmpty() && m_nicDescription.isEmpty()) {
        // Nothing was ever selected: a hint, not an alarm.
        emit OutputLine(QStringLiteral("Please tick the IP Address to watch in the list above."),
                        true, false);
        return;
    }
    const QString text = QStringLiteral("Interface ") + m_interfaceNum +
                         QStringLiteral(" or NIC Card '") + m_nicDescription +
                         QStringLiteral("' have been changed on ") + stamp +
                         QStringLiteral(" by the system or selection is now invalid.");
    ReportStatus(text, true);
    emit SelectionLost(text + QStringLiteral(" Please reselect an IP Address."));
}

bool AddressList::CheckSelection() {
    ScopedValue<int> quiet(m_logStatus, 0);
    return RefreshNetworkInfo(m_secondInterfaceNum.isEmpty() ? m_selectedRow : -1);
}

}  // namespace qv
