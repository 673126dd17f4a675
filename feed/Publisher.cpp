// The feed over libmosquitto. One thread per feed owns the broker connection:
// it connects without blocking, runs the client's loop, reconnects after a
// growing pause, publishes the frames and the status. The polling loop only
// appends a frame to a list under a lock: no system call, no waiting.
//
// A frame counts as published only when the broker has shown it took it: its
// acknowledgement (QoS 1), or at QoS 0 the acknowledgement of a status sent
// after it (the broker reads a connection in order). A broker that stops
// answering (hung, stopped, a dead route) keeps its connection open for up to
// two keep-alive periods, and the frames written into it meanwhile vanish when
// it breaks; they are counted as possibly lost, never as published.
#include "feed/Publisher.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mosquitto.h>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace feed {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kKeepAliveSeconds = 10;
// The feed's thread takes the waiting frames this often: the polling loop
// never wakes it, and the broker gets a few frames per write.
constexpr int kLoopWaitMs = 20;
constexpr milliseconds kFirstPause{500};
constexpr milliseconds kLongestPause{10000};
constexpr milliseconds kStatusEvery{1000};
constexpr milliseconds kFirstAnswerWait{5000};
constexpr milliseconds kOfflineWait{2000};
// Frames queued for a broker that takes none (hung, slow link) are refused
// beyond this and counted, so that memory stays bounded.
constexpr qint64 kMaxPendingFrames = 1000;
// A broker that leaves a message unacknowledged this long is taken as silent:
// the status goes once a second, so a live broker answers well within it. At
// QoS 0 frames are then counted unsent instead of written into a connection
// that may be dead.
constexpr milliseconds kSilentAfter{2000};
constexpr char kSystemCaPath[] = "/etc/ssl/certs";
// Link states kept for the next status when they change faster than it goes.
constexpr qsizetype kMaxPassedStates = 8;

// Return code of a refused CONNACK that a later attempt may overcome.
constexpr int kServerUnavailable = 3;

std::once_flag libraryInit;

