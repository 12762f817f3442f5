// libFuzzer target for the text parsers of the forwarding: URL splitting, tag stripping, header
// values and query encoding. The normal build makes it with clang (under build/fuzz/ when the
// project itself is built with another compiler) and ctest runs it briefly over fuzz_corpus/. A
// longer run, from the repository's root:
//     mkdir -p /tmp/corpus && cp tests/forwarding/fuzz_corpus/* /tmp/corpus
//     build/fuzz/tests/forwarding/forwarding_fuzz -max_total_time=600 /tmp/corpus

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "forwarding/ForwardText.h"
#include "forwarding/TargetUrl.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);

    qv::UrlParts parts;
    if (qv::SplitUrl(text, parts)) {
        Check(!parts.server.isEmpty());
        Check(parts.object.startsWith(QLatin1Char('/')));
        Check(!parts.object.contains(QLatin1Char('#')));
        Check(parts.service == qv::kServiceOther || parts.port != 0);
        for (QChar c : parts.server + parts.object) {
            Check(c.unicode() >= 0x20 && c.unicode() != 0x7f);
        }
    } else {
        Check(parts.server.isEmpty() && parts.service == qv::kServiceUnknown);
    }

    const QString stripped = qv::StripHTMLTags(text);
    Check(!stripped.contains(QLatin1Char('<')));
    Check(!stripped.endsWith(QLatin1Char('\n')));

    for (QChar c : qv::EncodeQueryValue(text)) {
        const char16_t u = c.unicode();
        Check(u > 0x20 && u < 0x7f && u != '&' && u != '=' && u != '#' && u != '+');
    }

    bool found = false;
    const QString location = qv::FindLocation(bytes, &found);
    Check(!location.contains(QLatin1Char('\n')));
    qv::FindRealm(bytes);

    QByteArray page = qv::TextModeBytes(bytes);
    Check(page.size() == bytes.size() - bytes.count("\r\n"));
    if (size > 2) {
        qv::ReplaceFirst(page, bytes.left(2), "x");
    }
    return 0;
}
