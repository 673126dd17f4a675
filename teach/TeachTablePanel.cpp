// Callbacks of the teach-table panel: the table itself, the No. field, the
// auto-increment switch and the teach, apply and reset buttons.
#include "teach/TeachTable.h"

#include "core/HelpTexts.h"
#include "core/MasterCopy.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "live/Live.h"

int CBF_TTP(int, int, int, void *, int, int) {
    return 0;
}

// An edited cell ends a running GO loop: the sensor still works with the
// table as it was sent.
int CBF_GridCtt(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoGridCtt)) return 0;
    if (event == EVENT_VAL_CHANGED) session::poll = 0;
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
    TeachDataTo();
    GetPanelValues();
    InitGraphs();
    return 0;
}

int CBF_ButtonApplyFromAll(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonApplyFromAll) || event != EVENT_COMMIT) return 0;
    ApplyFromAll();
    return 0;
}

int CBF_ButtonResetTable(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonResetTable) || event != EVENT_COMMIT) return 0;
    ResetTable();
    return 0;
}
