#pragma once

#include <QString>

namespace qv {

// What a source of the machine's public address said when it was asked.
struct PublicAddressAnswer {
    bool reached = false;  // the source answered: it has a row in the list
    QString address;       // the public address it reported, checked; empty when none was taken
    QString problem;       // why no address was taken; empty when `address` is set
    QString description;   // the router's friendly name
    QString gateway;       // the router's address on the local network
};

// The answer of a source that was reached but gave no address, with why.
PublicAddressAnswer ReachedWithoutAddress(const QString& problem);

// How an IPv4 address in dotted text may be used as the public address.
enum class AddressScope {
    Public,        // reachable from the Internet
    Private,       // a private or shared (carrier NAT) range: behind another router
    Unusable,      // loopback, link-local, unspecified, multicast, reserved, broadcast
    NotAnAddress,  // not one address in plain dotted-decimal form
};

// `text` must be exactly one address ("203.0.113.7"): no blanks, port, leading zeros or other
// forms.
AddressScope ClassifyAddress(const QString& text);

// At most `max` characters of `text` for a diagnostic: control characters become blanks.
QString Excerpt(const QString& text, int max = 40);

}  // namespace qv
