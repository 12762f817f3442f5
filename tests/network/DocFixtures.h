#pragma once

#include "network/AddressList.h"
#include "resources/StringTable.h"

#include <arpa/inet.h>

#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace qv::test {

inline std::uint32_t Ip(const char* dotted) {
    return inet_addr(dotted);
}
inline QString S(int id) {
    return LoadString(id);
}

// An address on a /24, with its broadcast address unless `bcast` is false.
inline IpAddrRow Addr(const char* ip, std::uint32_t index, bool bcast = true) {
    const std::uint32_t mask = Ip("255.255.255.0");
    return {Ip(ip), index, mask, bcast ? (Ip(ip) | ~mask) : 0u};
}

// An IPv6 address with its prefix length and kernel flags.
inline Ipv6AddrRow Addr6(const char* ip, std::uint32_t index, std::uint32_t flags = 0,
                         std::uint32_t prefix = 64) {
    Ipv6AddrRow row{{}, index, prefix, flags};
    inet_pton(AF_INET6, ip, row.addr.data());
    return row;
}

inline Ipv6NetRow Net6(std::uint32_t index, const char* ip, bool router,
                       std::uint32_t type = kNetTypeDynamic) {
    Ipv6NetRow row{index, 0, {}, {}, type, router};
    const std::uint8_t mac[] = {0x02, 0, 0, 0, 0, 0x66};
    SetPhysAddr(row.hardwareLength, row.hardware, mac, sizeof mac);
    inet_pton(AF_INET6, ip, row.addr.data());
    return row;
}

inline IpNetRow Net(std::uint32_t index, const char* ip, std::vector<std::uint8_t> mac,
                    std::uint32_t type = kNetTypeDynamic) {
    IpNetRow row{index, 0, {}, Ip(ip), type};
    SetPhysAddr(row.hardwareLength, row.hardware, mac.data(), mac.size());
    return row;
}

inline IfRow If(std::uint32_t index, const QByteArray& name) {
    IfRow row{index, 6, {0x02, 0, 0, 0, 0, 0x01}, 0, {}};
    SetDescription(row, name.constData(), static_cast<std::size_t>(name.size()));
    return row;
}

template <typename Row>
TableCopy<Row> Table(std::vector<Row> rows) {
    return {kNetTableOk, {}, std::move(rows)};
}

template <typename Row>
TableCopy<Row> Failed(int status, const char* text) {
    return {status, QString::fromLatin1(text), {}};
}

// Tables as set; `netQueue` answers the first NetTable() calls.
struct FakeTables : INetTables {
    TableCopy<IpAddrRow> addr;
    TableCopy<IpNetRow> net;
    std::vector<TableCopy<IpNetRow>> netQueue;
    TableCopy<IfRow> ifs;
    TableCopy<DefaultGatewayRow> gateways;
    TableCopy<Ipv6AddrRow> addr6;
    TableCopy<Ipv6NetRow> net6;
    int netCalls = 0;

    TableCopy<IpAddrRow> AddressTable() override { return addr; }
    TableCopy<IpNetRow> NetTable() override {
        ++netCalls;
        if (netQueue.empty()) {
            return net;
        }
        auto t = netQueue.front();
        netQueue.erase(netQueue.begin());
        return t;
    }
    TableCopy<IfRow> InterfaceTable() override { return ifs; }
    TableCopy<DefaultGatewayRow> DefaultGateways() override { return gateways; }
    TableCopy<Ipv6AddrRow> Ipv6AddressTable() override { return addr6; }
    TableCopy<Ipv6NetRow> Ipv6NetTable() override { return net6; }
};

// Names by address; unknown addresses are "host not found". Answers at once, the local host's
// address too unless `holdLocal` keeps its answer in `heldLocal`.
struct FakeResolver : IResolver {
    std::optional<QString> hostName = QStringLiteral("box");
    std::optional<QString> localIp = QStringLiteral("192.168.1.10");
    std::map<std::uint32_t, ReverseLookupResult> names;
    std::vector<std::uint32_t> asked;
    bool holdLocal = false;
    ForwardLookupAnswer heldLocal;