// The next pause: half as long again, so that a broker back after a
// restart of a few seconds is found soon and one away for long costs an
// attempt every 10 s.
milliseconds Grown(milliseconds pause) {
    return pause + pause / 2;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

const char *LinkStateName(LinkState state) {
    switch (state) {
    case LinkState::Connecting:
        return "connecting";
    case LinkState::Connected:
        return "connected";
    case LinkState::Polling:
        return "polling";
    case LinkState::TimeOut:
        return "time-out";
    case LinkState::Reconnecting:
        return "reconnecting";
    }
    return "";
}

QString SharedReason(quint64 shared) {
    return QString("shared: %1 %2 for another client")
        .arg(shared)
        .arg(shared == 1 ? "exchange" : "exchanges");
}

QByteArray StatusJson(LinkState state, const QString &link, const QString &version, double fps,
                      const FeedCounters &c, qint64 msecsSinceEpoch, const QString &held) {
    QJsonObject o;
    o["state"] = LinkStateName(state);
    o["link"] = link;
    o["version"] = version;
    o["fps"] = state == LinkState::Polling ? qRound(fps * 10) / 10.0 : 0.0;
    o["frames"] = qint64(c.frames);
    o["published"] = qint64(c.published);
    o["unsent"] = qint64(c.unsent);
    o["lost"] = qint64(c.lost);
    o["reconnects"] = qint64(c.reconnects);
    o["shared"] = qint64(c.shared);
    // A held line is why the frames stopped, never why they were polled.
    const bool stopped = state == LinkState::TimeOut || state == LinkState::Reconnecting;
    if (stopped && !held.isEmpty())
        o["reason"] = held;
    else if (c.shared > 0)
        o["reason"] = SharedReason(c.shared);
    o["time"] =
        QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::UTC).toString(Qt::ISODateWithMs);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

struct Publisher::Impl {
    FeedOptions o;
    QByteArray frameTopic;
    std::function<void(const QString &)> notice;
    mosquitto *mosq = nullptr;
    std::thread thread;

    // Frame path, shared with the polling thread.
    std::mutex frameMutex;
    std::atomic<bool> connected{false};
    // Connected, and (QoS 0) the broker not silent: frames are taken.
    std::atomic<bool> taking{false};
    std::atomic<quint64> frames{0}, published{0}, unsent{0}, lost{0}, reconnects{0}, shared{0};
    // Positions in the stream of frames given to the client, counted from the
    // start: handed to it, written to the connection (QoS 0) or acknowledged
    // (QoS 1), and vouched for by the broker. vouched <= written <= handed.
    std::atomic<qint64> handed{0}, written{0}, vouched{0};
    QList<QByteArray> waiting; // frames not yet handed to the client

    // Link state and the first outcome, under mutex.
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool statusDue = true;
    bool fpsRestart = false;
    LinkState state = LinkState::Connecting;
    // States set since the last status, so that a short one (a time-out
    // followed at once by reconnecting) is published too.
    QList<LinkState> passed;
    QString link, version, held;
    enum class Outcome { Pending, Connected, NoBroker, Failed } outcome = Outcome::Pending;
    QString failure;
    QString lastLogError;

    // Owned by the feed thread.
    // Status messages (QoS 1) awaiting the broker's acknowledgement, each with
    // the frames handed before it: its acknowledgement vouches for them.
    std::unordered_map<int, qint64> statusMids;
    // The broker's last answer, or the moment a message began to wait for
    // one when none was waiting.
    Clock::time_point quietSince;
    bool silent = false;
    quint64 unsentAtSilence = 0;
    bool offlineAcked = false;
    int offlineMid = -1;
    bool refusedForGood = false;
    QString refusal;
    Clock::time_point lostAt, silenceFrom;
    bool away = false; // the broker lost or not yet reached
    bool everConnected = false;
    quint64 unsentAtLoss = 0;
    double fps = 0;
    quint64 fpsFrames = 0;
    Clock::time_point fpsSince = Clock::now(), lastStatus;

    void Notice(const QString &text) {
        if (notice)
            notice(text);
        else
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }

    void Settle(Outcome what, const QString &text = {}) {
        std::lock_guard lock(mutex);
        if (what == Outcome::Failed) failure = text;
        if (outcome == Outcome::Pending || what == Outcome::Failed) outcome = what;
        wake.notify_all();
    }

    bool Stopping() {
        std::lock_guard lock(mutex);
        return stopping;
    }

    void Pause(milliseconds d) {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, d, [this] { return stopping; });
    }

    QString Reason(int rc) const {
        if (rc == MOSQ_ERR_ERRNO) return QString::fromLocal8Bit(std::strerror(errno));
        // The client library has no text of its own for this one.
        if (rc == MOSQ_ERR_KEEPALIVE)
            return QString("no answer to its keep-alive within %1 s").arg(kKeepAliveSeconds);
        return QString::fromUtf8(mosquitto_strerror(rc));
    }

    QString LastLogError() {
        std::lock_guard lock(mutex);
        return lastLogError;
    }

    // The connection broke or the feed ends. Frames still waiting, and at
    // QoS 0 frames the client had not yet written, are unsent (it drops them);
    // frames written after the broker's last answer may or may not have
    // arrived. QoS 1 frames are sent again after a reconnect, so they are
    // settled only when the feed ends. Returns the frames newly counted lost.
    quint64 Disconnected(bool ending = false) {
        std::lock_guard lock(frameMutex);
        connected = false;
        taking = false;
        unsent += quint64(waiting.size());
        waiting.clear();
        const qint64 h = handed;
        quint64 doubtful = 0;
        if (o.qos == 0) {
            unsent += quint64(h - written);
            doubtful = quint64(written - vouched);
        } else if (ending) {
            doubtful = quint64(h - vouched);
        } else {
            return 0;
        }
        lost += doubtful;
        written = h;
        vouched = h;
        return doubtful;
    }

    void ConnectionBroken(int rc) {
        const quint64 unsentBefore = unsent;
        const quint64 doubtful = Disconnected();
        silent = false;
        if (!away) {
            away = true;
            lostAt = Clock::now();
            unsentAtLoss = unsentBefore;
            Notice(QString("MQTT broker %1 %2 (%3); trying again, frames not sent meanwhile "
                           "are counted")
                       .arg(o.Address(), everConnected ? "lost" : "not reachable", Reason(rc)) +
                   Doubtful(doubtful));
        }
    }

    static QString Doubtful(quint64 n) {
        return n == 0 ? QString()
                      : QString("; %1 frames sent after its last answer may be lost").arg(n);
    }

    // QoS 1 messages handed to the client that the broker has not acknowledged.
    bool Awaiting() const { return !statusMids.empty() || (o.qos == 1 && handed > vouched); }

    // Something begins to wait for the broker: its silence counts from now.
    void WillAwait() {
        if (!Awaiting()) quietSince = Clock::now();
    }

    // An acknowledgement: the broker is alive, and (QoS 0) it read every
    // frame written before the acknowledged message.
    void Answered(qint64 upTo) {
        quietSince = Clock::now();
        const qint64 v = vouched, to = std::min<qint64>(upTo, written);
        if (to > v) {
            vouched = to;
            published += quint64(to - v);
        }
        if (silent) {
            silent = false;
            taking = bool(connected);
            Notice(QString("MQTT broker %1 answers again after %2 s; %3 frames could not be "
                           "sent meanwhile")
                       .arg(o.Address())
                       .arg(Seconds(Clock::now() - silenceFrom), 0, 'f', 1)
                       .arg(unsent - unsentAtSilence));
        }
    }

    // The broker has left a message unacknowledged too long. At QoS 0 frames
    // are no longer written into its connection; at QoS 1 they wait for it in
    // the client (up to kMaxPendingFrames) and are sent again if it breaks.
    void CheckSilence() {
        if (silent || !Awaiting() || Clock::now() - quietSince < kSilentAfter) return;
        silent = true;
        silenceFrom = quietSince;
        unsentAtSilence = unsent;
        if (o.qos == 0) {
            std::lock_guard lock(frameMutex);
            taking = false;
            unsent += quint64(waiting.size());
            waiting.clear();
        }
        Notice(QString("MQTT broker %1 has not answered for %2 s; %3 frames sent since its last "
                       "answer %4")
                   .arg(o.Address())
                   .arg(Seconds(Clock::now() - quietSince), 0, 'f', 1)
                   .arg(qint64(handed - vouched))
                   .arg(o.qos == 0 ? "may be lost, and frames are not sent until it answers"
                                   : "wait for its acknowledgement"));
    }

    void Connected() {
        if (away) {
            Notice(QString("MQTT broker %1 %2 after %3 s; %4 frames could not be sent "
                           "meanwhile (%5 since the start)")
                       .arg(o.Address(), everConnected ? "back" : "reached")
                       .arg(Seconds(Clock::now() - lostAt), 0, 'f', 1)
                       .arg(unsent - unsentAtLoss)
                       .arg(quint64(unsent)));
            ++reconnects;
        }
        away = false;
        silent = false;
        quietSince = Clock::now();
        everConnected = true;
        {
            std::lock_guard lock(mutex);
            statusDue = true;
        }
        connected = true;
        taking = true;
        Settle(Outcome::Connected);
    }

    void PublishStatus() {
        QList<QByteArray> payloads;
        {
            std::lock_guard lock(mutex);
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            for (const LinkState s : passed)
                payloads << StatusJson(s, link, version, fps, Snapshot(), now, held);
            payloads << StatusJson(state, link, version, fps, Snapshot(), now, held);
            passed.clear();
            statusDue = false;
        }
        const QByteArray topic = o.StatusTopic().toUtf8();
        for (const QByteArray &payload : payloads) {
            int mid = 0;
            WillAwait();
            if (mosquitto_publish(mosq, &mid, topic.constData(), int(payload.size()),
                                  payload.constData(), 1, true) == MOSQ_ERR_SUCCESS)
                statusMids[mid] = handed;
        }
        lastStatus = Clock::now();
    }

    FeedCounters Snapshot() const { return {frames, published, unsent, lost, reconnects, shared}; }

    // Frames per second over the last second of polling; counted afresh
    // when polling starts again, so that a pause does not lower it.
    void UpdateFps() {
        const auto now = Clock::now();
        bool restart;
        {
            std::lock_guard lock(mutex);
            restart = fpsRestart;
            fpsRestart = false;
        }
        if (restart) {
            fps = 0;
            fpsFrames = frames;
            fpsSince = now;
        }
        if (now - fpsSince < kStatusEvery) return;
        const quint64 n = frames;
        fps = double(n - fpsFrames) / Seconds(now - fpsSince);
        fpsFrames = n;
        fpsSince = now;
    }

    // A handshake the broker or the feed refused (certificate not verified,
    // client certificate missing or refused) ends the feed: trying again
    // cannot help. The client library reports a refusal that arrives after
    // the handshake as a lost connection or a failed write with EPROTO.
    bool TlsRefused(int rc) {
        const int err = errno;
        const bool refusedLater =
            (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_ERRNO) && err == EPROTO;
        if (!o.tls || (rc != MOSQ_ERR_TLS && !refusedLater)) return false;
        const QString detail = LastLogError();
        Settle(Outcome::Failed,
               QString("TLS with the MQTT broker %1 failed: the broker's certificate does not "
                       "verify against %2, or the broker refused the client certificate%3")
                   .arg(o.Address(), o.cafile.isEmpty() ? kSystemCaPath : o.cafile,
                        detail.isEmpty() ? QString() : " (" + detail + ")"));
        return true;
    }

    // Hands the waiting frames to the client, on the feed's thread.
    void HandOver() {
        QList<QByteArray> batch;
        {
            std::lock_guard lock(frameMutex);
            batch.swap(waiting);
        }
        for (const QByteArray &payload : batch) {
            if (o.qos == 1) WillAwait();
            // Counted before the call: the client may write it at once, and
            // the written count must never pass the handed one.
            ++handed;
            if (mosquitto_publish(mosq, nullptr, frameTopic.constData(), int(payload.size()),
                                  payload.constData(), o.qos, false) != MOSQ_ERR_SUCCESS) {
                --handed;
                ++unsent;
            }
        }
    }

    void Run();
    void SayOffline();
};

