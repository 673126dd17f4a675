// The words of a parameter file as the operator's panels name them: the
// parameter's name, the name of a mode's code beside its number, and why a
// value would not reach the sensor as the file holds it.
#pragma once

#include "params/ParaFile.h"

#include <QString>
#include <cstdint>

// "POWER", "GROUPS ON", "SPARE 15" for the sixteen parameter words.
QString ParamName(int word);
// Any word of the set: the parameter's name, or "row 6 CTO" in the file's
// calculation mode for a teach-table cell.
QString WordName(const uint16_t values[kParaFileValues], int word);
// The panel's name of a mode's code ("STAT" for PMODE 0, "X/Y INT GN" for
// CALCMODE 0); "" for a word that is no mode or a code no selector offers.
QString CodeName(int word, int value);
// The number with the code's name beside it: "0 STAT", "500", "9".
QString ValueText(int word, int value);
// Why the panels would send `sent` where the file holds values[word]: the
// value named, the reason and what SEND would write instead.
QString ChangeReason(const uint16_t values[kParaFileValues], int word, int sent);
// Set when the file's EXTEACH and TRIGGER exclude each other (external
// teach with an external trigger); the sentence that says so.
QString ModeConflict(const uint16_t values[kParaFileValues]);
