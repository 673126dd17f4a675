// The GO loop and the live displays against the real panels and the
// simulated sensor: decoding into the displays, stopping, time-outs, the
// limits taken from the table, the graphs' content and axes, and the
// three-sides view's layout per calculation mode.
#include "core/MasterCopy.h"
#include "core/Protocol.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "params/Params.h"
#include "platform/Introspect.h"
#include "platform/Platform.h"
#include "shell/Shell.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"
#include "teach/TeachTable.h"
#include "uir_ids.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <array>

int CBF_ButtonGo(int, int, int, void *, int, int);
int CBF_ButtonStop(int, int, int, void *, int, int);
int CBF_SelectSource(int, int, int, void *, int, int);
int CBF_P3SIDESVIEW(int, int, int, void *, int, int);

using Words = std::array<uint16_t, 18>;
Q_DECLARE_METATYPE(Words)

namespace {
// Runs the decoding path of one GO cycle on a 36-byte answer.
void Receive(const Words &w) {
    for (int k = 0; k < 18; ++k) {
        szReadBuf[2 * k] = uint8_t(w[size_t(k)] >> 8);
        szReadBuf[2 * k + 1] = uint8_t(w[size_t(k)]);
    }
    GetRxBufData();
    CopyDatatoVars();
    SetPanelData();
}

Words Frame(std::initializer_list<std::pair<int, uint16_t>> words) {
    Words w{0x00AA, 5};
    for (auto [k, v] : words)
        w[size_t(k)] = v;
    return w;
}

int Val(int panel, int control) {
    int v = -1;
    GetCtrlVal(panel, control, &v);
    return v;
}

QString Status() {
    QString s;
    GetCtrlVal(datapanel, DATAP_DispStatus, &s);
    return s;
}

int Attr(int panel, int control, int attribute) {
    int v = 0;
    GetCtrlAttribute(panel, control, attribute, &v);
    return v;
}

bool PanelVisible(int panel) {
    int v = 0;
    GetPanelAttribute(panel, ATTR_VISIBLE, &v);
    return v != 0;
}

QList<double> Axes(int panel, int control) {
    int mode = 0;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    GetAxisScalingMode(panel, control, VAL_XAXIS, &mode, &x0, &x1);
    GetAxisScalingMode(panel, control, VAL_LEFT_YAXIS, &mode, &y0, &y1);
    return {x0, x1, y0, y1};
}

// Presses GO; returns the seconds until the loop ended.
double RunGo() {
    const double start = Timer();
    CBF_ButtonGo(mainpanel, MAINP_ButtonGo, EVENT_COMMIT, nullptr, 0, 0);
    return Timer() - start;
}

void PressStop() {
    CBF_ButtonStop(mainpanel, MAINP_ButtonStop, EVENT_COMMIT, nullptr, 0, 0);
}

int DataRequests() {
    return int(fixture::Sim().requestCount(proto::SendFrame));
}

void SetCalcmode(int mode) {
    SetCtrlVal(parapanel, PARAP_Calcmode, mode);
    calcmode = uint16_t(mode);
}

bool ConnectTcp() {
    fixture::Sim().clearFaults();
    fixture::SelectTcp();
    TryToConnect();
    ShowChildPanel(2);
    return comecho == 1 && tcpcon == 1;
}
} // namespace

class TestPolling : public fixture::WindowSuite {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void everyWordReachesItsDisplay();
    void decoding_data();
    void decoding();
    void pollsUntilStop();
    void stopDuringWaitCompletesCycle();
    void loopStartedInsideAWaitIsRefused();
    void shortAnswerTimesOut();
    void lastFrameStaysShown_data();
    void lastFrameStaysShown();
    void extraBytesOnSerialTimeOutAtOnce();
    void strayBytesRefuseTheAnswer_data();
    void strayBytesRefuseTheAnswer();
    void lostLinkGreysValuesUntilTheNextFrame_data();
    void lostLinkGreysValuesUntilTheNextFrame();
    void heldTimeIsTheFramesTime();
    void pastTimeoutIsMarked();
    void limitsFollowTheTable_data();
    void limitsFollowTheTable();
    void staticPlots_data();
    void staticPlots();
    void axesFollowTheMeasurement();
    void sourceSelectsGraph_data();
    void sourceSelectsGraph();
    void threeSidesLayout_data();
    void threeSidesLayout();
    void longTextsShownCutAndWhole_data();
    void longTextsShownCutAndWhole();
    void smallMainWindowScrolls_data();
    void smallMainWindowScrolls();
};