namespace {

void OnConnect(mosquitto *, void *user, int rc) {
    auto *d = static_cast<Publisher::Impl *>(user);
    if (rc == 0) {
        d->Connected();
        return;
    }
    if (rc == kServerUnavailable) return; // the loop reports the refusal and tries again
    d->refusedForGood = true;
    const QString why = QString::fromUtf8(mosquitto_connack_string(rc));
    if (rc == 4 || rc == 5)
        d->refusal = d->o.user.isEmpty()
                         ? QString("MQTT broker %1 refused the connection without a login (%2); "
                                   "give --mqtt-user")
                               .arg(d->o.Address(), why)
                         : QString("MQTT broker %1 refused the login of user \"%2\" (%3)")
                               .arg(d->o.Address(), d->o.user, why);
    else
        d->refusal = QString("MQTT broker %1 refused the connection (%2)").arg(d->o.Address(), why);
}

// Called when the broker acknowledges a QoS 1 message, and when the client
// has written a QoS 0 one.
void OnPublish(mosquitto *, void *user, int mid) {
    auto *d = static_cast<Publisher::Impl *>(user);
    if (mid == d->offlineMid) {
        d->offlineAcked = true;
        d->Answered(d->handed);
        return;
    }
    const auto status = d->statusMids.find(mid);
    if (status != d->statusMids.end()) {
        const qint64 upTo = status->second;
        d->statusMids.erase(status);
        d->Answered(d->o.qos == 0 ? upTo : 0);
        return;
    }
    ++d->written;
    if (d->o.qos == 0) return;
    // A QoS 1 frame's acknowledgement vouches for that frame alone: after a
    // reconnect the client sends the unacknowledged ones again, out of order.
    ++d->vouched;
    ++d->published;
    d->Answered(0);
}

void OnLog(mosquitto *, void *user, int level, const char *text) {
    if (level != MOSQ_LOG_ERR || text == nullptr) return;
    auto *d = static_cast<Publisher::Impl *>(user);
    std::lock_guard lock(d->mutex);
    d->lastLogError = QString::fromUtf8(text);
}

// An encrypted key would make the client library ask on the terminal; the
// feed never waits for a person, so such a key fails instead.
int NoKeyPassword(char *, int, int, void *) {
    return 0;
}

} // namespace

