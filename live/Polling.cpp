// Data-frame polling: the GO loop and the data panel's displays (the frames
// themselves are taken in FrameTaking.cpp).
#include "live/Live.h"

#include "core/HelpTable.h"
#include "core/HelpTexts.h"
#include "core/LinkStatus.h"
#include "core/MasterCopy.h"
#include "core/Protocol.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/ShownCache.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

uint64_t pollFrames;
void (*pollFrameHook)();

namespace {
// Pause between two requests, so that the sensor and the event loop breathe.
constexpr int kCyclePauseMs = 10;
// How often the status line's frame rate is renewed.
constexpr double kRateIntervalS = 1.0;
// The displays show at most forty frames a second: more than an eye follows
// on numbers and a strip chart, and drawing the 640 × 598 strip chart is the
// largest part of a frame's processor time.
constexpr double kShowIntervalS = 0.025;
double lastShown = -1.0;
bool frameHeld = false;

void ShowFrame() {
    SetPanelCalibData();
    ShowPanelData();
    ShowGraph();
    lastShown = Timer();
    frameHeld = false;
}

// A poll loop started from a callback that runs inside another poll loop's
// wait would share its buffers and the link; it is refused instead.
bool pollLoopActive = false;

int PatchComponent(uint16_t value) {
    return std::min(value / 16, 255);
}

// The sensor reports V-No. 255 when no taught colour matches: an error
// state, not a row. Said once per change, not per frame.
constexpr uint16_t kNoMatch = 255;
bool noMatchShown = false;

void ShowNoMatch(bool on) {
    if (on == noMatchShown) return;
    noMatchShown = on;
    const QString note = QStringLiteral("no taught colour matches (error state)");
    const QString help = QString::fromUtf8(HelpToolTip(InfoDispCOL));
    SetCtrlToolTip(datapanel, DATAP_DispCOL, on ? "V-No. 255: " + note + "\n\n" + help : help);
    SetCtrlToolTip(colbigpanel, COLBIGP_DispBigCOL, on ? "V-No. 255: " + note : QString());
    SetValuesNote(on ? "V-No. 255: " + note : QString());
}

} // namespace

void ShowNoFrameYet() {
    BlankMeasuredNumbers();
}

void StartGo() {
    TransferScope transfer;
    if (transfer.refused()) return;
    GetPanelValues();
    InitGraphs();
    GetData();
}

void GetData() {
    if (pollLoopActive) return;
    pollLoopActive = true;
    shown::Reset();

    if (comprotocol == 0) FlushBoth();
    session::poll = 1;
    SetLinkState(kLinkPolling);
    double rateStart = Timer();
    int rateFrames = 0;
    while (session::poll == 1) {
        const bool arrived = ReceiveFrame();
        // The quiet after the answer that accepted it is part of the pause.
        const double answered = arrived ? answerArrival.last : Timer();
        if (arrived) {
            TakeFrameData();
            ShowFrameWhenDue();
            ++pollFrames;
            if (pollFrameHook) pollFrameHook();
            ++rateFrames;
            const double now = Timer();
            if (now - rateStart >= kRateIntervalS) {
                SetLinkFrameRate(rateFrames / (now - rateStart));
                rateStart = now;
                rateFrames = 0;
            }
        } else {
            ShowHeldFrame();
            SetPopupTimeout();
        }
        // The pause processes events rather than sleeping: the window draws
        // what this frame changed (the queued replots) inside the pause
        // instead of lengthening the cycle, and STOP is seen at once. The
        // line rests the full pause from the answer on; updating the
        // displays is part of it.
        WaitProcessingEvents(std::max(0.0, kCyclePauseMs / 1000.0 - (Timer() - answered)));
    }
    // A frame proven by the last answer is the newest the sensor sent.
    if (TakeProvenFrame()) {
        TakeFrameData();
        ShowFrameWhenDue();
        ++pollFrames;
        if (pollFrameHook) pollFrameHook();
    }
    ShowHeldFrame();
    pollLoopActive = false;
    if (CurrentLinkState() == kLinkPolling) SetLinkState(kLinkConnected);
}

void SetPanelData() {
    TakeFrameData();
    ShowPanelData();
}

void TakeFrameData() {
    TakeTriggerFlag();
    InitGraphBuffers();
}

void ShowFrameWhenDue() {
    if (Timer() - lastShown < kShowIntervalS)
        frameHeld = true;
    else
        ShowFrame();
}

void ShowHeldFrame() {
    if (frameHeld) ShowFrame();
}