void TestPolling::init() {
    session::poll = 0;
    if (tcpcon != 1 || comecho != 1) QVERIFY(ConnectTcp());
    fixture::Sim().clearFaults();
    fixture::Sim().clearRequests();
}

void TestPolling::cleanup() {
    fixture::CheckNoUnexpectedPopups();
    SetCalcmode(0);
    evalmode = 0;
    HidePanel(p3sidesview);
}

void TestPolling::everyWordReachesItsDisplay() {
    Words w = Frame({{8, 7}, {12, 31}, {13, 4}});
    for (int k : {2, 3, 4, 5, 6, 7, 14, 15, 16, 17})
        w[size_t(k)] = uint16_t(100 + k);
    Receive(w);
    const std::pair<int, int> shown[] = {
        {DATAP_BarR, 102},         {DATAP_BarG, 103},         {DATAP_BarB, 104},
        {DATAP_BarRef, 114},       {DATAP_BarDir, 115},       {DATAP_BarDif, 116},
        {DATAP_DispRaw__R, 102},   {DATAP_DispRaw__G, 103},   {DATAP_DispRaw__B, 104},
        {DATAP_DispRaw__Ref, 114}, {DATAP_DispRaw__Dir, 115}, {DATAP_DispRaw__Dif, 116},
        {DATAP_DispX, 105},        {DATAP_DispY, 106},        {DATAP_DispINT, 107},
        {DATAP_DispGN, 117},       {DATAP_DispCOL, 7},        {DATAP_DispTemp, 31},
        {DATAP_DispGroup, 4}};
    for (auto [control, value] : shown)
        QCOMPARE(Val(datapanel, control), value);
    QCOMPARE(Val(colbigpanel, COLBIGP_DispBigCOL), 7);
    QCOMPARE(Val(grpbigpanel, GRPBIGP_DispBigGroup), 4);
    // The frame went into the history buffers, newest last.
    QCOMPARE((QList<double>{rawBuf[594], rawBuf[599], intBuf[297], gnBuf[297]}),
             (QList<double>{102, 116, 107, 117}));
}

void TestPolling::decoding_data() {
    QTest::addColumn<int>("evalmode");
    QTest::addColumn<Words>("frame");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("trigger");
    QTest::addColumn<int>("lamps"); // the number the lit lamps spell; -1: not in use
    QTest::addColumn<int>("patch");

    QTest::newRow("trigger flag on group 1") << 0 << Frame({{13, 1025}}) << 1 << 1 << -1 << 0;
    QTest::newRow("group 1000, no flag") << 0 << Frame({{13, 1000}}) << 1000 << 0 << -1 << 0;
    // Below the flag the word is a bare group; it must not wrap around.
    QTest::newRow("group 1023, no flag") << 0 << Frame({{13, 1023}}) << 1023 << 0 << -1 << 0;
    QTest::newRow("vector 21 on the lamps") << 3 << Frame({{8, 21}}) << 0 << 0 << 21 << 0;
    QTest::newRow("full scale is white")
        << 0 << Frame({{2, 4095}, {3, 4095}, {4, 4095}}) << 0 << 0 << -1 << 0xFFFFFF;
    QTest::newRow("R 15 gives red 0")
        << 0 << Frame({{2, 15}, {3, 16}, {4, 2048}}) << 0 << 0 << -1 << 0x000180;
    QTest::newRow("beyond 12 bits stays full")
        << 0 << Frame({{2, 5000}}) << 0 << 0 << -1 << 0xFF0000;
}

void TestPolling::decoding() {
    QFETCH(int, evalmode);
    QFETCH(Words, frame);
    ::evalmode = uint16_t(evalmode);
    // Every lamp on first, so that the unlit ones must be switched off.
    if (evalmode == 3) Receive(Frame({{8, 31}}));
    Receive(frame);

    QTEST(Val(datapanel, DATAP_DispGroup), "group");
    QTEST(Val(grpbigpanel, GRPBIGP_DispBigGroup), "group");
    QTEST(Val(datapanel, DATAP_LedTrig), "trigger");
    QTEST(Val(datapanel, DATAP_ColorPatch), "patch");
    QCOMPARE(Val(datapanel, DATAP_ColorPatch), rgbcolor);
    QFETCH(int, lamps);
    if (lamps >= 0)
        QCOMPARE(16 * Val(datapanel, DATAP_Lamp16) + 8 * Val(datapanel, DATAP_Lamp8) +
                     4 * Val(datapanel, DATAP_Lamp4) + 2 * Val(datapanel, DATAP_Lamp2) +
                     Val(datapanel, DATAP_Lamp1),
                 lamps);
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
    QVERIFY(Status() != "TIMEOUT");
    QCOMPARE(Attr(mainpanel, MAINP_ButtonGo, ATTR_DIMMED), 0);
}

