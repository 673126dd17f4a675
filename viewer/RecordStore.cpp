// Column storage of record lines and the min/max view for drawing.
#include "viewer/RecordStore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace rec {

RecordStore::RecordStore() : blocks_(kMaxBlocks), runStart_(kMaxRuns, 0) {}
RecordStore::~RecordStore() = default;

bool RecordStore::Append(const Line &line) {
    const size_t i = written_;
    const size_t b = i >> kBlockShift;
    if (b >= kMaxBlocks) return false;
    if (line.seconds < 0 || line.seconds > std::numeric_limits<uint32_t>::max()) return false;
    // Blocks are not cleared: a page is only touched when a line lands on it.
    if (!blocks_[b]) blocks_[b].reset(new Block);
    Block &blk = *blocks_[b];
    const size_t k = i & (kBlock - 1);
    if (i > 0 && uint32_t(line.seconds) < Seconds(i - 1) && runsWritten_ < kMaxRuns)
        runStart_[runsWritten_++] = i;
    blk.sec[k] = uint32_t(line.seconds);
    for (int c = 0; c < kChannels; ++c)
        blk.v[c][k] = line.v[c];
    ++written_;
    if ((written_ & (kGroup - 1)) == 0) CloseGroup(written_ - kGroup);
    return true;
}

void RecordStore::CloseGroup(size_t first) {
    Block &blk = *blocks_[first >> kBlockShift];
    const size_t k0 = first & (kBlock - 1);
    Group &g = blk.group[k0 >> kGroupShift];
    for (int c = 0; c < kChannels; ++c) {
        const uint16_t *v = blk.v[c] + k0;
        uint16_t mn = 65535, mx = 0;
        uint32_t sum = 0;
        uint64_t sq = 0;
        for (size_t k = 0; k < kGroup; ++k) {
            mn = std::min(mn, v[k]);
            mx = std::max(mx, v[k]);
            sum += v[k];
            sq += uint64_t(v[k]) * v[k];
        }
        g.min[c] = mn;
        g.max[c] = mx;
        g.sum[c] = sum;
        g.squares[c] = sq;
    }
}

void RecordStore::Publish() {
    // The runs first: a window that sees the lines sees their runs.
    runsPublished_.store(runsWritten_, std::memory_order_release);
    published_.store(written_, std::memory_order_release);
}

size_t RecordStore::Runs(size_t count) const {
    const size_t runs = runsPublished_.load(std::memory_order_acquire);
    // Runs published after `count` was read begin at or beyond it.
    size_t n = 1;
    while (n < runs && runStart_[n] < count)
        ++n;
    return n;
}

size_t RecordStore::RunBegin(size_t r) const {
    return runStart_[r];
}

size_t RecordStore::RunEnd(size_t r, size_t count) const {
    return r + 1 < Runs(count) ? runStart_[r + 1] : count;
}

size_t RecordStore::RunOf(size_t i, size_t count) const {
    const size_t runs = Runs(count);
    return size_t(std::upper_bound(runStart_.begin(), runStart_.begin() + long(runs), i) -
                  runStart_.begin()) -
           1;
}

void RecordStore::Span(size_t count, double *lower, double *upper) const {
    *lower = *upper = 0;
    for (size_t r = 0, runs = Runs(count); r < runs; ++r) {
        const size_t a = RunBegin(r), b = RunEnd(r, count);
        if (a >= b) continue;
        const double lo = X(a, count), hi = X(b - 1, count);
        *lower = r == 0 ? lo : std::min(*lower, lo);
        *upper = r == 0 ? hi : std::max(*upper, hi);
    }
}

int64_t RecordStore::Seconds(size_t i) const {
    return B(i).sec[i & (kBlock - 1)];
}

uint16_t RecordStore::Value(size_t i, int channel) const {
    return B(i).v[channel][i & (kBlock - 1)];
}

