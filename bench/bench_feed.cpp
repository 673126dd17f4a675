// The plant feed against a real mosquitto broker on this machine, with
// tolvane-cli and tolvane-sim as their own processes:
//  1. one sensor over TCP loopback, frames to stdout and then published:
//     frames per second against the bound (the 10 ms pause) and processor
//     time per frame of the tool;
//  2. K sensors with K feeds into one broker, every frame published with
//     quality 0: frames that reached a subscriber, processor per feed and
//     of the broker;
//  3. one feed whose broker is stopped for 10 s and started again: whether
//     polling went on through the outage, and the frames it counted;
//  4. one feed whose broker stops answering (SIGSTOP) for 20 s and then goes
//     on, at QoS 0 and 1: the frames that reached a subscriber against the
//     feed's own counts.
//
//   bench_feed [--frames N] [--feeds K] [--outage-frames N] [--stall-frames N]
#include "bench/SimProcess.h"
#include "support/MqttBroker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using fixture::MqttBroker;
using fixture::MqttSubscriber;

namespace {

constexpr double kBoundFps = 100.0; // TCP: the 10 ms pause alone
constexpr int kStartMs = bench::kSimStartMs;
constexpr int kOutageMs = 10000;
constexpr int kStallMs = 20000;

QString Bin(const QString &name) {
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

// Processor seconds of the children that have ended and been waited for.
double ChildrenSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Processor seconds of a running process (the broker).
double ProcessSeconds(qint64 pid) {
    QFile f(QString("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = f.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

// A simulator on its own free port.
struct Sim {
    bench::Sim process;
    quint16 port = quint16(bench::FreePort());
    bool Start() { return process.start({"--tcp-port", QString::number(port)}); }
};

QStringList Cli(const Sim &sim, int frames) {
    return {"--tcp", QString("127.0.0.1:%1").arg(sim.port), "frames", "-n",
            QString::number(frames)};
}

QString Url(const MqttBroker &b, const QString &prefix) {
    return QString("mqtt://127.0.0.1:%1/%2").arg(b.Port()).arg(prefix);
}

// Frame number -> arrival time (ms since 1970) of JSON frame lines.
QMap<int, qint64> FrameTimes(const QList<QByteArray> &lines) {
    QMap<int, qint64> out;
    for (const QByteArray &line : lines) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty()) continue;
        out[o["frame"].toInt()] =
            QDateTime::fromString(o["time"].toString(), Qt::ISODateWithMs).toMSecsSinceEpoch();
    }
    return out;
}

double Fps(const QMap<int, qint64> &times) {
    if (times.size() < 2) return 0;
    const double s = double(times.last() - times.first()) / 1000.0;
    return s > 0 ? double(times.lastKey() - times.firstKey()) / s : 0;
}

// Waits for the tool to end while the subscriber's output is read, so that
// the subscriber never blocks the broker.
bool Finish(QProcess &p, int ms, MqttSubscriber *sub = nullptr, int exitCode = 0) {
    QDeadlineTimer deadline(ms);
    while (!p.waitForFinished(20) && !deadline.hasExpired())
        if (sub) sub->Messages();
    if (p.state() == QProcess::NotRunning && p.exitStatus() == QProcess::NormalExit &&
        p.exitCode() == exitCode)
        return true;
    std::fprintf(stderr, "tolvane-cli failed: %s\n", p.readAllStandardError().constData());
    return false;
}

// Waits ms milliseconds reading the subscriber.
void Drain(MqttSubscriber &sub, int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        sub.Messages();
        QThread::msleep(20);
    }
}

struct Polled {
    double cpu = 0; // processor seconds of the tool
    QMap<int, qint64> times;
};

// One run of frames -n N, to stdout or published.
Polled PollOnce(MqttBroker &broker, const Sim &sim, bool publish, int frames) {
    Polled r;
    QTemporaryDir dir;
    MqttSubscriber sub;
    if (publish && !sub.Start(broker.Port(), "one/#")) return r;
    QProcess cli;
    QStringList args = Cli(sim, frames);
    if (publish)
        args << "--publish" << Url(broker, "one");
    else
        args << "--format"
             << "json";
    cli.setStandardOutputFile(dir.filePath("frames.json"));
    const double cpu0 = ChildrenSeconds();
    cli.start(Bin("tolvane-cli"), args);
    if (!Finish(cli, frames * 100 + kStartMs, publish ? &sub : nullptr)) return r;
    r.cpu = ChildrenSeconds() - cpu0;
    QList<QByteArray> lines;
    if (publish) {
        Drain(sub, 500);
        lines = sub.On("one/frame");
    } else {
        QFile f(dir.filePath("frames.json"));
        if (f.open(QIODevice::ReadOnly)) lines = f.readAll().split('\n');
    }
    r.times = FrameTimes(lines);
    return r;
}

// Stdout and published in turn, twice, so that the machine's wandering load
// falls on both alike; a one-frame run gives the start-up's processor time.
void SingleFeed(MqttBroker &broker, int frames) {
    Sim sim;
    if (!sim.Start()) return void(std::fprintf(stderr, "tolvane-sim did not start\n"));
    for (int round = 0; round < 2; ++round)
        for (const bool publish : {false, true}) {
            const double startup = PollOnce(broker, sim, publish, 1).cpu;
            const Polled r = PollOnce(broker, sim, publish, frames);
            const double fps = Fps(r.times);
            std::printf("%-15s frames %5lld/%d  %6.2f frames/s  cycle %6.3f ms  reached %5.1f %%  "
                        "processor %.3f ms per frame (start-up %.0f ms apart)\n",
                        publish ? "TCP, published" : "TCP, stdout", qint64(r.times.size()), frames,
                        fps, fps > 0 ? 1000.0 / fps : 0.0, 100.0 * fps / kBoundFps,
                        1000.0 * (r.cpu - startup) / (frames - 1), 1000.0 * startup);
        }
}

void ManyFeeds(MqttBroker &broker, int feeds, int frames) {
    std::vector<std::unique_ptr<Sim>> sims;
    for (int i = 0; i < feeds; ++i) {
        sims.push_back(std::make_unique<Sim>());
        if (!sims.back()->Start()) return void(std::fprintf(stderr, "tolvane-sim did not start\n"));
    }
    MqttSubscriber sub;
    if (!sub.Start(broker.Port(), "plant/#")) return;
    std::vector<std::unique_ptr<QProcess>> clis;
    const double cpu0 = ChildrenSeconds();
    const double broker0 = ProcessSeconds(broker.Pid());
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < feeds; ++i) {
        clis.push_back(std::make_unique<QProcess>());
        clis.back()->start(Bin("tolvane-cli"), Cli(*sims[i], frames)
                                                   << "--publish"
                                                   << Url(broker, QString("plant/s%1").arg(i)));
    }
    int ok = 0;
    for (auto &c : clis)
        ok += Finish(*c, frames * 200, &sub) ? 1 : 0;
    const double seconds = wall.elapsed() / 1000.0;
    const double cpu = ChildrenSeconds() - cpu0;
    const double brokerCpu = ProcessSeconds(broker.Pid()) - broker0;
    Drain(sub, 1000);
    int complete = 0;
    qint64 received = 0;
    double slowest = 1e9;
    for (int i = 0; i < feeds; ++i) {
        const QMap<int, qint64> t = FrameTimes(sub.On(QString("plant/s%1/frame").arg(i)));
        received += t.size();
        complete += t.size() == frames ? 1 : 0;
        slowest = std::min(slowest, Fps(t));
    }
    std::printf("%d feeds into one broker: %d ended well, %lld of %lld frames reached the "
                "subscriber (%d feeds complete), slowest feed %.2f frames/s; processor per feed "
                "%.3f ms per frame, %.1f %% of a core; broker %.1f %% of a core over %.1f s\n",
                feeds, ok, received, qint64(feeds) * frames, complete, slowest,
                1000.0 * cpu / feeds / frames, 100.0 * cpu / feeds / seconds,
                100.0 * brokerCpu / seconds, seconds);
}

void Outage(MqttBroker &broker, int frames) {
    Sim sim;
    if (!sim.Start()) return;
    auto before = std::make_unique<MqttSubscriber>();
    if (!before->Start(broker.Port(), "out/#")) return;
    QProcess cli;
    cli.start(Bin("tolvane-cli"), Cli(sim, frames) << "--publish" << Url(broker, "out"));
    Drain(*before, kOutageMs / 2);
    QList<QByteArray> lines = before->On("out/frame");
    broker.Kill();
    QThread::msleep(kOutageMs);
    if (!broker.Restart()) return;
    MqttSubscriber after;
    if (!after.Start(broker.Port(), "out/#")) return;
    // Frames of the outage were not sent: the run ends with 1.
    if (!Finish(cli, frames * 100, &after, 1)) return;
    Drain(after, 500);
    lines += after.On("out/frame");
    const QList<QByteArray> statuses = after.On("out/status");
    QJsonObject last;
    for (const QByteArray &s : statuses)
        if (s.startsWith('{')) last = QJsonDocument::fromJson(s).object();
    const QMap<int, qint64> t = FrameTimes(lines);
    // The widest hole in the frame numbers is the outage; the time across it
    // divided by the frames polled meanwhile is the cycle during the outage.
    int gapFrom = 0, gapTo = 0;
    for (auto it = t.begin(); std::next(it) != t.end(); ++it)
        if (std::next(it).key() - it.key() > gapTo - gapFrom) {
            gapFrom = it.key();
            gapTo = std::next(it).key();
        }
    const double across = double(t.value(gapTo) - t.value(gapFrom)) / (gapTo - gapFrom);
    std::printf("broker away %d s: %lld frames reached the subscriber, %d polled while it was "
                "away at %.3f ms per cycle (before and after: %.3f ms); last status: frames %d, "
                "published %d, unsent %d, lost %d, reconnects %d; stderr: %s\n",
                kOutageMs / 1000, qint64(t.size()), gapTo - gapFrom - 1, across, 1000.0 / Fps(t),
                last["frames"].toInt(), last["published"].toInt(), last["unsent"].toInt(),
                last["lost"].toInt(), last["reconnects"].toInt(),
                cli.readAllStandardError().replace('\n', " | ").constData());
}

void Stall(MqttBroker &broker, int frames, int qos) {
    Sim sim;
    if (!sim.Start()) return;
    const QString prefix = QString("stall%1").arg(qos);
    MqttSubscriber sub;
    if (!sub.Start(broker.Port(), prefix + "/#")) return;
    QProcess cli;
    cli.start(Bin("tolvane-cli"), Cli(sim, frames) << "--publish" << Url(broker, prefix) << "--qos"
                                                   << QString::number(qos));
    Drain(sub, 5000);
    broker.Suspend();
    QThread::msleep(kStallMs);
    broker.Resume();
    QDeadlineTimer deadline(frames * 100);
    while (!cli.waitForFinished(20) && !deadline.hasExpired())
        sub.Messages();
    Drain(sub, 1000);
    QJsonObject last;
    for (const QByteArray &s : sub.On(prefix + "/status"))
        if (s.startsWith('{')) last = QJsonDocument::fromJson(s).object();
    std::printf("broker stopped %d s, QoS %d: %lld of %d frames reached the subscriber; exit "
                "code %d; last status: published %d, unsent %d, lost %d; stderr: %s\n",
                kStallMs / 1000, qos, qint64(FrameTimes(sub.On(prefix + "/frame")).size()), frames,
                cli.state() == QProcess::NotRunning ? cli.exitCode() : -1,
                last["published"].toInt(), last["unsent"].toInt(), last["lost"].toInt(),
                cli.readAllStandardError().replace('\n', " | ").constData());
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    int frames = 3000, feeds = 20, outageFrames = 3000, stallFrames = 3500;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--frames") frames = args[i + 1].toInt();
        if (args[i] == "--feeds") feeds = args[i + 1].toInt();
        if (args[i] == "--outage-frames") outageFrames = args[i + 1].toInt();
        if (args[i] == "--stall-frames") stallFrames = args[i + 1].toInt();
    }
    MqttBroker broker;
    if (!broker.Start()) {
        std::fprintf(stderr, "mosquitto did not start\n");
        return 1;
    }
    SingleFeed(broker, frames);
    ManyFeeds(broker, feeds, frames);
    Outage(broker, outageFrames);
    for (int qos : {0, 1})
        Stall(broker, stallFrames, qos);
    return 0;
}
