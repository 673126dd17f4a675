// The GO loop and the live displays against the real panels and the
// simulated sensor: decoding into the displays, stopping, time-outs, the
// tolerance limits taken from the table, the graphs' static content and
// axes, and the three-sides view's layout per calculation mode.
#include "link/Link.h"
#include "live/Live.h"
#include "params/Params.h"
#include "platform/Platform.h"
#include "shell/Shell.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "teach/TeachTable.h"
#include "uir_ids.h"

#include <QTest>
#include <QTimer>
#include <array>

int CBF_ButtonGo(int, int, int, void *, int, int);
int CBF_ButtonStop(int, int, int, void *, int, int);
int CBF_SelectSource(int, int, int, void *, int, int);
int CBF_DispCOL(int, int, int, void *, int, int);
int CBF_DispGroup(int, int, int, void *, int, int);
int CBF_COLBIGP(int, int, int, void *, int, int);
int CBF_GRPBIGP(int, int, int, void *, int, int);
int CBF_P3SIDESVIEW(int, int, int, void *, int, int);
int CBF_DispX(int, int, int, void *, int, int);
int CBF_DispRaw(int, int, int, void *, int, int);
int CBF_GraphData2(int, int, int, void *, int, int);
int CBF_Graph3SidesView(int, int, int, void *, int, int);

using Words = std::array<uint16_t, 18>;
using Callback = int (*)(int, int, int, void *, int, int);
Q_DECLARE_METATYPE(Words)
Q_DECLARE_METATYPE(Callback)

namespace {

// Puts a 36-byte answer into the receive buffer and runs the decoding path
// of one GO cycle on it.
void Receive(const Words &w) {
    for (int k = 0; k < 18; ++k) {
        szReadBuf[2 * k] = uint8_t(w[size_t(k)] >> 8);
        szReadBuf[2 * k + 1] = uint8_t(w[size_t(k)] & 0xFF);
    }
    GetRxBufData();
    CopyDatatoVars();
    SetPanelData();
}

Words Frame(std::initializer_list<std::pair<int, uint16_t>> words) {
    Words w{};
    w[0] = 0x00AA;
    w[1] = 5;
    for (auto [k, v] : words) w[size_t(k)] = v;
    return w;
}

int Val(int panel, int control) {
    int v = -1;
    GetCtrlVal(panel, control, &v);
    return v;
}

QString Text(int panel, int control) {
    QString s;
    GetCtrlVal(panel, control, &s);
    return s;
}

bool Visible(int panel, int control) {
    int v = 0;
    GetCtrlAttribute(panel, control, ATTR_VISIBLE, &v);
    return v != 0;
}

bool PanelVisible(int panel) {
    int v = 0;
    GetPanelAttribute(panel, ATTR_VISIBLE, &v);
    return v != 0;
}

int Attr(int panel, int control, int attribute) {
    int v = 0;
    GetCtrlAttribute(panel, control, attribute, &v);
    return v;
}

QList<double> Axis(int panel, int control, int axis) {
    int mode = 0;
    double lo = 0, hi = 0;
    GetAxisScalingMode(panel, control, axis, &mode, &lo, &hi);
    return {lo, hi};
}

// Presses GO and returns the seconds until the loop ended.
double RunGo() {
    const double start = Timer();
    CBF_ButtonGo(mainpanel, MAINP_ButtonGo, EVENT_COMMIT, nullptr, 0, 0);
    return Timer() - start;
}

void PressStop() { CBF_ButtonStop(mainpanel, MAINP_ButtonStop, EVENT_COMMIT, nullptr, 0, 0); }

int DataRequests() {
    int n = 0;
    for (const QByteArray &r : fixture::Sim().requests())
        if (r.size() >= 4 && uint8_t(r[3]) == 5) ++n;
    return n;
}

void SetCalcmode(int mode) {
    SetCtrlVal(parapanel, PARAP_Calcmode, mode);
    calcmode = uint16_t(mode);
}

// Reconnects over TCP after a test left the link timed out or serial.
bool ConnectTcp() {
    fixture::Sim().clearFaults();
    fixture::SelectTcp();
    TryToConnect();
    ShowChildPanel(2);
    return comecho == 1 && tcpcon == 1;
}
} // namespace

