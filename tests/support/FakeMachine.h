#pragma once

#include <arpa/inet.h>

#include <functional>

#include "network/PublicAddressRows.h"
#include "platform/NetTables.h"
#include "platform/Resolver.h"
#include "tests/support/EventLoop.h"

namespace qv::test {

inline std::uint32_t Addr(const char* dotted) {
    return inet_addr(dotted);
}

// A machine with loopback (0x1, "lo") and one Ethernet card (0x2, "enp3s0") on 192.168.7.23,
// without ARP entries or gateways (a test that needs them overrides NetTable or DefaultGateways).
class FakeTables : public INetTables {
  public:
    TableCopy<IpAddrRow> AddressTable() override {
        TableCopy<IpAddrRow> t;
        t.rows.push_back({Addr("127.0.0.1"), 1, Addr("255.0.0.0"), 0});
        t.rows.push_back({Addr("192.168.7.23"), 2, Addr("255.255.255.0"), Addr("192.168.7.255")});
        return t;
    }
    TableCopy<IpNetRow> NetTable() override { return {}; }
    TableCopy<IfRow> InterfaceTable() override {
        TableCopy<IfRow> t;
        IfRow lo;
        lo.index = 1;
        SetDescription(lo, "lo", 2);
        IfRow eth;
        eth.index = 2;
        SetDescription(eth, "enp3s0", 6);
        const std::uint8_t mac[] = {0x52, 0x54, 0x00, 0x12, 0x34, 0x56};
        SetPhysAddr(eth.hardwareLength, eth.hardware, mac, sizeof mac);
        t.rows = {lo, eth};
        return t;
    }
    TableCopy<DefaultGatewayRow> DefaultGateways() override { return {}; }
};

// Its name service: "workbench" at 192.168.7.23.
class FakeResolver : public IResolver {
  public:
    std::optional<QString> HostName() const override { return QStringLiteral("workbench"); }
    std::unique_ptr<PendingLookups> StartForwardLookup(const QString&, int,
                                                       ForwardLookupAnswer answer) override {
        answer(QStringLiteral("192.168.7.23"));
        return nullptr;
    }
    std::unique_ptr<PendingLookups> StartReverseLookups(const std::vector<std::uint32_t>& addrs,
                                                        int, ReverseLookupAnswer answer) override {
        for (std::size_t i = 0; i < addrs.size(); ++i) {
            answer(i, {addrs[i] == Addr("127.0.0.1") ? QStringLiteral("localhost")
                                                     : QStringLiteral("workbench.lan"),
                       kLookupOk});
        }
        return nullptr;
    }
};

// Its router does not answer UPnP and no echo page is reached: answered at once.
class NoPublicAddress : public IPublicAddressQueries {
  public:
    std::unique_ptr<PendingPublicQuery> Ask(const QString&, Answer answer) override {
        answer({});
        return nullptr;
    }
};

}  // namespace qv::test
