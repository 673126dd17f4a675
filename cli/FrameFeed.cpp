// The frames command's one polling loop, for a shell as for a plant's
// service: each frame goes to stdout or (--publish) to the broker, the link
// state to the status topic, and with --reconnect a sensor that stops
// answering is reported and its link opened again until it answers, instead
// of ending the tool. Through a shared line it tells, on the status topic and
// at the end, how many exchanges for other clients its frames waited for.
#include "cli/Cli.h"
#include "cli/FrameJson.h"
#include "cli/Frames.h"

#include "feed/Publisher.h"
#include "link/ClientsNote.h"
#include "link/SharedLine.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {
// Pauses between attempts to reach a sensor that went away: a sensor back
// after a power cut is found within seconds, a dead one costs a line in the
// log every 10 s at most.
constexpr double kFirstReconnectPauseS = 1.0;
constexpr double kLongestReconnectPauseS = 10.0;
// The owner of a shared line notes its clients' counts about once a second;
// read as often, never per frame.
constexpr double kOwnerNoteEveryS = 1.0;
} // namespace

int FeedFrames(const LinkTarget &link, uint64_t count, bool json, FrameTime time,
               const feed::FeedOptions *publish, bool reconnect) {
    std::unique_ptr<feed::Publisher> feed;
    QString feedError;
    if (publish) {
        // The feed's thread says its messages as the tool does (one write each).
        feed = std::make_unique<feed::Publisher>(*publish, [](const QString &text) { Say(text); });
        feed->SetLink(feed::LinkState::Connecting, link.Name(), {});
        if (!feed->Start(&feedError)) {
            Say(feedError);
            return kExitSensor;
        }
    }
    const auto state = [&](feed::LinkState s) {
        if (!feed) return;
        // Frames that stop on a shared line: a dashboard is told who holds it.
        const bool stopped = s == feed::LinkState::TimeOut || s == feed::LinkState::Reconnecting;
        feed->SetHeld(stopped ? shared::HeldLineNote() : QString());
        feed->SetLink(s, link.Name(), SensorVersion());
    };
    const auto feedFailed = [&] { return feed && feed->Failed(&feedError); };
    shared::WaitTally waited;
    double nextNote = 0;
    const auto readOwnerNote = [&] {
        nextNote = Timer() + kOwnerNoteEveryS;
        if (shared::TakeClientsNote(shared::LineOwnerInUse(), &waited) && feed)
            feed->SetShared(quint64(waited.displaced()));
    };

    uint64_t done = 0;
    bool headerOut = false;
    int code = kExitOk;
    double pause = kFirstReconnectPauseS;
    double lostAt = 0;
    while (!Interrupted() && !feedFailed()) {
        if (!OpenSensor(link)) {
            code = kExitSensor;
            if (!reconnect) break;
            if (lostAt == 0) lostAt = Timer();
            state(feed::LinkState::Reconnecting);
            WaitProcessingEvents(pause);
            pause = std::min(pause * 2, kLongestReconnectPauseS);
            continue;
        }
        if (lostAt != 0)
            Say(QStringLiteral("%1: the sensor answers again after %2 s")
                    .arg(link.Name())
                    .arg(Timer() - lostAt, 0, 'f', 1));
        lostAt = 0;
        pause = kFirstReconnectPauseS;
        state(feed::LinkState::Polling);
        if (!feed && !json && !headerOut) Out(FrameTsvHeader(time) + "\n");
        headerOut = true;
        if (!FlushOut()) break;
        code = PollFrames(count == 0 ? 0 : count - done, [&](uint64_t, int64_t arrival) {
            ++done;
            if (Timer() >= nextNote) readOwnerNote();
            if (feed) {
                feed->PublishFrame(FrameJson(done, arrival));
                return feedFailed() ? int(kExitSensor) : int(kExitOk);
            }
            // A reader at the other end of a pipe sees each frame as it comes;
            // one that went away, or a full disk, ends the loop.
            return OutLine((json ? FrameJson(done, arrival) : FrameTsvLine(arrival, time)) + '\n');
        });
        // Output that cannot be written is no lost sensor: no reconnecting.
        if (code == kExitOk || !reconnect || feedFailed() || OutputFailure()) break;
        // A time-out: said by the polling loop, published, then the link is
        // opened again as TRY TO CONNECT does.
        lostAt = Timer();
        state(feed::LinkState::TimeOut);
        CloseSensor();
        Say(link.Name() + ": trying to connect again");
    }
    readOwnerNote();
    if (waited.displaced() > 0)
        Say(link.Name() + ": " + feed::SharedReason(quint64(waited.displaced())) +
            " (the frames waited for them on the shared line)");
    if (feedFailed()) {
        Say(feedError);
        code = kExitSensor;
    } else if (OutputFailure()) {
        code = OutputFailure();
    } else if (Interrupted()) {
        code = InterruptExit(); // a service being stopped: 143, which its unit counts as success
    }
    if (feed) {
        feed->Stop();
        // Frames that did not reach the broker (none there, or it went away)
        // are a failure of a counted run; the feed has said how many.
        const feed::FeedCounters c = feed->Counters();
        if (code == kExitOk && !Interrupted() && c.unsent + c.lost > 0) code = kExitSensor;
    }
    return code;
}
