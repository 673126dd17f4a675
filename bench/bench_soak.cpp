// Soak: GO and then counted recording for many frames against the simulated sensor with random
// faults injected (lost, short, long and corrupted answers, answers to another order, stray and
// unsolicited bytes, late answers, disconnects). After each time-out the program reconnects through
// TRY TO CONNECT and presses GO again (or starts the recording again). Checks: no crash, resident
// memory flat, no frame shown with values the simulator did not send, and every counted record line
// in the record file.
//
//   bench_soak [--frames N] [--record N] [--fault-every F] [--seed S]
//
// The simulator runs in this process, so that every answer it sends can be
// compared with what the program shows; the resident memory reported is the
// two together.
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "platform/Platform.h"
#include "recorder/Recorder.h"
#include "shell/Shell.h"
#include "sim/Simulator.h"
#include "uir_ids.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <cstdio>
#include <deque>
#include <map>
#include <random>

int CBF_ButtonGo(int, int, int, void *, int, int);
int CBF_ButtonTryToConnect(int, int, int, void *, int, int);
int CBF_ButtonStartRecord(int, int, int, void *, int, int);
int CBF_EditSelectDataRec(int, int, int, void *, int, int);

namespace {
double ResidentMiB() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024.0;
    return 0;
}

std::deque<QByteArray> recentAnswers; // what the simulator sent lately
uint64_t foreignFrames = 0;
uint64_t stopAt = 0;
std::mt19937 rng;
int faultEvery = 2000;
tsim::Simulator *sim = nullptr;
std::map<QString, int> faultsArmed;

const tsim::Fault kFaults[] = {
    tsim::Fault::NoAnswer,   tsim::Fault::ShortAnswer, tsim::Fault::ExtraBytes,
    tsim::Fault::WrongEcho,  tsim::Fault::WrongSync,   tsim::Fault::Delay,
    tsim::Fault::Disconnect, tsim::Fault::Unsolicited, tsim::Fault::Stray};

void OnFrame() {
    QByteArray shown(36, '\0');
    for (int k = 0; k < 18; ++k) {
        shown[2 * k] = char(databuf[k] >> 8);
        shown[2 * k + 1] = char(databuf[k]);
    }
    if (std::find(recentAnswers.begin(), recentAnswers.end(), shown) == recentAnswers.end())
        ++foreignFrames;
    if (pollFrames >= stopAt) session::poll = 0;
    if (rng() % unsigned(faultEvery) == 0) {
        const tsim::Fault f = kFaults[rng() % std::size(kFaults)];
        const int amount = f == tsim::Fault::Delay ? 3500 : int(rng() % 40);
        sim->armFault({f, 1, amount});
        ++faultsArmed[tsim::FaultName(f)];
    }
}
// The operator's way back after a time-out: TRY TO CONNECT.
bool Reconnect(int *reconnects, int *failed) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        sim->clearFaults();
        CBF_ButtonTryToConnect(interfacepanel, INTERFACEP_ButtonTryToConnect, EVENT_COMMIT, nullptr,
                               0, 0);
        ++*reconnects;
        if (comecho == 1) break;
        ++*failed;
    }
    popupscript::Clear();
    ShowChildPanel(2);
    return comecho == 1;
}

