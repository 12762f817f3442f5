#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

#include "forwarding/TargetUrl.h"

namespace qv {

// What one answer line of a dyndns2 service means for the updates that follow.
enum class DynDnsVerdict {
    kTaken,    // "good" or "nochg": the service holds the address
    kStop,     // the account, a host name or the program is refused: no automatic update again
               // until the settings change
    kWait,     // the service has trouble ("911", "dnserr"): no try for a while
    kUnknown,  // an answer the protocol does not name
};

struct DynDnsAnswer {
    QString code;  // the first word: "good", "nochg", "badauth", "911", ...
    QString line;  // the whole line as the service sent it
    DynDnsVerdict verdict = DynDnsVerdict::kUnknown;
};

// The shortest wait after the service said "911" or "dnserr".
inline constexpr int kDynDnsWaitMinutes = 30;

// The host names as typed: separated by commas or blanks.
QStringList DynDnsHostNames(const QString& text);
// "?hostname=a,b&myip=…&myipv6=…"; an empty address leaves its pair out.
QString DynDnsQuery(const QStringList& hosts, const QString& ipv4, const QString& ipv6);
// One answer per line, the blank ones skipped.
std::vector<DynDnsAnswer> ParseDynDnsReply(const QByteArray& body);
// Why a code of kStop stopped the updates, for the output box.
QString DynDnsStopReason(const QString& code);
// The password travels with every update: https, or plain http to this machine only.
bool DynDnsTargetAllowed(const UrlParts& target);

// What a dyndns2 service last took for each target, and whether its updates stopped or wait,
// kept across runs in the user's state folder ($XDG_STATE_HOME/Calvort/Quorvane-dyndns.conf).
// A target is stored as a digest of its URL, host names and user: the file holds no password.
class DynDnsLedger {
  public:
    struct Entry {
        QString ipv4;  // the addresses the service last took
        QString ipv6;
        QString stoppedBy;    // the code that stopped the automatic updates; empty: none
        QDateTime waitUntil;  // no try before this time (UTC); null: none
    };

    explicit DynDnsLedger(QString path = DefaultPath()) : m_path(std::move(path)) {}

    Entry Read(const QString& target) const;
    // False when the file could not be written.
    bool Write(const QString& target, const Entry& entry) const;

    static QString DefaultPath();
    static QString TargetKey(const QString& url, const QStringList& hosts, const QString& user);

  private:
    QString m_path;
};

}  // namespace qv