class TestPolling : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void everyWordReachesItsDisplay();
    void decoding_data();
    void decoding();
    void pollsUntilStop();
    void stopDuringWaitCompletesCycle();
    void shortAnswerTimesOut();
    void extraBytesOnSerialTimeOutAtOnce();
    void limitsFollowTheTable_data();
    void limitsFollowTheTable();
    void staticPlots_data();
    void staticPlots();
    void axesFollowTheMeasurement();
    void sourceSelectsGraph_data();
    void sourceSelectsGraph();
    void threeSidesLayout_data();
    void threeSidesLayout();
    void bigDisplays();
    void helpTexts_data();
    void helpTexts();
};

void TestPolling::initTestCase() {
    QVERIFY(fixture::StartProgram());
    QVERIFY(fixture::StartUp());
    fixture::CheckNoUnexpectedPopups();
}

void TestPolling::init() {
    poll = 0;
    if (tcpcon != 1 || comecho != 1) QVERIFY(ConnectTcp());
    fixture::Sim().clearFaults();
    fixture::Sim().clearRequests();
}

void TestPolling::cleanup() {
    fixture::CheckNoUnexpectedPopups();
    SetCalcmode(0);
    evalmode = 0;
}

void TestPolling::everyWordReachesItsDisplay() {
    Receive(Frame({{2, 102}, {3, 103}, {4, 104}, {5, 105}, {6, 106}, {7, 107}, {8, 7},
                   {9, 109}, {10, 110}, {11, 111}, {12, 31}, {13, 4}, {14, 114}, {15, 115},
                   {16, 116}, {17, 117}}));
    const int p = datapanel;
    const QList<int> shown{Val(p, DATAP_BarR),         Val(p, DATAP_BarG),
                           Val(p, DATAP_BarB),         Val(p, DATAP_BarRef),
                           Val(p, DATAP_BarDir),       Val(p, DATAP_BarDif),
                           Val(p, DATAP_DispRaw__R),   Val(p, DATAP_DispRaw__G),
                           Val(p, DATAP_DispRaw__B),   Val(p, DATAP_DispRaw__Ref),
                           Val(p, DATAP_DispRaw__Dir), Val(p, DATAP_DispRaw__Dif),
                           Val(p, DATAP_DispX),        Val(p, DATAP_DispY),
                           Val(p, DATAP_DispINT),      Val(p, DATAP_DispGN),
                           Val(p, DATAP_DispCOL),      Val(p, DATAP_DispTemp),
                           Val(p, DATAP_DispGroup)};
    QCOMPARE(shown, (QList<int>{102, 103, 104, 114, 115, 116, 102, 103, 104, 114, 115, 116, 105,
                                106, 107, 117, 7, 31, 4}));
    // The raw receiver words go to the calibration, not to the data panel.
    QCOMPARE((QList<int>{dataRawR, dataRawG, dataRawB}), (QList<int>{109, 110, 111}));
    QCOMPARE(Val(colbigpanel, COLBIGP_DispBigCOL), 7);
    QCOMPARE(Val(grpbigpanel, GRPBIGP_DispBigGroup), 4);
    // The frame went into the history buffers, newest last.
    QCOMPARE(rawBuf[594], 102.0);
    QCOMPARE(rawBuf[599], 116.0);
    QCOMPARE(intBuf[297], 107.0);
    QCOMPARE(gnBuf[297], 117.0);
}

void TestPolling::decoding_data() {
    QTest::addColumn<int>("evalmode");
    QTest::addColumn<Words>("frame");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("trigger");
    QTest::addColumn<int>("lamps"); // lit lamps as the number they spell; -1: not in use
    QTest::addColumn<int>("patch");

    QTest::newRow("trigger flag on group 1") << 0 << Frame({{13, 1025}}) << 1 << 1 << -1 << 0;
    QTest::newRow("group 1000 without flag") << 0 << Frame({{13, 1000}}) << 1000 << 0 << -1 << 0;
    // Below the flag the word is a bare group; it must not wrap around.
    QTest::newRow("group 1023 without flag") << 0 << Frame({{13, 1023}}) << 1023 << 0 << -1 << 0;
    QTest::newRow("trigger flag on group 0") << 0 << Frame({{13, 1024}}) << 0 << 1 << -1 << 0;
    QTest::newRow("vector 21 on the lamps") << 3 << Frame({{8, 21}}) << 0 << 0 << 21 << 0;
    QTest::newRow("vector 0 on the lamps") << 3 << Frame({{8, 0}}) << 0 << 0 << 0 << 0;
    QTest::newRow("vector 31 on the lamps") << 3 << Frame({{8, 31}}) << 0 << 0 << 31 << 0;
    QTest::newRow("full scale is white")
        << 0 << Frame({{2, 4095}, {3, 4095}, {4, 4095}}) << 0 << 0 << -1 << 0xFFFFFF;
    QTest::newRow("R 15 gives red 0")
        << 0 << Frame({{2, 15}, {3, 16}, {4, 2048}}) << 0 << 0 << -1 << 0x000180;
    QTest::newRow("beyond 12 bits stays at full red")
        << 0 << Frame({{2, 5000}, {3, 0}, {4, 0}}) << 0 << 0 << -1 << 0xFF0000;
}