void TestPolling::stopDuringWaitCompletesCycle() {
    // The third answer comes 0.5 s late; STOP is pressed while it is awaited.
    fixture::Sim().armFault({tsim::Fault::Delay, 3, 500});
    int requests = 0;
    QByteArray lastAnswer;
    auto onRequest = connect(&fixture::Sim(), &tsim::Simulator::requestReceived, this, [&] {
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
    QVERIFY(Status() != "TIMEOUT");
    // The late frame was shown.
    QCOMPARE(lastAnswer.size(), 36);
    QCOMPARE(Val(datapanel, DATAP_DispX), uint8_t(lastAnswer[10]) * 256 + uint8_t(lastAnswer[11]));
}

// STOP, then a second start (the mean-value teach starts GO when poll is 0)
// while the running cycle still waits: the second loop would share the link
// and the buffers with the first, so it must not start.
void TestPolling::loopStartedInsideAWaitIsRefused() {
    fixture::Sim().armFault({tsim::Fault::Delay, 2, 300});
    int requests = 0;
    double nestedSeconds = -1;
    auto onRequest = connect(&fixture::Sim(), &tsim::Simulator::requestReceived, this, [&] {
        if (++requests != 2) return;
        PressStop();
        const double start = Timer();
        GetData();
        nestedSeconds = Timer() - start;
    });
    // Should the second loop run, this ends it, so that the test fails, not hangs.
    QTimer::singleShot(3000, [] { session::poll = 0; });
    const uint64_t before = pollFrames;
    RunGo();
    disconnect(onRequest);

    QVERIFY(nestedSeconds >= 0 && nestedSeconds < 0.1);
    QCOMPARE(DataRequests(), 2);
    QCOMPARE(int(pollFrames - before), 2);
    fixture::Pump(50);
}

void TestPolling::shortAnswerTimesOut() {
    fixture::Sim().armFault({tsim::Fault::ShortAnswer, 2, 1});
    const uint64_t before = pollFrames;
    const double seconds = RunGo();

    QCOMPARE(int(pollFrames - before), 1);
    QVERIFY2(seconds > 2.9 && seconds < 4.5, qPrintable(QString::number(seconds)));
    QCOMPARE(int(session::poll), 0);
    QCOMPARE(Status(), QString("TIMEOUT"));
    QVERIFY(PanelVisible(interfacepanel));
}

// Frames that follow each other faster than the displays are drawn are not all
// shown, but when the loop rests, after STOP or a time-out, the displays
// and the history show the last frame that arrived.
void TestPolling::lastFrameStaysShown_data() {
    QTest::addColumn<int>("shortAnswer"); // the request answered short; 0: STOP after 8 frames
    QTest::newRow("stopped") << 0;
    QTest::newRow("timed out") << 9;
}

void TestPolling::lastFrameStaysShown() {
    QFETCH(int, shortAnswer);
    static uint64_t stopAt = 0;
    stopAt = pollFrames + 8;
    if (shortAnswer)
        fixture::Sim().armFault({tsim::Fault::ShortAnswer, shortAnswer, 1});
    else
        pollFrameHook = [] {
            if (pollFrames >= stopAt) PressStop();
        };
    QByteArray last;
    auto onAnswer =
        connect(&fixture::Sim(), &tsim::Simulator::answerSent, this, [&](const QByteArray &bytes) {
            if (bytes.size() == 36) last = bytes;
        });
    const uint64_t before = pollFrames;
    RunGo();
    disconnect(onAnswer);
    pollFrameHook = nullptr;

    QCOMPARE(int(pollFrames - before), 8);
    auto word = [&last](int k) { return uint8_t(last[2 * k]) * 256 + uint8_t(last[2 * k + 1]); };
    QCOMPARE(Val(datapanel, DATAP_DispX), word(5));
    QCOMPARE(Val(datapanel, DATAP_DispRaw__R), word(2));
    QCOMPARE(Val(datapanel, DATAP_BarR), word(2));
    QCOMPARE(rawBuf[594], double(word(2)));
    QCOMPARE(intBuf[297], double(word(7)));
}

// After a failed link the last frame stays on the displays, faded, and the
// status line tells why; the next frame makes them live again.
void TestPolling::lostLinkGreysValuesUntilTheNextFrame_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("popup");
    QTest::addColumn<QString>("reason");
    QTest::newRow("short answer") << int(tsim::Fault::ShortAnswer) << QString()
                                  << QString("time-out");
    QTest::newRow("server closes")
        << int(tsim::Fault::Disconnect) << QString("TCP Client") << QString("closed by the sensor");
    QTest::newRow("never opened") << -1 << QString() << QString("not connected");
}

void TestPolling::lostLinkGreysValuesUntilTheNextFrame() {
    QFETCH(int, fault);
    QFETCH(QString, popup);
    QFETCH(QString, reason);
    const QList<QPair<int, int>> shown = {{datapanel, DATAP_DispCOL},
                                          {datapanel, DATAP_BarR},
                                          {datapanel, DATAP_GraphRGB},
                                          {colbigpanel, COLBIGP_DispBigCOL}};
    if (fault < 0) {
        SetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, "1");
        TryToConnect();
        QVERIFY(tcpcon == 0);
    } else {
        fixture::Sim().armFault({tsim::Fault(fault), 2, 1});
    }
    if (!popup.isEmpty()) popupscript::Expect(popup);
    QTimer::singleShot(5000, [] { PressStop(); });
    RunGo();
    fixture::Pump(50);
    QString line;
    GetCtrlVal(datapanel, DATAP_DispLink, &line);
    QVERIFY2(line.contains(reason), qPrintable(line));
    QVERIFY2(line.contains("not live") && line.contains("last frame of"), qPrintable(line));
    for (const auto &c : shown)
        QCOMPARE(Attr(c.first, c.second, ATTR_GREYED), 1);

    QVERIFY(ConnectTcp());
    GetCtrlVal(datapanel, DATAP_DispLink, &line);
    QVERIFY2(line.contains("connected") && !line.contains("not connected"), qPrintable(line));
    // Live while the loop runs; after STOP held, which looks faded as well
    // but names the frame's time instead of a lost link.
    QList<int> greyedWhileLive;
    QTimer::singleShot(150, [&] {
        for (const auto &c : shown)
            greyedWhileLive << Attr(c.first, c.second, ATTR_GREYED);
    });
    QTimer::singleShot(200, [] { PressStop(); });
    RunGo();
    QCOMPARE(greyedWhileLive, QList<int>(shown.size(), 0));
    GetCtrlVal(datapanel, DATAP_DispLink, &line);
    QVERIFY2(!line.contains("not live") && line.contains("stopped"), qPrintable(line));
}

