// Statistics texts: integers to the last moment, so that a file with known
// content gives the same digits on every machine.
#include "record/RecordStats.h"

#include <QFile>

#include <cmath>
#include <cstdio>

namespace rec {
namespace {
// value / 100 as text with two decimals; value is already rounded.
QString Hundredths(unsigned __int128 value) {
    const auto whole = static_cast<unsigned long long>(value / 100);
    const auto part = static_cast<unsigned>(value % 100);
    return QString::asprintf("%llu.%02u", whole, part);
}
} // namespace

const std::vector<int> &StatsChannels() {
    static const std::vector<int> channels = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, kTemp};
    return channels;
}

QString MeanText(const ChannelStats &s) {
    if (s.n == 0) return {};
    const unsigned __int128 n = s.n;
    return Hundredths((unsigned __int128)(s.sum) * 200 / n / 2 +
                      (((unsigned __int128)(s.sum) * 200 / n) & 1));
}

QString SdText(const ChannelStats &s) {
    if (s.n < 2) return {};
    const unsigned __int128 n = s.n;
    const unsigned __int128 sum = s.sum;
    // n * sum of squares - sum^2 is never negative and exact in 128 bits.
    const unsigned __int128 spread = n * s.squares - sum * sum;
    const long double variance =
        static_cast<long double>(spread) / (static_cast<long double>(n) * (s.n - 1));
    char text[64];
    std::snprintf(text, sizeof text, "%.2Lf", std::sqrt(variance));
    return QString::fromLatin1(text);
}

QString ShareText(uint64_t count, uint64_t total) {
    if (total == 0) return {};
    const unsigned __int128 twice = (unsigned __int128)(count)*20000 / total;
    return Hundredths(twice / 2 + (twice & 1));
}

QByteArray StatsTsv(const RecordStats &stats, const QStringList &labels) {
    QByteArray out = "CHANNEL\tCOUNT\tMEAN\tSD\tMIN\tMAX\n";
    for (int c : StatsChannels()) {
        const ChannelStats &s = stats.channel[c];
        const QString label = c + 2 < labels.size() ? labels[c + 2] : QString();
        QStringList row{label, QString::number(s.n), MeanText(s), SdText(s)};
        row << (s.n ? QString::number(s.min) : QString())
            << (s.n ? QString::number(s.max) : QString());
        out += row.join('\t').toLatin1() + '\n';
    }
    out += "VECTOR\tCOUNT\tSHARE\n";
    const uint64_t total = stats.Lines();
    for (size_t v = 0; v < stats.vectors.size(); ++v) {
        if (!stats.vectors[v]) continue;
        out += QByteArray::number(qulonglong(v)) + '\t' +
               QByteArray::number(qulonglong(stats.vectors[v])) + '\t' +
               ShareText(stats.vectors[v], total).toLatin1() + '\n';
    }
    return out;
}

bool StatsOfFile(const QString &path, int64_t from, int64_t to, FileStatsResult *result,
                 QString *problem) {
    FileStart start;
    if (!CheckRecordFile(path, &start, problem)) return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *problem = "The file cannot be read: " + f.errorString();
        return false;
    }
    result->labels = start.labels;
    Line line;
    const ScanResult r = ScanLines(f, start.dataOffset, start.dataLine - 1,
                                   [&](qint64, const char *b, const char *e) {
                                       if (!b || !ParseLine(b, e, &line)) {
                                           ++result->badLines;
                                           return;
                                       }
                                       if (line.seconds >= from && line.seconds <= to)
                                           result->stats.Add(line);
                                   });
    if (r.failed) {
        *problem = "The file could not be read to its end: " + f.errorString();
        return false;
    }
    result->unendedBytes = f.size() - r.offset;
    return true;
}

} // namespace rec
