#include "platform/Transfer.h"

#include "platform/InstalledFile.h"
#include "platform/TransferChannel.h"

#include <QFile>

#include <curl/curl.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

extern char** environ;

namespace qv {

static_assert(kFtpCommandRefused == CURLE_QUOTE_ERROR);

namespace {

const std::string& HelperPath() {
    static const std::string path =
        QFile::encodeName(
            InstalledFile(QV_INSTALL_LIBEXECDIR, QV_TRANSFER_HELPER_NAME, QV_TRANSFER_HELPER_BUILT))
            .toStdString();
    return path;
}

constexpr const char* kHelperStopped = "The transfer helper stopped";

TransferStatus Failed(const char* why) {
    TransferStatus status;
    status.code = CURLE_FAILED_INIT;
    status.text = QString::fromLatin1(why);
    return status;
}

// How long a helper asked to stop may take before the transfer gives up on it.
constexpr auto kStopGrace = std::chrono::seconds(3);
// A parked helper ends after 15 s without a transfer; one parked for longer than this is not
// taken again, so that it cannot end under its next transfer.
constexpr auto kReuseWithin = std::chrono::seconds(10);
constexpr size_t kMostParked = 2;

// Nothing to read and not hung up: the helper at the other end waits for its next frame.
bool Waiting(int channel) {
    pollfd ready{channel, POLLIN, 0};
    return ::poll(&ready, 1, 0) == 0;
}

// Helpers whose transfer objects have ended, kept for a few seconds for the next one: starting a
// helper costs more than a forward on loopback. Used from any thread.
class ParkedHelpers {
  public:
    static ParkedHelpers& Instance() {
        // Never destroyed: a transfer object may end on another thread while the program exits.
        static ParkedHelpers* const parked = new ParkedHelpers;
        return *parked;
    }

    // The channel of the newest helper still fit for use, or -1.
    int Take() {
        const std::lock_guard lock(m_mutex);
        int found = -1;
        const auto now = std::chrono::steady_clock::now();
        while (!m_parked.empty() && found < 0) {
            const auto [channel, since] = m_parked.back();
            m_parked.pop_back();
            if (now - since < kReuseWithin && Waiting(channel)) {
                found = channel;
            } else {
                ::close(channel);
            }
        }
        return found;
    }

    void Put(int channel) {
        const std::lock_guard lock(m_mutex);
        if (m_parked.size() >= kMostParked) {
            ::close(m_parked.front().first);
            m_parked.erase(m_parked.begin());
        }
        m_parked.emplace_back(channel, std::chrono::steady_clock::now());
    }

  private:
    std::mutex m_mutex;
    std::vector<std::pair<int, std::chrono::steady_clock::time_point>> m_parked;
};

// Starts a helper; its channel, or -1. The process started ends at once, leaving the helper to
// its own child (see TransferHelper.cpp), so it is collected here and no helper is ever left as a
// zombie of the program.
int StartHelper() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return -1;
    }
    // The helper's end becomes its descriptor 3 (without close-on-exec): it must not be 3 already,
    // since a dup2 onto itself would keep the flag.
    int theirs = ends[1];
    if (theirs == kTransferChannelFd) {
        theirs = ::fcntl(ends[1], F_DUPFD_CLOEXEC, kTransferChannelFd + 1);
        ::close(ends[1]);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs, kTransferChannelFd);
    // It says nothing, and holds none of the program's pipes but its error output.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(QV_TRANSFER_HELPER_NAME), nullptr};
    pid_t started = -1;
    bool ok = theirs >= 0 &&
              ::posix_spawn(&started, HelperPath().c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (theirs >= 0) {
        ::close(theirs);
    }
    int status = 0;
    while (ok && ::waitpid(started, &status, 0) < 0) {
        ok = errno == EINTR;
    }
    if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ::close(ends[0]);
        return -1;
    }
    return ends[0];
}

}  // namespace

struct CurlTransfer::Impl {
    QByteArray agent;
    TransferLimits limits;
    std::function<void()> connected;
    int channel = -1;  // this side of the helper's channel; a helper that fails is dropped

    ~Impl() {
        if (channel >= 0) {
            if (WriteFrame(channel, FrameKind::Park)) {
                ParkedHelpers::Instance().Put(channel);
            } else {
                ::close(channel);
            }
        }
    }

    // Takes a parked helper, or starts one, and opens the transfer on it.
    bool Open() {
        for (bool parked : {true, false}) {
            channel = parked ? ParkedHelpers::Instance().Take() : StartHelper();
            if (channel >= 0 && WriteFrame(channel, FrameKind::Open, Pack(agent, limits))) {
                return true;
            }
            Drop();
        }
        return false;
    }

    void Drop() {
        if (channel >= 0) {
            ::close(channel);
            channel = -1;
        }
    }

    bool CancelAsked() const { return limits.cancel && limits.cancel->load(); }

    // Sends one request and waits for its reply, passing on the connections made meanwhile.
    // Without a reply, `failure` says why.
    std::optional<QByteArray> Exchange(FrameKind kind, const QByteArray& request,
                                       TransferStatus& failure) {
        if (channel < 0 && !Open()) {
            failure = Failed("The transfer helper could not be started");
            return std::nullopt;
        }
        if (!WriteFrame(channel, kind, request)) {
            Drop();
            failure = Failed(kHelperStopped);
            return std::nullopt;
        }
        std::optional<std::chrono::steady_clock::time_point> stopSent;
        for (;;) {
            if (!stopSent && CancelAsked()) {
                WriteFrame(channel, FrameKind::Stop);
                stopSent = std::chrono::steady_clock::now();
            }
            if (stopSent && std::chrono::steady_clock::now() - *stopSent > kStopGrace) {
                // Closing the channel ends the helper at its next stop check.
                Drop();
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
                Drop();
                failure = Failed(kHelperStopped);
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
            if (reply) {
                Drop();  // it answers something else than was asked
            }
            result = Result{};
            SetStatus(result, reply ? Failed(kHelperStopped) : failure);
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