namespace {
// What the loop saw of its frames and when the lost link's box opened.
long long lastShownMsecs = 0;
uint16_t lastX = 0;
long long boxOpened = 0;
bool faultArmed = false;
uint64_t stopFramesAt = 0;
} // namespace

// A lost link's box stays open while the operator reads it: the values left
// on the displays keep the time of their frame, not the time OK was pressed.
// The link drops right after a frame that the display rate held back.
void TestPolling::heldTimeIsTheFramesTime() {
    lastShownMsecs = shownFrame.msecs;
    boxOpened = 0;
    faultArmed = false;
    pollFrameHook = [] {
        lastX = dataX;
        const bool justShown = shownFrame.msecs != lastShownMsecs;
        lastShownMsecs = shownFrame.msecs;
        // The next frame comes within the display interval: it is held back.
        if (justShown && !faultArmed && pollFrames > 3) {
            faultArmed = true;
            fixture::Sim().armFault({tsim::Fault::Disconnect, 1, 0});
        }
    };
    popupscript::Forward([](const QString &title, const QString &) {
        if (title != "TCP Client") return;
        boxOpened = QDateTime::currentMSecsSinceEpoch();
        QThread::msleep(1100); // the operator reads the box
    });
    popupscript::Expect("TCP Client");
    QTimer guard; // a hang fails, and no stray STOP is left for later tests
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { PressStop(); });
    guard.start(5000);
    RunGo();
    pollFrameHook = nullptr;
    popupscript::Forward(nullptr);
    QVERIFY(faultArmed);
    QVERIFY(boxOpened > 0);
    QVERIFY2(
        shownFrame.msecs <= boxOpened,
        qPrintable(
            QString("values of %1 ms after the box opened").arg(shownFrame.msecs - boxOpened)));
    // The last frame received is the one shown, with its own time.
    QCOMPARE(shownFrame.x, lastX);
    QCOMPARE(Val(datapanel, DATAP_DispX), int(lastX));
}

