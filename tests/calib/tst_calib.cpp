// The white-light calibration and the third-root table against the real
// calibration panel and the simulated sensor: the table's values and pieces,
// the checks on the factors, the raw displays, the whole calibration run on
// the simulator's white target, and reading the factors back.
#include "calib/Calib.h"
#include "core/Protocol.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "platform/Platform.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"
#include "uir_ids.h"

#include <QTest>
#include <cmath>
#include <cstdlib>

int CBF_ButtonCalcCF(int, int, int, void *, int, int);
int CBF_ButtonSendCF(int, int, int, void *, int, int);
int CBF_ButtonGetCF(int, int, int, void *, int, int);

namespace {
int Val(int panel, int control) {
    int v = -1;
    GetCtrlVal(panel, control, &v);
    return v;
}

int Attr(int panel, int control, int attribute) {
    int v = 0;
    GetCtrlAttribute(panel, control, attribute, &v);
    return v;
}

QString Status() {
    QString s;
    GetCtrlVal(datapanel, DATAP_DispStatus, &s);
    return s;
}

uint16_t Word(const QByteArray &telegram, int k) {
    return uint16_t(uint8_t(telegram[2 * k]) << 8 | uint8_t(telegram[2 * k + 1]));
}

QList<QByteArray> RequestsOf(uint16_t order) {
    QList<QByteArray> out;
    for (const QByteArray &r : fixture::Sim().requests())
        if (r.size() >= 4 && Word(r, 1) == order) out << r;
    return out;
}

void SetFactorFields(int r, int g, int b) {
    SetCtrlVal(calibpanel, CALIBP_EditCFR, r);
    SetCtrlVal(calibpanel, CALIBP_EditCFG, g);
    SetCtrlVal(calibpanel, CALIBP_EditCFB, b);
}

QList<int> FactorFields() {
    return {Val(calibpanel, CALIBP_EditCFR), Val(calibpanel, CALIBP_EditCFG),
            Val(calibpanel, CALIBP_EditCFB)};
}

QList<int> Factors() {
    return {cfrot, cfgruen, cfblau};
}

QList<int> SimFactors() {
    const uint16_t *cf = fixture::Sim().state().cf;
    return {cf[0], cf[1], cf[2]};
}

void Press(int control, CtrlCallbackPtr callback) {
    callback(calibpanel, control, EVENT_COMMIT, nullptr, 0, 0);
}

// Ends the GO loop after a few frames, whatever the timing.
int framesLeft = 0;
void StopAfterFrames() {
    if (--framesLeft <= 0) session::poll = 0;
}

bool Connect() {
    fixture::Sim().clearFaults();
    fixture::SelectTcp();
    TryToConnect();
    return comecho == 1 && tcpcon == 1;
}

// The simulator shows its white target, without noise unless asked.
void AimAtWhite(bool noise) {
    tsim::Simulator &sim = fixture::Sim();
    sim.setTarget(tsim::WhiteTargetIndex(sim.scene()));
    sim.setNoiseEnabled(noise);
    sim.state().ramParams[tsim::PPower] = 500;
    std::fill(std::begin(sim.state().cf), std::end(sim.state().cf), uint16_t(1024));
}

// White at POWER 500 reads 3700, 3900, 3400: a set value these factors can
// reach and a spread the check lets through.
constexpr int kWhiteSetValue = 3600;
constexpr int kWhiteMaxDelta = 600;
} // namespace

class TestCalib : public fixture::WindowSuite {
    Q_OBJECT
  private slots:
    void init() {
        session::poll = 0;
        if (tcpcon != 1 || comecho != 1) QVERIFY(Connect());
        fixture::Sim().clearFaults();
        fixture::Sim().clearRequests();
        ShowChildPanel(6);
    }

    void cleanup() {
        fixture::CheckNoUnexpectedPopups();
        pollFrameHook = nullptr;
        fixture::Sim().setNoiseEnabled(true);
        fixture::Sim().setTarget(-1);
    }

