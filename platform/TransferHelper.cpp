// quorvane-transfer: does the transfers of one CurlTransfer of the program or of quorvane-cli.
// libcurl and the two dozen libraries behind it (TLS, SSH, LDAP, Kerberos...) are loaded only in
// this short-lived process, so they never stay in the memory of a program that watches for days.
// Its channel is descriptor 3 (see TransferChannel.h); it ends when the channel closes.

#include "platform/CurlEngine.h"
#include "platform/TransferChannel.h"

#include <curl/curl.h>

#include <poll.h>

#include <csignal>

using namespace qv;

namespace {

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
    const std::optional<Frame> open = ReadFrame(kTransferChannelFd);
    QByteArray agent;
    TransferLimits limits;
    if (!open || open->kind != FrameKind::Open || !Unpack(open->payload, agent, limits)) {
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);  // on failure every transfer says so
    {
        CurlEngine engine(agent, limits);
        engine.SetConnectedCallback([] { WriteFrame(kTransferChannelFd, FrameKind::Connected); });
        engine.SetStopCheck(StopAsked);
        while (const std::optional<Frame> frame = ReadFrame(kTransferChannelFd)) {
            if (frame->kind == FrameKind::Stop) {
                continue;  // it came after its request had ended
            }
            const std::optional<QByteArray> reply = Answer(engine, *frame);
            if (!reply || !WriteFrame(kTransferChannelFd, FrameKind::Reply, *reply)) {
                break;
            }
        }
    }
    curl_global_cleanup();
    return 0;
}
