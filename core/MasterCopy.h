// The panels are the master copy of everything the operator edits: the
// parameter panel, the teach table and the group table are read into the
// variables before every use and written back after every load.
#pragma once

#include <cstdint>

// The thirteen parameter-panel controls in the order in which they are read
// and written, with the names the operator knows them by.
struct PanelParam {
    int control;
    uint16_t *value;
    const char *name;
};
extern const PanelParam kPanelParams[13];

// Reads the parameter panel, the group switch, the group table and the teach
// table into the parameter variables, `ctt` and `groupbuf`.
void GetPanelValues();
// Writes the variables back into the same controls.
void SetPanelValues();

// After a set is loaded into the variables (from the sensor or a file) the
// panels show it through the refresh the parameter panel installs here at
// start-up: the link that loads it sits below the panels and cannot call them.
void SetRefreshAfterLoad(void (*refresh)());
void RefreshPanelsAfterLoad();
