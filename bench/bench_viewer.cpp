// The record viewer on a day at the full link rate: 8.6 million lines
// (about 0.9 GB), generated into a temporary folder of its own, or a record
// file given with --file, which is only read. Measures the time to the first
// picture and to the whole file read, the resident memory, the redraw after a
// zoom at several widths of the view, and the command line's statistics of
// the whole file.
//
//   bench_viewer [--lines N] [--keep] [--warm]
//   bench_viewer --file PATH [--warm]
//
// --keep leaves the generated file in its folder (named at the end) for a
// later run with --file; --warm leaves the file's pages in the page cache
// instead of dropping them before the reading.
#include "bench/SimProcess.h"
#include "platform/Platform.h"
#include "record/RecordStats.h"
#include "viewer/Viewer.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <unistd.h>

namespace {

// A day of frames at a hundred lines a second: slow drifts, noise, a vector
// number that changes every few hundred lines, an error state now and then.
bool Generate(const QString &path, long long lines) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write("DATE\tTIME\tRED\tGREEN\tBLUE\tREF\tDIR\tDIF\tX s\tY i\tINT M\tGN\tVECTOR\tTEMP\t\r\n");
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-12, 12);
    QByteArray buf;
    buf.reserve(1 << 22);
    int vector = 3;
    char line[160];
    for (long long i = 0; i < lines; ++i) {
        const long long s = 6 * 3600 + i / 100; // from 06:00:00
        const long long day = 8 + s / 86400;
        const int sec = int(s % 86400);
        if (i % 700 == 0) vector = (rng() % 10 == 0) ? 255 : int(rng() % 31);
        const int drift = int(200 * std::sin(double(i) / 400000));
        const int red = 1800 + drift + noise(rng), green = 1600 + noise(rng),
                  blue = 1400 + noise(rng);
        const int n = std::snprintf(
            line, sizeof line,
            "12-%02lld-2026\t%02d:%02d:%02d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\r\n",
            day, sec / 3600, sec / 60 % 60, sec % 60, red, green, blue, 2500 + noise(rng),
            300 + noise(rng), 420 + noise(rng), 1500 + drift / 4, 1400 - drift / 8,
            1700 + noise(rng), 780 + noise(rng), vector, 31 + int(i / 1000000));
        buf.append(line, n);
        if (buf.size() > (1 << 22) - 200) {
            if (f.write(buf) != buf.size()) return false;
            buf.clear();
        }
    }
    return f.write(buf) == buf.size();
}

} // namespace

