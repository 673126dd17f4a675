// The simulated sensor's answers: every order of the protocol, the injected
// faults, the data frame, and the bookkeeping of what it received.
#include "sim/Simulator.h"

#include "core/Protocol.h"
#include "sim/Words.h"

#include <QTimer>

namespace tsim {

namespace {
constexpr int kStoreDeafMs = 300;     // EEPROM write after order 6
constexpr int kAnnounceDeafMs = 100;  // table preparation after order 180
constexpr int kUnsolicitedGapMs = 20; // unasked bytes follow the answer after this gap
constexpr int kDefaultDelayMs = 4000; // beyond the program's 3 s answer wait
constexpr int kDefaultStray = 7;
constexpr int kStrayGapMs = 5;  // stray bytes and answer arrive as two pieces
constexpr int kSplitGapMs = 50; // the rest of a split answer comes this much later
constexpr int kDefaultHalf = 18;

int EchoWords(const QByteArray &request) {
    switch (WordAt(request, 1)) {
    case proto::WriteParams:
        return 18;
    case proto::WriteRow:
        return 11;
    case proto::StoreEeprom:
    case proto::LoadEeprom:
    case proto::AnnounceThirdRoot:
        return 2;
    case proto::WriteCalib:
        return 5;
    case proto::WriteThirdRoot:
        return std::min<int>(WordAt(request, 3), proto::kThirdRootPiece) + 4;
    case proto::ChangeBaud:
        return 3;
    case proto::ReadParams:
    case proto::ReadRow:
    case proto::SendFrame:
    case proto::SendVersion:
    case proto::ReadCalib:
        return 0;
    default:
        return proto::kWords;
    }
}

const struct {
    Fault kind;
    const char *name;
} kFaultNames[] = {
    {Fault::None, "none"},
    {Fault::NoAnswer, "no-answer"},
    {Fault::ShortAnswer, "short-answer"},
    {Fault::ExtraBytes, "extra-bytes"},
    {Fault::WrongEcho, "wrong-echo"},
    {Fault::WrongSync, "wrong-sync"},
    {Fault::Delay, "delay"},
    {Fault::Disconnect, "disconnect"},
    {Fault::Unsolicited, "unsolicited"},
    {Fault::Stray, "stray"},
    {Fault::SplitAnswer, "split-answer"},
    {Fault::HalfFrame, "half-frame"},
    {Fault::StrayHead, "stray-head"},
};

QString Squeezed(QString s) {
    return s.remove(QLatin1Char('-')).remove(QLatin1Char('_')).toLower();
}
} // namespace

QString FaultName(Fault kind) {
    for (const auto &f : kFaultNames)
        if (f.kind == kind) return QString::fromLatin1(f.name);
    return QString();
}

bool ParseFault(const QString &text, FaultPlan *out) {
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.isEmpty() || parts.size() > 4) return false;
    FaultPlan plan;
    bool known = false;
    for (const auto &f : kFaultNames) {
        if (Squeezed(QString::fromLatin1(f.name)) == Squeezed(parts[0].trimmed())) {
            plan.kind = f.kind;
            known = true;
        }
    }
    if (!known) return false;
    int *fields[] = {&plan.telegram, &plan.amount, &plan.delayMs};
    for (int i = 1; i < parts.size(); ++i) {
        bool ok = false;
        const int v = parts[i].trimmed().toInt(&ok);
        if (!ok || v < 0) return false;
        *fields[i - 1] = v;
    }
    *out = plan;
    return true;
}