void TestPolling::decoding() {
    QFETCH(int, evalmode);
    QFETCH(Words, frame);
    ::evalmode = uint16_t(evalmode);
    // A frame with every lamp on first, so that unlit lamps must be switched off.
    if (evalmode == 3) Receive(Frame({{8, 31}}));
    Receive(frame);

    QTEST(Val(datapanel, DATAP_DispGroup), "group");
    QTEST(int(dataGroup), "group");
    QTEST(Val(grpbigpanel, GRPBIGP_DispBigGroup), "group");
    QTEST(Val(datapanel, DATAP_LedTrig), "trigger");
    QTEST(int(dataTrigger), "trigger");
    QTEST(rgbcolor, "patch");
    QTEST(Val(datapanel, DATAP_ColorPatch), "patch");
    QFETCH(int, lamps);
    if (lamps >= 0) {
        const int spelled = 16 * Val(datapanel, DATAP_Lamp16) + 8 * Val(datapanel, DATAP_Lamp8) +
                            4 * Val(datapanel, DATAP_Lamp4) + 2 * Val(datapanel, DATAP_Lamp2) +
                            Val(datapanel, DATAP_Lamp1);
        QCOMPARE(spelled, lamps);
    }
}

void TestPolling::pollsUntilStop() {
    const uint64_t before = pollFrames;
    QTimer::singleShot(400, [] { PressStop(); });
    const double seconds = RunGo();

    const int frames = int(pollFrames - before);
    QVERIFY2(frames >= 5, qPrintable(QString("%1 frames").arg(frames)));
    QVERIFY(seconds < 2.0);
    // One request per decoded frame: nothing unanswered, nothing repeated.
    QCOMPARE(DataRequests(), frames);
    QCOMPARE(int(poll), 0);
    QVERIFY(Text(datapanel, DATAP_DispStatus) != "TIMEOUT");
    QCOMPARE(Attr(mainpanel, MAINP_ButtonGo, ATTR_DIMMED), 0);
}

void TestPolling::stopDuringWaitCompletesCycle() {
    // The third answer comes 0.5 s late; STOP is pressed while it is awaited.
    fixture::Sim().armFault({tsim::Fault::Delay, 3, 500});
    int requests = 0;
    QByteArray lastAnswer;
    auto onRequest = connect(&fixture::Sim(), &tsim::Simulator::requestReceived, this,
                             [&](const QByteArray &) {
                                 if (++requests == 3) PressStop();
                             });
    auto onAnswer = connect(&fixture::Sim(), &tsim::Simulator::answerSent, this,
                            [&](const QByteArray &bytes) { lastAnswer = bytes; });
    const uint64_t before = pollFrames;
    const double seconds = RunGo();
    disconnect(onRequest);
    disconnect(onAnswer);

    QCOMPARE(int(pollFrames - before), 3);
    QCOMPARE(DataRequests(), 3);
    QVERIFY(seconds >= 0.5);
    QVERIFY(Text(datapanel, DATAP_DispStatus) != "TIMEOUT");
    // The late frame was shown.
    QCOMPARE(lastAnswer.size(), 36);
    const int x = uint8_t(lastAnswer[10]) * 256 + uint8_t(lastAnswer[11]);
    QCOMPARE(Val(datapanel, DATAP_DispX), x);
}

