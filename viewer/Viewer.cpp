// The viewer window's logic: the reader thread, the progress, the decimated
// traces for the visible range, the statistics tables, RELOAD and exports.
#include "viewer/Viewer.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {
using rec::kChannels;

// Plots, top to bottom, and the channels each shows.
const QStringList kPlotLabels = {"RAW", "X/Y, INT, GN", "VECTOR", "TEMP"};
struct TraceDef {
    int channel;
    int plot;
    int color;
    bool steps;
};
const TraceDef kTraces[] = {
    {0, 0, 0xE02020, false}, {1, 0, 0x20A020, false}, {2, 0, 0x2040E0, false},
    {3, 0, 0x808080, false}, {4, 0, 0xC08000, false}, {5, 0, 0x9040C0, false},
    {6, 1, 0xE02020, false}, {7, 1, 0x20A020, false}, {8, 1, 0x303030, false},
    {9, 1, 0x2090C0, false}, {10, 2, 0x3f4d63, true}, {11, 3, 0xC04000, false},
};
constexpr int kTraceCount = int(sizeof kTraces / sizeof kTraces[0]);
constexpr int kBadListed = 1000;       // unreadable line numbers kept
constexpr int kBadShown = 20;          // of them named in the status
constexpr int kTickMs = 100;           // progress while reading
constexpr double kRedrawSeconds = 1.0; // a growing picture while reading
constexpr int kStatsDelayMs = 150;     // the visible statistics wait for the view to settle
constexpr qint64 kTailBytes = 256;     // the bytes before the reading's end that identify the file

// The bytes before `offset`: lines with their times, which a new recording
// does not repeat.
QByteArray TailBefore(QFile &f, qint64 offset) {
    const qint64 from = std::max<qint64>(0, offset - kTailBytes);
    if (!f.seek(from)) return {};
    return f.read(offset - from);
}

enum Table { kWholeTable, kVisibleTable, kVectorTable };
const QStringList kStatColumns = {"CHANNEL", "COUNT", "MEAN", "SD", "MIN", "MAX"};

QList<QStringList> ChannelRows(const rec::RecordStats &s, const QStringList &labels) {
    QList<QStringList> rows;
    for (int c : rec::StatsChannels()) {
        const rec::ChannelStats &ch = s.channel[c];
        rows << QStringList{labels.value(c + 2),
                            QString::number(ch.n),
                            rec::MeanText(ch),
                            rec::SdText(ch),
                            ch.n ? QString::number(ch.min) : QString(),
                            ch.n ? QString::number(ch.max) : QString()};
    }
    return rows;
}

// "4.17 M" from a million on, the exact number below.
QString LinesText(qint64 n) {
    if (n >= 1000000) return QString::number(double(n) / 1e6, 'f', 2) + QStringLiteral(" M");
    return QString::number(n);
}

QList<RecordViewer *> &Viewers() {
    static QList<RecordViewer *> viewers;
    return viewers;
}
} // namespace

bool OpenRecordViewer(const QString &path, bool quitOnClose) {
    QString problem;
    RecordViewer *v = RecordViewer::Open(path, &problem);
    if (!v) {
        MessagePopup(
            "ATTENTION!",
            QString("%1 \nis not a record file and is not opened. \n%2").arg(path, problem));
        return false;
    }
    v->quitOnClose = quitOnClose;
    return true;
}

RecordViewer *RecordViewer::Open(const QString &path, QString *problem) {
    rec::FileStart start;
    if (!rec::CheckRecordFile(path, &start, problem)) return nullptr;
    return new RecordViewer(path, start);
}

QList<RecordViewer *> RecordViewer::All() {
    return Viewers();
}

