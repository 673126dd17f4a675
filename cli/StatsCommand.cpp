// tolvane-cli stats: the statistics of a record file, exactly the text the
// record viewer's statistics export writes.
#include "cli/Cli.h"

#include "record/RecordStats.h"

#include <QFileInfo>
#include <QTemporaryFile>
#include <climits>

int CmdStats(const CliArgs &args, const QList<LinkTarget> & /*links*/) {
    QString file = args.Words().first();
    int64_t from = INT64_MIN, to = INT64_MAX;
    for (const char *name : {"from", "to"}) {
        int64_t *bound = QLatin1String(name) == QLatin1String("from") ? &from : &to;
        if (args.IsSet(name) && !rec::ParseStamp(args.Value(name), bound)) {
            Say(QStringLiteral("--%1 needs a time \"MM-DD-YYYY HH:MM:SS\"").arg(name));
            return kExitUsage;
        }
    }
    // A named pipe or a device may never end; - reads a pipe, spooled first
    // and then read as a file is.
    if (const QFileInfo info(file); !IsStdStream(file) && info.exists() && !info.isFile()) {
        Say(QStringLiteral("%1: not a file (- reads stdin)").arg(file));
        return kExitUsage;
    }
    QTemporaryFile spool;
    if (IsStdStream(file)) {
        QString why;
        if (!SpoolStdin(&spool, -1, &why)) {
            Say(why);
            return kExitUsage;
        }
        file = spool.fileName();
    }
    rec::FileStatsResult result;
    QString problem;
    if (!rec::StatsOfFile(file, from, to, &result, &problem)) {
        Say(QStringLiteral("%1: %2").arg(InputName(args.Words().first()), problem));
        return kExitUsage;
    }
    if (result.badLines)
        Say(QStringLiteral("%1: %2 line%3 could not be read")
                .arg(InputName(args.Words().first()))
                .arg(result.badLines)
                .arg(result.badLines == 1 ? "" : "s"));
    Out(rec::StatsTsv(result.stats, result.labels));
    return kExitOk;
}