void TestPolling::shortAnswerTimesOut() {
    fixture::Sim().armFault({tsim::Fault::ShortAnswer, 2, 1});
    const uint64_t before = pollFrames;
    const double seconds = RunGo();

    QCOMPARE(int(pollFrames - before), 1);
    QVERIFY2(seconds > 2.9 && seconds < 4.5, qPrintable(QString::number(seconds)));
    QCOMPARE(int(poll), 0);
    QCOMPARE(Text(datapanel, DATAP_DispStatus), QString("TIMEOUT"));
    QVERIFY(PanelVisible(interfacepanel));
}

void TestPolling::extraBytesOnSerialTimeOutAtOnce() {
    tsim::Simulator &sim = fixture::Sim();
    if (sim.ptyPath().isEmpty()) QVERIFY2(sim.openPty(), qPrintable(sim.errorString()));
    fixture::SelectSerial(sim.ptyPath(), sim.baudIndex());
    TryToConnect();
    QCOMPARE(int(comecho), 1);
    QCOMPARE(int(comprotocol), 0);

    sim.clearRequests();
    sim.armFault({tsim::Fault::ExtraBytes, 1, 1});
    const uint64_t before = pollFrames;
    const double seconds = RunGo();

    QCOMPARE(int(pollFrames - before), 0);
    QVERIFY2(seconds < 1.0, qPrintable(QString::number(seconds)));
    QCOMPARE(Text(datapanel, DATAP_DispStatus), QString("TIMEOUT"));
    QCOMPARE(int(poll), 0);
    QVERIFY(ConnectTcp());
}

// Table columns (1-based) as laid out per mode; the row read is No. + 1.
void TestPolling::limitsFollowTheTable_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<int>("no");
    QTest::addColumn<QList<int>>("cells"); // columns 1..7 of the row
    QTest::addColumn<QList<double>>("limits"); // ulint, llint, ulgn, llgn

    QTest::newRow("mode 0, row 0") << 0 << 0 << QList<int>{900, 900, 50, 4000, 200, 100, 200}
                                   << QList<double>{4095, 3800, 300, 0};
    QTest::newRow("mode 3, row 30") << 3 << 30 << QList<int>{900, 900, 4000, 200, 100, 200, 1}
                                    << QList<double>{4095, 3800, 300, 0};
    QTest::newRow("mode 4, row 12") << 4 << 12 << QList<int>{900, 900, 100, 200, 4000, 200, 1}
                                    << QList<double>{4095, 3800, 300, 0};
    QTest::newRow("mode 7, row 5") << 7 << 5 << QList<int>{900, 900, 2000, 700, 50, 1, 1}
                                   << QList<double>{2050, 1950, 750, 650};
}

void TestPolling::limitsFollowTheTable() {
    QFETCH(int, calcmode);
    QFETCH(int, no);
    QFETCH(QList<int>, cells);
    QFETCH(QList<double>, limits);
    SetCalcmode(calcmode);
    SetCtrlVal(ttpanel, TTP_EditNo, no);
    for (int c = 0; c < 7; ++c)
        SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c + 1, no + 1), cells[c]);

    dataInt = 1234;
    dataGn = 567;
    InitGraphBuffers();
    QCOMPARE((QList<double>{intBuf[297], gnBuf[297]}), (QList<double>{1234, 567}));
    QCOMPARE((QList<double>{intBuf[298], intBuf[299], gnBuf[298], gnBuf[299]}), limits);

    // The INT and GN bands of the combined view follow the same row.
    InitGraphInt2();
    QCOMPARE((QList<double>{double(ulint), double(llint), double(ulgn), double(llgn)}), limits);
    QCOMPARE(GetGraphPlotCount(datapanel, DATAP_GraphData2__IntBar), 1);
    QCOMPARE(GetGraphPlotCount(datapanel, DATAP_GraphData2__GnBar), 1);
    SetCtrlVal(ttpanel, TTP_EditNo, 0);
}

void TestPolling::staticPlots_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<int>("ramp");        // plots on the full-range X/Y graph
    QTest::addColumn<int>("projections"); // circles on each three-sides graph

    QTest::newRow("mode 0") << 0 << 1 << 0;
    QTest::newRow("mode 1") << 1 << 0 << 0;
    QTest::newRow("mode 2") << 2 << 1 << 31;
    QTest::newRow("mode 5") << 5 << 0 << 31;
    QTest::newRow("mode 6") << 6 << 1 << 31;
}