RecordViewer::RecordViewer(const QString &path, const rec::FileStart &start)
    : path_(path), start_(start), store_(new rec::RecordStore) {
    ChartLayout layout;
    layout.title = "RECORD " + QFileInfo(path).fileName();
    layout.plotLabels = kPlotLabels;
    // The axis of the second plot names the labels the file's header gives.
    layout.plotLabels[1] = QStringList{start.labels.mid(8, 4)}.join(", ");
    for (const TraceDef &t : kTraces)
        layout.traces << ChartTrace{t.plot, start.labels.value(t.channel + 2), t.color, t.steps};
    layout.tableTitles = {"WHOLE FILE", "VISIBLE RANGE", "VECTOR NUMBERS (255 = error state)"};
    layout.buttons = {"RELOAD", "EXPORT PNG …", "EXPORT PDF …", "EXPORT TSV …"};
    window_ = NewChartWindow(layout, this);
    offset_ = start.dataOffset;
    nextLine_ = start.dataLine - 1;
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) tail_ = TailBefore(f, offset_);
    timer_ = new QTimer;
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { Tick(); });
    statsTimer_ = new QTimer;
    statsTimer_->setSingleShot(true);
    QObject::connect(statsTimer_, &QTimer::timeout, statsTimer_, [this] { ShowVisibleStats(); });
    Viewers() << this;
    StartReading();
}

RecordViewer::~RecordViewer() {
    Cancel();
    if (worker_.joinable()) worker_.join();
    delete timer_;
    delete statsTimer_;
    if (window_ > 0) DiscardChartWindow(window_);
    Viewers().removeAll(this);
}

void RecordViewer::StartReading() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        cancelled_ = false;
        readProblem_.clear();
    }
    QFile probe(path_);
    fileSize_ = std::max<qint64>(probe.size(), 1);
    const bool sameStart = probe.size() >= offset_ && probe.open(QIODevice::ReadOnly) &&
                           TailBefore(probe, offset_) == tail_;
    probe.close();
    if (!sameStart) {
        // The file was begun anew (the recorder replaced it, shorter or
        // longer than what was read): read it again from its start.
        rec::FileStart start;
        QString problem;
        if (!rec::CheckRecordFile(path_, &start, &problem)) {
            readProblem_ = problem;
            ShowStatus();
            return;
        }
        start_ = start;
        store_.reset(new rec::RecordStore);
        offset_ = start.dataOffset;
        nextLine_ = start.dataLine - 1;
        badCount_ = 0;
        bad_.clear();
        clockBack_ = 0;
        tail_.clear();
        lastSeconds_ = INT64_MIN;
        full_ = false;
        shownLo_ = shownHi_ = 0;
    }
    cancel_ = false;
    done_ = false;
    bytesRead_ = offset_;
    startTime_ = Timer();
    SetChartButtonDimmed(window_, kReload, true);
    SetChartProgress(window_, int(100 * offset_ / fileSize_));
    worker_ = std::thread([this] {
        QFile f(path_);
        if (!f.open(QIODevice::ReadOnly)) {
            std::lock_guard<std::mutex> hold(lock_);
            readProblem_ = "The file cannot be read: " + f.errorString();
            done_.store(true, std::memory_order_release);
            return;
        }
        rec::RecordStore &store = *store_;
        rec::Line line;
        size_t sincePublish = 0;
        auto bad = [this](qint64 n) {
            std::lock_guard<std::mutex> hold(lock_);
            ++badCount_;
            if (bad_.size() < kBadListed) bad_ << n;
        };
        const rec::ScanResult r = rec::ScanLines(
            f, offset_, nextLine_,
            [&](qint64 n, const char *b, const char *e) {
                if (!b || !rec::ParseLine(b, e, &line)) return bad(n);
                if (full_) return;
                if (!store.Append(line)) {
                    std::lock_guard<std::mutex> hold(lock_);
                    full_ = true;
                    return;
                }
                if (line.seconds < lastSeconds_ && !clockBack_) {
                    std::lock_guard<std::mutex> hold(lock_);
                    clockBack_ = n;
                }
                lastSeconds_ = line.seconds;
                if (++sincePublish == 16384) {
                    sincePublish = 0;
                    store.Publish();
                    bytesRead_.store(f.pos(), std::memory_order_relaxed);
                }
            },
            &cancel_);
        store.Publish();
        QByteArray tail = TailBefore(f, r.offset);
        std::lock_guard<std::mutex> hold(lock_);
        tail_ = std::move(tail);
        offset_ = r.offset;
        nextLine_ = r.line;
        cancelled_ = r.cancelled;
        incomplete_ = !r.cancelled && !r.failed && r.offset < f.size();
        if (r.failed) readProblem_ = "The file could not be read to its end: " + f.errorString();
        done_.store(true, std::memory_order_release);
    });
    timer_->start(kTickMs);
    lastDraw_ = Timer();
}

