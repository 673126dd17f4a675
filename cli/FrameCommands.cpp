// The frames command: frames to stdout or to the broker, polled at the
// window's GO pace. Registered with its options below.
#include "cli/Cli.h"
#include "cli/Frames.h"
#include "cli/Serve.h"

#include "core/Session.h"
#include "feed/FeedOptions.h"
#include "link/Link.h"
#include "live/Live.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <algorithm>

namespace {
// The window's pause between two requests, so that the sensor breathes.
constexpr double kCyclePauseS = 0.010;

// When the frame just taken arrived, as wall-clock milliseconds.
int64_t ArrivalMSecs() {
    const double ago = Timer() - TakenFrameArrival();
    return QDateTime::currentMSecsSinceEpoch() - int64_t(std::max(0.0, ago) * 1000.0 + 0.5);
}
} // namespace

int PollFrames(uint64_t count,
               const std::function<int(uint64_t frame, int64_t arrivalMs)> &onFrame) {
    if (comprotocol == 0) FlushBoth();
    session::poll = 1;
    if (!Interrupted()) RequestFrame();
    for (uint64_t n = 1; (count == 0 || n <= count) && !Interrupted(); ++n) {
        // The pause after the answer is the quiet that proves it whole: one
        // wait per frame, and the next request leaves when the pause is over.
        if (!TakeRequestedFrame(kCyclePauseS, true)) {
            if (Interrupted()) break;
            SayAbout(OpenLink(), ExplainAnswerFailure());
            return kExitSensor;
        }
        TakeTriggerFlag();
        const int64_t arrival = ArrivalMSecs();
        // The next request leaves first; this frame is written out while
        // its answer is on the way, so that the cycle keeps the line's pace.
        if (count == 0 || n < count) RequestFrame();
        if (const int code = onFrame(n, arrival); code != kExitOk) return code;
    }
    session::poll = 0;
    return kExitOk;
}

namespace {
// The feed's options as FeedOptions takes them, from what the command line
// parser has checked (each given once, each with its value).
QStringList FeedWords(const CliArgs &args) {
    QStringList words;
    for (const cmdline::Option &o : feed::FeedOptionDefs())
        if (args.IsSet(o.names.first()))
            words << QStringLiteral("--%1=%2").arg(o.names.first(), args.Value(o.names.first()));
    return words;
}
} // namespace

int CmdFrames(const CliArgs &args, const QList<LinkTarget> &links) {
    QStringList feedWords = FeedWords(args);
    feed::FeedOptions feedOptions;
    bool publish = false;
    QString feedError;
    if (!feed::TakeFeedOptions(&feedWords, &feedOptions, &publish, &feedError)) {
        Say("frames: " + feedError);
        return kExitUsage;
    }
    const bool reconnect = args.IsSet("reconnect");
    // --share-group NAME: shared with that group's members too.
    const QString shareGroup = args.Value("share-group");
    const bool share = args.IsSet("share") || args.IsSet("share-group");
    qint64 count = 0;
    QString format = QStringLiteral("tsv");
    QString time = QStringLiteral("local");
    if (!args.Number("n", 1, Q_INT64_C(1) << 62, &count) ||
        !args.Choice("format", {"tsv", "json"}, &format) ||
        !args.Choice("time", {"local", "iso"}, &time))
        return kExitUsage;
    const bool json = format == "json";
    const FrameTime stamp = time == "iso" ? FrameTime::Iso : FrameTime::Local;
    if (const int code = OneSensor(links, "frames")) return code;
    // The owner of the line for others while the frames run, ended with
    // them; the frames themselves then go through it as any client's do.
    LineOwnerChild owner;
    if (share)
        if (const int code = owner.Start(links.first(), shareGroup)) return code;
    // One loop for every way frames go out: stdout, the broker, with or
    // without reconnecting.
    return ForEachSensor(links, [&](const LinkTarget &link) {
        return FeedFrames(link, uint64_t(count), json, stamp, publish ? &feedOptions : nullptr,
                          reconnect);
    });
}

namespace {
using cmdline::Option;
const CliRegistration kRegistration(

    {"frames",
     "frames [-n N] [--format tsv|json] [--time local|iso] [--reconnect] [--share] "
     "[--share-group G] [--publish URL ...]",
     "polls frames at the window's GO pace and prints them",
     "Polls N frames (default: until Ctrl-C). tsv: the record file's columns under a header "
     "of as many fields, names without spaces, each line stamped with its frame's arrival "
     "(--time iso: ISO 8601 with the zone); json: one object per line. --reconnect: a sensor "
     "time-out does not end it, the link is opened again until the sensor answers; a reader "
     "of stdout that went away ends it all the same. --publish: the frames as JSON to an "
     "MQTT broker instead of stdout, the link state to PREFIX/status. --share: the tool owns "
     "the line as serve does while it runs, so that the window and the tool reach the "
     "sensor beside it; one serve already sharing the line is used as it is.",
     {"tolvane-cli --serial /dev/ttyUSB0 frames -n 100 --format json",
      "tolvane-cli --tcp 10.0.4.21 frames --reconnect --publish mqtt://broker/plant/line1/s3",
      "tolvane-cli --tcp 10.0.4.21 frames --reconnect --share --publish "
      "mqtt://broker/plant/line1/s3"},
     QList<Option>{
         {{"n", "count"}, "N", "the number of frames (default: until Ctrl-C)"},
         {{"format"}, "tsv|json", "tsv (default) or one JSON object per line"},
         TimeFormatOption(),
         {{"reconnect"}, {}, "open the link again after a time-out"},
         {{"share"}, {}, "own the sensor's line for others while it runs"},
         {{"share-group"}, "GROUP", "--share, and the members of GROUP may use the line too"}} +
         feed::FeedOptionDefs(),
     0,
     0,
     true,
     true,
     CmdFrames,
     60,
     true});
} // namespace