    void thirdRootTable() {
        std::fill(std::begin(data3rdRoot), std::end(data3rdRoot), uint16_t(0xFFFF));
        Calc3rdRoot();
        // Perfect cubes (4, 32, 108) come out one below their round root.
        const int telling[][2] = {{0, 0},       {1, 2519},    {2, 3174},   {4, 3999},
                                  {8, 5039},    {16, 6349},   {32, 7999},  {64, 10079},
                                  {108, 11999}, {128, 12699}, {255, 15979}};
        for (auto [i, entry] : telling)
            QCOMPARE(int(data3rdRoot[i]), entry);
        for (int i = 0; i < 256; ++i)
            QCOMPARE(int(data3rdRoot[i]), int(1000.0 * std::pow(double(16 * i), 1.0 / 3.0)));
    }

    // SEND CF: the factors, the announcement and nineteen pieces that leave
    // the whole table in the sensor.
    void sendFactorsAndTable() {
        SetFactorFields(1000, 1010, 1020);
        Press(CALIBP_ButtonSendCF, CBF_ButtonSendCF);
        QCOMPARE(comecho, uint16_t(1));
        QCOMPARE(SimFactors(), (QList<int>{1000, 1010, 1020}));

        const QList<QByteArray> all = fixture::Sim().requests();
        QCOMPARE(all.size(), 1 + 1 + 19);
        QCOMPARE(Word(all[0], 1), uint16_t(proto::WriteCalib));
        QCOMPARE(Word(all[1], 1), uint16_t(proto::AnnounceThirdRoot));
        QCOMPARE(Word(all[1], 2), uint16_t(5888));
        for (int k = 0; k < 19; ++k) {
            const QByteArray &piece = all[2 + k];
            QCOMPARE(Word(piece, 1), uint16_t(proto::WriteThirdRoot));
            QCOMPARE(Word(piece, 2), uint16_t(5888 + 14 * k));
            QCOMPARE(Word(piece, 3), uint16_t(k == 18 ? 4 : 14));
        }
        QCOMPARE(Word(all.last(), 2), uint16_t(6140));
        const uint16_t *held = fixture::Sim().state().thirdRoot;
        QVERIFY(std::equal(held, held + 256, data3rdRoot));
        QCOMPARE(int(held[4]), 3999); // ours, not the simulator's own round 4000
        QCOMPARE(Attr(calibpanel, CALIBP_ButtonSendCF, ATTR_DIMMED), 0);
    }

    void brokenLinkLeavesRestOfTableUnsent() {
        // Telegram 1 carries the factors, 2 the announcement, 3..8 pieces 0..5.
        fixture::Sim().armFault({tsim::Fault::Disconnect, 8, 0});
        popupscript::Expect("TCP Client");
        Press(CALIBP_ButtonSendCF, CBF_ButtonSendCF);
        QCOMPARE(comecho, uint16_t(0));
        const QList<QByteArray> pieces = RequestsOf(proto::WriteThirdRoot);
        QCOMPARE(pieces.size(), 6);
        QCOMPARE(Word(pieces.last(), 2), uint16_t(5888 + 14 * 5));
        QCOMPARE(Status(), QString("TIMEOUT"));
        QString line;
        GetCtrlVal(datapanel, DATAP_DispLink, &line);
        QVERIFY2(line.contains(QString::fromUtf8(
                     "Third-root table stopped at the third-root values from 5972 (telegram 8 "
                     "of 20): the sensor holds the new third-root values 0\u201383 and old ones "
                     "from 84; send the factors again.")),
                 qPrintable(line));
    }

    void factorsOutsideTheCalibrationRangeAsk_data() {
        QTest::addColumn<QList<int>>("factors");
        QTest::addColumn<int>("answer"); // -1: not asked
        QTest::addColumn<QString>("question");
        QTest::newRow("in range") << QList<int>{750, 1024, 1300} << -1 << QString();
        QTest::newRow("red 9999, no")
            << QList<int>{9999, 1000, 1000} << 0
            << "CF RED 9999 lies outside 750..1300, the range a calibration accepts. Send it to "
               "the sensor anyway?";
        QTest::newRow("red 9999, yes")
            << QList<int>{9999, 1000, 1000} << 1
            << "CF RED 9999 lies outside 750..1300, the range a calibration accepts. Send it to "
               "the sensor anyway?";
        QTest::newRow("two outside, no")
            << QList<int>{749, 1000, 1301} << 0
            << "CF RED 749 and CF BLUE 1301 lie outside 750..1300, the range a calibration "
               "accepts. Send them to the sensor anyway?";
    }