    std::optional<QString> HostName() const override { return hostName; }
    std::unique_ptr<PendingLookups> StartForwardLookup(const QString&, int,
                                                       ForwardLookupAnswer answer) override {
        if (holdLocal) {
            heldLocal = std::move(answer);
            return std::make_unique<PendingLookups>();
        }
        answer(localIp);
        return nullptr;
    }
    std::unique_ptr<PendingLookups> StartReverseLookups(const std::vector<std::uint32_t>& addrs,
                                                        int, ReverseLookupAnswer answer) override {
        for (std::size_t i = 0; i < addrs.size(); ++i) {
            asked.push_back(addrs[i]);
            auto it = names.find(addrs[i]);
            answer(i,
                   it != names.end() ? it->second : ReverseLookupResult{{}, kLookupHostNotFound});
        }
        return nullptr;
    }
    void Name(const char* ip, const QString& name) { names[Ip(ip)] = {name, 0}; }
    void Fail(const char* ip, int code) { names[Ip(ip)] = {{}, code}; }
};

// The public address sources: the router's answer (url empty) and the echo pages' by URL,
// given at once, or kept for Deliver when `deferred`.
struct ScriptedSources : IPublicAddressQueries {
    std::map<QString, PublicAddressAnswer> answers;
    QStringList asked;
    bool deferred = false;
    std::vector<std::pair<QString, Answer>> waiting;

    std::unique_ptr<PendingPublicQuery> Ask(const QString& url, Answer answer) override {
        asked << url;
        if (deferred) {
            waiting.emplace_back(url, std::move(answer));
            return std::make_unique<PendingPublicQuery>();
        }
        answer(answers[url]);
        return nullptr;
    }
    void Deliver() {
        for (auto& [url, answer] : std::exchange(waiting, {})) {
            answer(answers[url]);
        }
    }
};

struct FixedClock : IClock {
    QDateTime Now() const override { return {QDate(2026, 12, 6), QTime(19, 5, 9)}; }
};

// Records what the document says, and tells it what its rows show.
struct RecordingHost {
    struct Line {
        QString text;
        bool append;
        bool log;
    };
    std::vector<Line> lines;
    QString heading, localHost;
    QStringList trayAddresses, messages;
    int selectionChanges = 0;
    bool hardwareOnly = false;
    bool ipv6 = true;
    std::vector<int> changedRows;
    int finished = 0;
    std::function<void()> onMessage;
    PublicSourceChoice sources;

    void Record(AddressList& doc) {
        doc.SetRowChoice([this] { return RowChoice{hardwareOnly, ipv6, sources}; });
        QObject::connect(&doc, &AddressList::OutputLine,
                         [this](const QString& text, bool append, bool log) {
                             lines.push_back({text, append, log});
                         });
        QObject::connect(&doc, &AddressList::OutputHeading,
                         [this](const QString& text) { heading = text; });
        QObject::connect(&doc, &AddressList::LocalHostChanged,
                         [this](const QString& text) { localHost = text; });
        QObject::connect(&doc, &AddressList::SelectedAddressChanged,
                         [this](const QString& address) { trayAddresses << address; });
        QObject::connect(&doc, &AddressList::SelectionChanged, [this] { ++selectionChanges; });
        QObject::connect(&doc, &AddressList::SelectionLost, [this](const QString& text) {
            messages << text;
            if (onMessage) {
                onMessage();
            }
        });
        QObject::connect(&doc, &AddressList::RowChanged,
                         [this](int row) { changedRows.push_back(row); });
        QObject::connect(&doc, &AddressList::RefreshFinished, [this] { ++finished; });
    }

    QStringList Texts() const {
        QStringList t;
        for (const auto& l : lines) {
            t << l.text;
        }
        return t;
    }
};

// A started document on fake tables, resolver and clock.
struct DocFixture {
    FakeTables tables;
    FakeResolver resolver;
    FixedClock clock;
    RecordingHost host;
    ScriptedSources publicSources;
    AddressList doc{tables, resolver, clock, publicSources};

    DocFixture() {
        host.Record(doc);
        doc.OnNewDocument();
    }
    QString At(int r, InfoColumn c) const { return doc.Field(r, c); }
};

}  // namespace qv::test
