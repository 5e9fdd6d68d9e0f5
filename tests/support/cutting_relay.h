#pragma once

// A TCP relay on loopback in front of a service. It forwards every
// connection both ways and, when told to, cuts the next connections after a
// number of bytes, so transfers can be caught by a dropped connection at a
// chosen point.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace velmora::test {

class CuttingRelay {
public:
    enum class Direction { Request, Reply };

    explicit CuttingRelay(int upstreamPort);
    // Closes every connection and stops.
    ~CuttingRelay();
    CuttingRelay(const CuttingRelay&) = delete;
    CuttingRelay& operator=(const CuttingRelay&) = delete;

    // The loopback port it listens on; 0 when it could not listen.
    int port() const { return port_; }
    // The next `connections` connections are closed, both ways, once `bytes`
    // bytes went their way in that direction.
    void cutNext(int connections, Direction direction, std::uint64_t bytes);
    // Connections accepted so far.
    int accepted() const { return accepted_; }

private:
    struct Cut {
        Direction direction = Direction::Reply;
        std::uint64_t bytes = UINT64_MAX;
    };
    void acceptLoop();
    void relay(int client, int upstream, Cut cut);

    int upstreamPort_;
    int listener_ = -1;
    int wake_ = -1; // an eventfd made readable to stop every loop
    int port_ = 0;
    std::atomic<int> accepted_{0};
    std::mutex mutex_;
    int cutsLeft_ = 0;
    Cut cut_;
    std::vector<std::thread> relays_;
    std::thread acceptor_;
};

} // namespace velmora::test
