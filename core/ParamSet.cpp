// The parameter set in its two forms: the sixteen variables with the teach
// table, and the word array that travels to the sensor and to files.
#include "core/Protocol.h"
#include "core/SensorData.h"
#include "core/Session.h"

uint16_t pp[264];
uint16_t power, pmode, average, evalmode, hold, intlim, maxcolno, outmode, trigger, exteach,
    calcmode, dynwinlo, dynwinhi, colorgroup, frei15, frei16;

namespace {
uint16_t *const kParams[16] = {&power,    &pmode,      &average, &evalmode, &hold,     &intlim,
                               &maxcolno, &outmode,    &trigger, &exteach,  &calcmode, &dynwinlo,
                               &dynwinhi, &colorgroup, &frei15,  &frei16};

void ClampMaxcolNo() {
    if (maxcolno > anzVec) maxcolno = anzVec;
}

// Takes the whole send layout from pp: 16 parameters, then 31 row records.
void TakeSendLayout() {
    for (int i = 0; i < 16; ++i)
        *kParams[i] = pp[i];
    for (int r = 0; r < 31; ++r) {
        for (int c = 0; c < 7; ++c)
            ctt[r][c] = pp[16 + 8 * r + c];
        groupbuf[r] = pp[23 + 8 * r];
    }
}
} // namespace

void CopyVarsToPP() {
    for (int i = 0; i < 16; ++i)
        pp[i] = *kParams[i];
    for (int r = 0; r < 31; ++r) {
        for (int c = 0; c < 7; ++c)
            pp[16 + 8 * r + c] = ctt[r][c];
        pp[23 + 8 * r] = groupbuf[r];
    }
}

void CopyPPtoVars() {
    if (pp[0] != proto::kAnswerSync) return;
    if (pp[1] == proto::ReadParams) {
        for (int i = 0; i < 16; ++i)
            *kParams[i] = pp[2 + i];
        ClampMaxcolNo();
    } else if (pp[1] == proto::ReadRow) {
        // The program asks for rows 0..30 only; an answer naming another row
        // has nowhere to go and is dropped.
        const int r = pp[2];
        if (r >= 31) return;
        for (int c = 0; c < 7; ++c)
            ctt[r][c] = pp[3 + c];
        groupbuf[r] = pp[10];
    }
}

void CopyFileParatoVars() {
    TakeSendLayout();
    ClampMaxcolNo();
}
