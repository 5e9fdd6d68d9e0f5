#include "cutting_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velmora::test {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

CuttingRelay::CuttingRelay(int upstreamPort) : upstreamPort_(upstreamPort) {
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (wake_ < 0 || listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

CuttingRelay::~CuttingRelay() {
    if (wake_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
    }
    if (acceptor_.joinable())
        acceptor_.join();
    for (auto& t : relays_)
        t.join();
    if (listener_ >= 0)
        ::close(listener_);
    if (wake_ >= 0)
        ::close(wake_);
}

void CuttingRelay::cutNext(int connections, Direction direction, std::uint64_t bytes) {
    std::lock_guard lock(mutex_);
    cutsLeft_ = connections;
    cut_ = Cut{direction, bytes};
}

void CuttingRelay::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!fds[0].revents)
            continue;
        int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(upstreamPort_);
        if (upstream < 0 ||
            ::connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(client);
            if (upstream >= 0)
                ::close(upstream);
            continue;
        }
        int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(upstream, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ++accepted_;
        Cut cut;
        {
            std::lock_guard lock(mutex_);
            if (cutsLeft_ > 0) {
                --cutsLeft_;
                cut = cut_;
            }
        }
        relays_.emplace_back([this, client, upstream, cut] { relay(client, upstream, cut); });
    }
}

void CuttingRelay::relay(int client, int upstream, Cut cut) {
    std::vector<char> buffer(256 * 1024);
    std::uint64_t left = cut.bytes;
    const int cutFrom = cut.direction == Direction::Request ? client : upstream;
    bool open = true;
    while (open && left > 0) {
        pollfd fds[3] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0 && errno != EINTR)
            break;
        if (fds[2].revents)
            break;
        for (int i = 0; i < 2 && open && left > 0; ++i) {
            if (!fds[i].revents)
                continue;
            const int from = fds[i].fd;
            const int to = from == client ? upstream : client;
            std::size_t want = buffer.size();
            if (from == cutFrom)
                want = static_cast<std::size_t>(std::min<std::uint64_t>(want, left));
            ssize_t n = ::recv(from, buffer.data(), want, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || !writeAll(to, buffer.data(), static_cast<std::size_t>(n))) {
                open = false;
                break;
            }
            if (from == cutFrom)
                left -= static_cast<std::uint64_t>(n);
        }
    }
    // Both ends see the connection end at once.
    ::shutdown(client, SHUT_RDWR);
    ::shutdown(upstream, SHUT_RDWR);
    ::close(client);
    ::close(upstream);
}

} // namespace velmora::test
