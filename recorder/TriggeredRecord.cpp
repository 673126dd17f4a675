// Triggered recording: the sensor sends a frame on each trigger by itself
// (automatic sending, order 50), and every frame that arrives whole is
// recorded, several arriving together each on its own; a broken one is
// skipped and counted.
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

#include <algorithm>
#include <cstring>

namespace {
constexpr int kTelegram = proto::kTelegramBytes;
// Longest sleep while no frame comes; any event (a frame, STOP) ends it sooner.
constexpr double kIdleWaitSeconds = 0.1;
constexpr double kJudgeAgainSeconds = 0.005;
constexpr char kTriggerNote[] = "on the sensor's trigger";
// Frames the sensor sent before it took the order to stop arrive within it.
constexpr double kSettleSeconds = 0.1;
constexpr int kRecordingColour = MakeColor(255, 0, 0);
constexpr int kIdleColour = MakeColor(224, 224, 224);

// While recording, the loop reads the automatic frames itself: the link's
// handler drops whatever comes while no answer is awaited.
int TriggeredTCPCB(unsigned handle, int xType, int errCode, void *callbackData) {
    if (xType == TCP_DATAREADY) return 0;
    return ClientTCPCB(handle, xType, errCode, callbackData);
}

// Reads what has arrived into dst, at most room bytes, without waiting;
// negative when the link is gone.
int ReceiveQueued(unsigned char *dst, int room) {
    if (room <= 0) return 0;
    if (comprotocol == 0) {
        const int queued = GetInQLen(comport);
        if (queued <= 0) return queued;
        return ComRd(comport, reinterpret_cast<char *>(dst), std::min(queued, room));
    }
    if (!tcpcon) return -1;
    return ClientTCPRead(g_hconversation, dst, room, 0);
}

// Hands the link back to the transactions with nothing of the automatic
// sending left in it, so that no late frame is taken for the next answer.
void ReleaseLink() {
    if (comprotocol == 0) {
        WaitProcessingEvents(kSettleSeconds);
        FlushInQ(comport);
        return;
    }
    InstallTCPCallback(g_hconversation, ClientTCPCB, nullptr);
    char scratch[proto::kBufferBytes];
    while (tcpcon && ClientTCPRead(g_hconversation, scratch, sizeof scratch, 0) > 0) {
    }
    // Later arrivals meet the link's handler, which drops them.
    WaitProcessingEvents(kSettleSeconds);
}
} // namespace

void TriggeredRecord() {
    if (comprotocol == 0)
        // A stray byte before the first frame would shift every frame after it.
        FlushInQ(comport);
    else
        InstallTCPCallback(g_hconversation, TriggeredTCPCB, nullptr);
    order = proto::AutoSend;
    FillTxBuf(order, 1, 0, 0);
    WriteTelegramNoAnswer();

    unsigned frames = 0;
    SetCtrlVal(recpanel, RECP_DispFrameCounter, frames);
    session::poll = 1;
    framing::FrameStream stream(framing::GapLimit(), framing::kProofQuietS);
    unsigned char chunk[proto::kBufferBytes];
    unsigned char frame[kTelegram];
    unsigned skippedShown = 0;
    // After STOP the sensor stops sending at once, and the frames still on
    // their way are given the quiet that proves the last of them.
    double lastCall = -1.0;
    for (;;) {
        if (session::poll != 1) {
            if (lastCall < 0) {
                order = proto::AutoSend;
                FillTxBuf(order, 0, 0, 0);
                WriteTelegramNoAnswer();
                lastCall = Timer() + framing::kProofQuietS + kJudgeAgainSeconds;
            }
            if (Timer() >= lastCall) break;
        }
        const int received = ReceiveQueued(chunk, int(sizeof chunk));
        if (received < 0) {
            ShowHeldFrame();
            SetPopupTimeout();
            break;
        }
        const double now = Timer();
        stream.add(chunk, received, now);
        while (stream.next(now, frame)) {
            std::memcpy(szReadBuf, frame, kTelegram);
            GetRxBufData();
            CopyDatatoVars();
            MarkValuesLive();
            MarkStatusTimeoutPast();
            TakeFrameData();
            ShowFrameWhenDue();
            RecordLine();
            SetCtrlVal(recpanel, RECP_DispFrameCounter, ++frames);
        }
        // A frame that broke is told, not lost silently.
        recTally.skipped = stream.skipped();
        if (recTally.skipped != skippedShown) {
            skippedShown = recTally.skipped;
            SetLinkNote(QString(kTriggerNote) + ", " + SkippedNote(skippedShown));
        }
        // Bytes still undecided are judged again once their time has come.
        if (received == 0)
            WaitSystemEvents(stream.buffered() > 0 ? kJudgeAgainSeconds : kIdleWaitSeconds);
    }
    ShowHeldFrame();
    StopAutoSend();
    ReleaseLink();
}

int CBF_ButtonStartTrigRec(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonStartRecord) || event != EVENT_COMMIT) return 0;
    if (!ConfirmPopup("ATTENTION!", "Are you sure, that you have selected the right file name?"))
        return 0;
    if (!RecordFileSelected()) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    MessagePopup("ATTENTION!", NotOpenedWarning(42));
    SetCtrlAttribute(recpanel, RECP_ButtonStartTrigRec, ATTR_CMD_BUTTON_COLOR, kRecordingColour);
    BeginRecordTally();
    SetLinkState(kLinkRecording, kTriggerNote);
    TriggeredRecord();
    if (CurrentLinkState() == kLinkRecording) SetLinkState(kLinkConnected);
    ShowRecordResult();
    SetCtrlAttribute(recpanel, RECP_ButtonStartTrigRec, ATTR_CMD_BUTTON_COLOR, kIdleColour);
    return 0;
}
