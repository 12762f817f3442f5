#include "forwarding/TargetUrl.h"

#include <optional>

namespace qv {
namespace {

bool HasControl(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            return true;
        }
    }
    return false;
}

bool ValidScheme(const QString& scheme) {
    if (scheme.isEmpty() || !scheme[0].isLetter() || scheme[0].unicode() > 0x7f) {
        return false;
    }
    for (QChar c : scheme) {
        const bool ok = (c.unicode() < 0x80 && c.isLetterOrNumber()) || c == QLatin1Char('+') ||
                        c == QLatin1Char('-') || c == QLatin1Char('.');
        if (!ok) {
            return false;
        }
    }
    return true;
}

// The service of a scheme and its default port (0 for a scheme the program does not speak).
int ServiceOf(const QString& scheme, quint16& defaultPort) {
    struct Known {
        const char* scheme;
        int service;
        quint16 port;
    };
    static constexpr Known kKnown[] = {{"http", kServiceHttp, 80},
                                       {"https", kServiceHttps, 443},
                                       {"ftp", kServiceFtp, 21},
                                       {"ftps", kServiceFtps, 990}};
    for (const Known& k : kKnown) {
        if (scheme == QLatin1String(k.scheme)) {
            defaultPort = k.port;
            return k.service;
        }
    }
    defaultPort = 0;
    return kServiceOther;
}

// Splits "host", "host:port" or "[v6]:port" after any user information; false when malformed.
bool SplitHostPort(const QString& authority, QString& host, std::optional<QString>& port) {
    host = authority;
    if (authority.startsWith(QLatin1Char('['))) {
        const qsizetype close = authority.indexOf(QLatin1Char(']'));
        if (close < 0) {
            return false;
        }
        host = authority.left(close + 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':'))) {
                return false;
            }
            port = after.mid(1);
        }
    } else {
        const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            host = authority.left(colon);
            port = authority.mid(colon + 1);
        }
    }
    return !host.isEmpty() && !host.contains(QLatin1Char(' '));
}

// A port of 1 to 5 digits, 1..65535; nothing otherwise.
std::optional<quint16> ParsePort(const QString& text) {
    if (text.size() > 5) {
        return std::nullopt;
    }
    int value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - '0');
    }
    if (value < 1 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<quint16>(value);
}

}  // namespace

bool SplitUrl(const QString& url, UrlParts& out) {
    out = UrlParts{};
    const QString text = url.trimmed();
    if (HasControl(text)) {
        return false;
    }
    const qsizetype schemeEnd = text.indexOf(QLatin1String("://"));
    if (schemeEnd <= 0) {
        return false;
    }
    const QString scheme = text.left(schemeEnd).toLower();
    if (!ValidScheme(scheme)) {
        return false;
    }

    UrlParts parts;
    quint16 defaultPort = 0;
    parts.service = ServiceOf(scheme, defaultPort);

    const QString rest = text.mid(schemeEnd + 3);
    qsizetype authorityEnd = rest.size();
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QChar c = rest[i];
        if (c == QLatin1Char('/') || c == QLatin1Char('?') || c == QLatin1Char('#')) {
            authorityEnd = i;
            break;
        }
    }
    QString authority = rest.left(authorityEnd);
    QString object = rest.mid(authorityEnd);

    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        parts.user = colon >= 0 ? userInfo.left(colon) : userInfo;
        parts.password = colon >= 0 ? userInfo.mid(colon + 1) : QString();
    }

    QString host;
    std::optional<QString> portText;
    if (!SplitHostPort(authority, host, portText)) {
        return false;
    }
    parts.port = defaultPort;
    if (portText && !portText->isEmpty()) {
        const std::optional<quint16> port = ParsePort(*portText);
        if (!port) {
            return false;
        }
        parts.port = *port;
    }

    // A fragment belongs to the browser and is never sent to the server.
    const qsizetype hash = object.indexOf(QLatin1Char('#'));
    if (hash >= 0) {
        object.truncate(hash);
    }
    if (!object.startsWith(QLatin1Char('/'))) {
        object.prepend(QLatin1Char('/'));
    }
    parts.server = host;
    parts.object = object;
    out = parts;
    return true;
}

bool SameOrigin(const UrlParts& a, const UrlParts& b) {
    return a.service == b.service && a.port == b.port &&
           a.server.compare(b.server, Qt::CaseInsensitive) == 0;
}

QString MaskUrlPassword(const QString& url) {
    const qsizetype schemeEnd = url.indexOf(QLatin1String("://"));
    if (schemeEnd < 0) {
        return url;
    }
    const qsizetype start = schemeEnd + 3;
    qsizetype end = url.size();
    for (qsizetype i = start; i < url.size(); ++i) {
        const QChar c = url[i];
        if (c == QLatin1Char('/') || c == QLatin1Char('?') || c == QLatin1Char('#')) {
            end = i;
            break;
        }
    }
    const qsizetype at = url.lastIndexOf(QLatin1Char('@'), end - 1);
    if (at < start) {
        return url;
    }
    const qsizetype colon = url.indexOf(QLatin1Char(':'), start);
    if (colon < 0 || colon > at || colon + 1 == at) {
        return url;  // no password, or an empty one
    }
    return url.left(colon + 1) + QLatin1String(kMaskedPassword) + url.mid(at);
}

}  // namespace qv
