// The calibration panel's view of the current frame: the raw channels the
// operator watches while choosing POWER on the white target, and their spread.
#include "core/SensorData.h"
#include "core/Session.h"
#include "live/Live.h"
#include "live/ShownCache.h"
#include "uir_ids.h"

#include <algorithm>

uint16_t deltaraw;

void SetPanelCalibData() {
    deltaraw = uint16_t(std::max({dataRawR, dataRawG, dataRawB}) -
                        std::min({dataRawR, dataRawG, dataRawB}));

    const int p = calibpanel;
    shown::SetVal(p, CALIBP_DispBarsRAW__R, dataRawR);
    shown::SetVal(p, CALIBP_DispBarsRAW__G, dataRawG);
    shown::SetVal(p, CALIBP_DispBarsRAW__B, dataRawB);
    shown::SetVal(p, CALIBP_DispBars__R, dataRawR);
    shown::SetVal(p, CALIBP_DispBars__G, dataRawG);
    shown::SetVal(p, CALIBP_DispBars__B, dataRawB);
    shown::SetVal(p, CALIBP_DispRawDelta, deltaraw);
}