void Simulator::handle(LinkKind link, const QByteArray &request) {
    if (link == LinkKind::Pty && m_ptyDead)
        return; // the cable is out: later telegrams of the same read never arrive
    m_active = link;
    logRequest(request);
    emit requestReceived(request);

    const QList<FaultPlan> hits = faultsHit(false);
    auto hitOf = [&hits](Fault k) -> const FaultPlan * {
        for (const auto &h : hits)
            if (h.kind == k) return &h;
        return nullptr;
    };

    if (m_clock.elapsed() < m_deafUntil || hitOf(Fault::NoAnswer)) return;

    bool silent = false;
    std::function<void()> after;
    QByteArray reply = answer(request, &silent, &after);
    int extraDelay = 0;
    if (!silent) {
        if (hitOf(Fault::WrongSync)) PutWord(reply, 0, proto::kRequestSync);
        if (const FaultPlan *f = hitOf(Fault::WrongEcho)) {
            const int echo = EchoWords(request);
            int index = f->amount > 0 ? f->amount : (echo > 0 ? 2 * echo - 1 : 3);
            index = std::clamp(index, 0, proto::kTelegramBytes - 1);
            reply[index] = char(reply[index] ^ 0x01);
        }
        if (const FaultPlan *f = hitOf(Fault::ShortAnswer))
            reply.chop(std::clamp(f->amount > 0 ? f->amount : 1, 0, int(reply.size())));
        if (const FaultPlan *f = hitOf(Fault::ExtraBytes))
            reply.append(QByteArray(f->amount > 0 ? f->amount : 2, char(0xEE)));
        if (const FaultPlan *f = hitOf(Fault::Delay))
            extraDelay = f->amount > 0 ? f->amount : kDefaultDelayMs;
        if (const FaultPlan *f = hitOf(Fault::SplitAnswer)) {
            const int n =
                std::clamp(f->amount > 0 ? f->amount : kDefaultStray, 1, proto::kTelegramBytes - 1);
            const QByteArray tail = reply.right(n);
            reply = dataFrame(proto::SendFrame).left(n) + reply.left(reply.size() - n);
            queue(link, reply, extraDelay, {}, wireTimeUs());
            reply = tail;
            extraDelay += f->delayMs >= 0 ? f->delayMs : kSplitGapMs;
        }
        if (const FaultPlan *f = hitOf(Fault::Stray)) {
            queue(link, dataFrame(proto::SendFrame).left(f->amount > 0 ? f->amount : kDefaultStray),
                  extraDelay, {});
            extraDelay += kStrayGapMs;
        }
        // The request, too, took its wire time to arrive.
        queue(link, reply, extraDelay, after, wireTimeUs());
    }
    if (const FaultPlan *f = hitOf(Fault::Unsolicited)) {
        const int n = f->amount > 0 ? f->amount : proto::kTelegramBytes;
        const QByteArray frame = dataFrame(proto::SendFrame);
        QByteArray junk;
        while (junk.size() < n)
            junk.append(frame);
        junk.truncate(n);
        queue(link, junk, extraDelay + kUnsolicitedGapMs, {});
    }
    if (hitOf(Fault::Disconnect)) queue(link, QByteArray(), 0, [this, link] { dropLink(link); });
}

