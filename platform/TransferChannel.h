#pragma once

#include "platform/Transfer.h"

#include <QDataStream>
#include <QIODevice>

#include <optional>

namespace qv {

// The conversation between a `CurlTransfer` and its transfer helper process, over a Unix socket
// pair that is the helper's descriptor `kTransferChannelFd`. Each message is a frame: a kind byte,
// a 32-bit length and that many bytes, the values written with QDataStream.
//
// A transfer opens with `Open` (agent and limits); then each call is one request frame, answered
// by one `Reply` frame, with a `Connected` frame before it for each new connection. While a
// request runs, the only frame the transfer sends is `Stop`, which ends it early as a cancelled
// transfer ends. `Park` ends the transfer and leaves the helper waiting for the next `Open`, for a
// while. The helper ends when its channel closes.
inline constexpr int kTransferChannelFd = 3;

enum class FrameKind : char {
    Open = 'O',
    Post = 'P',
    Fetch = 'F',
    FtpStore = 'S',
    FtpCommands = 'C',
    Probe = 'T',
    Stop = 'X',
    Park = 'K',
    Connected = 'E',
    Reply = 'R',
};

struct Frame {
    FrameKind kind{};
    QByteArray payload;
};

// Writes the whole frame; false when the other side is gone.
bool WriteFrame(int fd, FrameKind kind, const QByteArray& payload = {});
// Waits for one whole frame; none at the end of the channel, on an error or on a frame of more
// than 256 MB.
std::optional<Frame> ReadFrame(int fd);

template <typename... Values>
QByteArray Pack(const Values&... values) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    (out << ... << values);
    return bytes;
}

// False when `payload` does not hold the values whole.
template <typename... Values>
bool Unpack(const QByteArray& payload, Values&... values) {
    QDataStream in(payload);
    (in >> ... >> values);
    return in.status() == QDataStream::Ok;
}

QDataStream& operator<<(QDataStream& out, const TransferLimits& limits);
QDataStream& operator>>(QDataStream& in, TransferLimits& limits);
QDataStream& operator<<(QDataStream& out, const TransferStatus& status);
QDataStream& operator>>(QDataStream& in, TransferStatus& status);
QDataStream& operator<<(QDataStream& out, const HttpPostRequest& request);
QDataStream& operator>>(QDataStream& in, HttpPostRequest& request);
QDataStream& operator<<(QDataStream& out, const HttpFetchRequest& request);
QDataStream& operator>>(QDataStream& in, HttpFetchRequest& request);
QDataStream& operator<<(QDataStream& out, const HttpReply& reply);
QDataStream& operator>>(QDataStream& in, HttpReply& reply);
QDataStream& operator<<(QDataStream& out, const FtpAccount& account);
QDataStream& operator>>(QDataStream& in, FtpAccount& account);

}  // namespace qv