    // A factor no calibration would give is sent only when the operator says
    // so; "no" sends nothing at all, the table neither.
    void factorsOutsideTheCalibrationRangeAsk() {
        QFETCH(QList<int>, factors);
        QFETCH(int, answer);
        QFETCH(QString, question);
        const QList<int> before = SimFactors();
        SetFactorFields(factors[0], factors[1], factors[2]);
        if (answer >= 0) popupscript::Expect("ATTENTION!", answer);
        Press(CALIBP_ButtonSendCF, CBF_ButtonSendCF);
        if (answer >= 0) QCOMPARE(popupscript::Log().last().text, question);
        if (answer == 0) {
            QCOMPARE(fixture::Sim().requests().size(), 0);
            QCOMPARE(SimFactors(), before);
        } else {
            QCOMPARE(SimFactors(), factors);
            QCOMPARE(RequestsOf(proto::WriteThirdRoot).size(), 19);
        }
        SetFactorFields(1024, 1024, 1024);
        for (int i = 0; i < 3; ++i)
            fixture::Sim().state().cf[i] = uint16_t(before[i]);
    }

    void setFactors_data() {
        QTest::addColumn<QList<int>>("means"); // R, G, B, delta; MAXIMUM DELTA is 300
        QTest::addColumn<int>("setValue");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QList<int>>("factors"); // empty: refused, nothing changes
        const QList<int> none;
        const QString ok = "successful", range = "out of range", spread = "maximum delta";
        auto row = [](const char *name) -> QTestData & { return QTest::newRow(name); };
        row("1000 each") << QList<int>{1000, 1000, 1000, 0} << 1000 << ok
                         << QList<int>{1024, 1024, 1024};
        row("red 512") << QList<int>{2000, 1000, 1365, 0} << 1000 << range << none;
        row("green 512") << QList<int>{1000, 2000, 1000, 0} << 1000 << range << none;
        row("mean 0 as 1") << QList<int>{0, 1, 0, 0} << 1 << ok << QList<int>{1024, 1024, 1024};
        row("3000 over 46") << QList<int>{46, 46, 46, 0} << 3000 << range << none;
        row("delta at maximum") << QList<int>{1000, 1000, 1000, 300} << 1000 << ok
                                << QList<int>{1024, 1024, 1024};
        row("delta one over") << QList<int>{1000, 1000, 1000, 301} << 1000 << spread << none;
        row("750 passes") << QList<int>{1024, 1024, 1024, 0} << 750 << ok
                          << QList<int>{750, 750, 750};
        row("749 refused") << QList<int>{1024, 1024, 1024, 0} << 749 << range << none;
        row("1300 passes") << QList<int>{1024, 1024, 1024, 0} << 1300 << ok
                           << QList<int>{1300, 1300, 1300};
        row("1301 refused") << QList<int>{1024, 1024, 1024, 0} << 1301 << range << none;
    }
    void setFactors() {
        QFETCH(QList<int>, means);
        QFETCH(int, setValue);
        QFETCH(QString, says);
        QFETCH(QList<int>, factors);
        meanR = uint16_t(means[0]);
        meanG = uint16_t(means[1]);
        meanB = uint16_t(means[2]);
        meanD = uint16_t(means[3]);
        SetCtrlVal(calibpanel, CALIBP_EditSetValue, setValue);
        SetCtrlVal(calibpanel, CALIBP_EditMaxDelta, 300);
        cfrot = cfgruen = cfblau = 999;
        SetFactorFields(999, 999, 999);

        popupscript::Expect(factors.isEmpty() ? "ATTENTION!" : "CALIBRATION PASSED!");
        SetCF();
        QCOMPARE(popupscript::Pending(), 0);
        const QString text = popupscript::Log().last().text;
        QVERIFY2(text.contains(says, Qt::CaseInsensitive), qPrintable(text));
        const QList<int> expected = factors.isEmpty() ? QList<int>{999, 999, 999} : factors;
        QCOMPARE(Factors(), expected);
        QCOMPARE(FactorFields(), expected);
    }

