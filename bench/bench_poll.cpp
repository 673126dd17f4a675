// The GO cycle against tolvane-sim run as a separate process (its processor
// time is not ours): frames per second and processor time per frame over TCP
// loopback and over a pseudo-terminal at 115200 and 9600 baud, with the data
// panel, the RAW strip chart and the three-sides view all live. The bound of
// one cycle is the wire time of request and answer plus the 10 ms pause.
// The pseudo-terminal paces each answer byte by byte at the line's rate, as a
// USB adapter hands it over. Each link runs again with every frame's GN at
// 0, 170 and 256 (over loopback a third as many frames): those end in bytes that
// look like the start of a head, and each is proven by the next answer.
// Then the counted interval recording over loopback, at the panel's shortest
// interval and back to back: lines apart, and lines in the file.
//
//   bench_poll [--frames N] [--serial-frames N] [--calcmode M] [--source S]
//
// --frames: frames over loopback (default 3000; 100000 for the memory check,
// which reports the resident memory of the program and of the simulator).
// --serial-frames: frames at 115200 baud; a third of them at 9600 (default 300).
// --calcmode, --source: what is live (default 6, all five projections, and
// 0, the RAW strip chart).
#include "bench/LineBound.h"
#include "bench/SimProcess.h"
#include "core/MasterCopy.h"
#include "core/Protocol.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "params/Params.h"
#include "platform/Platform.h"
#include "recorder/Recorder.h"
#include "shell/Shell.h"
#include "sim/SensorModel.h"
#include "uir_ids.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

int CBF_ButtonGo(int, int, int, void *, int, int);
int CBF_ButtonStartRecord(int, int, int, void *, int, int);

using bench::FreePort;
using bench::ResidentMiB;
using bench::Sim;

namespace {

constexpr double kCyclePause = 0.010;

uint64_t stopAt = 0;
int liveCalcmode = 6;
int liveSource = 0;

double WallSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double ProcessSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Growth over a long GO that still counts as flat: allocator noise and caches
// filled once, not a leak per frame.
constexpr double kFlatMiB = 5.0;

// Seconds on the wire for one request and its answer (10 bits per byte);
// the simulator emulates both directions.
double WireTime(long baud) {
    return baud > 0 ? 2 * 36 * 10.0 / double(baud) : 0.0;
}

struct Run {
    const char *name;
    double wire;     // seconds per cycle on a real line: request and answer
    double measured; // the cycle of a client that never sleeps (LineBound.h)
    uint64_t frames = 0;
    double wall = 0;
    double cpu = 0;
    bool timedOut = false;
};

double rssWarm = 0;    // resident memory once the first frames were drawn
double simRssWarm = 0; // the simulator's at the same moment
qint64 simPid = 0;     // the simulator serving the loopback run
constexpr uint64_t kWarmUpFrames = 100;
// Exchanges of the client that never sleeps, for the measured line bound.
constexpr int kBoundFrames = 100;
uint64_t warmAt = 0;

// One GO from the main panel, ended by the frame hook after `frames` frames.
void Go(Run *run, uint64_t frames) {
    stopAt = pollFrames + frames;
    warmAt = pollFrames + kWarmUpFrames;
    pollFrameHook = [] {
        if (pollFrames == warmAt) {
            rssWarm = ResidentMiB();
            simRssWarm = ResidentMiB(simPid);
        }
        if (pollFrames >= stopAt) session::poll = 0;
    };
    const uint64_t first = pollFrames;
    const double cpu0 = ProcessSeconds();
    const double t0 = Timer();
    CBF_ButtonGo(mainpanel, MAINP_ButtonGo, EVENT_COMMIT, nullptr, 0, 0);
    run->wall = Timer() - t0;
    run->cpu = ProcessSeconds() - cpu0;
    run->frames = pollFrames - first;
    run->timedOut = run->frames < frames;
    pollFrameHook = nullptr;
}

void Header() {
    std::printf("%-22s %7s %8s %8s | %-17s | %-17s | %9s %6s\n", "link", "frames", "frames/s",
                "cycle ms", "line bound ms (%)", "measured ms (%)", "CPU ms/fr", "CPU %");
}

void Report(const Run &r) {
    if (r.frames == 0) {
        std::printf("%-22s no frame%s\n", r.name, r.timedOut ? " (TIMEOUT)" : "");
        return;
    }
    const double cycle = r.wall / double(r.frames);
    const double line = r.wire + kCyclePause;
    std::printf("%-22s %7llu %8.1f %8.2f | %7.2f (%5.1f %%) | %7.2f (%5.1f %%) | %9.3f %6.1f%s\n",
                r.name, static_cast<unsigned long long>(r.frames), r.frames / r.wall, cycle * 1e3,
                line * 1e3, 100.0 * line / cycle, r.measured * 1e3, 100.0 * r.measured / cycle,
                r.cpu / double(r.frames) * 1e3, 100.0 * r.cpu / r.wall,
                r.timedOut ? "  TIMEOUT" : "");
}

void SelectLink(int protocol, const QString &host, int port, int baudIndex) {
    SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, protocol);
    if (protocol == 1) {
        SetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, host);
        SetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, QString::number(port));
    } else {
        SetCtrlVal(interfacepanel, INTERFACEP_EditSelectComPort, 1);
        SetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, baudIndex);
    }
    TryToConnect();
}

