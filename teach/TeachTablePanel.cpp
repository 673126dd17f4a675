// Callbacks of the teach-table panel: the table itself, the No. field, the
// auto-increment switch and the teach, apply, reset and undo buttons.
#include "teach/TeachTable.h"

#include "core/Edits.h"
#include "core/HelpTexts.h"
#include "core/LinkStatus.h"
#include "core/MasterCopy.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "live/Live.h"
#include "uir_ids.h"

int CBF_TTP(int, int, int, void *, int, int) {
    return 0;
}

// An edited cell ends a running GO loop: the sensor still works with the
// table as it was sent.
int CBF_GridCtt(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoGridCtt)) return 0;
    if (event == EVENT_VAL_CHANGED) {
        session::poll = 0;
        NoteTableEdit();
    }
    return 0;
}

// The INT and GN bands of the combined view follow the selected row.
int CBF_EditNo(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditNo) || event != EVENT_COMMIT) return 0;
    InitGraphInt2();
    return 0;
}

int CBF_RadioInc(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoRadioInc);
}

int CBF_ButtonTeachDataTo(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonTeachDataTo) || event != EVENT_COMMIT) return 0;
    int row = -1;
    {
        TableUndoPoint undo;
        row = TeachDataTo();
    }
    GetPanelValues();
    InitGraphs();
    if (row < 0) return 0;
    // A frame from a loop that has ended is taught all the same; the
    // operator learns of when it is.
    QStringList notes;
    if (ValuesHeld()) {
        const QString time = ShownFrameTime();
        notes
            << (time.isEmpty()
                    ? QStringLiteral("row %1 taught with no frame received yet").arg(row)
                    : QStringLiteral("row %1 taught from the held frame of %2").arg(row).arg(time));
    }
    const QString inactive = InactiveRowNote(row);
    if (!inactive.isEmpty()) notes << inactive;
    if (!notes.isEmpty()) SetLinkNote(notes.join(QStringLiteral("; ")));
    return 0;
}

int CBF_ButtonApplyFromAll(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonApplyFromAll) || event != EVENT_COMMIT) return 0;
    TableUndoPoint undo;
    ApplyFromAll();
    return 0;
}

int CBF_ButtonResetTable(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonResetTable) || event != EVENT_COMMIT) return 0;
    {
        TableUndoPoint undo;
        ResetTable();
    }
    SetLinkNote(QStringLiteral("teach table reset: every cell 1; UNDO (Ctrl+Z) brings it back"));
    return 0;
}

// Ctrl+Z: the table as before the last button action that changed it.
int CBF_ButtonUndo(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonUndo) || event != EVENT_COMMIT) return 0;
    TeachTableCopy before{};
    if (!PopTableUndo(&before)) return 0;
    int modeNow = 0;
    GetCtrlVal(parapanel, PARAP_Calcmode, &modeNow);
    RestoreTeachTable(before);
    // Back to the table last sent, the mark goes with the change; a mode
    // brought back with it is a change the sensor does not have.
    if (before.calcmode != modeNow)
        NoteUnsentEdit();
    else
        NoteTableEdit();
    ShowTableUndo();
    GetPanelValues();
    InitGraphs();
    QString note = before.calcmode == modeNow
                       ? QStringLiteral("teach table as before the last action")
                       : QStringLiteral("teach table and CALCMODE as before the last action; "
                                        "SEND gives them to the sensor");
    if (const int left = TableUndoDepth(); left > 0)
        note += QStringLiteral("; %1 more step(s) back").arg(left);
    SetLinkNote(note);
    return 0;
}