// "TIMEOUT" stays in STATUS once frames arrive again, but marked as past;
// the next status text is plain again.
void TestPolling::pastTimeoutIsMarked() {
    fixture::Sim().armFault({tsim::Fault::ShortAnswer, 2, 1});
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { PressStop(); });
    guard.start(5000);
    RunGo();
    QCOMPARE(Status(), QString("TIMEOUT"));
    QCOMPARE(Attr(datapanel, DATAP_DispStatus, ATTR_TEXT_STRIKEOUT), 0);
    fixture::Sim().clearFaults();
    ShowChildPanel(2);
    const uint64_t before = pollFrames;
    stopFramesAt = pollFrames + 10;
    pollFrameHook = [] {
        if (pollFrames >= stopFramesAt) PressStop();
    };
    guard.start(5000);
    RunGo();
    pollFrameHook = nullptr;
    QVERIFY(pollFrames > before);
    for (auto [panel, control] : {std::pair{datapanel, int(DATAP_DispStatus)},
                                  std::pair{interfacepanel, int(INTERFACEP_DispStatus)}}) {
        QString text;
        GetCtrlVal(panel, control, &text);
        QCOMPARE(text, QString("TIMEOUT"));
        QCOMPARE(Attr(panel, control, ATTR_TEXT_STRIKEOUT), 1);
        QVERIFY(Attr(panel, control, ATTR_TEXT_COLOR) != 0);
        QVERIFY2(CtrlWidget(panel, control)->toolTip().contains("is past"),
                 qPrintable(CtrlWidget(panel, control)->toolTip()));
    }
    QVERIFY(ConnectTcp());
    QVERIFY(Status() != "TIMEOUT");
    QCOMPARE(Attr(datapanel, DATAP_DispStatus, ATTR_TEXT_STRIKEOUT), 0);
    QCOMPARE(Attr(datapanel, DATAP_DispStatus, ATTR_TEXT_COLOR), 0);
}

void TestPolling::extraBytesOnSerialTimeOutAtOnce() {
    tsim::Simulator &sim = fixture::Sim();
    if (sim.ptyPath().isEmpty()) QVERIFY2(sim.openPty(), qPrintable(sim.errorString()));
    fixture::SelectSerial(sim.ptyPath(), sim.baudIndex());
    TryToConnect();
    QCOMPARE(int(comecho), 1);

    sim.armFault({tsim::Fault::ExtraBytes, 1, 1});
    const uint64_t before = pollFrames;
    const double seconds = RunGo();

    QCOMPARE(int(pollFrames - before), 0);
    QVERIFY2(seconds < 1.0, qPrintable(QString::number(seconds)));
    QCOMPARE(Status(), QString("TIMEOUT"));
    QVERIFY(ConnectTcp());
}

void TestPolling::strayBytesRefuseTheAnswer_data() {
    QTest::addColumn<int>("stray");
    QTest::newRow("one byte") << 1;
    QTest::newRow("a frame's head and more") << 7;
    QTest::newRow("all but one byte of a frame") << 35;
}

// Bytes nobody asked for, arriving while an answer is awaited, would become
// its first bytes: that answer is refused at once, and the next GO runs clean.
void TestPolling::strayBytesRefuseTheAnswer() {
    QFETCH(int, stray);
    tsim::Simulator &sim = fixture::Sim();
    static QList<QByteArray> sent;
    static int foreign;
    sent.clear();
    foreign = 0;
    auto conn = connect(&sim, &tsim::Simulator::answerSent, [](QByteArray b) { sent << b; });
    pollFrameHook = [] {
        QByteArray shown(36, '\0');
        for (int k = 0; k < 18; ++k) {
            shown[2 * k] = char(databuf[k] >> 8);
            shown[2 * k + 1] = char(databuf[k]);
        }
        if (!sent.contains(shown)) ++foreign;
    };

    sim.armFault({tsim::Fault::Stray, 3, stray});
    uint64_t before = pollFrames;
    QTimer guard; // a loop that takes the stray bytes for an answer goes on
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { PressStop(); });
    guard.start(1500);
    const double seconds = RunGo();
    guard.stop();
    QCOMPARE(int(pollFrames - before), 2);
    QVERIFY2(seconds < 1.0, qPrintable(QString::number(seconds)));
    QCOMPARE(Status(), QString("TIMEOUT"));

    ShowChildPanel(2);
    sim.clearRequests();
    before = pollFrames;
    QTimer::singleShot(300, [] { PressStop(); });
    RunGo();
    pollFrameHook = nullptr;
    disconnect(conn);
    // Every request of the next GO was answered and decoded.
    const int frames = int(pollFrames - before);
    QVERIFY(frames >= 3);
    QCOMPARE(DataRequests(), frames);
    QCOMPARE(foreign, 0);
}

