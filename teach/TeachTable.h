// The vector teach table: its cells, groups and row indicator colours.
#pragma once

#include <cstdint>

// Operations of the teach table that other subsystems call.
void InitColorGroups();
void InitTeachPanel();
void SortTableTolerance();
// Colours the indicator columns of the teach, group and specification tables.
void ApplyRowColors();