// Everything the operator would look at: the RAW strip chart on the data
// panel and the three-sides view in the mode with all five projections.
// Teaches the simulator's scene into the table in the live mode's layout,
// as an operator would have: what the sensor sees then lies among the taught
// vectors, and the graphs' ranges follow the taught table, not the noise.
void TeachTheScene() {
    const QList<tsim::Target> scene = tsim::DefaultScene();
    const tsim::SensorState state = tsim::DefaultState(scene);
    const int m = liveCalcmode;
    for (int row = 0; row < int(scene.size()) && row < 31; ++row) {
        const tsim::Frame f = tsim::Measure(state, scene[row], 0.0, nullptr);
        const tsim::Chroma c = tsim::ChromaOf(m, f.r, f.g, f.b);
        int cells[7] = {c.x, c.y, 100, c.intensity, 100, f.gn, 100}; // modes 0, 1
        if (m == 2 || m == 3)
            cells[2] = c.intensity, cells[3] = 150, cells[4] = f.gn, cells[5] = 150;
        if (m == 4 || m == 5)
            cells[2] = f.gn, cells[3] = 150, cells[4] = c.intensity, cells[5] = 150;
        if (m == 6 || m == 7) cells[2] = c.intensity, cells[3] = f.gn, cells[4] = 150, cells[5] = 0;
        for (int col = 0; col < 7; ++col)
            SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(col + 1, row + 1), cells[col]);
    }
}

void MakeEverythingLive() {
    SetCtrlVal(parapanel, PARAP_Calcmode, liveCalcmode);
    TeachTheScene();
    InitPanelCtrlAttr();
    SetCtrlVal(datapanel, DATAP_SelectSource, liveSource);
    DispVis();
    InitP3SidesPanel();
}

// The request and answer alone, back to back: what a recording cycle
// without an interval costs at least.
double ExchangeSeconds(int frames) {
    const double t0 = Timer();
    int got = 0;
    for (int i = 0; i < frames; ++i)
        got += ReceiveFrame() ? 1 : 0;
    return got == frames ? (Timer() - t0) / frames : 0.0;
}

// A counted interval recording from START RECORD: seconds per line, processor
// per line, and the lines the file holds against the lines counted. An
// interval of 0 (below what the panel allows; the benchmark lowers the
// control's minimum) runs the loop back to back at the link's full rate.
void RecordRun(const char *name, int interval, int lines, const QString &file, double exchange) {
    SetCtrlAttribute(recpanel, RECP_EditInterval, ATTR_MIN_VALUE, 0);
    SetCtrlVal(recpanel, RECP_EditSelectDataRec, int(kRecCounted));
    SetCtrlVal(recpanel, RECP_EditInterval, interval);
    SetCtrlVal(recpanel, RECP_EditRecVal, lines);
    recFileName = file;
    if (!WriteFileHeader()) {
        std::printf("%-24s cannot write %s\n", name, qPrintable(file));
        return;
    }
    popupscript::Expect("ATTENTION!"); // the right file name: yes
    const double cpu0 = ProcessSeconds();
    const double t0 = Timer();
    CBF_ButtonStartRecord(recpanel, RECP_ButtonStartRecord, EVENT_COMMIT, nullptr, 0, 0);
    const double wall = Timer() - t0;
    const double cpu = ProcessSeconds() - cpu0;
    QFile f(file);
    const long inFile = f.open(QIODevice::ReadOnly) ? long(f.readAll().count('\n')) - 1 : -1;
    // Lines follow each other an interval apart; the first comes at once. The
    // start and the closing message count too.
    const unsigned written = std::max(1u, recTally.written);
    const double apart = interval > 0 ? wall / std::max(1u, written - 1) : wall / written;
    std::printf("%-20s %5d lines %9.3f ms apart (%s %.3f ms), %.3f ms CPU a line; "
                "%ld lines in the file, %u counted, %u lost\n",
                name, lines, apart * 1e3, interval > 0 ? "interval" : "request and answer alone",
                (interval > 0 ? interval : exchange) * 1e3, cpu / written * 1e3, inFile,
                recTally.written, recTally.lost);
}

} // namespace

