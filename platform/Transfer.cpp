#include "platform/Transfer.h"

#include "platform/TransferChannel.h"

#include <curl/curl.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>

extern char** environ;

namespace qv {

static_assert(kFtpCommandRefused == CURLE_QUOTE_ERROR);

namespace {

// The helper installed beside the program (<prefix>/libexec/quorvane/), else the one built with it.
const std::string& HelperPath() {
    static const std::string path = [] {
        char exe[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n > 0) {
            std::string installed(exe, static_cast<size_t>(n));
            installed.erase(installed.rfind('/') + 1);
            installed += "../" QV_INSTALL_LIBEXECDIR "/quorvane/" QV_TRANSFER_HELPER_NAME;
            if (::access(installed.c_str(), X_OK) == 0) {
                return installed;
            }
        }
        return std::string(QV_TRANSFER_HELPER_BUILT);
    }();
    return path;
}

TransferStatus Failed(const char* why) {
    TransferStatus status;
    status.code = CURLE_FAILED_INIT;
    status.text = QString::fromLatin1(why);
    return status;
}

// How long a helper asked to stop may take before it is ended.
constexpr auto kStopGrace = std::chrono::seconds(3);

}  // namespace

struct CurlTransfer::Impl {
    QByteArray agent;
    TransferLimits limits;
    std::function<void()> connected;
    int channel = -1;  // this side of the helper's channel
    pid_t helper = -1;

    ~Impl() { End(); }

    // Starts the helper and opens its transfer; false when it cannot be started.
    bool Start() {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            return false;
        }
        // The helper's end becomes its descriptor 3 (without close-on-exec): it must not be 3
        // already, since a dup2 onto itself would keep the flag.
        int theirs = ends[1];
        if (theirs == kTransferChannelFd) {
            theirs = ::fcntl(ends[1], F_DUPFD_CLOEXEC, kTransferChannelFd + 1);
            ::close(ends[1]);
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, theirs, kTransferChannelFd);
        char* argv[] = {const_cast<char*>(QV_TRANSFER_HELPER_NAME), nullptr};
        const int failed = theirs < 0 ? errno
                                      : ::posix_spawn(&helper, HelperPath().c_str(), &actions,
                                                      nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (theirs >= 0) {
            ::close(theirs);
        }
        channel = ends[0];
        if (failed != 0) {
            helper = -1;
            End();
            return false;
        }
        return WriteFrame(channel, FrameKind::Open, Pack(agent, limits));
    }

    // Closes the channel, on which an idle helper ends, and collects it; a helper that does not
    // end at once is killed.
    void End() {
        if (channel >= 0) {
            ::close(channel);
            channel = -1;
        }
        if (helper <= 0) {
            return;
        }
        for (int i = 0; i < 200 && ::waitpid(helper, nullptr, WNOHANG) == 0; ++i) {
            if (i == 100) {
                ::kill(helper, SIGKILL);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        helper = -1;
    }

    bool CancelAsked() const { return limits.cancel && limits.cancel->load(); }

    // Sends one request and waits for its reply, passing on the connections made meanwhile.
    // Without a reply, `failure` says why.
    std::optional<QByteArray> Exchange(FrameKind kind, const QByteArray& request,
                                       TransferStatus& failure) {
        if (channel < 0 && !Start()) {
            End();
            failure = Failed("The transfer helper could not be started");
            return std::nullopt;
        }
        if (!WriteFrame(channel, kind, request)) {
            End();
            failure = Failed("The transfer helper stopped");
            return std::nullopt;
        }
        std::optional<std::chrono::steady_clock::time_point> stopSent;
        for (;;) {
            if (!stopSent && CancelAsked()) {
                WriteFrame(channel, FrameKind::Stop);
                stopSent = std::chrono::steady_clock::now();
            }
            if (stopSent && std::chrono::steady_clock::now() - *stopSent > kStopGrace) {
                ::kill(helper, SIGKILL);
                End();
                failure.code = CURLE_ABORTED_BY_CALLBACK;
                failure.text = QStringLiteral("Callback aborted");
                return std::nullopt;
            }
            // Woken only while a request runs: to see a cancellation, when there is one to see.
            pollfd ready{channel, POLLIN, 0};
            if (::poll(&ready, 1, limits.cancel ? 100 : -1) <= 0) {
                continue;
            }
            const std::optional<Frame> frame = ReadFrame(channel);
            if (!frame) {
                End();
                failure = Failed("The transfer helper stopped");
                return std::nullopt;
            }
            if (frame->kind == FrameKind::Reply) {
                return frame->payload;
            }
            if (frame->kind == FrameKind::Connected && connected) {
                connected();
            }
        }
    }

    template <typename Result>
    Result Call(FrameKind kind, const QByteArray& request) {
        Result result;
        TransferStatus failure;
        const std::optional<QByteArray> reply = Exchange(kind, request, failure);
        if (!reply || !Unpack(*reply, result)) {
            result = Result{};
            SetStatus(result, reply ? Failed("The transfer helper stopped") : failure);
        }
        return result;
    }

    static void SetStatus(HttpReply& reply, const TransferStatus& status) { reply.status = status; }
    static void SetStatus(TransferStatus& result, const TransferStatus& status) { result = status; }
};

CurlTransfer::CurlTransfer(const QByteArray& agent, TransferLimits limits) : d(new Impl) {
    d->agent = agent;
    d->limits = std::move(limits);
}

CurlTransfer::~CurlTransfer() = default;

void CurlTransfer::SetConnectedCallback(std::function<void()> callback) {
    d->connected = std::move(callback);
}

const TransferLimits& CurlTransfer::Limits() const {
    return d->limits;
}

HttpReply CurlTransfer::Post(const HttpPostRequest& request) {
    return d->Call<HttpReply>(FrameKind::Post, Pack(request));
}

HttpReply CurlTransfer::Fetch(const HttpFetchRequest& request) {
    return d->Call<HttpReply>(FrameKind::Fetch, Pack(request));
}

TransferStatus CurlTransfer::FtpStore(const FtpAccount& account, const QString& path,
                                      const QByteArray& data, const QStringList& afterwards) {
    return d->Call<TransferStatus>(FrameKind::FtpStore, Pack(account, path, data, afterwards));
}

TransferStatus CurlTransfer::FtpCommands(const FtpAccount& account, const QStringList& commands) {
    return d->Call<TransferStatus>(FrameKind::FtpCommands, Pack(account, commands));
}

TransferStatus CurlTransfer::Probe(const QString& host, quint16 port) {
    return d->Call<TransferStatus>(FrameKind::Probe, Pack(host, port));
}

}  // namespace qv
