// tolvane-cli frames against tolvane-sim, both run as their own processes
// as a shell would run them: frames per second against the line bound,
// processor time per frame and resident memory of the tool. The line bound
// is given twice: the pause and the wire time alone, and as measured by a
// client that never sleeps (LineBound.h), which adds what the simulator and
// this machine take for every exchange. Beside the tool's processor time
// per frame stands the floor: that of the same client sleeping where the
// tool must, mostly what two wake-ups a frame cost on this machine.
//
//   bench_cli [--frames N] [--serial-frames N] [--soak N]
//
// TCP over loopback with N frames, then the simulator's pseudo-terminal with
// wire time at 115200 baud (serial-frames) and 9600 baud (a third of them),
// each answer paced byte by byte at the line's rate as a USB adapter hands it
// over. Each link runs with the model's frames and again with every frame's
// GN at 0, 170 and 256 (a third as many frames each): those frames end in
// bytes that look like the start of a head, and are proven by the next
// answer. --soak N polls N frames over loopback and reports the tool's
// resident memory after 100 frames and at the end.
#include "bench/LineBound.h"
#include "bench/SimProcess.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using bench::FreePort;
using bench::ResidentMiB;
using bench::Sim;

namespace {
constexpr double kCyclePauseS = 0.010; // the tool's pause between two requests, as GO's
constexpr int kSampleMs = 200;
// Exchanges of the client that never sleeps, for the measured line bound.
constexpr int kBoundFrames = 100;

QString Bin(const char *name) {
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

struct Outcome {
    bool ok = false;
    double cpuPerFrame = 0;  // seconds of processor per frame, start-up left out
    double rssWarm = 0;      // MiB once 100 frames were out
    double rssEnd = 0;       // MiB at the last sample
    QList<QByteArray> lines; // what the tool wrote
};

// Processor time a process has had so far, to the nanosecond.
double CpuSeconds(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/schedstat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    return f.readAll().split(' ')[0].toDouble() / 1e9;
}

// Runs tolvane-cli LINK frames -n N --format json with its output in a file,
// sampling while it runs: lines written, processor time, resident memory.
// The processor time per frame is taken between the first sample with a
// frame out and the last sample, so that start-up does not count.
Outcome RunFrames(const QStringList &link, long frames, const QString &outPath) {
    Outcome o;
    const pid_t pid = bench::SpawnToFile(
        Bin("tolvane-cli"),
        link + QStringList{"frames", "-n", QString::number(frames), "--format", "json"}, outPath,
        false);
    if (pid == 0) return o;
    QFile out(outPath);
    out.open(QIODevice::ReadOnly);
    long written = 0, firstLines = -1, lastLines = 0;
    double firstCpu = 0, lastCpu = 0;
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        const double cpu = CpuSeconds(pid);
        const double rss = ResidentMiB(pid);
        written += out.readAll().count('\n');
        if (cpu >= 0 && written > 0) {
            if (firstLines < 0) firstLines = written, firstCpu = cpu;
            lastLines = written;
            lastCpu = cpu;
        }
        if (rss > 0) {
            if (o.rssWarm == 0 && written >= 100) o.rssWarm = rss;
            o.rssEnd = rss;
        }
        QThread::msleep(kSampleMs);
    }
    if (lastLines > firstLines) o.cpuPerFrame = (lastCpu - firstCpu) / (lastLines - firstLines);
    out.seek(0);
    o.lines = out.readAll().split('\n');
    if (!o.lines.isEmpty() && o.lines.last().isEmpty()) o.lines.removeLast();
    o.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && o.lines.size() == frames;
    return o;
}

qint64 FrameTime(const QByteArray &json) {
    const int at = json.indexOf("\"time\":\"") + 8;
    return QDateTime::fromString(QString::fromLatin1(json.mid(at, 24)), Qt::ISODateWithMs)
        .toMSecsSinceEpoch();
}

void Measure(const char *name, const QStringList &link, long baud, long frames,
             const std::function<bench::Exchanges(bool sleep)> &minimal, const QString &dir) {
    const double measuredBound = minimal(false).cycle;
    const double floorCpu = minimal(true).cpu;
    const Outcome run = RunFrames(link, frames, QDir(dir).filePath("run.json"));
    if (!run.ok) {
        std::printf("%-22s failed (%lld of %ld frames)\n", name, qlonglong(run.lines.size()),
                    frames);
        return;
    }
    const double cycle =
        (FrameTime(run.lines.last()) - FrameTime(run.lines.first())) / 1000.0 / (frames - 1);
    const double bound = (baud > 0 ? 2 * 36 * 10.0 / double(baud) : 0.0) + kCyclePauseS;
    const double cpuPerFrame = run.cpuPerFrame;
    std::printf("%-22s %8.1f %9.2f ms %9.2f ms %7.1f %% %9.2f ms %7.1f %% %9.3f ms %9.3f ms "
                "%7.1f %% %6.1f MiB\n",
                name, 1.0 / cycle, cycle * 1e3, bound * 1e3, 100.0 * bound / cycle,
                measuredBound * 1e3, 100.0 * measuredBound / cycle, cpuPerFrame * 1e3,
                floorCpu * 1e3, 100.0 * cpuPerFrame / cycle, run.rssEnd);
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    long frames = 2000, serialFrames = 300, soak = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--frames")) frames = std::atol(argv[i + 1]);
        if (!std::strcmp(argv[i], "--serial-frames")) serialFrames = std::atol(argv[i + 1]);
        if (!std::strcmp(argv[i], "--soak")) soak = std::atol(argv[i + 1]);
    }
    QTemporaryDir dir;
    std::printf("%-22s %8s %12s %12s %9s %12s %9s %12s %12s %9s %10s\n", "link", "frames/s",
                "cycle", "line bound", "reached", "measured", "reached", "cpu/frame", "floor",
                "cpu", "resident");
    // The model's GN, then GN values whose frames end like the start of a head.
    const int gns[] = {-1, 0, 170, 256};
    auto simArgs = [](int gn) {
        return gn < 0 ? QStringList()
                      : QStringList{"--frame-word", QStringLiteral("17=%1").arg(gn)};
    };
    auto named = [](const char *link, int gn) {
        return gn < 0 ? QByteArray(link) : QByteArray(link) + ", GN " + QByteArray::number(gn);
    };
    for (int gn : gns) {
        const int port = FreePort();
        Sim sim;
        if (!sim.start(QStringList{"--tcp-port", QString::number(port)} + simArgs(gn))) return 1;
        const QStringList link{"--tcp", QStringLiteral("127.0.0.1:%1").arg(port)};
        const long n = gn < 0 ? frames : frames / 3;
        if (n > 1)
            Measure(
                named("TCP loopback", gn).constData(), link, 0, n,
                [&](bool sleep) {
                    return bench::TcpExchanges(port, kBoundFrames, kCyclePauseS, sleep);
                },
                dir.path());
        if (gn < 0 && soak > 1) {
            const Outcome o = RunFrames(link, soak, dir.filePath("soak.json"));
            std::printf("memory over %ld frames: %.1f MiB after 100, %.1f MiB at the end; "
                        "%.3f ms of processor per frame (%s)\n",
                        soak, o.rssWarm, o.rssEnd, o.cpuPerFrame * 1e3,
                        o.ok ? "all frames" : "FAILED");
        }
    }
    struct Serial {
        const char *name;
        int baudIndex;
        long baud;
        speed_t speed;
        long frames;
    };
    for (const Serial &s : {Serial{"pty 115200", 4, 115200, B115200, serialFrames},
                            Serial{"pty 9600", 0, 9600, B9600, serialFrames / 3}}) {
        for (int gn : gns) {
            const long n = gn < 0 ? s.frames : s.frames / 3;
            if (n < 3) continue;
            const QString pty = dir.filePath(QStringLiteral("com%1").arg(s.baudIndex));
            Sim sim;
            if (!sim.start(QStringList{"--tcp-port", "0", "--pty", pty, "--baud-index",
                                       QString::number(s.baudIndex), "--emulate-wire-time",
                                       "--pace-bytes"} +
                           simArgs(gn)))
                return 1;
            const int exchanges = int(std::min<long>(kBoundFrames, n / 3 + 1));
            Measure(
                named(s.name, gn).constData(), {"--serial", pty, "--baud", QString::number(s.baud)},
                s.baud, n,
                [&](bool sleep) {
                    return bench::SerialExchanges(qPrintable(pty), s.speed, exchanges, kCyclePauseS,
                                                  sleep);
                },
                dir.path());
        }
    }
    return 0;
}