void RecordViewer::Tick() {
    if (done_.load(std::memory_order_acquire)) return Finished();
    SetChartProgress(window_, int(100 * bytesRead_.load(std::memory_order_relaxed) / fileSize_));
    ShowStatus();
    // The picture grows while the file is read: first at once, then each second.
    if (Store().Count() > 0 && (shownHi_ == shownLo_ || Timer() - lastDraw_ >= kRedrawSeconds)) {
        lastDraw_ = Timer();
        ShowFullRange(false);
    }
}

void RecordViewer::Finished() {
    timer_->stop();
    worker_.join();
    readSeconds10_ = qint64(std::lround((Timer() - startTime_) * 10));
    SetChartProgress(window_, -1);
    SetChartButtonDimmed(window_, kReload, false);
    ShowFullRange(false);
    ShowWholeStats();
    ShowVisibleStats();
    ShowStatus();
}

void RecordViewer::WaitRead(double maxSeconds) {
    const double until = Timer() + maxSeconds;
    while (Reading() && Timer() < until)
        WaitSystemEvents(0.05);
}

void RecordViewer::Reload() {
    if (Reading()) return;
    StartReading();
}

void RecordViewer::Cancel() {
    cancel_ = true;
}

void RecordViewer::ShowFullRange(bool force) {
    const size_t n = Store().Count();
    if (n == 0) return;
    double lo = 0, hi = 0;
    Store().Span(n, &lo, &hi);
    hi += 1.0 / 64;
    if (hi <= lo) hi = lo + 1;
    // The view follows the growing file only while it shows all of it.
    double curLo = 0, curHi = 0;
    GetChartRange(window_, &curLo, &curHi);
    const bool showingAll = shownHi_ == shownLo_ || (std::abs(curLo - shownLo_) < 1e-6 &&
                                                     std::abs(curHi - shownHi_) < 1e-6);
    SetChartFullRange(window_, lo, hi, force || showingAll);
    if (force || showingAll) {
        shownLo_ = lo;
        shownHi_ = hi;
    }
}

rec::RecordStats RecordViewer::StatsBetween(double lower, double upper) const {
    rec::RecordStats s;
    const size_t n = Store().Count();
    for (size_t r = 0, runs = Store().Runs(n); r < runs; ++r)
        Store().Accumulate(Store().IndexAt(lower, r, n), Store().IndexAt(upper, r, n), &s);
    return s;
}

qint64 RecordViewer::LinesBetween(double lower, double upper) const {
    qint64 lines = 0;
    const size_t n = Store().Count();
    for (size_t r = 0, runs = Store().Runs(n); r < runs; ++r)
        lines += qint64(Store().IndexAt(upper, r, n) - Store().IndexAt(lower, r, n));
    return lines;
}

QString RecordViewer::WholeTitle() const {
    std::lock_guard<std::mutex> hold(lock_);
    if (!cancelled_ && !full_) return QStringLiteral("WHOLE FILE");
    return QStringLiteral("FIRST %1 LINES (%2)")
        .arg(LinesText(qint64(Store().Count())),
             cancelled_ ? QStringLiteral("reading cancelled") : QStringLiteral("store full"));
}

