// Colour groups: the group switch, the group table with its check against
// the outputs, and its reset.
#include "teach/TeachTable.h"

#include "core/Edits.h"
#include "core/HelpTexts.h"
#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "platform/Platform.h"
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

namespace {
constexpr int kActiveRowColor = 0x008000;
constexpr int kInactiveRowColor = 0xFF0000;
} // namespace

void InitMaxVecNo() {
    GetCtrlVal(parapanel, PARAP_EditMaxcolNo, &maxcolno);
    GetCtrlVal(parapanel, PARAP_EditOutmode, &outmode);
    GetCtrlVal(grouppanel, PGROUP_EditColorGroups, &colorgroup);

    // Table row n shows teach-table row n - 1; the sensor checks rows
    // 0 .. maxcolno - 1.
    for (int n = 1; n <= anzVec; ++n) {
        const int color = n <= maxcolno ? kActiveRowColor : kInactiveRowColor;
        SetTableRowAttribute(ttpanel, TTP_GridCtt, n, ATTR_LABEL_COLOR, color);
        SetTableRowAttribute(grouppanel, PGROUP_EditGridGroups, n, ATTR_LABEL_COLOR, color);
        SetTableRowAttribute(tapanel, TAP_GridSpec, n, ATTR_LABEL_COLOR, color);
    }

    // In the direct output modes each of the five outputs stands for one
    // vector (groups off) or one group (groups on). Advice only.
    if (anzOut < maxcolno && outmode != 1 && colorgroup == 0) MessagePopup("INFO!", InfoMaxColNo);

    if (outmode != 1 && colorgroup == 1) {
        for (int n = 1; n <= anzVec; ++n) {
            int group = 0;
            GetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), &group);
            if (group > anzOut - 1) {
                MessagePopup("INFO!", InfoGroupsOutmode);
                ShowChildPanel(4);
                break;
            }
        }
    }
}

int CBF_PGROUP(int, int, int, void *, int, int) {
    return 0;
}

int CBF_EditColorGroups(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditColorGroups) || event != EVENT_COMMIT) return 0;
    NoteUnsentEdit();
    InitColorGroups();
    InitMaxVecNo();
    return 0;
}

// The outputs of the DIRECT modes signal five groups only. The number stays
// as typed: the operator may be about to switch to BINARY.
int CBF_EditGridGroups(int, int, int event, void *, int eventData1, int eventData2) {
    if (ShowHelpOnRightClick(event, InfoGroupsOutmode)) return 0;
    if (event == EVENT_VAL_CHANGED) {
        NoteUnsentEdit();
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
    NoteUnsentEdit();
    for (int n = 1; n <= anzVec; ++n)
        SetTableCellVal(grouppanel, PGROUP_EditGridGroups, MakePoint(1, n), 0);
    return 0;
}
