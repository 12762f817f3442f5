#pragma once

#include <QString>

#include <array>
#include <cstddef>

namespace qv {

// The fields of an address row, in the list's column order.
enum InfoColumn : int {
    ColNicIpAddress = 0,
    ColInterfaceNumber,
    ColAddressType,
    ColNicDescription,
    ColNicMacAddress,
    ColHostName,
    ColGatewayIpAddress,
    ColGatewayMacAddress,
    ColSubnetMask,
    ColBroadcastIpAddress,
    ColDiagnosticInformation,
};

inline constexpr std::size_t kColumnCount = ColDiagnosticInformation + 1;

// The MAC columns of a row that has no hardware address.
inline const QString kNoMac = QStringLiteral("-----------------");
// A field whose answer is still awaited: a host name being looked up, a public address asked for.
inline const QString kLookingUp = QStringLiteral("Looking up ...");

// One row of the address list: eleven display texts indexed by InfoColumn.
struct IpAddressRow {
    std::array<QString, kColumnCount> fields;

    QString& operator[](InfoColumn c) { return fields[static_cast<std::size_t>(c)]; }
    const QString& operator[](InfoColumn c) const { return fields[static_cast<std::size_t>(c)]; }
    bool operator==(const IpAddressRow&) const = default;
};

}  // namespace qv
