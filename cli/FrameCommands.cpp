// The commands that take frames: frames (to stdout) and record (a counted
// recording into a record file).
#include "cli/Cli.h"
#include "cli/FrameJson.h"
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
#include <algorithm>
#include <cstdio>

namespace {
// The window's pause between two requests, so that the sensor breathes.
constexpr double kCyclePauseS = 0.010;

// A whole number from 1 to max after an option; false otherwise.
bool TakeCount(const QStringList &args, int at, qint64 max, qint64 *out) {
    if (at + 1 >= args.size()) return false;
    bool ok = false;
    const qint64 v = args[at + 1].toLongLong(&ok);
    if (!ok || v < 1 || v > max) return false;
    *out = v;
    return true;
}

int OneSensor(const QList<LinkSpec> &links, const char *command) {
    if (links.size() <= 1) return kExitOk;
    Say(QStringLiteral("%1 works with one sensor at a time").arg(command));
    return kExitUsage;
}
} // namespace

namespace {
int64_t g_frameArrivalMs = 0;

int64_t ArrivalMSecs() {
    const double ago = Timer() - answerArrival.last;
    return QDateTime::currentMSecsSinceEpoch() - int64_t(std::max(0.0, ago) * 1000.0 + 0.5);
}
} // namespace

int64_t FrameArrivalMSecs() {
    return g_frameArrivalMs;
}

int PollFrames(uint64_t count, const std::function<int(uint64_t frame)> &onFrame) {
    if (comprotocol == 0) FlushBoth();
    session::poll = 1;
    if (!Interrupted()) RequestFrame();
    for (uint64_t n = 1; (count == 0 || n <= count) && !Interrupted(); ++n) {
        // The pause after the answer is the quiet that proves it whole: one
        // wait per frame, and the next request leaves when the pause is over.
        if (!TakeRequestedFrame(kCyclePauseS)) {
            if (Interrupted()) break;
            Say(OpenLink().Name() + ": " + ExplainAnswerFailure());
            return kExitSensor;
        }
        TakeTriggerFlag();
        g_frameArrivalMs = ArrivalMSecs();
        // The next request leaves first; this frame is written out while
        // its answer is on the way, so that the cycle keeps the line's pace.
        if (count == 0 || n < count) RequestFrame();
        if (const int code = onFrame(n); code != kExitOk) return code;
    }
    session::poll = 0;
    return kExitOk;
}

int CmdFrames(const QStringList &commandArgs, const QList<LinkSpec> &links) {
    QStringList args = commandArgs;
    feed::FeedOptions feedOptions;
    bool publish = false;
    QString feedError;
    if (!feed::TakeFeedOptions(&args, &feedOptions, &publish, &feedError)) {
        Say("frames: " + feedError);
        return kExitUsage;
    }
    const bool reconnect = args.removeAll("--reconnect") > 0;
    bool share = args.removeAll("--share") > 0;
    QString shareGroup; // --share-group NAME: shared with that group's members too
    if (const int at = args.indexOf("--share-group"); at >= 0 && at + 1 < args.size()) {
        shareGroup = args[at + 1];
        args.remove(at, 2);
        share = true;
    }
    qint64 count = 0;
    bool json = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "-n") {
            if (!TakeCount(args, i++, Q_INT64_C(1) << 62, &count)) {
                Say("frames: -n takes a whole number from 1 on");
                return kExitUsage;
            }
        } else if (args[i] == "--format" && i + 1 < args.size() &&
                   (args[i + 1] == "tsv" || args[i + 1] == "json")) {
            json = args[++i] == "json";
        } else {
            Say(QStringLiteral("frames: unexpected \"%1\" (-n N, --format tsv|json, --reconnect, "
                               "--publish URL ...)")
                    .arg(args[i]));
            return kExitUsage;
        }
    }
    if (const int code = OneSensor(links, "frames")) return code;
    LineOwnerChild owner;
    if (share)
        if (const int code =
                owner.Start(links.isEmpty() ? StoredLink() : links.first(), shareGroup))
            return code;
    if (publish || reconnect)
        return ForEachSensor(links, [&](const LinkSpec &link) {
            return FeedFrames(link, uint64_t(count), json, publish ? &feedOptions : nullptr,
                              reconnect);
        });
    return ForEachSensor(links, [&](const LinkSpec &link) {
        if (!OpenSensor(link)) return int(kExitSensor);
        // The record file's header and lines, with plain line ends for a pipe.
        if (!json) Out(RecordHeaderText().chopped(2) + "\n");
        std::fflush(stdout);
        return PollFrames(uint64_t(count), [&](uint64_t n) {
            QByteArray line =
                json ? FrameJson(n, FrameArrivalMSecs()) : RecordLineText().chopped(2);
            line += '\n';
            Out(line);
            // A reader at the other end of a pipe sees each frame as it comes;
            // one that went away ends the loop.
            return std::fflush(stdout) == 0 ? int(kExitOk) : int(kExitSensor);
        });
    });
}

