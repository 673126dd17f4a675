// The record file's format in one place: the header line and the record line
// as the recorder writes them, and reading them back (one line, time stamps,
// the walk over a file's complete lines in chunks). The recorder, the viewer
// and the command-line tool all use it, so that what is written is what is read.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace rec {

// The twelve values of a line after date and time: RED, GREEN, BLUE, REF,
// DIR, DIF, X (s), Y (i), INT (M), GN, VECTOR, TEMP.
constexpr int kChannels = 12;
constexpr int kVector = 10;
constexpr int kTemp = 11;
constexpr int kFields = kChannels + 2;
// Longer lines are no record lines (a record line is at most 84 bytes).
constexpr int kMaxLineBytes = 512;

// The labels the recorder writes; a file recorded before any file was chosen
// has no header line and is read with these.
QStringList StandardLabels();

// The header line the recorder writes: every label followed by a tab, the
// last one too, then CR LF.
QByteArray HeaderText();
// One record line: date, time and the twelve values, tab-separated, CR LF.
QByteArray LineText(const QString &date, const QString &time, const uint16_t (&values)[kChannels]);

struct Line {
    int64_t seconds = 0; // date and time as seconds since 1970, in the file's own clock
    uint16_t v[kChannels] = {};
};

// Date "MM-DD-YYYY" and time "HH:MM:SS" as the recorder writes them; years
// 1970 to 2105.
bool ParseDateTime(const char *date, const char *time, int64_t *seconds);
// "MM-DD-YYYY HH:MM:SS" as typed by an operator.
bool ParseStamp(const QString &text, int64_t *seconds);
QString FormatStamp(int64_t seconds);

// One record line without its line end: fourteen tab-separated fields, the
// values decimal 0..65535. False when the line is not one.
bool ParseLine(const char *b, const char *e, Line *out);
// Number of tab-separated fields, a trailing tab not counted.
int FieldCount(const char *b, const char *e);
// The header line: fourteen labels (the recorder ends it with a tab), DATE
// and TIME first. False when the line is not one; *labels then unchanged.
bool ParseHeader(const char *b, const char *e, QStringList *labels);

// What the start of a file says about it.
struct FileStart {
    QStringList labels;      // fourteen, DATE first
    qint64 dataOffset = 0;   // where the record lines begin
    qint64 dataLine = 1;     // number of the first record line
    bool headerless = false; // recorded before a file was chosen: no header line
};
// False when the file cannot be read or is no record file, with the reason
// naming the line in *problem: no header line (and no record line either),
// a first record line of another form, bytes that are no text. A file of
// only a header is a record file (the recorder has just begun it).
bool CheckRecordFile(const QString &path, FileStart *start, QString *problem);

struct ScanResult {
    qint64 offset = 0;   // just after the last complete line
    qint64 line = 0;     // number of the last complete line
    bool failed = false; // the device could not be read
    bool cancelled = false;
};

// Calls onLine(number, begin, end) for every complete line (ended by LF; a CR
// before it is dropped) from `offset` on; a line longer than kMaxLineBytes
// comes with begin == end == nullptr. A last line without its line end is
// left for a later call: the recorder writes a line in pieces.
template <typename OnLine>
ScanResult ScanLines(QIODevice &dev, qint64 offset, qint64 line, OnLine &&onLine,
                     const std::atomic<bool> *cancel = nullptr) {
    constexpr qint64 kChunk = 1 << 20;
    ScanResult r{offset, line, false, false};
    if (!dev.seek(offset)) {
        r.failed = true;
        return r;
    }
    std::vector<char> buf(kChunk + kMaxLineBytes + 1);
    qint64 have = 0;      // unfinished line kept from the chunk before
    bool tooLong = false; // inside an over-long line: its bytes are dropped
    qint64 dropped = 0;   // bytes of it dropped so far
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            r.cancelled = true;
            break;
        }
        const qint64 n = dev.read(buf.data() + have, kChunk);
        if (n < 0) r.failed = true;
        if (n <= 0) break;
        const char *p = buf.data();
        const char *end = buf.data() + have + n;
        while (const char *nl = static_cast<const char *>(std::memchr(p, '\n', end - p))) {
            ++r.line;
            if (tooLong) {
                onLine(r.line, static_cast<const char *>(nullptr),
                       static_cast<const char *>(nullptr));
                tooLong = false;
            } else {
                const char *e = (nl > p && nl[-1] == '\r') ? nl - 1 : nl;
                onLine(r.line, p, e);
            }
            r.offset += (nl + 1 - p) + dropped;
            dropped = 0;
            p = nl + 1;
        }
        have = end - p;
        if (have > kMaxLineBytes) {
            tooLong = true;
            dropped += have;
            have = 0;
        } else {
            std::memmove(buf.data(), p, size_t(have));
        }
    }
    return r;
}

} // namespace rec