void TestPolling::staticPlots() {
    QFETCH(int, calcmode);
    SetCalcmode(calcmode);
    // Twice: the second run must replace, not add to, the first.
    InitGraphs();
    InitGraphs();
    QTEST(GetGraphPlotCount(datapanel, DATAP_GraphData1), "ramp");
    // Every row, taught or not, as one thick circle of three.
    QCOMPARE(GetGraphPlotCount(datapanel, DATAP_GraphData2), 93);
    for (int c : {P3SIDESVIEW_Graph3SidesView__XY, P3SIDESVIEW_Graph3SidesView__XInt,
                  P3SIDESVIEW_Graph3SidesView__YInt, P3SIDESVIEW_Graph3SidesView__XGn,
                  P3SIDESVIEW_Graph3SidesView__YGn, P3SIDESVIEW_Graph3SidesView__IntGn})
        QTEST(GetGraphPlotCount(p3sidesview, c), "projections");
}

void TestPolling::axesFollowTheMeasurement() {
    // Two circles spanning X 1000..1400, Y 1000..1200 and INT 1500..1700 in
    // mode 4 (TOL in column 4, INT in 5, ITO in 6); all other rows untaught.
    for (auto &row : ctt) std::fill(std::begin(row), std::end(row), uint16_t(1));
    const uint16_t a[7] = {1100, 1100, 300, 100, 1550, 50, 1};
    const uint16_t b[7] = {1300, 1100, 300, 100, 1650, 50, 1};
    std::copy(a, a + 7, ctt[0]);
    std::copy(b, b + 7, ctt[1]);
    SetCalcmode(4);
    SetCtrlVal(datapanel, DATAP_SelectSource, 4);
    DispVis();
    dataX = 3000;
    dataY = 500;
    dataInt = 2000;
    dataGn = 300;
    ShowGraph();

    QCOMPARE(Axis(datapanel, DATAP_GraphData2, VAL_XAXIS), (QList<double>{975, 3025}));
    QCOMPARE(Axis(datapanel, DATAP_GraphData2, VAL_LEFT_YAXIS), (QList<double>{-175, 1875}));
    double cx = 0, cy = 0;
    GetGraphCursor(datapanel, DATAP_GraphData2, 1, &cx, &cy);
    QCOMPARE((QList<double>{cx, cy}), (QList<double>{3000, 500}));
    GetGraphCursor(datapanel, DATAP_GraphData2__IntBar, 1, &cx, &cy);
    QCOMPARE((QList<double>{cx, cy}), (QList<double>{2000, 50}));

    // X-INT: X 1000..3000 (span 2000, centre 2000), INT 1500..2000 (span 500,
    // centre 1750); both axes get the larger span.
    const int xInt = P3SIDESVIEW_Graph3SidesView__XInt;
    QCOMPARE(Axis(p3sidesview, xInt, VAL_XAXIS), (QList<double>{975, 3025}));
    QCOMPARE(Axis(p3sidesview, xInt, VAL_LEFT_YAXIS), (QList<double>{725, 2775}));
    GetGraphCursor(p3sidesview, P3SIDESVIEW_Graph3SidesView__YGn, 1, &cx, &cy);
    QCOMPARE((QList<double>{cx, cy}), (QList<double>{500, 300}));
    HidePanel(p3sidesview);
}

void TestPolling::sourceSelectsGraph_data() {
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<int>("graph");
    QTest::addColumn<bool>("rawDisplays");
    QTest::addColumn<bool>("threeSides");

    QTest::newRow("RAW") << 0 << 2 << DATAP_GraphRGB << true << false;
    QTest::newRow("X/Y") << 1 << 2 << DATAP_GraphData1 << false << false;
    QTest::newRow("INT") << 2 << 2 << DATAP_GraphRGB__Int << false << false;
    QTest::newRow("GN") << 3 << 2 << DATAP_GraphRGB__Gn << false << false;
    for (int mode = 0; mode < 8; ++mode)
        QTest::addRow("combined view, mode %d", mode)
            << 4 << mode << DATAP_GraphData2 << false << (mode >= 2);
}

