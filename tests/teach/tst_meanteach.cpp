// The mean-value teach panel on the real panels: capture, undo and reset with
// their counter, the means and maximum deviations per calculation mode, hand
// edits, teach-to-table per layout and tolerance choice, the labels per mode;
// against the simulated sensor, a taught mean is recognised after SEND.
#include "teach/TeachTestUtil.h"

#include "live/ShownCache.h"
#include "platform/Introspect.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"
#include "teach/MeanValueTeach.h"

#include <algorithm>
#include <array>

using namespace ptest;
using namespace ttest;

int CBF_ButtonStop(int, int, int, void *, int, int);

namespace {
// X, Y, INT, GN of one captured frame.
using Frame = std::array<int, 4>;
using Frames = QList<Frame>;

Row TpRow(int k) {
    return TableRow(teachpanel, TEACHP_GridTpValues, k);
}

Row MeanRow() {
    return TableRow(teachpanel, TEACHP_GridTpMean, 1);
}

Row Deviations() {
    return {Val(teachpanel, TEACHP_DispTpMaxDeltaXY), Val(teachpanel, TEACHP_DispTpMaxDeltaInt),
            Val(teachpanel, TEACHP_DispTpMaxDeltaGn)};
}

// The operator captures a frame that polling has just decoded.
void Capture(const Frame &f, int r = 0, int g = 0, int b = 0) {
    dataR = uint16_t(r);
    dataG = uint16_t(g);
    dataB = uint16_t(b);
    dataX = uint16_t(f[0]);
    dataY = uint16_t(f[1]);
    dataInt = uint16_t(f[2]);
    dataGn = uint16_t(f[3]);
    Click(teachpanel, TEACHP_ButtonTpCapture);
}

void SetModes(int calc, int eval) {
    SetCtrlVal(parapanel, PARAP_Calcmode, calc);
    SetCtrlVal(parapanel, PARAP_Evalmode, eval);
    calcmode = uint16_t(calc);
    evalmode = uint16_t(eval);
    InitTeachPanel();
}

QString Label(int control) {
    QString s;
    GetCtrlAttribute(teachpanel, control, ATTR_LABEL_TEXT, &s);
    return s;
}

QStringList RingItems(int control) {
    auto *ring = qobject_cast<QComboBox *>(CtrlWidget(teachpanel, control));
    QStringList items;
    for (int i = 0; ring && i < ring->count(); ++i)
        items << ring->itemText(i);
    return items;
}

QStringList ColumnTitles(int table) {
    auto *t = qobject_cast<QTableWidget *>(CtrlWidget(teachpanel, table));
    QStringList titles;
    for (int c = 3; t && c <= 5; ++c)
        titles << t->horizontalHeaderItem(c)->text();
    return titles;
}

bool Visible(int control) {
    return Attr(teachpanel, control, ATTR_VISIBLE) != 0;
}

// Captures during the GO loop that opening the panel starts: one capture per
// decoded frame, STOP after the tenth.
int hookedCaptures = 0;
int goDimmedWhileCapturing = -1;
void CaptureEachFrame() {
    if (hookedCaptures == 0) goDimmedWhileCapturing = Attr(mainpanel, MAINP_ButtonGo, ATTR_DIMMED);
    Click(teachpanel, TEACHP_ButtonTpCapture);
    if (++hookedCaptures == 10)
        CBF_ButtonStop(mainpanel, MAINP_ButtonStop, EVENT_COMMIT, nullptr, 0, 0);
}
} // namespace

Q_DECLARE_METATYPE(Frame)

class TestMeanTeach : public fixture::WindowSuite {
    Q_OBJECT

  private slots:
    void init() {
        session::poll = 0;
        FreshStart();
        SetModes(0, 0);
        DisplayPanel(teachpanel);
        Click(teachpanel, TEACHP_ButtonTpResetTable);
        fixture::CheckNoUnexpectedPopups();
    }

    void cleanup() {
        pollFrameHook = nullptr;
        CheckPopupsDone();
    }