int main(int argc, char **argv) {
    const double launched = WallSeconds(); // the start of main: libraries are loaded
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    uint64_t frames = 3000, serialFrames = 300;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--frames") frames = QByteArray(argv[i + 1]).toULongLong();
        if (QByteArray(argv[i]) == "--serial-frames")
            serialFrames = QByteArray(argv[i + 1]).toULongLong();
        if (QByteArray(argv[i]) == "--calcmode") liveCalcmode = QByteArray(argv[i + 1]).toInt();
        if (QByteArray(argv[i]) == "--source") liveSource = QByteArray(argv[i + 1]).toInt();
    }
    if (frames < 1 || serialFrames < 3) {
        std::fprintf(stderr, "usage: bench_poll [--frames N] [--serial-frames N>=3]\n");
        return 2;
    }

    // A program directory of its own, so that no settings of a real
    // installation are read or written.
    if (InitRunTimeEngine(argc, argv) < 0) return 1;
    QTemporaryDir dir;
    const QString uir = QDir(QCoreApplication::applicationDirPath()).filePath("Tolvane.uir");
    if (!dir.isValid() || !QFile::copy(uir, QDir(dir.path()).filePath("Tolvane.uir"))) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(uir));
        return 1;
    }
    SetProjectDir(dir.path());
    // Pop-ups (a lost connection at the end) must not stop the benchmark.
    popupscript::Install();
    if (LoadAllPanels(argc, argv) < 0) {
        std::fprintf(stderr, "cannot load the panels\n");
        return 1;
    }
    ShowChildPanel(2);
    DisplayPanel(datapanel);
    DisplayPanel(mainpanel);

    const double panelsLoaded = WallSeconds();
    const int port = FreePort();
    Sim tcpSim;
    if (!tcpSim.start({"--tcp-port", QString::number(port)})) {
        std::fprintf(stderr, "tolvane-sim did not start\n");
        return 1;
    }
    // Start-up as an operator meets it: stored settings point at the sensor,
    // and InitAll connects, stops automatic sending, reads the version, the
    // parameters and the teach table. The simulator's own start is not ours.
    const double tcpMeasured = bench::TcpExchanges(port, kBoundFrames, kCyclePause).cycle;
    QFile settings(QDir(dir.path()).filePath("ComSettings.cfg"));
    settings.open(QIODevice::WriteOnly);
    settings.write(QString("1\n1\n4\n127.0.0.1\n%1\n").arg(port).toLatin1());
    settings.close();
    const double initStart = WallSeconds();
    InitAll();
    const double connected = WallSeconds();
    std::printf("start-up: panels loaded %.0f ms after launch; InitAll to \"connected\" %.0f ms "
                "(%s); main to connected without the simulator's start %.0f ms\n",
                (panelsLoaded - launched) * 1e3, (connected - initStart) * 1e3,
                comecho == 1 ? "connected" : "NOT connected",
                (panelsLoaded - launched + connected - initStart) * 1e3);
    if (comecho != 1) {
        std::fprintf(stderr, "no answer from tolvane-sim over TCP\n");
        return 1;
    }
    MakeEverythingLive();

    std::printf("GO cycle: data panel, source %d, three-sides view in calc mode %d%s\n", liveSource,
                liveCalcmode, liveCalcmode > 1 ? "" : " (hidden)");
    Header();
    Run loop{"TCP loopback", 0.0, tcpMeasured};
    simPid = tcpSim.process.processId();
    const double rssBefore = ResidentMiB();
    const double simRssBefore = ResidentMiB(simPid);
    Go(&loop, frames);
    const double rssAfter = ResidentMiB();
    const double simRssAfter = ResidentMiB(simPid);
    const double rssAfterWarmUp = rssWarm;
    const double simRssAfterWarmUp = simRssWarm;
    Report(loop);

    // Interval recording over the same link: at the panel's shortest
    // interval, and back to back.
    const double exchange = ExchangeSeconds(500);
    std::printf("request and answer alone, back to back: %.3f ms\n", exchange * 1e3);
    RecordRun("record every 1 s", 1, 10, QDir(dir.path()).filePath("every1s.dat"), exchange);
    RecordRun("record back to back", 0, int(std::min<uint64_t>(frames, 65535)),
              QDir(dir.path()).filePath("backtoback.dat"), exchange);

    const int gns[] = {-1, 0, 170, 256}; // the model's GN first
    auto simArgs = [](int gn) {
        return gn < 0 ? QStringList()
                      : QStringList{"--frame-word", QStringLiteral("17=%1").arg(gn)};
    };
    std::vector<QByteArray> names;
    auto named = [&names](const char *link, int gn) {
        names.push_back(gn < 0 ? QByteArray(link)
                               : QByteArray(link) + ", GN " + QByteArray::number(gn));
        return names.back().constData();
    };
    for (int gn : {0, 170, 256}) {
        const int gnPort = FreePort();
        Sim gnSim;
        if (!gnSim.start(QStringList{"--tcp-port", QString::number(gnPort)} + simArgs(gn)))
            return 1;
        const double measured = bench::TcpExchanges(gnPort, kBoundFrames, kCyclePause).cycle;
        SelectLink(1, "127.0.0.1", gnPort, 4);
        Run run{named("TCP loopback", gn), 0.0, measured};
        if (comecho == 1) Go(&run, std::max<uint64_t>(frames / 3, 1));
        Report(run);
    }

    struct Serial {
        const char *name;
        int baudIndex;
        speed_t speed;
        uint64_t frames;
    };
    for (const Serial &s : {Serial{"pty 115200", 4, B115200, serialFrames},
                            Serial{"pty 9600", 0, B9600, serialFrames / 3}})
        for (int gn : gns) {
            const uint64_t n = s.frames;
            const QString link = QDir(dir.path()).filePath(QString("sensor%1").arg(s.baudIndex));
            Sim ptySim;
            if (!ptySim.start(QStringList{"--tcp-port", "0", "--pty", link, "--baud-index",
                                          QString::number(s.baudIndex), "--emulate-wire-time",
                                          "--pace-bytes"} +
                              simArgs(gn))) {
                std::fprintf(stderr, "tolvane-sim did not open a pseudo-terminal\n");
                return 1;
            }
            const double measured =
                bench::SerialExchanges(qPrintable(link), s.speed,
                                       int(std::min<uint64_t>(kBoundFrames, n / 3 + 1)),
                                       kCyclePause)
                    .cycle;
            qputenv("TOLVANE_COM1", link.toLocal8Bit());
            SelectLink(0, QString(), 0, s.baudIndex);
            const long baud = proto::BaudOfIndex(s.baudIndex);
            Run run{named(s.name, gn), WireTime(baud), measured};
            if (comecho == 1) {
                MakeEverythingLive();
                Go(&run, n);
            }
            Report(run);
            CloseCom(comport);
        }

    std::printf("resident memory over %llu frames over loopback (flat: growth under %.0f MiB):\n",
                static_cast<unsigned long long>(loop.frames), kFlatMiB);
    const struct {
        const char *who;
        double before, warm, after;
    } rss[] = {{"program", rssBefore, rssAfterWarmUp, rssAfter},
               {"simulator", simRssBefore, simRssAfterWarmUp, simRssAfter}};
    for (const auto &r : rss)
        std::printf("  %-9s %.1f MiB before GO, %.1f MiB after the first %llu, %.1f MiB after "
                    "(%+.2f MiB, %s)\n",
                    r.who, r.before, r.warm, static_cast<unsigned long long>(kWarmUpFrames),
                    r.after, r.after - r.before, r.after - r.before < kFlatMiB ? "flat" : "GROWS");
    for (const popupscript::Shown &p : popupscript::Log())
        std::printf("(pop-up \"%s\": %s)\n", qPrintable(p.title), qPrintable(p.text.simplified()));
    return 0;
}