QString RecordViewer::ExportCaption() const {
    double lo = 0, hi = 0;
    GetChartRange(window_, &lo, &hi);
    const qint64 read = qint64(Store().Count());
    QString text = QStringLiteral("%1   %2 – %3   %4 of %5 lines")
                       .arg(QFileInfo(path_).fileName(), rec::FormatStamp(int64_t(std::floor(lo))),
                            rec::FormatStamp(int64_t(std::floor(hi))))
                       .arg(LinesBetween(lo, hi))
                       .arg(read);
    std::lock_guard<std::mutex> hold(lock_);
    if (cancelled_ || full_) text += QStringLiteral(" read (the first of the file)");
    if (badCount_) text += QStringLiteral(", %1 unreadable").arg(badCount_);
    return text;
}

rec::RecordStats RecordViewer::WholeStats() const {
    rec::RecordStats s;
    Store().Accumulate(0, Store().Count(), &s);
    return s;
}

void RecordViewer::ShowWholeStats() {
    // After CANCEL the table says what it describes: the lines read.
    SetChartTableTitle(window_, kWholeTable, WholeTitle());
    SetChartTable(window_, kWholeTable, kStatColumns, ChannelRows(WholeStats(), Labels()));
}

void RecordViewer::ShowVisibleStats() {
    double lo = 0, hi = 0;
    GetChartRange(window_, &lo, &hi);
    const rec::RecordStats visible = StatsBetween(lo, hi);
    SetChartTable(window_, kVisibleTable, kStatColumns, ChannelRows(visible, Labels()));
    const rec::RecordStats whole = Reading() ? rec::RecordStats() : WholeStats();
    QList<QStringList> rows;
    for (size_t v = 0; v < whole.vectors.size(); ++v) {
        if (!whole.vectors[v] && !visible.vectors[v]) continue;
        rows << QStringList{QString::number(v), QString::number(whole.vectors[v]),
                            rec::ShareText(whole.vectors[v], whole.Lines()),
                            QString::number(visible.vectors[v]),
                            rec::ShareText(visible.vectors[v], visible.Lines())};
    }
    SetChartTable(window_, kVectorTable, {"VECTOR", "COUNT", "SHARE %", "VISIBLE", "SHARE %"},
                  rows);
}

qint64 RecordViewer::BadLineCount() const {
    std::lock_guard<std::mutex> hold(lock_);
    return badCount_;
}

QList<qint64> RecordViewer::BadLines() const {
    std::lock_guard<std::mutex> hold(lock_);
    return bad_;
}

QString RecordViewer::Status() const {
    QString text;
    GetChartStatus(window_, &text);
    return text;
}

void RecordViewer::ShowStatus() {
    const size_t n = Store().Count();
    QStringList parts;
    std::lock_guard<std::mutex> hold(lock_);
    if (Reading() && !done_.load(std::memory_order_acquire))
        parts << QString("reading %1: %2 lines").arg(path_).arg(n);
    else
        parts << QString("%1: %2 lines read in %3 s")
                     .arg(path_)
                     .arg(n)
                     .arg(double(readSeconds10_) / 10, 0, 'f', 1);
    if (start_.headerless) parts << "no header line (recorded before a file was chosen)";
    if (badCount_) {
        QStringList numbers;
        for (int i = 0; i < bad_.size() && i < kBadShown; ++i)
            numbers << QString::number(bad_[i]);
        if (badCount_ > numbers.size()) numbers << "…";
        parts << QString("%1 line%2 could not be read: %3")
                     .arg(badCount_)
                     .arg(badCount_ == 1 ? "" : "s")
                     .arg(numbers.join(", "));
    }
    if (clockBack_) parts << QString("the time goes back at line %1").arg(clockBack_);
    if (cancelled_) parts << "reading cancelled: RELOAD reads on";
    if (incomplete_) parts << "the last line is still being written";
    if (full_) parts << "too many lines: the rest is not shown";
    if (!readProblem_.isEmpty()) parts << readProblem_;
    SetChartStatus(window_, parts.join(" — "));
}

