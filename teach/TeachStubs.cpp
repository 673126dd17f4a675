// Teach-table operations that the parameter panel and the modes call; the
// teach-table subsystem fills them in.
#include "teach/TeachTable.h"

#include "platform/Platform.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "uir_ids.h"

void InitColorGroups() {}
void InitTeachPanel() {}
void SortTableTolerance() {}

void ApplyRowColors() {
    for (int r = 1; r <= 31; ++r) {
        const int colour = tolvanearr[r - 1];
        SetTableCellAttribute(ttpanel, TTP_GridCtt, MakePoint(8, r), ATTR_TEXT_BGCOLOR, colour);
        SetTableCellAttribute(tapanel, TAP_GridSpec, MakePoint(2, r), ATTR_TEXT_BGCOLOR, colour);
        SetTableCellAttribute(grouppanel, PGROUP_EditGridGroups, MakePoint(2, r),
                              ATTR_TEXT_BGCOLOR, colour);
    }
}
