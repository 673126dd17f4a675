// The arithmetic of the live graphs: tolerance limits per column layout,
// the zoomed and projection axes, the trend ranges and the buffer shifts.
#include "live/GraphMath.h"

#include <QTest>
#include <array>
#include <vector>

using namespace graphmath;

namespace {
using Row = std::array<uint16_t, 7>;
using Table = std::vector<Row>;

// A table of 31 untaught rows (every cell 1, as after a reset) with the
// given rows in front.
std::vector<std::array<uint16_t, 7>> TableWith(const Table &taught) {
    std::vector<std::array<uint16_t, 7>> t(31, Row{1, 1, 1, 1, 1, 1, 1});
    for (size_t i = 0; i < taught.size(); ++i) t[i] = taught[i];
    return t;
}

const CttRow *Rows(const std::vector<std::array<uint16_t, 7>> &t) {
    return reinterpret_cast<const CttRow *>(t.data());
}

// Cells of one row, 0-based, for placing values in a mode's layout.
Row RowOf(std::initializer_list<std::pair<int, uint16_t>> cells) {
    Row r{1, 1, 1, 1, 1, 1, 1};
    for (auto [cell, value] : cells) r[size_t(cell)] = value;
    return r;
}
} // namespace

Q_DECLARE_METATYPE(Row)
Q_DECLARE_METATYPE(Table)

class TestGraphMath : public QObject {
    Q_OBJECT
private slots:
    void limits_data();
    void limits();
    void combinedView_data();
    void combinedView();
    void threeSides_data();
    void threeSides();
    void trendRange_data();
    void trendRange();
    void shift_data();
    void shift();
    void copy1D();
};

// The row is laid out by hand in each mode's columns, so a wrong column
// choice reads the wrong cells.
void TestGraphMath::limits_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<Row>("row");
    QTest::addColumn<int>("ulint");
    QTest::addColumn<int>("llint");
    QTest::addColumn<int>("ulgn");
    QTest::addColumn<int>("llgn");

    // INT 4000 ± 200 and GN 100 ± 200 in each layout.
    for (int mode : {0, 1})
        QTest::addRow("mode %d: INT col 4, ITO 5, GN 6, GTO 7", mode)
            << mode << Row{900, 900, 50, 4000, 200, 100, 200} << 4095 << 3800 << 300 << 0;
    for (int mode : {2, 3})
        QTest::addRow("mode %d: INT col 3, TOL 4, GN 5, GTO 6", mode)
            << mode << Row{900, 900, 4000, 200, 100, 200, 1} << 4095 << 3800 << 300 << 0;
    for (int mode : {4, 5})
        QTest::addRow("mode %d: GN col 3, TOL 4, INT 5, ITO 6", mode)
            << mode << Row{900, 900, 100, 200, 4000, 200, 1} << 4095 << 3800 << 300 << 0;
    for (int mode : {6, 7})
        QTest::addRow("mode %d: INT col 3, GN 4, one TOL 5", mode)
            << mode << Row{900, 900, 4000, 100, 200, 1, 1} << 4095 << 3800 << 300 << 0;

    QTest::newRow("INT 100 +- 200 swapped with GN") << 0 << Row{0, 0, 0, 100, 200, 4000, 200}
                                                    << 300 << 0 << 4095 << 3800;
    QTest::newRow("inside the range") << 2 << Row{0, 0, 2000, 150, 700, 25, 1} << 2150 << 1850
                                      << 725 << 675;
    // Sums beyond 16 bits must not wrap; a value above full scale stays in it.
    QTest::newRow("largest cells") << 0 << Row{0, 0, 0, 65535, 65535, 65535, 0} << 4095 << 0
                                   << 4095 << 4095;
}

void TestGraphMath::limits() {
    QFETCH(int, calcmode);
    QFETCH(Row, row);
    const CalcColumns c = ColumnsOf(calcmode);
    const Limits li = ToleranceLimits(row[size_t(c.intVal)], row[size_t(c.intTol)]);
    const Limits lg = ToleranceLimits(row[size_t(c.gnVal)], row[size_t(c.gnTol)]);
    QTEST(int(li.upper), "ulint");
    QTEST(int(li.lower), "llint");
    QTEST(int(lg.upper), "ulgn");
    QTEST(int(lg.lower), "llgn");
}