size_t RecordStore::FirstAtOrAfter(int64_t seconds, size_t from, size_t to) const {
    const int64_t target = seconds;
    size_t lo = from, hi = to;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (int64_t(B(mid).sec[mid & (kBlock - 1)]) < target)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

double RecordStore::X(size_t i, size_t count) const {
    const int64_t s = Seconds(i);
    const size_t r = RunOf(i, count);
    const size_t first = FirstAtOrAfter(s, RunBegin(r), RunEnd(r, count));
    const size_t end = FirstAtOrAfter(s + 1, RunBegin(r), RunEnd(r, count));
    if (first > i || end <= i) return double(s); // a fall beyond the runs told apart
    return double(s) + double(i - first) / double(end - first);
}

size_t RecordStore::IndexAt(double x, size_t r, size_t count) const {
    const size_t from = RunBegin(r), to = RunEnd(r, count);
    if (from >= to) return to;
    const double floorX = std::floor(x);
    if (floorX < 0) return from;
    if (floorX > 4.3e9) return to;
    const int64_t s = int64_t(floorX);
    const size_t first = FirstAtOrAfter(s, from, to);
    const size_t end = FirstAtOrAfter(s + 1, from, to);
    if (first >= end) return first;
    // A line's own x, computed the other way round, may come out a hair
    // above it; the lines of a second lie a whole step apart.
    const double within = std::ceil((x - floorX) * double(end - first) - 1e-3);
    return std::min(end, first + size_t(std::max(0.0, within)));
}

void RecordStore::MinMax(size_t a, size_t b, const int *channels, int count, uint16_t *min,
                         uint16_t *max) const {
    std::fill(min, min + count, uint16_t(65535));
    std::fill(max, max + count, uint16_t(0));
    while (a < b) {
        const Block &blk = B(a);
        const size_t k = a & (kBlock - 1);
        if ((a & (kGroup - 1)) == 0 && a + kGroup <= b) {
            const Group &g = blk.group[k >> kGroupShift];
            for (int c = 0; c < count; ++c) {
                min[c] = std::min(min[c], g.min[channels[c]]);
                max[c] = std::max(max[c], g.max[channels[c]]);
            }
            a += kGroup;
        } else {
            for (int c = 0; c < count; ++c) {
                const uint16_t v = blk.v[channels[c]][k];
                min[c] = std::min(min[c], v);
                max[c] = std::max(max[c], v);
            }
            ++a;
        }
    }
}

void RecordStore::Accumulate(size_t a, size_t b, RecordStats *stats) const {
    for (size_t i = a; i < b; ++i)
        ++stats->vectors[Value(i, kVector)];
    while (a < b) {
        if ((a & (kGroup - 1)) == 0 && a + kGroup <= b) {
            const Group &g = B(a).group[(a & (kBlock - 1)) >> kGroupShift];
            for (int c = 0; c < kChannels; ++c) {
                ChannelStats &s = stats->channel[c];
                s.n += kGroup;
                s.sum += g.sum[c];
                s.squares += g.squares[c];
                s.min = std::min(s.min, g.min[c]);
                s.max = std::max(s.max, g.max[c]);
            }
            a += kGroup;
        } else {
            for (int c = 0; c < kChannels; ++c)
                stats->channel[c].Add(Value(a, c));
            ++a;
        }
    }
}

size_t RecordStore::Bytes() const {
    size_t blocks = 0;
    for (const auto &b : blocks_)
        blocks += b != nullptr;
    return blocks * sizeof(Block);
}

namespace {
// The points of lines [a, b) of one run, appended to `out`.
void DecimateRun(const RecordStore &store, size_t count, size_t run, double lower, double upper,
                 int pixels, const std::vector<int> &channels, Decimated *out) {
    const size_t a = store.IndexAt(lower, run, count);
    const size_t b = store.IndexAt(upper, run, count);
    const size_t runBegin = store.RunBegin(run), runEnd = store.RunEnd(run, count);
    if (b - a <= size_t(2 * pixels)) {
        // Few lines: the lines themselves, with one beyond each edge so that
        // the traces run to the plot's borders.
        const size_t from = a > runBegin ? a - 1 : runBegin;
        const size_t to = std::min(runEnd, b + 1);
        for (size_t i = from; i < to; ++i) {
            out->x.push_back(store.X(i, count));
            for (size_t c = 0; c < channels.size(); ++c)
                out->y[c].push_back(store.Value(i, channels[c]));
        }
        return;
    }
    const double width = (upper - lower) / pixels;
    std::vector<uint16_t> mn(channels.size()), mx(channels.size());
    size_t start = a;
    for (int col = 0; col < pixels; ++col) {
        const size_t end =
            col + 1 == pixels ? b : store.IndexAt(lower + width * (col + 1), run, count);
        if (end > start) {
            const double mid = lower + width * (col + 0.5);
            out->x.push_back(mid);
            out->x.push_back(mid);
            store.MinMax(start, end, channels.data(), int(channels.size()), mn.data(), mx.data());
            for (size_t c = 0; c < channels.size(); ++c) {
                out->y[c].push_back(mn[c]);
                out->y[c].push_back(mx[c]);
            }
        }
        start = std::max(start, end);
    }
}
} // namespace

Decimated Decimate(const RecordStore &store, size_t count, double lower, double upper, int pixels,
                   const std::vector<int> &channels) {
    Decimated out;
    out.y.resize(channels.size());
    if (count == 0 || pixels < 1 || !(upper > lower)) return out;
    const double gap = std::numeric_limits<double>::quiet_NaN();
    for (size_t r = 0, runs = store.Runs(count); r < runs; ++r) {
        const size_t before = out.x.size();
        if (before > 0) {
            out.x.push_back(gap);
            for (auto &y : out.y)
                y.push_back(gap);
        }
        DecimateRun(store, count, r, lower, upper, pixels, channels, &out);
        if (out.x.size() == before + (before > 0 ? 1 : 0) && before > 0) {
            out.x.pop_back(); // the run shows nothing here
            for (auto &y : out.y)
                y.pop_back();
        }
    }
    return out;
}

} // namespace rec