void TestPolling::sourceSelectsGraph() {
    QFETCH(int, source);
    QFETCH(int, calcmode);
    QFETCH(int, graph);
    QFETCH(bool, rawDisplays);
    HidePanel(p3sidesview);
    SetCalcmode(calcmode);
    SetCtrlVal(datapanel, DATAP_SelectSource, source);
    CBF_SelectSource(datapanel, DATAP_SelectSource, EVENT_COMMIT, nullptr, 0, 0);

    QCOMPARE(int(::source), source);
    QList<int> visible;
    for (int c : {DATAP_GraphRGB, DATAP_GraphData1, DATAP_GraphRGB__Int, DATAP_GraphRGB__Gn,
                  DATAP_GraphData2})
        if (Visible(datapanel, c)) visible << c;
    QCOMPARE(visible, QList<int>{graph});
    const bool bars = source == 4;
    QCOMPARE(Visible(datapanel, DATAP_GraphData2__IntBar), bars);
    QCOMPARE(Visible(datapanel, DATAP_GraphData2__GnBar), bars);
    QCOMPARE(Visible(datapanel, DATAP_DispRaw__Dif), rawDisplays);
    QCOMPARE(Visible(datapanel, DATAP_DispX), !rawDisplays);
    QCOMPARE(Visible(datapanel, DATAP_DispGN), !rawDisplays);
    QTEST(PanelVisible(p3sidesview), "threeSides");
    HidePanel(p3sidesview);
}

void TestPolling::threeSidesLayout_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<int>("rows"); // 0: panel hidden
    // visible among X-INT, Y-INT, X-GN, Y-GN, INT-GN, INT trend, GN trend
    QTest::addColumn<QList<bool>>("visible");
    QTest::addColumn<QString>("xIntLabel");
    QTest::addColumn<QString>("yGnLabel");

    QTest::newRow("mode 0") << 0 << 0 << QList<bool>{} << QString() << QString();
    QTest::newRow("mode 1") << 1 << 0 << QList<bool>{} << QString() << QString();
    QTest::newRow("mode 2") << 2 << 2 << QList<bool>{1, 1, 0, 0, 0, 0, 1} << "X/INT" << QString();
    QTest::newRow("mode 3") << 3 << 2 << QList<bool>{1, 1, 0, 0, 0, 0, 1} << "s/M" << QString();
    QTest::newRow("mode 4") << 4 << 2 << QList<bool>{0, 0, 1, 1, 0, 1, 0} << QString() << "Y/GN";
    QTest::newRow("mode 5") << 5 << 2 << QList<bool>{0, 0, 1, 1, 0, 1, 0} << QString() << "i/GN";
    QTest::newRow("mode 6") << 6 << 3 << QList<bool>{1, 1, 1, 1, 1, 0, 0} << "X/INT" << "Y/GN";
    QTest::newRow("mode 7") << 7 << 3 << QList<bool>{1, 1, 1, 1, 1, 0, 0} << "s/M" << "i/GN";
}

void TestPolling::threeSidesLayout() {
    QFETCH(int, calcmode);
    QFETCH(int, rows);
    QFETCH(QList<bool>, visible);
    HidePanel(p3sidesview);
    SetCtrlVal(parapanel, PARAP_Calcmode, calcmode);
    const int xy = P3SIDESVIEW_Graph3SidesView__XY;
    const int h = Attr(p3sidesview, xy, ATTR_HEIGHT);
    const int w = Attr(p3sidesview, xy, ATTR_WIDTH);
    InitP3SidesPanel();

    QCOMPARE(int(::calcmode), calcmode);
    QCOMPARE(PanelVisible(p3sidesview), rows > 0);
    if (rows == 0) return;
    int ph = 0, pw = 0;
    GetPanelAttribute(p3sidesview, ATTR_HEIGHT, &ph);
    GetPanelAttribute(p3sidesview, ATTR_WIDTH, &pw);
    QCOMPARE((QList<int>{ph, pw}), (QList<int>{rows * h, 2 * w}));
    // The graphs keep their size.
    QCOMPARE((QList<int>{Attr(p3sidesview, xy, ATTR_HEIGHT), Attr(p3sidesview, xy, ATTR_WIDTH)}),
             (QList<int>{h, w}));

    QList<bool> shown;
    for (int c : {P3SIDESVIEW_Graph3SidesView__XInt, P3SIDESVIEW_Graph3SidesView__YInt,
                  P3SIDESVIEW_Graph3SidesView__XGn, P3SIDESVIEW_Graph3SidesView__YGn,
                  P3SIDESVIEW_Graph3SidesView__IntGn, P3SIDESVIEW_Graph3SidesView__IntTrend,
                  P3SIDESVIEW_Graph3SidesView__GnTrend})
        shown << Visible(p3sidesview, c);
    QCOMPARE(shown, visible);
    QCOMPARE(Attr(p3sidesview, P3SIDESVIEW_Graph3SidesView__XGn, ATTR_TOP), (rows - 1) * h);
    QCOMPARE(Attr(p3sidesview, P3SIDESVIEW_Graph3SidesView__YGn, ATTR_TOP), (rows - 1) * h);

    QString label;
    QFETCH(QString, xIntLabel);
    if (!xIntLabel.isEmpty()) {
        GetCtrlAttribute(p3sidesview, P3SIDESVIEW_Graph3SidesView__XInt, ATTR_LABEL_TEXT, &label);
        QCOMPARE(label, xIntLabel);
    }
    QFETCH(QString, yGnLabel);
    if (!yGnLabel.isEmpty()) {
        GetCtrlAttribute(p3sidesview, P3SIDESVIEW_Graph3SidesView__YGn, ATTR_LABEL_TEXT, &label);
        QCOMPARE(label, yGnLabel);
    }

    // Closing hides the view.
    CBF_P3SIDESVIEW(p3sidesview, 0, EVENT_CLOSE, nullptr, 0, 0);
    QVERIFY(!PanelVisible(p3sidesview));
}