int LinesIn(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    return int(f.readAll().count('\n'));
}
} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    uint64_t frames = 20000;
    int recordTarget = 60;
    unsigned seed = 1;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--frames") frames = QByteArray(argv[i + 1]).toULongLong();
        if (QByteArray(argv[i]) == "--fault-every") faultEvery = QByteArray(argv[i + 1]).toInt();
        if (QByteArray(argv[i]) == "--record") recordTarget = QByteArray(argv[i + 1]).toInt();
        if (QByteArray(argv[i]) == "--seed") seed = QByteArray(argv[i + 1]).toUInt();
    }
    if (faultEvery < 1) faultEvery = 1;
    rng.seed(seed);

    if (InitRunTimeEngine(argc, argv) < 0) return 1;
    QTemporaryDir dir;
    const QString uir = QDir(QCoreApplication::applicationDirPath()).filePath("Tolvane.uir");
    if (!dir.isValid() || !QFile::copy(uir, QDir(dir.path()).filePath("Tolvane.uir"))) return 1;
    SetProjectDir(dir.path());
    popupscript::Install();
    if (LoadAllPanels(argc, argv) < 0) return 1;
    ShowChildPanel(2);
    DisplayPanel(datapanel);
    DisplayPanel(mainpanel);

    sim = new tsim::Simulator();
    sim->listenTcp(0);
    QObject::connect(sim, &tsim::Simulator::answerSent, [](QByteArray b) {
        recentAnswers.push_back(b);
        if (recentAnswers.size() > 64) recentAnswers.pop_front();
    });
    QFile settings(QDir(dir.path()).filePath("ComSettings.cfg"));
    settings.open(QIODevice::WriteOnly);
    settings.write(QString("1\n1\n4\n127.0.0.1\n%1\n").arg(sim->tcpPort()).toLatin1());
    settings.close();
    InitAll();
    if (comecho != 1) {
        std::fprintf(stderr, "no answer from the simulator\n");
        return 1;
    }

    const double rssStart = ResidentMiB();
    double rssWarm = 0;
    const double t0 = Timer();
    stopAt = pollFrames + frames;
    const uint64_t first = pollFrames;
    pollFrameHook = OnFrame;
    int timeouts = 0, reconnects = 0, failedReconnects = 0;
    while (pollFrames < stopAt) {
        CBF_ButtonGo(mainpanel, MAINP_ButtonGo, EVENT_COMMIT, nullptr, 0, 0);
        if (pollFrames - first >= 1000 && rssWarm == 0) rssWarm = ResidentMiB();
        if (pollFrames >= stopAt) break;
        ++timeouts;
        if (!Reconnect(&reconnects, &failedReconnects)) {
            std::fprintf(stderr, "could not reconnect\n");
            break;
        }
    }
    pollFrameHook = nullptr;
    const double wall = Timer() - t0;

    // Counted recording at the shortest interval the panel takes (whole
    // seconds), 10 lines a run, faults going on.
    recFileName = QDir(dir.path()).filePath("soak.dat");
    WriteFileHeader();
    SetCtrlVal(recpanel, RECP_EditSelectDataRec, int(kRecCounted));
    CBF_EditSelectDataRec(recpanel, RECP_EditSelectDataRec, EVENT_COMMIT, nullptr, 0, 0);
    SetCtrlVal(recpanel, RECP_EditInterval, 0);
    SetCtrlVal(recpanel, RECP_EditRecVal, 10);
    int recorded = 0, recordRuns = 0;
    const double r0 = Timer();
    while (recorded < recordTarget) {
        popupscript::Expect("ATTENTION!", 1);
        popupscript::Expect("ATTENTION!");
        if (rng() % 3 == 0) {
            const tsim::Fault f = kFaults[rng() % std::size(kFaults)];
            sim->armFault(
                {f, int(1 + rng() % 10), f == tsim::Fault::Delay ? 3500 : int(rng() % 40)});
            ++faultsArmed[tsim::FaultName(f)];
        }
        CBF_ButtonStartRecord(recpanel, RECP_ButtonStartRecord, EVENT_COMMIT, nullptr, 0, 0);
        ++recordRuns;
        int counted = 0;
        GetCtrlVal(recpanel, RECP_DispRecordedValues, &counted);
        recorded += counted;
        popupscript::Clear();
        if (comecho != 1 || session::poll != 0 || counted < 10) {
            ++timeouts;
            if (!Reconnect(&reconnects, &failedReconnects)) break;
        }
    }
    const double recordWall = Timer() - r0;
    const int lines = LinesIn(recFileName) - 1;
    const double rssEnd = ResidentMiB();
    if (rssWarm == 0) rssWarm = rssStart;

    std::printf("soak: %llu frames in %.0f s (%.1f frames/s), %d time-outs, %d reconnects "
                "(%d failed)\n",
                static_cast<unsigned long long>(pollFrames - first), wall,
                double(pollFrames - first) / wall, timeouts, reconnects, failedReconnects);
    std::printf("recording: %d runs, %d lines counted in %.0f s, %d in the file (%s)\n", recordRuns,
                recorded, recordWall, lines, lines == recorded ? "none lost" : "LINES LOST");
    std::printf("faults armed:");
    for (const auto &[name, n] : faultsArmed)
        std::printf(" %s %d", qPrintable(name), n);
    std::printf("\nframes shown that the simulator did not send: %llu\n",
                static_cast<unsigned long long>(foreignFrames));
    std::printf("resident memory (program and simulator): %.1f MiB at start, %.1f MiB after 1000 "
                "frames, %.1f MiB at the end (%+.2f MiB after warm-up)\n",
                rssStart, rssWarm, rssEnd, rssEnd - rssWarm);
    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    DiscardAllPanels();
    delete sim;
    return foreignFrames == 0 && lines == recorded ? 0 : 1;
}
