// The commands that take frames: frames (to stdout) and record (a counted
// recording into a record file).
#include "cli/Cli.h"
#include "cli/Frames.h"
#include "cli/Serve.h"

#include "core/Session.h"
#include "feed/FeedOptions.h"
#include "link/Link.h"
#include "live/Live.h"
#include "platform/Platform.h"
#include "recorder/Recorder.h"
#include "uir_ids.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {
// The window's pause between two requests, so that the sensor breathes.
constexpr double kCyclePauseS = 0.010;

int OneSensor(const QList<LinkTarget> &links, const char *command) {
    if (links.size() <= 1) return kExitOk;
    Say(QStringLiteral("%1 works with one sensor at a time").arg(command));
    return kExitUsage;
}
} // namespace

namespace {
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
// Cuts a torn last line (a write that failed half-way) off a record file, so
// that every line kept is whole.
void KeepWholeLines(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) return;
    const qint64 size = f.size();
    const qint64 from = std::max<qint64>(0, size - 4096);
    f.seek(from);
    const qsizetype lastEnd = f.read(size - from).lastIndexOf('\n');
    if (lastEnd >= 0 && from + lastEnd + 1 < size) f.resize(from + lastEnd + 1);
}
} // namespace

int CmdRecord(const CliArgs &args, const QList<LinkTarget> &links) {
    qint64 count = 0, interval = 0;
    const QString out = args.Value("o");
    const bool allOrNothing = args.IsSet("all-or-nothing");
    if (!args.Number("n", 1, 65535, &count) || !args.Number("i", 1, 65535, &interval))
        return kExitUsage;
    if (count == 0 || interval == 0 || out.isEmpty()) {
        Say("record needs -n N, -i SECONDS and -o FILE");
        return kExitUsage;
    }
    if (const int code = OneSensor(links, "record")) return code;
    // The recording goes into a file beside the target, renamed when it
    // ends: the named file is never a half-written one, and an earlier file
    // of that name stays until there is something to put in its place. For
    // stdout (-) the file lies in a folder of its own and is copied out.
    const bool toStdout = IsStdStream(out);
    QTemporaryDir spool;
    const QString part =
        toStdout ? spool.filePath("record.dat") : QFileInfo(out).absoluteFilePath() + ".part";
    const QString where = toStdout ? QStringLiteral("stdout") : out;
    recFileName = part;
    if (!WriteFileHeader()) {
        Say(QStringLiteral("the record file %1 cannot be written").arg(out));
        return kExitUsage;
    }
    QString cut; // how the recording ended early, if it did
    const int code = ForEachSensor(links, [&](const LinkTarget &link) {
        if (!OpenSensor(link)) return int(kExitSensor);
        // The recorder panel's counted mode, as START RECORD runs it.
        SetCtrlVal(recpanel, RECP_EditSelectDataRec, int(kRecCounted));
        SetCtrlVal(recpanel, RECP_EditInterval, int(interval));
        SetCtrlVal(recpanel, RECP_EditRecVal, int(count));
        BeginRecordTally();
        RecordFrame();
        if (Interrupted()) {
            cut = QStringLiteral("interrupted after %1 of %2 lines").arg(otcrec).arg(count);
            return InterruptExit();
        }
        if (otcrec != count) {
            cut = AboutLink(link, QStringLiteral("%1 after %2 of %3 lines")
                                      .arg(ExplainAnswerFailure())
                                      .arg(otcrec)
                                      .arg(count));
            return int(kExitSensor);
        }
        if (recTally.lost != 0) {
            cut = QStringLiteral("%1 of %2 lines could not be written to %3")
                      .arg(recTally.lost)
                      .arg(count)
                      .arg(where);
            return int(kExitUsage);
        }
        return int(kExitOk);
    });
    if (!cut.isEmpty()) Say(cut);
    const unsigned kept = recTally.written;
    const bool keep = code == kExitOk || (!allOrNothing && kept > 0);
    if (keep) KeepWholeLines(part);
    bool written = false;
    if (keep && toStdout) {
        QFile file(part);
        if (file.open(QIODevice::ReadOnly)) Out(file.readAll());
        // A stdout that fails is said once, when the tool ends.
        if (!FlushOut() || file.error() != QFile::NoError) return WorseExit(code, OutputFailure());
        written = true;
    } else if (keep) {
        written = std::rename(qPrintable(part), qPrintable(out)) == 0;
    }
    if (written) {
        if (code != kExitOk)
            Say(QStringLiteral("the %1 line%2 recorded so far %3 %4")
                    .arg(kept)
                    .arg(kept == 1 ? "" : "s", kept == 1 ? "is" : "are",
                         toStdout ? QStringLiteral("written to stdout") : "kept in " + out));
        else if (!toStdout)
            Say(QStringLiteral("%1 lines recorded in %2").arg(count).arg(out));
        return code;
    }
    QFile::remove(part);
    if (keep) Say(QStringLiteral("the record file %1 cannot be written").arg(out));
    Say(QStringLiteral("%1 was not written").arg(toStdout ? QStringLiteral("the record") : out));
    return keep && code == kExitOk ? int(kExitUsage) : code;
}
