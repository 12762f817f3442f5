#include "platform/TransferChannel.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace qv {

namespace {

constexpr quint32 kLargestFrame = quint32(256) << 20;

// Repeats `step` (a send or a receive) until all `size` bytes are through; false when the other
// side is gone or the channel fails.
template <typename Step, typename Byte>
bool Whole(Step step, Byte* data, size_t size) {
    while (size > 0) {
        const ssize_t n = step(data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
    return Whole([fd](const char* p, size_t n) { return ::send(fd, p, n, MSG_NOSIGNAL); }, data,
                 size);
}

bool ReadAll(int fd, char* data, size_t size) {
    return Whole([fd](char* p, size_t n) { return ::recv(fd, p, n, 0); }, data, size);
}

qint64 Milliseconds(std::chrono::milliseconds ms) {
    return static_cast<qint64>(ms.count());
}

}  // namespace

bool WriteFrame(int fd, FrameKind kind, const QByteArray& payload) {
    char head[5];
    head[0] = static_cast<char>(kind);
    const auto size = static_cast<quint32>(payload.size());
    std::memcpy(head + 1, &size, sizeof size);
    return WriteAll(fd, head, sizeof head) &&
           WriteAll(fd, payload.constData(), static_cast<size_t>(payload.size()));
}

std::optional<Frame> ReadFrame(int fd) {
    char head[5];
    if (!ReadAll(fd, head, sizeof head)) {
        return std::nullopt;
    }
    quint32 size = 0;
    std::memcpy(&size, head + 1, sizeof size);
    if (size > kLargestFrame) {
        return std::nullopt;
    }
    Frame frame;
    frame.kind = static_cast<FrameKind>(head[0]);
    frame.payload.resize(static_cast<qsizetype>(size));
    if (!ReadAll(fd, frame.payload.data(), size)) {
        return std::nullopt;
    }
    return frame;
}

QDataStream& operator<<(QDataStream& out, const TransferLimits& limits) {
    return out << Milliseconds(limits.connect) << Milliseconds(limits.total)
               << Milliseconds(limits.accept) << qint64(limits.maxReply) << limits.ipv4Only
               << limits.caFile;
}

QDataStream& operator>>(QDataStream& in, TransferLimits& limits) {
    qint64 connect = 0, total = 0, accept = 0, maxReply = 0;
    in >> connect >> total >> accept >> maxReply >> limits.ipv4Only >> limits.caFile;
    limits.connect = std::chrono::milliseconds(connect);
    limits.total = std::chrono::milliseconds(total);
    limits.accept = std::chrono::milliseconds(accept);
    limits.maxReply = static_cast<qsizetype>(maxReply);
    return in;
}

QDataStream& operator<<(QDataStream& out, const TransferStatus& status) {
    return out << qint32(status.code) << status.text;
}

QDataStream& operator>>(QDataStream& in, TransferStatus& status) {
    qint32 code = 0;
    in >> code >> status.text;
    status.code = code;
    return in;
}

QDataStream& operator<<(QDataStream& out, const HttpPostRequest& request) {
    return out << request.url << request.headers << request.user << request.password;
}

QDataStream& operator>>(QDataStream& in, HttpPostRequest& request) {
    return in >> request.url >> request.headers >> request.user >> request.password;
}

QDataStream& operator<<(QDataStream& out, const HttpFetchRequest& request) {
    return out << request.url << request.headers << request.body;
}

QDataStream& operator>>(QDataStream& in, HttpFetchRequest& request) {
    return in >> request.url >> request.headers >> request.body;
}

QDataStream& operator<<(QDataStream& out, const HttpReply& reply) {
    return out << reply.status << qint32(reply.httpCode) << reply.headers << reply.body
               << reply.truncated;
}

QDataStream& operator>>(QDataStream& in, HttpReply& reply) {
    qint32 code = 0;
    in >> reply.status >> code >> reply.headers >> reply.body >> reply.truncated;
    reply.httpCode = code;
    return in;
}

QDataStream& operator<<(QDataStream& out, const FtpAccount& account) {
    return out << account.host << account.port << account.user << account.password
               << account.implicitTls << account.requireTls;
}

QDataStream& operator>>(QDataStream& in, FtpAccount& account) {
    return in >> account.host >> account.port >> account.user >> account.password >>
           account.implicitTls >> account.requireTls;
}

}  // namespace qv
