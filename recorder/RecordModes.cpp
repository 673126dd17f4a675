// The recorder panel: the mode selector and what it shows, the record time,
// counted and continuous interval recording, manual recording and the
// panel's callbacks. Triggered recording is in TriggeredRecord.cpp.
#include "recorder/Recorder.h"

#include "core/HelpTexts.h"
#include "core/LinkStatus.h"
#include "core/Protocol.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "platform/Platform.h"
#include "uir_ids.h"

uint16_t zeitint = 1;
uint16_t anzwerte = 100;
uint16_t otcrec = 0;
uint32_t reczeit = 0;
double recstart = 0.0;

namespace {
// Why the running interval recording ended early, when a lost link ended it.
QString lostLinkReason;

constexpr int kRecordingColour = MakeColor(255, 0, 0);
constexpr int kIdleColour = MakeColor(224, 224, 224);

// Which modes show a control: bit n for mode n.
struct ModeControl {
    int control;
    unsigned modes;
};
constexpr unsigned kCounted = 1u << kRecCounted, kContinuous = 1u << kRecContinuous,
                   kManual = 1u << kRecManual, kTriggered = 1u << kRecTriggered;
const ModeControl kModeControls[] = {
    {RECP_EditInterval, kCounted | kContinuous},
    {RECP_EditRecVal, kCounted},
    {RECP_DispRecordTime__Days, kCounted},
    {RECP_DispRecordTime__Hours, kCounted},
    {RECP_DispRecordTime__Minutes, kCounted},
    {RECP_DispRecordTime__Seconds, kCounted},
    {RECP_DispRecordedValues, kCounted | kManual},
    {RECP_DispRemaining, kCounted},
    {RECP_DispFrameCounter, kContinuous | kTriggered},
    {RECP_ButtonStartRecord, kCounted | kContinuous},
    {RECP_ButtonStopRecord, kCounted | kContinuous},
    {RECP_ButtonStartTrigRec, kTriggered},
    {RECP_ButtonStopTrigRec, kTriggered},
    {RECP_ButtonManualRecord, kManual},
};

// The settings of a running interval recording cannot change under it.
void LockIntervalControls(bool locked) {
    const int mode = locked ? VAL_INDICATOR : VAL_HOT;
    for (int control : {RECP_EditInterval, RECP_EditRecVal, RECP_ButtonStartRecord})
        SetCtrlAttribute(recpanel, control, ATTR_CTRL_MODE, mode);
    SetCtrlAttribute(recpanel, RECP_ButtonStartRecord, ATTR_CMD_BUTTON_COLOR,
                     locked ? kRecordingColour : kIdleColour);
}
} // namespace

int SelectedRecordMode() {
    int mode = 0;
    GetCtrlVal(recpanel, RECP_EditSelectDataRec, &mode);
    return mode;
}

void InitRecordPanel() {
    const unsigned mode = 1u << SelectedRecordMode();
    for (const ModeControl &c : kModeControls)
        SetCtrlAttribute(recpanel, c.control, ATTR_VISIBLE, (c.modes & mode) ? 1 : 0);
}

void CalcRecTime(int) {
    GetCtrlVal(recpanel, RECP_EditInterval, &zeitint);
    GetCtrlVal(recpanel, RECP_EditRecVal, &anzwerte);
    SetCtrlVal(recpanel, RECP_DispRecordedValues, 0);
    SetCtrlVal(recpanel, RECP_DispRemaining, unsigned(anzwerte));

    // Both factors are 16-bit: the product fits 32 bits unsigned.
    reczeit = uint32_t(zeitint) * anzwerte;
    const uint32_t days = reczeit / 86400;
    uint32_t rest = reczeit - days * 86400;
    const uint32_t hours = rest / 3600;
    rest -= hours * 3600;
    const uint32_t minutes = rest / 60;
    const uint32_t seconds = rest - minutes * 60;
    SetCtrlVal(recpanel, RECP_DispRecordTime__Days, unsigned(days));
    SetCtrlVal(recpanel, RECP_DispRecordTime__Hours, unsigned(hours));
    SetCtrlVal(recpanel, RECP_DispRecordTime__Minutes, unsigned(minutes));
    SetCtrlVal(recpanel, RECP_DispRecordTime__Seconds, unsigned(seconds));
}

void Record() {
    if (!ConfirmPopup("ATTENTION!", "Are you sure, that you have selected the right file name?"))
        return;
    if (!RecordFileSelected()) return;
    MessagePopup("ATTENTION!", NotOpenedWarning(34));
    LockIntervalControls(true);
    BeginRecordTally();
    SetLinkState(kLinkRecording);
    RecordFrame();
    if (CurrentLinkState() == kLinkRecording) SetLinkState(kLinkConnected);
    const QString cut = RecordCutNote();
    if (!cut.isEmpty()) SetLinkNote(cut + QLatin1Char(' ') + lostLinkReason);
    ShowRecordResult(cut);
    LockIntervalControls(false);
}

