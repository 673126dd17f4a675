// The record file's header and lines, written and read; lines and time stamps
// are parsed by hand: a day at the full link rate is millions of lines, read
// while the operator waits.
#include "record/RecordLines.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace rec {
namespace {

const char *const kLabels[kFields] = {"DATE", "TIME", "RED", "GREEN", "BLUE", "REF",    "DIR",
                                      "DIF",  "X s",  "Y i", "INT M", "GN",   "VECTOR", "TEMP"};

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

bool Digits(const char *p, int n, int *value) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned d = unsigned(p[i] - '0');
        if (d > 9) return false;
        v = v * 10 + int(d);
    }
    *value = v;
    return true;
}

bool LeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
} // namespace

QStringList StandardLabels() {
    QStringList labels;
    for (const char *l : kLabels)
        labels << QString::fromLatin1(l);
    return labels;
}

QByteArray HeaderText() {
    QByteArray header;
    for (const char *l : kLabels)
        header += QByteArray(l) + '\t';
    return header + "\r\n";
}

QByteArray LineText(const QString &date, const QString &time, const uint16_t (&values)[kChannels]) {
    QByteArray line = date.toLatin1() + '\t' + time.toLatin1() + '\t';
    for (int i = 0; i < kChannels - 1; ++i)
        line += QByteArray::number(values[i]) + '\t';
    return line + QByteArray::number(values[kChannels - 1]) + "\r\n";
}

bool ParseDateTime(const char *date, const char *time, int64_t *seconds) {
    int mo, d, y, h, mi, s;
    if (!Digits(date, 2, &mo) || date[2] != '-' || !Digits(date + 3, 2, &d) || date[5] != '-' ||
        !Digits(date + 6, 4, &y))
        return false;
    if (!Digits(time, 2, &h) || time[2] != ':' || !Digits(time + 3, 2, &mi) || time[5] != ':' ||
        !Digits(time + 6, 2, &s))
        return false;
    static const int kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mo < 1 || mo > 12 || d < 1 || d > kMonthDays[mo - 1] ||
        (mo == 2 && d == 29 && !LeapYear(y)))
        return false;
    if (h > 23 || mi > 59 || s > 59) return false;
    // A PC clock shows no earlier year; the lines keep their time in 32 bits.
    if (y < 1970 || y > 2105) return false;
    *seconds = DaysFromCivil(y, unsigned(mo), unsigned(d)) * 86400 + h * 3600 + mi * 60 + s;
    return true;
}

bool ParseStamp(const QString &text, int64_t *seconds) {
    static const QRegularExpression form(
        "^\\s*(\\d\\d-\\d\\d-\\d{4})\\s+(\\d\\d:\\d\\d:\\d\\d)\\s*$");
    const auto m = form.match(text);
    if (!m.hasMatch()) return false;
    const QByteArray date = m.captured(1).toLatin1();
    const QByteArray time = m.captured(2).toLatin1();
    return ParseDateTime(date.constData(), time.constData(), seconds);
}

