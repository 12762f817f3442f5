#include "platform/AddressEvents.h"

#include <QSocketNotifier>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv {

AddressEvents::AddressEvents(QObject* parent, int quietMs, int longestWaitMs) : QObject(parent) {
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietMs);
    m_longest.setSingleShot(true);
    m_longest.setInterval(longestWaitMs);
    connect(&m_quiet, &QTimer::timeout, this, &AddressEvents::Fire);
    connect(&m_longest, &QTimer::timeout, this, &AddressEvents::Fire);
}

AddressEvents::~AddressEvents() {
    Stop();
}

bool AddressEvents::Start() {
    if (m_fd >= 0) {
        return true;
    }
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_error.clear();
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &AddressEvents::OnReadable);
    return true;
}

void AddressEvents::Stop() {
    m_notifier.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_quiet.stop();
    m_longest.stop();
    m_lost = false;
}

void AddressEvents::OnReadable() {
    // A storm is read a bounded number of messages at a time: the event loop runs in between, and
    // what the kernel cannot queue meanwhile is dropped there and reported as lost.
    constexpr int kReadsPerWake = 64;
    alignas(nlmsghdr) char buffer[32768];
    bool relevant = false;
    bool lost = false;
    for (int reads = 0; reads < kReadsPerWake; ++reads) {
        sockaddr_nl sender{};
        socklen_t senderLen = sizeof sender;
        const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&sender), &senderLen);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == ENOBUFS) {  // the kernel dropped messages: look at everything
                lost = true;
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                break;
            }
            // The socket is broken: open a new one and make sure nothing was missed meanwhile.
            Stop();
            Start();
            lost = true;
            break;
        }
        if (n == 0 || sender.nl_pid != 0) {  // only the kernel speaks for the tables
            continue;
        }
        auto left = static_cast<unsigned>(n);
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            switch (h->nlmsg_type) {
                case RTM_NEWADDR:
                case RTM_DELADDR:
                case RTM_NEWLINK:
                case RTM_DELLINK:
                    relevant = true;
                    break;
                default:
                    break;
            }
        }
    }
    if (relevant || lost) {
        Note(lost);
    }
}

void AddressEvents::Note(bool lost) {
    m_lost = m_lost || lost;
    if (!m_longest.isActive()) {
        m_longest.start();
    }
    m_quiet.start();
}

void AddressEvents::Fire() {
    m_quiet.stop();
    m_longest.stop();
    const bool lost = m_lost;
    m_lost = false;
    emit Changed(lost);
}

}  // namespace qv
