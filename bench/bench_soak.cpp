// Soak: GO and then counted recording for many frames against the simulated sensor with random
// faults injected (lost, short, long and corrupted answers, answers to another order, stray and
// unsolicited bytes, answers with a fragment of 1 to 35 bytes glued to their start and their rest
// 0 to 200 ms late, late answers, disconnects).
// After each time-out the program reconnects through TRY TO CONNECT and presses GO again (or starts
// the recording again). Then triggered recording over TCP and over a pseudo-terminal, with half
// frames, stray head bytes and glued fragments (any length, the rest up to 200 ms late) among
// the automatic frames. Checks: no crash, resident memory flat,
// no frame shown or recorded with values the simulator did not send, every counted record line in
// the record file, and every automatic frame sent whole recorded, each glitch counted as skipped.
//
//   bench_soak [--frames N] [--record N] [--trig N] [--fault-every F] [--seed S]
//
// The simulator runs in this process, so that every answer it sends can be
// compared with what the program shows; the resident memory reported is the
// two together.
#include "bench/SimProcess.h"
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
#include <QTimer>
#include <cstdio>
#include <deque>
#include <map>
#include <random>

int CBF_ButtonGo(int, int, int, void *, int, int);
int CBF_ButtonTryToConnect(int, int, int, void *, int, int);
int CBF_ButtonStartRecord(int, int, int, void *, int, int);
int CBF_EditSelectDataRec(int, int, int, void *, int, int);
int CBF_ButtonStartTrigRec(int, int, int, void *, int, int);
int CBF_ButtonStopTrigRec(int, int, int, void *, int, int);

namespace {
std::deque<QByteArray> recentAnswers; // what the simulator sent lately
uint64_t foreignFrames = 0;
uint64_t stopAt = 0;
std::mt19937 rng;
int faultEvery = 2000;
tsim::Simulator *sim = nullptr;
std::map<QString, int> faultsArmed;
QSet<QByteArray> sentKeys; // record-line values of every telegram the simulator sent whole
bool collectKeys = false;  // during the counted recordings

const tsim::Fault kFaults[] = {tsim::Fault::NoAnswer,   tsim::Fault::ShortAnswer,
                               tsim::Fault::ExtraBytes, tsim::Fault::WrongEcho,
                               tsim::Fault::WrongSync,  tsim::Fault::Delay,
                               tsim::Fault::Disconnect, tsim::Fault::Unsolicited,
                               tsim::Fault::Stray,      tsim::Fault::SplitAnswer};
const tsim::Fault kAutoFaults[] = {tsim::Fault::HalfFrame, tsim::Fault::StrayHead};

// A fault as the soak arms it. A glued fragment takes any length from 1 to
// 35 bytes and its frame's rest any delay from 0 to 200 ms.
tsim::FaultPlan Plan(tsim::Fault f, int telegram) {
    tsim::FaultPlan plan{f, telegram, f == tsim::Fault::Delay ? 3500 : int(rng() % 40)};
    const bool glue = f == tsim::Fault::SplitAnswer || (f == tsim::Fault::StrayHead && rng() % 2);
    if (glue) {
        plan.amount = 1 + int(rng() % 35);
        plan.delayMs = int(rng() % 201);
    } else if (f == tsim::Fault::StrayHead || f == tsim::Fault::HalfFrame) {
        plan.amount = 0;
    }
    return plan;
}

// The piece of 36 bytes that carries a glued fragment is no telegram the
// simulator sent whole; the frame it cut is, once its rest followed.
int gluedNext = 0;
QByteArray cutFrame;
QByteArray lastWhole; // the telegram the simulator's last write completed, if any
bool SentWhole(QByteArray *b) {
    if (gluedNext > 0 && b->size() == 36) {
        cutFrame = b->mid(gluedNext);
        gluedNext = 0;
        return false;
    }
    if (!cutFrame.isEmpty() && cutFrame.size() + b->size() == 36) {
        *b = cutFrame + *b;
        cutFrame.clear();
        return true;
    }
    return b->size() == 36;
}

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
        sim->armFault(Plan(f, 1));
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

// The values of a record line, as the frame's words give them.
QByteArray LineKey(const QByteArray &frame) {
    QByteArray key;
    for (int k : {2, 3, 4, 14, 15, 16, 5, 6, 7, 17, 8, 12})
        key += QByteArray::number(uint8_t(frame[2 * k]) * 256 + uint8_t(frame[2 * k + 1])) + ' ';
    return key;
}

QList<QByteArray> FileKeys(const QString &path) {
    QFile f(path);
    QList<QByteArray> keys;
    if (!f.open(QIODevice::ReadOnly)) return keys;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].trimmed().split('\t');
        if (fields.size() < 14) continue;
        QByteArray key;
        for (int j = 2; j < 14; ++j)
            key += fields[j] + ' ';
        keys << key;
    }
    return keys;
}