// Table columns 1..7 as laid out per mode; the row read is No. + 1.
void TestPolling::limitsFollowTheTable_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<int>("no");
    QTest::addColumn<QList<int>>("cells");
    QTest::addColumn<QList<double>>("limits"); // ulint, llint, ulgn, llgn

    QTest::newRow("mode 0, row 0") << 0 << 0 << QList<int>{900, 900, 50, 4000, 200, 100, 200}
                                   << QList<double>{4095, 3800, 300, 0};
    QTest::newRow("mode 4, row 30") << 4 << 30 << QList<int>{900, 900, 100, 200, 4000, 200, 1}
                                    << QList<double>{4095, 3800, 300, 0};
    QTest::newRow("mode 7, row 5") << 7 << 5 << QList<int>{900, 900, 2000, 700, 50, 1, 1}
                                   << QList<double>{2050, 1950, 750, 650};
}

void TestPolling::limitsFollowTheTable() {
    QFETCH(int, no);
    QFETCH(QList<int>, cells);
    QFETCH(QList<double>, limits);
    QFETCH(int, calcmode);
    SetCalcmode(calcmode);
    SetCtrlVal(ttpanel, TTP_EditNo, no);
    for (int c = 0; c < 7; ++c)
        SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c + 1, no + 1), cells[c]);
    dataInt = 1234;
    dataGn = 567;
    InitGraphBuffers();
    InitGraphInt2();
    SetCtrlVal(ttpanel, TTP_EditNo, 0);

    QCOMPARE((QList<double>{intBuf[297], gnBuf[297]}), (QList<double>{1234, 567}));
    QCOMPARE((QList<double>{intBuf[298], intBuf[299], gnBuf[298], gnBuf[299]}), limits);
    // The combined view's INT and GN bands: one rectangle each.
    QCOMPARE(GetGraphPlotCount(datapanel, DATAP_GraphData2__IntBar), 1);
    QCOMPARE(GetGraphPlotCount(datapanel, DATAP_GraphData2__GnBar), 1);
}

void TestPolling::staticPlots_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<int>("ramp");        // plots on the full-range X/Y graph
    QTest::addColumn<int>("projections"); // circles on each projection graph

    QTest::newRow("mode 0") << 0 << 1 << 0;
    QTest::newRow("mode 6") << 6 << 1 << 31;
    QTest::newRow("mode 7") << 7 << 0 << 31;
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
    // Circles spanning X 1000..1400, Y 1000..1200 and INT 1500..1700 in mode
    // 4 (TOL in column 4, INT in 5, ITO in 6); the other rows untaught.
    for (auto &row : ctt)
        std::fill(std::begin(row), std::end(row), uint16_t(1));
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

    QCOMPARE(Axes(datapanel, DATAP_GraphData2), (QList<double>{975, 3025, -175, 1875}));
    double x = 0, y = 0;
    GetGraphCursor(datapanel, DATAP_GraphData2__IntBar, 1, &x, &y);
    QCOMPARE((QList<double>{x, y}), (QList<double>{2000, 50}));
    // X-INT: X 1000..3000 and INT 1500..2000 get the larger span, 2000.
    QCOMPARE(Axes(p3sidesview, P3SIDESVIEW_Graph3SidesView__XInt),
             (QList<double>{975, 3025, 725, 2775}));
    GetGraphCursor(p3sidesview, P3SIDESVIEW_Graph3SidesView__YGn, 1, &x, &y);
    QCOMPARE((QList<double>{x, y}), (QList<double>{500, 300}));
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
    QTest::newRow("combined view, mode 1") << 4 << 1 << DATAP_GraphData2 << false << false;
    QTest::newRow("combined view, mode 2") << 4 << 2 << DATAP_GraphData2 << false << true;
    QTest::newRow("combined view, mode 7") << 4 << 7 << DATAP_GraphData2 << false << true;
}

void TestPolling::sourceSelectsGraph() {
    QFETCH(int, source);
    QFETCH(int, graph);
    QFETCH(bool, rawDisplays);
    QFETCH(int, calcmode);
    SetCalcmode(calcmode);
    SetCtrlVal(datapanel, DATAP_SelectSource, source);
    CBF_SelectSource(datapanel, DATAP_SelectSource, EVENT_COMMIT, nullptr, 0, 0);

    QList<int> visible;
    for (int c : {DATAP_GraphRGB, DATAP_GraphData1, DATAP_GraphRGB__Int, DATAP_GraphRGB__Gn,
                  DATAP_GraphData2})
        if (Attr(datapanel, c, ATTR_VISIBLE)) visible << c;
    QCOMPARE(visible, QList<int>{graph});
    QCOMPARE(Attr(datapanel, DATAP_GraphData2__GnBar, ATTR_VISIBLE) != 0, source == 4);
    QCOMPARE(Attr(datapanel, DATAP_DispRaw__Dif, ATTR_VISIBLE) != 0, rawDisplays);
    QCOMPARE(Attr(datapanel, DATAP_DispGN, ATTR_VISIBLE) != 0, !rawDisplays);
    QTEST(PanelVisible(p3sidesview), "threeSides");
}

