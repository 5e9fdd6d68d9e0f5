#include "raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace velmora::server::test {

std::string RawReply::header(const std::string& name) const {
    std::istringstream lines(head);
    std::string line;
    while (std::getline(lines, line)) {
        auto colon = line.find(':');
        if (colon == std::string::npos || colon != name.size())
            continue;
        bool same = std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
        });
        if (!same)
            continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        if (!value.empty() && value.back() == '\r')
            value.pop_back();
        return value;
    }
    return {};
}

RawConnection::RawConnection(int port, const std::string& source) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return;
    if (!source.empty()) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, source.c_str(), &from.sin_addr);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    int yes = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

RawConnection::~RawConnection() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool RawConnection::send(const std::string& bytes) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

bool RawConnection::fill(std::chrono::milliseconds timeout) {
    if (fd_ < 0 || eof_)
        return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return false;
    char chunk[65536];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
        eof_ = true;
        return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
}

RawReply RawConnection::read(std::chrono::milliseconds timeout) {
    RawReply reply;
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
        if (!fill(timeout)) {
            reply.closed = eof_;
            return reply;
        }
    }
    reply.head = buffer_.substr(0, end + 2);
    buffer_.erase(0, end + 4);
    if (reply.head.rfind("HTTP/1.", 0) == 0 && reply.head.size() > 12)
        reply.status = std::atoi(reply.head.c_str() + 9);
    std::string lengthText = reply.header("Content-Length");
    std::size_t length = lengthText.empty() ? 0 : std::stoul(lengthText);
    while (buffer_.size() < length && fill(timeout)) {
    }
    reply.body = buffer_.substr(0, length);
    buffer_.erase(0, std::min(length, buffer_.size()));
    if (reply.header("Connection") == "close")
        reply.closed = closedWithin(timeout);
    return reply;
}

bool RawConnection::closedWithin(std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (eof_)
            return true;
        auto left = std::max(std::chrono::milliseconds(0),
                             std::chrono::duration_cast<std::chrono::milliseconds>(
                                 deadline - std::chrono::steady_clock::now()));
        if (!fill(left) && !eof_ && left.count() == 0)
            return false;
    }
}

RawReply Exchange(int port, const std::string& request, std::chrono::milliseconds timeout,
                  const std::string& source) {
    RawConnection c(port, source);
    c.send(request);
    return c.read(timeout);
}

long ProcessKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::atol(line.c_str() + field.size() + 1);
    }
    return 0;
}

} // namespace velmora::server::test
