// Mean-value capture: the captured frames live in the teach panel's table,
// the counter decides which rows count, and every change recomputes the mean
// row and the three maximum deviations.
#include "teach/MeanValueTeach.h"

#include "core/SensorData.h"
#include "core/Session.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

uint16_t meanr, meang, meanb, meanx, meany, meanint, meangn;

namespace {
constexpr int kCapturedRows = 100;
constexpr int kColumns = 7;
constexpr uint16_t kMaxValue = 65535;

int Counter() {
    int n = 0;
    GetCtrlVal(teachpanel, TEACHP_DispTpCounter, &n);
    return std::clamp(n, 0, kCapturedRows);
}

void ClearMeanRowAndDeviations() {
    for (int c = 1; c <= kColumns; ++c)
        SetTableCellVal(teachpanel, TEACHP_GridTpMean, MakePoint(c, 1), 0);
    for (int display : {TEACHP_DispTpMaxDeltaXY, TEACHP_DispTpMaxDeltaInt, TEACHP_DispTpMaxDeltaGn})
        SetCtrlVal(teachpanel, display, 0);
}

uint16_t Saturated(long long v) {
    return uint16_t(std::min<long long>(v, kMaxValue));
}
} // namespace

uint16_t VectorDistance(int calcmode, int dX, int dY, int dI, int dG) {
    // 64-bit: hand-edited cells reach 65535, whose square overflows 32 bits.
    long long sum = 1LL * dX * dX + 1LL * dY * dY;
    if (calcmode == 2 || calcmode == 3 || calcmode == 6 || calcmode == 7) sum += 1LL * dI * dI;
    if (calcmode >= 4 && calcmode <= 7) sum += 1LL * dG * dG;
    return Saturated((long long)std::sqrt(double(sum)));
}

void CaptureFrame() {
    const int n = std::min(Counter(), kCapturedRows - 1) + 1;
    SetCtrlVal(teachpanel, TEACHP_DispTpCounter, n);
    SetActiveTableCell(teachpanel, TEACHP_GridTpValues, MakePoint(1, n));
    const uint16_t frame[kColumns] = {dataR, dataG, dataB, dataX, dataY, dataInt, dataGn};
    for (int c = 0; c < kColumns; ++c)
        SetTableCellVal(teachpanel, TEACHP_GridTpValues, MakePoint(c + 1, n), int(frame[c]));
    CalcMeanValues();
}

void UndoCapture() {
    int n = Counter();
    if (n > 0) --n;
    SetCtrlVal(teachpanel, TEACHP_DispTpCounter, n);
    SetActiveTableCell(teachpanel, TEACHP_GridTpValues, MakePoint(1, std::max(n - 5, 1)));
    for (int c = 1; c <= kColumns; ++c)
        SetTableCellVal(teachpanel, TEACHP_GridTpValues, MakePoint(c, n + 1), 0);
    CalcMeanValues();
}

void ResetTpTable() {
    SetCtrlVal(teachpanel, TEACHP_DispTpCounter, 0);
    for (int k = 1; k <= kCapturedRows; ++k)
        for (int c = 1; c <= kColumns; ++c)
            SetTableCellVal(teachpanel, TEACHP_GridTpValues, MakePoint(c, k), 0);
    SetActiveTableCell(teachpanel, TEACHP_GridTpValues, MakePoint(1, 1));
    ClearMeanRowAndDeviations();
}

void CalcMeanValues() {
    const int n = Counter();
    if (n == 0) {
        ClearMeanRowAndDeviations();
        return;
    }
    uint32_t sum[kColumns] = {};
    for (int k = 1; k <= n; ++k) {
        for (int c = 0; c < kColumns; ++c) {
            uint16_t v = 0;
            GetTableCellVal(teachpanel, TEACHP_GridTpValues, MakePoint(c + 1, k), &v);
            sum[c] += v;
        }
    }
    uint16_t *means[kColumns] = {&meanr, &meang, &meanb, &meanx, &meany, &meanint, &meangn};
    for (int c = 0; c < kColumns; ++c) {
        *means[c] = uint16_t(sum[c] / uint32_t(n));
        SetTableCellVal(teachpanel, TEACHP_GridTpMean, MakePoint(c + 1, 1), int(*means[c]));
    }
    CalcMaxDelta();
}

void CalcMaxDelta() {
    GetCtrlVal(parapanel, PARAP_Calcmode, &calcmode);
    uint16_t maxVec = 0, maxInt = 0, maxGn = 0;
    const int n = Counter();
    for (int k = 1; k <= n; ++k) {
        uint16_t v[4] = {};
        for (int c = 0; c < 4; ++c)
            GetTableCellVal(teachpanel, TEACHP_GridTpValues, MakePoint(c + 4, k), &v[c]);
        const int dX = v[0] - meanx, dY = v[1] - meany, dI = v[2] - meanint, dG = v[3] - meangn;
        maxVec = std::max(maxVec, VectorDistance(calcmode, dX, dY, dI, dG));
        maxInt = std::max(maxInt, uint16_t(std::abs(dI)));
        maxGn = std::max(maxGn, uint16_t(std::abs(dG)));
    }
    SetCtrlVal(teachpanel, TEACHP_DispTpMaxDeltaXY, int(maxVec));
    SetCtrlVal(teachpanel, TEACHP_DispTpMaxDeltaInt, int(maxInt));
    SetCtrlVal(teachpanel, TEACHP_DispTpMaxDeltaGn, int(maxGn));
}
