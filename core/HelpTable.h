// Which help text belongs to which control: the right click of every control
// shows it (each callback names its own text), and the same table gives every
// control its tooltip at start-up, so that hovering explains what a right
// click would.
#pragma once

#include <span>

struct HelpEntry {
    int *panel;        // panel handle, filled at start-up
    int control;       // control id
    const char *text;  // Info... text
    const char *title; // pop-up title
};

std::span<const HelpEntry> HelpTable();

// The tooltip of a help text: the text without its leading blanks.
const char *HelpToolTip(const char *text);
// Gives every control of the table its tooltip; after the panels are loaded.
void SetHelpToolTips();