int main(int argc, char **argv) {
    long long lines = 8640000;
    QString given;
    bool keep = false, warm = false, linesGiven = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--lines") && i + 1 < argc) {
            lines = std::atoll(argv[++i]);
            linesGiven = true;
        } else if (!std::strcmp(argv[i], "--file") && i + 1 < argc) {
            given = QString::fromLocal8Bit(argv[++i]);
        } else if (!std::strcmp(argv[i], "--keep")) {
            keep = true;
        } else if (!std::strcmp(argv[i], "--warm")) {
            warm = true;
        } else {
            std::fprintf(stderr, "usage: bench_viewer [--lines N] [--keep] [--warm]\n"
                                 "       bench_viewer --file PATH [--warm]\n");
            return 2;
        }
    }
    // A given file is the user's: it is read, never made, changed or removed.
    if (!given.isEmpty() && (linesGiven || keep)) {
        std::fprintf(stderr, "bench_viewer: --file is only read; --lines and --keep are for a "
                             "generated file\n");
        return 2;
    }
    if (!given.isEmpty() && !QFileInfo(given).isFile()) {
        std::fprintf(stderr, "bench_viewer: %s is not a file\n", qPrintable(given));
        return 2;
    }
    if (lines <= 0) {
        std::fprintf(stderr, "bench_viewer: --lines needs a number above 0\n");
        return 2;
    }
    if (InitRunTimeEngine(argc, argv) < 0) return 1;

    QTemporaryDir folder(QDir::tempPath() + "/tolvane-bench-viewer-XXXXXX");
    QString path = given;
    if (path.isEmpty()) {
        if (!folder.isValid()) {
            std::fprintf(stderr, "bench_viewer: cannot make a temporary folder\n");
            return 1;
        }
        folder.setAutoRemove(!keep);
        path = folder.filePath("record.dat");
        const double t = Timer();
        std::printf("generating %lld lines into %s ...\n", lines, qPrintable(path));
        std::fflush(stdout);
        if (!Generate(path, lines)) return 1;
        std::printf("  %.1f s, %.0f MB\n", Timer() - t, QFileInfo(path).size() / 1e6);
    }
    std::printf("file: %s, %.0f MB\n", qPrintable(path), QFileInfo(path).size() / 1e6);
    std::printf("resident before: %.1f MiB\n", bench::StatusMiB("VmRSS:"));

    // The file's pages leave the page cache, so that the reading starts cold
    // as after a shift's recording on another day (--warm keeps them).
    if (!warm) {
        const int fd = ::open(qPrintable(path), O_RDONLY);
        if (fd >= 0) {
            // Written pages must be on disk before they can be dropped.
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
    std::printf("page cache: %s\n", warm ? "as it is" : "file dropped from it");
    const double start = Timer();
    QString problem;
    RecordViewer *v = RecordViewer::Open(path, &problem);
    if (!v) {
        std::printf("refused: %s\n", qPrintable(problem));
        return 1;
    }
    std::vector<double> x, y;
    double first = -1;
    while (v->Reading() && Timer() - start < 300) {
        WaitSystemEvents(0.02);
        if (first < 0 && GetChartTrace(v->Window(), 0, &x, &y) == 0 && !x.empty())
            first = Timer() - start;
    }
    const double whole = Timer() - start;
    ProcessSystemEvents();
    std::printf("first picture: %.2f s (%zu points)\n", first, x.size());
    std::printf("whole file read: %.2f s, %zu lines, %lld unreadable\n", whole, v->Store().Count(),
                v->BadLineCount());
    std::printf("resident after reading: %.1f MiB (peak %.1f MiB; lines held %.1f MiB)\n",
                bench::StatusMiB("VmRSS:"), bench::StatusMiB("VmHWM:"),
                v->Store().Bytes() / 1048576.0);

    // Zoom redraws: the view's lines reduced to the plot's width, the traces
    // set and the plots drawn, at widths from the whole day to ten seconds.
    double lo = 0, hi = 0;
    GetChartRange(v->Window(), &lo, &hi);
    struct Width {
        const char *name;
        double seconds;
    };
    const Width widths[] = {{"whole day", hi - lo},
                            {"6 hours", 6 * 3600.0},
                            {"1 hour", 3600},
                            {"1 minute", 60},
                            {"10 seconds", 10}};
    std::printf(
        "zoom redraw (decimate + traces + drawing; decimation alone), best and worst of 5:\n");
    const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    for (const Width &w : widths) {
        double best = 1e9, worst = 0, dBest = 1e9, dWorst = 0;
        for (int k = 0; k < 5; ++k) {
            const double mid = lo + (hi - lo) * (0.2 + 0.15 * k);
            const double a = std::max(lo, mid - w.seconds / 2), b = std::min(hi, a + w.seconds);
            double t = Timer();
            const rec::Decimated d = rec::Decimate(v->Store(), v->Store().Count(), a, b, 800, all);
            dBest = std::min(dBest, (Timer() - t) * 1000);
            dWorst = std::max(dWorst, (Timer() - t) * 1000);
            t = Timer();
            v->ChartRange(v->Window(), a, b, 800);
            ReplotChart(v->Window());
            const double ms = (Timer() - t) * 1000;
            best = std::min(best, ms);
            worst = std::max(worst, ms);
            ProcessSystemEvents();
        }
        std::printf("  %-10s %6.1f .. %6.1f ms  (%5.1f .. %5.1f ms)\n", w.name, best, worst, dBest,
                    dWorst);
    }
    double t = Timer();
    const rec::RecordStats s = v->StatsBetween(lo, hi);
    std::printf("statistics of the whole view: %.1f ms (%llu lines)\n", (Timer() - t) * 1000,
                (unsigned long long)s.Lines());
    delete v;

    t = Timer();
    rec::FileStatsResult r;
    if (!rec::StatsOfFile(path, INT64_MIN, INT64_MAX, &r, &problem)) return 1;
    std::printf("command-line statistics of the file: %.2f s (%llu lines)\n", Timer() - t,
                (unsigned long long)r.stats.Lines());
    if (given.isEmpty() && keep)
        std::printf("kept: %s (bench_viewer --file %s reads it again)\n", qPrintable(path),
                    qPrintable(path));
    return 0;
}