struct TriggeredResult {
    int sent = 0, recorded = 0, foreign = 0, missing = 0, glitches = 0;
    unsigned skipped = 0;
    double seconds = 0;
};

// Triggered recording until `frames` automatic frames were sent whole, a
// glitch armed every few frames. A frame sent whole and not recorded is
// missing unless it came right before the stop.
TriggeredResult SoakTriggered(const QString &path, int frames) {
    TriggeredResult r;
    QList<QByteArray> whole;
    QSet<QByteArray> wholeKeys;
    QTimer stopper;
    stopper.setSingleShot(true);
    QObject::connect(&stopper, &QTimer::timeout, [] {
        CBF_ButtonStopTrigRec(recpanel, RECP_ButtonStopTrigRec, EVENT_COMMIT, nullptr, 0, 0);
    });
    auto sent = QObject::connect(sim, &tsim::Simulator::answerSent, [&](const QByteArray &) {
        const QByteArray b = lastWhole;
        if (b.isEmpty() || uint8_t(b[1]) != 0xAA || uint8_t(b[3]) != 5) return;
        whole << b;
        wholeKeys.insert(LineKey(b));
        if (rng() % 40 == 0) {
            const tsim::Fault f = kAutoFaults[rng() % std::size(kAutoFaults)];
            sim->armFault(Plan(f, 1));
            ++faultsArmed[tsim::FaultName(f)];
            ++r.glitches;
        }
        if (whole.size() >= frames && !stopper.isActive()) {
            sim->setAutoSendIntervalMs(600000);
            stopper.start(300);
        }
    });
    recFileName = path;
    WriteFileHeader();
    SetCtrlVal(recpanel, RECP_EditSelectDataRec, int(kRecTriggered));
    CBF_EditSelectDataRec(recpanel, RECP_EditSelectDataRec, EVENT_COMMIT, nullptr, 0, 0);
    sim->setAutoSendIntervalMs(5);
    popupscript::Expect("ATTENTION!", 1);
    popupscript::Expect("ATTENTION!");
    popupscript::Expect("INFO!");
    const double t0 = Timer();
    CBF_ButtonStartTrigRec(recpanel, RECP_ButtonStartTrigRec, EVENT_COMMIT, nullptr, 0, 0);
    r.seconds = Timer() - t0;
    QObject::disconnect(sent);
    popupscript::Clear();
    sim->clearFaults();
    sim->setAutoSendIntervalMs(100);

    const QList<QByteArray> keys = FileKeys(path);
    const QSet<QByteArray> recorded(keys.begin(), keys.end());
    r.sent = int(whole.size());
    r.recorded = int(keys.size());
    for (const QByteArray &k : keys)
        if (!wholeKeys.contains(k)) ++r.foreign;
    for (const QByteArray &f : whole)
        if (!recorded.contains(LineKey(f))) ++r.missing;
    r.skipped = recTally.skipped;
    return r;
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
    int trigFrames = 2000;
    unsigned seed = 1;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--frames") frames = QByteArray(argv[i + 1]).toULongLong();
        if (QByteArray(argv[i]) == "--fault-every") faultEvery = QByteArray(argv[i + 1]).toInt();
        if (QByteArray(argv[i]) == "--record") recordTarget = QByteArray(argv[i + 1]).toInt();
        if (QByteArray(argv[i]) == "--trig") trigFrames = QByteArray(argv[i + 1]).toInt();
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
    QObject::connect(sim, &tsim::Simulator::faultHit, [](tsim::FaultPlan f, int) {
        const bool glue = f.kind == tsim::Fault::SplitAnswer ||
                          (f.kind == tsim::Fault::StrayHead && f.delayMs >= 0);
        if (glue) gluedNext = f.amount > 0 ? f.amount : 7;
    });
    // Registered first: the triggered soak's own counting sees the same pieces.
    QObject::connect(sim, &tsim::Simulator::answerSent, [](QByteArray b) {
        lastWhole = SentWhole(&b) ? b : QByteArray();
        if (lastWhole.isEmpty()) return;
        recentAnswers.push_back(b);
        if (recentAnswers.size() > 64) recentAnswers.pop_front();
        if (collectKeys && b.size() == 36) sentKeys.insert(LineKey(b));
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

    const double rssStart = bench::ResidentMiB();
    double rssWarm = 0;
    const double t0 = Timer();
    stopAt = pollFrames + frames;
    const uint64_t first = pollFrames;
    pollFrameHook = OnFrame;
    int timeouts = 0, reconnects = 0, failedReconnects = 0;
    while (pollFrames < stopAt) {
        CBF_ButtonGo(mainpanel, MAINP_ButtonGo, EVENT_COMMIT, nullptr, 0, 0);
        if (pollFrames - first >= 1000 && rssWarm == 0) rssWarm = bench::ResidentMiB();
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
    collectKeys = true;
    const double r0 = Timer();
    while (recorded < recordTarget) {
        popupscript::Expect("ATTENTION!", 1);
        popupscript::Expect("ATTENTION!");
        if (rng() % 3 == 0) {
            const tsim::Fault f = kFaults[rng() % std::size(kFaults)];
            sim->armFault(Plan(f, int(1 + rng() % 10)));
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
    collectKeys = false;
    const int lines = LinesIn(recFileName) - 1;
    // Every recorded line must hold a frame the simulator sent whole.
    int foreignLines = 0;
    for (const QByteArray &k : FileKeys(recFileName))
        if (!sentKeys.contains(k)) ++foreignLines;

    // Triggered recording, over TCP and then over a pseudo-terminal.
    TriggeredResult trig[2];
    const char *trigLink[2] = {"TCP", "pty"};
    if (trigFrames > 0) {
        for (int i = 0; i < 2; ++i) {
            sim->clearFaults();
            if (i == 1) {
                if (!sim->openPty()) break;
                qputenv("TOLVANE_COM1", sim->ptyPath().toLocal8Bit());
                SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, 0);
                SelectComPort(1);
                SetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, sim->baudIndex());
            }
            CBF_ButtonTryToConnect(interfacepanel, INTERFACEP_ButtonTryToConnect, EVENT_COMMIT,
                                   nullptr, 0, 0);
            popupscript::Clear();
            if (comecho != 1) break;
            trig[i] =
                SoakTriggered(QDir(dir.path()).filePath(QString("trig%1.dat").arg(i)), trigFrames);
        }
    }
    const double rssEnd = bench::ResidentMiB();
    if (rssWarm == 0) rssWarm = rssStart;

    std::printf("soak: %llu frames in %.0f s (%.1f frames/s), %d time-outs, %d reconnects "
                "(%d failed)\n",
                static_cast<unsigned long long>(pollFrames - first), wall,
                double(pollFrames - first) / wall, timeouts, reconnects, failedReconnects);
    std::printf("recording: %d runs, %d lines counted in %.0f s, %d in the file (%s)\n", recordRuns,
                recorded, recordWall, lines, lines == recorded ? "none lost" : "LINES LOST");
    std::printf("record lines with values the simulator did not send: %d\n", foreignLines);
    bool trigOk = true;
    for (int i = 0; i < 2 && trigFrames > 0; ++i) {
        const TriggeredResult &t = trig[i];
        std::printf("triggered, %s: %d frames sent whole in %.0f s, %d recorded, %d not recorded, "
                    "%d glitches armed, %u frames skipped, %d lines the simulator did not send\n",
                    trigLink[i], t.sent, t.seconds, t.recorded, t.missing, t.glitches, t.skipped,
                    t.foreign);
        // The stop may cut off the last frame; every glitch is skipped and counted.
        trigOk = trigOk && t.foreign == 0 && t.missing <= 1 && t.sent > 0 &&
                 int(t.skipped) >= t.glitches - 1 && int(t.skipped) <= t.glitches;
    }
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
    return foreignFrames == 0 && foreignLines == 0 && lines == recorded && trigOk ? 0 : 1;
}
