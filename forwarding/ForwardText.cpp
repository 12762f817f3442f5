#include "forwarding/ForwardText.h"

#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>

#include "platform/Clock.h"
#include "platform/Transfer.h"
#include "resources/StringTable.h"

namespace qv {
namespace {

// Percent-encodes blanks and control characters, and with `queryMarks` also the characters that
// would end or split a pair ("&", "=", "#", "+", "%") and letters outside ASCII.
QString Encode(const QString& text, bool queryMarks) {
    return QString::fromUtf8(EncodeForUrl(text, queryMarks ? "&=#+%" : "", !queryMarks));
}

bool StartsWithSlash(const QString& text) {
    return text.startsWith(QLatin1Char('/')) || text.startsWith(QLatin1Char('\\'));
}

// The header lines of a raw block, without their line ends.
QList<QByteArray> HeaderLines(const QByteArray& headers) {
    QList<QByteArray> lines;
    for (QByteArray line : headers.split('\n')) {
        while (line.endsWith('\r')) {
            line.chop(1);
        }
        lines << line;
    }
    return lines;
}

QByteArray HeaderValue(const QByteArray& headers, const QByteArray& name, bool* found) {
    for (const QByteArray& line : HeaderLines(headers)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            if (found) {
                *found = true;
            }
            return line.mid(colon + 1).trimmed();
        }
    }
    if (found) {
        *found = false;
    }
    return {};
}

}  // namespace

QString EncodeQueryValue(const QString& text) {
    return Encode(text, true);
}

QString EncodeAdditionalQuery(const QString& text) {
    return Encode(text, false);
}

QString BuildQueryTail(const SettingsRecord& s, QuerySecrets secrets) {
    QString tail;
    const bool withSecrets = secrets != QuerySecrets::kLeave;
    if (withSecrets && s.SendUserID && !s.UserIDQueryStringTag.isEmpty()) {
        tail += QLatin1Char('&') + EncodeQueryValue(s.UserIDQueryStringTag) + QLatin1Char('=') +
                EncodeQueryValue(s.UserIDQueryString);
    }
    if (withSecrets && s.SendPassword && !s.PasswordQueryStringTag.isEmpty()) {
        tail += QLatin1Char('&') + EncodeQueryValue(s.PasswordQueryStringTag) + QLatin1Char('=');
        if (secrets == QuerySecrets::kMask && !s.PasswordQueryString.isEmpty()) {
            tail += QLatin1String(kMaskedPassword);
        } else {
            tail += EncodeQueryValue(s.PasswordQueryString);
        }
    }
    if (s.SendStartPage && !s.StartPageQueryStringTag.isEmpty()) {
        tail += QLatin1Char('&') + EncodeQueryValue(s.StartPageQueryStringTag) + QLatin1Char('=');
        if (!s.StartPageQueryString.isEmpty()) {
            if (!StartsWithSlash(s.StartPageQueryString)) {
                tail += QLatin1Char('/');
            }
            tail += EncodeQueryValue(s.StartPageQueryString);
        }
    }
    if (s.SendAdditional) {
        tail += EncodeAdditionalQuery(s.AdditionalQueryString);
    }
    return tail;
}

QString BuildAddressQuery(const SettingsRecord& s, const QString& address, QuerySecrets secrets,
                          const QString& second) {
    QString query = QLatin1Char('?') + EncodeQueryValue(s.IPAddressQueryStringTag) +
                    QLatin1Char('=') + EncodeQueryValue(address);
    if (!second.isEmpty() && !s.IPv6AddressQueryStringTag.isEmpty()) {
        query += QLatin1Char('&') + EncodeQueryValue(s.IPv6AddressQueryStringTag) +
                 QLatin1Char('=') + EncodeQueryValue(second);
    }
    return query + BuildQueryTail(s, secrets);
}

QString AppendQuery(const QString& url, const QString& query) {
    if (!url.contains(QLatin1Char('?'))) {
        return url + query;
    }
    const bool joined = url.endsWith(QLatin1Char('?')) || url.endsWith(QLatin1Char('&'));
    return url + (joined ? QString() : QStringLiteral("&")) + query.mid(1);
}

