#include "live/GraphMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace graphmath {

CalcColumns ColumnsOf(int calcmode) {
    switch (calcmode) {
    case 2:
    case 3:
        return {.intVal = 2, .intTol = 3, .gnVal = 4, .gnTol = 5, .xyTol = 3};
    case 4:
    case 5:
        return {.intVal = 4, .intTol = 5, .gnVal = 2, .gnTol = 3, .xyTol = 3};
    case 6:
    case 7:
        return {.intVal = 2, .intTol = 4, .gnVal = 3, .gnTol = 4, .xyTol = 4};
    default:
        return {.intVal = 3, .intTol = 4, .gnVal = 5, .gnTol = 6, .xyTol = 2};
    }
}

Limits ToleranceLimits(int value, int tolerance) {
    // Worked in int: value + tolerance can exceed what 16 bits hold.
    const int upper = std::clamp(value + tolerance, 0, kFullScale);
    const int lower = std::clamp(value - tolerance, 0, kFullScale);
    return {int16_t(upper), int16_t(lower)};
}

void Bounds::Include(int centre, int radius) {
    min = std::min(min, centre - radius);
    max = std::max(max, centre + radius);
}

Bounds Bounds::Ordered() const {
    if (max < min) return {max, min};
    return *this;
}

Extent ExtendTo(const Bounds &bounds, int measured) {
    Extent e{};
    if (measured > bounds.max) {
        e.span = measured - bounds.min;
        e.centre = bounds.min + e.span / 2;
    } else if (measured < bounds.min) {
        e.span = bounds.max - measured;
        e.centre = measured + e.span / 2;
    } else {
        e.span = bounds.max - bounds.min;
        e.centre = bounds.min + e.span / 2;
    }
    return e;
}

static Range AxisAround(int centre, int span) {
    return {centre - span / 2 - kAxisMargin, centre + span / 2 + kAxisMargin};
}

AxisPair SquareAxes(const Extent &horizontal, const Extent &vertical) {
    const int span = std::max(horizontal.span, vertical.span);
    return {AxisAround(horizontal.centre, span), AxisAround(vertical.centre, span)};
}

static bool CountsForRanges(const CttRow &row) {
    return row[0] > kUntaught || row[1] > kUntaught;
}

AxisPair CombinedViewAxes(const CttRow *rows, int count, int calcmode, int x, int y) {
    const int tol = ColumnsOf(calcmode).xyTol;
    Bounds bx, by;
    for (int i = 0; i < count; ++i) {
        const CttRow &row = rows[i];
        if (!CountsForRanges(row)) continue;
        bx.Include(row[0], row[tol]);
        by.Include(row[1], row[tol]);
    }
    return SquareAxes(ExtendTo(bx.Ordered(), x), ExtendTo(by.Ordered(), y));
}

ViewExtents ThreeSidesExtents(const CttRow *rows, int count, int calcmode, int x, int y,
                              int intensity, int gloss) {
    const CalcColumns c = ColumnsOf(calcmode);
    Bounds bx, by, bi, bg;
    for (int i = 0; i < count; ++i) {
        const CttRow &row = rows[i];
        if (!CountsForRanges(row)) continue;
        bx.Include(row[0], row[c.xyTol]);
        by.Include(row[1], row[c.xyTol]);
        bi.Include(row[c.intVal], row[c.intTol]);
        bg.Include(row[c.gnVal], row[c.gnTol]);
    }
    return {ExtendTo(bx.Ordered(), x), ExtendTo(by.Ordered(), y), ExtendTo(bi.Ordered(), intensity),
            ExtendTo(bg.Ordered(), gloss)};
}

Range TrendRange(const double *buffer, int count) {
    int lo = kFullScale + 1;
    int hi = 0;
    for (int i = 0; i < count; ++i) {
        if (std::isnan(buffer[i])) continue; // not measured yet
        lo = std::min(lo, int(buffer[i]));
        hi = std::max(hi, int(buffer[i]));
    }
    if (hi < lo) lo = hi = 0;
    return {std::max(lo - kTrendMargin, 0), hi + kTrendMargin};
}

} // namespace graphmath

int Copy1D(const double *in, int n, double *out) {
    if (n < 1) return -20003;
    if (in != out) std::memmove(out, in, sizeof(double) * size_t(n));
    return 0;
}

int Shift(const double *in, int n, int k, double *out) {
    if (n < 1) return -20003;
    if (k <= -n || k >= n) return -20102;
    if (k == 0) return Copy1D(in, n, out);
    const int m = k < 0 ? -k : k;
    const size_t kept = sizeof(double) * size_t(n - m);
    if (k < 0) {
        std::memmove(out, in + m, kept);
        std::fill(out + (n - m), out + n, 0.0);
    } else {
        std::memmove(out + m, in, kept);
        std::fill(out, out + m, 0.0);
    }
    return 0;
}
