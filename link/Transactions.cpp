// The command transactions: one 36-byte request, one 36-byte answer, echo
// checking, and the sequences built from them.
#include "link/Link.h"

#include "core/Edits.h"
#include "core/LinkStatus.h"
#include "core/MasterCopy.h"
#include "core/Outcomes.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <algorithm>

uint16_t nBytesW = 0;
double tstart = 0.0, tdiff = 0.0;

namespace {
// Telegrams written, so that an answer can be told to follow the one before.
uint64_t telegramsWritten = 0;
} // namespace

namespace {
constexpr int kTelegram = proto::kTelegramBytes;
} // namespace

void FlushBoth() {
    // What is thrown away still tells that the line was not clean.
    CountStrayBytes(ComInputCount(comport));
    FlushInQ(comport);
    FlushOutQ(comport);
}

void FlushInput() {
    if (comprotocol == 0) {
        CountStrayBytes(ComInputCount(comport));
        FlushInQ(comport);
        return;
    }
    char scratch[proto::kBufferBytes];
    int n = 0;
    while (tcpcon && (n = ClientTCPRead(g_hconversation, scratch, sizeof scratch, 0)) > 0)
        CountStrayBytes(n);
}

bool AnswerHeadFits() {
    if (szReadBuf[0] != (proto::kAnswerSync >> 8) || szReadBuf[1] != (proto::kAnswerSync & 0xFF)) {
        // The version text is the one answer without the answer sync.
        return szWriteBuf[2] == 0 && szWriteBuf[3] == proto::SendVersion;
    }
    return szReadBuf[2] == szWriteBuf[2] && szReadBuf[3] == szWriteBuf[3];
}

void WriteTelegram(int tcpTimeoutMs) {
    NoteTelegramWritten();
    BeginAnswerArrival();
    if (comprotocol == 0) {
        nBytesW = static_cast<uint16_t>(
            std::max(0, ComWrt(comport, reinterpret_cast<char *>(szWriteBuf), kTelegram)));
    } else {
        // Whatever came before the request is no part of its answer.
        FlushInput();
        answerOverrun = false;
        bytesToRead = dataSize = kTelegram;
        nBytesW = static_cast<uint16_t>(
            std::max(0, ClientTCPWrite(g_hconversation, szWriteBuf, kTelegram, tcpTimeoutMs)));
    }
    answerArrival.strayAtRequest = StrayBytes();
    answerArrival.request = ++telegramsWritten;
}

void WriteTelegramNoAnswer() {
    ++telegramsWritten;
    if (comprotocol == 0) {
        nBytesW = static_cast<uint16_t>(
            std::max(0, ComWrt(comport, reinterpret_cast<char *>(szWriteBuf), kTelegram)));
    } else {
        bytesToRead = 0;
        nBytesW = static_cast<uint16_t>(std::max(
            0, ClientTCPWrite(g_hconversation, szWriteBuf, kTelegram, proto::kTcpWriteTimeoutMs)));
    }
}

namespace {
// A program without a window waits for a serial answer on the line alone:
// until its first byte, then for the rest at the line's rate in a few sleeps
// instead of a wake-up per byte (a USB adapter hands bytes over one by one).
// No sleep is longer than half the pause that breaks an answer, so a pause
// inside one is still seen.
void WaitSerialOnLine(int received, double left) {
    if (received <= 0) {
        ComWaitInput(comport, left);
    } else {
        const double rest = (kTelegram - received) * 10.0 / double(proto::BaudOfIndex(baudrate));
        SleepFor(std::min({rest, framing::GapLimit() / 2, left}));
    }
    ProcessSystemEvents();
}
} // namespace

void WaitAnswer(double seconds, bool lineOnly) {
    tstart = Timer();
    if (comprotocol == 0) {
        for (;;) {
            dataSize = GetInQLen(comport);
            tdiff = Timer() - tstart;
            if (dataSize < 0 || dataSize >= kTelegram || tdiff > seconds || QuitRequested()) break;
            if (lineOnly)
                WaitSerialOnLine(dataSize, seconds - tdiff);
            else
                WaitSystemEvents(seconds - tdiff);
        }
        if (dataSize < 0) dataSize = 0;
        // Never read more than the receive buffer holds; what lies beyond it
        // belongs to no answer and is drained.
        const int toRead = std::min(dataSize, int(sizeof szReadBuf));
        if (toRead > 0) {
            ComRd(comport, reinterpret_cast<char *>(szReadBuf), toRead);
            double times[proto::kBufferBytes];
            NoteAnswerArrival(times, ComReadTimes(comport, times, std::min(toRead, kTelegram)));
        }
        // Bytes beyond the answer came right behind it: it may have been a
        // fragment with the start of the real answer glued on.
        if (dataSize > kTelegram) {
            answerOverrun = true;
            CountStrayBytes(dataSize - kTelegram);
            FlushInQ(comport);
            dataSize = kTelegram;
        }
        bytesToRead = kTelegram - dataSize;
    } else {
        for (;;) {
            tdiff = Timer() - tstart;
            if (bytesToRead <= 0 || tdiff > seconds || !tcpcon || QuitRequested()) break;
            WaitSystemEvents(seconds - tdiff);
        }
    }
    // Bytes nobody asked for, arriving while the answer was awaited, become
    // its first bytes: such an answer is refused like a missing one rather
    // than decoded into values the sensor never measured.
    // A pause inside it means the answer broke, and what came first was a
    // fragment of something else.
    if (bytesToRead == 0 &&
        (answerOverrun || !AnswerHeadFits() || answerArrival.widestGap > framing::GapLimit())) {
        answerArrival.refusal = answerOverrun || !AnswerHeadFits() ? kForeignAnswer : kBrokenAnswer;
        bytesToRead = -1;
        FlushInput();
    }
    answerOverrun = false;
}

