// Changes not sent and the teach table's undo stack.
#include "core/Edits.h"

#include "core/HelpTable.h"
#include "core/HelpTexts.h"
#include "core/LinkStatus.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <deque>

namespace {
bool unsent = false;
bool otherEdits = false; // edits besides the teach table's since the last SEND or GET
std::deque<TeachTableCopy> undoStack;

// The teach table's values and the mode whose layout they are in: what SEND
// gives the sensor of it.
struct TableValues {
    uint16_t cells[31][7];
    int calcmode;
    bool operator==(const TableValues &) const = default;
};
TableValues sentTable{};
bool sentTableKnown = false;

TableValues TableShown() {
    TableValues t{};
    for (int n = 1; n <= anzVec && n <= 31; ++n)
        for (int c = 1; c <= 7; ++c)
            GetTableCellVal(ttpanel, TTP_GridCtt, MakePoint(c, n), &t.cells[n - 1][c - 1]);
    GetCtrlVal(parapanel, PARAP_Calcmode, &t.calcmode);
    return t;
}

// SEND keeps its caption and key; a star and a warmer face say that pressing
// it matters.
constexpr int kSendUnsentColour = 0xFFD27F;
constexpr int kSendColour = 0xE0E0E0;

void ShowUnsent() {
    SetUnsentMarker(unsent);
    SetCtrlAttribute(mainpanel, MAINP_ButtonSend, ATTR_LABEL_TEXT,
                     unsent ? QStringLiteral("SEND *") : QStringLiteral("SEND"));
    SetCtrlAttribute(mainpanel, MAINP_ButtonSend, ATTR_CMD_BUTTON_COLOR,
                     unsent ? kSendUnsentColour : kSendColour);
    QString tip = QString::fromUtf8(HelpToolTip(InfoButtonSend));
    if (unsent) tip += QStringLiteral("\n\n* The panels hold changes not sent to the sensor.");
    SetCtrlToolTip(mainpanel, MAINP_ButtonSend, tip);
}

void SetUnsent(bool on) {
    if (unsent == on) return;
    unsent = on;
    ShowUnsent();
}
} // namespace

void NoteUnsentEdit() {
    otherEdits = true;
    SetUnsent(true);
}

void NoteTableEdit() {
    SetUnsent(otherEdits || !sentTableKnown || !(TableShown() == sentTable));
}

void NoteEditEvent(int event) {
    if (event == EVENT_VAL_CHANGED || event == EVENT_COMMIT) NoteUnsentEdit();
}

void NoteChangesSentOrReplaced() {
    otherEdits = false;
    sentTable = TableShown();
    sentTableKnown = true;
    SetUnsent(false);
}

bool UnsentChanges() {
    return unsent;
}

bool MayDiscardUnsent() {
    if (!unsent) return true;
    return ConfirmPopup("ATTENTION!", "Discard the changes not sent to the sensor?") == 1;
}

int HelpOrEdit(int event, const char *text) {
    if (!ShowHelpOnRightClick(event, text)) NoteEditEvent(event);
    return 0;
}

void PushTableUndo(const TeachTableCopy &before) {
    undoStack.push_back(before);
    while (int(undoStack.size()) > kTableUndoSteps)
        undoStack.pop_front();
}

bool PopTableUndo(TeachTableCopy *before) {
    if (undoStack.empty()) return false;
    *before = undoStack.back();
    undoStack.pop_back();
    return true;
}

int TableUndoDepth() {
    return int(undoStack.size());
}
