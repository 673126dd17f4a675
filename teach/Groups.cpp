// Colour groups: the group switch, the group table with its check against
// the outputs, and its reset.
#include "teach/TeachTable.h"

#include "core/HelpTexts.h"
#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "uir_ids.h"

Point activCell{1, 1}, oldCell{1, 1};

namespace {
constexpr int kOutmodeBinary = 1;

// True when the outputs of that output mode cannot signal the group.
bool GroupBeyondOutputs(int group, int mode) {
    return mode != kOutmodeBinary && group > anzOut - 1;
}
} // namespace

void InitGroupCell() {
    GetActiveTableCell(grouppanel, PGROUP_EditGridGroups, &oldCell);
    activCell = oldCell;
}

void InitColorGroups() {
    GetCtrlVal(grouppanel, PGROUP_EditColorGroups, &colorgroup);
    SetCtrlAttribute(datapanel, DATAP_DispGroup, ATTR_VISIBLE, colorgroup != 0);
    if (colorgroup == 0) HidePanel(grpbigpanel);
}

int CBF_PGROUP(int, int, int, void *, int, int) {
    return 0;
}

int CBF_EditColorGroups(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditColorGroups) || event != EVENT_COMMIT) return 0;
    InitColorGroups();
    RunMaxVecNoCheck();
    return 0;
}

// The outputs of the DIRECT modes signal five groups only. The number stays
// as typed: the operator may be about to switch to BINARY.
int CBF_EditGridGroups(int, int, int event, void *, int eventData1, int eventData2) {
    if (ShowHelpOnRightClick(event, InfoGroupsOutmode)) return 0;
    if (event == EVENT_VAL_CHANGED) {
        // The edited cell comes with the event; the table's own current cell
        // may already have moved on.
        if (eventData1 > 0 && eventData2 > 0) activCell = MakePoint(eventData2, eventData1);
        int group = 0;
        GetTableCellVal(grouppanel, PGROUP_EditGridGroups, activCell, &group);
        GetCtrlVal(parapanel, PARAP_EditOutmode, &outmode);
        if (GroupBeyondOutputs(group, outmode)) MessagePopup("INFO!", InfoGroupsOutmode);
        oldCell = activCell;
        return 0;
    }
    GetActiveTableCell(grouppanel, PGROUP_EditGridGroups, &activCell);
    return 0;
}

int CBF_ButtonResetGroupTable(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonResetGroupTable) || event != EVENT_COMMIT) return 0;
    for (int n = 1; n <= anzVec; ++n)
        SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), 0);
    return 0;
}
