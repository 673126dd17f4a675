// tolvane-cli stats: the statistics of a record file, exactly the text the
// record viewer's statistics export writes.
#include "cli/Cli.h"

#include "record/RecordStats.h"

#include <climits>

int CmdStats(const QStringList &args, const QList<LinkSpec> &links) {
    const QString usage = "usage: stats FILE [--from \"MM-DD-YYYY HH:MM:SS\"] [--to \"MM-DD-YYYY "
                          "HH:MM:SS\"] (tolvane-cli --help tells more)";
    if (!links.isEmpty()) {
        Say("stats reads a file and needs no link");
        return kExitUsage;
    }
    QString file;
    int64_t from = INT64_MIN, to = INT64_MAX;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == "--from" || a == "--to") {
            int64_t *bound = a == "--from" ? &from : &to;
            if (i + 1 >= args.size() || !rec::ParseStamp(args[i + 1], bound)) {
                Say(QStringLiteral("%1 needs a time \"MM-DD-YYYY HH:MM:SS\"").arg(a));
                return kExitUsage;
            }
            ++i;
        } else if (file.isEmpty() && !a.startsWith("--")) {
            file = a;
        } else {
            Say(usage);
            return kExitUsage;
        }
    }
    if (file.isEmpty()) {
        Say(usage);
        return kExitUsage;
    }
    rec::FileStatsResult result;
    QString problem;
    if (!rec::StatsOfFile(file, from, to, &result, &problem)) {
        Say(QStringLiteral("%1: %2").arg(file, problem));
        return kExitUsage;
    }
    if (result.badLines)
        Say(QStringLiteral("%1: %2 line%3 could not be read")
                .arg(file)
                .arg(result.badLines)
                .arg(result.badLines == 1 ? "" : "s"));
    Out(rec::StatsTsv(result.stats, result.labels));
    return kExitOk;
}
