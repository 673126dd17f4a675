// Taking data frames: the request, the answer judged whole and alone, the
// proof a frame that may hide a glued answer's head waits for, and the
// decoding into the measurement variables. Every loop that takes frames goes
// through here: GO, recording, calibration, and the tool's frames.
#include "live/Live.h"

#include "core/LinkStatus.h"
#include "core/Protocol.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

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

// Wall-clock time the frame in the measurement variables arrived: a frame
// shown late (held back by the display rate, or after a box the operator
// closes) keeps its own time.
long long frameMsecs = 0;

void Decode(const unsigned char *bytes, double arrived) {
    std::copy(bytes, bytes + proto::kTelegramBytes, szReadBuf);
    GetRxBufData();
    CopyDatatoVars();
    // The frame is of when its answer came, not of when it was taken: a box
    // opened in between (the link lost right after it) must not date it later.
    // Its whole milliseconds are never after the arrival, so that nothing seen
    // after the frame can seem to come before it.
    const double age = Timer() - arrived;
    if (arrived > 0 && age >= 0)
        frameMsecs = QDateTime::currentMSecsSinceEpoch() - std::llround(std::ceil(age * 1000));
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

long long TakenFrameMsecs() {
    return frameMsecs ? frameMsecs : QDateTime::currentMSecsSinceEpoch();
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
