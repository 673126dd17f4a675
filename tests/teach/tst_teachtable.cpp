// The vector teach table on the real panels: TEACH DATA TO per layout, the
// row colours it sets, reset and apply-from-all, the tolerance sorting on a
// change of calculation mode, and the colour groups; against the simulated
// sensor, taught rows are recognised before and after mode changes.
#include "teach/TeachTestUtil.h"

#include "core/HelpTexts.h"
#include "core/Protocol.h"
#include "link/Link.h"
#include "live/Live.h"
#include "live/ShownCache.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"

#include <QCheckBox>
#include <QTableWidget>

using namespace ptest;
using namespace ttest;

namespace {
int Indicator(int panel, int control, int column, int n) {
    int colour = -1;
    GetTableCellAttribute(panel, control, MakePoint(column, n), ATTR_TEXT_BGCOLOR, &colour);
    return colour;
}

// The indicator colour of every row in the three tables, and tolvanearr.
QList<int> ColourSnapshot() {
    QList<int> s;
    for (int n = 1; n <= 31; ++n)
        s << Indicator(ttpanel, TTP_GridCtt, 8, n) << Indicator(tapanel, TAP_GridSpec, 2, n)
          << Indicator(grouppanel, PGROUP_EditGridGroups, 2, n);
    s << QList<int>(std::begin(tolvanearr), std::end(tolvanearr));
    return s;
}

QList<int> GroupColumn() {
    QList<int> g;
    for (int n = 1; n <= 31; ++n)
        g << Cell(grouppanel, PGROUP_EditGridGroups, 1, n);
    return g;
}

void Toggle(int panel, int control) {
    auto *box = qobject_cast<QCheckBox *>(CtrlWidget(panel, control));
    QVERIFY(box);
    box->click();
}

// A frame on the displays, as the GO loop shows one: TEACH DATA TO
// teaches the frame shown.
void ShowFrame(uint16_t x, uint16_t y, uint16_t intensity, uint16_t gn, int rgb = 0) {
    dataX = x;
    dataY = y;
    dataInt = intensity;
    dataGn = gn;
    dataR = uint16_t(((rgb >> 16) & 0xFF) * 16);
    dataG = uint16_t(((rgb >> 8) & 0xFF) * 16);
    dataB = uint16_t((rgb & 0xFF) * 16);
    ShowPanelData();
}

// The pop-ups shown since the last check, as "title|text".
QStringList Shown() {
    QStringList s;
    for (const popupscript::Shown &p : popupscript::Log())
        s << p.title + '|' + p.text;
    return s;
}
} // namespace

class TestTeachTable : public fixture::WindowSuite {
    Q_OBJECT

  private slots:
    void init() {
        FreshStart();
        SetCtrlVal(tapanel, TAP_EditSetColor, 0);
        SetCtrlVal(ttpanel, TTP_RadioInc, 1);
    }