    // ---- capture, undo, reset

    void hundredFirstCaptureOverwritesRow100() {
        for (int k = 1; k <= 101; ++k)
            Capture({k, 0, 0, 0}, k % 7);
        QCOMPARE(Val(teachpanel, TEACHP_DispTpCounter), 100);
        QCOMPARE(TpRow(99)[3], 99);
        QCOMPARE(TpRow(100), (Row{101 % 7, 0, 0, 101, 0, 0, 0}));
        // (1 + ... + 99 + 101) / 100
        QCOMPARE(meanx, uint16_t(50));
        QCOMPARE(MeanRow()[3], 50);
    }

    void undo_data() {
        QTest::addColumn<Frames>("captured");
        QTest::addColumn<int>("counter");
        QTest::addColumn<Row>("mean");
        QTest::addColumn<Row>("deviations");
        QTest::newRow("at 0 clears row 1") << Frames{} << 0 << Row(7, 0) << Row(3, 0);
        QTest::newRow("after three: the mean of rows 1 and 2")
            << Frames{{1000, 2000, 500, 300}, {1004, 2003, 510, 306}, {3000, 3000, 3000, 3000}} << 2
            << Row{0, 0, 0, 1002, 2001, 505, 303} << Row{2, 5, 3};
    }
    void undo() {
        QFETCH(Frames, captured);
        for (const Frame &f : captured)
            Capture(f);
        // A row beyond the counter, put there by hand.
        if (captured.isEmpty())
            for (int c = 1; c <= 7; ++c)
                SetTableCellVal(teachpanel, TEACHP_GridTpValues, MakePoint(c, 1), 77);

        Click(teachpanel, TEACHP_ButtonTpUndo);

        QTEST(Val(teachpanel, TEACHP_DispTpCounter), "counter");
        QCOMPARE(TpRow(std::max(int(captured.size()), 1)), Row(7, 0));
        QTEST(MeanRow(), "mean");
        QTEST(Deviations(), "deviations");
    }

    void resetClearsTablesButKeepsMeans() {
        Capture({1000, 1000, 400, 200}, 10, 20, 30);
        Capture({1010, 1000, 400, 220}, 10, 20, 30);
        QCOMPARE(meanx, uint16_t(1005));
        Click(teachpanel, TEACHP_ButtonTpResetTable);
        QCOMPARE(Val(teachpanel, TEACHP_DispTpCounter), 0);
        QCOMPARE(TpRow(1), Row(7, 0));
        QCOMPARE(TpRow(2), Row(7, 0));
        QCOMPARE(MeanRow(), Row(7, 0));
        QCOMPARE(Deviations(), Row(3, 0));
        QCOMPARE(meanx, uint16_t(1005));
        QCOMPARE(Attr(teachpanel, TEACHP_ButtonTpResetTable, ATTR_CMD_BUTTON_COLOR), 0xE0E0E0);
    }

    // ---- means and deviations

