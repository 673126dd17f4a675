// The line bound as measured: the cycle of a client that never sleeps. It
// sends the frame request, reads the answer as its bytes come, waits the
// 10 ms pause from the answer on, and sends again, spinning all the while.
// Its cycle holds the pause, the wire time and what the simulator and this
// machine add to every exchange (waking the simulator, the loopback or the
// pseudo-terminal's buffers), and nothing of a client's own: the most any
// client can reach on that link here.
#pragma once

#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace bench {

inline int64_t MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Seconds a cycle of `frames` exchanges takes on an open descriptor (the
// first five left out), or -1 when an answer stays away for a second.
inline double SpinningCycle(int fd, bool serial, int frames, double pauseS) {
    // The frame request, as the program sends it.
    unsigned char request[36] = {0x00, 0x55, 0x00, 0x05, 0x00, 0xAA, 0x00, 0x04, 0x00, 0x1E};
    constexpr int kWarmUp = 5;
    const int64_t pauseNs = int64_t(pauseS * 1e9);
    int64_t first = 0;
    for (int n = 0; n < frames + kWarmUp; ++n) {
        if (n == kWarmUp) first = MonotonicNs();
        if (serial) tcflush(fd, TCIOFLUSH);
        if (write(fd, request, sizeof request) != sizeof request) return -1;
        unsigned char answer[64];
        int got = 0;
        const int64_t giveUp = MonotonicNs() + 1000000000;
        while (got < 36) {
            const ssize_t r = read(fd, answer + got, sizeof answer - size_t(got));
            if (r > 0) got += int(r);
            if (MonotonicNs() > giveUp) return -1;
        }
        const int64_t resume = MonotonicNs() + pauseNs;
        while (MonotonicNs() < resume) {
        }
    }
    return double(MonotonicNs() - first) / 1e9 / frames;
}

inline double MeasuredTcpCycle(int port, int frames, double pauseS) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    double cycle = -1;
    if (connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0 &&
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0 &&
        fcntl(fd, F_SETFL, O_NONBLOCK) == 0)
        cycle = SpinningCycle(fd, false, frames, pauseS);
    close(fd);
    return cycle;
}

inline double MeasuredSerialCycle(const char *device, speed_t speed, int frames, double pauseS) {
    const int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    termios t{};
    double cycle = -1;
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        if (tcsetattr(fd, TCSANOW, &t) == 0) cycle = SpinningCycle(fd, true, frames, pauseS);
    }
    close(fd);
    return cycle;
}

} // namespace bench