QString RecordCutNote() {
    if (lostLinkReason.isEmpty()) return QString();
    unsigned frames = 0;
    GetCtrlVal(recpanel, RECP_DispFrameCounter, &frames);
    return SelectedRecordMode() == kRecCounted
               ? QStringLiteral("The link to the sensor was lost: %1 of %2 values were recorded.")
                     .arg(otcrec)
                     .arg(anzwerte)
               : QStringLiteral("The link to the sensor was lost: %1 values were recorded.")
                     .arg(frames);
}

void RecordFrame() {
    lostLinkReason.clear();
    session::poll = 1;
    otcrec = 0;
    CalcRecTime(0);
    unsigned frames = 0;
    SetCtrlVal(recpanel, RECP_DispFrameCounter, frames);
    while (session::poll == 1) {
        recstart = Timer();
        if (ReceiveFrame()) {
            TakeFrameData();
            ShowFrameWhenDue();
            RecordLine();
            if (SelectedRecordMode() == kRecCounted) {
                ++otcrec;
                SetCtrlVal(recpanel, RECP_DispRecordedValues, unsigned(otcrec));
                SetCtrlVal(recpanel, RECP_DispRemaining, unsigned(anzwerte - otcrec));
                if (otcrec == anzwerte) session::poll = 0;
            } else {
                SetCtrlVal(recpanel, RECP_DispFrameCounter, ++frames);
            }
        } else {
            ShowHeldFrame();
            SetPopupTimeout();
            lostLinkReason = AnswerFailureSentence();
        }
        SlowDown();
    }
    ShowHeldFrame();
}

void SlowDown() {
    // Measured from the start of the cycle: a cycle longer than the interval
    // is followed at once. The wait sleeps in the event loop, so STOP is seen
    // at once and the processor stays idle; it ends on the microsecond, so
    // that lines keep their interval.
    tdiff = 0;
    while (session::poll != 0) {
        tdiff = Timer() - recstart;
        if (tdiff >= zeitint) return;
        WaitSystemEvents(zeitint - tdiff);
    }
}

void RecordManually() {
    if (!RecordFileSelected()) return;
    if (!ToFile()) {
        MessagePopup("ATTENTION!",
                     "The frame could not be written to the record file! \n" + recFileName);
        return;
    }
    ++otcrec;
    SetCtrlVal(recpanel, RECP_DispRecordedValues, unsigned(otcrec));
    // The line holds the last frame received, also when no loop runs any
    // more; the operator learns of when it is.
    if (ValuesHeld()) {
        const QString time = ShownFrameTime();
        SetLinkNote(time.isEmpty()
                        ? QStringLiteral("MANUAL RECORD wrote a line with no frame received yet")
                        : QStringLiteral("MANUAL RECORD wrote the held frame of %1").arg(time));
    }
}

// ---- callbacks of the recorder panel

int CBF_RECP(int, int, int event, void *, int, int) {
    if (event != EVENT_CLOSE) return 0;
    // A running triggered recording switches automatic sending off itself when
    // it ends; a telegram written in the middle of another transfer would
    // disturb it.
    if (TransferRunning())
        session::poll = 0;
    else
        StopAutoSend();
    return 0;
}

int CBF_EditSelectDataRec(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditSelDataRec) || event != EVENT_COMMIT) return 0;
    session::poll = 0;
    const int mode = SelectedRecordMode();
    if (mode == kRecManual) {
        SetCtrlVal(recpanel, RECP_DispRecordedValues, 0);
        otcrec = 0;
    }
    if (mode == kRecCounted) CalcRecTime(0);
    InitRecordPanel();
    return 0;
}

int CBF_EditInterval(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditInterval) || event != EVENT_COMMIT) return 0;
    CalcRecTime(0);
    return 0;
}

int CBF_EditRecVal(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditRecVal) || event != EVENT_COMMIT) return 0;
    CalcRecTime(0);
    return 0;
}

int CBF_ButtonStartRecord(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonStartRecord) || event != EVENT_COMMIT) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    Record();
    return 0;
}

int CBF_ButtonStopRecord(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonStopRecord) || event != EVENT_COMMIT) return 0;
    session::poll = 0;
    return 0;
}

int CBF_ButtonStopTrigRec(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonStopRecord) || event != EVENT_COMMIT) return 0;
    session::poll = 0;
    return 0;
}

int CBF_ButtonManualRecord(int panel, int control, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonManualRecord) || event != EVENT_COMMIT) return 0;
    SetCtrlAttribute(panel, control, ATTR_DIMMED, 1);
    RecordManually();
    SetCtrlAttribute(panel, control, ATTR_DIMMED, 0);
    return 0;
}

int CBF_DispRecordTime(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispRecordTime);
}

int CBF_DispRecordedValues(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispRecordedValues);
}

int CBF_DispRemaining(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispRemaining);
}

int CBF_DispFrameCounter(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDispFrameCounter);
}
