#pragma once

#include "network/CQuorvaneDoc.h"
#include "network/DocHost.h"
#include "platform/Clock.h"
#include "platform/NetTables.h"
#include "platform/Resolver.h"
#include "resources/StringTable.h"

#include <arpa/inet.h>

#include <QDateTime>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace qv::test {

inline std::uint32_t Ip(const char* dotted) {
    return inet_addr(dotted);
}

inline IpAddrRow Addr(const char* ip, std::uint32_t index, const char* mask = "255.255.255.0",
                      std::uint32_t bcast = 1) {
    return IpAddrRow{Ip(ip), index, Ip(mask), bcast};
}

inline IpNetRow Net(std::uint32_t index, const char* ip, std::vector<std::uint8_t> mac,
                    std::uint32_t type = kNetTypeDynamic) {
    IpNetRow row;
    row.dwIndex = index;
    row.dwAddr = Ip(ip);
    row.dwType = type;
    SetPhysAddr(row.dwPhysAddrLen, row.bPhysAddr, mac.data(), mac.size());
    return row;
}

inline IfRow If(std::uint32_t index, const QByteArray& name,
                std::vector<std::uint8_t> mac = {0x02, 0, 0, 0, 0, 0x01}) {
    IfRow row;
    row.dwIndex = index;
    SetPhysAddr(row.dwPhysAddrLen, row.bPhysAddr, mac.data(), mac.size());
    SetDescription(row, name.constData(), static_cast<std::size_t>(name.size()));
    return row;
}

template <typename Row>
TableCopy<Row> Table(std::vector<Row> rows) {
    TableCopy<Row> t;
    t.rows = std::move(rows);
    return t;
}

template <typename Row>
TableCopy<Row> Failed(int status, const char* text) {
    TableCopy<Row> t;
    t.status = status;
    t.error = QString::fromLatin1(text);
    return t;
}

// Tables handed out as set; `netQueue` answers successive NetTable() calls before `net`.
struct FakeTables : INetTables {
    TableCopy<IpAddrRow> addr;
    TableCopy<IpNetRow> net;
    std::vector<TableCopy<IpNetRow>> netQueue;
    TableCopy<IfRow> ifs;
    TableCopy<DefaultGatewayRow> gateways;
    int netCalls = 0;

    TableCopy<IpAddrRow> AddressTable() override { return addr; }
    TableCopy<IpNetRow> NetTable() override {
        ++netCalls;
        if (!netQueue.empty()) {
            auto t = netQueue.front();
            netQueue.erase(netQueue.begin());
            return t;
        }
        return net;
    }
    TableCopy<IfRow> InterfaceTable() override { return ifs; }
    TableCopy<DefaultGatewayRow> DefaultGateways() override { return gateways; }
};

// Names by address; unknown addresses fail with "host not found". Safe from several threads.
struct FakeResolver : IResolver {
    std::optional<QString> hostName = QStringLiteral("box");
    std::optional<QString> localIp = QStringLiteral("192.168.1.10");
    std::map<std::uint32_t, ReverseLookupResult> names;
    // Runs inside each reverse look-up (on a worker thread), e.g. to block it.
    std::function<void(std::uint32_t)> during;

    mutable std::mutex mutex;
    mutable std::vector<std::uint32_t> asked;

    std::optional<QString> HostName() const override { return hostName; }
    std::optional<QString> ForwardLookup(const QString&) const override { return localIp; }
    ReverseLookupResult ReverseLookup(std::uint32_t addr) const override {
        {
            std::lock_guard lock(mutex);
            asked.push_back(addr);
        }
        if (during) {
            during(addr);
        }
        auto it = names.find(addr);
        return it != names.end() ? it->second : ReverseLookupResult{{}, kLookupHostNotFound};
    }
    void Name(const char* ip, const char* name) { names[Ip(ip)] = {QString::fromLatin1(name), 0}; }
    void Fail(const char* ip, int code) { names[Ip(ip)] = {{}, code}; }
    std::vector<std::uint32_t> Asked() const {
        std::lock_guard lock(mutex);
        return asked;
    }
};

struct FixedClock : IClock {
    QDateTime now{QDate(2026, 12, 6), QTime(19, 5, 9)};
    QDateTime Now() const override { return now; }
};

// Records everything the document tells its windows.
struct RecordingHost : IDocHost {
    struct Line {
        QString text;
        bool append;
        bool log;
    };
    std::vector<Line> lines;
    QString heading;
    QString localHost;
    int logChecks = 0;
    bool hardwareOnly = false;
    int refills = 0;
    QStringList trayAddresses;
    int previews = 0;
    std::vector<int> posted;
    QStringList messages;
    std::atomic<int> keepAlive = 0;
    std::function<void()> onMessage;

    void ShowOutput(const QString& text, bool append, bool log) override {
        lines.push_back({text, append, log});
    }
    void SetOutputHeading(const QString& text) override { heading = text; }
    void SetLocalHostText(const QString& text) override { localHost = text; }
    void CheckLogSize() override { ++logChecks; }
    bool ShowHardwareOnly() const override { return hardwareOnly; }
    void RefillList() override { ++refills; }
    void SetTrayAddress(const QString& address) override { trayAddresses << address; }
    void UpdateForwardPreview() override { ++previews; }
    void PostPaneCommand(int command) override { posted.push_back(command); }
    void ShowMessage(const QString& text) override {
        messages << text;
        if (onMessage) {
            onMessage();
        }
    }
    void KeepResponsive() override { ++keepAlive; }

    QStringList Texts() const {
        QStringList t;
        for (const auto& l : lines) {
            t << l.text;
        }
        return t;
    }
};

// A document on fake tables, resolver and clock, with the arrays sized as at start.
struct DocFixture {
    FakeTables tables;
    FakeResolver resolver;
    FixedClock clock;
    RecordingHost host;
    CQuorvaneDoc doc{&host, tables, resolver, clock};

    DocFixture() { doc.OnNewDocument(); }

    IpAddressRow RowAt(int r) const { return doc.Row(r); }
    QString At(int r, InfoColumn c) const { return doc.Field(r, c); }
};

inline QString S(int id) {
    return LoadString(id);
}

}  // namespace qv::test
