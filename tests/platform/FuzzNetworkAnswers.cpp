// libFuzzer target for what the program reads from the local network and the machine: a hosts
// file, the router's answer to the SSDP search, its description and GetExternalIPAddress reply,
// and an echo page's reply. Built and run like forwarding_fuzz (see FuzzForwardText.cpp); a
// longer run, from the repository's root:
//     mkdir -p /tmp/corpus && cp tests/platform/fuzz_corpus/* /tmp/corpus
//     build/fuzz/tests/platform/network_answers_fuzz -max_total_time=600 /tmp/corpus

#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/EchoPageAddress.h"
#include "platform/HostsFile.h"
#include "platform/PublicAddress.h"
#include "platform/RouterAddress.h"
#include "platform/ShownText.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool HasControl(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) {
            return true;
        }
    }
    return false;
}

// An answer that gives an address gives a public one and no problem; one without says why.
void CheckAnswer(const qv::PublicAddressAnswer& answer) {
    if (!answer.address.isEmpty()) {
        Check(qv::ClassifyAddress(answer.address) == qv::AddressScope::Public);
        Check(answer.problem.isEmpty());
    } else {
        Check(!answer.problem.isEmpty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = QString::fromUtf8(bytes);

    qv::HostsFile hosts(std::string{});
    hosts.SetText(bytes.toStdString());
    for (std::uint32_t addr : {0x0100007Fu, 0x0201A8C0u, 0x0700710Cu}) {  // network order
        if (const auto name = hosts.NameOf(addr)) {
            Check(!name->isEmpty());
            Check(!qv::ShownText(*name, qv::TextField::kSingleLine).contains(QLatin1Char('\n')));
        }
    }
    hosts.NameOf(qv::Ipv6Bytes{});
    hosts.AddressesOf(text.section(QLatin1Char(' '), 0, 0).left(64));

    if (const auto location = qv::RouterAddress::LocationOf(bytes)) {
        Check(!location->contains('\n'));
    }

    QString problem;
    const QUrl base(QStringLiteral("http://192.0.2.1:5000/desc.xml"));
    if (const auto found = qv::RouterAddress::ReadDescription(bytes, base, &problem)) {
        Check(!found->controlUrl.isEmpty());
        Check(!HasControl(found->friendlyName));
    } else {
        Check(!problem.isEmpty());
    }
    problem.clear();
    if (const auto external = qv::RouterAddress::ReadExternalAddress(bytes, &problem)) {
        CheckAnswer(qv::RouterAddress::Judge(*external));
    } else {
        Check(!problem.isEmpty());
    }
    CheckAnswer(qv::RouterAddress::Judge(text.left(64)));
    CheckAnswer(qv::EchoPageAddress::ReadReply(bytes.left(qv::EchoPageAddress::kMaxReply),
                                               bytes.size() > qv::EchoPageAddress::kMaxReply));

    const QString excerpt = qv::Excerpt(text);
    Check(!HasControl(excerpt));
    Check(excerpt.size() <= 43);
    return 0;
}
