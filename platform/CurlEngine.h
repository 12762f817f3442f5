#pragma once

#include "platform/Transfer.h"

namespace qv {

// libcurl's easy interface, doing the work of a `CurlTransfer` inside the transfer helper process
// (see TransferChannel.h): the same calls, the same results. `limits.cancel` is not used; the stop
// check takes its place, asked at least once a second while a transfer runs.
class CurlEngine {
  public:
    CurlEngine(const QByteArray& agent, TransferLimits limits);
    ~CurlEngine();
    CurlEngine(const CurlEngine&) = delete;
    CurlEngine& operator=(const CurlEngine&) = delete;

    void SetConnectedCallback(std::function<void()> callback);
    void SetStopCheck(std::function<bool()> check);

    HttpReply Post(const HttpPostRequest& request);
    HttpReply Fetch(const HttpFetchRequest& request);
    TransferStatus FtpStore(const FtpAccount& account, const QString& path, const QByteArray& data,
                            const QStringList& afterwards);
    TransferStatus FtpCommands(const FtpAccount& account, const QStringList& commands);
    TransferStatus Probe(const QString& host, quint16 port);

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace qv