void TestPolling::threeSidesLayout_data() {
    QTest::addColumn<int>("calcmode");
    QTest::addColumn<int>("rows"); // 0: panel hidden
    // X-INT, Y-INT, X-GN, Y-GN, INT-GN, INT trend, GN trend
    QTest::addColumn<QList<bool>>("visible");
    QTest::addColumn<QString>("yGnLabel"); // or, without Y-GN, the X-INT label
    QTest::addColumn<QString>("closedBy");

    QTest::newRow("mode 0") << 0 << 0 << QList<bool>{} << QString() << QString();
    QTest::newRow("mode 1") << 1 << 0 << QList<bool>{} << QString() << QString();
    QTest::newRow("mode 2") << 2 << 2 << QList<bool>{1, 1, 0, 0, 0, 0, 1} << "X/INT"
                            << "Escape";
    QTest::newRow("mode 3") << 3 << 2 << QList<bool>{1, 1, 0, 0, 0, 0, 1} << "s/M"
                            << "CLOSE";
    QTest::newRow("mode 4") << 4 << 2 << QList<bool>{0, 0, 1, 1, 0, 1, 0} << "Y/GN"
                            << "window";
    QTest::newRow("mode 5") << 5 << 2 << QList<bool>{0, 0, 1, 1, 0, 1, 0} << "i/GN"
                            << "window";
    QTest::newRow("mode 6") << 6 << 3 << QList<bool>{1, 1, 1, 1, 1, 0, 0} << "Y/GN"
                            << "Escape";
    QTest::newRow("mode 7") << 7 << 3 << QList<bool>{1, 1, 1, 1, 1, 0, 0} << "i/GN"
                            << "CLOSE";
}

void TestPolling::threeSidesLayout() {
    QFETCH(int, calcmode);
    QFETCH(int, rows);
    QFETCH(QString, closedBy);
    SetCtrlVal(parapanel, PARAP_Calcmode, calcmode);
    const int xy = P3SIDESVIEW_Graph3SidesView__XY;
    InitP3SidesPanel();

    QCOMPARE(int(::calcmode), calcmode);
    QCOMPARE(PanelVisible(p3sidesview), rows > 0);
    if (rows == 0) return;
    // A grid of square graphs, as designed or smaller to fit the screen.
    const int h = Attr(p3sidesview, xy, ATTR_HEIGHT);
    const int w = Attr(p3sidesview, xy, ATTR_WIDTH);
    QCOMPARE(w, h);
    QVERIFY(h > 100 && h <= 250);
    int ph = 0, pw = 0;
    GetPanelAttribute(p3sidesview, ATTR_HEIGHT, &ph);
    GetPanelAttribute(p3sidesview, ATTR_WIDTH, &pw);
    QCOMPARE((QList<int>{ph, pw}), (QList<int>{rows * h, 2 * w}));
    // Where the screen has no room beside the main window, the view stands
    // over the bars: the graph, navigation, transfer buttons, V-No and the
    // status line are never under it.
    QWidget *view = PanelWidget(p3sidesview);
    const QRect main = PanelWidget(mainpanel)->frameGeometry();
    if (view->frameGeometry().intersects(main))
        for (QWidget *kept :
             {CtrlWidget(datapanel, DATAP_GraphRGB), CtrlWidget(datapanel, DATAP_DispCOL),
              CtrlWidget(datapanel, DATAP_DispLink), CtrlWidget(mainpanel, MAINP_ButtonSend),
              CtrlWidget(mainpanel, MAINP_ButtonStop), PanelWidget(parapanel)})
            QVERIFY2(!view->frameGeometry().intersects(
                         QRect(kept->mapToGlobal(QPoint(0, 0)), kept->size())),
                     qPrintable(QString("view at %1,%2 covers %3")
                                    .arg(view->x())
                                    .arg(view->y())
                                    .arg(kept->objectName())));

    QList<bool> shown;
    for (int c : {P3SIDESVIEW_Graph3SidesView__XInt, P3SIDESVIEW_Graph3SidesView__YInt,
                  P3SIDESVIEW_Graph3SidesView__XGn, P3SIDESVIEW_Graph3SidesView__YGn,
                  P3SIDESVIEW_Graph3SidesView__IntGn, P3SIDESVIEW_Graph3SidesView__IntTrend,
                  P3SIDESVIEW_Graph3SidesView__GnTrend})
        shown << (Attr(p3sidesview, c, ATTR_VISIBLE) != 0);
    QTEST(shown, "visible");
    QCOMPARE(Attr(p3sidesview, P3SIDESVIEW_Graph3SidesView__XGn, ATTR_TOP), (rows - 1) * h);
    QCOMPARE(Attr(p3sidesview, P3SIDESVIEW_Graph3SidesView__YGn, ATTR_TOP), (rows - 1) * h);
    QString label;
    GetCtrlAttribute(p3sidesview,
                     shown[3] ? P3SIDESVIEW_Graph3SidesView__YGn
                              : P3SIDESVIEW_Graph3SidesView__XInt,
                     ATTR_LABEL_TEXT, &label);
    QTEST(label, "yGnLabel");

    if (closedBy == "Escape")
        QTest::keyClick(view, Qt::Key_Escape);
    else if (closedBy == "CLOSE")
        QTest::mouseClick(CtrlWidget(p3sidesview, P3SIDESVIEW_Button3SidesClose), Qt::LeftButton);
    else
        view->close();
    QVERIFY(!PanelVisible(p3sidesview));
}

