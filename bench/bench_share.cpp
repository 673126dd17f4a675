// One sensor shared: tolvane-cli frames direct against tolvane-sim, then the
// same through tolvane-cli serve, in one run; then the frames loop through
// serve while a verify loop runs beside it. Reported: frames per second and
// their ratio, the processor time serve adds per exchange, the resident
// memory of serve and of the tool, the frames' rate while verify runs and
// the duration of each verify.
//
// The tool's resident memory is the most seen while it ran: tolvane-cli
// hands frames over to tolvane-line in the same process, and the peak of
// the brief moment before counts for nothing that stays.
//
//   bench_share [--frames N] [--verifies N] [--rounds N]
#include "bench/SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {
constexpr int kSampleMs = 100;

QString Bin(const char *name) {
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

double CpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/schedstat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    return f.readAll().split(' ')[0].toDouble() / 1e9;
}

struct Outcome {
    bool ok = false;
    double seconds = 0;   // from the first frame out to the last
    double maxRssMiB = 0; // of the tool
    long frames = 0;
    QList<double> frameTimes; // when each sample saw how many frames (for the rate during verify)
    QList<long> frameCounts;
};

// tolvane-cli LINK frames -n N, its output counted as it comes.
Outcome RunFrames(const QStringList &link, long frames, const QString &outPath,
                  const std::function<void()> &eachSample = {}) {
    Outcome o;
    const pid_t pid = bench::SpawnToFile(
        Bin("tolvane-cli"), link + QStringList{"frames", "-n", QString::number(frames)}, outPath,
        true);
    if (pid == 0) return o;
    QFile out(outPath);
    out.open(QIODevice::ReadOnly);
    QElapsedTimer clock;
    clock.start();
    long written = -1; // the header line
    double first = -1, last = 0;
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        written += out.readAll().count('\n');
        if (written > 0) {
            if (first < 0) first = clock.elapsed() / 1000.0;
            last = clock.elapsed() / 1000.0;
            o.frameTimes << last;
            o.frameCounts << written;
        }
        o.maxRssMiB = std::max(o.maxRssMiB, bench::ResidentMiB(pid));
        if (eachSample) eachSample();
        QThread::msleep(kSampleMs);
    }
    written += out.readAll().count('\n');
    last = clock.elapsed() / 1000.0;
    o.frames = written;
    o.seconds = last - std::max(0.0, first);
    o.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && written == frames;
    return o;
}

