// The commands that take frames: frames (to stdout) and record (a counted
// recording into a record file).
#include "cli/Cli.h"
#include "cli/FrameJson.h"
#include "cli/FrameText.h"
#include "cli/Frames.h"

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
    qint64 count = 0;
    bool json = false;
    FrameTime time = FrameTime::Local;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "-n") {
            if (!TakeCount(args, i++, Q_INT64_C(1) << 62, &count)) {
                Say("frames: -n takes a whole number from 1 on");
                return kExitUsage;
            }
        } else if (args[i] == "--format" && i + 1 < args.size() &&
                   (args[i + 1] == "tsv" || args[i + 1] == "json")) {
            json = args[++i] == "json";
        } else if (args[i] == "--time" && i + 1 < args.size() &&
                   (args[i + 1] == "iso" || args[i + 1] == "local")) {
            time = args[++i] == "iso" ? FrameTime::Iso : FrameTime::Local;
        } else {
            Say(QStringLiteral("frames: unexpected \"%1\" (-n N, --format tsv|json, "
                               "--time local|iso, --reconnect, --publish URL ...)")
                    .arg(args[i]));
            return kExitUsage;
        }
    }
    if (const int code = OneSensor(links, "frames")) return code;
    if (publish || reconnect)
        return ForEachSensor(links, [&](const LinkSpec &link) {
            return FeedFrames(link, uint64_t(count), json, time, publish ? &feedOptions : nullptr,
                              reconnect);
        });
    return ForEachSensor(links, [&](const LinkSpec &link) {
        if (!OpenSensor(link)) return int(kExitSensor);
        if (!json) Out(FrameTsvHeader(time) + "\n");
        if (!FlushOut()) return OutputFailure();
        return PollFrames(uint64_t(count), [&](uint64_t n) {
            QByteArray line =
                json ? FrameJson(n, FrameArrivalMSecs()) : FrameTsvLine(FrameArrivalMSecs(), time);
            line += '\n';
            // A reader at the other end of a pipe sees each frame as it comes;
            // one that went away, or a full disk, ends the loop.
            return OutLine(line);
        });
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

int CmdRecord(const QStringList &args, const QList<LinkSpec> &links) {
    qint64 count = 0, interval = 0;
    QString out;
    bool allOrNothing = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString word = args[i];
        bool ok = true;
        if (args[i] == "-n")
            ok = TakeCount(args, i++, 65535, &count);
        else if (args[i] == "-i")
            ok = TakeCount(args, i++, 65535, &interval);
        else if (args[i] == "-o" && i + 1 < args.size())
            out = args[++i];
        else if (args[i] == "--all-or-nothing")
            allOrNothing = true;
        else
            ok = false;
        if (!ok) {
            Say(QStringLiteral("record: -n N and -i SECONDS take whole numbers from 1 to 65535, "
                               "-o FILE names the record file (\"%1\")")
                    .arg(word));
            return kExitUsage;
        }
    }
    if (count == 0 || interval == 0 || out.isEmpty()) {
        Say("record needs -n N, -i SECONDS and -o FILE");
        return kExitUsage;
    }
    if (const int code = OneSensor(links, "record")) return code;
    // The recording goes into a file beside the target, renamed when it
    // ends: the named file is never a half-written one, and an earlier file
    // of that name stays until there is something to put in its place.
    const QString part = QFileInfo(out).absoluteFilePath() + ".part";
    recFileName = part;
    if (!WriteFileHeader()) {
        Say(QStringLiteral("the record file %1 cannot be written").arg(out));
        return kExitUsage;
    }
    QString cut; // how the recording ended early, if it did
    const int code = ForEachSensor(links, [&](const LinkSpec &link) {
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
            cut = QStringLiteral("%1: %2 after %3 of %4 lines")
                      .arg(link.Name(), ExplainAnswerFailure())
                      .arg(otcrec)
                      .arg(count);
            return int(kExitSensor);
        }
        if (recTally.lost != 0) {
            cut = QStringLiteral("%1 of %2 lines could not be written to %3")
                      .arg(recTally.lost)
                      .arg(count)
                      .arg(out);
            return int(kExitUsage);
        }
        return int(kExitOk);
    });
    if (!cut.isEmpty()) Say(cut);
    const unsigned kept = recTally.written;
    const bool keep = code == kExitOk || (!allOrNothing && kept > 0);
    if (keep) KeepWholeLines(part);
    if (keep && std::rename(qPrintable(part), qPrintable(out)) == 0) {
        if (code == kExitOk)
            Say(QStringLiteral("%1 lines recorded in %2").arg(count).arg(out));
        else
            Say(QStringLiteral("the %1 line%2 recorded so far %3 kept in %4")
                    .arg(kept)
                    .arg(kept == 1 ? "" : "s", kept == 1 ? "is" : "are", out));
        return code;
    }
    QFile::remove(part);
    if (keep) Say(QStringLiteral("the record file %1 cannot be written").arg(out));
    Say(QStringLiteral("%1 was not written").arg(out));
    return keep && code == kExitOk ? int(kExitUsage) : code;
}