void Publisher::Impl::Run() {
    milliseconds pause = kFirstPause;
    bool socketOpen = false;
    bool everTried = false;
    const QByteArray host = o.host.toUtf8();
    while (!Stopping()) {
        if (!socketOpen) {
            const int rc = everTried ? mosquitto_reconnect_async(mosq)
                                     : mosquitto_connect_async(mosq, host.constData(), o.port,
                                                               kKeepAliveSeconds);
            everTried = true;
            if (TlsRefused(rc)) break;
            if (rc != MOSQ_ERR_SUCCESS) {
                ConnectionBroken(rc);
                Settle(Outcome::NoBroker);
                Pause(pause);
                pause = std::min(Grown(pause), kLongestPause);
                continue;
            }
            socketOpen = true;
        }
        const int rc = mosquitto_loop(mosq, kLoopWaitMs, 1);
        if (refusedForGood) {
            Settle(Outcome::Failed, refusal);
            break;
        }
        if (TlsRefused(rc)) break;
        if (rc != MOSQ_ERR_SUCCESS) {
            socketOpen = false;
            const bool wasConnected = connected;
            ConnectionBroken(rc);
            if (!wasConnected) Settle(Outcome::NoBroker);
            Pause(pause);
            pause = std::min(Grown(pause), kLongestPause);
            continue;
        }
        if (!connected) continue;
        pause = kFirstPause;
        CheckSilence();
        HandOver();
        UpdateFps();
        bool due;
        {
            std::lock_guard lock(mutex);
            due = statusDue;
        }
        if (due || Clock::now() - lastStatus >= kStatusEvery) PublishStatus();
    }
    if (connected) {
        HandOver();
        SayOffline();
    }
    Disconnected(true);
}