bool AnswerStaysAlone(double seconds, bool lineOnly) {
    for (;;) {
        // A server that closes after a whole answer has sent nothing more: the
        // answer stands.
        const bool arrived = comprotocol == 0 ? GetInQLen(comport) > 0 : answerOverrun;
        if (arrived) {
            answerOverrun = false;
            FlushInput();
            return false;
        }
        const double left = answerArrival.last + seconds - Timer();
        if (left <= 0 || QuitRequested()) return true;
        // The wait ends on time, not late, so that the quiet stays within
        // the GO cycle's pause.
        if (!lineOnly) {
            WaitSystemEvents(left);
            continue;
        }
        const int woke =
            comprotocol == 0 ? ComWaitInput(comport, left) : TCPWaitInput(g_hconversation, left);
        if (woke == 0) continue;
        // Whatever woke it is the event loop's to read, and the rest of the
        // quiet is waited there: a line that hung up stays readable.
        lineOnly = false;
        ProcessSystemEvents();
    }
}

void CheckEcho(int n) {
    WaitAnswer();
    if (bytesToRead == 0) {
        comecho = 1;
        if (szReadBuf[0] != (proto::kAnswerSync >> 8) ||
            szReadBuf[1] != (proto::kAnswerSync & 0xFF))
            comecho = 0;
        for (int i = 2; i < 2 * n && i < kTelegram; ++i)
            if (szReadBuf[i] != szWriteBuf[i]) comecho = 0;
        if (comecho == 1) return;
    }
    SetPopupTimeout();
}

void RequestWithEcho(uint16_t requestOrder, uint16_t start, int echoWords) {
    order = requestOrder;
    FillTxBuf(order, start, 0, 0);
    WriteTelegram();
    CheckEcho(echoWords);
}

void Befehl3plus4() {
    if (comprotocol == 0) FlushBoth();
    WriteTelegram();
    WaitAnswer();
    if (bytesToRead != 0) {
        SetPopupTimeout();
        return;
    }
    GetRxBufPara();
    CopyPPtoVars();
}

// Each telegram the sensor accepts is counted, so that a SEND cut off
// half-way can say which rows the sensor now holds.
void SendPara() {
    GetPanelValues();
    CopyVarsToPP();
    sendProgress = SendProgress{};
    sendProgress.toEeprom = target == EEPROM;
    sendProgress.linkClosed = comprotocol == 1 && !tcpcon;
    sendProgress.running = true;
    struct Ended {
        ~Ended() { sendProgress.running = false; }
    } ended;
    if (comprotocol == 0) FlushBoth();

    auto cut = [] {
        SetLinkNote(sendProgress.linkClosed
                        ? SendCutNote(sendProgress)
                        : SendCutNote(sendProgress) + QLatin1Char(' ') + AnswerFailureSentence());
    };
    RequestWithEcho(proto::WriteParams, 0, proto::kWords);
    if (comecho == 0) return cut();
    sendProgress.paramsAccepted = true;

    for (int row = 0; row < anzVec; ++row) {
        ProcessSystemEvents();
        RequestWithEcho(proto::WriteRow, static_cast<uint16_t>(row), 3 + proto::kRowWords);
        if (comecho == 0) return cut();
        ++sendProgress.rowsAccepted;
    }

    if (target == EEPROM) {
        RequestWithEcho(proto::StoreEeprom, 0, 2);
        sendProgress.stored = comecho == 1;
        // The sensor needs the time to store, whatever the echo said.
        WaitProcessingEvents(proto::kEepromStoreS);
        if (!sendProgress.stored) return cut();
    }
    sendProgress.complete = true;
    NoteChangesSentOrReplaced();
}

void GetPara() {
    session::poll = 0;
    comecho = 1;
    if (comprotocol == 0) FlushBoth();

    if (target == EEPROM) {
        RequestWithEcho(proto::LoadEeprom, 0, 2);
        if (comecho == 0) return;
    }

    order = proto::ReadParams;
    FillTxBuf(order, 0, 0, 0);
    Befehl3plus4();
    // A sensor that did not answer the parameter request will not answer
    // the row requests either: one time-out is enough.
    if (comecho == 0) return;

    order = proto::ReadRow;
    for (int row = 0; row < anzVec; ++row) {
        FillTxBuf(order, static_cast<uint16_t>(row), 0, 0);
        Befehl3plus4();
        if (comecho == 0) return;
    }
    RefreshPanelsAfterLoad();
}

void StopAutoSend() {
    order = proto::AutoSend;
    FillTxBuf(order, 0, 0, 0);
    if (comprotocol == 0) FlushBoth();
    WriteTelegramNoAnswer();
}

void ChangeBaudrate() {
    const uint16_t oldBaudrate = baudrate;
    GetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, &baudrate);
    SetCtrlVal(interfacepanel, INTERFACEP_DispStatus, "Try to change Baudrate!");
    FlushBoth();
    RequestWithEcho(proto::ChangeBaud, baudrate, 3);
    if (comecho != 1) {
        // The sensor did not confirm: port and sensor stay at the old rate,
        // and so does the program's idea of it.
        baudrate = oldBaudrate;
        return;
    }
    SetCtrlVal(interfacepanel, INTERFACEP_DispStatus, "Success!");
    InitRS232();
    TryToConnect();
    if (comecho == 1)
        MessagePopup("INFO!", "Success! \n\nConfirme new Baudrate \nwith EEPROM and SEND.");
}
