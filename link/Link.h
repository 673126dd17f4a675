// The sensor link: telegram buffers, the serial and TCP connections and the
// command transactions.
#pragma once

#include "core/Protocol.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// ---- telegrams
extern unsigned char szWriteBuf[proto::kBufferBytes];
extern unsigned char szReadBuf[proto::kBufferBytes];
extern uint16_t databuf[proto::kWords];

void FillTxBuf(uint16_t order, uint16_t start, uint16_t value, uint16_t count);
void GetRxBufPara();
void GetRxBufData();

// ---- connection
extern uint16_t comprotocol; // 0 RS-232, 1 TCP/IP
extern uint16_t comport;     // 1 = first port
extern uint16_t baudrate;    // index 0..4
extern QString ipBuf;
extern QString portNumStr;
extern int portNum;
extern unsigned g_hconversation;
extern uint16_t tcpcon;
extern int16_t ret;
extern QString szStatus;
extern char version[38];
extern int dataSize;
extern int bytesToRead;
extern int bytesRead;

void InitRS232();
void InitTCP_IP();
int ClientTCPCB(unsigned handle, int xType, int errCode, void *callbackData);
void TryToConnect();
void CheckComLine();
// Texts of the open-failure codes.
const char *SerialErrorText(int code);
const char *TcpErrorText(int code);
// The decimal value of a text's leading digits; 0 when there are none.
int LeadingNumber(const QString &text);

// ---- interface panel and settings
void InitConnectPanel();
// Offers every serial port the machine has (and the one selected, shown
// absent when its device is gone), each labelled with the device it opens.
void FillComPortSelector();
// Selects the port; one the selector lacks is added, shown absent, so that a
// stored choice is never swapped for another. False when the number reaches
// no device.
bool SelectComPort(int port);
// Restores the settings file's lines; a missing file keeps the panel's
// defaults, and so does each line that holds no possible value.
void GetConnectionSettingsFromFile();
void SaveCommunicationSettings();

// ---- host history
constexpr int kHostHistoryMax = 10;
constexpr int kHostRecordBytes = 101; // the text padded with zero bytes to 100, then '\n'
constexpr int kHostMaxChars = 99;     // bytes of text a record holds
// The hosts of the history file and of the host field's list, newest first.
extern QStringList hostHistory;
// At most kHostHistoryMax records are read; records that hold no host name
// and repeated hosts are left out.
QStringList ReadHostHistory(const QString &path);
QByteArray HostHistoryRecords(const QStringList &hosts);
// The host moved or added to the top; the oldest beyond the maximum drop out.
QStringList PushHost(QStringList hosts, const QString &host);
// Start-up: fills the host field's list from the history file.
void GetHostHistoryFromFile();
// On commit of the host field: the host to the top of list and file.
void UpdateHostHistory(const QString &host);

// ---- transactions
extern uint16_t nBytesW;
extern double tstart, tdiff;

// Writes the 36 bytes of szWriteBuf over the link in use. On TCP the answer
// is expected from then on: bytesToRead and dataSize are set to 36 before
// the write, so that an answer arriving during the write is kept.
void WriteTelegram(int tcpTimeoutMs = proto::kTcpWriteTimeoutMs);
// Writes szWriteBuf when no answer follows (automatic sending off).
void WriteTelegramNoAnswer();
// Waits for the 36-byte answer to the telegram just written; leaves
// bytesToRead (0 = complete, anything else = missing, short, too long or not
// an answer to that telegram). A refused answer leaves the input flushed.
// `lineOnly`: a program without a window waits on the line alone.
void WaitAnswer(double seconds = proto::kAnswerTimeoutS, bool lineOnly = false);
// Whether the answer in szReadBuf begins as one to the request in szWriteBuf
// must: the answer sync and the request's order (the version text has neither).
bool AnswerHeadFits();
// Empties the input of the link in use, so that the next request starts clean.
void FlushInput();
// Bytes the line delivered that were no part of an answer: emptied before a
// request, after a refused answer or beyond a whole one. It only grows; an
// answer taken as a frame holds while it stays the same up to the next head.
uint64_t StrayBytes();
void CountStrayBytes(int count);
// Set by the TCP handler when bytes come beyond the awaited answer.
extern bool answerOverrun;
void CheckEcho(int n);
// Builds the request for `order`, writes it and checks that the answer echoes
// its first `echoWords` words; leaves comecho.
void RequestWithEcho(uint16_t order, uint16_t start, int echoWords);
// Empties both serial queues, so that a new exchange starts clean.
void FlushBoth();
void Befehl3plus4();
void SendPara();
void GetPara();
void StopAutoSend();
void ChangeBaudrate();

// ---- failures in words
// "127.0.0.1:10002", "COM1 (/dev/ttyS0)".
QString LinkPlace();
// A program that was given its sensor by name (a device path, host:port)
// names it so in every message instead; empty: LinkPlace's own words.
void SetLinkPlace(const QString &place);
// The telegram in szWriteBuf as the operator knows it: "row 12", "the parameters".
QString LastRequestName();
// Why the last open failed (ret), and what to check.
QString ExplainOpenFailure();
// Why the answer to the telegram in szWriteBuf was refused: none, short, a
// wrong echo, one that belongs to no request, or a closed connection.
QString ExplainAnswerFailure();
// The same as a sentence, to follow what a cut-off transfer left behind.
QString AnswerFailureSentence();

