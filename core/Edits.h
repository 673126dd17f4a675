// The operator's edits that the sensor does not have yet, and the way back
// from the teach table's button actions.
#pragma once

#include <cstdint>

// ---- changes not sent
// From an edit of the parameter panel, the teach table or the group table
// until the next SEND or GET, the status line and the SEND button say that
// the panels hold changes the sensor does not have. The table attributes are
// never sent: they go to the start-up file, not the sensor.
void NoteUnsentEdit();
// A change of the teach table alone (a cell, a button action, an undo): the
// mark follows whether the table differs from the one last sent or read, as
// long as nothing else was edited since.
void NoteTableEdit();
// A changed value or its commit counts as an edit.
void NoteEditEvent(int event);
// SEND wrote the panels, or GET replaced them.
void NoteChangesSentOrReplaced();
bool UnsentChanges();
// Before the panels are replaced or the program ends: asks whether the
// changes not sent may go; true to go on (also when there are none).
bool MayDiscardUnsent();
// The whole callback of a field that only explains itself and edits a value.
int HelpOrEdit(int event, const char *text);

// ---- the teach table's way back
// The teach table as the operator sees it: the value cells of every row,
// the rows' indicator colours, the No. field and the calculation mode whose
// layout the cells are in.
struct TeachTableCopy {
    uint16_t cells[31][7];
    int colors[31];
    int no;
    int calcmode;
    bool operator==(const TeachTableCopy &) const = default;
};
// Keeps the table as it was before a button action; the oldest copy goes
// when more than kTableUndoSteps are kept.
constexpr int kTableUndoSteps = 20;
void PushTableUndo(const TeachTableCopy &before);
// The latest copy, taken off the stack; false when there is none.
bool PopTableUndo(TeachTableCopy *before);
int TableUndoDepth();
