// Tolerance sorting: on a change of calculation mode every row's values and
// tolerances move to the columns that carry their meaning in the new layout.
#include "teach/TeachTable.h"

#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "uir_ids.h"

#include <algorithm>
#include <iterator>

namespace {
constexpr uint16_t kSpare = 1;

// One row's contents by meaning. A layout without an intensity tolerance
// lends its gloss tolerance and the other way round; the combined tolerance
// of layout 6/7 stands in for both.
struct Meaning {
    uint16_t intensity, gn, vectorTol, intTol, gnTol;
};

Meaning Read(const uint16_t row[7], int layout) {
    const uint16_t *c = row + 2;
    switch (layout) {
    case 0: // CTO INT ITO GN GTO
        return {c[1], c[3], c[0], c[2], c[4]};
    case 1: // INT TOL GN GTO —
        return {c[0], c[2], c[1], c[3], c[3]};
    case 2: // GN TOL INT ITO —
        return {c[2], c[0], c[1], c[3], c[3]};
    default: // INT GN TOL — —
        return {c[0], c[1], c[2], c[2], c[2]};
    }
}

void Write(const Meaning &m, int layout, uint16_t row[7]) {
    const uint16_t columns[4][5] = {
        {m.vectorTol, m.intensity, m.intTol, m.gn, m.gnTol},
        {m.intensity, m.vectorTol, m.gn, m.gnTol, kSpare},
        {m.gn, m.vectorTol, m.intensity, m.intTol, kSpare},
        {m.intensity, m.gn, m.vectorTol, kSpare, kSpare},
    };
    std::copy(std::begin(columns[layout]), std::end(columns[layout]), row + 2);
}

void SortRowCells(uint16_t row[7], int oldLayout, int newLayout) {
    if (oldLayout < 0 || oldLayout > 3 || newLayout < 0 || newLayout > 3) return;
    if (oldLayout == newLayout) return;
    Write(Read(row, oldLayout), newLayout, row);
}
} // namespace

int LayoutOf(int calcmode) {
    return calcmode >= 0 && calcmode <= 7 ? calcmode / 2 : -1;
}

void SortTableTolerance() {
    const int oldLayout = LayoutOf(calcmode);
    GetPanelValues();
    const int newLayout = LayoutOf(calcmode);
    // The X/Y and s/i modes of one pair share their layout: the cells stay
    // and are read in the other way.
    if (oldLayout < 0 || newLayout < 0 || oldLayout == newLayout) return;
    for (int r = 0; r < anzVec; ++r) {
        SortRowCells(ctt[r], oldLayout, newLayout);
        for (int c = 0; c < 7; ++c)
            SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c + 1, r + 1), int(ctt[r][c]));
    }
}