void TestPolling::bigDisplays() {
    struct Big {
        Callback display;
        int control;
        Callback panelCallback;
        int panel;
    };
    for (const Big &b : {Big{CBF_DispCOL, DATAP_DispCOL, CBF_COLBIGP, colbigpanel},
                         Big{CBF_DispGroup, DATAP_DispGroup, CBF_GRPBIGP, grpbigpanel}}) {
        HidePanel(b.panel);
        b.display(datapanel, b.control, EVENT_LEFT_DOUBLE_CLICK, nullptr, 0, 0);
        QVERIFY(PanelVisible(b.panel));
        b.panelCallback(b.panel, 0, EVENT_RIGHT_CLICK, nullptr, 0, 0);
        QVERIFY(!PanelVisible(b.panel));
        b.display(datapanel, b.control, EVENT_LEFT_DOUBLE_CLICK, nullptr, 0, 0);
        b.panelCallback(b.panel, 0, EVENT_CLOSE, nullptr, 0, 0);
        QVERIFY(!PanelVisible(b.panel));
    }
}

void TestPolling::helpTexts_data() {
    QTest::addColumn<Callback>("callback");
    QTest::addColumn<int>("panel");
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("text");

    QTest::newRow("X display")
        << Callback(CBF_DispX) << datapanel << DATAP_DispX
        << " Displays the red content of the color currently arriving at the receiver.";
    QTest::newRow("a RAW display")
        << Callback(CBF_DispRaw) << datapanel << DATAP_DispRaw__Ref
        << " Displays the current intensity of RED,GREEN, BLUE  \n and of the channels "
           "REFerence, DIRect and DIFfuse.";
    QTest::newRow("vector-number display")
        << Callback(CBF_DispCOL) << datapanel << DATAP_DispCOL
        << " Displays the current detected vector number in \n accordance with the row in the "
           "VECTOR TEACH TABLE. \n Double click opens a big display. \n Close the big display "
           "with a right mouse click.";
    QTest::newRow("a combined-view bar graph")
        << Callback(CBF_GraphData2) << datapanel << DATAP_GraphData2__GnBar
        << " Displays a signal selected with SOURCE.";
    QTest::newRow("three-sides view")
        << Callback(CBF_Graph3SidesView) << p3sidesview << P3SIDESVIEW_Graph3SidesView__YGn
        << "The four graph display a multiple sides view of the color/gloss vectors.";
}

void TestPolling::helpTexts() {
    QFETCH(Callback, callback);
    QFETCH(int, panel);
    QFETCH(int, control);
    popupscript::Expect("INFO!");
    callback(panel, control, EVENT_RIGHT_CLICK, nullptr, 0, 0);
    QCOMPARE(popupscript::Pending(), 0);
    QVERIFY(!popupscript::Log().isEmpty());
    QTEST(popupscript::Log().last().text, "text");
    // A right click shows help only: no big display opens.
    QVERIFY(!PanelVisible(colbigpanel));
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