// A clean end says "offline" itself, since the broker sends the last will
// only for a connection that breaks; frames still queued go out before it.
void Publisher::Impl::SayOffline() {
    const QByteArray topic = o.StatusTopic().toUtf8();
    int mid = 0;
    if (mosquitto_publish(mosq, &mid, topic.constData(), int(std::strlen(kOfflineText)),
                          kOfflineText, 1, true) == MOSQ_ERR_SUCCESS) {
        offlineMid = mid;
        const auto until = Clock::now() + kOfflineWait;
        while (!offlineAcked && Clock::now() < until)
            if (mosquitto_loop(mosq, kLoopWaitMs, 1) != MOSQ_ERR_SUCCESS) break;
    }
    mosquitto_disconnect(mosq);
    mosquitto_loop(mosq, kLoopWaitMs, 1);
}

Publisher::Publisher(const FeedOptions &options, std::function<void(const QString &)> notice)
    : d(std::make_unique<Impl>()) {
    d->o = options;
    d->frameTopic = options.FrameTopic().toUtf8();
    d->notice = std::move(notice);
}

Publisher::~Publisher() {
    Stop();
    if (d->mosq) mosquitto_destroy(d->mosq);
}

bool Publisher::Start(QString *error) {
    std::call_once(libraryInit, [] { mosquitto_lib_init(); });
    d->mosq = mosquitto_new(nullptr, true, d.get());
    if (!d->mosq) {
        *error = "cannot create the MQTT client";
        return false;
    }
    mosquitto_connect_callback_set(d->mosq, OnConnect);
    mosquitto_publish_callback_set(d->mosq, OnPublish);
    mosquitto_log_callback_set(d->mosq, OnLog);
    const QByteArray topic = d->o.StatusTopic().toUtf8();
    int rc = mosquitto_will_set(d->mosq, topic.constData(), int(std::strlen(kOfflineText)),
                                kOfflineText, 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !d->o.user.isEmpty()) {
        const QByteArray user = d->o.user.toUtf8(), password = d->o.password.toUtf8();
        rc = mosquitto_username_pw_set(d->mosq, user.constData(),
                                       d->o.password.isEmpty() ? nullptr : password.constData());
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = QString("MQTT: %1").arg(mosquitto_strerror(rc));
        return false;
    }
    if (d->o.tls) {
        const QByteArray ca = d->o.cafile.toLocal8Bit(), cert = d->o.certfile.toLocal8Bit(),
                         key = d->o.keyfile.toLocal8Bit();
        rc = mosquitto_tls_set(d->mosq, ca.isEmpty() ? nullptr : ca.constData(),
                               ca.isEmpty() ? kSystemCaPath : nullptr,
                               cert.isEmpty() ? nullptr : cert.constData(),
                               key.isEmpty() ? nullptr : key.constData(), NoKeyPassword);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = QString("TLS files for the MQTT broker cannot be used (%1)")
                         .arg(mosquitto_strerror(rc));
            return false;
        }
    }
    d->thread = std::thread([this] { d->Run(); });
    std::unique_lock lock(d->mutex);
    d->wake.wait_for(lock, kFirstAnswerWait,
                     [this] { return d->outcome != Impl::Outcome::Pending; });
    if (d->outcome != Impl::Outcome::Failed) return true;
    *error = d->failure;
    return false;
}

