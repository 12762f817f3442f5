#include "tests/support/RecordingWebHost.h"

#include <httplib.h>

#include <chrono>

namespace qv::test {

RecordingWebHost::RecordingWebHost(Methods methods, const QString& host)
    : m_host(host.contains(':') ? '[' + host + ']' : host),
      m_server(std::make_unique<httplib::Server>()) {
    const auto record = [this](const httplib::Request& req, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto q = req.target.find('?');
        m_queries.push_back(
            QString::fromStdString(q == std::string::npos ? "" : req.target.substr(q + 1)));
        if (failuresLeft > 0) {
            --failuresLeft;
            res.status = 500;
            return;
        }
        res.set_content("<p>stored</p>", "text/html");
    };
    m_server->Post("/ip.php", record);
    if (methods == kPostAndGet) {
        m_server->Get("/ip.php", record);
    }
    port = m_server->bind_to_any_port(host.toStdString());
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

RecordingWebHost::~RecordingWebHost() {
    m_server->stop();
    m_thread.join();
}

QStringList RecordingWebHost::Queries() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queries;
}

QString RecordingWebHost::Url() const {
    return QStringLiteral("http://%1:%2/ip.php").arg(m_host).arg(port);
}

}  // namespace qv::test
