// The arithmetic of the live graphs: tolerance limits per column layout,
// the zoomed and projection axes, the trend ranges and the buffer shifts.
#include "live/GraphMath.h"

#include <QTest>
#include <array>
#include <limits>
#include <vector>

using namespace graphmath;

using Row = std::array<uint16_t, 7>;
using Rows = QList<Row>;
Q_DECLARE_METATYPE(Row)
Q_DECLARE_METATYPE(Rows)

namespace {
// What the older half of a trend buffer holds.
enum Before { kRepeat, kZeros, kUnmeasured };

// A row with every cell 1 (untaught) but the given (cell, value) pairs.
Row R(std::initializer_list<std::pair<int, uint16_t>> cells) {
    Row r;
    r.fill(1);
    for (auto [cell, value] : cells)
        r[size_t(cell)] = value;
    return r;
}

// The taught rows followed by untaught ones, 31 in all.
std::vector<Row> Table(const Rows &taught) {
    std::vector<Row> t(taught.begin(), taught.end());
    t.resize(31, R({}));
    return t;
}

const CttRow *Cells(const std::vector<Row> &t) {
    return reinterpret_cast<const CttRow *>(t.data());
}

QList<int> List(const AxisPair &a) {
    return {a.x.min, a.x.max, a.y.min, a.y.max};
}
} // namespace

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
};

// Each row is laid out by hand in its mode's columns, so a wrong column
// choice reads the wrong cells.
void TestGraphMath::limits_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<Row>("row");
    QTest::addColumn<QList<int>>("limits"); // ulint, llint, ulgn, llgn

    // INT 4000 and GN 100, both with tolerance 200.
    const QList<int> clamped{4095, 3800, 300, 0};
    QTest::newRow("mode 1: INT 4, ITO 5, GN 6, GTO 7")
        << 1 << Row{900, 900, 50, 4000, 200, 100, 200} << clamped;
    QTest::newRow("mode 2: INT 3, TOL 4, GN 5, GTO 6")
        << 2 << Row{900, 900, 4000, 200, 100, 200, 1} << clamped;
    QTest::newRow("mode 5: GN 3, TOL 4, INT 5, ITO 6")
        << 5 << Row{900, 900, 100, 200, 4000, 200, 1} << clamped;
    QTest::newRow("mode 6: INT 3, GN 4, one TOL 5")
        << 6 << Row{900, 900, 4000, 100, 200, 1, 1} << clamped;
    // Sums beyond 16 bits must not wrap; a value above full scale stays in it.
    QTest::newRow("largest cells")
        << 0 << Row{0, 0, 0, 65535, 65535, 65535, 0} << QList<int>{4095, 0, 4095, 4095};
}

void TestGraphMath::limits() {
    QFETCH(int, calcmode);
    QFETCH(Row, row);
    const CalcColumns c = ColumnsOf(calcmode);
    const Limits li = ToleranceLimits(row[size_t(c.intVal)], row[size_t(c.intTol)]);
    const Limits lg = ToleranceLimits(row[size_t(c.gnVal)], row[size_t(c.gnTol)]);
    QTEST((QList<int>{li.upper, li.lower, lg.upper, lg.lower}), "limits");
}

void TestGraphMath::combinedView_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<Rows>("taught");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QList<int>>("axes"); // x min, x max, y min, y max

    // Circles spanning X 1000..1400 and Y 1000..1200, the radius in each
    // layout's X/Y tolerance cell; the point (3000, 500) lies outside them.
    const int tolCell[] = {2, 3, 3, 4};
    for (int mode = 0; mode < 8; mode += 2) {
        const int t = tolCell[mode / 2];
        QTest::addRow("mode %d", mode)
            << mode
            << Rows{R({{0, 1100}, {1, 1100}, {t, 100}}), R({{0, 1300}, {1, 1100}, {t, 100}})}
            << 3000 << 500 << QList<int>{975, 3025, -175, 1875};
    }
    QTest::newRow("no taught row")
        << 0 << Rows{} << 5000 << 5000 << QList<int>{-25, 10025, -25, 10025};
    QTest::newRow("no taught row, point beyond 10000")
        << 0 << Rows{} << 12000 << 0 << QList<int>{-25, 12025, -1025, 11025};
    // X 5, Y 8 is untaught however large its radius; Y 11 alone is taught.
    QTest::newRow("X and Y at most 10 ignored")
        << 2 << Rows{R({{0, 5}, {1, 8}, {3, 3000}}), R({{0, 10}, {1, 10}, {3, 3000}})} << 5000
        << 5000 << QList<int>{-25, 10025, -25, 10025};
    QTest::newRow("Y above 10 alone counts")
        << 0 << Rows{R({{0, 5}, {1, 200}, {2, 100}})} << 0 << 200 << QList<int>{-120, 130, 75, 325};
}

void TestGraphMath::combinedView() {
    QFETCH(int, calcmode);
    QFETCH(Rows, taught);
    QFETCH(int, x);
    QFETCH(int, y);
    const auto table = Table(taught);
    QTEST(List(CombinedViewAxes(Cells(table), 31, calcmode, x, y)), "axes");
}

