#include "forwarding/DynDns.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include "platform/UrlEncoding.h"
#include "resources/StringTable.h"

namespace qv {
namespace {

struct CodeMeaning {
    const char* code;
    DynDnsVerdict verdict;
    int reason;  // the text that says why a stopping code stopped the updates
};

const CodeMeaning kCodes[] = {
    {"good", DynDnsVerdict::kTaken, 0},
    {"nochg", DynDnsVerdict::kTaken, 0},
    {"badauth", DynDnsVerdict::kStop, Text::DynDnsBadAuth},
    {"!donator", DynDnsVerdict::kStop, Text::DynDnsNotDonator},
    {"notfqdn", DynDnsVerdict::kStop, Text::DynDnsNotFqdn},
    {"nohost", DynDnsVerdict::kStop, Text::DynDnsNoHost},
    {"numhost", DynDnsVerdict::kStop, Text::DynDnsNumHost},
    {"abuse", DynDnsVerdict::kStop, Text::DynDnsAbuse},
    {"badagent", DynDnsVerdict::kStop, Text::DynDnsBadAgent},
    {"911", DynDnsVerdict::kWait, 0},
    {"dnserr", DynDnsVerdict::kWait, 0},
};

const CodeMeaning* Meaning(const QString& code) {
    for (const CodeMeaning& m : kCodes) {
        if (code == QLatin1String(m.code)) {
            return &m;
        }
    }
    return nullptr;
}

const QString kGroup = QStringLiteral("DynDns/");

}  // namespace

QStringList DynDnsHostNames(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

QString DynDnsQuery(const QStringList& hosts, const QString& ipv4, const QString& ipv6) {
    QStringList names;
    for (const QString& host : hosts) {
        names << QString::fromLatin1(EncodeForUrl(host, "&=#+%?,"));
    }
    QString query = QStringLiteral("?hostname=") + names.join(QLatin1Char(','));
    if (!ipv4.isEmpty()) {
        query += QStringLiteral("&myip=") + ipv4;
    }
    if (!ipv6.isEmpty()) {
        query += QStringLiteral("&myipv6=") + ipv6;
    }
    return query;
}

std::vector<DynDnsAnswer> ParseDynDnsReply(const QByteArray& body) {
    std::vector<DynDnsAnswer> answers;
    for (const QByteArray& raw : body.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty()) {
            continue;
        }
        DynDnsAnswer answer;
        answer.line = line;
        answer.code = line.section(QLatin1Char(' '), 0, 0);
        if (const CodeMeaning* m = Meaning(answer.code)) {
            answer.verdict = m->verdict;
        }
        answers.push_back(answer);
    }
    return answers;
}

QString DynDnsStopReason(const QString& code) {
    const CodeMeaning* m = Meaning(code);
    return m && m->reason ? LoadString(m->reason) : code;
}

bool DynDnsTargetAllowed(const UrlParts& target) {
    if (target.service == kServiceHttps) {
        return true;
    }
    if (target.service != kServiceHttp) {
        return false;
    }
    QString host = target.server;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    static const QRegularExpression loopbackV4(
        QStringLiteral("^127\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}$"));
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           host == QLatin1String("::1") || loopbackV4.match(host).hasMatch();
}

QString DynDnsLedger::DefaultPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) {
        state = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return state + QStringLiteral("/Calvort/Quorvane-dyndns.conf");
}

QString DynDnsLedger::TargetKey(const QString& url, const QStringList& hosts, const QString& user) {
    const QString target =
        url + QLatin1Char('\n') + hosts.join(QLatin1Char(',')) + QLatin1Char('\n') + user;
    return QString::fromLatin1(
        QCryptographicHash::hash(target.toUtf8(), QCryptographicHash::Sha256).toHex());
}

DynDnsLedger::Entry DynDnsLedger::Read(const QString& target) const {
    QSettings file(m_path, QSettings::IniFormat);
    file.beginGroup(kGroup + target);
    Entry entry;
    entry.ipv4 = file.value(QStringLiteral("IPv4")).toString();
    entry.ipv6 = file.value(QStringLiteral("IPv6")).toString();
    entry.stoppedBy = file.value(QStringLiteral("StoppedBy")).toString();
    entry.waitUntil =
        QDateTime::fromString(file.value(QStringLiteral("WaitUntil")).toString(), Qt::ISODate);
    return entry;
}

bool DynDnsLedger::Write(const QString& target, const Entry& entry) const {
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSettings file(m_path, QSettings::IniFormat);
    file.remove(kGroup + target);
    file.beginGroup(kGroup + target);
    const auto put = [&file](const char* key, const QString& value) {
        if (!value.isEmpty()) {
            file.setValue(QLatin1String(key), value);
        }
    };
    put("IPv4", entry.ipv4);
    put("IPv6", entry.ipv6);
    put("StoppedBy", entry.stoppedBy);
    put("WaitUntil",
        entry.waitUntil.isValid() ? entry.waitUntil.toUTC().toString(Qt::ISODate) : QString());
    file.endGroup();
    file.sync();
    return file.status() == QSettings::NoError;
}

}  // namespace qv
