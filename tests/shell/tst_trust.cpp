// What an operator must be able to trust: values from a loop that has ended
// look held and say of when they are, changes not sent are marked and never
// lost without a question, the teach table's button actions can be undone,
// and teaching takes every value from the one frame shown.
#include "teach/TeachTestUtil.h"

#include "core/Edits.h"
#include "core/LinkStatus.h"
#include "live/ShownCache.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"

#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>
#include <cmath>
#include <qcustomplot.h>

using namespace ptest;
using namespace ttest;

using fixture::Text;

namespace {
QString SendCaption() {
    auto *b = qobject_cast<QPushButton *>(CtrlWidget(mainpanel, MAINP_ButtonSend));
    return b ? b->text() : QString();
}

// Every value cell of the teach table, row by row.
QList<int> TableCells() {
    QList<int> s;
    for (int n = 1; n <= 31; ++n)
        s << TableRow(ttpanel, TTP_GridCtt, n);
    return s;
}

// A table where every row differs: what RESET TABLE would destroy.
void FillTaughtRows() {
    for (int n = 1; n <= 31; ++n)
        PutTableRow(ttpanel, TTP_GridCtt, n,
                    {1000 + n, 2000 + n, 30 + n, 400 + n, 50 + n, 600 + n, 70 + n});
}

// GO until STOP, as the operator does it: F11, STOP after some frames.
void GoThenStop() {
    QTimer::singleShot(400, [] { QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F12); });
    QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F11);
}

// What the GO loop saw at its last frame.
int greyedWhileLive = -1;
bool heldWhileLive = true;

enum Edit { kParamField, kParamRing, kTeachCell, kGroupCell, kGroupSwitch, kResetTable };
enum Replace { kGet, kGetFile, kTryToConnect, kClose };
enum Action { kResetAction, kTeachDataTo, kTeachToTable, kCalcmodeSort };
enum Marked { kRowText, kRowColour, kResetUndone, kCellTypedBack, kParamThenResetUndone };

