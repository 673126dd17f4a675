// What can be a frame: the bytes of one telegram arrive back to back, begin
// with the answer head, and the line proves clean after them. Without a
// checksum nothing proves a frame right, but a fragment glued to the start
// of the next telegram leaves its rest on the line, and that is told.
#include "link/Link.h"

#include "core/Protocol.h"

#include "platform/Platform.h"

#include <algorithm>

AnswerArrival answerArrival;

namespace {
constexpr int kTelegram = proto::kTelegramBytes;
constexpr int kHeadBytes = 4;

unsigned char HeadByte(int i, uint16_t order) {
    const uint16_t w = i < 2 ? proto::kAnswerSync : order;
    return static_cast<unsigned char>(i % 2 == 0 ? w >> 8 : w & 0xFF);
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

bool MayHideHead(const unsigned char *frame) {
    for (int at = 1; at < kTelegram; ++at)
        if (HeadMatch(frame + at, kTelegram - at, proto::SendFrame) > 0) return true;
    return false;
}

double GapLimit() {
    if (comprotocol != 0) return kGapLimitS;
    // A byte is ten bits on the line; a slow line adds its byte times.
    return kGapLimitS + kGapBytes * 10.0 / double(proto::BaudOfIndex(baudrate));
}

// ---- FrameStream

FrameStream::FrameStream(double gapLimit, double proofQuiet)
    : m_gap(gapLimit), m_proofQuiet(proofQuiet) {}

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

// What follows a frame decides on it. A frame may be a fragment with the
// start of another answer glued on wherever a head, or the start of one,
// lies inside it; that answer's rest would follow it, and then a pause or
// the next head. Each such place must be disproven by the bytes after the
// frame (they break the head, the rest breaks, junk follows right behind
// it, the frame after it breaks) or by a long quiet.
FrameStream::Verdict FrameStream::judge(int at, double now) const {
    const int n = int(m_bytes.size());
    const int have = std::min(n - at, kTelegram);
    if (HeadMatch(m_bytes.data() + at, have, proto::SendFrame) != std::min(have, kHeadBytes))
        return No;
    for (int i = at + 1; i < at + have; ++i)
        if (m_times[size_t(i)] - m_times[size_t(i - 1)] > m_gap) return No;
    if (have < kTelegram) return now - m_times.back() > m_gap ? No : Wait;
    const bool doubtful = MayHideHead(m_bytes.data() + at);
    if (n == at + kTelegram) {
        if (now - m_times.back() >= (doubtful ? m_proofQuiet : m_gap)) return Yes;
        return Wait;
    }
    for (int p = 1; doubtful && p < kTelegram; ++p) {
        if (HeadMatch(m_bytes.data() + at + p, kTelegram - p, proto::SendFrame) == 0) continue;
        const Verdict v = disproven(at, at + p, now);
        if (v != Yes) return v;
    }
    return Yes;
}

FrameStream::Verdict FrameStream::disproven(int at, int q, double now) const {
    const int n = int(m_bytes.size());
    const double quiet = now - m_times.back();
    const auto pause = [this](int i) {
        return m_times[size_t(i)] - m_times[size_t(i - 1)] > m_gap;
    };
    const int head = std::min(n - q, kHeadBytes);
    if (HeadMatch(m_bytes.data() + q, head, proto::SendFrame) != head) return Yes;
    const int restEnd = q + kTelegram;
    if (n < restEnd) return quiet > m_gap ? Yes : Wait;
    for (int i = at + kTelegram + 1; i < restEnd; ++i)
        if (pause(i)) return Yes;
    if (n == restEnd) return quiet > m_gap ? No : Wait;
    if (pause(restEnd)) return No;
    const int after = std::min(n - restEnd, kTelegram);
    if (HeadMatch(m_bytes.data() + restEnd, after, proto::SendFrame) != std::min(after, kHeadBytes))
        return Yes;
    for (int i = restEnd + 1; i < restEnd + after; ++i)
        if (pause(i)) return Yes;
    if (after < kTelegram) return quiet > m_gap ? Yes : Wait;
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
        const Verdict verdict = judge(0, now);
        if (verdict == Wait) return false;
        const bool proven = verdict == Yes;
        if (!proven) {
            drop(1);
            continue;
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

void NoteAnswerArrival(const double *times, int count) {
    for (int i = 0; i < count; ++i) {
        if (answerArrival.bytes > 0)
            answerArrival.widestGap =
                std::max(answerArrival.widestGap, times[i] - answerArrival.last);
        answerArrival.last = std::max(answerArrival.last, times[i]);
        ++answerArrival.bytes;
    }
}

namespace {
uint64_t strayBytes = 0;
} // namespace

uint64_t StrayBytes() {
    return strayBytes;
}

void CountStrayBytes(int count) {
    if (count > 0) strayBytes += uint64_t(count);
}
