// Data-frame polling: the GO loop, the single-frame exchange, the decoding
// into the measurement variables and the data panel's displays.
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
// Wall-clock time the frame in the measurement variables arrived: a frame
// shown late (held back by the display rate, or after a box the operator
// closes) keeps its own time.
long long frameMsecs = 0;

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

namespace {
// The pause the sensor needs between the end of an answer and the next request.
constexpr double kLinePauseS = 0.010;
// A frame left waiting for its proof longer than this is old: it is dropped
// rather than shown as the newest.
constexpr double kHeldMaxAgeS = 0.5;

// The answer last judged whole. One that may hide a glued answer's head waits
// for the line to prove it: the next answer taken whole with no stray byte
// between the two, or nothing at all coming for a long while.
struct Held {
    bool valid = false;
    bool proven = false;
    unsigned char bytes[proto::kTelegramBytes];
    double arrived = 0.0; // Timer when its last byte came off the line
    uint64_t stray = 0;   // StrayBytes() once it was judged
    uint64_t request = 0; // the telegram it answered
};
Held held;
double requestedAt = 0.0;
double takenArrival = 0.0;
// A failed answer that came after a frame that was still to be given out: it
// is told by the next take, without a request.
struct Owed {
    bool due = false;
    int bytesToRead = 0;
    AnswerRefusal refusal = kNotRefused;
    double at = 0.0; // Timer when it failed: a loop that ended left it behind
};
Owed owed;

// Sends what the transmit buffer holds: the line emptied first on serial.
void SendRequest() {
    if (comprotocol == 0) FlushBoth();
    // On TCP the write arms bytesToRead itself, before the answer can arrive.
    WriteTelegram();
}

int AwaitFrameAnswer(double quietAtLeastS, bool watchLineOnly) {
    WaitAnswer(proto::kAnswerTimeoutS, watchLineOnly);
    if (bytesToRead == 0 && !FrameAnswerAccepted(quietAtLeastS, watchLineOnly)) bytesToRead = -1;
    return bytesToRead;
}

void Decode(const unsigned char *bytes, double arrived) {
    std::copy(bytes, bytes + proto::kTelegramBytes, szReadBuf);
    GetRxBufData();
    CopyDatatoVars();
    // The frame is of when its answer came, not of when it was taken: a box
    // opened in between (the link lost right after it) must not date it later.
    const double age = Timer() - arrived;
    if (arrived > 0 && age >= 0)
        frameMsecs = QDateTime::currentMSecsSinceEpoch() - std::llround(age * 1000);
    MarkValuesLive();
    MarkStatusTimeoutPast();
    takenArrival = arrived;
}
} // namespace

void RequestFrame() {
    if (owed.due && Timer() - owed.at > kHeldMaxAgeS) owed = Owed{};
    if (owed.due) return;
    order = proto::SendFrame;
    FillTxBuf(order, 0, 0, 0);
    SendRequest();
    requestedAt = Timer();
}

bool TakeRequestedFrame(double quietAtLeastS, bool watchLineOnly) {
    if (owed.due) {
        bytesToRead = owed.bytesToRead;
        answerArrival.refusal = owed.refusal;
        owed = Owed{};
        return false;
    }
    for (;;) {
        const Held before = held;
        // Only the answer to the very next telegram, soon after, speaks for it.
        const bool fresh = before.valid && requestedAt - before.arrived <= kHeldMaxAgeS &&
                           answerArrival.request == before.request + 1;
        const bool clean = answerArrival.strayAtRequest == before.stray;
        held.valid = false;
        const bool whole = AwaitFrameAnswer(quietAtLeastS, watchLineOnly) == 0;
        if (whole) {
            held.valid = true;
            std::copy(szReadBuf, szReadBuf + proto::kTelegramBytes, held.bytes);
            held.arrived = answerArrival.last;
            held.stray = StrayBytes();
            held.request = answerArrival.request;
            held.proven = !framing::MayHideHead(held.bytes);
        }
        // Nothing came for the whole wait, or the line closed: no rest of
        // anything followed the frame before.
        const bool silent =
            answerArrival.bytes == 0 && StrayBytes() == before.stray &&
            (Timer() - before.arrived >= framing::kProofQuietS || (comprotocol == 1 && !tcpcon));
        // A frame proven already stands whatever follows it.
        if (fresh && (before.proven || (clean && (whole || silent)))) {
            if (!whole) owed = Owed{true, bytesToRead, answerArrival.refusal, Timer()};
            Decode(before.bytes, before.arrived);
            return true;
        }
        if (!whole) {
            // Bytes that were no head of this answer followed the frame
            // before: that is what is told.
            if (fresh && bytesToRead < 0 && answerArrival.refusal == kForeignAnswer)
                answerArrival.refusal = kFollowedAnswer;
            return false;
        }
        if (fresh && !clean) {
            // Bytes came between the two answers: the earlier one is refused.
            answerArrival.refusal = kFollowedAnswer;
            bytesToRead = -1;
            return false;
        }
        if (held.proven) {
            held.valid = false;
            Decode(held.bytes, held.arrived);
            return true;
        }
        // Nothing proves this frame yet: the next exchange does, after the
        // pause the sensor needs.
        WaitProcessingEvents(std::max(0.0, held.arrived + kLinePauseS - Timer()));
        if (QuitRequested()) return false;
        RequestFrame();
    }
}

bool TakeProvenFrame() {
    if (!held.valid || !held.proven || Timer() - held.arrived > kHeldMaxAgeS) return false;
    held.valid = false;
    Decode(held.bytes, held.arrived);
    return true;
}

double TakenFrameArrival() {
    return takenArrival;
}

bool ReceiveFrame(double quietAtLeastS) {
    RequestFrame();
    return TakeRequestedFrame(quietAtLeastS);
}

int GetDataFrame(double quietAtLeastS) {
    SendRequest();
    return AwaitFrameAnswer(quietAtLeastS, false);
}

bool FrameAnswerAccepted(double quietAtLeastS, bool watchLineOnly) {
    // Bytes after the answer, before the next request, make it doubtful: it
    // may have been a fragment with the answer's start glued on.
    if (AnswerStaysAlone(std::max(quietAtLeastS, framing::kQuietS), watchLineOnly)) return true;
    answerArrival.refusal = kFollowedAnswer;
    return false;
}

void CopyDatatoVars() {
    frameMsecs = QDateTime::currentMSecsSinceEpoch();
    dataR = databuf[2];
    dataG = databuf[3];
    dataB = databuf[4];
    dataX = databuf[5];
    dataY = databuf[6];
    dataInt = databuf[7];
    dataColor = databuf[8];
    dataRawR = databuf[9];
    dataRawG = databuf[10];
    dataRawB = databuf[11];
    dataTemp = databuf[12];
    dataGroup = databuf[13];
    dataRef = databuf[14];
    dataDir = databuf[15];
    dataDif = databuf[16];
    dataGn = databuf[17];
}

void SetPanelData() {
    TakeFrameData();
    ShowPanelData();
}

void TakeTriggerFlag() {
    // The sensor adds the trigger flag to the group word; a word below the
    // flag is a bare group number, so subtracting can never wrap around.
    if (dataGroup >= proto::kGroupTriggerFlag) {
        dataTrigger = 1;
        dataGroup -= proto::kGroupTriggerFlag;
    } else {
        dataTrigger = 0;
    }
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
    shownFrame = {dataX,  dataY,    dataInt,
                  dataGn, rgbcolor, frameMsecs ? frameMsecs : QDateTime::currentMSecsSinceEpoch()};
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
