// The line bound as measured: the cycle of a client that never sleeps. It
// sends the frame request, reads the answer as its bytes come, waits the
// 10 ms pause from the answer on, and sends again, spinning all the while.
// Its cycle holds the pause, the wire time and what the simulator and this
// machine add to every exchange (waking the simulator, the loopback or the
// pseudo-terminal's buffers), and nothing of a client's own: the most any
// client can reach on that link here. The same client sleeping gives the
// least processor time a frame can cost here.
#pragma once

#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace bench {

inline int64_t MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct Exchanges {
    double cycle = -1; // seconds from one request to the next
    double cpu = -1;   // seconds of processor per exchange
};

// `frames` exchanges on an open descriptor (the first five left out), or
// cycle -1 when an answer stays away for a second. Spinning, the client
// never sleeps; sleeping, it does just what the tool must: sleep until the
// answer is there and through the pause, so that its processor time is
// the floor of any client on this machine, mostly the cost of two wake-ups.
inline Exchanges Exchange(int fd, bool serial, int frames, double pauseS, bool sleep) {
    // The frame request, as the program sends it.
    unsigned char request[36] = {0x00, 0x55, 0x00, 0x05, 0x00, 0xAA, 0x00, 0x04, 0x00, 0x1E};
    constexpr int kWarmUp = 5;
    const int64_t pauseNs = int64_t(pauseS * 1e9);
    int64_t first = 0;
    double cpuFirst = 0;
    auto cpuNow = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    };
    for (int n = 0; n < frames + kWarmUp; ++n) {
        if (n == kWarmUp) first = MonotonicNs(), cpuFirst = cpuNow();
        if (serial) tcflush(fd, TCIOFLUSH);
        if (write(fd, request, sizeof request) != sizeof request) return {};
        unsigned char answer[64];
        int got = 0;
        const int64_t giveUp = MonotonicNs() + 1000000000;
        while (got < 36) {
            if (sleep) {
                pollfd wait{fd, POLLIN, 0};
                poll(&wait, 1, 1000);
            }
            const ssize_t r = read(fd, answer + got, sizeof answer - size_t(got));
            if (r > 0) got += int(r);
            if (MonotonicNs() > giveUp) return {};
        }
        const int64_t resume = MonotonicNs() + pauseNs;
        if (sleep) {
            const timespec at{time_t(resume / 1000000000), long(resume % 1000000000)};
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        }
        while (MonotonicNs() < resume) {
        }
    }
    return {double(MonotonicNs() - first) / 1e9 / frames, (cpuNow() - cpuFirst) / frames};
}

inline Exchanges TcpExchanges(int port, int frames, double pauseS, bool sleep = false) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return {};
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    Exchanges result;
    if (connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0 &&
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0 &&
        fcntl(fd, F_SETFL, O_NONBLOCK) == 0)
        result = Exchange(fd, false, frames, pauseS, sleep);
    close(fd);
    return result;
}

inline Exchanges SerialExchanges(const char *device, speed_t speed, int frames, double pauseS,
                                 bool sleep = false) {
    const int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return {};
    termios t{};
    Exchanges result;
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        if (tcsetattr(fd, TCSANOW, &t) == 0) result = Exchange(fd, true, frames, pauseS, sleep);
    }
    close(fd);
    return result;
}

} // namespace bench