// frames/s between the first sample with a frame and the end, from counts.
double Rate(const Outcome &o, long skipFrames) {
    for (int i = 0; i < o.frameCounts.size(); ++i)
        if (o.frameCounts[i] >= skipFrames) {
            const double t = o.frameTimes.last() - o.frameTimes[i];
            return t > 0 ? (o.frameCounts.last() - o.frameCounts[i]) / t : 0;
        }
    return 0;
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    long frames = 2000, verifies = 5, rounds = 2;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--frames")) frames = std::atol(argv[i + 1]);
        if (!std::strcmp(argv[i], "--verifies")) verifies = std::atol(argv[i + 1]);
        if (!std::strcmp(argv[i], "--rounds")) rounds = std::atol(argv[i + 1]);
    }
    QTemporaryDir dir;
    qputenv("TOLVANE_RUNTIME_DIR", dir.filePath("run").toLocal8Bit());
    const int port = bench::FreePort();
    bench::Sim sim;
    if (!sim.start({"--tcp-port", QString::number(port)})) return 1;
    const QStringList link{"--tcp", QStringLiteral("127.0.0.1:%1").arg(port)};

    QProcess serve;
    serve.setProcessChannelMode(QProcess::MergedChannels);
    serve.start(Bin("tolvane-cli"), link + QStringList{"serve"});
    QByteArray said;
    for (int waited = 0; waited < 10000 && !said.contains("shared on"); waited += 50) {
        serve.waitForReadyRead(50);
        said += serve.readAll();
    }
    if (!said.contains("shared on")) {
        std::printf("serve did not start: %s\n", said.constData());
        return 1;
    }
    const qint64 servePid = serve.processId();
    // Direct and through serve in turns, the best of each, so that what the
    // other programs of the machine do weighs on both alike. The direct runs
    // reach the sensor past serve: serve's own connection is taken over by
    // them (one client per sensor) and opened again by serve afterwards.
    Outcome direct, through;
    double directRate = 0, throughRate = 0, serveCpu = 0, serveRss = 0;
    for (int round = 0; round < rounds; ++round) {
        qputenv("TOLVANE_RUNTIME_DIR", dir.filePath("none").toLocal8Bit());
        const Outcome d = RunFrames(link, frames, dir.filePath("direct.tsv"));
        qputenv("TOLVANE_RUNTIME_DIR", dir.filePath("run").toLocal8Bit());
        if (Rate(d, 20) > directRate) directRate = Rate(d, 20), direct = d;
        const double cpu0 = CpuSeconds(servePid);
        const Outcome t = RunFrames(link, frames, dir.filePath("through.tsv"), [&] {
            serveRss = std::max(serveRss, bench::ResidentMiB(servePid));
        });
        if (Rate(t, 20) > throughRate) {
            throughRate = Rate(t, 20), through = t;
            serveCpu = CpuSeconds(servePid) - cpu0;
        }
    }

    std::printf("%-26s %10s %10s %12s\n", "one client", "frames/s", "resident", "");
    std::printf("%-26s %10.1f %7.1f MiB %s\n", "direct", directRate, direct.maxRssMiB,
                direct.ok ? "" : "FAILED");
    std::printf("%-26s %10.1f %7.1f MiB %s\n", "through serve", throughRate, through.maxRssMiB,
                through.ok ? "" : "FAILED");
    std::printf("ratio through/direct: %.3f\n", directRate > 0 ? throughRate / directRate : 0);
    std::printf("serve: %.3f ms of processor per exchange, %.1f MiB resident\n",
                through.frames > 0 ? serveCpu / double(through.frames) * 1e3 : 0.0, serveRss);

    // The frames loop through serve while verify runs again and again.
    QProcess get;
    get.start(Bin("tolvane-cli"), link + QStringList{"get", "-o", dir.filePath("set.ini")});
    get.waitForFinished(30000);
    QList<double> verifyStarts, verifyEnds;
    QElapsedTimer clock;
    QProcess verify;
    int verifyFailures = 0;
    bool started = false;
    const Outcome beside = RunFrames(link, frames, dir.filePath("beside.tsv"), [&] {
        if (!started) clock.start(), started = true;
        // No event loop turns here: the process is asked directly.
        if (verify.state() != QProcess::NotRunning && !verify.waitForFinished(0)) return;
        if (verifyStarts.size() > verifyEnds.size()) {
            verifyEnds << clock.elapsed() / 1000.0;
            if (verify.exitCode() != 0) ++verifyFailures;
        }
        if (verifyStarts.size() >= verifies) return;
        verifyStarts << clock.elapsed() / 1000.0;
        verify.start(Bin("tolvane-cli"), link + QStringList{"verify", dir.filePath("set.ini")});
    });
    verify.waitForFinished(30000);
    if (verifyStarts.size() > verifyEnds.size()) {
        verifyEnds << clock.elapsed() / 1000.0;
        if (verify.exitCode() != 0) ++verifyFailures;
    }
    // Frames while a verify ran, against frames while none did.
    double inTime = 0, outTime = 0;
    long inFrames = 0, outFrames = 0;
    for (int i = 1; i < beside.frameTimes.size(); ++i) {
        const double t = beside.frameTimes[i];
        bool during = false;
        for (int v = 0; v < verifyEnds.size(); ++v)
            during = during || (t > verifyStarts[v] && t <= verifyEnds[v]);
        const double dt = t - beside.frameTimes[i - 1];
        const long df = beside.frameCounts[i] - beside.frameCounts[i - 1];
        (during ? inTime : outTime) += dt;
        (during ? inFrames : outFrames) += df;
    }
    double verifySum = 0;
    for (int v = 0; v < verifyEnds.size(); ++v)
        verifySum += verifyEnds[v] - verifyStarts[v];
    std::printf("frames beside %d verify runs (%d failed): %.1f frames/s while verify runs, "
                "%.1f frames/s otherwise; verify takes %.2f s on average; frames %s\n",
                int(verifyEnds.size()), verifyFailures, inTime > 0 ? inFrames / inTime : 0.0,
                outTime > 0 ? outFrames / outTime : 0.0,
                verifyEnds.isEmpty() ? 0.0 : verifySum / verifyEnds.size(),
                beside.ok ? "all there" : "FAILED");
    serve.terminate();
    serve.waitForFinished(5000);
    return direct.ok && through.ok && beside.ok && verifyFailures == 0 ? 0 : 1;
}