// X 1000..1100 and INT 1500..1700 taught, INT 2000 measured: the X-INT
// graph's vertical axis runs 1475..2025, its horizontal one as wide.
void TestGraphMath::threeSides_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<Rows>("taught");
    QTest::addColumn<QList<int>>("xInt");

    const QList<int> expected{775, 1325, 1475, 2025};
    QTest::newRow("mode 2: one TOL for X/Y and INT")
        << 2 << Rows{R({{0, 1025}, {2, 1525}, {3, 25}}), R({{0, 1075}, {2, 1675}, {3, 25}})}
        << expected;
    QTest::newRow("mode 5: TOL for X/Y, MTO for M")
        << 5 << Rows{R({{0, 1050}, {3, 50}, {4, 1600}, {5, 100}})} << expected;
    QTest::newRow("only an untaught row") << 6 << Rows{R({{0, 5}, {1, 8}, {2, 3000}, {4, 500}})}
                                          << QList<int>{-25, 10025, -25, 10025};
}

void TestGraphMath::threeSides() {
    QFETCH(int, calcmode);
    QFETCH(Rows, taught);
    const auto table = Table(taught);
    const ViewExtents e = ThreeSidesExtents(Cells(table), 31, calcmode, 1050, 1, 2000, 0);
    QTEST(List(SquareAxes(e.x, e.intensity)), "xInt");
}

void TestGraphMath::trendRange_data() {
    QTest::addColumn<QList<double>>("tail"); // the newest samples, repeated
    QTest::addColumn<int>("before");         // the older half: kRepeat, kZeros or kUnmeasured
    QTest::addColumn<QList<int>>("range");

    QTest::newRow("steady value and limits")
        << QList<double>{2000, 2100, 1900} << int(kRepeat) << QList<int>{1885, 2115};
    QTest::newRow("zeros in the buffer")
        << QList<double>{2000, 2100, 1900} << int(kZeros) << QList<int>{0, 2115};
    QTest::newRow("fractions truncated")
        << QList<double>{4094.9, 4095, 100.7} << int(kRepeat) << QList<int>{85, 4110};
    // Fewer than 100 frames since GO: history not measured yet holds no number.
    QTest::newRow("unmeasured history left out")
        << QList<double>{2000, 2100, 1900} << int(kUnmeasured) << QList<int>{1885, 2115};
    QTest::newRow("nothing measured yet")
        << QList<double>{} << int(kUnmeasured) << QList<int>{0, 15};
}

void TestGraphMath::trendRange() {
    QFETCH(QList<double>, tail);
    QFETCH(int, before);
    std::vector<double> buffer(300);
    for (size_t i = 0; i < buffer.size(); ++i) {
        const bool older = i < 150 || tail.isEmpty();
        if (older && before == kZeros)
            buffer[i] = 0.0;
        else if (older && before == kUnmeasured)
            buffer[i] = std::numeric_limits<double>::quiet_NaN();
        else
            buffer[i] = tail[int(i % 3)];
    }
    const Range r = TrendRange(buffer.data(), 300);
    QTEST((QList<int>{r.min, r.max}), "range");
}

void TestGraphMath::shift_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("k"); // 99: Copy1D
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<int>("result");
    QTest::addColumn<QList<double>>("expected"); // from the input 1, 2, ..., n

    QTest::newRow("toward the start, in place")
        << 6 << -2 << true << 0 << QList<double>{3, 4, 5, 6, 0, 0};
    QTest::newRow("toward the end, in place")
        << 6 << 2 << true << 0 << QList<double>{0, 0, 1, 2, 3, 4};
    QTest::newRow("toward the end, separate")
        << 6 << 5 << false << 0 << QList<double>{0, 0, 0, 0, 0, 1};
    QTest::newRow("zero copies") << 4 << 0 << false << 0 << QList<double>{1, 2, 3, 4};
    QTest::newRow("shift as long as the array") << 4 << -4 << false << -20102 << QList<double>{};
    QTest::newRow("empty array") << 0 << 0 << false << -20003 << QList<double>{};
    QTest::newRow("Copy1D") << 3 << 99 << false << 0 << QList<double>{1, 2, 3};
    QTest::newRow("Copy1D of nothing") << 0 << 99 << false << -20003 << QList<double>{};
}

void TestGraphMath::shift() {
    QFETCH(int, n);
    QFETCH(int, k);
    QFETCH(bool, inPlace);
    std::vector<double> in(size_t(std::max(n, 1)));
    for (int i = 0; i < n; ++i)
        in[size_t(i)] = i + 1;
    std::vector<double> out(in.size(), -1.0);
    double *target = inPlace ? in.data() : out.data();
    const int result = k == 99 ? Copy1D(in.data(), n, target) : Shift(in.data(), n, k, target);
    QTEST(result, "result");
    if (result == 0) QTEST(QList<double>(target, target + n), "expected");
}

QTEST_APPLESS_MAIN(TestGraphMath)
#include "tst_graphmath.moc"