    void rawDisplays_data() {
        QTest::addColumn<QList<int>>("raw");
        QTest::addColumn<int>("delta");
        QTest::newRow("4000 4100 3900") << QList<int>{4000, 4100, 3900} << 200;
        QTest::newRow("equal") << QList<int>{2000, 2000, 2000} << 0;
        QTest::newRow("blue largest") << QList<int>{100, 50, 200} << 150;
        QTest::newRow("red smallest, full range") << QList<int>{0, 4095, 10} << 4095;
    }
    void rawDisplays() {
        QFETCH(QList<int>, raw);
        dataRawR = uint16_t(raw[0]);
        dataRawG = uint16_t(raw[1]);
        dataRawB = uint16_t(raw[2]);
        SetPanelCalibData();
        QTEST(int(deltaraw), "delta");
        QTEST(Val(calibpanel, CALIBP_DispRawDelta), "delta");
        // The bars end at the 12-bit scale; the numbers show what came.
        QList<int> bars;
        for (int v : raw)
            bars << std::min(v, 4095);
        QCOMPARE((QList<int>{Val(calibpanel, CALIBP_DispBarsRAW__R),
                             Val(calibpanel, CALIBP_DispBarsRAW__G),
                             Val(calibpanel, CALIBP_DispBarsRAW__B)}),
                 bars);
        QCOMPARE(
            (QList<int>{Val(calibpanel, CALIBP_DispBars__R), Val(calibpanel, CALIBP_DispBars__G),
                        Val(calibpanel, CALIBP_DispBars__B)}),
            raw);
    }

    // The whole run on the white target: measure, compute, send the factors
    // and the table, then live measurement; afterwards the sensor's
    // calibrated channels agree.
    void calibrationRunEvensOutWhite() {
        AimAtWhite(true);
        SetCtrlVal(calibpanel, CALIBP_EditSetValue, kWhiteSetValue);
        SetCtrlVal(calibpanel, CALIBP_EditMaxDelta, kWhiteMaxDelta);
        popupscript::Expect("SEND POWER");
        popupscript::Expect("CONFIRM CALCULATION!");
        popupscript::Expect("CALIBRATION PASSED!");
        framesLeft = 5;
        pollFrameHook = StopAfterFrames;
        const uint64_t before = pollFrames;

        Press(CALIBP_ButtonCalcCF, CBF_ButtonCalcCF);

        QCOMPARE(popupscript::Pending(), 0);
        QCOMPARE(int(pollFrames - before), 5);
        QVERIFY(std::abs(cfrot - kWhiteSetValue * 1024 / 3700) <= 2);
        QVERIFY(std::abs(cfgruen - kWhiteSetValue * 1024 / 3900) <= 2);
        QVERIFY(std::abs(cfblau - kWhiteSetValue * 1024 / 3400) <= 2);
        QCOMPARE(FactorFields(), Factors());
        QCOMPARE(SimFactors(), Factors());
        QCOMPARE(RequestsOf(proto::WriteCalib).size(), 1);
        QCOMPARE(RequestsOf(proto::AnnounceThirdRoot).size(), 1);
        QCOMPARE(RequestsOf(proto::WriteThirdRoot).size(), 19);
        QCOMPARE(RequestsOf(proto::SendFrame).size(), 100 + 5);
        const uint16_t *held = fixture::Sim().state().thirdRoot;
        QVERIFY(std::equal(held, held + 256, data3rdRoot));

        // The GO loop kept the raw displays up to date.
        QCOMPARE(Val(calibpanel, CALIBP_DispBarsRAW__G), int(dataRawG));
        QCOMPARE(Val(calibpanel, CALIBP_DispRawDelta), int(deltaraw));
        QVERIFY(deltaraw > 300);
        QCOMPARE(Attr(calibpanel, CALIBP_ButtonCalcCF, ATTR_CMD_BUTTON_COLOR), 0xE0E0E0);
        QCOMPARE(Attr(calibpanel, CALIBP_ButtonCalcCF, ATTR_DIMMED), 0);
        QCOMPARE(Attr(mainpanel, MAINP_ButtonGo, ATTR_DIMMED), 0);

        fixture::Sim().setNoiseEnabled(false);
        const tsim::Frame f = fixture::Sim().measure();
        QVERIFY2(std::abs(f.r - f.g) <= 4 && std::abs(f.g - f.b) <= 4 &&
                     std::abs(f.r - kWhiteSetValue) <= 6,
                 qPrintable(QString("%1 %2 %3").arg(f.r).arg(f.g).arg(f.b)));
    }

