#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
class Server;
}

namespace qv::test {

// A web host on a loopback address (127.0.0.1 unless told) and a free port whose script page
// /ip.php records the query strings of the requests it gets: POST only, or GET as well.
class RecordingWebHost {
  public:
    enum Methods { kPostOnly, kPostAndGet };

    explicit RecordingWebHost(Methods methods = kPostOnly, const QString& host = "127.0.0.1");
    ~RecordingWebHost();
    RecordingWebHost(const RecordingWebHost&) = delete;
    RecordingWebHost& operator=(const RecordingWebHost&) = delete;

    QStringList Queries();
    // The script page's address.
    QString Url() const;

    int port = 0;
    // So many of the next requests are recorded and answered with 500 Internal Server Error.
    std::atomic<int> failuresLeft{0};
    // Each answer comes this long after its request.
    std::atomic<int> delayMs{0};

  private:
    QString m_host;  // as a URL has it: an IPv6 address in brackets
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::mutex m_mutex;
    QStringList m_queries;
};

}  // namespace qv::test
