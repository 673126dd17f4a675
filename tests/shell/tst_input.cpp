// Typed values are never changed in silence: every numeric field and table
// cell of every panel refuses what it cannot hold, keeps its value, is marked
// and names its range in the tooltip and the status line.
#include "core/Session.h"
#include "platform/Introspect.h"
#include "platform/Platform.h"
#include "support/AppFixture.h"
#include "support/WindowSuite.h"
#include "uir_ids.h"

#include <QLineEdit>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

using fixture::Text;
using fixture::Type;

namespace {
QString LinkLine() {
    return Text(datapanel, DATAP_DispLink);
}
} // namespace

class TstInput : public fixture::WindowSuite {
    Q_OBJECT
  private slots:
    void initTestCase() { QVERIFY(fixture::StartProgram()); }
    void cleanup() { fixture::CheckNoUnexpectedPopups(); }

    void typedValueRefused_data() {
        QTest::addColumn<int *>("panel");
        QTest::addColumn<int>("control");
        QTest::addColumn<QPoint>("cell"); // (column, row) from 1; null for a field
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("range");
        const QPoint field;
        struct Row {
            const char *name;
            int *panel;
            int control;
            QPoint cell;
            const char *typed;
            const char *range;
        };
        const Row rows[] = {
            {"AVERAGE fraction", &parapanel, PARAP_EditAverage, field, "12.5",
             "AVERAGE takes whole numbers 0..65535"},
            {"AVERAGE too big", &parapanel, PARAP_EditAverage, field, "70000",
             "AVERAGE takes whole numbers 0..65535"},
            {"AVERAGE sign", &parapanel, PARAP_EditAverage, field, "-5",
             "AVERAGE takes whole numbers 0..65535"},
            {"POWER too big", &parapanel, PARAP_EditPower, field, "1001",
             "POWER takes whole numbers 0..1000"},
            {"HOLD plus", &parapanel, PARAP_EditHold, field, "+3",
             "HOLD takes whole numbers 0..65535"},
            {"INTLIM letters", &parapanel, PARAP_EditIntlim, field, "abc",
             "INTLIM takes whole numbers 0..65535"},
            {"MAXCOL-No.", &parapanel, PARAP_EditMaxcolNo, field, "32",
             "MAXCOL-No. takes whole numbers 0..31"},
            {"DYN WIN LO", &parapanel, PARAP_EditDynWinLoHi__Lo, field, "1e3",
             "DYN WIN LO takes whole numbers 0..65535"},
            {"DYN WIN HI", &parapanel, PARAP_EditDynWinLoHi__Hi, field, "65536",
             "DYN WIN HI takes whole numbers 0..65535"},
            {"SET VALUE", &calibpanel, CALIBP_EditSetValue, field, "4000.5",
             "SET VALUE takes whole numbers 0..65535"},
            {"MAXIMUM DELTA", &calibpanel, CALIBP_EditMaxDelta, field, "-1",
             "MAXIMUM DELTA takes whole numbers 0..65535"},
            {"CF RED", &calibpanel, CALIBP_EditCFR, field, "99999",
             "CF RED takes whole numbers 0..65535"},
            {"CF GREEN", &calibpanel, CALIBP_EditCFG, field, "1,5",
             "CF GREEN takes whole numbers 0..65535"},
            {"CF BLUE", &calibpanel, CALIBP_EditCFB, field, "x",
             "CF BLUE takes whole numbers 0..65535"},
            {"INTERVAL", &recpanel, RECP_EditInterval, field, "0",
             "INTERVAL [s] takes whole numbers 1..65535"},
            {"VALUES", &recpanel, RECP_EditRecVal, field, "70000",
             "VALUES takes whole numbers 1..65535"},
            {"ROW", &tapanel, TAP_EditRow, field, "31", "ROW takes whole numbers 0..30"},
            {"COLOR", &tapanel, TAP_EditColorNumericRow, field, "1000000",
             "COLOR takes 0x0..0xffffff"},
            {"VALUE CTO", &teachpanel, TEACHP_EditTpValueCto, field, "99999",
             "VALUE CTO takes whole numbers 0..65535"},
            {"VALUE ITO", &teachpanel, TEACHP_EditTpValueIto, field, "2.5",
             "VALUE ITO takes whole numbers 0..65535"},
            {"VALUE GTO", &teachpanel, TEACHP_EditTpValueGto, field, "-2",
             "VALUE GTO takes whole numbers 0..65535"},
            {"mean-value ROW No.", &teachpanel, TEACHP_EditTpRowNo, field, "31",
             "ROW No. takes whole numbers 0..30"},
            {"TEACH DATA TO", &ttpanel, TTP_EditNo, field, "40",
             "TEACH DATA TO No. takes whole numbers 0..30"},
            {"TCP PORT letters", &interfacepanel, INTERFACEP_StringPortNumber, field, "abc",
             "PORT takes whole numbers 1..65535"},
            {"TCP PORT 0", &interfacepanel, INTERFACEP_StringPortNumber, field, "0",
             "PORT takes whole numbers 1..65535"},
            {"teach cell", &ttpanel, TTP_GridCtt, QPoint(1, 5), "99999",
             "X, row 4 takes whole numbers 0..65535"},
            {"teach cell fraction", &ttpanel, TTP_GridCtt, QPoint(3, 1), "1.5",
             "CTO, row 0 takes whole numbers 0..65535"},
            {"group cell", &grouppanel, PGROUP_EditGridGroups, QPoint(1, 3), "45",
             "GROUP, row 2 takes whole numbers 0..30"},
        };
        for (const Row &r : rows)
            QTest::newRow(r.name) << r.panel << r.control << r.cell << QString(r.typed)
                                  << QString(r.range);
    }