    void deviations_data() {
        QTest::addColumn<int>("calc");
        QTest::addColumn<Frames>("frames");
        QTest::addColumn<Row>("meanXYIntGn");
        QTest::addColumn<Row>("deviations");
        const Frames example{{1000, 1000, 0, 0}, {1006, 1008, 0, 0}, {1003, 1001, 0, 0}};
        QTest::newRow("worked example") << 0 << example << Row{1003, 1003, 0, 0} << Row{5, 0, 0};
        QTest::newRow("truncated mean") << 0 << Frames{{1000, 1001, 7, 8}, {1001, 1002, 8, 9}}
                                        << Row{1000, 1001, 7, 8} << Row{1, 1, 1};
        // dX ±3, dY ±4, dINT ±5, dGN ±10 around the mean.
        const Frames pair{{1000, 1000, 500, 300}, {1006, 1008, 510, 320}};
        const Row mean{1003, 1004, 505, 310};
        QTest::newRow("0: X/Y") << 0 << pair << mean << Row{5, 5, 10};
        QTest::newRow("1: s/i") << 1 << pair << mean << Row{5, 5, 10};
        QTest::newRow("2: X/Y/INT") << 2 << pair << mean << Row{7, 5, 10};
        QTest::newRow("3: s/i/M") << 3 << pair << mean << Row{7, 5, 10};
        QTest::newRow("4: X/Y/GN") << 4 << pair << mean << Row{11, 5, 10};
        QTest::newRow("5: s/i/GN") << 5 << pair << mean << Row{11, 5, 10};
        QTest::newRow("6: X/Y/INT/GN") << 6 << pair << mean << Row{12, 5, 10};
        QTest::newRow("7: s/i/M/GN") << 7 << pair << mean << Row{12, 5, 10};
        // The squares no longer fit 32 bits; the distance stops at full scale.
        QTest::newRow("full-scale cells")
            << 6 << Frames{{0, 0, 0, 0}, {65535, 65535, 65535, 65535}}
            << Row{32767, 32767, 32767, 32767} << Row{65535, 32768, 32768};
    }
    void deviations() {
        QFETCH(int, calc);
        QFETCH(Frames, frames);
        SetModes(calc, 0);
        for (const Frame &f : frames)
            Capture(f);
        QTEST(MeanRow().mid(3), "meanXYIntGn");
        QTEST((Row{meanx, meany, meanint, meangn}), "meanXYIntGn");
        QTEST(Deviations(), "deviations");
    }

    void handEditRecomputesAtOnce() {
        Capture({1000, 1000, 500, 300});
        Capture({1000, 1000, 500, 300});
        EditCell(teachpanel, TEACHP_GridTpValues, 4, 2, 1010);
        QCOMPARE(MeanRow()[3], 1005);
        QCOMPARE(Deviations(), (Row{5, 0, 0}));
        // Rows beyond the counter do not count, whatever they hold.
        EditCell(teachpanel, TEACHP_GridTpValues, 4, 3, 4000);
        QCOMPARE(MeanRow()[3], 1005);
        QCOMPARE(Val(teachpanel, TEACHP_DispTpCounter), 2);
    }

    // ---- teach to table