int CmdRecord(const QStringList &args, const QList<LinkSpec> &links) {
    qint64 count = 0, interval = 0;
    QString out;
    for (int i = 0; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == "-n")
            ok = TakeCount(args, i++, 65535, &count);
        else if (args[i] == "-i")
            ok = TakeCount(args, i++, 65535, &interval);
        else if (args[i] == "-o" && i + 1 < args.size())
            out = args[++i];
        else
            ok = false;
        if (!ok) {
            Say(QStringLiteral("record: -n N and -i SECONDS take whole numbers from 1 to 65535, "
                               "-o FILE names the record file (\"%1\")")
                    .arg(args[i]));
            return kExitUsage;
        }
    }
    if (count == 0 || interval == 0 || out.isEmpty()) {
        Say("record needs -n N, -i SECONDS and -o FILE");
        return kExitUsage;
    }
    if (const int code = OneSensor(links, "record")) return code;
    // The recording goes into a file beside the target, renamed when every
    // line is in: a lost link never leaves a half-written record file.
    const QString part = QFileInfo(out).absoluteFilePath() + ".part";
    recFileName = part;
    if (!WriteFileHeader()) {
        Say(QStringLiteral("the record file %1 cannot be written").arg(out));
        return kExitUsage;
    }
    const int code = ForEachSensor(links, [&](const LinkSpec &link) {
        if (!OpenSensor(link)) return int(kExitSensor);
        // The recorder panel's counted mode, as START RECORD runs it.
        SetCtrlVal(recpanel, RECP_EditSelectDataRec, int(kRecCounted));
        SetCtrlVal(recpanel, RECP_EditInterval, int(interval));
        SetCtrlVal(recpanel, RECP_EditRecVal, int(count));
        BeginRecordTally();
        RecordFrame();
        if (Interrupted()) {
            Say(QStringLiteral("interrupted after %1 of %2 lines").arg(otcrec).arg(count));
            return int(kExitSensor);
        }
        if (otcrec != count) {
            Say(QStringLiteral("%1: %2 after %3 of %4 lines")
                    .arg(link.Name(), ExplainAnswerFailure())
                    .arg(otcrec)
                    .arg(count));
            return int(kExitSensor);
        }
        if (recTally.lost != 0) {
            Say(QStringLiteral("%1 of %2 lines could not be written to %3")
                    .arg(recTally.lost)
                    .arg(count)
                    .arg(part));
            return int(kExitSensor);
        }
        return int(kExitOk);
    });
    if (code == kExitOk && std::rename(qPrintable(part), qPrintable(out)) == 0) {
        Say(QStringLiteral("%1 lines recorded in %2").arg(count).arg(out));
        return kExitOk;
    }
    QFile::remove(part);
    if (code == kExitOk) Say(QStringLiteral("the record file %1 cannot be written").arg(out));
    Say(QStringLiteral("%1 was not written").arg(out));
    return code == kExitOk ? int(kExitUsage) : code;
}
