// quorvane-transfer: does the transfers of the CurlTransfer objects of the program or quorvane-cli.
// libcurl and the two dozen libraries behind it (TLS, SSH, LDAP, Kerberos...) are loaded only in
// this process, which ends 15 s after its last transfer, so they never stay in the memory of a
// program that watches for days. Its channel is descriptor 3 (see TransferChannel.h); it ends at
// once when the channel closes.

#include "platform/CurlEngine.h"
#include "platform/TransferChannel.h"

#include <curl/curl.h>

#include <poll.h>

#include <unistd.h>

#include <csignal>
#include <memory>

using namespace qv;

namespace {

// How long a parked helper waits for its next transfer.
constexpr int kParkedMs = 15000;

// The transfer asked for the running request to stop, or went away.
bool StopAsked() {
    pollfd channel{kTransferChannelFd, POLLIN, 0};
    return ::poll(&channel, 1, 0) > 0;
}

// The reply to one request; none when the request is not whole.
std::optional<QByteArray> Answer(CurlEngine& engine, const Frame& frame) {
    switch (frame.kind) {
        case FrameKind::Post: {
            HttpPostRequest request;
            return Unpack(frame.payload, request) ? std::optional(Pack(engine.Post(request)))
                                                  : std::nullopt;
        }
        case FrameKind::Fetch: {
            HttpFetchRequest request;
            return Unpack(frame.payload, request) ? std::optional(Pack(engine.Fetch(request)))
                                                  : std::nullopt;
        }
        case FrameKind::FtpStore: {
            FtpAccount account;
            QString path;
            QByteArray data;
            QStringList afterwards;
            if (!Unpack(frame.payload, account, path, data, afterwards)) {
                return std::nullopt;
            }
            return Pack(engine.FtpStore(account, path, data, afterwards));
        }
        case FrameKind::FtpCommands: {
            FtpAccount account;
            QStringList commands;
            if (!Unpack(frame.payload, account, commands)) {
                return std::nullopt;
            }
            return Pack(engine.FtpCommands(account, commands));
        }
        case FrameKind::Probe: {
            QString host;
            quint16 port = 0;
            return Unpack(frame.payload, host, port) ? std::optional(Pack(engine.Probe(host, port)))
                                                     : std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    // A terminal's Ctrl-C or a service manager's stop reaches the helper with the program; the
    // program may still need it for its off-line notice, and it ends when the program closes
    // its channel.
    for (int ending : {SIGTERM, SIGINT, SIGHUP}) {
        std::signal(ending, SIG_IGN);
    }
    // The program collects the process it started at once; the helper goes on in a child of it,
    // which the system collects, so that a parked helper that ends by itself leaves no zombie.
    const pid_t helper = ::fork();
    if (helper != 0) {
        return helper > 0 ? 0 : 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);  // on failure every transfer says so
    std::unique_ptr<CurlEngine> engine;
    for (;;) {
        // Parked (no transfer open), the helper waits for the next one for a while only.
        pollfd channel{kTransferChannelFd, POLLIN, 0};
        if (!engine && ::poll(&channel, 1, kParkedMs) <= 0) {
            break;
        }
        const std::optional<Frame> frame = ReadFrame(kTransferChannelFd);
        if (!frame) {
            break;
        }
        if (frame->kind == FrameKind::Open) {
            QByteArray agent;
            TransferLimits limits;
            if (!Unpack(frame->payload, agent, limits)) {
                break;
            }
            engine = std::make_unique<CurlEngine>(agent, limits);
            engine->SetConnectedCallback(
                [] { WriteFrame(kTransferChannelFd, FrameKind::Connected); });
            engine->SetStopCheck(StopAsked);
        } else if (frame->kind == FrameKind::Park) {
            engine.reset();
        } else if (frame->kind != FrameKind::Stop) {  // a Stop that came after its request ended
            const std::optional<QByteArray> reply = engine ? Answer(*engine, *frame) : std::nullopt;
            if (!reply || !WriteFrame(kTransferChannelFd, FrameKind::Reply, *reply)) {
                break;
            }
        }
    }
    engine.reset();
    curl_global_cleanup();
    return 0;
}
