// What can be an answer: the bytes of one telegram arrive back to back, begin
// with the answer head, and a data frame's words lie in their ranges. Without
// a checksum nothing proves a frame right, but a fragment glued to the start
// of the next telegram can be told by these and refused.
#include "link/Link.h"

#include "core/Protocol.h"

#include "platform/Platform.h"

#include <algorithm>

AnswerArrival answerArrival;

namespace {
constexpr int kTelegram = proto::kTelegramBytes;
constexpr int kHeadBytes = 4;
// Words of a data frame on the 12-bit scale: R, G, B, INT, GN.
constexpr int kTwelveBitWords[] = {2, 3, 4, 7, 17};
constexpr uint16_t kTwelveBitMax = 4095;
constexpr int kVectorWord = 8, kGroupWord = 13;
constexpr uint16_t kLastRow = 30;     // rows and groups are numbered 0..30
constexpr uint16_t kErrorState = 255; // no row found, or the intensity too low

unsigned char HeadByte(int i, uint16_t order) {
    const uint16_t w = i < 2 ? proto::kAnswerSync : order;
    return static_cast<unsigned char>(i % 2 == 0 ? w >> 8 : w & 0xFF);
}

uint16_t WordOf(const unsigned char *frame, int k) {
    return static_cast<uint16_t>(frame[2 * k] * 256 + frame[2 * k + 1]);
}

bool RowOrError(uint16_t v) {
    return v <= kLastRow || v == kErrorState;
}
} // namespace

namespace framing {

int HeadMatch(const unsigned char *bytes, int available, uint16_t order) {
    const int n = std::min(available, kHeadBytes);
    for (int i = 0; i < n; ++i)
        if (bytes[i] != HeadByte(i, order)) return 0;
    return n;
}

int InnerHead(const unsigned char *bytes, int available, uint16_t order) {
    const int last = std::min(available, kTelegram) - 1;
    for (int at = 1; at <= last; ++at) {
        const int matched = HeadMatch(bytes + at, available - at, order);
        if (matched == kHeadBytes) return at;
    }
    return -1;
}

bool FrameInRange(const unsigned char *frame) {
    for (int k : kTwelveBitWords)
        if (WordOf(frame, k) > kTwelveBitMax) return false;
    if (!RowOrError(WordOf(frame, kVectorWord))) return false;
    uint16_t group = WordOf(frame, kGroupWord);
    if (group >= proto::kGroupTriggerFlag) group -= proto::kGroupTriggerFlag;
    return RowOrError(group);
}

double GapLimit() {
    if (comprotocol != 0) return kGapLimitS;
    // A byte is ten bits on the line; a slow line adds its byte times.
    return kGapLimitS + kGapBytes * 10.0 / double(proto::BaudOfIndex(baudrate));
}

// ---- FrameStream

FrameStream::FrameStream(double gapLimit, double quiet, double quietDoubt)
    : m_gap(gapLimit), m_quiet(quiet), m_quietDoubt(quietDoubt) {}

void FrameStream::add(const unsigned char *bytes, int count, double now) {
    for (int i = 0; i < count; ++i) {
        if (int(m_bytes.size()) >= kCapacity) {
            // Nobody takes frames out: the oldest bytes are lost, and counted.
            drop(1);
        }
        m_bytes.push_back(bytes[i]);
        m_times.push_back(now);
    }
}

unsigned FrameStream::skipped() const {
    return m_skipped + unsigned((m_run + kTelegram - 1) / kTelegram);
}

void FrameStream::drop(int count) {
    count = std::min(count, int(m_bytes.size()));
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + count);
    m_times.erase(m_times.begin(), m_times.begin() + count);
    m_run += count;
}

bool FrameStream::whole(int at) const {
    for (int i = at + 1; i < at + kTelegram; ++i)
        if (m_times[size_t(i)] - m_times[size_t(i - 1)] > m_gap) return false;
    return FrameInRange(m_bytes.data() + at);
}

FrameStream::Verdict FrameStream::followed(int at, double now) const {
    const int n = int(m_bytes.size());
    if (n < at + kTelegram) return now - m_times.back() > m_gap ? No : Wait;
    if (!whole(at)) return No;
    const int end = at + kTelegram;
    if (n == end) return now - m_times.back() >= m_quietDoubt ? Yes : Wait;
    // Quiet after it, then whatever came later belongs to what comes next.
    if (m_times[size_t(end)] - m_times[size_t(end - 1)] >= m_quietDoubt) return Yes;
    const int matched = HeadMatch(m_bytes.data() + end, n - end, proto::SendFrame);
    if (matched == kHeadBytes) return Yes;
    if (matched == n - end && now - m_times.back() <= m_gap) return Wait;
    return No;
}

bool FrameStream::next(double now, unsigned char *frame) {
    for (;;) {
        const int n = int(m_bytes.size());
        if (n == 0) return false;
        // Align on a head; bytes before it are no frame.
        int at = 0;
        while (at < n && HeadMatch(m_bytes.data() + at, n - at, proto::SendFrame) == 0)
            ++at;
        if (at > 0) {
            drop(at);
            continue;
        }
        // A pause inside the bytes of one frame: what came before it broke off.
        const int assembled = std::min(n, kTelegram);
        int broken = 0;
        for (int i = 1; i < assembled; ++i)
            if (m_times[size_t(i)] - m_times[size_t(i - 1)] > m_gap) broken = i;
        if (broken > 0) {
            drop(broken);
            continue;
        }
        if (n < kTelegram) {
            if (now - m_times.back() > m_gap) drop(n);
            return false;
        }
        if (!FrameInRange(m_bytes.data())) {
            drop(1);
            continue;
        }
        const int inner = InnerHead(m_bytes.data(), n, proto::SendFrame);
        if (inner < 0) {
            // A frame with no other head in it: taken once the line was quiet
            // after it or the next telegram follows.
            if (n == kTelegram && now - m_times.back() < m_quiet) return false;
        } else {
            // Two heads: the earlier frame was a fragment unless it alone is
            // whole and followed as a frame is, and the later one is not.
            const Verdict first = followed(0, now), later = followed(inner, now);
            if (later == Yes || first == No) {
                drop(inner);
                continue;
            }
            if (first == Wait) return false;
        }
        std::copy(m_bytes.begin(), m_bytes.begin() + kTelegram, frame);
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + kTelegram);
        m_times.erase(m_times.begin(), m_times.begin() + kTelegram);
        m_skipped = skipped();
        m_run = 0;
        return true;
    }
}

} // namespace framing

void BeginAnswerArrival() {
    answerArrival = AnswerArrival{};
}

void NoteAnswerArrival(int bytes) {
    if (bytes <= answerArrival.bytes) return;
    const double now = Timer();
    if (answerArrival.bytes > 0)
        answerArrival.widestGap = std::max(answerArrival.widestGap, now - answerArrival.last);
    answerArrival.last = now;
    answerArrival.bytes = bytes;
}
