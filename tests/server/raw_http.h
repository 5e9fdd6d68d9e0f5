#pragma once

// A client that writes exactly the bytes a test gives, however malformed,
// and reads back whatever the service answers: for requests no HTTP library
// would send.

#include <sys/types.h>

#include <chrono>
#include <string>

namespace velmora::server::test {

struct RawReply {
    int status = 0; // 0: no reply
    std::string head;
    std::string body;
    bool closed = false; // the service closed the connection after it

    std::string header(const std::string& name) const; // empty when absent
};

class RawConnection {
public:
    // Connects to 127.0.0.1:port, from the loopback address source when
    // given (any of 127.0.0.0/8 works), so one test can be many clients.
    explicit RawConnection(int port, const std::string& source = "");
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return fd_ >= 0; }
    // False once the service stopped taking bytes.
    bool send(const std::string& bytes);
    // The next reply; waits at most timeout for each piece of it.
    RawReply read(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // True when the service closes the connection within timeout.
    bool closedWithin(std::chrono::milliseconds timeout);

private:
    int fd_ = -1;
    std::string buffer_;
    bool eof_ = false;
    bool fill(std::chrono::milliseconds timeout);
};

// One request on a fresh connection.
RawReply Exchange(int port, const std::string& request,
                  std::chrono::milliseconds timeout = std::chrono::seconds(5),
                  const std::string& source = "");

// A field of /proc/PID/status in KiB (VmRSS, VmHWM); 0 when unknown.
long ProcessKiB(pid_t pid, const std::string& field);

} // namespace velmora::server::test
