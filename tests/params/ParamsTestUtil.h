// Shared by the parameter suites: operator actions on the real controls and
// snapshots of what the panels and variables hold.
#pragma once

#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "params/Params.h"
#include "platform/Introspect.h"
#include "platform/Platform.h"
#include "shell/Shell.h"
#include "teach/TeachTable.h"
#include "uir_ids.h"

#include <QComboBox>
#include <QList>
#include <QSpinBox>
#include <QTest>
#include <algorithm>
#include <iterator>

namespace ptest {

inline int Val(int panel, int control) {
    int v = -1;
    GetCtrlVal(panel, control, &v);
    return v;
}

inline int Attr(int panel, int control, int attribute) {
    int v = -1;
    GetCtrlAttribute(panel, control, attribute, &v);
    return v;
}

inline int Items(int panel, int control) {
    int n = -1;
    GetNumListItems(panel, control, &n);
    return n;
}

inline int Cell(int panel, int control, int column, int row) {
    int v = -1;
    GetTableCellVal(panel, control, MakePoint(column, row), &v);
    return v;
}

// The operator picks an item of a ring: value-changed, then commit.
inline void Pick(int panel, int control, int value) {
    auto *ring = qobject_cast<QComboBox *>(CtrlWidget(panel, control));
    QVERIFY(ring);
    const int index = ring->findData(value);
    QVERIFY2(index >= 0, "no such item");
    ring->setCurrentIndex(index);
    emit ring->activated(index);
}

// The operator enters a number into a numeric field.
inline void Enter(int panel, int control, int value) {
    auto *spin = qobject_cast<QSpinBox *>(CtrlWidget(panel, control));
    QVERIFY(spin);
    SetCtrlVal(panel, control, value == spin->minimum() ? spin->maximum() : spin->minimum());
    spin->setValue(value);
}

inline void Click(int panel, int control) {
    QWidget *w = CtrlWidget(panel, control);
    QVERIFY(w);
    QTest::mouseClick(w, Qt::LeftButton);
}

// A parameter set as the sensor's factory state has it, loaded the way GET
// loads one.
inline void LoadDefaultSet() {
    const uint16_t params[16] = {500, 0, 8, 0, 10, 50, 5, 1, 0, 0, 0, 100, 3000, 0, 0, 0};
    uint16_t *vars[16] = {&power,    &pmode,      &average, &evalmode, &hold,     &intlim,
                          &maxcolno, &outmode,    &trigger, &exteach,  &calcmode, &dynwinlo,
                          &dynwinhi, &colorgroup, &frei15,  &frei16};
    for (int i = 0; i < 16; ++i)
        *vars[i] = params[i];
    for (auto &row : ctt)
        std::fill(std::begin(row), std::end(row), uint16_t{1});
    std::fill(std::begin(groupbuf), std::end(groupbuf), uint16_t{0});
    RefreshAfterLoad();
}

// Everything the parameter panel, the group panel and the teach table show.
inline QList<int> PanelSnapshot() {
    QList<int> s;
    for (int control :
         {PARAP_SlidePower, PARAP_EditPmode, PARAP_EditDynWinLoHi__Lo, PARAP_EditDynWinLoHi__Hi,
          PARAP_EditAverage, PARAP_EditMaxcolNo, PARAP_EditOutmode, PARAP_EditIntlim,
          PARAP_EditHold, PARAP_EditExteach, PARAP_EditTrigger, PARAP_Evalmode, PARAP_Calcmode}) {
        s << Val(parapanel, control) << Attr(parapanel, control, ATTR_DIMMED);
    }
    s << Items(parapanel, PARAP_EditTrigger) << Val(grouppanel, PGROUP_EditColorGroups);
    for (int n = 1; n <= 31; ++n) {
        s << Cell(grouppanel, PGROUP_EditGridGroups, 1, n);
        for (int c = 1; c <= 7; ++c)
            s << Cell(ttpanel, TTP_GridCtt, c, n);
    }
    return s;
}

// The sixteen parameter variables, the teach table and the groups.
inline QList<int> VarSnapshot() {
    QList<int> s{power,   pmode,   average,  evalmode, hold,     intlim,     maxcolno, outmode,
                 trigger, exteach, calcmode, dynwinlo, dynwinhi, colorgroup, frei15,   frei16};
    for (int r = 0; r < 31; ++r) {
        for (int c = 0; c < 7; ++c)
            s << ctt[r][c];
        s << groupbuf[r];
    }
    return s;
}

inline QList<int> PpSnapshot() {
    return QList<int>(std::begin(pp), std::end(pp));
}

} // namespace ptest
