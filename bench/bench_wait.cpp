// Processor time of an answer wait that runs out: 3 s for an answer that never
// comes, over TCP (a loopback server that accepts and stays silent) and over a
// pseudo-terminal (nobody on the other end answers). The wait is the
// program's: sleep in the event loop until the answer is complete or the time
// is up. It must leave the processor nearly idle.
#include "platform/Platform.h"

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <ctime>
#include <pty.h>
#include <unistd.h>

namespace {

constexpr double kAnswerWait = 3.0;
constexpr int kTelegram = 36;
constexpr double kLimitPercent = 5.0;

int bytesToRead = 0;

int onTcp(unsigned handle, int xType, int, void *) {
    if (xType != TCP_DATAREADY) return 0;
    char buffer[1024];
    const int n = ClientTCPRead(handle, buffer, sizeof buffer, 5000);
    if (n > 0) bytesToRead -= n;
    return 0;
}

double processSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Result {
    double wall = 0, cpu = 0;
    int wakeUps = 0;
    bool answered = false;
    double percent() const { return wall > 0 ? 100.0 * cpu / wall : 0; }
};

// Runs the answer wait with `pending` telling whether bytes are still missing.
template <class Pending> Result answerWait(Pending pending) {
    Result r;
    const double cpuStart = processSeconds();
    const double start = Timer();
    double elapsed = 0;
    while (pending() && elapsed <= kAnswerWait) {
        WaitSystemEvents(kAnswerWait - elapsed);
        ++r.wakeUps;
        elapsed = Timer() - start;
    }
    r.wall = Timer() - start;
    r.cpu = processSeconds() - cpuStart;
    r.answered = !pending();
    return r;
}

void print(const char *link, const Result &r) {
    std::printf("%-4s %.2f s wait, %.4f s processor time = %.2f %% of one core, %d wake-ups%s\n",
                link, r.wall, r.cpu, r.percent(), r.wakeUps,
                r.answered ? " (ANSWERED: the silent peer was not silent)" : "");
}

bool benchTcp(Result *result) {
    QTcpServer server; // accepts and never answers
    if (!server.listen(QHostAddress::LocalHost)) return false;
    unsigned handle = 0;
    if (ConnectToTCPServer(&handle, server.serverPort(), "127.0.0.1", onTcp, nullptr, 5000) != 0)
        return false;
    const QByteArray request(kTelegram, '\x55');
    bytesToRead = kTelegram;
    if (ClientTCPWrite(handle, request.constData(), kTelegram, 2000) != kTelegram) return false;
    *result = answerWait([] { return bytesToRead > 0; });
    DisconnectFromTCPServer(handle);
    return true;
}

bool benchPty(Result *result) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    ::close(slave); // the port opens it by name; the master end never answers
    qputenv("TOLVANE_COM1", name);
    bool ok = OpenComConfig(1, QString(), 9600, NO_PARITY, 8, 1, 1024, 1024) == 0;
    if (ok) {
        SetComTime(1, 2.0);
        FlushInQ(1);
        FlushOutQ(1);
        const QByteArray request(kTelegram, '\x55');
        ok = ComWrt(1, request.constData(), kTelegram) == kTelegram;
        if (ok) *result = answerWait([] { return GetInQLen(1) < kTelegram; });
        CloseCom(1);
    }
    ::close(master);
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (InitRunTimeEngine(argc, argv) < 0) return 2;

    Result tcp, pty;
    if (!benchTcp(&tcp)) {
        std::fprintf(stderr, "bench_wait: the TCP set-up failed\n");
        return 2;
    }
    print("tcp", tcp);
    if (!benchPty(&pty)) {
        std::fprintf(stderr, "bench_wait: the pseudo-terminal set-up failed\n");
        return 2;
    }
    print("pty", pty);
    std::printf("bench_wait: tcp %.2f%% pty %.2f%%\n", tcp.percent(), pty.percent());

    const bool idle = tcp.percent() < kLimitPercent && pty.percent() < kLimitPercent;
    if (!idle) std::printf("bench_wait: over the %.0f %% limit\n", kLimitPercent);
    return idle && !tcp.answered && !pty.answered ? 0 : 1;
}
