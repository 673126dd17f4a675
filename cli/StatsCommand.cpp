// tolvane-cli stats: the statistics of a record file, exactly the text the
// record viewer's statistics export writes, or the same numbers as JSON.
#include "cli/Cli.h"
#include "cli/FrameText.h"

#include "record/RecordStats.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>
#include <climits>

namespace {
// A number the statistics print with two decimals, as a JSON number; null
// where the text has none (no line, one line for SD).
QJsonValue Decimal(const QString &text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text.toDouble());
}

QByteArray StatsJson(const QString &file, const rec::FileStatsResult &r) {
    QJsonArray channels;
    for (int c : rec::StatsChannels()) {
        const rec::ChannelStats &s = r.stats.channel[c];
        QJsonObject o{{"name", r.labels.value(c + 2)},
                      {"count", qint64(s.n)},
                      {"mean", Decimal(rec::MeanText(s))},
                      {"sd", Decimal(rec::SdText(s))},
                      {"min", s.n ? QJsonValue(s.min) : QJsonValue()},
                      {"max", s.n ? QJsonValue(s.max) : QJsonValue()}};
        channels.append(o);
    }
    QJsonArray vectors;
    const uint64_t total = r.stats.Lines();
    for (size_t v = 0; v < r.stats.vectors.size(); ++v)
        if (r.stats.vectors[v])
            vectors.append(
                QJsonObject{{"vector", int(v)},
                            {"count", qint64(r.stats.vectors[v])},
                            {"share", Decimal(rec::ShareText(r.stats.vectors[v], total))}});
    const QJsonObject o{{"file", file},
                        {"lines", qint64(total)},
                        {"bad_lines", r.badLines},
                        {"unended_last_line", r.unendedBytes > 0},
                        {"channels", channels},
                        {"vectors", vectors}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}
} // namespace

int CmdStats(const CliArgs &args, const QList<LinkTarget> & /*links*/) {
    const QString given = args.Words().first();
    const QString name = InputName(given);
    const bool iso = args.Value("time") == QLatin1String("iso");
    int64_t from = INT64_MIN, to = INT64_MAX;
    for (auto [option, bound] : {std::pair{"from", &from}, std::pair{"to", &to}}) {
        if (!args.IsSet(option)) continue;
        const QString text = args.Value(option);
        const bool ok = iso ? ParseIsoToFileClock(text, bound) : rec::ParseStamp(text, bound);
        if (!ok) {
            Say(QStringLiteral("--%1 needs a time %2")
                    .arg(option, iso ? "in ISO 8601 (\"2026-12-08T09:39:29+01:00\")"
                                     : "\"MM-DD-YYYY HH:MM:SS\""));
            return kExitUsage;
        }
    }
    // A named pipe or a device may never end; - reads a pipe, spooled first
    // and then read as a file is.
    if (const QFileInfo info(given); !IsStdStream(given) && info.exists() && !info.isFile()) {
        Say(QStringLiteral("%1: not a file (- reads stdin)").arg(given));
        return kExitUsage;
    }
    QString file = given;
    QTemporaryFile spool;
    if (IsStdStream(given)) {
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
        Say(QStringLiteral("%1: %2").arg(name, problem));
        return kExitUsage;
    }
    if (result.badLines)
        Say(QStringLiteral("%1: %2 line%3 could not be read")
                .arg(name)
                .arg(result.badLines)
                .arg(result.badLines == 1 ? "" : "s"));
    // The recorder writes a line in pieces: a last line without its line end
    // may still be being written, and is not counted.
    if (result.unendedBytes > 0)
        Say(QStringLiteral("%1: the last line (%2 byte%3) has no line end and could not be read; "
                           "it is not counted")
                .arg(name)
                .arg(result.unendedBytes)
                .arg(result.unendedBytes == 1 ? "" : "s"));
    const bool json = args.Value("format") == QLatin1String("json");
    Out(json ? StatsJson(name, result) : rec::StatsTsv(result.stats, result.labels));
    return kExitOk;
}