void TestGraphMath::combinedView_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<Table>("taught");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QList<int>>("axes"); // x min, x max, y min, y max

    // Circles spanning X 1000..1400 and Y 1000..1200, the radius in each
    // layout's X/Y tolerance cell (2, 3, 3, 4).
    const int tolCell[] = {2, 3, 3, 4};
    for (int pair = 0; pair < 4; ++pair) {
        const int t = tolCell[pair];
        const Table circles = {RowOf({{0, 1100}, {1, 1100}, {t, 100}}),
                               RowOf({{0, 1300}, {1, 1100}, {t, 100}})};
        QTest::addRow("point (3000, 500), mode %d", 2 * pair)
            << 2 * pair << circles << 3000 << 500 << QList<int>{975, 3025, -175, 1875};
    }
    QTest::newRow("point inside the circles")
        << 0 << Table{RowOf({{0, 1100}, {1, 1100}, {2, 100}}), RowOf({{0, 1300}, {1, 1100}, {2, 100}})}
        << 1200 << 1100 << QList<int>{975, 1425, 875, 1325};
    QTest::newRow("no taught row") << 0 << Table{} << 5000 << 5000
                                   << QList<int>{-25, 10025, -25, 10025};
    QTest::newRow("no taught row, point beyond 10000")
        << 0 << Table{} << 12000 << 0 << QList<int>{-25, 12025, -1025, 11025};
    // X 5, Y 8 is untaught however large its radius.
    QTest::newRow("rows with X and Y at most 10 ignored")
        << 2 << Table{RowOf({{0, 5}, {1, 8}, {3, 3000}}), RowOf({{0, 10}, {1, 10}, {3, 3000}})}
        << 5000 << 5000 << QList<int>{-25, 10025, -25, 10025};
    QTest::newRow("Y above 10 alone counts")
        << 0 << Table{RowOf({{0, 5}, {1, 200}, {2, 100}})} << 0 << 200
        << QList<int>{-120, 130, 75, 325};
}

void TestGraphMath::combinedView() {
    QFETCH(int, calcmode);
    QFETCH(Table, taught);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QList<int>, axes);
    const auto table = TableWith(taught);
    const AxisPair a = CombinedViewAxes(Rows(table), 31, calcmode, x, y);
    QCOMPARE((QList<int>{a.x.min, a.x.max, a.y.min, a.y.max}), axes);
}

void TestGraphMath::threeSides_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<Table>("taught");
    QTest::addColumn<QList<int>>("measured"); // X, Y, INT, GN
    QTest::addColumn<QList<int>>("xInt");     // X-INT axes: x min, x max, y min, y max

    // X 1000..1100 and INT 1500..1700 taught, INT 2000 measured: the
    // vertical axis runs 1475..2025, the horizontal one as wide around X.
    const QList<int> expected{775, 1325, 1475, 2025};
    QTest::newRow("mode 2: INT col 3, one TOL col 4")
        << 2
        << Table{RowOf({{0, 1025}, {1, 1000}, {2, 1525}, {3, 25}}),
                 RowOf({{0, 1075}, {1, 1000}, {2, 1675}, {3, 25}})}
        << QList<int>{1050, 1000, 2000, 0} << expected;
    QTest::newRow("mode 5: INT col 5, ITO col 6, TOL col 4")
        << 5 << Table{RowOf({{0, 1050}, {1, 1000}, {3, 50}, {4, 1600}, {5, 100}})}
        << QList<int>{1050, 1000, 2000, 0} << expected;
    QTest::newRow("mode 6: INT col 3, one TOL col 5")
        << 6
        << Table{RowOf({{0, 1025}, {1, 1000}, {2, 1525}, {4, 25}}),
                 RowOf({{0, 1075}, {1, 1000}, {2, 1675}, {4, 25}})}
        << QList<int>{1050, 1000, 2000, 0} << expected;
    // Without qualifying rows each coordinate spans 0..10000.
    QTest::newRow("only an untaught row")
        << 2 << Table{RowOf({{0, 5}, {1, 8}, {2, 3000}, {3, 500}})}
        << QList<int>{100, 100, 100, 100} << QList<int>{-25, 10025, -25, 10025};
}