// How far the last SendPara got, so that a write cut off half-way says what
// the sensor now holds.
struct SendProgress {
    bool toEeprom = false;
    bool linkClosed = false;     // the TCP link was closed before the first telegram
    bool paramsAccepted = false; // order 1
    int rowsAccepted = 0;        // rows 0 .. rowsAccepted - 1 are in the sensor's RAM
    bool stored = false;         // order 6 accepted
    bool complete = false;
    bool running = false; // SendPara is under way
};
extern SendProgress sendProgress;
const SendProgress &LastSendProgress();
// What a cut-off SEND left in the sensor and what to do; empty when complete.
QString SendCutNote(const SendProgress &progress);

// ---- framing
// How the bytes of the awaited answer arrived: the write starts it afresh,
// and each time more of the answer is there the time is noted.
// Why an answer that came whole was refused (bytesToRead -1), so that the
// operator is told what the line did rather than only that it failed.
enum AnswerRefusal {
    kNotRefused,
    kForeignAnswer,    // bytes nobody asked for, or a head that fits no request
    kBrokenAnswer,     // a pause inside it
    kValuesOutOfRange, // words no sensor sends
    kFollowedAnswer,   // more bytes came right after it
};
struct AnswerArrival {
    int bytes = 0;
    double last = 0.0;      // Timer when the last of them came off the line
    double widestGap = 0.0; // longest pause between two of them, seconds
    AnswerRefusal refusal = kNotRefused;
    uint64_t strayAtRequest = 0; // StrayBytes() when the request left
    uint64_t request = 0;        // how many telegrams had left, this one included
};
extern AnswerArrival answerArrival;
void BeginAnswerArrival();
// More bytes of the awaited answer, with the times they came off the line.
void NoteAnswerArrival(const double *times, int count);
// Waits until the line has been quiet for `seconds` after the answer; false,
// with the input flushed, when anything came meanwhile. `lineOnly`: a program
// without a window watches the line alone instead of running the event loop,
// which makes each frame cost less processor time.
bool AnswerStaysAlone(double seconds, bool lineOnly = false);

namespace framing {
// A pause inside one telegram longer than this means it broke: well above
// the TCP segment gap and a USB adapter's latency, plus a few byte times on
// a slow serial line.
constexpr double kGapLimitS = 0.03;
constexpr int kGapBytes = 4;
// Bytes right after an answer refuse it at once: the line is watched this
// long after it, within the pause of the GO cycle, so that it costs no speed.
constexpr double kQuietS = 0.005;
// A frame counts only when the line proved clean after it: the next bytes
// were the head of the next answer (or frame), or nothing came for this long,
// longer than a glued fragment's rest is ever late.
constexpr double kProofQuietS = 0.25;

double GapLimit(); // for the link in use
// How many of the first `available` (at most 4) bytes match the head of an
// answer to `order`; 0 when any of them differs.
int HeadMatch(const unsigned char *bytes, int available, uint16_t order);
// Where a whole head lies inside the first telegram of `bytes` (offset 1 on),
// looking past its end when more bytes are there; -1 without one.
int InnerHead(const unsigned char *bytes, int available, uint16_t order);
// Whether a data frame may be a fragment with the start of another answer
// glued on: a head, or the start of one at its end, lies inside it.
bool MayHideHead(const unsigned char *frame);

// Frames the sensor sends by itself, cut out of the bytes as they arrive. A
// frame is taken when the line stayed quiet after it or more bytes follow;
// one that may hide a glued answer's head (MayHideHead) only once the bytes
// after it disprove the glued answer, or the line stayed quiet for
// `proofQuiet`. The values it holds are no evidence either way. A fragment
// (a pause inside it, bytes after it that disprove it) is dropped and
// counted as a skipped frame.
class FrameStream {
  public:
    FrameStream(double gapLimit, double proofQuiet);
    void add(const unsigned char *bytes, int count, double now);
    // The next frame judged whole into frame[0..35]; false while none is.
    bool next(double now, unsigned char *frame);
    unsigned skipped() const;
    int buffered() const { return int(m_bytes.size()); }

  private:
    enum Verdict { No, Yes, Wait };
    static constexpr int kCapacity = 4 * proto::kBufferBytes;
    void drop(int count);
    Verdict judge(int at, double now) const;
    // Whether the bytes after the frame at `at` disprove an answer glued on
    // at `q` inside it.
    Verdict disproven(int at, int q, double now) const;

    double m_gap, m_proofQuiet;
    std::vector<unsigned char> m_bytes;
    std::vector<double> m_times;
    unsigned m_skipped = 0;
    int m_run = 0; // bytes dropped since the last frame taken
};
} // namespace framing