    // The field keeps its value and is marked; the note and the tooltip name
    // the field's range; a value it can hold takes the mark away again.
    void typedValueRefused() {
        QFETCH(int *, panel);
        QFETCH(int, control);
        QFETCH(QPoint, cell);
        QFETCH(QString, typed);
        QFETCH(QString, range);
        DisplayPanel(mainpanel);
        DisplayPanel(*panel);
        QWidget *w = CtrlWidget(*panel, control);
        QVERIFY(w);
        // Fields that the panel's mode hides or dims are typed into all the same.
        int visible = 1, dimmed = 0;
        GetCtrlAttribute(*panel, control, ATTR_VISIBLE, &visible);
        GetCtrlAttribute(*panel, control, ATTR_DIMMED, &dimmed);
        SetCtrlAttribute(*panel, control, ATTR_VISIBLE, 1);
        SetCtrlAttribute(*panel, control, ATTR_DIMMED, 0);
        const auto restore = qScopeGuard([&] {
            SetCtrlAttribute(*panel, control, ATTR_VISIBLE, visible);
            SetCtrlAttribute(*panel, control, ATTR_DIMMED, dimmed);
        });
        // A prefix ("0x") stays in the field; the note shows what the field held.
        auto *spin = qobject_cast<QSpinBox *>(w);
        const QString shown = spin ? spin->prefix() + typed : typed;
        const QString note = QStringLiteral("\"%1\" refused: %2").arg(shown, range);

        if (cell.isNull()) {
            const QString before = Text(*panel, control);
            const QString beforeTyped = spin ? spin->cleanText() : before;
            Type(w, typed);
            QCOMPARE(Text(*panel, control), before);
            QVERIFY(CtrlInputRefused(*panel, control));
            QVERIFY2(LinkLine().endsWith(note), qPrintable(LinkLine()));
            QVERIFY2(w->toolTip().endsWith(range), qPrintable(w->toolTip()));
            Type(w, beforeTyped);
            QVERIFY(!CtrlInputRefused(*panel, control));
            QVERIFY(!w->toolTip().contains(range));
            return;
        }
        auto *table = qobject_cast<QTableWidget *>(w);
        QVERIFY(table);
        const Point at = MakePoint(cell.x(), cell.y());
        int before = -1;
        GetTableCellVal(*panel, control, at, &before);
        auto typeIntoCell = [&](const QString &text) {
            // The editor of the last edit is gone before the next one opens.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            table->setCurrentCell(cell.y() - 1, cell.x() - 1);
            table->editItem(table->item(cell.y() - 1, cell.x() - 1));
            auto *editor = table->viewport()->findChild<QSpinBox *>();
            QVERIFY(editor);
            Type(editor, text);
            fixture::Pump(20);
        };
        typeIntoCell(typed);
        int after = -1;
        GetTableCellVal(*panel, control, at, &after);
        QCOMPARE(after, before);
        QVERIFY(TableCellInputRefused(*panel, control, at));
        QVERIFY2(LinkLine().endsWith(note), qPrintable(LinkLine()));
        QCOMPARE(table->item(cell.y() - 1, cell.x() - 1)->toolTip(), range);
        typeIntoCell(QString::number(before));
        QVERIFY(!TableCellInputRefused(*panel, control, at));
    }

