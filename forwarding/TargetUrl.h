#pragma once

#include <QString>

namespace qv {

// What a password is shown as in lines that are shown or logged.
inline constexpr const char* kMaskedPassword = "****";

// Services of a split URL, numbered as the program has always numbered them.
enum ServiceType : int {
    kServiceUnknown = 0,
    kServiceFtp = 1,
    kServiceHttp = 3,
    kServiceHttps = 14,
    kServiceOther = 0x1000,  // a well-formed URL of any other scheme
    kServiceFtps = 0x1001,   // FTP over TLS from the first byte (implicit TLS)
};

// The parts of a target URL. The forwarding target (m_server, m_object, m_port,
// m_serviceType) is one of these.
struct UrlParts {
    int service = kServiceUnknown;
    QString server;    // host name as written (an IPv6 literal keeps its brackets)
    QString object;    // path and query, always beginning with "/"; the fragment is dropped
    quint16 port = 0;  // as written, else the scheme's default
    QString user;      // user and password written before "@": the log-in, never part of the
    QString password;  // request line
};

// Splits "scheme://[user[:password]@]host[:port][/path][?query][#fragment]". Fails (returning
// false and leaving `out` empty) without "://", with an empty host, with a port that is not a
// number from 1 to 65535, or with a control character anywhere. Blanks around the URL (and the
// CR that ends a header line) are ignored.
bool SplitUrl(const QString& url, UrlParts& out);

// The same scheme, host (letter case aside) and port: where credentials given to one may go.
bool SameOrigin(const UrlParts& a, const UrlParts& b);

// `url` with the password written before "@" shown as "****", for every place a URL is shown.
QString MaskUrlPassword(const QString& url);

// HTTP or HTTPS.
inline bool IsHttpService(int service) {
    return service == kServiceHttp || service == kServiceHttps;
}

// FTP, plain or over implicit TLS.
inline bool IsFtpService(int service) {
    return service == kServiceFtp || service == kServiceFtps;
}

}  // namespace qv
