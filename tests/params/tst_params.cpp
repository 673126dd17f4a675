// The parameter panel, the memory selector and the operating modes, on the
// real panels; the calculation-mode change against the simulated sensor.
#include "ParamsTestUtil.h"
#include "core/Session.h"
#include "core/Ui.h"

#include "core/HelpTexts.h"
#include "link/Link.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"

#include <QRandomGenerator>
#include <QTableWidget>

using namespace ptest;

namespace {
constexpr int kGreen = 0x008000;
constexpr int kRed = 0xFF0000;

int Lit(int control) {
    return Val(mainpanel, control);
}

// The memory buttons as digits RAM, EEPROM, FILE: 100 is RAM alone.
int LitPattern() {
    return Lit(MAINP_SelectRAM) * 100 + Lit(MAINP_SelectEEPROM) * 10 + Lit(MAINP_SelectFILE);
}

uint16_t WordOf(const QByteArray &telegram, int word) {
    return uint16_t((uint8_t(telegram[2 * word]) << 8) | uint8_t(telegram[2 * word + 1]));
}
} // namespace

class TestParams : public fixture::WindowSuite {
    Q_OBJECT

  private slots:
    void init() { FreshStart(); }

    void memorySelectorClicks() {
        // Clicking the lit RAM button keeps RAM.
        Click(mainpanel, MAINP_SelectRAM);
        QCOMPARE(target, uint16_t(RAM));
        QCOMPARE(LitPattern(), 100);

        Click(mainpanel, MAINP_SelectFILE);
        QCOMPARE(target, uint16_t(DATFILE));
        Click(mainpanel, MAINP_SelectEEPROM);
        QCOMPARE(target, uint16_t(EEPROM));
        QCOMPARE(LitPattern(), 10);
        Click(mainpanel, MAINP_SelectEEPROM); // the lit one again
        QCOMPARE(target, uint16_t(RAM));
        QCOMPARE(LitPattern(), 100);

        Click(mainpanel, MAINP_SelectFILE);
        Click(mainpanel, MAINP_SelectFILE);
        QCOMPARE(target, uint16_t(RAM));
        QCOMPARE(LitPattern(), 100);
    }

    void memorySelectorRandomClicks() {
        const int buttons[3] = {MAINP_SelectRAM, MAINP_SelectEEPROM, MAINP_SelectFILE};
        QRandomGenerator rng(20240611);
        for (int i = 0; i < 300; ++i) {
            const int b = rng.bounded(3);
            // Clicking the lit button falls back to RAM; any other becomes the target.
            const int expected = Lit(buttons[b]) ? RAM : b + 1;
            Click(mainpanel, buttons[b]);
            QCOMPARE(int(target), expected);
            for (int k = 0; k < 3; ++k)
                QCOMPARE(Lit(buttons[k]), int(k + 1 == expected));
        }
    }

