// The record viewer on generated record files: exact statistics (the
// viewer's and the line-by-line reading's), no spike lost when a long file
// is reduced to the plot's width, unreadable lines counted by number, files
// that are no record files refused, a growing file reloaded.
#include "platform/Platform.h"
#include "record/RecordLines.h"
#include "record/RecordStats.h"
#include "viewer/RecordStore.h"
#include "viewer/Viewer.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <qcustomplot.h>

namespace {
const QByteArray kHeader =
    "DATE\tTIME\tRED\tGREEN\tBLUE\tREF\tDIR\tDIF\tX s\tY i\tINT M\tGN\tVECTOR\tTEMP\t\r\n";

// A record line as the recorder writes it; the time counts seconds from 00:00:00.
QByteArray RecordLine(int second, const std::array<int, 12> &v) {
    QByteArray line = QByteArray("12-08-2026\t") +
                      QByteArray(QString::asprintf("%02d:%02d:%02d", second / 3600 % 24,
                                                   second / 60 % 60, second % 60)
                                     .toLatin1()) +
                      '\t';
    for (size_t c = 0; c < v.size(); ++c)
        line += QByteArray::number(v[c]) + (c + 1 < v.size() ? "\t" : "\r\n");
    return line;
}

// Line i of the file with known content: RED counts 0..n-1, GREEN is the
// largest value, VECTOR is 255 on every third line and 3 otherwise, TEMP 36;
// ten lines a second.
QByteArray KnownLine(int i) {
    return RecordLine(i / 10, {i, 65535, 0, 0, 0, 0, 0, 0, 0, 0, i % 3 == 0 ? 255 : 3, 36});
}

bool Write(const QString &path, const QByteArray &bytes, bool append = false) {
    QFile f(path);
    if (!f.open(append ? QIODevice::Append : QIODevice::WriteOnly)) return false;
    return f.write(bytes) == bytes.size();
}

// 200 lines: RED mean 99.50, sample SD sqrt(200 * 201 / 12) = 57.879...
const QByteArray kKnownStats = "CHANNEL\tCOUNT\tMEAN\tSD\tMIN\tMAX\n"
                               "RED\t200\t99.50\t57.88\t0\t199\n"
                               "GREEN\t200\t65535.00\t0.00\t65535\t65535\n"
                               "BLUE\t200\t0.00\t0.00\t0\t0\n"
                               "REF\t200\t0.00\t0.00\t0\t0\n"
                               "DIR\t200\t0.00\t0.00\t0\t0\n"
                               "DIF\t200\t0.00\t0.00\t0\t0\n"
                               "X s\t200\t0.00\t0.00\t0\t0\n"
                               "Y i\t200\t0.00\t0.00\t0\t0\n"
                               "INT M\t200\t0.00\t0.00\t0\t0\n"
                               "GN\t200\t0.00\t0.00\t0\t0\n"
                               "TEMP\t200\t36.00\t0.00\t36\t36\n"
                               "VECTOR\tCOUNT\tSHARE\n"
                               "3\t133\t66.50\n"
                               "255\t67\t33.50\n";

// Opens a file in the viewer and waits for its reading.
RecordViewer *OpenRead(const QString &path, QString *problem = nullptr) {
    QString why;
    RecordViewer *v = RecordViewer::Open(path, &why);
    if (problem) *problem = why;
    if (v) v->WaitRead();
    return v;
}
} // namespace