// The operator types a text into a cell of a text table and presses Enter.
void EditTextCell(int panel, int control, int column, int row, const QString &text) {
    auto *table = qobject_cast<QTableWidget *>(CtrlWidget(panel, control));
    QVERIFY(table);
    table->setCurrentCell(row - 1, column - 1);
    table->editItem(table->item(row - 1, column - 1));
    auto *editor = table->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(text);
    QAbstractItemDelegate *delegate = table->itemDelegate();
    emit delegate->commitData(editor);
    emit delegate->closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

class TestTrust : public fixture::WindowSuite {
    Q_OBJECT

  private slots:
    void init() {
        FreshStart();
        SetCtrlVal(tapanel, TAP_EditSetColor, 0);
        SetCtrlVal(ttpanel, TTP_RadioInc, 0);
        ShowChildPanel(3);
    }

    // Runs first: the program is connected, but no frame has come yet.
    void blankBeforeFirstFrame() {
        QVERIFY(ValuesHeld());
        for (int control : {DATAP_DispCOL, DATAP_DispGroup, DATAP_DispX, DATAP_DispINT})
            QCOMPARE(Text(datapanel, control), QString());
        QCOMPARE(Text(colbigpanel, COLBIGP_DispBigCOL), QString());
        for (int control :
             {CALIBP_DispBars__R, CALIBP_DispBars__G, CALIBP_DispBars__B, CALIBP_DispRawDelta})
            QCOMPARE(Text(calibpanel, control), QString());
        QCOMPARE(Attr(datapanel, DATAP_DispCOL, ATTR_GREYED), 1);
        QVERIFY2(LinkStatusText().contains("no values yet"), qPrintable(LinkStatusText()));
    }

    void heldAfterStopWithItsTime() {
        greyedWhileLive = -1;
        heldWhileLive = true;
        pollFrameHook = [] {
            greyedWhileLive = Attr(datapanel, DATAP_DispX, ATTR_GREYED);
            heldWhileLive = ValuesHeld();
        };
        const uint64_t framesBefore = pollFrames;
        GoThenStop();
        pollFrameHook = nullptr;
        QCOMPARE(greyedWhileLive, 0);
        QVERIFY(!heldWhileLive);
        // The first GO: the RAW chart draws what was measured and nothing
        // for the history before it, no line at 0.
        auto *raw = qobject_cast<QCustomPlot *>(CtrlWidget(datapanel, DATAP_GraphRGB));
        QVERIFY(raw && raw->graphCount() == 6);
        if (pollFrames - framesBefore < 100) {
            for (int t = 0; t < raw->graphCount(); ++t) {
                const auto data = raw->graph(t)->data();
                // The point before the newest 100 may be of the last frame.
                QVERIFY(data->size() > 2);
                QVERIFY2(std::isnan((data->begin() + 1)->value), qPrintable(QString::number(t)));
                QVERIFY(!std::isnan((data->end() - 1)->value));
            }
        }

        QVERIFY(ValuesHeld());
        for (int control : {DATAP_DispX, DATAP_BarR, DATAP_GraphRGB})
            QCOMPARE(Attr(datapanel, control, ATTR_GREYED), 1);
        QVERIFY(!Text(datapanel, DATAP_DispCOL).isEmpty());
        const QString time = ShownFrameTime();
        QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(time).hasMatch(),
                 qPrintable(time));
        const qint64 age =
            QDateTime::fromMSecsSinceEpoch(shownFrame.msecs).secsTo(QDateTime::currentDateTime());
        QVERIFY(age >= 0 && age < 5);
        QVERIFY2(LinkStatusText().contains(QString("stopped \u2014 values of ") + time),
                 qPrintable(LinkStatusText()));

        // MANUAL RECORD keeps working on the held frame and says so.
        recFileName = JoinPath(fixture::ProgramDir(), "held.dat");
        Click(recpanel, RECP_ButtonManualRecord);
        QVERIFY2(LinkStatusText().contains("MANUAL RECORD wrote the held frame of " + time),
                 qPrintable(LinkStatusText()));
    }

    void editMarksUnsentUntilSend_data() {
        QTest::addColumn<int>("edit");
        QTest::newRow("AVERAGE typed") << int(kParamField);
        QTest::newRow("EVALMODE picked") << int(kParamRing);
        QTest::newRow("teach cell") << int(kTeachCell);
        QTest::newRow("group cell") << int(kGroupCell);
        QTest::newRow("group switch") << int(kGroupSwitch);
        QTest::newRow("RESET TABLE") << int(kResetTable);
    }
    void editMarksUnsentUntilSend() {
        QFETCH(int, edit);
        QVERIFY(!UnsentChanges());
        QCOMPARE(SendCaption(), QString("SEND"));
        switch (edit) {
        case kParamField:
            Enter(parapanel, PARAP_EditAverage, 12);
            break;
        case kParamRing:
            Pick(parapanel, PARAP_Evalmode, 2);
            break;
        case kTeachCell:
            EditCell(ttpanel, TTP_GridCtt, 3, 4, 321);
            break;
        case kGroupCell:
            EditCell(grouppanel, PGROUP_EditGridGroups, 1, 5, 2);
            break;
        case kGroupSwitch:
            Click(grouppanel, PGROUP_EditColorGroups);
            break;
        case kResetTable:
            // The sensor holds a taught row that RESET TABLE clears.
            PutTableRow(ttpanel, TTP_GridCtt, 1, {5, 5, 5, 5, 5, 5, 5});
            QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F9);
            Click(ttpanel, TTP_ButtonResetTable);
            break;
        }
        QVERIFY(UnsentChanges());
        QVERIFY2(LinkStatusText().contains("unsent changes"), qPrintable(LinkStatusText()));
        QCOMPARE(SendCaption(), QString("SEND *"));

        QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F9);
        QCOMPARE(comecho, uint16_t(1));
        QVERIFY(!UnsentChanges());
        QVERIFY(!LinkStatusText().contains("unsent"));
        QCOMPARE(SendCaption(), QString("SEND"));
    }

    // SEND * says what the next SEND changes in the sensor: the table
    // attributes never go there, and a table brought back to what was sent
    // (by Ctrl+Z or typed back) leaves nothing to send, unless something
    // else was edited meanwhile.
    void unsentFollowsWhatSendWrites_data() {
        QTest::addColumn<int>("edit");
        QTest::addColumn<bool>("unsent");
        QTest::newRow("row text") << int(kRowText) << false;
        QTest::newRow("row colour") << int(kRowColour) << false;
        QTest::newRow("RESET TABLE, Ctrl+Z") << int(kResetUndone) << false;
        QTest::newRow("teach cell typed back") << int(kCellTypedBack) << false;
        QTest::newRow("AVERAGE, RESET TABLE, Ctrl+Z") << int(kParamThenResetUndone) << true;
    }
    void unsentFollowsWhatSendWrites() {
        QFETCH(int, edit);
        QFETCH(bool, unsent);
        FillTaughtRows();
        QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F9);
        QCOMPARE(comecho, uint16_t(1));
        QVERIFY(!UnsentChanges());
        switch (edit) {
        case kRowText:
            EditTextCell(tapanel, TAP_GridSpec, 1, 3, "light grey, matt");
            break;
        case kRowColour:
            SetCtrlVal(tapanel, TAP_EditRow, 2);
            SetCtrlVal(tapanel, TAP_EditColorNumericRow, 0x00FF00);
            Click(tapanel, TAP_ButtonSetRowColor);
            break;
        case kCellTypedBack: {
            const int cell = Cell(ttpanel, TTP_GridCtt, 3, 4);
            EditCell(ttpanel, TTP_GridCtt, 3, 4, cell + 5);
            QCOMPARE(SendCaption(), QString("SEND *"));
            EditCell(ttpanel, TTP_GridCtt, 3, 4, cell);
            break;
        }
        case kParamThenResetUndone:
            Enter(parapanel, PARAP_EditAverage, Val(parapanel, PARAP_EditAverage) + 3);
            [[fallthrough]];
        case kResetUndone:
            Click(ttpanel, TTP_ButtonResetTable);
            QCOMPARE(SendCaption(), QString("SEND *"));
            QTest::keyClick(PanelWidget(mainpanel), Qt::Key_Z, Qt::ControlModifier);
            break;
        }
        QCOMPARE(UnsentChanges(), unsent);
        QCOMPARE(SendCaption(), QString(unsent ? "SEND *" : "SEND"));
        QCOMPARE(LinkStatusText().contains("unsent changes"), unsent);
    }

    // What replaces the panels asks first; No keeps everything as it was.
    void replacingAsksFirst_data() {
        QTest::addColumn<int>("what");
        QTest::addColumn<int>("answer");
        QTest::newRow("GET, no") << int(kGet) << 0;
        QTest::newRow("GET, yes") << int(kGet) << 1;
        QTest::newRow("GET from FILE, no") << int(kGetFile) << 0;
        QTest::newRow("TRY TO CONNECT, no") << int(kTryToConnect) << 0;
        QTest::newRow("TRY TO CONNECT, yes") << int(kTryToConnect) << 1;
        QTest::newRow("closing the window, no") << int(kClose) << 0;
    }
    void replacingAsksFirst() {
        QFETCH(int, what);
        QFETCH(int, answer);
        QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F9); // the sensor has the defaults
        const int sensorAverage = Val(parapanel, PARAP_EditAverage);
        Enter(parapanel, PARAP_EditAverage, sensorAverage + 7);
        QVERIFY(UnsentChanges());

        popupscript::Expect("ATTENTION!", answer);
        switch (what) {
        case kGet:
            QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F10);
            break;
        case kGetFile:
            SetMemorySelector(DATFILE);
            QTest::keyClick(PanelWidget(mainpanel), Qt::Key_F10);
            SetMemorySelector(RAM);
            break;
        case kTryToConnect:
            Click(interfacepanel, INTERFACEP_ButtonTryToConnect);
            break;
        case kClose:
            PanelWidget(mainpanel)->close();
            QVERIFY(!QuitRequested());
            break;
        }
        const QList<popupscript::Shown> &log = popupscript::Log();
        QVERIFY(!log.isEmpty());
        QCOMPARE(log.first().text, QString("Discard the changes not sent to the sensor?"));
        if (answer == 0) {
            QCOMPARE(Val(parapanel, PARAP_EditAverage), sensorAverage + 7);
            QVERIFY(UnsentChanges());
        } else {
            QCOMPARE(Val(parapanel, PARAP_EditAverage), sensorAverage);
            QVERIFY(!UnsentChanges());
        }
        ShowChildPanel(3);
    }

    void undoRestoresTable_data() {
        QTest::addColumn<int>("action");
        QTest::newRow("RESET TABLE") << int(kResetAction);
        QTest::newRow("TEACH DATA TO") << int(kTeachDataTo);
        QTest::newRow("mean-value TEACH TO TABLE") << int(kTeachToTable);
        QTest::newRow("CALCMODE re-sort") << int(kCalcmodeSort);
    }
    void undoRestoresTable() {
        QFETCH(int, action);
        FillTaughtRows();
        SetCtrlVal(ttpanel, TTP_EditNo, 4);
        const QList<int> before = TableCells();
        const int depth = TableUndoDepth();
        switch (action) {
        case kResetAction:
            Click(ttpanel, TTP_ButtonResetTable);
            break;
        case kTeachDataTo:
            QVERIFY(TakeFrame());
            Click(ttpanel, TTP_ButtonTeachDataTo);
            break;
        case kTeachToTable:
            SetCtrlVal(teachpanel, TEACHP_EditTpRowNo, 0);
            Click(teachpanel, TEACHP_ButtonTpTeachToTable);
            break;
        case kCalcmodeSort:
            Pick(parapanel, PARAP_Calcmode, 6);
            break;
        }
        QVERIFY(TableCells() != before);
        QCOMPARE(TableUndoDepth(), depth + 1);
        QCOMPARE(Attr(ttpanel, TTP_ButtonUndo, ATTR_DIMMED), 0);

        QTest::keyClick(PanelWidget(mainpanel), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(TableCells(), before);
        QCOMPARE(Val(ttpanel, TTP_EditNo), 4);
        // The cells come back with the mode whose layout they are in.
        QCOMPARE(Val(parapanel, PARAP_Calcmode), 0);
        // The restored table is what the next SEND writes.
        QCOMPARE(int(ctt[30][0]), 1031);
        QVERIFY(UnsentChanges());
    }

    // Several steps back, then nothing more to undo.
    void undoSeveralSteps() {
        while (TableUndoDepth() > 0) {
            TeachTableCopy dropped{};
            PopTableUndo(&dropped);
        }
        FillTaughtRows();
        const QList<int> taught = TableCells();
        QVERIFY(TakeFrame());
        Click(ttpanel, TTP_ButtonTeachDataTo);
        const QList<int> afterTeach = TableCells();
        Click(ttpanel, TTP_ButtonResetTable);
        Click(ttpanel, TTP_ButtonApplyFromAll); // changes nothing: no step
        QCOMPARE(TableUndoDepth(), 2);

        Click(ttpanel, TTP_ButtonUndo);
        QCOMPARE(TableCells(), afterTeach);
        QTest::keyClick(PanelWidget(mainpanel), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(TableCells(), taught);
        QCOMPARE(Attr(ttpanel, TTP_ButtonUndo, ATTR_DIMMED), 1);
        QTest::keyClick(PanelWidget(mainpanel), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(TableCells(), taught);
    }

    // The displays follow at most forty frames a second: a newer frame may
    // be decoded but not shown. TEACH DATA TO teaches the one shown, and
    // says of when it is and whether the sensor will check the row.
    void teachTakesTheFrameShown_data() {
        QTest::addColumn<int>("no");
        QTest::addColumn<int>("maxcol");
        QTest::addColumn<bool>("inactive");
        QTest::newRow("active row") << 3 << 8 << false;
        QTest::newRow("first row beyond MAXCOL-No.") << 8 << 8 << true;
        QTest::newRow("row 12, MAXCOL-No. 8") << 12 << 8 << true;
    }
    void teachTakesTheFrameShown() {
        QFETCH(int, no);
        QFETCH(int, maxcol);
        QFETCH(bool, inactive);
        Enter(parapanel, PARAP_EditMaxcolNo, maxcol);
        fixture::Sim().setTarget(1);
        QVERIFY(TakeFrame());
        const Row shownValues{dataX, dataY, dataInt, dataGn};
        fixture::Sim().setTarget(3);
        QVERIFY(ReceiveFrame()); // decoded, not shown
        QVERIFY(dataInt != shownValues[2] || dataX != shownValues[0]);

        SetCtrlVal(ttpanel, TTP_EditNo, no);
        Click(ttpanel, TTP_ButtonTeachDataTo);
        const Row taught = TableRow(ttpanel, TTP_GridCtt, no + 1);
        QCOMPARE((Row{taught[0], taught[1], taught[3], taught[5]}), shownValues);
        const QString status = LinkStatusText();
        QVERIFY2(
            status.contains(
                QString("row %1 taught from the held frame of %2").arg(no).arg(ShownFrameTime())),
            qPrintable(status));
        QCOMPARE(status.contains(QString("row %1 lies beyond MAXCOL-No. %2").arg(no).arg(maxcol)),
                 inactive);
    }

    void noMatchIsNamed() {
        dataColor = 255;
        ShowPanelData();
        const QString note = "no taught colour matches (error state)";
        QVERIFY(LinkStatusText().contains(note));
        QWidget *vno = CtrlWidget(datapanel, DATAP_DispCOL);
        QVERIFY(vno->toolTip().contains(note));
        dataColor = 3;
        ShowPanelData();
        QVERIFY(!LinkStatusText().contains(note));
        QVERIFY(!vno->toolTip().contains(note));
    }
};

QTEST_MAIN(TestTrust)
#include "tst_trust.moc"