void TestGraphMath::threeSides() {
    QFETCH(int, calcmode);
    QFETCH(Table, taught);
    QFETCH(QList<int>, measured);
    QFETCH(QList<int>, xInt);
    const auto table = TableWith(taught);
    const ViewExtents e = ThreeSidesExtents(Rows(table), 31, calcmode, measured[0], measured[1],
                                            measured[2], measured[3]);
    const AxisPair a = SquareAxes(e.x, e.intensity);
    QCOMPARE((QList<int>{a.x.min, a.x.max, a.y.min, a.y.max}), xInt);
}

void TestGraphMath::trendRange_data() {
    QTest::addColumn<QList<double>>("samples"); // repeated to fill 300 values
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");

    QTest::newRow("steady value and limits") << QList<double>{2000, 2100, 1900} << 1885 << 2115;
    // Fewer than 100 frames since start: the buffer still holds zeros.
    QTest::newRow("zeros left in the buffer") << QList<double>{0, 0, 0, 2000, 2100, 1900} << 0
                                              << 2115;
    QTest::newRow("minimum below the margin") << QList<double>{10, 30, 5} << 0 << 45;
    QTest::newRow("fractions truncated") << QList<double>{4094.9, 4095, 100.7} << 85 << 4110;
}

void TestGraphMath::trendRange() {
    QFETCH(QList<double>, samples);
    std::vector<double> buffer(300);
    // The listed samples end the buffer; a leading group of zeros fills it up.
    const bool zerosFirst = samples.first() == 0;
    for (size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = zerosFirst && i < 150 ? 0.0 : samples[int(i % size_t(samples.size()))];
    const Range r = TrendRange(buffer.data(), int(buffer.size()));
    QTEST(r.min, "min");
    QTEST(r.max, "max");
}

void TestGraphMath::shift_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("k");
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<int>("result");
    QTest::addColumn<QList<double>>("expected"); // of input 1, 2, ..., n

    QTest::newRow("toward the start, in place") << 6 << -2 << true << 0
                                                << QList<double>{3, 4, 5, 6, 0, 0};
    QTest::newRow("toward the end, in place") << 6 << 2 << true << 0
                                              << QList<double>{0, 0, 1, 2, 3, 4};
    QTest::newRow("toward the start, separate") << 6 << -1 << false << 0
                                                << QList<double>{2, 3, 4, 5, 6, 0};
    QTest::newRow("toward the end, separate") << 6 << 5 << false << 0
                                              << QList<double>{0, 0, 0, 0, 0, 1};
    QTest::newRow("zero copies") << 4 << 0 << false << 0 << QList<double>{1, 2, 3, 4};
    QTest::newRow("shift as long as the array") << 4 << 4 << false << -20102 << QList<double>{};
    QTest::newRow("shift as long, toward the start") << 4 << -4 << false << -20102
                                                     << QList<double>{};
    QTest::newRow("empty array") << 0 << 0 << false << -20003 << QList<double>{};
}

void TestGraphMath::shift() {
    QFETCH(int, n);
    QFETCH(int, k);
    QFETCH(bool, inPlace);
    QFETCH(int, result);
    QFETCH(QList<double>, expected);
    std::vector<double> in(size_t(std::max(n, 1)));
    for (int i = 0; i < n; ++i) in[size_t(i)] = i + 1;
    std::vector<double> out(in.size(), -1.0);
    double *target = inPlace ? in.data() : out.data();
    QCOMPARE(Shift(in.data(), n, k, target), result);
    if (result != 0) return;
    QCOMPARE(QList<double>(target, target + n), expected);
}

void TestGraphMath::copy1D() {
    const double in[3] = {7, 8, 9};
    double out[3] = {};
    QCOMPARE(Copy1D(in, 3, out), 0);
    QCOMPARE(QList<double>(out, out + 3), (QList<double>{7, 8, 9}));
    QCOMPARE(Copy1D(in, 0, out), -20003);
}

QTEST_APPLESS_MAIN(TestGraphMath)
#include "tst_graphmath.moc"
