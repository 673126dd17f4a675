// The lines of an open record file in memory, column by column, with the
// minimum, maximum and sums of every 64 lines, so that a drawing or the
// statistics of a time range touch a few thousand entries, not millions of
// lines. One thread appends (the reader), the window's thread reads what is
// published: the blocks never move, and Count() is published after the lines.
#pragma once

#include "record/RecordLines.h"
#include "record/RecordStats.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace rec {

class RecordStore {
  public:
    static constexpr int kGroupShift = 6; // 64 lines
    static constexpr size_t kGroup = size_t(1) << kGroupShift;
    static constexpr int kBlockShift = 16; // 65536 lines
    static constexpr size_t kBlock = size_t(1) << kBlockShift;
    static constexpr size_t kMaxBlocks = 8192; // about 537 million lines

    RecordStore();
    ~RecordStore();
    RecordStore(const RecordStore &) = delete;
    RecordStore &operator=(const RecordStore &) = delete;

    // ---- the reader's side
    // False when the store is full.
    bool Append(const Line &line);
    // Makes the lines appended so far visible to the window's thread.
    void Publish();

    // ---- the window's side (lines below Count())
    size_t Count() const { return published_.load(std::memory_order_acquire); }
    int64_t Seconds(size_t i) const;
    uint16_t Value(size_t i, int channel) const;
    // A line whose time lies before the line above it (the clock was set
    // back) begins a new run; within a run the times never fall. Runs of the
    // first `count` lines, and the lines [RunBegin, RunEnd) of run r.
    size_t Runs(size_t count) const;
    size_t RunBegin(size_t r) const;
    size_t RunEnd(size_t r, size_t count) const;
    // Lines of one second are spread evenly over it for drawing.
    double X(size_t i, size_t count) const;
    // The first line of run r at or after x (the run's end when none).
    size_t IndexAt(double x, size_t r, size_t count) const;
    // The first line of [from, to) whose second is not before `seconds`.
    size_t FirstAtOrAfter(int64_t seconds, size_t from, size_t to) const;
    // The earliest and the latest x of the first `count` lines.
    void Span(size_t count, double *lower, double *upper) const;
    // Minimum and maximum of lines [a, b) for each of `count` channels.
    void MinMax(size_t a, size_t b, const int *channels, int count, uint16_t *min,
                uint16_t *max) const;
    // Adds lines [a, b) to the statistics.
    void Accumulate(size_t a, size_t b, RecordStats *stats) const;
    // Bytes held, for the benchmark's account.
    size_t Bytes() const;
    // Clock changes told apart; beyond them a run may hold a fall.
    static constexpr size_t kMaxRuns = 4096;

  private:
    struct Group {
        uint16_t min[kChannels];
        uint16_t max[kChannels];
        uint32_t sum[kChannels];
        uint64_t squares[kChannels];
    };
    struct Block {
        uint32_t sec[kBlock]; // seconds since 1970 (years to 2105)
        uint16_t v[kChannels][kBlock];
        Group group[kBlock / kGroup];
    };
    void CloseGroup(size_t first);
    const Block &B(size_t i) const { return *blocks_[i >> kBlockShift]; }

    size_t RunOf(size_t i, size_t count) const;

    std::vector<std::unique_ptr<Block>> blocks_; // kMaxBlocks slots, filled in turn
    size_t written_ = 0;
    std::atomic<size_t> published_{0};
    std::vector<size_t> runStart_; // kMaxRuns slots; run 0 begins at line 0
    size_t runsWritten_ = 1;
    std::atomic<size_t> runsPublished_{1};
};

// Per pixel column of [lower, upper) the minimum and the maximum of each
// channel asked for, at the column's middle, so that no single line
// disappears in the picture; where there are few lines, the lines themselves.
// Run by run: a point with x NaN parts two runs, so that no line is drawn
// across a time the clock went back over.
struct Decimated {
    std::vector<double> x;
    std::vector<std::vector<double>> y; // one per channel asked for
};
Decimated Decimate(const RecordStore &store, size_t count, double lower, double upper, int pixels,
                   const std::vector<int> &channels);

} // namespace rec