QByteArray Simulator::answer(const QByteArray &request, bool *silent,
                             std::function<void()> *after) {
    const uint16_t order = WordAt(request, 1);
    QByteArray a(proto::kTelegramBytes, '\0');
    PutWord(a, 0, proto::kAnswerSync);
    PutWord(a, 1, order);
    auto echo = [&](int words) { a.replace(4, 2 * words - 4, request.mid(4, 2 * words - 4)); };
    SensorState &s = m_state;

    switch (order) {
    case proto::WriteParams:
        for (int i = 0; i < proto::kParamWords; ++i)
            s.ramParams[i] = WordAt(request, 2 + i);
        echo(18);
        break;
    case proto::WriteRow: {
        const uint16_t row = WordAt(request, 2);
        if (row < proto::kRows)
            for (int k = 0; k < proto::kRowWords; ++k)
                s.ramRows[row][k] = WordAt(request, 3 + k);
        echo(11);
        break;
    }
    case proto::ReadParams:
        for (int i = 0; i < proto::kParamWords; ++i)
            PutWord(a, 2 + i, s.ramParams[i]);
        break;
    case proto::ReadRow: {
        const uint16_t row = WordAt(request, 2);
        PutWord(a, 2, row);
        if (row < proto::kRows)
            for (int k = 0; k < proto::kRowWords; ++k)
                PutWord(a, 3 + k, s.ramRows[row][k]);
        break;
    }
    case proto::SendFrame:
        return dataFrame(order);
    case proto::StoreEeprom:
        std::copy(&s.ramParams[0], &s.ramParams[0] + 16, s.eepromParams);
        std::copy(&s.ramRows[0][0], &s.ramRows[0][0] + 31 * 8, &s.eepromRows[0][0]);
        s.eepromBaudIndex = s.baudIndex;
        if (m_storeTime) m_deafUntil = m_clock.elapsed() + kStoreDeafMs;
        echo(2);
        break;
    case proto::SendVersion:
        return s.version.leftJustified(proto::kVersionBytes, ' ', true);
    case proto::LoadEeprom:
        std::copy(&s.eepromParams[0], &s.eepromParams[0] + 16, s.ramParams);
        std::copy(&s.eepromRows[0][0], &s.eepromRows[0][0] + 31 * 8, &s.ramRows[0][0]);
        echo(2);
        break;
    case proto::WriteCalib:
        for (int i = 0; i < 3; ++i)
            s.cf[i] = WordAt(request, 2 + i);
        echo(5);
        break;
    case proto::ReadCalib:
        for (int i = 0; i < 3; ++i)
            PutWord(a, 2 + i, s.cf[i]);
        break;
    case proto::AutoSend:
        s.autoSend = WordAt(request, 2) != 0;
        updateAutoSend();
        *silent = true;
        break;
    case proto::AnnounceThirdRoot:
        if (m_storeTime) m_deafUntil = m_clock.elapsed() + kAnnounceDeafMs;
        echo(2);
        break;
    case proto::WriteThirdRoot: {
        const int address = WordAt(request, 2);
        const int count = std::min<int>(WordAt(request, 3), proto::kThirdRootPiece);
        for (int i = 0; i < count; ++i) {
            const int index = address + i - proto::kThirdRootAddress;
            if (index >= 0 && index < proto::kThirdRootCount)
                s.thirdRoot[index] = WordAt(request, 4 + i);
        }
        echo(count + 4);
        break;
    }
    case proto::ChangeBaud: {
        const int index = WordAt(request, 2);
        echo(3);
        // The answer still goes out at the old rate; the line switches after it.
        *after = [this, index] {
            m_state.baudIndex = index;
            applyLineRate();
        };
        break;
    }
    default:
        a = request;
        PutWord(a, 0, proto::kAnswerSync);
        break;
    }
    return a;
}

QByteArray Simulator::dataFrame(uint16_t order) {
    const Frame f = measure();
    ++m_frameCount;
    const bool triggering = m_state.autoSend || m_state.ramParams[PTrigger] != 0;
    const bool trigger =
        m_triggerEvery > 0 && triggering && m_frameCount % quint64(m_triggerEvery) == 0;
    const uint16_t words[16] = {
        f.r,    f.g,         f.b,     f.x,
        f.y,    f.intensity, f.color, f.rawR,
        f.rawG, f.rawB,      f.temp,  uint16_t(f.group + (trigger ? proto::kGroupTriggerFlag : 0)),
        f.ref,  f.dir,       f.dif,   f.gn};
    QByteArray a(proto::kTelegramBytes, '\0');
    PutWord(a, 0, proto::kAnswerSync);
    PutWord(a, 1, order);
    for (int i = 0; i < 16; ++i)
        PutWord(a, 2 + i, words[i]);
    for (auto it = m_frameWords.cbegin(); it != m_frameWords.cend(); ++it)
        PutWord(a, it.key(), it.value());
    return a;
}

SensorState &Simulator::state() {
    return m_state;
}
int Simulator::baudIndex() const {
    return m_state.baudIndex;
}

void Simulator::restart() {
    std::copy(&m_state.eepromParams[0], &m_state.eepromParams[0] + 16, m_state.ramParams);
    std::copy(&m_state.eepromRows[0][0], &m_state.eepromRows[0][0] + 31 * 8,
              &m_state.ramRows[0][0]);
    m_state.baudIndex = m_state.eepromBaudIndex;
    m_state.autoSend = false;
    updateAutoSend();
    applyLineRate();
    for (auto &rx : m_rx)
        rx.clear();
    m_deafUntil = 0;
}

void Simulator::setScene(const QList<Target> &targets) {
    m_scene = targets;
}
QList<Target> Simulator::scene() const {
    return m_scene;
}
void Simulator::setTarget(int index) {
    m_fixedTarget = index;
}
void Simulator::setDwellMs(int ms) {
    m_dwellMs = std::max(1, ms);
}
void Simulator::setSeed(quint32 seed) {
    m_noise.reseed(seed);
}
void Simulator::setNoiseEnabled(bool on) {
    m_noiseOn = on;
}
void Simulator::setTriggerEvery(int frames) {
    m_triggerEvery = std::max(0, frames);
}

