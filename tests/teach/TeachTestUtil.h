// Shared by the teach suites: table rows as lists, the operator's cell edit,
// and one GO cycle's frame from the simulated sensor.
#pragma once

#include "params/ParamsTestUtil.h"

#include "core/Protocol.h"
#include "link/Link.h"
#include "live/Live.h"

#include <QTableWidget>

namespace ttest {
using Row = QList<int>;

inline Row TableRow(int panel, int control, int n) {
    Row r;
    for (int c = 1; c <= 7; ++c)
        r << ptest::Cell(panel, control, c, n);
    return r;
}

inline void PutTableRow(int panel, int control, int n, const Row &cells) {
    for (int c = 1; c <= 7; ++c)
        SetTableCellVal(panel, control, MakePoint(c, n), cells[c - 1]);
}

// The operator types a number into a cell of a table and presses Enter.
inline void EditCell(int panel, int control, int column, int row, int value) {
    auto *table = qobject_cast<QTableWidget *>(CtrlWidget(panel, control));
    QVERIFY(table);
    table->setCurrentCell(row - 1, column - 1);
    table->editItem(table->item(row - 1, column - 1));
    auto *editor = table->viewport()->findChild<QSpinBox *>();
    QVERIFY(editor);
    editor->setValue(value);
    // What Enter in the editor does.
    QAbstractItemDelegate *delegate = table->itemDelegate();
    emit delegate->commitData(editor);
    emit delegate->closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

inline bool PanelVisible(int panel) {
    int v = 0;
    GetPanelAttribute(panel, ATTR_VISIBLE, &v);
    return v != 0;
}

// One GO cycle's exchange and decoding: the frame lands in the displays.
inline bool TakeFrame() {
    if (!ReceiveFrame()) return false;
    SetPanelData();
    return true;
}
} // namespace ttest