QString BuildFTPReplacement(const SettingsRecord& s, const QString& text, bool withStartPage) {
    if (!withStartPage) {
        return text;
    }
    // Followed by a path, an IPv6 address is a URL's host: in brackets.
    QString result =
        text.contains(QLatin1Char(':')) ? QLatin1Char('[') + text + QLatin1Char(']') : text;
    if (!StartsWithSlash(s.FTPStartPage)) {
        result += QLatin1Char('/');
    }
    return result + s.FTPStartPage;
}

QString StripHTMLTags(const QString& text) {
    QString bare;
    bare.reserve(text.size());
    bool inTag = false;
    for (QChar c : text) {
        if (c == QLatin1Char('<')) {
            inTag = true;
            continue;
        }
        if (!inTag) {
            bare += c;
        }
        if (c == QLatin1Char('>')) {
            inTag = false;
        }
    }

    QString out;
    out.reserve(bare.size());
    int breaks = 0;
    for (QChar c : bare) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            ++breaks;
            continue;
        }
        if (breaks >= 3) {
            out += QLatin1String(kBreak) + QLatin1String(kBreak);
        } else if (breaks >= 1) {
            out += QLatin1String(kBreak);
        }
        breaks = 0;
        out += c;
    }
    return out;
}

QString FindLocation(const QByteArray& headers, bool* found) {
    return QString::fromUtf8(HeaderValue(headers, "Location", found));
}

QString FindRealm(const QByteArray& headers) {
    const QByteArray challenge = HeaderValue(headers, "WWW-Authenticate", nullptr);
    const qsizetype at = challenge.toLower().indexOf("realm=");
    if (at < 0) {
        return {};
    }
    QByteArray realm = challenge.mid(at + 6);
    if (realm.startsWith('"')) {
        realm = realm.mid(1);
        const qsizetype close = realm.indexOf('"');
        return QString::fromUtf8(close >= 0 ? realm.left(close) : realm);
    }
    const qsizetype comma = realm.indexOf(',');
    return QString::fromUtf8(comma >= 0 ? realm.left(comma) : realm).trimmed();
}

QByteArray TextModeBytes(const QByteArray& bytes) {
    QByteArray out = bytes;
    out.replace("\r\n", "\n");
    return out;
}

bool ReplaceFirst(QByteArray& page, const QByteArray& placeholder, const QByteArray& replacement) {
    if (placeholder.isEmpty()) {
        return false;
    }
    const qsizetype at = page.indexOf(placeholder);
    if (at < 0) {
        return false;
    }
    page.replace(at, placeholder.size(), replacement);
    return true;
}

QString JoinRemotePath(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/'))) {
        return folder + name;
    }
    return folder + QLatin1Char('/') + name;
}

QString UnreachableText(const QString& server, quint16 port, const TransferStatus& status) {
    QString why;
    if (status.code == kHostNotResolved) {
        why = QStringLiteral("host name not found");
    } else if (status.code == kTransferTimedOut || status.osError == ETIMEDOUT) {
        why = QStringLiteral("timed out");
    } else if (status.osError == ECONNREFUSED) {
        why = QStringLiteral("connection refused");
    } else if (status.osError == EHOSTUNREACH || status.osError == ENETUNREACH) {
        why = QStringLiteral("no route");
    } else {
        why = status.text;
    }
    const QString host = server.contains(QLatin1Char(':')) ? u'[' + server + u']' : server;
    return QStringLiteral("Could not reach %1:%2 \u2014 %3").arg(host).arg(port).arg(why);
}

QString FormatString(int id, const QString& arg) {
    QString text = LoadString(id);
    const qsizetype at = text.indexOf(QLatin1String("%s"));
    if (at >= 0) {
        text.replace(at, 2, arg);
    }
    return text;
}

bool IsValidAddressText(const QString& text) {
    if (text.isEmpty() || text == LoadString(Text::PlaceholderAddress)) {
        return false;
    }
    if (text.contains(QLatin1Char(':'))) {
        // IPv6: the standard text, without a zone index; not a link-local address, which means
        // nothing to a host elsewhere.
        in6_addr addr{};
        return text.size() < INET6_ADDRSTRLEN &&
               inet_pton(AF_INET6, text.toLatin1().constData(), &addr) == 1 &&
               !IN6_IS_ADDR_LINKLOCAL(&addr);
    }
    for (QChar c : text) {
        if (c != QLatin1Char('.') && (c < QLatin1Char('0') || c > QLatin1Char('9'))) {
            return false;
        }
    }
    return true;
}

}  // namespace qv