class TstViewer : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString Path(const QString &name) const { return dir.filePath(name); }

  private slots:
    void init() { popupscript::Install(); }
    void cleanup() {
        QVERIFY2(popupscript::Unexpected().isEmpty(),
                 qPrintable(popupscript::Unexpected().join("; ")));
        popupscript::Uninstall();
    }

    // The viewer (from its stored lines and their 64-line sums), the
    // line-by-line reading of the command line and the viewer's export all
    // give the same exact text; a time range takes its lines only.
    void statisticsAreExact_data() {
        QTest::addColumn<QString>("source");
        QTest::newRow("viewer, whole file") << "viewer";
        QTest::newRow("viewer, TSV export") << "export";
        QTest::newRow("file read line by line") << "file";
        QTest::newRow("file, time range of lines 100..149") << "range";
    }
    void statisticsAreExact() {
        QFETCH(QString, source);
        QByteArray file = kHeader;
        for (int i = 0; i < 200; ++i)
            file += KnownLine(i);
        const QString path = Path("known.dat");
        QVERIFY(Write(path, file));

        QByteArray text;
        QByteArray expected = kKnownStats;
        if (source == "viewer" || source == "export") {
            RecordViewer *v = OpenRead(path);
            QVERIFY(v);
            QCOMPARE(v->Store().Count(), size_t(200));
            if (source == "viewer") {
                text = rec::StatsTsv(v->WholeStats(), v->Labels());
            } else {
                QVERIFY(v->ExportTsv(Path("stats.tsv")));
                QFile f(Path("stats.tsv"));
                QVERIFY(f.open(QIODevice::ReadOnly));
                // A header line states the range the statistics are of.
                const QByteArray range = f.readLine();
                QVERIFY2(range.startsWith("RANGE\t12-08-2026 00:00:00\t12-08-2026 00:00:19\t"
                                          "LINES\t200\tFILE\tknown.dat\n"),
                         range.constData());
                text = f.readAll();
            }
            delete v;
        } else {
            int64_t from = INT64_MIN, to = INT64_MAX;
            if (source == "range") {
                QVERIFY(rec::ParseStamp("12-08-2026 00:00:10", &from));
                QVERIFY(rec::ParseStamp("12-08-2026 00:00:14", &to));
                // RED 100..149: mean 124.50, SD sqrt(50 * 51 / 12) = 14.577...
                expected = QByteArray(kKnownStats)
                               .replace("RED\t200\t99.50\t57.88\t0\t199",
                                        "RED\t50\t124.50\t14.58\t100\t149")
                               .replace("\t200\t", "\t50\t")
                               .replace("3\t133\t66.50", "3\t34\t68.00")
                               .replace("255\t67\t33.50", "255\t16\t32.00");
            }
            rec::FileStatsResult r;
            QString problem;
            QVERIFY2(rec::StatsOfFile(path, from, to, &r, &problem), qPrintable(problem));
            text = rec::StatsTsv(r.stats, r.labels);
        }
        QCOMPARE(QString::fromLatin1(text), QString::fromLatin1(expected));
    }

    // Texts a spreadsheet and a script compare: halves round up, as a person
    // rounds (the machine's own rounding would give 0.12 for 0.125), and a
    // value that does not exist is an empty field.
    void statisticsRounding_data() {
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<QString>("mean");
        QTest::addColumn<QString>("sd");
        QTest::addColumn<QString>("shareOfFirst"); // share of lines equal to the first value
        QTest::newRow("no line") << QList<int>{} << ""
                                 << ""
                                 << "";
        QTest::newRow("one line: no SD") << QList<int>{7} << "7.00"
                                         << ""
                                         << "100.00";
        QTest::newRow("1/8: 0.125 up") << QList<int>{1, 0, 0, 0, 0, 0, 0, 0} << "0.13"
                                       << "0.35"
                                       << "12.50";
        QTest::newRow("thirds") << QList<int>{2, 1, 1} << "1.33"
                                << "0.58"
                                << "33.33";
        QTest::newRow("two thirds") << QList<int>{1, 1, 2} << "1.33"
                                    << "0.58"
                                    << "66.67";
        QTest::newRow("largest values") << QList<int>{65535, 65535, 0} << "43690.00"
                                        << "37836.65"
                                        << "66.67";
    }
    void statisticsRounding() {
        QFETCH(QList<int>, values);
        rec::ChannelStats s;
        uint64_t same = 0;
        for (int v : values) {
            s.Add(uint16_t(v));
            same += v == values.first();
        }
        QTEST(rec::MeanText(s), "mean");
        QTEST(rec::SdText(s), "sd");
        QTEST(rec::ShareText(same, uint64_t(values.size())), "shareOfFirst");
    }

    // Date and time as the recorder writes them and as an operator types
    // them for a time range; the calendar's edges.
    void timeStamps_data() {
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<bool>("valid");
        QTest::newRow("a shift's start") << "12-08-2026 06:00:00" << true;
        QTest::newRow("leap day") << "02-29-2024 23:59:59" << true;
        QTest::newRow("no leap day in 2026") << "02-29-2026 12:00:00" << false;
        QTest::newRow("no leap day in 2100") << "02-29-2100 12:00:00" << false;
        QTest::newRow("leap day in 2000") << "02-29-2000 00:00:00" << true;
        QTest::newRow("31 April") << "04-31-2026 12:00:00" << false;
        QTest::newRow("hour 24") << "12-08-2026 24:00:00" << false;
        QTest::newRow("month 13") << "13-01-2026 00:00:00" << false;
        QTest::newRow("before 1970") << "12-31-1969 23:59:59" << false;
        QTest::newRow("last year kept") << "12-31-2105 23:59:59" << true;
        QTest::newRow("day first") << "2026-12-08 06:00:00" << false;
    }
    void timeStamps() {
        QFETCH(QString, stamp);
        QFETCH(bool, valid);
        int64_t seconds = 0;
        QCOMPARE(rec::ParseStamp(stamp, &seconds), valid);
        if (valid) QCOMPARE(rec::FormatStamp(seconds), stamp);
    }

    // The visible range's statistics and the read-out take exactly the lines
    // under the view and under the pointer: ten lines a second, spread over it.
    void rangeAndReadout_data() {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("end");
        QTest::newRow("from the first line") << 0 << 37;
        QTest::newRow("inside seconds") << 103 << 157;
        QTest::newRow("whole seconds") << 100 << 150;
        QTest::newRow("to the last line") << 180 << 200;
    }
    void rangeAndReadout() {
        QFETCH(int, first);
        QFETCH(int, end);
        QByteArray file = kHeader;
        for (int i = 0; i < 200; ++i)
            file += KnownLine(i);
        QVERIFY(Write(Path("range.dat"), file));
        RecordViewer *v = OpenRead(Path("range.dat"));
        QVERIFY(v);
        const rec::RecordStore &st = v->Store();
        const size_t n = st.Count();
        const double upper = size_t(end) < n ? st.X(size_t(end), n) : st.X(n - 1, n) + 0.05;
        const rec::RecordStats s = v->StatsBetween(st.X(size_t(first), n), upper);
        QCOMPARE(s.Lines(), uint64_t(end - first));
        QCOMPARE(s.channel[0].min, uint16_t(first));
        QCOMPARE(s.channel[0].max, uint16_t(end - 1));
        for (int i : {first, end - 1}) {
            const QString readout = v->ChartReadout(v->Window(), st.X(size_t(i), n));
            QVERIFY2(readout.contains(QString("RED %1 ").arg(i)), qPrintable(readout));
        }
        delete v;
    }

    // CANCEL stops the reading where it is: the viewer holds the file's first
    // lines, in order, and fewer than the file has (21 MB: the reading is far
    // from the end when CANCEL comes at once). RELOAD reads on from there,
    // neither losing nor doubling a line.
    void cancelThenReadOn() {
        constexpr size_t kLines = 300000;
        QByteArray file = kHeader;
        for (size_t i = 0; i < kLines; ++i)
            file += KnownLine(int(i % 200));
        QVERIFY(Write(Path("long.dat"), file));
        QString problem;
        RecordViewer *v = RecordViewer::Open(Path("long.dat"), &problem);
        QVERIFY(v);
        v->Cancel();
        v->WaitRead();
        QVERIFY(!v->Reading());
        const size_t held = v->Store().Count();
        QVERIFY2(held < kLines, qPrintable(QString("%1 of %2 lines read").arg(held).arg(kLines)));
        const auto inOrder = [&](size_t count) {
            for (size_t i = 0; i < count; ++i)
                if (v->Store().Value(i, 0) != i % 200) return false;
            return true;
        };
        QVERIFY(inOrder(held));
        v->Reload();
        v->WaitRead();
        QCOMPARE(v->Store().Count(), kLines);
        QVERIFY(inOrder(kLines));
        QCOMPARE(v->BadLineCount(), qint64(0));
        rec::FileStatsResult r;
        QVERIFY(rec::StatsOfFile(Path("long.dat"), INT64_MIN, INT64_MAX, &r, &problem));
        QCOMPARE(rec::StatsTsv(v->WholeStats(), v->Labels()), rec::StatsTsv(r.stats, r.labels));
        delete v;
    }

    // After CANCEL the statistics say they are of the lines read; once
    // RELOAD has read the rest they are the whole file's again. Exports say
    // the same.
    void cancelSaysWhatWasRead() {
        constexpr int kLines = 400000;
        QByteArray file = kHeader;
        for (int i = 0; i < kLines; ++i)
            file += RecordLine(i / 10, {i % 4096, 1, 2, 3, 4, 5, 6, 7, 8, 9, 3, 36});
        QVERIFY(Write(Path("cancelled.dat"), file));
        QString problem;
        RecordViewer *v = RecordViewer::Open(Path("cancelled.dat"), &problem);
        QVERIFY(v);
        v->Cancel();
        v->WaitRead();
        const size_t read = v->Store().Count();
        QString title;
        QCOMPARE(GetChartTableTitle(v->Window(), 0, &title), 0);
        if (read < size_t(kLines)) {
            QCOMPARE(title, QString("FIRST %1 LINES (reading cancelled)").arg(read));
            QCOMPARE(v->WholeStats().Lines(), uint64_t(read));
            QVERIFY2(v->ExportCaption().endsWith(
                         QString("of %1 lines read (the first of the file)").arg(read)),
                     qPrintable(v->ExportCaption()));
        }
        v->Reload();
        v->WaitRead();
        QCOMPARE(v->Store().Count(), size_t(kLines));
        QCOMPARE(GetChartTableTitle(v->Window(), 0, &title), 0);
        QCOMPARE(title, QString("WHOLE FILE"));
        QVERIFY2(v->ExportCaption().endsWith(QString("%1 of %1 lines").arg(kLines)),
                 qPrintable(v->ExportCaption()));
        delete v;
    }

    // A clock set back while recording: each trace breaks there instead of
    // drawing a line back over the time; the full range, the statistics of
    // a time range and the read-out take the lines of both runs.
    void clockBackBreaksTheTrace() {
        QByteArray file = kHeader;
        for (int i = 0; i < 600; ++i) // 00:00:00 .. 00:00:59
            file += KnownLine(i);
        for (int i = 300; i < 900; ++i) // back to 00:00:30 .. 00:01:29
            file += KnownLine(i);
        QVERIFY(Write(Path("clockback.dat"), file));
        RecordViewer *v = OpenRead(Path("clockback.dat"));
        QVERIFY(v);
        const rec::RecordStore &st = v->Store();
        const size_t n = st.Count();
        QCOMPARE(n, size_t(1200));
        QCOMPARE(st.Runs(n), size_t(2));
        QVERIFY(v->Status().contains("the time goes back at line 602"));
        double lo = 0, hi = 0;
        st.Span(n, &lo, &hi);
        int64_t base = 0;
        QVERIFY(rec::ParseStamp("12-08-2026 00:00:00", &base));
        QCOMPARE(lo, double(base));
        QVERIFY(hi > double(base + 89) && hi < double(base + 90));
        for (int pixels : {100, 2000}) {
            const rec::Decimated d = rec::Decimate(st, n, lo, hi + 0.1, pixels, {0});
            QCOMPARE(std::count_if(d.x.begin(), d.x.end(), [](double x) { return std::isnan(x); }),
                     1);
            for (size_t i = 1; i < d.x.size(); ++i)
                if (!std::isnan(d.x[i]) && !std::isnan(d.x[i - 1]))
                    QVERIFY2(d.x[i] >= d.x[i - 1], qPrintable(QString::number(i)));
        }
        // Seconds 30..59 hold 300 lines of each run.
        QCOMPARE(v->LinesBetween(double(base + 30), double(base + 60)), qint64(600));
        QCOMPARE(v->StatsBetween(lo, hi + 1).Lines(), uint64_t(1200));
        QVERIFY(v->ChartReadout(v->Window(), double(base + 80)).contains("RED 800"));
        // The window's traces break there too.
        const auto breaks = [&] {
            std::vector<double> x, y;
            GetChartTrace(v->Window(), 0, &x, &y);
            return std::count_if(x.begin(), x.end(), [](double k) { return std::isnan(k); });
        };
        QTRY_COMPARE(breaks(), 1);
        delete v;
    }

    // An exported picture names the file, the time range and the lines; the
    // pointer's cursor line is no part of it; the PDF is an A4 page on its side.
    void exportsSayWhatTheyShow() {
        QByteArray file = kHeader;
        for (int i = 0; i < 200; ++i)
            file += KnownLine(i);
        QVERIFY(Write(Path("exported.dat"), file));
        RecordViewer *v = OpenRead(Path("exported.dat"));
        QVERIFY(v);
        QTest::qWait(50);
        const QString caption = v->ExportCaption();
        QVERIFY2(
            caption.startsWith("exported.dat   12-08-2026 00:00:00 \u2013 12-08-2026 00:00:19"),
            qPrintable(caption));
        QVERIFY2(caption.endsWith("200 of 200 lines"), qPrintable(caption));

        QVERIFY(v->ExportImage(Path("exported.pdf")));
        QFile pdf(Path("exported.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QRegularExpressionMatch box =
            QRegularExpression("/MediaBox\\s*\\[\\s*0\\s+0\\s+([\\d.]+)\\s+([\\d.]+)")
                .match(QString::fromLatin1(pdf.readAll()));
        QVERIFY(box.hasMatch());
        QVERIFY2(std::abs(box.captured(1).toDouble() - 842) < 1.5, qPrintable(box.captured(1)));
        QVERIFY2(std::abs(box.captured(2).toDouble() - 595) < 1.5, qPrintable(box.captured(2)));

        QCustomPlot *plot = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->windowTitle() == "RECORD exported.dat") plot = w->findChild<QCustomPlot *>();
        QVERIFY(plot);
        QVERIFY(v->ExportImage(Path("plain.png")));
        const QPointF over(plot->width() / 2.0, plot->height() / 8.0);
        QMouseEvent move(QEvent::MouseMove, over, plot->mapToGlobal(over), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(plot, &move);
        bool cursorShown = false;
        for (int i = 0; i < plot->itemCount(); ++i)
            cursorShown |= plot->item(i)->visible();
        QVERIFY(cursorShown);
        QVERIFY(v->ExportImage(Path("hovered.png")));
        QCOMPARE(QImage(Path("hovered.png")), QImage(Path("plain.png")));
        delete v;
    }

    // The reader looks at CANCEL before each chunk it reads: raised during
    // the first chunk, the reading ends after it with every line of it given
    // once, and a reading from where it stopped gives each remaining line once.
    void scanStopsAtCancel() {
        constexpr qint64 kLines = 60000; // about 4 MB: four chunks
        QByteArray file;
        for (qint64 i = 0; i < kLines; ++i)
            file += KnownLine(int(i % 200));
        QBuffer device(&file);
        QVERIFY(device.open(QIODevice::ReadOnly));
        std::atomic<bool> cancel{false};
        QList<qint64> numbers;
        qint64 bytes = 0;
        const auto take = [&](qint64 n, const char *b, const char *e) {
            numbers << n;
            bytes += e - b + 2; // the line and its CR LF
            if (n == 10) cancel = true;
        };
        const rec::ScanResult first = rec::ScanLines(device, 0, 0, take, &cancel);
        QVERIFY(first.cancelled);
        QVERIFY2(first.line > 10 && first.line < kLines, qPrintable(QString::number(first.line)));
        QCOMPARE(first.offset, bytes);
        cancel = false;
        const rec::ScanResult rest =
            rec::ScanLines(device, first.offset, first.line, take, &cancel);
        QVERIFY(!rest.cancelled);
        QCOMPARE(rest.line, kLines);
        QCOMPARE(rest.offset, qint64(file.size()));
        QCOMPARE(numbers.size(), kLines);
        for (qint64 i = 0; i < kLines; ++i)
            QCOMPARE(numbers[i], i + 1);
    }

    // A single line far off the rest stays visible when 100 000 lines are
    // drawn into a few hundred pixel columns, wherever it lies and whichever
    // way it points; the drawing stays within two points per column.
    void decimationKeepsASpike_data() {
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("value");
        QTest::newRow("first line, up") << 0 << 4095;
        QTest::newRow("middle, up") << 54321 << 4095;
        QTest::newRow("middle, down to 0") << 54321 << 0;
        QTest::newRow("last line, down") << 99999 << 0;
        QTest::newRow("inside a 64-line group") << 64 * 700 + 33 << 65535;
    }
    void decimationKeepsASpike() {
        QFETCH(int, at);
        QFETCH(int, value);
        rec::RecordStore store;
        rec::Line line;
        QVERIFY(rec::ParseDateTime("12-08-2026", "00:00:00", &line.seconds));
        const int64_t t0 = line.seconds;
        for (int i = 0; i < 100000; ++i) {
            line.seconds = t0 + i / 100;
            std::fill(std::begin(line.v), std::end(line.v), uint16_t(1000 + i % 7));
            if (i == at) line.v[0] = uint16_t(value);
            QVERIFY(store.Append(line));
        }
        store.Publish();
        const size_t n = store.Count();
        const int pixels = 317;
        const rec::Decimated d =
            rec::Decimate(store, n, store.X(0, n), store.X(n - 1, n) + 0.01, pixels, {0, 1});
        QVERIFY(d.x.size() <= size_t(2 * pixels));
        QVERIFY(!d.x.empty());
        const auto [mn, mx] = std::minmax_element(d.y[0].begin(), d.y[0].end());
        QCOMPARE(value == 0 ? *mn : *mx, double(value));
        // The other channel shows no spike.
        QCOMPARE(*std::max_element(d.y[1].begin(), d.y[1].end()), 1006.0);
        QCOMPARE(*std::min_element(d.y[1].begin(), d.y[1].end()), 1000.0);
    }

    // Files that are no record files are refused with the line named; lines
    // that cannot be read in a good file are skipped and counted by number.
    void badFiles_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("refusal"); // empty: opened
        QTest::addColumn<QList<qint64>>("badLines");
        QTest::addColumn<int>("lines");
        const QByteArray good = KnownLine(1);
        QTest::newRow("two columns")
            << QByteArray("time\tvalue\r\n12:00:00\t5\r\n")
            << "Line 1 is no header line: it has 2 fields" << QList<qint64>() << 0;
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
                                << "Line 3 holds bytes that are no text" << QList<qint64>() << 0;
        QTest::newRow("empty") << QByteArray() << "The file is empty" << QList<qint64>() << 0;
        QTest::newRow("header, then two columns")
            << kHeader + "12:00:00\t5\r\n"
            << "Line 2 is no record line: it has 2 fields" << QList<qint64>() << 0;
        QTest::newRow("labels without DATE and TIME")
            << QByteArray(kHeader).replace("DATE\tTIME", "A\tB") + good
            << "must begin with DATE and TIME" << QList<qint64>() << 0;
        QTest::newRow("bad lines counted")
            << kHeader + good + good + good.left(30) + "\r\n" + good +
                   QByteArray(good).replace("65535", "65536") + good +
                   QByteArray(good).replace("12-08-2026", "02-30-2026") +
                   QByteArray(good).replace("\t36\r", "\t3x\r") + QByteArray(600, 'x') + "\r\n" +
                   QByteArray(good).replace("00:00:00", "24:00:00") + good
            << QString() << QList<qint64>{4, 6, 8, 9, 10, 11} << 5;
        QTest::newRow("no header: recorded before a file was chosen")
            << good + good << QString() << QList<qint64>() << 2;
        QTest::newRow("only the header") << kHeader << QString() << QList<qint64>() << 0;
        QTest::newRow("line ends LF only, a tab after the last value")
            << QByteArray(kHeader).replace("\r\n", "\n") +
                   QByteArray(good).replace("\t36\r\n", "\t36\t\n")
            << QString() << QList<qint64>() << 1;
    }
    void badFiles() {
        QFETCH(QByteArray, content);
        QFETCH(QString, refusal);
        QFETCH(QList<qint64>, badLines);
        QFETCH(int, lines);
        const QString path = Path("bad.dat");
        QVERIFY(Write(path, content));
        QString problem;
        RecordViewer *v = OpenRead(path, &problem);
        if (!refusal.isEmpty()) {
            QVERIFY2(!v, "a file that is no record file was opened");
            QVERIFY2(problem.contains(refusal), qPrintable(problem));
            // The command line refuses it the same way.
            rec::FileStatsResult r;
            QVERIFY(!rec::StatsOfFile(path, INT64_MIN, INT64_MAX, &r, &problem));
            return;
        }
        QVERIFY2(v, qPrintable(problem));
        QCOMPARE(v->Store().Count(), size_t(lines));
        QCOMPARE(v->BadLines(), badLines);
        QCOMPARE(v->BadLineCount(), qint64(badLines.size()));
        if (!badLines.isEmpty()) {
            QStringList numbers;
            for (qint64 n : badLines)
                numbers << QString::number(n);
            const QString said = QString("%1 lines could not be read: %2")
                                     .arg(badLines.size())
                                     .arg(numbers.join(", "));
            QVERIFY2(v->Status().contains(said), qPrintable(v->Status()));
        }
        QCOMPARE(v->Labels().size(), rec::kFields);
        QCOMPARE(v->Labels()[8], QString("X s"));
        rec::FileStatsResult r;
        QVERIFY(rec::StatsOfFile(path, INT64_MIN, INT64_MAX, &r, &problem));
        QCOMPARE(r.badLines, qint64(badLines.size()));
        QCOMPARE(rec::StatsTsv(r.stats, r.labels), rec::StatsTsv(v->WholeStats(), v->Labels()));
        delete v;
    }

    // A file still being recorded: RELOAD appends what came since, a line
    // still being written waits for its line end, and a file begun anew is
    // read again from its start. The plots follow the whole file and export.
    void growingFileReloaded() {
        const QString path = Path("growing.dat");
        QByteArray file = kHeader;
        for (int i = 0; i < 100; ++i)
            file += KnownLine(i);
        QVERIFY(Write(path, file));
        RecordViewer *v = OpenRead(path);
        QVERIFY(v);
        QCOMPARE(v->Store().Count(), size_t(100));

        struct Step {
            QByteArray append;
            bool replace;
            size_t lines;
            bool stillWritten;
        };
        QByteArray more;
        for (int i = 100; i < 150; ++i)
            more += KnownLine(i);
        const QByteArray next = KnownLine(150);
        QByteArray fresh = kHeader, longer = kHeader;
        for (int i = 0; i < 7; ++i)
            fresh += KnownLine(i);
        for (int i = 0; i < 200; ++i)
            longer += RecordLine(36000 + i, {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 9, 20});
        const Step steps[] = {
            {more + next.left(25), false, 150, true}, // the recorder is inside a line
            {next.mid(25) + KnownLine(151), false, 152, false},
            {QByteArray(), false, 152, false},
            {longer, true, 200, false}, // a new recording, already longer than the old
            {fresh, true, 7, false},    // SELECT RECORD FILE began it anew
        };
        for (const Step &s : steps) {
            QVERIFY(Write(path, s.append, !s.replace));
            v->Reload();
            v->WaitRead();
            QCOMPARE(v->Store().Count(), s.lines);
            QCOMPARE(v->BadLineCount(), qint64(0));
            QCOMPARE(v->Status().contains("still being written"), s.stillWritten);
            QCOMPARE(v->WholeStats().Lines(), uint64_t(s.lines));
            // The statistics are those of the file as it now is, nothing of an earlier one.
            rec::FileStatsResult r;
            QString problem;
            QVERIFY(rec::StatsOfFile(path, INT64_MIN, INT64_MAX, &r, &problem));
            if (!s.stillWritten)
                QCOMPARE(rec::StatsTsv(v->WholeStats(), v->Labels()),
                         rec::StatsTsv(r.stats, r.labels));
            // The view shows every line: the last line's time is in range.
            const auto showsAll = [&] {
                double lo = 0, hi = 0;
                GetChartRange(v->Window(), &lo, &hi);
                const size_t n = v->Store().Count();
                return lo <= v->Store().X(0, n) && hi > v->Store().X(n - 1, n);
            };
            QTRY_VERIFY(showsAll());
        }
        // The plots as shown go to a picture and a document.
        for (const char *name : {"plots.png", "plots.pdf"}) {
            QVERIFY(v->ExportImage(Path(name)));
            QVERIFY(QFileInfo(Path(name)).size() > 1000);
        }
        delete v;
    }
};

QTEST_MAIN(TstViewer)
#include "tst_viewer.moc"