int Simulator::currentTarget() const {
    if (m_scene.isEmpty()) return -1;
    if (m_fixedTarget >= 0) return m_fixedTarget % m_scene.size();
    return int((m_clock.elapsed() / m_dwellMs) % m_scene.size());
}

Frame Simulator::measure() {
    const int index = currentTarget();
    const Target nothing{QString(), 0, 0, 0, 0};
    const Target &t = index >= 0 ? m_scene[index] : nothing;
    return Measure(m_state, t, m_clock.elapsed() / 1000.0, m_noiseOn ? &m_noise : nullptr);
}

// ---------------------------------------------------------------- faults

namespace {
bool Automatic(Fault kind) {
    return kind == Fault::HalfFrame || kind == Fault::StrayHead;
}
} // namespace

QList<FaultPlan> Simulator::faultsHit(bool automatic) {
    QList<FaultPlan> hits;
    QList<int> hitAt;
    for (int i = 0; i < m_faults.size();) {
        Armed &a = m_faults[i];
        if (Automatic(a.plan.kind) != automatic) {
            ++i;
            continue;
        }
        ++a.seen;
        const bool hit = a.plan.telegram == 0 || a.seen == a.plan.telegram;
        if (hit) {
            hits.append(a.plan);
            hitAt.append(a.seen);
        }
        if (hit && a.plan.telegram != 0)
            m_faults.removeAt(i);
        else
            ++i;
    }
    for (int i = 0; i < hits.size(); ++i)
        emit faultHit(hits[i], hitAt[i]);
    return hits;
}

QByteArray Simulator::autoFrame() {
    QByteArray frame = dataFrame(proto::SendFrame);
    for (const FaultPlan &f : faultsHit(true)) {
        if (f.kind == Fault::HalfFrame)
            frame.truncate(
                std::clamp(f.amount > 0 ? f.amount : kDefaultHalf, 1, proto::kTelegramBytes - 1));
        else if (f.kind == Fault::StrayHead) {
            const int n =
                std::clamp(f.amount > 0 ? f.amount : kDefaultStray, 1, proto::kTelegramBytes - 1);
            const QByteArray stray = dataFrame(proto::SendFrame).left(n);
            if (f.delayMs < 0) {
                queue(m_active, stray, 0, {});
                continue;
            }
            // Glued on, and the frame's rest comes later: the whole as one
            // telegram's length first.
            queue(m_active, stray + frame.left(frame.size() - n), 0, {});
            const QByteArray rest = frame.right(n);
            frame.clear();
            queue(m_active, rest, f.delayMs, {});
        }
    }
    return frame;
}

void Simulator::setFrameWord(int word, int value) {
    if (value < 0)
        m_frameWords.remove(word);
    else if (word >= 2 && word < proto::kWords)
        m_frameWords[word] = uint16_t(value);
}

void Simulator::armFault(const FaultPlan &f) {
    if (f.kind != Fault::None) m_faults.append({f, 0});
}

void Simulator::clearFaults() {
    m_faults.clear();
    m_ptyDead = false;
}

QList<FaultPlan> Simulator::armedFaults() const {
    QList<FaultPlan> out;
    for (const auto &a : m_faults)
        out.append(a.plan);
    return out;
}

void Simulator::logRequest(const QByteArray &request) {
    ++m_requestTotal;
    ++m_ordersSeen[WordAt(request, 1)];
    if (m_requests.size() < kRequestLog) {
        m_requests.append(request);
        return;
    }
    m_requests[m_requestNext] = request;
    m_requestNext = (m_requestNext + 1) % kRequestLog;
}

QList<QByteArray> Simulator::requests() const {
    return m_requests.mid(m_requestNext) + m_requests.first(m_requestNext);
}
qint64 Simulator::requestCount() const {
    return m_requestTotal;
}
qint64 Simulator::requestCount(uint16_t order) const {
    return m_ordersSeen.value(order);
}
void Simulator::clearRequests() {
    m_requests.clear();
    m_requestNext = 0;
    m_requestTotal = 0;
    m_ordersSeen.clear();
}

} // namespace tsim
