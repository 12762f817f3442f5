#include "platform/UrlEncoding.h"

#include <cstring>

namespace qv {

QByteArray EncodeForUrl(const QString& text, const char* also, bool keepNonAscii) {
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    const QByteArray bytes = text.toUtf8();
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        const bool outside = b == 0x7f || (b >= 0x80 && !keepNonAscii);
        if (b <= 0x20 || outside || std::strchr(also, ch) != nullptr) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace qv
