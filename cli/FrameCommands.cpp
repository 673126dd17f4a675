// The commands that take frames: frames (to stdout) and record (a counted
// recording into a record file).
#include "cli/Cli.h"
#include "cli/FrameJson.h"
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
            SayAbout(OpenLink(), ExplainAnswerFailure());
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
    qint64 count = 0;
    QString format = QStringLiteral("tsv");
    [[maybe_unused]] QString time = QStringLiteral("local");
    if (!args.Number("n", 1, Q_INT64_C(1) << 62, &count) ||
        !args.Choice("format", {"tsv", "json"}, &format) ||
        !args.Choice("time", {"local", "iso"}, &time))
        return kExitUsage;
    const bool json = format == "json";
    if (const int code = OneSensor(links, "frames")) return code;
    if (publish || reconnect)
        return ForEachSensor(links, [&](const LinkTarget &link) {
            return FeedFrames(link, uint64_t(count), json, publish ? &feedOptions : nullptr,
                              reconnect);
        });
    return ForEachSensor(links, [&](const LinkTarget &link) {
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

int CmdRecord(const CliArgs &args, const QList<LinkTarget> &links) {
    qint64 count = 0, interval = 0;
    const QString out = args.Value("o");
    if (!args.Number("n", 1, 65535, &count) || !args.Number("i", 1, 65535, &interval))
        return kExitUsage;
    if (count == 0 || interval == 0 || out.isEmpty()) {
        Say("record needs -n N, -i SECONDS and -o FILE");
        return kExitUsage;
    }
    if (const int code = OneSensor(links, "record")) return code;
    // The recording goes into a file beside the target, renamed when every
    // line is in: a lost link never leaves a half-written record file. For
    // stdout (-) the file lies in a folder of its own and is copied out.
    const bool toStdout = IsStdStream(out);
    QTemporaryDir spool;
    const QString part =
        toStdout ? spool.filePath("record.dat") : QFileInfo(out).absoluteFilePath() + ".part";
    recFileName = part;
    if (!WriteFileHeader()) {
        Say(QStringLiteral("the record file %1 cannot be written").arg(out));
        return kExitUsage;
    }
    const int code = ForEachSensor(links, [&](const LinkTarget &link) {
        if (!OpenSensor(link)) return int(kExitSensor);
        // The recorder panel's counted mode, as START RECORD runs it.
        SetCtrlVal(recpanel, RECP_EditSelectDataRec, int(kRecCounted));
        SetCtrlVal(recpanel, RECP_EditInterval, int(interval));
        SetCtrlVal(recpanel, RECP_EditRecVal, int(count));
        BeginRecordTally();
        RecordFrame();
        if (Interrupted()) {
            Say(QStringLiteral("interrupted after %1 of %2 lines").arg(otcrec).arg(count));
            return InterruptExit();
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
    if (code == kExitOk && toStdout) {
        QFile file(part);
        if (file.open(QIODevice::ReadOnly)) Out(file.readAll());
        if (file.error() == QFile::NoError && std::fflush(stdout) == 0) return kExitOk;
        Say("the record cannot be written to stdout");
        return kExitUsage;
    }
    if (code == kExitOk && std::rename(qPrintable(part), qPrintable(out)) == 0) {
        Say(QStringLiteral("%1 lines recorded in %2").arg(count).arg(out));
        return kExitOk;
    }
    QFile::remove(part);
    if (code == kExitOk) Say(QStringLiteral("the record file %1 cannot be written").arg(out));
    Say(QStringLiteral("%1 was not written").arg(toStdout ? QStringLiteral("the record") : out));
    return code == kExitOk ? int(kExitUsage) : code;
}
