#pragma once

#include <QByteArray>
#include <QString>

#include "forwarding/TargetUrl.h"
#include "platform/Transfer.h"
#include "settings/SettingsRecord.h"

namespace qv {

// Which secrets (the user ID and password pairs) a query carries.
enum class QuerySecrets {
    kSend,   // as typed
    kMask,   // the password value shown as "****", for lines that are shown or logged
    kLeave,  // both pairs left out: for a host other than the one the user typed
};

// A tag or value of the query string: "&", "=", "#", "+", "%", blanks, control characters and
// letters outside ASCII (as UTF-8) are percent-encoded; every other character, "/" and "\"
// included, stays as typed.
QString EncodeQueryValue(const QString& text);
// The additional query text: only blanks and control characters are percent-encoded.
QString EncodeAdditionalQuery(const QString& text);

// The optional pairs, in their fixed order, each only when its flag is on and its tag is not
// empty (the additional text has no tag and is appended as typed).
QString BuildQueryTail(const SettingsRecord& s, QuerySecrets secrets = QuerySecrets::kSend);
// "?" + address tag + "=" + address, the second address's pair when there is one (IPv6 tag "="
// second address), then BuildQueryTail.
QString BuildAddressQuery(const SettingsRecord& s, const QString& address,
                          QuerySecrets secrets = QuerySecrets::kSend,
                          const QString& second = QString());
// `query` ("?" and its pairs) appended to `url`: joined with "&" when the URL already holds a
// query, and with nothing when that query already ends in "?" or "&".
QString AppendQuery(const QString& url, const QString& query);

// `text`, then (when `withStartPage`) a "/" unless the start page begins with "/" or "\", then
// the start page; with the start page an IPv6 address is put in brackets, as a URL's host.
QString BuildFTPReplacement(const SettingsRecord& s, const QString& text, bool withStartPage);

// The host's reply for the Output Data window: tags dropped, runs of line breaks turned into one
// (one or two breaks) or two (three or more) of the box's CR CR LF breaks, trailing ones dropped.
QString StripHTMLTags(const QString& text);

// The value of the first "Location" header line of a raw header block, without its line end and
// surrounding blanks; `found` tells whether there was one.
QString FindLocation(const QByteArray& headers, bool* found);
// The realm of the first "WWW-Authenticate" header, or empty.
QString FindRealm(const QByteArray& headers);

// Reading a page "as text": every CR LF pair becomes a single LF.
QByteArray TextModeBytes(const QByteArray& bytes);

// The first occurrence of `placeholder` replaced by `replacement`; false when there is none.
bool ReplaceFirst(QByteArray& page, const QByteArray& placeholder, const QByteArray& replacement);

// `folder` + "/" + `name`, without doubling a "/" that ends the folder.
QString JoinRemotePath(const QString& folder, const QString& name);

// What a connection check that got no connection tells: "Could not reach host:port — " and why
// (connection refused, timed out, no route, host name not found, else libcurl's text).
QString UnreachableText(const QString& server, quint16 port, const TransferStatus& status);

// The text of string `id` with its "%s" replaced by `arg`.
QString FormatString(int id, const QString& arg);

// Accepts an address text made of digits and dots only, and not the placeholder "---.---.---.---",
// or a valid IPv6 text without a zone index that is not a link-local address.
bool IsValidAddressText(const QString& text);

}  // namespace qv
