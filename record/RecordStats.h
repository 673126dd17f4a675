// Statistics of record lines: per channel count, mean, standard deviation,
// minimum and maximum; per vector number how often it came. One text serves
// the viewer's export and the command line.
#pragma once

#include "record/RecordLines.h"

#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace rec {

struct ChannelStats {
    uint64_t n = 0;
    uint64_t sum = 0;
    unsigned __int128 squares = 0;
    uint16_t min = 65535;
    uint16_t max = 0;

    void Add(uint16_t v) {
        ++n;
        sum += v;
        squares += uint64_t(v) * v;
        if (v < min) min = v;
        if (v > max) max = v;
    }
};

struct RecordStats {
    ChannelStats channel[kChannels];
    std::vector<uint64_t> vectors = std::vector<uint64_t>(65536); // lines per vector number

    void Add(const Line &line) {
        for (int c = 0; c < kChannels; ++c)
            channel[c].Add(line.v[c]);
        ++vectors[line.v[kVector]];
    }
    uint64_t Lines() const { return channel[0].n; }
};

// The channels the statistics list, in file order: every value but VECTOR.
const std::vector<int> &StatsChannels();

// Exact to the last decimal shown: the mean and the share are rounded half up
// from integers; the standard deviation is that of the sample (n - 1). A
// value that does not exist (no line, one line) is an empty field.
QString MeanText(const ChannelStats &s);
QString SdText(const ChannelStats &s);
QString ShareText(uint64_t count, uint64_t total);

// The statistics as tab-separated text: CHANNEL COUNT MEAN SD MIN MAX, one
// line per channel named by the file's labels (fourteen, DATE first), then
// VECTOR COUNT SHARE and one line per vector number seen, ascending.
QByteArray StatsTsv(const RecordStats &stats, const QStringList &labels);

// The statistics of a record file's lines whose time lies in [from, to],
// read line by line without keeping them (the command line's statistics).
// False, with the reason, when the file is no record file.
struct FileStatsResult {
    RecordStats stats;
    QStringList labels;
    qint64 badLines = 0;
    // Bytes after the last line end: a last line not (yet) ended, not counted.
    qint64 unendedBytes = 0;
};
bool StatsOfFile(const QString &path, int64_t from, int64_t to, FileStatsResult *result,
                 QString *problem);

} // namespace rec