    void panelValuesRoundTrip() {
        // Distinct values everywhere, so that two swapped controls show.
        const int values[13][2] = {{PARAP_SlidePower, 777},
                                   {PARAP_EditPmode, 1},
                                   {PARAP_EditAverage, 33},
                                   {PARAP_Evalmode, 1},
                                   {PARAP_EditHold, 44},
                                   {PARAP_EditIntlim, 55},
                                   {PARAP_EditMaxcolNo, 4},
                                   {PARAP_EditOutmode, 2},
                                   {PARAP_EditTrigger, 4},
                                   {PARAP_EditExteach, 0},
                                   {PARAP_Calcmode, 5},
                                   {PARAP_EditDynWinLoHi__Lo, 111},
                                   {PARAP_EditDynWinLoHi__Hi, 2222}};
        for (const auto &v : values)
            QCOMPARE(SetCtrlVal(parapanel, v[0], v[1]), 0);
        SetCtrlVal(grouppanel, PGROUP_EditColorGroups, 1);
        for (int n = 1; n <= 31; ++n) {
            SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), n % 7);
            for (int c = 1; c <= 7; ++c)
                SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, n), 1000 * c + n);
        }
        const QList<int> before = PanelSnapshot();

        GetPanelValues();
        const QList<int> read{power,   pmode,   average, evalmode, hold,     intlim,  maxcolno,
                              outmode, trigger, exteach, calcmode, dynwinlo, dynwinhi};
        QCOMPARE(read, (QList<int>{777, 1, 33, 1, 44, 55, 4, 2, 4, 0, 5, 111, 2222}));
        QCOMPARE(colorgroup, uint16_t(1));
        QCOMPARE(int(groupbuf[9]), 10 % 7);
        QCOMPARE(int(ctt[30][6]), 7031);
        QCOMPARE(int(ctt[0][2]), 3001);

        SetPanelValues();
        QCOMPARE(PanelSnapshot(), before);
    }

    void powerModeDyn() {
        Enter(parapanel, PARAP_EditIntlim, 300);
        Pick(parapanel, PARAP_EditPmode, 1);
        QCOMPARE(Val(parapanel, PARAP_EditIntlim), 0);
        QCOMPARE(Attr(parapanel, PARAP_EditIntlim, ATTR_DIMMED), 1);
        QCOMPARE(Attr(parapanel, PARAP_SlidePower, ATTR_DIMMED), 1);
        QCOMPARE(Attr(parapanel, PARAP_EditDynWinLoHi__Lo, ATTR_DIMMED), 0);

        Pick(parapanel, PARAP_EditPmode, 0);
        QCOMPARE(Attr(parapanel, PARAP_EditIntlim, ATTR_DIMMED), 0);
        QCOMPARE(Val(parapanel, PARAP_EditIntlim), 0);
        QCOMPARE(Attr(parapanel, PARAP_SlidePower, ATTR_DIMMED), 0);
        QCOMPARE(Attr(parapanel, PARAP_EditDynWinLoHi__Hi, ATTR_DIMMED), 1);
    }

    void externalTeach_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("items");
        QTest::addColumn<int>("pmodeValue");
        QTest::addColumn<int>("pmodeDimmed");
        QTest::addColumn<int>("powerDimmed");
        QTest::addColumn<int>("dynWinDimmed");
        // Starting from PMODE DYN and TRIGGER EXT2.
        QTest::newRow("OFF") << 0 << 6 << 1 << 0 << 1 << 0;
        QTest::newRow("ON") << 1 << 2 << 1 << 0 << 1 << 0;
        QTest::newRow("STAT1") << 2 << 2 << 0 << 1 << 0 << 1;
        QTest::newRow("DYN1") << 3 << 2 << 0 << 1 << 1 << 0;
    }

    void externalTeach() {
        QFETCH(int, mode);
        Pick(parapanel, PARAP_EditPmode, 1);
        Pick(parapanel, PARAP_EditTrigger, 3);
        SetCtrlVal(parapanel, PARAP_EditExteach, 0); // the trigger dimmed and reset it
        SetCtrlAttribute(parapanel, PARAP_EditExteach, ATTR_DIMMED, 0);

        Pick(parapanel, PARAP_EditExteach, mode);
        QTEST(Items(parapanel, PARAP_EditTrigger), "items");
        QCOMPARE(Val(parapanel, PARAP_EditTrigger), mode == 0 ? 3 : 0);
        QTEST(Val(parapanel, PARAP_EditPmode), "pmodeValue");
        QTEST(Attr(parapanel, PARAP_EditPmode, ATTR_DIMMED), "pmodeDimmed");
        QTEST(Attr(parapanel, PARAP_SlidePower, ATTR_DIMMED), "powerDimmed");
        QTEST(Attr(parapanel, PARAP_EditDynWinLoHi__Lo, ATTR_DIMMED), "dynWinDimmed");

        // Back to OFF brings the external triggers back, once.
        Pick(parapanel, PARAP_EditExteach, 0);
        Pick(parapanel, PARAP_EditExteach, 0);
        QCOMPARE(Items(parapanel, PARAP_EditTrigger), 6);
        QCOMPARE(Val(parapanel, PARAP_EditTrigger), mode == 0 ? 3 : 0);
    }

    void triggerForbidsExternalTeach_data() {
        QTest::addColumn<int>("trigger");
        QTest::addColumn<int>("exteachDimmed");
        QTest::addColumn<int>("ledVisible");
        QTest::newRow("CONT") << 0 << 0 << 0;
        QTest::newRow("SELF") << 1 << 0 << 1;
        QTest::newRow("EXT1") << 2 << 1 << 1;
        QTest::newRow("EXT4") << 5 << 1 << 1;
    }

    void triggerForbidsExternalTeach() {
        QFETCH(int, trigger);
        SetCtrlVal(parapanel, PARAP_EditExteach, 1);
        Pick(parapanel, PARAP_EditTrigger, trigger);
        QTEST(Attr(parapanel, PARAP_EditExteach, ATTR_DIMMED), "exteachDimmed");
        QTEST(Attr(datapanel, DATAP_LedTrig, ATTR_VISIBLE), "ledVisible");
        QCOMPARE(Val(parapanel, PARAP_EditExteach), trigger > 1 ? 0 : 1);
        // Back to SELF: EXTEACH open again, but it stays where the trigger put it.
        Pick(parapanel, PARAP_EditTrigger, 1);
        QCOMPARE(Attr(parapanel, PARAP_EditExteach, ATTR_DIMMED), 0);
        QCOMPARE(Val(parapanel, PARAP_EditExteach), trigger > 1 ? 0 : 1);
    }

    void maxcolWarning_data() {
        QTest::addColumn<int>("maxcol");
        QTest::addColumn<int>("outmodeValue");
        QTest::addColumn<int>("groups");
        QTest::addColumn<bool>("warned");
        QTest::newRow("6 DIRECT LO") << 6 << 0 << 0 << true;
        QTest::newRow("31 DIRECT HI") << 31 << 2 << 0 << true;
        QTest::newRow("5 DIRECT LO") << 5 << 0 << 0 << false;
        QTest::newRow("6 BINARY") << 6 << 1 << 0 << false;
        QTest::newRow("31 BINARY") << 31 << 1 << 0 << false;
        QTest::newRow("6 DIRECT LO, groups on") << 6 << 0 << 1 << false;
    }

    void maxcolWarning() {
        QFETCH(int, maxcol);
        QFETCH(int, outmodeValue);
        QFETCH(int, groups);
        QFETCH(bool, warned);
        SetCtrlVal(parapanel, PARAP_EditOutmode, outmodeValue);
        SetCtrlVal(grouppanel, PGROUP_EditColorGroups, groups);
        if (warned) popupscript::Expect("INFO!");
        Enter(parapanel, PARAP_EditMaxcolNo, maxcol);
        QCOMPARE(popupscript::Log().size(), warned ? 1 : 0);
        if (warned) QCOMPARE(popupscript::Log()[0].text, QString(InfoMaxColNo));
        QCOMPARE(Val(parapanel, PARAP_EditMaxcolNo), maxcol);
    }

    void groupWarning_data() {
        QTest::addColumn<int>("highestGroup");
        QTest::addColumn<bool>("warned");
        QTest::newRow("group 5") << 5 << true;
        QTest::newRow("groups up to 4") << 4 << false;
    }

    void groupWarning() {
        QFETCH(int, highestGroup);
        QFETCH(bool, warned);
        ShowChildPanel(2);
        SetCtrlVal(grouppanel, PGROUP_EditColorGroups, 1);
        for (int n = 1; n <= 31; ++n)
            SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), n % 5);
        SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, 12), highestGroup);
        SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, 20), highestGroup);
        if (warned) popupscript::Expect("INFO!");
        Pick(parapanel, PARAP_EditOutmode, 2);
        QCOMPARE(popupscript::Log().size(), warned ? 1 : 0);
        if (warned) QCOMPARE(popupscript::Log()[0].text, QString(InfoGroupsOutmode));
        int shown = -1;
        GetPanelAttribute(grouppanel, ATTR_VISIBLE, &shown);
        QCOMPARE(shown, int(warned));
        QCOMPARE(Cell(grouppanel, PGROUP_EditGridGroups, 1, 12), highestGroup);
    }

    void rowLabelColours_data() {
        QTest::addColumn<int>("maxcol");
        QTest::newRow("0") << 0;
        QTest::newRow("7") << 7;
        QTest::newRow("31") << 31;
    }

    void rowLabelColours() {
        QFETCH(int, maxcol);
        Enter(parapanel, PARAP_EditMaxcolNo, maxcol);
        const int tables[3][2] = {
            {ttpanel, TTP_GridCtt}, {grouppanel, PGROUP_EditGridGroups}, {tapanel, TAP_GridSpec}};
        for (const auto &t : tables) {
            for (int n = 1; n <= 31; ++n) {
                int colour = -1;
                GetTableRowAttribute(t[0], t[1], n, ATTR_LABEL_COLOR, &colour);
                QCOMPARE(colour, n <= maxcol ? kGreen : kRed);
            }
        }
    }

    void evaluationModeBinaryOut() {
        SetCtrlVal(parapanel, PARAP_EditOutmode, 0);
        SetCtrlVal(grouppanel, PGROUP_EditColorGroups, 1);
        SetCtrlVal(parapanel, PARAP_EditMaxcolNo, 9);
        Pick(parapanel, PARAP_Evalmode, 3);
        QCOMPARE(Val(parapanel, PARAP_EditMaxcolNo), 5);
        QCOMPARE(Val(parapanel, PARAP_EditOutmode), 1);
        QCOMPARE(Attr(parapanel, PARAP_EditMaxcolNo, ATTR_DIMMED), 1);
        QCOMPARE(Attr(parapanel, PARAP_EditOutmode, ATTR_DIMMED), 1);
        QCOMPARE(Val(grouppanel, PGROUP_EditColorGroups), 0);
        QCOMPARE(Attr(mainpanel, MAINP_ButtonColorGroups, ATTR_VISIBLE), 0);
        QCOMPARE(Attr(datapanel, DATAP_DispCOL, ATTR_VISIBLE), 0);
        QCOMPARE(Attr(datapanel, DATAP_Lamp16, ATTR_VISIBLE), 1);
        QCOMPARE(Attr(datapanel, DATAP_Lamp1, ATTR_VISIBLE), 1);

        Pick(parapanel, PARAP_Evalmode, 0);
        QCOMPARE(Attr(parapanel, PARAP_EditMaxcolNo, ATTR_DIMMED), 0);
        QCOMPARE(Attr(parapanel, PARAP_EditOutmode, ATTR_DIMMED), 0);
        QCOMPARE(Val(parapanel, PARAP_EditMaxcolNo), 5);
        QCOMPARE(Val(parapanel, PARAP_EditOutmode), 1);
        QCOMPARE(Attr(mainpanel, MAINP_ButtonColorGroups, ATTR_VISIBLE), 1);
        QCOMPARE(Attr(datapanel, DATAP_DispCOL, ATTR_VISIBLE), 1);
        QCOMPARE(Attr(datapanel, DATAP_Lamp8, ATTR_VISIBLE), 0);
    }

    void fixedToleranceColumn_data() {
        QTest::addColumn<int>("calc");
        QTest::addColumn<int>("evalMode");
        QTest::addColumn<int>("locked"); // 0: none
        for (int calc = 0; calc <= 7; ++calc)
            QTest::addRow("calcmode %d", calc) << calc << 2 << (calc < 2 ? 3 : calc < 6 ? 4 : 5);
        QTest::newRow("evalmode 1") << 4 << 1 << 0;
    }

    void fixedToleranceColumn() {
        QFETCH(int, calc);
        QFETCH(int, evalMode);
        QFETCH(int, locked);
        // Lock some other column first, so that a missing unlock shows.
        SetCtrlVal(parapanel, PARAP_Calcmode, calc < 2 ? 6 : 0);
        Pick(parapanel, PARAP_Evalmode, 2);
        SetCtrlVal(parapanel, PARAP_Calcmode, calc);
        Pick(parapanel, PARAP_Evalmode, evalMode);

        int normal = -1;
        GetTableCellAttribute(ttpanel, TTP_GridCtt, MakePoint(1, 1), ATTR_TEXT_BGCOLOR, &normal);
        for (int c = 3; c <= 5; ++c) {
            for (int row : {1, 31}) {
                int mode = -1, colour = -1;
                GetTableCellAttribute(ttpanel, TTP_GridCtt, MakePoint(c, row), ATTR_CELL_MODE,
                                      &mode);
                GetTableCellAttribute(ttpanel, TTP_GridCtt, MakePoint(c, row), ATTR_TEXT_BGCOLOR,
                                      &colour);
                QCOMPARE(mode, c == locked ? VAL_INDICATOR : VAL_HOT);
                QCOMPARE(colour != normal, c == locked);
            }
        }
    }

    void calcModeLabels_data() {
        QTest::addColumn<int>("calc");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QStringList>("sources"); // SOURCE items 1, 2 and 4
        QTest::newRow("0") << 0 << QStringList{"X", "Y", "CTO", "INT", "ITO", "GN", "GTO"}
                           << QStringList{"X/Y", "INT", "X/Y INT GN"};
        QTest::newRow("1") << 1 << QStringList{"s", "i", "siTO", "M", "MTO", "GN", "GTO"}
                           << QStringList{"s/i", "M", "s/i M GN"};
        QTest::newRow("2") << 2 << QStringList{"X", "Y", "INT", "TOL", "GN", "GTO", ""}
                           << QStringList{"X/Y", "INT", "X/Y/INT GN"};
        QTest::newRow("3") << 3 << QStringList{"s", "i", "M", "TOL", "GN", "GTO", ""}
                           << QStringList{"s/i", "M", "s/i/M GN"};
        QTest::newRow("4") << 4 << QStringList{"X", "Y", "GN", "TOL", "INT", "ITO", ""}
                           << QStringList{"X/Y", "INT", "X/Y/GN INT"};
        QTest::newRow("5") << 5 << QStringList{"s", "i", "GN", "TOL", "M", "MTO", ""}
                           << QStringList{"s/i", "M", "s/i/GN M"};
        QTest::newRow("6") << 6 << QStringList{"X", "Y", "INT", "GN", "TOL", "", ""}
                           << QStringList{"X/Y", "INT", "X/Y/INT/GN"};
        // Mode 7's item 4 reads as mode 3's.
        QTest::newRow("7") << 7 << QStringList{"s", "i", "M", "GN", "TOL", "", ""}
                           << QStringList{"s/i", "M", "s/i/M GN"};
    }

    void calcModeLabels() {
        QFETCH(int, calc);
        QFETCH(QStringList, columns);
        QFETCH(QStringList, sources);
        // Scribble first, so that a label the mode leaves alone shows.
        for (int c = 1; c <= 7; ++c)
            SetTableColumnAttribute(ttpanel, TTP_GridCtt, c, ATTR_LABEL_TEXT, "?");
        const int positions[3] = {1, 2, 4};
        for (int pos : positions)
            ReplaceListItem(datapanel, DATAP_SelectSource, pos, "?", pos);
        SetCtrlVal(parapanel, PARAP_Calcmode, calc);
        InitCalcMode();

        auto *table = qobject_cast<QTableWidget *>(CtrlWidget(ttpanel, TTP_GridCtt));
        QVERIFY(table);
        QStringList shownColumns;
        for (int c = 0; c < 7; ++c)
            shownColumns << table->horizontalHeaderItem(c)->text();
        QCOMPARE(shownColumns, columns);
        auto *source = qobject_cast<QComboBox *>(CtrlWidget(datapanel, DATAP_SelectSource));
        QVERIFY(source);
        QStringList shownSources;
        for (int pos : positions) {
            shownSources << source->itemText(pos);
            int value = -1;
            GetValueFromIndex(datapanel, DATAP_SelectSource, pos, &value);
            QCOMPARE(value, pos);
        }
        QCOMPARE(shownSources, sources);
    }

    void displayNames_data() {
        QTest::addColumn<int>("calc");
        QTest::addColumn<QStringList>("labels"); // X, Y and INT displays
        QTest::addColumn<QList<int>>("colours"); // X background, second; Y background, second
        QTest::addColumn<QList<int>>("axes");    // x axis max, y axis max; both from 0
        const QStringList xy{"X", "Y", "INT"};
        const QStringList si{"s", "i", "M"};
        const QList<int> xyColours{0xFF0000, 0xE0E0E0, 0x00FF00, 0xE0E0E0};
        const QList<int> siColours{0xFF0000, 0x00FF00, 0xFFFF00, 0x80FFFF};
        for (int calc = 0; calc <= 7; ++calc) {
            const bool even = calc % 2 == 0;
            QTest::addRow("%d", calc) << calc << (even ? xy : si) << (even ? xyColours : siColours)
                                      << (even ? QList<int>{4096, 4096} : QList<int>{10000, 4000});
        }
    }

    void displayNames() {
        QFETCH(int, calc);
        QFETCH(QStringList, labels);
        QFETCH(QList<int>, colours);
        QFETCH(QList<int>, axes);
        const int displays[3] = {DATAP_DispX, DATAP_DispY, DATAP_DispINT};
        for (int d : displays) {
            SetCtrlAttribute(datapanel, d, ATTR_LABEL_TEXT, "?");
            SetCtrlAttribute(datapanel, d, ATTR_TEXT_BGCOLOR, 0x123456);
            SetCtrlAttribute(datapanel, d, ATTR_FRAME_COLOR, 0x123456);
        }
        for (int axis : {VAL_XAXIS, VAL_LEFT_YAXIS})
            SetAxisScalingMode(datapanel, DATAP_GraphData1, axis, VAL_AUTOSCALE, 1, 2);
        SetCtrlVal(parapanel, PARAP_Calcmode, calc);
        SetDispNames();

        QStringList shownLabels;
        for (int d : displays) {
            QString label;
            GetCtrlAttribute(datapanel, d, ATTR_LABEL_TEXT, &label);
            shownLabels << label;
        }
        QCOMPARE(shownLabels, labels);
        QCOMPARE((QList<int>{Attr(datapanel, DATAP_DispX, ATTR_TEXT_BGCOLOR),
                             Attr(datapanel, DATAP_DispX, ATTR_FRAME_COLOR),
                             Attr(datapanel, DATAP_DispY, ATTR_TEXT_BGCOLOR),
                             Attr(datapanel, DATAP_DispY, ATTR_FRAME_COLOR)}),
                 colours);
        QList<int> shownAxes;
        for (int axis : {VAL_XAXIS, VAL_LEFT_YAXIS}) {
            int mode = -1;
            double min = -1, max = -1;
            GetAxisScalingMode(datapanel, DATAP_GraphData1, axis, &mode, &min, &max);
            QCOMPARE(mode, int(VAL_MANUAL));
            QCOMPARE(min, 0.0);
            shownAxes << int(max);
        }
        QCOMPARE(shownAxes, axes);
    }

    void loadKeepsTriggerUnderExternalTeach() {
        // The panel shows CONT; the loaded set has external teach with SELF.
        exteach = 1;
        trigger = 1;
        RefreshAfterLoad();
        QCOMPARE(Val(parapanel, PARAP_EditTrigger), 1);
        QCOMPARE(Items(parapanel, PARAP_EditTrigger), 2);
        QCOMPARE(Val(parapanel, PARAP_EditExteach), 1);
    }

    void loadShowsExternalTeachWithExternalTrigger() {
        exteach = 2;
        trigger = 4;
        popupscript::Expect("ATTENTION!");
        RefreshAfterLoad();
        QCOMPARE(Val(parapanel, PARAP_EditExteach), 2);
        QCOMPARE(Items(parapanel, PARAP_EditTrigger), 6);
        QCOMPARE(Val(parapanel, PARAP_EditTrigger), 4);
        QVERIFY(popupscript::Log().value(0).text.contains("EXT3"));
        // Sent back as loaded.
        GetPanelValues();
        QCOMPARE(exteach, uint16_t(2));
        QCOMPARE(trigger, uint16_t(4));
    }

    void calcModeChangeSendsToRam() {
        tsim::Simulator &sim = fixture::Sim();
        for (int n = 1; n <= 31; ++n)
            SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(1, n), 100 + n);
        Click(mainpanel, MAINP_SelectFILE);
        QCOMPARE(target, uint16_t(DATFILE));
        sim.clearRequests();

        Pick(parapanel, PARAP_Calcmode, 1); // same layout: the table stays as it is

        const QList<QByteArray> requests = sim.requests();
        QCOMPARE(requests.size(), 32);
        QCOMPARE(WordOf(requests[0], 1), uint16_t(1));
        QCOMPARE(WordOf(requests[0], 2 + 10), uint16_t(1));
        for (int i = 1; i < 32; ++i)
            QCOMPARE(WordOf(requests[i], 1), uint16_t(2));
        QCOMPARE(sim.state().ramParams[10], uint16_t(1));
        QCOMPARE(sim.state().ramRows[30][0], uint16_t(131));
        QCOMPARE(target, uint16_t(RAM));
        QCOMPARE(LitPattern(), 100);
        QCOMPARE(Attr(parapanel, PARAP_Calcmode, ATTR_DIMMED), 0);
        QCOMPARE(calcmode, uint16_t(1));
    }

    void calcModeChangeSortsFromShownLayout() {
        const int row[7] = {1000, 1100, 50, 800, 60, 300, 70};
        auto putRow = [&] {
            for (int c = 1; c <= 7; ++c)
                SetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, 1), row[c - 1]);
        };
        auto shownRow = [] {
            QList<int> r;
            for (int c = 1; c <= 7; ++c)
                r << Cell(ttpanel, TTP_GridCtt, c, 1);
            return r;
        };
        putRow();
        Pick(parapanel, PARAP_Calcmode, 2);
        QCOMPARE(shownRow(), (QList<int>{1000, 1100, 800, 50, 300, 70, 1}));
        Pick(parapanel, PARAP_Calcmode, 0);

        // A read that broke off after the parameter telegram leaves `calcmode`
        // at the sensor's mode while the table still shows mode 0's layout.
        putRow();
        calcmode = 6;
        Pick(parapanel, PARAP_Calcmode, 6);
        QCOMPARE(shownRow(), (QList<int>{1000, 1100, 800, 300, 50, 1, 1}));
    }
};

QTEST_MAIN(TestParams)
#include "tst_params.moc"