void ShowPanelData() {
    const int p = datapanel;
    shown::SetVal(p, DATAP_BarR, dataR);
    shown::SetVal(p, DATAP_BarG, dataG);
    shown::SetVal(p, DATAP_BarB, dataB);
    shown::SetVal(p, DATAP_BarRef, dataRef);
    shown::SetVal(p, DATAP_BarDir, dataDir);
    shown::SetVal(p, DATAP_BarDif, dataDif);
    shown::SetVal(p, DATAP_DispRaw__R, dataR);
    shown::SetVal(p, DATAP_DispRaw__G, dataG);
    shown::SetVal(p, DATAP_DispRaw__B, dataB);
    shown::SetVal(p, DATAP_DispRaw__Ref, dataRef);
    shown::SetVal(p, DATAP_DispRaw__Dir, dataDir);
    shown::SetVal(p, DATAP_DispRaw__Dif, dataDif);

    shown::SetVal(p, DATAP_DispX, dataX);
    shown::SetVal(p, DATAP_DispY, dataY);
    shown::SetVal(p, DATAP_DispINT, dataInt);
    shown::SetVal(p, DATAP_DispGN, dataGn);
    shown::SetVal(p, DATAP_DispCOL, dataColor);
    shown::SetVal(p, DATAP_DispTemp, dataTemp);
    shown::SetVal(p, DATAP_LedTrig, dataTrigger);
    shown::SetVal(p, DATAP_DispGroup, dataGroup);

    shown::SetVal(colbigpanel, COLBIGP_DispBigCOL, dataColor);
    shown::SetVal(grpbigpanel, GRPBIGP_DispBigGroup, dataGroup);

    rgbcolor = MakeColor(PatchComponent(dataR), PatchComponent(dataG), PatchComponent(dataB));
    shown::SetVal(p, DATAP_ColorPatch, rgbcolor);
    shownFrame = {dataX, dataY, dataInt, dataGn, rgbcolor, TakenFrameMsecs()};
    MarkFrameShown();
    ShowNoMatch(dataColor == kNoMatch);

    if (evalmode == 3) {
        static constexpr int kLamps[] = {DATAP_Lamp16, DATAP_Lamp8, DATAP_Lamp4, DATAP_Lamp2,
                                         DATAP_Lamp1};
        int v = dataColor;
        int weight = 16;
        for (int lamp : kLamps) {
            const int on = v >= weight ? 1 : 0;
            if (on) v -= weight;
            shown::SetVal(p, lamp, on);
            weight /= 2;
        }
    }
}

// ---- callbacks of the data panel's displays and of the big displays

int CBF_DispX(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispX);
}
int CBF_DispY(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispY);
}
int CBF_DispINT(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispINT);
}
int CBF_DispGN(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispGN);
}
int CBF_DispRaw(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispRAW);
}
int CBF_DispTemp(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispTemp);
}
int CBF_DispStatus(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoStatus);
}
int CBF_DispLink(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispLink);
}
int CBF_GraphRGB(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoGraph);
}
int CBF_GraphData1(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoGraph);
}
int CBF_GraphData2(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoGraph);
}

int CBF_DispCOL(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoDispCOL) || event != EVENT_LEFT_DOUBLE_CLICK) return 0;
    DisplayPanel(colbigpanel);
    return 0;
}

int CBF_DispGroup(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoDispGroup) || event != EVENT_LEFT_DOUBLE_CLICK) return 0;
    DisplayPanel(grpbigpanel);
    return 0;
}

namespace {
int HideOnRightClickOrClose(int panel, int event) {
    if (event == EVENT_RIGHT_CLICK || event == EVENT_CLOSE) HidePanel(panel);
    return 0;
}
} // namespace

int CBF_COLBIGP(int panel, int, int event, void *, int, int) {
    return HideOnRightClickOrClose(panel, event);
}

int CBF_GRPBIGP(int panel, int, int event, void *, int, int) {
    return HideOnRightClickOrClose(panel, event);
}

// The big number fills its panel, so a right click lands on it rather than
// on the panel; it closes the panel all the same.
int CBF_DispBigCOL(int panel, int, int event, void *, int, int) {
    return HideOnRightClickOrClose(panel, event);
}

int CBF_DispBigGroup(int panel, int, int event, void *, int, int) {
    return HideOnRightClickOrClose(panel, event);
}

// The indicators of the data panel explain themselves.
// clang-format off
int CBF_Lamp16(int, int, int event, void *, int, int) { return HelpOnly(event, InfoLamps); }
int CBF_Lamp8(int, int, int event, void *, int, int) { return HelpOnly(event, InfoLamps); }
int CBF_Lamp4(int, int, int event, void *, int, int) { return HelpOnly(event, InfoLamps); }
int CBF_Lamp2(int, int, int event, void *, int, int) { return HelpOnly(event, InfoLamps); }
int CBF_Lamp1(int, int, int event, void *, int, int) { return HelpOnly(event, InfoLamps); }
int CBF_ColorPatch(int, int, int event, void *, int, int) { return HelpOnly(event, InfoColorPatch); }
int CBF_LedTrig(int, int, int event, void *, int, int) { return HelpOnly(event, InfoLedTrig); }
int CBF_DispComPort(int, int, int event, void *, int, int) { return HelpOnly(event, InfoDispComPort); }
int CBF_DispHost(int, int, int event, void *, int, int) { return HelpOnly(event, InfoDispHost); }
int CBF_BarR(int, int, int event, void *, int, int) { return HelpOnly(event, InfoDispRAW); }
int CBF_BarG(int, int, int event, void *, int, int) { return HelpOnly(event, InfoDispRAW); }
int CBF_BarB(int, int, int event, void *, int, int) { return HelpOnly(event, InfoDispRAW); }
int CBF_BarRef(int, int, int event, void *, int, int) { return HelpOnly(event, InfoDispRAW); }
int CBF_BarDir(int, int, int event, void *, int, int) { return HelpOnly(event, InfoDispRAW); }
int CBF_BarDif(int, int, int event, void *, int, int) { return HelpOnly(event, InfoDispRAW); }
// clang-format on

// The sensor's ID line of the big displays closes them like the big number;
// on the recorder it only explains itself.
int CBF_DispID(int panel, int, int event, void *, int, int) {
    if (panel == recpanel) return HelpOnly(event, InfoDispID);
    return HideOnRightClickOrClose(panel, event);
}
int CBF_DATAP(int, int, int, void *, int, int) {
    return 0;
}