    void teachDataToPerLayout_data() {
        QTest::addColumn<int>("calc");
        QTest::addColumn<int>("eval");
        QTest::addColumn<int>("pm");
        QTest::addColumn<Row>("cells3to7");
        // X 1200, Y 1500, GN 300, INT 800 in every case.
        QTest::newRow("X/Y/GN INT, eval 2") << 4 << 2 << 0 << Row{300, 40, 800, 200, 1};
        QTest::newRow("X/Y INT GN, eval 0") << 0 << 0 << 0 << Row{100, 800, 100, 300, 100};
        QTest::newRow("X/Y INT GN, eval 1") << 0 << 1 << 1 << Row{200, 800, 200, 300, 200};
        QTest::newRow("s/i M GN, STAT, eval 0") << 1 << 0 << 0 << Row{100, 800, 50, 300, 100};
        QTest::newRow("s/i M GN, STAT, eval 3") << 1 << 3 << 0 << Row{100, 800, 50, 300, 100};
        QTest::newRow("s/i M GN, DYN, eval 0") << 1 << 0 << 1 << Row{100, 800, 100, 300, 100};
        QTest::newRow("s/i M GN, DYN, eval 2") << 1 << 2 << 1 << Row{40, 800, 200, 300, 200};
        QTest::newRow("X/Y/INT GN, eval 2") << 2 << 2 << 0 << Row{800, 40, 300, 200, 1};
        QTest::newRow("s/i/M GN, eval 0") << 3 << 0 << 1 << Row{800, 100, 300, 100, 1};
        QTest::newRow("s/i/GN M, STAT, eval 2") << 5 << 2 << 0 << Row{300, 40, 800, 100, 1};
        QTest::newRow("s/i/GN M, DYN, eval 3") << 5 << 3 << 1 << Row{300, 100, 800, 100, 1};
        QTest::newRow("X/Y/INT/GN, eval 1") << 6 << 1 << 0 << Row{800, 300, 200, 1, 1};
        QTest::newRow("s/i/M/GN, eval 0") << 7 << 0 << 0 << Row{800, 300, 100, 1, 1};
    }
    void teachDataToPerLayout() {
        QFETCH(int, calc);
        QFETCH(int, eval);
        QFETCH(int, pm);
        QFETCH(Row, cells3to7);
        SetCtrlVal(parapanel, PARAP_Calcmode, calc);
        SetCtrlVal(parapanel, PARAP_Evalmode, eval);
        SetCtrlVal(parapanel, PARAP_EditPmode, pm);
        for (int n = 5; n <= 7; ++n)
            PutTableRow(ttpanel, TTP_GridCtt, n, {9, 9, 9, 9, 9, 9, 9});
        ShowFrame(1200, 1500, 800, 300);
        SetCtrlVal(ttpanel, TTP_EditNo, 5);

        Click(ttpanel, TTP_ButtonTeachDataTo);

        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 6), Row({1200, 1500}) + cells3to7);
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 5), Row(7, 9));
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 7), Row(7, 9));
        QCOMPARE(Val(ttpanel, TTP_EditNo), 6);
        // The taught values reach the variables at once.
        QCOMPARE(ctt[5][0], uint16_t(1200));
        QCOMPARE(dataX, uint16_t(1200));
        QCOMPARE(dataGn, uint16_t(300));
    }

    void teachAdvancesNoUpTo30_data() {
        QTest::addColumn<int>("inc");
        QTest::addColumn<int>("no");
        QTest::addColumn<int>("after");
        QTest::newRow("inc, row 29") << 1 << 29 << 30;
        QTest::newRow("inc, row 30 stays") << 1 << 30 << 30;
        QTest::newRow("no inc") << 0 << 3 << 3;
    }
    void teachAdvancesNoUpTo30() {
        QFETCH(int, inc);
        QFETCH(int, no);
        QFETCH(int, after);
        SetCtrlVal(ttpanel, TTP_RadioInc, inc);
        SetCtrlVal(ttpanel, TTP_EditNo, no);
        ShowFrame(777, 0, 0, 0);
        Click(ttpanel, TTP_ButtonTeachDataTo);
        QCOMPARE(Val(ttpanel, TTP_EditNo), after);
        QCOMPARE(Cell(ttpanel, TTP_GridCtt, 1, no + 1), 777);
    }

    void teachColoursOnlyTheTaughtRow_data() {
        QTest::addColumn<int>("automatic");
        QTest::newRow("manual") << 0;
        QTest::newRow("automatic") << 1;
    }
    void teachColoursOnlyTheTaughtRow() {
        QFETCH(int, automatic);
        SetCtrlVal(tapanel, TAP_EditSetColor, automatic);
        ApplyRowColors();
        QList<int> expected = ColourSnapshot();
        ShowFrame(0, 0, 0, 0, 0x123456);
        SetCtrlVal(ttpanel, TTP_EditNo, 7);
        Click(ttpanel, TTP_ButtonTeachDataTo);
        if (automatic) {
            const int row = 7; // table row 8
            for (int k = 0; k < 3; ++k)
                expected[row * 3 + k] = 0x123456;
            expected[31 * 3 + 7] = 0x123456;
        }
        QCOMPARE(ColourSnapshot(), expected);
    }

    void resetThenApplyFromAll() {
        SetCtrlVal(ttpanel, TTP_EditNo, 12);
        PutTableRow(ttpanel, TTP_GridCtt, 3, {1000, 1100, 50, 800, 60, 300, 70});
        SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, 3), 2);
        InitGraphs();
        QVERIFY(GetGraphPlotCount(datapanel, DATAP_GraphData2) > 0);
        const QList<int> colours = ColourSnapshot();

        Click(ttpanel, TTP_ButtonResetTable);
        QCOMPARE(Val(ttpanel, TTP_EditNo), 0);
        for (int n = 1; n <= 31; ++n)
            QCOMPARE(TableRow(ttpanel, TTP_GridCtt, n), Row(7, 1));
        for (int graph : {DATAP_GraphData1, DATAP_GraphData2, DATAP_GraphData2__IntBar,
                          DATAP_GraphData2__GnBar})
            QCOMPARE(GetGraphPlotCount(datapanel, graph), 0);
        QCOMPARE(Cell(grouppanel, PGROUP_EditGridGroups, 1, 3), 2);
        QCOMPARE(ColourSnapshot(), colours);

        session::poll = 1;
        Click(ttpanel, TTP_ButtonApplyFromAll);
        QCOMPARE(session::poll, uint16_t(0));
        QCOMPARE(ctt[2][0], uint16_t(1));
        // The X + Y = 4095 line and three arcs per row.
        QCOMPARE(GetGraphPlotCount(datapanel, DATAP_GraphData1), 1 + 3 * 31);
    }

    // ---- tolerance sorting

    void sortingMovesEveryCellByMeaning_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<Row>("before");
        QTest::addColumn<Row>("after");
        // X 1000, Y 1100; INT 800, GN 300; CTO/TOL 50, ITO 60, GTO 70.
        const Row l01{50, 800, 60, 300, 70}, l23{800, 50, 300, 70, 1}, l45{300, 50, 800, 60, 1},
            l67{800, 300, 50, 1, 1};
        QTest::newRow("0 -> 2") << 0 << 2 << l01 << Row{800, 50, 300, 70, 1};
        QTest::newRow("0 -> 5") << 0 << 5 << l01 << Row{300, 50, 800, 60, 1};
        QTest::newRow("1 -> 6") << 1 << 6 << l01 << Row{800, 300, 50, 1, 1};
        QTest::newRow("2 -> 1") << 2 << 1 << l23 << Row{50, 800, 70, 300, 70};
        QTest::newRow("3 -> 4") << 3 << 4 << l23 << Row{300, 50, 800, 70, 1};
        QTest::newRow("2 -> 7") << 2 << 7 << l23 << Row{800, 300, 50, 1, 1};
        QTest::newRow("4 -> 0") << 4 << 0 << l45 << Row{50, 800, 60, 300, 60};
        QTest::newRow("5 -> 3") << 5 << 3 << l45 << Row{800, 50, 300, 60, 1};
        QTest::newRow("4 -> 6") << 4 << 6 << l45 << Row{800, 300, 50, 1, 1};
        QTest::newRow("6 -> 0") << 6 << 0 << l67 << Row{50, 800, 50, 300, 50};
        QTest::newRow("7 -> 2") << 7 << 2 << l67 << Row{800, 50, 300, 50, 1};
        QTest::newRow("6 -> 5") << 6 << 5 << l67 << Row{300, 50, 800, 50, 1};
        // Same layout: nothing moves.
        QTest::newRow("0 -> 1") << 0 << 1 << l01 << l01;
        QTest::newRow("3 -> 2") << 3 << 2 << l23 << l23;
        QTest::newRow("4 -> 5") << 4 << 5 << l45 << l45;
        QTest::newRow("7 -> 6") << 7 << 6 << l67 << l67;
    }
    void sortingMovesEveryCellByMeaning() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(Row, before);
        QFETCH(Row, after);
        Pick(parapanel, PARAP_Calcmode, from);
        const Row pair{1000, 1100};
        // The first and the last row: active or not, every row moves.
        PutTableRow(ttpanel, TTP_GridCtt, 1, pair + before);
        PutTableRow(ttpanel, TTP_GridCtt, 31, pair + before);
        for (int n = 1; n <= 31; ++n)
            SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), n % 5);
        const QList<int> groups = GroupColumn();
        const QList<int> colours = ColourSnapshot();

        Pick(parapanel, PARAP_Calcmode, to);

        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 1), pair + after);
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 31), pair + after);
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 2), Row(7, 1));
        QCOMPARE(GroupColumn(), groups);
        QCOMPARE(ColourSnapshot(), colours);
        // The sorted table is what the sensor works with now.
        QCOMPARE(comecho, uint16_t(1));
        const auto &ram = fixture::Sim().state().ramRows;
        QCOMPARE(Row(std::begin(ram[30]), std::begin(ram[30]) + 7), pair + after);
        QCOMPARE(ram[30][7], uint16_t(31 % 5));
    }

    void sortingRoundTripToCombinedModeAndBack() {
        PutTableRow(ttpanel, TTP_GridCtt, 9, {1000, 1100, 50, 800, 60, 300, 70});
        Pick(parapanel, PARAP_Calcmode, 6);
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 9), (Row{1000, 1100, 800, 300, 50, 1, 1}));
        Pick(parapanel, PARAP_Calcmode, 0);
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 9), (Row{1000, 1100, 50, 800, 50, 300, 50}));
    }

    // ---- against the simulated sensor

    void taughtFrameIsRecognisedAfterSend() {
        tsim::Simulator &sim = fixture::Sim();
        sim.setNoiseEnabled(true);
        sim.setTarget(3); // blue
        QVERIFY(TakeFrame());
        SetCtrlVal(ttpanel, TTP_EditNo, 2);
        Click(ttpanel, TTP_ButtonTeachDataTo);
        SendPara();
        QCOMPARE(comecho, uint16_t(1));

        for (int i = 0; i < 5; ++i) {
            QVERIFY(TakeFrame());
            QCOMPARE(dataColor, uint16_t(2));
            QCOMPARE(Val(datapanel, DATAP_DispCOL), 2);
        }
        sim.setTarget(1); // red is not taught
        QVERIFY(TakeFrame());
        QCOMPARE(dataColor, uint16_t(tsim::kNoVector));
    }

    void sixTargetsSurviveModeChanges() {
        tsim::Simulator &sim = fixture::Sim();
        sim.setNoiseEnabled(true);
        SetCtrlVal(parapanel, PARAP_EditMaxcolNo, 6);
        SetCtrlVal(ttpanel, TTP_EditNo, 0);
        for (int t = 0; t < 6; ++t) {
            sim.setTarget(t);
            QVERIFY(TakeFrame());
            Click(ttpanel, TTP_ButtonTeachDataTo);
        }
        SendPara();
        QCOMPARE(comecho, uint16_t(1));

        for (int mode : {0, 2, 4, 6, 0}) {
            if (mode != Val(parapanel, PARAP_Calcmode)) Pick(parapanel, PARAP_Calcmode, mode);
            QCOMPARE(comecho, uint16_t(1));
            QCOMPARE(sim.state().ramParams[tsim::PCalcmode], uint16_t(mode));
            for (int t = 0; t < 6; ++t) {
                sim.setTarget(t);
                for (int i = 0; i < 3; ++i) {
                    QVERIFY(TakeFrame());
                    QVERIFY2(dataColor == t, qPrintable(QString("mode %1, target %2: vector %3")
                                                            .arg(mode)
                                                            .arg(t)
                                                            .arg(dataColor)));
                }
            }
        }
    }

    // ---- colour groups

    void groupLimitPerOutmode_data() {
        QTest::addColumn<int>("outmode");
        QTest::addColumn<int>("group");
        QTest::addColumn<bool>("warns");
        QTest::newRow("BINARY 30") << 1 << 30 << false;
        QTest::newRow("DIRECT LO 4") << 0 << 4 << false;
        QTest::newRow("DIRECT LO 5") << 0 << 5 << true;
        QTest::newRow("DIRECT HI 30") << 2 << 30 << true;
    }
    void groupLimitPerOutmode() {
        QFETCH(int, outmode);
        QFETCH(int, group);
        QFETCH(bool, warns);
        SetCtrlVal(parapanel, PARAP_EditOutmode, outmode);
        if (warns) popupscript::Expect("INFO!");
        EditCell(grouppanel, PGROUP_EditGridGroups, 1, 4, group);
        SetCtrlVal(parapanel, PARAP_EditOutmode, 1);

        QCOMPARE(Shown(),
                 warns ? QStringList{QString("INFO!|") + InfoGroupsOutmode} : QStringList{});
        // The number stays as typed and goes to the sensor so.
        QCOMPARE(Cell(grouppanel, PGROUP_EditGridGroups, 1, 4), group);
        QCOMPARE(oldCell.x, 1);
        QCOMPARE(oldCell.y, 4);
        GetPanelValues();
        QCOMPARE(groupbuf[3], uint16_t(group));
    }

    void groupSwitch() {
        Toggle(grouppanel, PGROUP_EditColorGroups);
        QCOMPARE(colorgroup, uint16_t(1));
        QCOMPARE(Attr(datapanel, DATAP_DispGroup, ATTR_VISIBLE), 1);
        QVERIFY(!PanelVisible(grpbigpanel));

        DisplayPanel(grpbigpanel);
        Toggle(grouppanel, PGROUP_EditColorGroups);
        QCOMPARE(colorgroup, uint16_t(0));
        QCOMPARE(Attr(datapanel, DATAP_DispGroup, ATTR_VISIBLE), 0);
        QVERIFY(!PanelVisible(grpbigpanel));

        // Switching on with a group the DIRECT outputs cannot signal: the
        // whole table is checked and the group panel opens.
        SetCtrlVal(parapanel, PARAP_EditOutmode, 0);
        SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, 9), 7);
        ShowChildPanel(2);
        popupscript::Expect("INFO!");
        Toggle(grouppanel, PGROUP_EditColorGroups);
        SetCtrlVal(parapanel, PARAP_EditOutmode, 1);
        QCOMPARE(Shown(), QStringList{QString("INFO!|") + InfoGroupsOutmode});
        QVERIFY(PanelVisible(grouppanel));
        Toggle(grouppanel, PGROUP_EditColorGroups);
    }

    void resetGroupTableKeepsColours() {
        for (int n = 1; n <= 31; ++n)
            SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), 31 - n);
        tolvanearr[4] = 0x0A0B0C;
        ApplyRowColors();
        const QList<int> colours = ColourSnapshot();
        Click(grouppanel, PGROUP_ButtonResetGroupTable);
        QCOMPARE(GroupColumn(), QList<int>(31, 0));
        QCOMPARE(ColourSnapshot(), colours);
        QCOMPARE(Indicator(grouppanel, PGROUP_EditGridGroups, 2, 5), 0x0A0B0C);
    }
};

QTEST_MAIN(TestTeachTable)
#include "tst_teachtable.moc"