    void declinedRunSendsNothing() {
        popupscript::Expect("SEND POWER", 0);
        Press(CALIBP_ButtonCalcCF, CBF_ButtonCalcCF);
        QVERIFY(fixture::Sim().requests().isEmpty());
        QCOMPARE(Attr(calibpanel, CALIBP_ButtonCalcCF, ATTR_DIMMED), 0);
    }

    void missingFrameIsNotCountedAsZero() {
        AimAtWhite(false);
        SetCtrlVal(calibpanel, CALIBP_EditSetValue, kWhiteSetValue);
        SetCtrlVal(calibpanel, CALIBP_EditMaxDelta, kWhiteMaxDelta);
        fixture::Sim().armFault({tsim::Fault::NoAnswer, 50, 0});
        popupscript::Expect("CONFIRM CALCULATION!");
        popupscript::Expect("CALIBRATION PASSED!");
        CalcCF();
        QCOMPARE(popupscript::Pending(), 0);
        QCOMPARE((QList<int>{meanR, meanG, meanB, meanD}), (QList<int>{3700, 3900, 3400, 500}));
        QCOMPARE(Factors(), (QList<int>{kWhiteSetValue * 1024 / 3700, kWhiteSetValue * 1024 / 3900,
                                        kWhiteSetValue * 1024 / 3400}));
        QCOMPARE(Status(), QString("TIMEOUT"));
    }

    void noFrameComputesNothing() {
        // The link drops after one answered telegram; no frame can arrive.
        fixture::Sim().armFault({tsim::Fault::Disconnect, 1, 0});
        popupscript::Expect("TCP Client");
        GetCF();
        fixture::Pump(50);
        cfrot = cfgruen = cfblau = 1111;
        SetFactorFields(1111, 1111, 1111);
        meanR = meanG = meanB = meanD = 7;

        popupscript::Expect("CONFIRM CALCULATION!");
        popupscript::Expect("ATTENTION!");
        CalcCF();
        QCOMPARE(popupscript::Pending(), 0);
        QVERIFY(popupscript::Log().last().text.contains("No data frame"));
        QCOMPARE(Factors(), (QList<int>{1111, 1111, 1111}));
        QCOMPARE(FactorFields(), (QList<int>{1111, 1111, 1111}));
        QCOMPARE((QList<int>{meanR, meanG, meanB, meanD}), (QList<int>{7, 7, 7, 7}));
    }

    // A sensor that stops answering ends the measurement after a few frames
    // instead of a time-out for each of the hundred.
    void deadSensorEndsTheMeasurement() {
        cfrot = cfgruen = cfblau = 1111;
        fixture::Sim().armFault({tsim::Fault::NoAnswer, 0, 0});
        popupscript::Expect("CONFIRM CALCULATION!");
        popupscript::Expect("ATTENTION!");
        CalcCF();
        QCOMPARE(popupscript::Pending(), 0);
        QVERIFY(popupscript::Log().last().text.contains("No data frame"));
        QCOMPARE(fixture::Sim().requestCount(), 3);
        QCOMPARE(Factors(), (QList<int>{1111, 1111, 1111}));
    }

    void getFactors() {
        uint16_t *cf = fixture::Sim().state().cf;
        cf[0] = 1001;
        cf[1] = 1100;
        cf[2] = 1250;
        SetFactorFields(1024, 1024, 1024);
        Press(CALIBP_ButtonGetCF, CBF_ButtonGetCF);
        QCOMPARE(FactorFields(), (QList<int>{1001, 1100, 1250}));
        QCOMPARE(Factors(), (QList<int>{1001, 1100, 1250}));

        // A missing answer keeps what was read.
        cf[0] = cf[1] = cf[2] = 900;
        fixture::Sim().armFault({tsim::Fault::NoAnswer, 1, 0});
        Press(CALIBP_ButtonGetCF, CBF_ButtonGetCF);
        QCOMPARE(Status(), QString("TIMEOUT"));
        QCOMPARE(FactorFields(), (QList<int>{1001, 1100, 1250}));
        QCOMPARE(Factors(), (QList<int>{1001, 1100, 1250}));
        QCOMPARE(Attr(calibpanel, CALIBP_ButtonGetCF, ATTR_DIMMED), 0);
    }
};

QTEST_MAIN(TestCalib)
#include "tst_calib.moc"