void RecordViewer::ChartRange(int, double lower, double upper, int pixels) {
    std::vector<int> channels;
    for (const TraceDef &t : kTraces)
        channels.push_back(t.channel);
    const rec::Decimated d =
        rec::Decimate(Store(), Store().Count(), lower, upper, pixels, channels);
    for (int t = 0; t < kTraceCount; ++t)
        SetChartTrace(window_, t, d.x, d.y[size_t(t)]);
    statsTimer_->start(kStatsDelayMs);
}

QString RecordViewer::ChartReadout(int, double x) {
    const size_t n = Store().Count();
    if (n == 0) return {};
    // The line nearest x, in whichever run of the clock it lies.
    size_t i = 0;
    double best = -1;
    for (size_t r = 0, runs = Store().Runs(n); r < runs; ++r) {
        const size_t at = Store().IndexAt(x, r, n);
        for (size_t k : {at, at - 1}) {
            if (k < Store().RunBegin(r) || k >= Store().RunEnd(r, n)) continue;
            const double d = std::abs(Store().X(k, n) - x);
            if (best < 0 || d < best) {
                best = d;
                i = k;
            }
        }
    }
    QString text = rec::FormatStamp(Store().Seconds(i));
    for (int c = 0; c < kChannels; ++c)
        text += QString("   %1 %2").arg(Labels().value(c + 2)).arg(Store().Value(i, c));
    return text;
}

void RecordViewer::ChartButton(int, int button) {
    if (button == kReload)
        Reload();
    else
        Export(button);
}

void RecordViewer::ChartCancel(int) {
    Cancel();
}

void RecordViewer::ChartClosed(int) {
    window_ = 0;
    const bool quit = quitOnClose;
    delete this;
    if (quit) QuitUserInterface(0);
}

bool RecordViewer::ExportTsv(const QString &path) const {
    double lo = 0, hi = 0;
    GetChartRange(window_, &lo, &hi);
    // The first line says which lines the statistics are of.
    const rec::RecordStats stats = StatsBetween(lo, hi);
    QString range = QStringLiteral("RANGE\t%1\t%2\tLINES\t%3\tFILE\t%4")
                        .arg(rec::FormatStamp(int64_t(std::floor(lo))),
                             rec::FormatStamp(int64_t(std::floor(hi))))
                        .arg(stats.Lines())
                        .arg(QFileInfo(path_).fileName());
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (cancelled_ || full_)
            range += QStringLiteral("\tFIRST %1 LINES READ").arg(qint64(Store().Count()));
    }
    return WriteFileAtomic(path, range.toUtf8() + '\n' + rec::StatsTsv(stats, Labels()));
}

bool RecordViewer::ExportImage(const QString &path) const {
    return SaveChartImage(window_, path, ExportCaption());
}

void RecordViewer::Export(int button) {
    struct Kind {
        const char *title;
        const char *name;
        const char *filter;
    };
    static const Kind kinds[] = {{"EXPORT PNG", "Record.png", "*.png"},
                                 {"EXPORT PDF", "Record.pdf", "*.pdf"},
                                 {"EXPORT TSV", "RecordStatistics.tsv", "*.tsv"}};
    if (button < kExportPng || button > kExportTsv) return;
    const Kind &k = kinds[button - kExportPng];
    QString path;
    const int chosen = FileSelectPopup(QFileInfo(path_).absolutePath(), k.name, k.filter, k.title,
                                       VAL_SAVE_BUTTON, 0, 0, 1, 1, &path);
    if (chosen == VAL_NO_FILE_SELECTED || path.isEmpty()) return;
    if (chosen == VAL_EXISTING_FILE_SELECTED &&
        !ConfirmPopup("ATTENTION!", "File already exist! \nDo you want to replace it?"))
        return;
    const bool ok = button == kExportTsv ? ExportTsv(path) : ExportImage(path);
    if (!ok) MessagePopup("ATTENTION!", "The file can not be written! \n" + path);
}
