// The record command: a counted recording into a record file, as START
// RECORD runs it, through the recorder panel. Registered with its options below.
#include "cli/Cli.h"

#include "core/Session.h"
#include "link/Link.h"
#include "platform/Platform.h"
#include "recorder/Recorder.h"
#include "uir_ids.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

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

namespace {
const CliRegistration kRegistration(

    {"record",
     "record -n N -i SECONDS -o FILE|- [--all-or-nothing]",
     "counted recording of N lines, one every SECONDS, into a record file",
     "Writes the record file as START RECORD does in the counted mode. -o - writes it to "
     "stdout. A recording cut short (Ctrl-C, SIGTERM, a lost sensor) keeps the whole lines "
     "it took in FILE and says how far it came (\"interrupted after 4 of 10 lines\").",
     {"tolvane-cli --tcp 10.0.3.14 record -n 600 -i 1 -o shift.dat"},
     {{{"n", "count"}, "N", "lines to record, 1 to 65535"},
      {{"i", "interval"}, "SECONDS", "seconds between lines, 1 to 65535"},
      {{"o", "output"}, "FILE|-", "the record file (-: stdout)"},
      {{"all-or-nothing"}, {}, "keep no line of a recording that did not end whole"}},
     0,
     0,
     true,
     true,
     CmdRecord,
     70});
} // namespace