void Publisher::PublishFrame(const QByteArray &payload) {
    const quint64 n = ++d->frames;
    if ((n - 1) % quint64(d->o.every) != 0) return;
    std::lock_guard lock(d->frameMutex);
    if (!d->taking || d->waiting.size() + d->handed - d->written >= kMaxPendingFrames) {
        ++d->unsent;
        return;
    }
    d->waiting.append(payload);
}

void Publisher::SetLink(LinkState state, const QString &link, const QString &version) {
    std::lock_guard lock(d->mutex);
    if (state == d->state && link == d->link && version == d->version) return;
    if (state != d->state) {
        if (d->statusDue && d->passed.size() < kMaxPassedStates) d->passed << d->state;
        d->fpsRestart = state == LinkState::Polling;
    }
    d->state = state;
    d->link = link;
    d->version = version;
    d->statusDue = true;
}

void Publisher::SetShared(quint64 shared) {
    d->shared = shared;
}

void Publisher::SetHeld(const QString &note) {
    std::lock_guard lock(d->mutex);
    if (note == d->held) return;
    d->held = note;
    d->statusDue = true;
}

bool Publisher::Failed(QString *error) const {
    std::lock_guard lock(d->mutex);
    if (d->outcome != Impl::Outcome::Failed) return false;
    *error = d->failure;
    return true;
}

FeedCounters Publisher::Counters() const {
    return d->Snapshot();
}

void Publisher::Stop() {
    {
        std::lock_guard lock(d->mutex);
        d->stopping = true;
        d->wake.notify_all();
    }
    if (d->thread.joinable()) {
        d->thread.join();
        if (d->unsent > 0)
            d->Notice(QString("%1 frames could not be sent to the MQTT broker %2")
                          .arg(quint64(d->unsent))
                          .arg(d->o.Address()) +
                      Impl::Doubtful(d->lost));
        else if (d->lost > 0)
            d->Notice(QString("%1 frames sent to the MQTT broker %2 after its last answer may "
                              "be lost")
                          .arg(quint64(d->lost))
                          .arg(d->o.Address()));
    }
}

} // namespace feed