    void teachToTable_data() {
        QTest::addColumn<int>("calc");
        QTest::addColumn<int>("eval");
        QTest::addColumn<Row>("rings"); // pair, ITO, GTO
        QTest::addColumn<Row>("values");
        QTest::addColumn<Row>("before");
        QTest::addColumn<Row>("after");
        // Mean X 1200, Y 1500, INT 800, GN 300; deviations 7, 3, 4.
        const Row nines(7, 9);
        QTest::newRow("0, eval 1, d+VALUE CTO") << 0 << 1 << Row{2, 0, 1} << Row{20, 100, 150}
                                                << nines << Row{1200, 1500, 27, 800, 100, 300, 4};
        QTest::newRow("eval 2 writes 40 over NO CHANGE")
            << 0 << 2 << Row{3, 1, 2} << Row{20, 100, 150} << nines
            << Row{1200, 1500, 40, 800, 3, 300, 154};
        QTest::newRow("NO CHANGE keeps the tolerances")
            << 1 << 0 << Row{3, 3, 3} << Row{20, 100, 150} << Row{9, 9, 11, 12, 13, 14, 15}
            << Row{1200, 1500, 11, 800, 13, 300, 15};
        QTest::newRow("2: TOL 4, INT 3, GN 5, GTO 6")
            << 2 << 0 << Row{1, 0, 2} << Row{20, 30, 40} << nines
            << Row{1200, 1500, 800, 7, 300, 44, 9};
        QTest::newRow("5: GN 3, TOL 4, M 5, MTO 6")
            << 5 << 0 << Row{0, 2, 0} << Row{20, 30, 40} << nines
            << Row{1200, 1500, 300, 20, 800, 33, 9};
        QTest::newRow("6: only columns 1 to 5") << 6 << 0 << Row{0, 0, 0} << Row{20, 30, 40}
                                                << nines << Row{1200, 1500, 800, 300, 20, 9, 9};
        // A wrapped sum would teach a tolerance of 6.
        QTest::newRow("sum stops at full scale")
            << 0 << 0 << Row{2, 0, 0} << Row{65535, 30, 40} << nines
            << Row{1200, 1500, 65535, 800, 30, 300, 40};
    }
    void teachToTable() {
        QFETCH(int, calc);
        QFETCH(int, eval);
        QFETCH(Row, rings);
        QFETCH(Row, values);
        QFETCH(Row, before);
        SetModes(calc, eval);
        const Row mean{11, 22, 33, 1200, 1500, 800, 300};
        for (int c = 1; c <= 7; ++c)
            SetTableCellVal(teachpanel, TEACHP_GridTpMean, MakePoint(c, 1), mean[c - 1]);
        SetCtrlVal(teachpanel, TEACHP_DispTpMaxDeltaXY, 7);
        SetCtrlVal(teachpanel, TEACHP_DispTpMaxDeltaInt, 3);
        SetCtrlVal(teachpanel, TEACHP_DispTpMaxDeltaGn, 4);
        const int ringCtrls[3] = {TEACHP_EditTpTeachCtoWith, TEACHP_EditTpTeachItoWith,
                                  TEACHP_EditTpTeachGtoWith};
        const int valueCtrls[3] = {TEACHP_EditTpValueCto, TEACHP_EditTpValueIto,
                                   TEACHP_EditTpValueGto};
        for (int k = 0; k < 3; ++k) {
            SetCtrlVal(teachpanel, ringCtrls[k], rings[k]);
            SetCtrlVal(teachpanel, valueCtrls[k], values[k]);
        }
        const Row nines(7, 9);
        PutTableRow(ttpanel, TTP_GridCtt, 4, nines);
        PutTableRow(ttpanel, TTP_GridCtt, 5, before);
        PutTableRow(ttpanel, TTP_GridCtt, 6, nines);
        SetCtrlVal(teachpanel, TEACHP_EditTpRowNo, 4);
        // A tolerance above 512 is taught only after the operator's Yes.
        const bool wide = std::any_of(values.begin(), values.end(), [](int v) { return v > 512; });
        if (wide) popupscript::Expect("ATTENTION!", 1);

        Click(teachpanel, TEACHP_ButtonTpTeachToTable);
        QCOMPARE(popupscript::Pending(), 0);

        QTEST(TableRow(ttpanel, TTP_GridCtt, 5), "after");
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 4), nines);
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 6), nines);
        QCOMPARE(Val(teachpanel, TEACHP_EditTpRowNo), 4);
        QFETCH(Row, after);
        QCOMPARE(Row(std::begin(ctt[4]), std::end(ctt[4])), after);
    }

    // ---- labels

    void labels_data() {
        QTest::addColumn<int>("calc");
        QTest::addColumn<QStringList>("pair"); // display, ring, value field, items 0..2
        QTest::addColumn<QStringList>("intensity");
        QTest::addColumn<bool>("glossShown");
        QTest::addColumn<QStringList>("columns");
        const QStringList xy{"X", "Y", "INT"}, si{"s", "i", "M"};
        const QStringList ito{"d INT",     "TEACH ITO WITH", "VALUE ITO",
                              "VALUE ITO", "d INT",          "d INT+VALUE ITO"};
        const QStringList mto{"d M", "TEACH MTO WITH", "VALUE MTO", "VALUE MTO",
                              "d M", "d M+VALUE MTO"};
        auto pair = [](QString d, QString tol, QString sum = QString()) {
            return QStringList{d,
                               "TEACH " + tol + " WITH",
                               "VALUE " + tol,
                               "VALUE " + tol,
                               d,
                               sum.isEmpty() ? d + "+VALUE " + tol : sum};
        };
        QTest::newRow("0") << 0 << pair("d (X/Y)", "CTO") << ito << true << xy;
        QTest::newRow("1") << 1 << pair("d (s/i)", "siTO") << mto << true << si;
        QTest::newRow("2") << 2 << pair("d (X/Y/INT)", "TOL") << QStringList() << true << xy;
        QTest::newRow("3") << 3 << pair("d (s/i/M)", "TOL") << QStringList() << true << si;
        QTest::newRow("4") << 4 << pair("d (X/Y/GN)", "TOL") << ito << false << xy;
        QTest::newRow("5") << 5 << pair("d (s/i/GN)", "TOL") << mto << false << si;
        QTest::newRow("6") << 6 << pair("d (X/Y/INT/GN)", "TOL", "d (X/Y/INT/GN)+VAL TOL")
                           << QStringList() << false << xy;
        QTest::newRow("7") << 7 << pair("d (s/i/M/GN)", "TOL") << QStringList() << false << si;
    }
    void labels() {
        QFETCH(int, calc);
        QFETCH(QStringList, intensity);
        QFETCH(bool, glossShown);
        // From the other family, so that every label has to change.
        SetModes(calc % 2 == 0 ? 1 : 0, 0);
        SetModes(calc, 0);

        QTEST(QStringList({Label(TEACHP_DispTpMaxDeltaXY), Label(TEACHP_EditTpTeachCtoWith),
                           Label(TEACHP_EditTpValueCto)}) +
                  RingItems(TEACHP_EditTpTeachCtoWith).mid(0, 3),
              "pair");
        QCOMPARE(RingItems(TEACHP_EditTpTeachCtoWith).size(), 4);
        const bool intensityShown = !intensity.isEmpty();
        for (int control :
             {TEACHP_EditTpTeachItoWith, TEACHP_EditTpValueIto, TEACHP_DispTpMaxDeltaInt})
            QCOMPARE(Visible(control), intensityShown);
        if (intensityShown)
            QCOMPARE(QStringList({Label(TEACHP_DispTpMaxDeltaInt), Label(TEACHP_EditTpTeachItoWith),
                                  Label(TEACHP_EditTpValueIto)}) +
                         RingItems(TEACHP_EditTpTeachItoWith).mid(0, 3),
                     intensity);
        for (int control :
             {TEACHP_EditTpTeachGtoWith, TEACHP_EditTpValueGto, TEACHP_DispTpMaxDeltaGn})
            QCOMPARE(Visible(control), glossShown);
        QTEST(ColumnTitles(TEACHP_GridTpValues), "columns");
        QTEST(ColumnTitles(TEACHP_GridTpMean), "columns");
    }

    // The parameter panel's mode rings relabel an open teach panel.
    void modeChangesRelabelThePanel() {
        Pick(parapanel, PARAP_Calcmode, 2);
        QCOMPARE(comecho, uint16_t(1));
        QCOMPARE(Label(TEACHP_DispTpMaxDeltaXY), QString("d (X/Y/INT)"));
        QVERIFY(!Visible(TEACHP_EditTpTeachItoWith));
        QVERIFY(Visible(TEACHP_EditTpTeachGtoWith));
        QCOMPARE(Attr(teachpanel, TEACHP_EditTpTeachCtoWith, ATTR_DIMMED), 0);

        Pick(parapanel, PARAP_Evalmode, 2);
        QCOMPARE(Attr(teachpanel, TEACHP_EditTpTeachCtoWith, ATTR_DIMMED), 1);
        QCOMPARE(Attr(teachpanel, TEACHP_EditTpValueCto, ATTR_DIMMED), 1);
        Pick(parapanel, PARAP_Evalmode, 0);
        QCOMPARE(Attr(teachpanel, TEACHP_EditTpValueCto, ATTR_DIMMED), 0);

        Pick(parapanel, PARAP_Calcmode, 0);
        QCOMPARE(Label(TEACHP_DispTpMaxDeltaXY), QString("d (X/Y)"));
        QVERIFY(Visible(TEACHP_EditTpTeachItoWith));
    }

    // ---- against the simulated sensor

    // The panel opens where the operator still sees V-No, the measured
    // values, the transfer buttons and the status line while capturing.
    void opensOutOfTheWay_data() {
        QTest::addColumn<int>("panel");
        QTest::addColumn<int>("control");
        QTest::newRow("V-No") << datapanel << int(DATAP_DispCOL);
        QTest::newRow("X") << datapanel << int(DATAP_DispX);
        QTest::newRow("GN") << datapanel << int(DATAP_DispGN);
        QTest::newRow("SEND") << mainpanel << int(MAINP_ButtonSend);
        QTest::newRow("GO") << mainpanel << int(MAINP_ButtonGo);
        QTest::newRow("STOP") << mainpanel << int(MAINP_ButtonStop);
        QTest::newRow("status line") << datapanel << int(DATAP_DispLink);
    }
    void opensOutOfTheWay() {
        QFETCH(int, panel);
        QFETCH(int, control);
        HidePanel(teachpanel);
        session::poll = 1; // a loop runs: opening starts none
        Click(ttpanel, TTP_ButtonTeachMeanVal);
        session::poll = 0;
        QVERIFY(PanelVisible(teachpanel));
        QWidget *w = CtrlWidget(panel, control);
        const QRect at(w->mapToGlobal(QPoint(0, 0)), w->size());
        QVERIFY(!PanelWidget(teachpanel)->frameGeometry().intersects(at));
    }

    void openingWhilePollingStartsNoSecondLoop() {
        HidePanel(teachpanel);
        fixture::Sim().clearRequests();
        session::poll = 1;
        Click(ttpanel, TTP_ButtonTeachMeanVal);
        QVERIFY(PanelVisible(teachpanel));
        QCOMPARE(fixture::Sim().requestCount(proto::SendFrame), 0);
        QCOMPARE(Attr(mainpanel, MAINP_ButtonGo, ATTR_DIMMED), 0);
        session::poll = 0;
    }

    void capturedMeanIsRecognisedAfterSend() {
        tsim::Simulator &sim = fixture::Sim();
        sim.setNoiseEnabled(true);
        sim.setTarget(3);
        SetCtrlVal(parapanel, PARAP_EditMaxcolNo, 7);
        HidePanel(teachpanel);
        hookedCaptures = 0;
        goDimmedWhileCapturing = -1;
        pollFrameHook = CaptureEachFrame;

        Click(ttpanel, TTP_ButtonTeachMeanVal);
        pollFrameHook = nullptr;

        QVERIFY(PanelVisible(teachpanel));
        QCOMPARE(hookedCaptures, 10);
        QCOMPARE(goDimmedWhileCapturing, 1);
        QCOMPARE(Attr(mainpanel, MAINP_ButtonGo, ATTR_DIMMED), 0);
        QCOMPARE(Val(teachpanel, TEACHP_DispTpCounter), 10);
        // Noise spreads the frames; the tolerance covers it.
        QVERIFY(Val(teachpanel, TEACHP_DispTpMaxDeltaXY) > 0);

        SetCtrlVal(teachpanel, TEACHP_EditTpTeachCtoWith, 2);
        SetCtrlVal(teachpanel, TEACHP_EditTpValueCto, 20);
        SetCtrlVal(teachpanel, TEACHP_EditTpRowNo, 6);
        Click(teachpanel, TEACHP_ButtonTpTeachToTable);
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 7)[0], int(meanx));
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 7)[1], int(meany));

        SendPara();
        QCOMPARE(comecho, uint16_t(1));
        QCOMPARE(sim.state().ramRows[6][0], meanx);
        for (int i = 0; i < 5; ++i) {
            QVERIFY(TakeFrame());
            QCOMPARE(dataColor, uint16_t(6));
        }

        // Closing keeps what was captured.
        Click(teachpanel, TEACHP_ButtonTpClose);
        QVERIFY(!PanelVisible(teachpanel));
        QCOMPARE(Val(teachpanel, TEACHP_DispTpCounter), 10);
    }
};

QTEST_MAIN(TestMeanTeach)
#include "tst_meanteach.moc"
