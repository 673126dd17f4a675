// The arithmetic behind the live graphs: which teach-table cells a
// calculation mode uses, the tolerance limits of a row, the axis ranges of
// the zoomed X/Y graph and of the three-sides view, the trend ranges, and
// the array routines of the history buffers. No panel is touched here.
#pragma once

#include <cstdint>

namespace graphmath {

// The largest value of the 12-bit channels (R, G, B, INT, GN).
constexpr int kFullScale = 4095;
// Margin added on each side of the zoomed and projection axes.
constexpr int kAxisMargin = 25;
// Bounds of an axis before any taught vector widens it.
constexpr int kNoRowsMin = 10000;
constexpr int kNoRowsMax = 0;
// Rows whose X and Y are both at most this are untaught and give no range.
constexpr int kUntaught = 10;
// Margin of the trend charts' vertical axes.
constexpr int kTrendMargin = 15;

// 0-based cells of a teach-table row for one calculation mode. Cells 0 and
// 1 are always X and Y (s and i).
struct CalcColumns {
    int intVal;
    int intTol;
    int gnVal;
    int gnTol;
    int xyTol; // radius of the tolerance circle
};
CalcColumns ColumnsOf(int calcmode);

// Upper and lower limit of value ± tolerance, both held within 0..4095.
struct Limits {
    int16_t upper;
    int16_t lower;
};
Limits ToleranceLimits(int value, int tolerance);

struct Range {
    int min;
    int max;
    bool operator==(const Range &) const = default;
};

// Range of one coordinate over the taught vectors.
struct Bounds {
    int min = kNoRowsMin;
    int max = kNoRowsMax;
    void Include(int centre, int radius);
    // Without any row max is below min; the pair is then swapped (0..10000).
    Bounds Ordered() const;
};

// Span and centre of a coordinate once its bounds take in the measured value.
struct Extent {
    int span;
    int centre;
};
Extent ExtendTo(const Bounds &bounds, int measured);

// Axes of a projection with equal scales: both get the larger span.
struct AxisPair {
    Range x;
    Range y;
    bool operator==(const AxisPair &) const = default;
};
AxisPair SquareAxes(const Extent &horizontal, const Extent &vertical);

using CttRow = uint16_t[7];

// Axes of the zoomed X/Y graph of the combined view.
AxisPair CombinedViewAxes(const CttRow *rows, int count, int calcmode, int x, int y);

// Extents of the four coordinates of the three-sides view.
struct ViewExtents {
    Extent x;
    Extent y;
    Extent intensity;
    Extent gloss;
};
ViewExtents ThreeSidesExtents(const CttRow *rows, int count, int calcmode, int x, int y,
                              int intensity, int gloss);

// Vertical range of a trend chart over its whole buffer (values and limits).
Range TrendRange(const double *buffer, int count);

} // namespace graphmath

// Array routines on doubles; input and output may be the same array.
// Copy1D: -20003 when n < 1. Shift: -20003 when n < 1, -20102 when |k| >= n;
// k < 0 moves toward the start, k > 0 toward the end, vacated places get 0.
int Shift(const double *in, int n, int k, double *out);
int Copy1D(const double *in, int n, double *out);
