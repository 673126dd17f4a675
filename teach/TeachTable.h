// The vector teach table: teaching into it, the rearrangement of its cells on
// a change of calculation mode, the colour groups and the row attributes
// (indicator colours and specification texts) with their files.
#pragma once

#include "platform/Platform.h"

#include <QString>
#include <QStringList>
#include <cstdint>

// ---- teach table
// The current measurement and the default tolerances into the row of the
// No. field; in automatic indicator-colour mode the row takes the measured
// colour.
void TeachDataTo();
// Ends polling, redraws the graphs and draws every row's tolerance circle
// onto the full-range X/Y graph.
void ApplyFromAll();
// No. to 0, every value cell to 1, the graphs of taught vectors cleared.
void ResetTable();
// The mean-value teach panel's labels after a change of mode.
void InitTeachPanel();

// Default tolerances of TEACH DATA TO for an evaluation and power mode.
struct TeachTolerances {
    uint16_t vector;    // CTO, siTO or TOL
    uint16_t intensity; // ITO (X/Y modes) and GTO
    uint16_t mto;       // MTO (s/i modes with a separate intensity tolerance)
};
TeachTolerances DefaultTolerances(int evalmode, int pmode);
// Cells 3..7 (0-based 2..6) of a row taught in `calcmode`.
void TeachCells(int calcmode, int evalmode, int pmode, uint16_t intensity, uint16_t gn,
                uint16_t cells[7]);

// ---- tolerance sorting
// Rearranges every row for the new calculation mode; `calcmode` must still
// hold the mode the table is laid out in.
void SortTableTolerance();
// Column layout of a calculation mode: 0 (modes 0, 1) .. 3 (modes 6, 7); -1
// for a mode that has none.
int LayoutOf(int calcmode);
// Cells 2..6 of one row from one layout into another.
void SortRowCells(uint16_t row[7], int oldLayout, int newLayout);

// ---- colour groups
extern Point activCell, oldCell;
// The group switch into `colorgroup`, and the group displays that follow it.
void InitColorGroups();
// Start-up: the group table's active cell as the previous one.
void InitGroupCell();
// True when `group` cannot be signalled in that output mode.
bool GroupBeyondOutputs(int group, int outmode);

// ---- table attributes
constexpr int kColourEntries = 45;
constexpr int kSpecTextMax = 99;
// The indicator cells of all 31 rows in the teach, group and specification
// tables take the colours of `tolvanearr`.
void ApplyRowColors();
void SetRowColor();
void InitSrcPanel();
void SaveTableSettings();
void GetTableSettings();
void SetStartupArray();
// Start-up: the start-up file, if there is one, then the row colours.
void LoadStartupFile();

// The table-attributes file: 45 colours, then 31 specification texts.
struct TableAttributes {
    int colours[kColourEntries];
    QStringList texts; // 31 entries
};
QByteArray FormatTableAttributes(const TableAttributes &a);
// False, with the reason in *problem, when the lines are not such a file.
bool ParseTableAttributes(const QStringList &lines, TableAttributes *a, QString *problem);