QString FormatStamp(int64_t seconds) {
    int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const int64_t rest = seconds - days * 86400;
    // Civil date from days since 1970-01-01.
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = unsigned(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = int64_t(yoe) + era * 400 + (m <= 2);
    return QString::asprintf("%02u-%02u-%04lld %02d:%02d:%02d", m, d, static_cast<long long>(y),
                             int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
}

int FieldCount(const char *b, const char *e) {
    if (b == e) return 0;
    int n = 1;
    for (const char *p = b; p != e; ++p)
        n += *p == '\t';
    return e[-1] == '\t' ? n - 1 : n;
}

bool ParseLine(const char *b, const char *e, Line *out) {
    // Date and time are fixed in width.
    if (e - b < 21 || b[10] != '\t' || b[19] != '\t') return false;
    if (!ParseDateTime(b, b + 11, &out->seconds)) return false;
    const char *p = b + 20;
    for (int c = 0; c < kChannels; ++c) {
        uint32_t v = 0;
        const char *start = p;
        while (p != e && unsigned(*p - '0') <= 9 && p - start < 6)
            v = v * 10 + uint32_t(*p++ - '0');
        if (p == start || v > 65535) return false;
        out->v[c] = uint16_t(v);
        if (c + 1 < kChannels) {
            if (p == e || *p != '\t') return false;
            ++p;
        }
    }
    // The recorder ends the line with the last value; a tab after it is
    // tolerated, as the header has one.
    if (p != e && *p == '\t') ++p;
    return p == e;
}

bool ParseHeader(const char *b, const char *e, QStringList *labels) {
    if (FieldCount(b, e) != kFields) return false;
    for (const char *p = b; p != e; ++p)
        if (static_cast<unsigned char>(*p) < 0x20 && *p != '\t') return false;
    QStringList fields = QString::fromLatin1(b, int(e - b)).split('\t');
    fields = fields.mid(0, kFields);
    if (fields[0].trimmed() != "DATE" || fields[1].trimmed() != "TIME") return false;
    for (QString &f : fields) {
        f = f.trimmed();
        if (f.isEmpty()) return false;
    }
    *labels = fields;
    return true;
}

namespace {
// Why a line is no record line, for the operator.
QString LineProblem(const char *b, const char *e) {
    const int fields = FieldCount(b, e);
    if (fields != kFields)
        return QString("it has %1 field%2, a record line has %3")
            .arg(fields)
            .arg(fields == 1 ? "" : "s")
            .arg(kFields);
    return QString("its date, time or values cannot be read");
}
} // namespace

bool CheckRecordFile(const QString &path, FileStart *start, QString *problem) {
    // A pipe or a device may never end, and opening a pipe waits for a writer.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        *problem = "This is not a file (a pipe, a device or a folder) and is not read.";
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *problem = QString("The file cannot be read: %1").arg(f.errorString());
        return false;
    }
    // The header and the first record line are within the first few hundred bytes.
    const QByteArray head = f.read(4 * kMaxLineBytes);
    if (head.isEmpty()) {
        *problem = "The file is empty: it holds no header line.";
        return false;
    }
    QList<QByteArray> lines;
    qint64 offset = 0;
    for (int n = 0; n < 2; ++n) {
        const int nl = head.indexOf('\n', int(offset));
        if (nl < 0) break;
        QByteArray line = head.mid(int(offset), nl - int(offset));
        if (line.endsWith('\r')) line.chop(1);
        lines << line;
        offset = nl + 1;
    }
    const int zero = head.indexOf('\0');
    if (zero >= 0) {
        *problem = QString("Line %1 holds bytes that are no text: this is no record file.")
                       .arg(head.left(zero).count('\n') + 1);
        return false;
    }
    if (lines.isEmpty()) {
        *problem = head.size() >= 4 * kMaxLineBytes
                       ? QString("Line 1 is longer than any record file's line: this is no "
                                 "record file.")
                       : QString("Line 1 is not complete yet: no header line.");
        return false;
    }
    FileStart s;
    const QByteArray &first = lines[0];
    Line probe;
    if (ParseHeader(first.constData(), first.constData() + first.size(), &s.labels)) {
        s.dataOffset = head.indexOf('\n') + 1;
        s.dataLine = 2;
        if (lines.size() > 1 &&
            !ParseLine(lines[1].constData(), lines[1].constData() + lines[1].size(), &probe)) {
            *problem =
                QString("Line 2 is no record line: %1.")
                    .arg(LineProblem(lines[1].constData(), lines[1].constData() + lines[1].size()));
            return false;
        }
    } else if (ParseLine(first.constData(), first.constData() + first.size(), &probe)) {
        s.labels = StandardLabels();
        s.headerless = true;
    } else {
        const int fields = FieldCount(first.constData(), first.constData() + first.size());
        *problem = fields != kFields
                       ? QString("Line 1 is no header line: it has %1 field%2, a record file's "
                                 "header has %3 (DATE, TIME, RED, ...).")
                             .arg(fields)
                             .arg(fields == 1 ? "" : "s")
                             .arg(kFields)
                       : QString("Line 1 is no header line: it must begin with DATE and TIME.");
        return false;
    }
    *start = s;
    return true;
}

} // namespace rec
