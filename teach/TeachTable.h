// The vector teach table: teaching into it, the rearrangement of its cells on
// a change of calculation mode, the colour groups and the row attributes
// (indicator colours and specification texts) with their files.
#pragma once

#include "core/Edits.h"
#include "platform/Platform.h"

#include <QString>

// ---- teach table
// The frame shown and the default tolerances into the row of the No. field;
// in automatic indicator-colour mode the row takes the measured colour.
// Returns the row taught, -1 when the No. field names none.
int TeachDataTo();
// Ends polling, redraws the graphs and draws every row's tolerance circle
// onto the full-range X/Y graph.
void ApplyFromAll();
// No. to 0, every value cell to 1, the graphs of taught vectors cleared.
void ResetTable();
// The teach table as the operator sees it, and back.
TeachTableCopy CopyTeachTable();
void RestoreTeachTable(const TeachTableCopy &copy);
// Frames a button action on the teach table: when the action changed the
// table, the table as it was goes onto the undo stack and the change counts
// as not sent. A change of calculation mode names the mode the cells were
// laid out in: the selector shows the new one already.
class TableUndoPoint {
  public:
    explicit TableUndoPoint(int layoutMode = -1);
    ~TableUndoPoint();
    TableUndoPoint(const TableUndoPoint &) = delete;
    TableUndoPoint &operator=(const TableUndoPoint &) = delete;

  private:
    TeachTableCopy m_before;
};
// UNDO (Ctrl+Z) is usable while there is a step to go back.
void ShowTableUndo();
// The status line's word on a row just taught: beyond MAXCOL-No. the sensor
// does not check it. Empty for an active row.
QString InactiveRowNote(int row);

// Labels and shows the mean-value teach panel for `calcmode` and the
// parameter panel's evaluation mode.
void InitTeachPanel();

// ---- tolerance sorting
// Rearranges every row for the new calculation mode; `calcmode` must still
// hold the mode the table is laid out in.
void SortTableTolerance();
// Column layout of a calculation mode: 0 (modes 0, 1) .. 3 (modes 6, 7); -1
// for a mode that has none.
int LayoutOf(int calcmode);

// ---- colour groups
extern Point activCell, oldCell;
// The group switch into `colorgroup`, and the group displays that follow it.
void InitColorGroups();
// Start-up: the group table's active cell as the previous one.
void InitGroupCell();

// ---- table attributes
// The indicator cells of all 31 rows in the teach, group and row-text
// tables take the colours of `tolvanearr`.
void ApplyRowColors();

// Colours the row labels of the three tables by MAXCOL-No. (active green,
// inactive red) and advises when the outputs cannot show every vector or group.
void InitMaxVecNo();
void SetRowColor();
void InitSrcPanel();
void SaveTableSettings();
void GetTableSettings();
void SetStartupArray();
// Start-up: the start-up file, if there is one, then the row colours.
void LoadStartupFile();
