#pragma once

#include <QByteArray>
#include <QString>

namespace qv {

// Percent-encodes every byte of `text` (UTF-8) that is a control character, a blank, not ASCII
// (unless `keepNonAscii`), or listed in `also`; leaves the others as they are.
QByteArray EncodeForUrl(const QString& text, const char* also = "", bool keepNonAscii = false);

}  // namespace qv