    // No numeric field is left out of the list above.
    void everyNumericFieldIsChecked() {
        const QList<QPair<int *, int>> listed = {{&parapanel, PARAP_EditAverage},
                                                 {&parapanel, PARAP_EditHold},
                                                 {&parapanel, PARAP_EditPower},
                                                 {&parapanel, PARAP_EditIntlim},
                                                 {&parapanel, PARAP_EditMaxcolNo},
                                                 {&parapanel, PARAP_EditDynWinLoHi__Lo},
                                                 {&parapanel, PARAP_EditDynWinLoHi__Hi},
                                                 {&calibpanel, CALIBP_EditSetValue},
                                                 {&calibpanel, CALIBP_EditMaxDelta},
                                                 {&calibpanel, CALIBP_EditCFR},
                                                 {&calibpanel, CALIBP_EditCFG},
                                                 {&calibpanel, CALIBP_EditCFB},
                                                 {&recpanel, RECP_EditInterval},
                                                 {&recpanel, RECP_EditRecVal},
                                                 {&tapanel, TAP_EditRow},
                                                 {&tapanel, TAP_EditColorNumericRow},
                                                 {&teachpanel, TEACHP_EditTpValueCto},
                                                 {&teachpanel, TEACHP_EditTpValueIto},
                                                 {&teachpanel, TEACHP_EditTpValueGto},
                                                 {&teachpanel, TEACHP_EditTpRowNo},
                                                 {&ttpanel, TTP_EditNo}};
        QSet<QWidget *> covered;
        for (const auto &f : listed)
            covered.insert(CtrlWidget(*f.first, f.second));
        for (int *panel : {&parapanel, &calibpanel, &recpanel, &tapanel, &teachpanel, &ttpanel,
                           &grouppanel, &interfacepanel, &datapanel, &mainpanel})
            for (QSpinBox *spin : PanelWidget(*panel)->findChildren<QSpinBox *>())
                QVERIFY2(covered.contains(spin), qPrintable(spin->objectName()));
    }

    // Values the program sets (from a file or the sensor) are not typed: they
    // take the mark away and are never refused.
    void programValuesClearTheMark() {
        QWidget *w = CtrlWidget(parapanel, PARAP_EditAverage);
        Type(w, "70000");
        QVERIFY(CtrlInputRefused(parapanel, PARAP_EditAverage));
        SetCtrlVal(parapanel, PARAP_EditAverage, 16);
        QVERIFY(!CtrlInputRefused(parapanel, PARAP_EditAverage));
        QCOMPARE(Text(parapanel, PARAP_EditAverage), QString("16"));
        // A number the field can hold is taken as typed.
        Type(w, "12");
        QCOMPARE(Text(parapanel, PARAP_EditAverage), QString("12"));
        QVERIFY(!CtrlInputRefused(parapanel, PARAP_EditAverage));
    }
};

QTEST_MAIN(TstInput)
#include "tst_input.moc"