// A display too narrow for its text shows it cut with "…" and whole in its
// tooltip; the program reads back the whole text, and a text that fits
// again gives the display its own tooltip back.
void TestPolling::longTextsShownCutAndWhole_data() {
    QTest::addColumn<int>("panel");
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("cut");
    const QString note = "TCP/IP 127.0.0.1:10002  \u2013  not connected (the host name was not "
                         "found; check the name or type the sensor's address)  \u2013  not live";
    // The status line wraps instead: nothing of it is cut.
    QTest::newRow("status line, long note") << datapanel << int(DATAP_DispLink) << note << false;
    QTest::newRow("status line, short") << datapanel << int(DATAP_DispLink) << "polling" << false;
    QTest::newRow("sensor's version text")
        << datapanel << int(DATAP_DispStatus) << QString(80, 'V') << true;
}

void TestPolling::longTextsShownCutAndWhole() {
    QFETCH(int, panel);
    QFETCH(int, control);
    QFETCH(QString, text);
    QFETCH(bool, cut);
    auto *label = qobject_cast<QLabel *>(CtrlWidget(panel, control));
    QVERIFY(label);
    QString before;
    GetCtrlVal(panel, control, &before);
    const QString help = label->toolTip();

    SetCtrlVal(panel, control, text);
    QString read;
    GetCtrlVal(panel, control, &read);
    QCOMPARE(read, text);
    QCOMPARE(label->text().endsWith(QChar(0x2026)), cut);
    if (label->wordWrap())
        QVERIFY(label->heightForWidth(label->width()) <= label->height());
    else
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <=
                label->contentsRect().width());
    QCOMPARE(label->toolTip(), cut ? text : help);

    SetCtrlVal(panel, control, before);
    QCOMPARE(label->toolTip(), help);
}

// A main window smaller than its panels scrolls: SEND, GO, STOP and the
// status line stay reachable.
void TestPolling::smallMainWindowScrolls_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("as designed") << QSize(1280, 800) << false;
    QTest::newRow("narrower") << QSize(900, 800) << true;
    QTest::newRow("lower") << QSize(1280, 560) << true;
    QTest::newRow("small") << QSize(720, 480) << true;
}

void TestPolling::smallMainWindowScrolls() {
    QFETCH(QSize, size);
    QFETCH(bool, scrolls);
    QWidget *window = PanelWidget(mainpanel);
    auto *scroll = window->findChild<QScrollArea *>();
    QVERIFY(scroll);
    const QSize before = window->size();
    DisplayPanel(mainpanel);
    window->resize(size);
    fixture::Pump(20);
    const bool bars =
        scroll->horizontalScrollBar()->isVisible() || scroll->verticalScrollBar()->isVisible();
    QCOMPARE(bars, scrolls);
    for (QWidget *w :
         {CtrlWidget(mainpanel, MAINP_ButtonSend), CtrlWidget(mainpanel, MAINP_ButtonGo),
          CtrlWidget(mainpanel, MAINP_ButtonStop), CtrlWidget(datapanel, DATAP_DispLink)}) {
        scroll->ensureWidgetVisible(w, 0, 0);
        const QRect at(w->mapTo(scroll->viewport(), QPoint(0, 0)), w->size());
        QVERIFY2(scroll->viewport()->rect().contains(at), qPrintable(w->objectName()));
    }
    window->resize(before);
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
