// What the live displays and graphs were last given, so that a frame writes
// only what changed: an unchanged value costs no formatting, no repaint and
// no replot. Fixed storage; nothing is allocated per frame.
#pragma once

namespace shown {
// Forgets everything; the next write of each control goes through. Run
// before a polling loop and whenever the graphs are redrawn from scratch.
void Reset();
void SetVal(int panel, int control, int value);
void SetAttr(int panel, int control, int attribute, int value);
void SetAxis(int panel, int control, int axis, double min, double max);
void SetCursor(int panel, int control, int cursor, double x, double y);
} // namespace shown
